// Long values (Memo, OLE): the 12-byte field in the row, and the data it
// describes: inline, in one row of a long-value page, or in a chain of them.
#pragma once

#include "data_page.h"

#include <string>

namespace jet::detail {

constexpr uint8_t kLongValueInline = 0x80;
constexpr uint8_t kLongValueSingle = 0x40;

// The raw bytes of a long value whose 12-byte field is `field`.
std::string readLongValue(const PageFile& file, const FormatInfo& f, const ByteRange& field);

} // namespace jet::detail
