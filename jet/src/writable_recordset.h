// A dynaset that can be edited: addNew / edit / setValue / update /
// cancelUpdate / deleteCurrent on top of the read-only dynaset, each write
// going through the database's writer (one journaled transaction per
// update or delete).
#pragma once

#include "database_writer.h"
#include "recordset_impl.h"

#include <optional>

namespace jet::detail {

class WritableRecordset : public RecordsetImpl {
public:
    WritableRecordset(std::shared_ptr<Storage> storage, std::shared_ptr<const TableDef> table, sql::Select* select,
                      std::shared_ptr<writer::DatabaseWriter> writer);

    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    void setBookmark(Bookmark b) override;

    Value value(int column) const override;
    using Recordset::value;
    Bookmark lastModified() const override { return lastModified_; }
    bool isDeleted() const override { return deleted_; }

    EditMode editMode() const override { return mode_; }
    void addNew() override;
    void edit() override;
    void setValue(int column, const Value& v) override;
    void update() override;
    void cancelUpdate() override;
    void deleteCurrent() override;

private:
    void beforeMove();
    void checkColumn(int column) const;

    std::shared_ptr<writer::DatabaseWriter> writer_;
    EditMode mode_ = EditMode::None;
    std::vector<std::optional<Value>> pending_;
    bool deleted_ = false;
};

} // namespace jet::detail
