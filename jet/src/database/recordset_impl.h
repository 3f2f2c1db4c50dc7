// A dynaset: the locations (page, row) of the rows a table name or SELECT
// selects, collected once when it opens; values are decoded from the file
// only when asked for, column by column. A read-only recordset on a whole
// table collects them as it goes instead (page by page, as far as a move
// needs), so that it shows its first row at once; recordCount(), moveLast()
// and bookmarks finish the walk.
#pragma once

#include "database/storage.h"
#include "format/row_codec.h"
#include "sql/sql.h"
#include "table/table_walk.h"
#include "jet/recordset.h"

#include <memory>
#include <optional>
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

    bool bof() const override { return !reach(0) || position_ < 0; }
    bool eof() const override { return !reach(0) || (position_ >= 0 && !reach(position_)); }
    bool hasCurrent() const override { return position_ >= 0 && reach(position_); }
    long recordCount() const override
    {
        finishWalk();
        return long(rows_.size());
    }

    long absolutePosition() const override { return hasCurrent() ? position_ : -1; }
    void setAbsolutePosition(long position) override;
    void fetchAll() override;
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
    const RowReader& currentRow() const
    {
        if (loaded_ == position_ && loaded_ >= 0) [[likely]]
            return reader_;
        return loadCurrentRow();
    }
    // Whether row `i` (>= 0) exists, walking the table as far as needed.
    bool reach(long i) const
    {
        if (size_t(i) < rows_.size()) [[likely]]
            return true;
        return walk_ && walkTo(i);
    }
    void finishWalk() const
    {
        if (walk_)
            walkTo(-1);
    }

    std::shared_ptr<Storage> storage_;
    std::shared_ptr<const TableDef> table_;
    std::vector<ColumnInfo> columns_;
    // table_->columns, as value() reads them for every value.
    const ColumnDef* columnDefs_ = nullptr;
    size_t columnCount_ = 0;
    mutable std::vector<Bookmark> rows_; // the rows known so far (all of them once walk_ is null)
    long position_ = 0;
    bool readOnly_ = true;
    Bookmark lastModified_;

    // The file is read under its shared lock (Storage::ReadScope), so that
    // no write of another process is seen half done. To take it once for
    // many rows rather than once per value, loading a row copies its bytes
    // and those of the rows after it in the set (before it, when moving
    // backward), with the long values (memo, OLE) they point to, all in one
    // hold of the lock: a run of rows is of one commit, and is decoded later
    // without the lock. The run grows while the moves go on in one
    // direction; fetchAll() copies every row at once (copiedAll_). A write
    // through the recordset (loaded_ back to -1) drops the copies; a change
    // by another process shows once the copies are made again.
    bool currentRowCopied() const
    {
        return (loaded_ >= 0 || copiedAll_) && position_ >= copyStart_ &&
               position_ - copyStart_ < long(copies_.size());
    }
    static bool storedOnOtherPages(const ColumnDef& c)
    {
        return c.info.type == ColumnType::Memo || c.info.type == ColumnType::OLE;
    }
    mutable bool copiedAll_ = false;

    mutable RowReader reader_;
    mutable long loaded_ = -1;
    mutable std::unordered_map<uint64_t, long> positions_;

private:
    const RowReader& loadCurrentRow() const;
    bool walkTo(long i) const; // i < 0: to the end
    mutable std::unique_ptr<TableWalk> walk_; // null once every row is known
    void copyRowsAround(long position) const;
    // Fills rows_ with the rows the table name or SELECT selects, as the
    // file is now (the lock held); with `lazy`, a whole table in physical
    // order is walked only as far as the moves need.
    void collectRows(bool lazy) const;
    std::optional<sql::Select> select_; // null: the whole table in physical order
    // Copies rows first..last (the file's lock held) and their long values.
    void copyRows(long first, long last, long position) const;

    struct RowCopy {
        uint32_t page = 0;
        size_t offset = 0, size = 0;
        bool deleted = false;
    };
    mutable long copyRun_ = 0;             // rows the next copy takes
    mutable long copyStart_ = 0;           // position of copies_[0]
    mutable std::vector<RowCopy> copies_;  // consecutive positions
    mutable std::unique_ptr<uint8_t[]> copyBytes_; // the copied rows, one after the other
    mutable size_t copyCapacity_ = 0;
    mutable LongValueCopies longValues_; // of the copied rows
    std::vector<const ColumnDef*> longColumns_; // memo and OLE columns
};

} // namespace jet::detail
