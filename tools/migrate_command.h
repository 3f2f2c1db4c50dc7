// velmor-db migrate FILE postgresql://USER@HOST:PORT/DATABASE: copies the
// file's tables onto a PostgreSQL server; export, query and count with a
// postgresql:// source read a server's database. These need Qt SQL's
// PostgreSQL driver, which velmor-db (the engine alone) does not link: the
// command runs the program velmor-db-migrate found beside velmor-db
// (server/main.cpp), and returns its exit code.
#pragma once

#include <string>
#include <vector>

namespace velmor {

// `args` starts with "migrate"; `self` is argv[0].
int runMigrate(const std::vector<std::string>& args, const char* self);
// `args` starts with "export", "query" or "count", then the server's address.
int runServerExport(const std::vector<std::string>& args, const char* self);

} // namespace velmor
