// An in-memory stand-in for the Jet engine, for tests of what sits on top of
// a record source: the same Database / Recordset interface and the same
// dynaset rules (moves, BOF/EOF, addNew/edit/update, deleteCurrent,
// bookmarks, lastModified), the row sources the sheets send (a table name,
// SELECT * FROM t, WHERE col='text', WHERE col=null), and databases kept by
// name for the life of the test program.
//
// MemoryEngine installs it as the way every BaseR opens its file and puts
// the engine back when it goes out of scope.
#pragma once

#include "jet/database.h"
#include "jet/recordset.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace velmor::testing {

struct MemoryTable {
    jet::TableInfo info;
    std::vector<std::optional<std::vector<jet::Value>>> storedRows; // a deleted row leaves an empty slot
};

struct MemoryFile {
    std::vector<MemoryTable> tables;
    bool readOnly = false;
    MemoryTable* find(const std::string& name);
};

// The file named `path` (created empty if needed); its tables stay for the
// whole test program unless forgotten.
MemoryFile& memoryFile(const QString& path);
void forgetMemoryFile(const QString& path);
bool memoryFileExists(const QString& path);

// A file holding `velmor2001` and `tablep` with the twelve columns each and,
// unless `empty`, the eight rows of each that the shared fixtures hold
// (shorter memos).
void makeVelmorFile(const QString& path, bool empty = false);

// Opens a memory file; jet::Error(IoError) when there is none of that name.
std::unique_ptr<jet::Database> openMemoryDatabase(const QString& path);

class MemoryEngine {
public:
    MemoryEngine();
    ~MemoryEngine();
    MemoryEngine(const MemoryEngine&) = delete;
    MemoryEngine& operator=(const MemoryEngine&) = delete;
};

// The stored rows of a table in slot order (deleted ones left out), as the
// value of one column each.
std::vector<jet::Value> memoryColumn(const QString& path, const std::string& table, const std::string& column);

} // namespace velmor::testing
