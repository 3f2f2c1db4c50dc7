// A dynaset on a PostgreSQL table, with the behaviour the engine's Recordset
// interface states for a file (jet/recordset.h): the keys of the selected
// rows are read at the opening, in the row source's order; each move reads
// its row afresh, so a desk sees what other desks saved meanwhile. update()
// and deleteCurrent() lock the row (SELECT ... FOR UPDATE), compare it with
// the values this recordset read and merge or refuse as on a file. A
// bookmark carries the row's key (velmor_id) in its page field.
// A connection lost since the last action is made again at the next one
// (reconnecting(), server_database.h): the row being edited stays pending.
#pragma once

#include "server/row_source_sql.h"

#include "jet/recordset.h"

#include <QSqlDatabase>
#include <optional>

namespace velmor::server {

class ServerRecordset : public jet::Recordset {
public:
    ServerRecordset(QSqlDatabase db, jet::TableInfo table, ServerRowSource source);

    const std::string& tableName() const override { return table_.name; }
    const std::vector<jet::ColumnInfo>& columns() const override { return table_.columns; }
    int columnIndex(const std::string& name) const override;
    bool bof() const override { return keys_.empty() || pos_ < 0; }
    bool eof() const override { return keys_.empty() || pos_ >= long(keys_.size()); }
    bool hasCurrent() const override { return pos_ >= 0 && pos_ < long(keys_.size()); }
    long recordCount() const override { return long(keys_.size()) - (deletedHere_ ? 1 : 0); }
    long absolutePosition() const override { return hasCurrent() ? pos_ : -1; }
    void setAbsolutePosition(long position) override;
    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    jet::Value value(int column) const override;
    jet::Bookmark bookmark() const override;
    void setBookmark(jet::Bookmark b) override;
    jet::Bookmark lastModified() const override { return lastModified_; }
    bool isDeleted() const override { return hasCurrent() && deleted_; }
    EditMode editMode() const override { return mode_; }
    void addNew() override;
    void edit() override;
    void setValue(int column, const jet::Value& v) override;
    void update() override;
    void cancelUpdate() override;
    void deleteCurrent() override;
    const jet::RowConflict* conflict() const override { return conflict_ ? &*conflict_ : nullptr; }
    void resolveConflict(jet::ConflictChoice choice) override;

private:
    using Row = std::vector<jet::Value>;
    void loadKeys(const ServerRowSource& source);
    void load();                          // the current row, or deleted_ when it is gone
    std::optional<Row> readRow(qint64 key, bool lock);
    void leaveDeleted();                  // a row deleted here leaves the set at the next move
    void requireIdle() const;
    void go(long position);
    void writeEdits();                    // update() of the row being edited
    void deleteRow();                     // the transaction of deleteCurrent()
    void insertRow(const Row& values, std::optional<size_t> at);
    void commitOrThrow(const QString& doing);
    [[noreturn]] void fail(const class QSqlQuery& q, const QString& doing, jet::Code code);
    static jet::Bookmark mark(qint64 key) { return jet::Bookmark{uint32_t(key), 0}; }

    QSqlDatabase db_;
    jet::TableInfo table_;
    QString select_; // the column list
    std::vector<qint64> keys_;
    long pos_ = -1;
    Row row_;              // the current row as read
    bool deleted_ = false; // the current row is gone
    bool deletedHere_ = false;
    EditMode mode_ = EditMode::None;
    Row read_;                             // the row as read when edit() began
    std::vector<std::optional<jet::Value>> pending_;
    std::optional<jet::RowConflict> conflict_;
    jet::Bookmark lastModified_;
};

} // namespace velmor::server
