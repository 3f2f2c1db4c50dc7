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
    bool ok() const { return problems.empty(); }
};

// Opens the file read-only and checks every index of every table (system
// tables included): the pages of each tree (types, order of entries, node
// entries equal to the largest entry below them, the leaf chain), then the
// entries against the rows (one entry per row, keys encoded again and equal,
// nothing more), unique indexes free of duplicates and the distinct-key count
// the table definition records. Throws Error if the file cannot be read.
CheckReport checkDatabase(const std::string& path);

} // namespace jet
