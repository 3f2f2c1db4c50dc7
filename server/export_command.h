// `velmor-db export|query|count postgresql://... ...`: what velmor-db does on
// a file, on a database of a PostgreSQL server, with the same CSV
// (tools/csv_export.h), so that the output of a server is the output of the
// file that was copied onto it. `args` is the command line from the command
// on: export ADDRESS TABLE [--lignes N], query ADDRESS "SELECT ...", count
// ADDRESS TABLE|SELECT; --ignorer-types-inconnus is accepted (a server has no
// value that cannot be converted). Writes the rows on `out`, messages on
// `err`; returns velmor-db's exit code (0, 1 on failure, 2 for a malformed
// command).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmor::server {

int runServerExport(std::vector<std::string> args, std::ostream& out, std::ostream& err);

} // namespace velmor::server
