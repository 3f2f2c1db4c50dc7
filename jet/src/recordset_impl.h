// A dynaset: the locations (page, row) of the rows a table name or SELECT
// selects, collected once when it opens; values are decoded from the file
// only when asked for, column by column.
#pragma once

#include "database_impl.h"
#include "row_codec.h"
#include "sql.h"
#include "jet/recordset.h"

#include <unordered_map>

namespace jet::detail {

class RecordsetImpl : public Recordset {
public:
    // `select` may be null (the whole table in physical order).
    RecordsetImpl(std::shared_ptr<Storage> storage, std::shared_ptr<const TableDef> table, sql::Select* select,
                  bool readOnly);

    const std::string& tableName() const override { return table_->name; }
    const std::vector<ColumnInfo>& columns() const override { return columns_; }
    int columnIndex(const std::string& name) const override { return table_->columnIndex(name); }

    bool bof() const override { return rows_.empty() || position_ < 0; }
    bool eof() const override { return rows_.empty() || position_ >= long(rows_.size()); }
    bool hasCurrent() const override { return !bof() && !eof(); }
    long recordCount() const override { return long(rows_.size()); }

    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;

    Value value(int column) const override;
    using Recordset::value;

    Bookmark bookmark() const override;
    void setBookmark(Bookmark b) override;
    Bookmark lastModified() const override { return lastModified_; }
    bool isDeleted() const override { return false; }

    EditMode editMode() const override { return EditMode::None; }
    void addNew() override { refuseWrite(); }
    void edit() override { refuseWrite(); }
    void setValue(int, const Value&) override { refuseWrite(); }
    void update() override { refuseWrite(); }
    void cancelUpdate() override {}
    void deleteCurrent() override { refuseWrite(); }

protected: // the writable dynaset (writable_recordset.h) builds on these
    [[noreturn]] void refuseWrite() const;
    void requireRows() const;
    const RowReader& currentRow() const;

    std::shared_ptr<Storage> storage_;
    std::shared_ptr<const TableDef> table_;
    std::vector<ColumnInfo> columns_;
    std::vector<Bookmark> rows_;
    long position_ = 0;
    bool readOnly_ = true;
    Bookmark lastModified_;

    mutable RowReader reader_;
    mutable long loaded_ = -1;
    mutable std::unordered_map<uint64_t, long> positions_;
};

} // namespace jet::detail
