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
// worked out once.
struct LowUnits {
    std::array<std::string, 256> bytes;
    LowUnits() {
        for (unsigned unit = 0; unit < 256; ++unit)
            appendUnit(bytes[unit], char16_t(unit));
    }
};

void appendFast(std::string& key, char16_t unit) {
    static const LowUnits low;
    if (unit < 256)
        key += low.bytes[unit];
    else
        appendUnit(key, unit);
}

} // namespace

std::string textMatchKey(std::u16string_view text) {
    std::string key;
    key.reserve(text.size());
    for (char16_t unit : text)
        appendFast(key, unit);
    return key;
}

std::string textMatchKey(std::string_view utf8) {
    std::string key;
    key.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            appendFast(key, char16_t(lead));
            ++p;
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
            appendFast(key, u'\uFFFD');
            ++p;
            continue;
        }
        p += length;
        if (point >= 0x10000) {
            point -= 0x10000;
            appendFast(key, char16_t(0xD800 + (point >> 10)));
            appendFast(key, char16_t(0xDC00 + (point & 0x3FF)));
        } else {
            appendFast(key, char16_t(point));
        }
    }
    return key;
}

bool keyContains(std::string_view haystackKey, std::string_view needleKey) {
    return haystackKey.find(needleKey) != std::string_view::npos;
}

} // namespace jet
