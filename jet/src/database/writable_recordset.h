// A dynaset that can be edited: addNew / edit / setValue / update /
// cancelUpdate / deleteCurrent on top of the read-only dynaset, each write
// going through the database's writer (one journaled transaction per
// update or delete). Changes of other programs since the row was read are
// checked in that transaction (see recordset.h).
#pragma once

#include "database/database_writer.h"
#include "database/recordset_impl.h"

#include <optional>

namespace jet::detail {

class WritableRecordset : public RecordsetImpl {
public:
    WritableRecordset(std::shared_ptr<Storage> storage, std::shared_ptr<const TableDef> table, sql::Select* select,
                      std::shared_ptr<writer::DatabaseWriter> writer);

    void fetchAll() override; // like a move: not while editing
    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    void setBookmark(Bookmark b) override;
    void setAbsolutePosition(long position) override;

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

    const RowConflict* conflict() const override { return conflict_ ? &*conflict_ : nullptr; }
    void resolveConflict(ConflictChoice choice) override;

private:
    void beforeMove();
    void checkColumn(int column) const;
    // The current row as value() shows it (unset: a column that cannot be
    // read). A wait for the file's shared lock that is given up ends the
    // write (Locked).
    std::vector<std::optional<Value>> readCurrentRow() const;
    // The row at `b` as stored now; nothing when it is no longer there.
    // Called inside a transaction, under the file's write lock.
    std::optional<std::vector<Value>> storedRow(Bookmark b);
    void updateEdited();
    void deleteRead();
    void storeAsNew();
    // The row must be read afresh (after a write, to take another's, or when
    // positions moved).
    void forgetCopies()
    {
        loaded_ = -1;
        copiedAll_ = false;
    }

    std::shared_ptr<writer::DatabaseWriter> writer_;
    EditMode mode_ = EditMode::None;
    std::vector<std::optional<Value>> pending_;
    std::vector<std::optional<Value>> read_; // the row as edit() / deleteCurrent() found it
    std::optional<RowConflict> conflict_;
    bool deleted_ = false;
};

} // namespace jet::detail
