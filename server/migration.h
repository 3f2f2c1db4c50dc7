// Copies the tables of a file onto a PostgreSQL server, so that a service
// that outgrew its shared file keeps its rows.
//
// For each user table of the file: a table of the same name with the same
// columns (server_values.h gives the types; text compares as the file does,
// case ignored, through the velmor_general collation), a key column of its
// own (velmor_id) as primary key, the file's indexes and one on each of
// `indexedColumns` the table has; then every row, in the file's order. All of
// it is one transaction: on any failure the server is left as it was. A
// server that already has one of the tables is refused before anything is
// written (Error Constraint), so that a second run never doubles the rows.
#pragma once

#include "server/server_database.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace velmor::server {

struct CopiedTable {
    std::string name;
    long rows = 0;
};

// Called after each lot of rows and at the end of each table.
using MigrationProgress = std::function<void(const std::string& table, long done, long total)>;

std::vector<CopiedTable> migrateToServer(jet::Database& file, ServerDatabase& server,
                                         const std::set<std::string>& indexedColumns,
                                         const MigrationProgress& progress = {});

} // namespace velmor::server
