// Date/Time Extended values (Access 2019, type code 0x14) as a row stores
// them: 42 ASCII bytes of a fixed form,
//
//   DDDDDDDDDDDDDDDDDDD:SSSSSSSSSSSSFFFFFFF:7<NUL>
//
// 19 digits of days since 0001-01-01, a colon, 12 digits of seconds since
// midnight and 7 of 100-nanosecond units, then ":7" (the number of fraction
// digits) and a zero byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace jet::detail {

constexpr size_t kExtendedDateSize = 42;

// The value's ticks (100 ns since 0001-01-01 00:00:00); nothing when the
// bytes are not of the form above or the time of day is 24 h or more.
std::optional<int64_t> decodeExtendedDate(const uint8_t* bytes, size_t size);

// The stored bytes of a value in ticks (0 to Value::kMaxExtendedTicks).
std::array<uint8_t, kExtendedDateSize> encodeExtendedDate(int64_t ticks);

} // namespace jet::detail
