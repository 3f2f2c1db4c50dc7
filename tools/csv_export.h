// CSV in the convention of the test fixtures' dumps: UTF-8, LF line ends,
// a header line of quoted column names, every non-NULL value in double
// quotes (quotes doubled), NULL as an empty field, binary as 0x + hex.
// A value the engine does not convert (a complex column, an unknown type) is
// written as an empty field too, and counted: no text can pass for it.
#pragma once

#include "jet/recordset.h"

#include <ostream>
#include <string>
#include <vector>

namespace velmor {

std::string csvField(const jet::Value& value);
void writeCsvHeader(std::ostream& out, const jet::Recordset& rows);
// Writes the rows from the current position to the end; returns their count.
// When `unconverted` is given, it gets one count per column of the values
// left empty because they could not be converted.
long writeCsvRows(std::ostream& out, jet::Recordset& rows, long limit = -1, std::vector<long>* unconverted = nullptr);

} // namespace velmor
