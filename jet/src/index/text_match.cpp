#include "jet/text_match.h"

#include "index/collation.h"

#include <cwctype>

namespace jet {

std::string textMatchKey(std::u16string_view text) {
    std::string key;
    key.reserve(text.size());
    detail::CharCode code;
    for (char16_t unit : text) {
        if (!detail::lookupChar(detail::SortOrder::GeneralLegacy, unit, code)) {
            // Outside the tables: the unit itself, lower case, behind 0x01
            // (a byte no first-level code uses).
            const auto folded = char16_t(std::towlower(wint_t(unit)));
            key.push_back('\x01');
            key.push_back(char(folded >> 8));
            key.push_back(char(folded & 0xFF));
            continue;
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
    return key;
}

bool keyContains(std::string_view haystackKey, std::string_view needleKey) {
    return haystackKey.find(needleKey) != std::string_view::npos;
}

} // namespace jet
