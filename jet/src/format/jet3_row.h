// The tail of a Jet3 row: one-byte offsets of the variable columns, made
// whole by a jump table.
//
//   data | EOD | offsets of columns n-1 .. 0 | jump table | n | null mask
//
// Each offset holds its low byte; entry k of the jump table (the last byte
// before n is entry 0) is the number of the first offset (EOD counting as
// number n) at or past 256 * (k + 1). The table has (size - 1) / 256
// entries for a row of `size` bytes; when that is one more than the EOD
// needs, the entry farthest from n is a filler (0xFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet::detail {

// The offsets of a row's variable columns, EOD last (n + 1 of them). False
// when the tail does not fit in the row.
bool readJet3Offsets(const uint8_t* row, size_t size, size_t nullMaskSize, std::vector<uint16_t>& offsets);

// Appends the tail for `offsets` (columns 0 .. n-1, then the EOD, which must
// be row.size()) and then the null mask. False when no jump table can
// describe the row (its tail would cross a further 256 bytes).
bool appendJet3Tail(std::vector<uint8_t>& row, const std::vector<uint16_t>& offsets,
                    const std::vector<uint8_t>& nullMask);

} // namespace jet::detail
