// A dynaset on a PostgreSQL table, with the behaviour the engine's Recordset
// interface states for a file (jet/recordset.h): the keys of the selected
// rows are read at the opening, in the row source's order. Rows are read in
// blocks of `blockRows` keys around the position asked for, so that walking
// the set (a list, a search) costs one round trip per block, and of
// `jumpRows` after a jump (a bookmark, a position far away); a row read more
// than `freshForMs` ago is read again, so a desk moving from row to row sees
// what other desks saved meanwhile. A bookmark finds its position through a
// hash of the keys, so moves and bookmarks cost O(1) amortised. update()
// and deleteCurrent() lock the row (SELECT ... FOR UPDATE), compare it with
// the values this recordset read and merge or refuse as on a file. A
// bookmark carries the row's key (velmor_id) in its page field.
// A connection lost since the last action is made again at the next one
// (reconnecting(), server_database.h): the row being edited stays pending.
#pragma once

#include "server/row_source_sql.h"

#include "jet/recordset.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <optional>
#include <unordered_map>

namespace velmor::server {

class ServerRecordset : public jet::Recordset {
public:
    static constexpr long blockRows = 200;
    static constexpr long jumpRows = 10;
    static constexpr qint64 freshForMs = 1000;

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
    void readBlock(long position, long rows); // the rows of the block holding `position` into cache_
    long positionOf(qint64 key);          // -1 when the key is not in the set
    void forget(qint64 key) { cache_.erase(key); }
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
    std::unordered_map<qint64, long> positions_; // of each key; rebuilt when empty
    struct Cached {
        std::optional<Row> row; // nothing: the row is gone
        qint64 readAt = 0;      // clock_ milliseconds
    };
    std::unordered_map<qint64, Cached> cache_;
    QElapsedTimer clock_;
    std::optional<QSqlQuery> blockQuery_;
    long pos_ = -1;
    bool sequential_ = true; // the last move went to the next or previous row
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
