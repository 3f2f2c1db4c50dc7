#include "format/extended_date.h"

#include "jet/value.h"

namespace jet::detail {

namespace {

constexpr int kDayDigits = 19, kTimeDigits = 19;
constexpr uint8_t kTrailer[3] = {':', '7', 0};

bool readDigits(const uint8_t* p, int count, int64_t& out) {
    out = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9' || out > (INT64_MAX - 9) / 10)
            return false;
        out = out * 10 + (p[i] - '0');
    }
    return true;
}

void writeDigits(uint8_t* p, int count, int64_t value) {
    for (int i = count - 1; i >= 0; --i) {
        p[i] = uint8_t('0' + value % 10);
        value /= 10;
    }
}

} // namespace

std::optional<int64_t> decodeExtendedDate(const uint8_t* bytes, size_t size) {
    if (size < kExtendedDateSize || bytes[kDayDigits] != ':')
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (bytes[kDayDigits + 1 + kTimeDigits + i] != kTrailer[i])
            return std::nullopt;
    int64_t days = 0, time = 0;
    if (!readDigits(bytes, kDayDigits, days) ||
        !readDigits(bytes + kDayDigits + 1, kTimeDigits, time))
        return std::nullopt;
    if (time >= Value::kTicksPerDay || days > Value::kMaxExtendedTicks / Value::kTicksPerDay)
        return std::nullopt;
    return days * Value::kTicksPerDay + time;
}

std::array<uint8_t, kExtendedDateSize> encodeExtendedDate(int64_t ticks) {
    std::array<uint8_t, kExtendedDateSize> out{};
    writeDigits(out.data(), kDayDigits, ticks / Value::kTicksPerDay);
    out[kDayDigits] = ':';
    writeDigits(out.data() + kDayDigits + 1, kTimeDigits, ticks % Value::kTicksPerDay);
    for (int i = 0; i < 3; ++i)
        out[size_t(kDayDigits + 1 + kTimeDigits + i)] = kTrailer[i];
    return out;
}

} // namespace jet::detail
