// The write side of an open database: one PageStore (the file opened for
// writing) and the operations a Database and its recordsets need, each run
// as one journaled transaction under the file's write lock.
#pragma once

#include "file/lock_file.h"
#include "file/page_store.h"
#include "table/table_writer.h"
#include "jet/database.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet::writer {

class DatabaseWriter {
public:
    // Opens the file for writing; throws Error(ReadOnly) when it cannot be.
    explicit DatabaseWriter(const std::string& path);

    const std::string& path() const { return store_.path(); }
    PageStore& store() { return store_; }

    // Runs `work` in one transaction and commits it; nothing is written
    // when `work` throws. Refused (Error(ReadOnly)) while another Jet
    // program has the file open, as the held lock-file slot shows.
    void transact(const std::function<void(Transaction&)>& work);

    // Called after each commit, the write lock still held: what was read of
    // the file is brought up to date before another process can change it.
    void onCommit(std::function<void()> afterCommit) { afterCommit_ = std::move(afterCommit); }

    // The slot this writer holds in the lock file, for as long as it lives.
    void holdSlot(std::unique_ptr<LockFileSlot> slot) { slot_ = std::move(slot); }

    // Single-row operations on table `table` (values in column-number order).
    RowId insert(const std::string& table, const std::vector<Value>& values, int64_t* autonumber = nullptr);
    void update(const std::string& table, RowId row, const std::vector<std::optional<Value>>& changes);
    void remove(const std::string& table, RowId row);

    // The definition page of a table, looked up once per name.
    uint32_t definitionPage(Transaction& txn, const std::string& table);

private:
    PageStore store_;
    std::vector<std::pair<std::string, uint32_t>> definitions_;
    std::function<void()> afterCommit_;
    std::unique_ptr<LockFileSlot> slot_; // freed first, before the file closes
};

// Restores the file from a journal a crashed writer left, when there is one
// and the file can be written. Called before the file is read. Throws
// Error(OrphanedJournal), changing nothing, when that journal was made for
// another file.
void recoverIfNeeded(const std::string& path);

// Adds a table to the catalog of an open file.
void createTable(DatabaseWriter& writer, const std::string& name, const std::vector<ColumnSpec>& columns,
                 const std::vector<IndexSpec>& indexes);

} // namespace jet::writer
