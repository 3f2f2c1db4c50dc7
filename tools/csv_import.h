// `velmor-db import`: rows of a CSV file (header = column names) added to a
// table.
//
// By default the whole file is one write: every row or none. The first row
// refused (a value that does not convert, a date that does not exist, text
// that is not UTF-8, a value for an autonumber column, or a row the engine
// refuses) is named by its line and, when it is about one value, its column,
// and nothing is written. With a lot size, each lot of that many rows is one
// write of its own: the lots before the refused row stay.
#pragma once

#include <string>

namespace velmor {

// Prints the outcome ("N lignes importées") on stdout and the refused row on
// stderr; returns the exit code (0 when every row was added, 1 otherwise).
// lotSize 0: one write for the whole file.
int importCsv(const std::string& file, const std::string& table, const std::string& csvPath,
              long lotSize);

} // namespace velmor
