// The database password that velmor-db takes with --mot-de-passe, for every
// command that opens a file.
#pragma once

#include "jet/database.h"

#include <memory>
#include <string>
#include <vector>

namespace velmor {

// Takes "--mot-de-passe PASSWORD" out of args, wherever it stands on the
// line, and keeps the password for openDatabase. Returns false (and sets
// error) when the option has no value or is given twice.
bool takePasswordOption(std::vector<std::string>& args, std::string& error);

// Opens the file with the password given on the command line, if any.
std::unique_ptr<jet::Database> openDatabase(const std::string& file, jet::OpenMode mode);

} // namespace velmor
