// Decompression of zlib streams (RFC 1950 around RFC 1951 DEFLATE), as
// Access stores the files of attachment columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace jet::detail {

// The bytes `data` [begin, begin + size) inflate to; nothing when they are
// not a complete, valid zlib stream or would inflate past `limit` bytes.
std::optional<std::vector<uint8_t>> inflateZlib(const uint8_t* data, size_t size, size_t limit);

} // namespace jet::detail
