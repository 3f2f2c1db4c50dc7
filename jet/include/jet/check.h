// Consistency check of a database file's indexes: every index of every table
// is walked page by page and compared with the table's rows.
#pragma once

#include <string>
#include <vector>

namespace jet {

struct CheckReport {
    long tables = 0;
    long indexes = 0;          // indexes verified
    long entries = 0;          // index entries verified
    std::vector<std::string> problems; // French, one per problem found
    std::vector<std::string> notes;    // indexes that could not be verified, and why
    long unverifiedKeys = 0;           // rows whose entry was found by row pointer only (key not computable)
    bool ok() const { return problems.empty(); }
};

// Restores the file first when a writer left a write half done and the file
// can be written (as opening it for writing would); when it cannot, a note
// says so. A journal beside the file that was made for another file (a backup
// copied over the database after a writer died) is left alone, and is a
// problem that names it. Then opens the file read-only and checks every index of every table (system
// tables included): the pages of each tree (types, order of entries, node
// entries equal to the largest entry below them, the leaf chain), then the
// entries against the rows (one entry per row, keys encoded again and equal,
// nothing more), unique indexes free of duplicates and the distinct-key count
// the table definition records. A row whose key cannot be computed (a
// character outside the collation tables) is not a problem: its entry is
// found by row pointer (exactly one), the order of the entries is checked, and
// a note counts such rows (unverifiedKeys). Throws Error if the file cannot be read.
// It then checks the storage (checkStorage below).
CheckReport checkDatabase(const std::string& path);

// The storage of every table: owned-pages and free-space maps, the row table
// and free space of each data page, the row count of the definition, moved
// rows, long values (inline, one row, chains), and the global page map.
// Adds what it finds to report.problems. Takes the file's lock shared.
void checkStorage(const std::string& path, CheckReport& report);

} // namespace jet
