#include "jet/text_match.h"

#include "index/collation.h"

#include <array>
#include <cwctype>

namespace jet {

namespace {

// The first-level bytes of one UTF-16 unit, appended to `key`.
void appendUnit(std::string& key, char16_t unit) {
    detail::CharCode code;
    if (!detail::lookupChar(detail::SortOrder::GeneralLegacy, unit, code)) {
        // Outside the tables: the unit itself, lower case, behind 0x01 (a
        // byte no first-level code uses).
        const auto folded = char16_t(std::towlower(wint_t(unit)));
        key.push_back('\x01');
        key.push_back(char(folded >> 8));
        key.push_back(char(folded & 0xFF));
        return;
    }
    switch (code.cls) {
    case detail::CharCode::Class::Plain:
    case detail::CharCode::Class::Accented:
    case detail::CharCode::Class::Kana:
    case detail::CharCode::Class::Surrogate:
        key.append(reinterpret_cast<const char*>(code.primary), code.primaryLength);
        break;
    default: // punctuation, combining marks, ignored units: no first-level code
        break;
    }
}

// The bytes of the units below 256 (nearly every unit of a Latin text),
// worked out once; for ASCII, the one byte a unit gives (`none` when it
// gives none, `several` when more).
struct LowUnits {
    static constexpr short none = -1, several = -2;
    std::array<std::string, 256> bytes;
    std::array<short, 128> ascii{};
    LowUnits() {
        for (unsigned unit = 0; unit < 256; ++unit)
            appendUnit(bytes[unit], char16_t(unit));
        for (unsigned unit = 0; unit < 128; ++unit)
            ascii[unit] = bytes[unit].empty()       ? none
                          : bytes[unit].size() == 1 ? short(uint8_t(bytes[unit][0]))
                                                    : several;
    }
};

const LowUnits& lowUnits() {
    static const LowUnits low;
    return low;
}

void appendFast(std::string& key, const LowUnits& low, char16_t unit) {
    if (unit < 256)
        key += low.bytes[unit];
    else
        appendUnit(key, unit);
}

// Appends the keys of a run of ASCII units that give at most one key byte
// each, in one resize, and returns where the run ends.
const unsigned char* appendAscii(std::string& key, const LowUnits& low, const unsigned char* p,
                                 const unsigned char* end) {
    const unsigned char* runEnd = p;
    while (runEnd < end && *runEnd < 0x80 && low.ascii[*runEnd] != LowUnits::several)
        ++runEnd;
    const size_t at = key.size();
    key.resize(at + size_t(runEnd - p));
    char* out = key.data() + at;
    for (; p < runEnd; ++p)
        if (low.ascii[*p] != LowUnits::none)
            *out++ = char(low.ascii[*p]);
    key.resize(size_t(out - key.data()));
    return runEnd;
}

} // namespace

std::string textMatchKey(std::u16string_view text) {
    std::string key;
    key.reserve(text.size());
    const LowUnits& low = lowUnits();
    for (char16_t unit : text)
        appendFast(key, low, unit);
    return key;
}

void appendTextMatchKey(std::string& key, std::string_view utf8) {
    const LowUnits& low = lowUnits();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            const unsigned char* next = appendAscii(key, low, p, end);
            if (next == p) { // a unit of several key bytes
                appendFast(key, low, char16_t(lead));
                ++next;
            }
            p = next;
            continue;
        }
        int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t point = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
        bool valid = length > 1 && lead < 0xF8 && end - p >= length;
        for (int i = 1; valid && i < length; ++i) {
            valid = (p[i] & 0xC0) == 0x80;
            point = point << 6 | (p[i] & 0x3F);
        }
        if (!valid) { // a stray byte reads as U+FFFD, as text decoders do
            appendFast(key, low, u'\uFFFD');
            ++p;
            continue;
        }
        p += length;
        if (point >= 0x10000) {
            point -= 0x10000;
            appendFast(key, low, char16_t(0xD800 + (point >> 10)));
            appendFast(key, low, char16_t(0xDC00 + (point & 0x3FF)));
        } else {
            appendFast(key, low, char16_t(point));
        }
    }
}

std::string textMatchKey(std::string_view utf8) {
    std::string key;
    key.reserve(utf8.size());
    appendTextMatchKey(key, utf8);
    return key;
}

bool keyContains(std::string_view haystackKey, std::string_view needleKey) {
    return haystackKey.find(needleKey) != std::string_view::npos;
}

} // namespace jet
