// CSV in the convention of the test fixtures' dumps: UTF-8, LF line ends,
// a header line of quoted column names, every non-NULL value in double
// quotes (quotes doubled), NULL as an empty field, binary as 0x + hex.
#pragma once

#include "jet/recordset.h"

#include <ostream>
#include <string>

namespace velmor {

std::string csvField(const jet::Value& value);
void writeCsvHeader(std::ostream& out, const jet::Recordset& rows);
// Writes the rows from the current position to the end; returns their count.
long writeCsvRows(std::ostream& out, jet::Recordset& rows, long limit = -1);

} // namespace velmor
