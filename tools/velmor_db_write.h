// The commands of velmor-db that write: init, demo, import and exec.
#pragma once

#include "jet/database.h"

#include <string>
#include <vector>

namespace velmor {

// The column layout of Velmor's two tables, in table order: first the
// row's number (an autonumber, the primary key), then the desk's columns.
struct VelmorColumn {
    const char* name;
    enum Kind { Number, Text, Date, Memo } kind;
};
const std::vector<VelmorColumn>& returnTableColumns(); // velmor2001
const std::vector<VelmorColumn>& loanTableColumns();   // tablep

// Creates an empty Velmor database (refuses to overwrite a file), in the
// format of Access 2000 (Jet4) or of Access 97 (Jet3). Each table has the
// primary key `PrimaryKey` on `id` and an index named after its client
// column, on that column, as a desk's Access database has them.
void createVelmorDatabase(const std::string& path, jet::Format format = jet::Format::Jet4);

// Runs `velmor-db init|demo|import|exec ...`. Returns false when args[0] is
// none of these; otherwise sets exitCode.
bool runWriteCommand(const std::vector<std::string>& args, int& exitCode);

extern const char* kWriteUsage;

} // namespace velmor
