#include "collation.h"

#include "jet/status.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace jet::detail {

// Run tables in collation_tables.cpp, as hexadecimal text. Each run describes
// `count` consecutive UTF-16 units sharing a class:
//   u16 first unit, u16 count (little-endian), u8 class, u8 step,
//   u8 primary length, primary bytes, u8 accent length, accent bytes, u8 aux
// Class numbers: 0 ignored, 1 plain, 2 accented, 3 punctuation, 4 modifier,
// 5 kana. Unit first+i has the run's primary bytes, read as one big-endian
// number, plus i*step; for punctuation and modifiers, aux grows by i*step
// instead. Surrogate units (U+D800-U+DFFF) are not in the tables.
extern const char kGeneralLegacyRuns[];
extern const unsigned long kGeneralLegacyRunsSize;
extern const char kGeneral2010Runs[];
extern const unsigned long kGeneral2010RunsSize;

namespace {

struct Run {
    uint16_t first = 0;
    uint16_t count = 0;
    CharCode::Class cls = CharCode::Class::Ignored;
    uint8_t step = 0;
    uint8_t primaryLength = 0;
    uint8_t primary[8] = {};
    uint8_t accentLength = 0;
    uint8_t accent[3] = {};
    uint8_t aux = 0;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes a run table; an inconsistent table yields an empty list, which makes
// every character unencodable rather than wrongly encoded.
std::vector<Run> decodeRuns(const char* hex, unsigned long size)
{
    std::vector<uint8_t> bytes(size);
    for (unsigned long i = 0; i < size; ++i) {
        int hi = hexDigit(hex[2 * i]), lo = hexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        bytes[i] = uint8_t(hi << 4 | lo);
    }
    std::vector<Run> runs;
    size_t p = 0;
    auto need = [&](size_t n) { return p + n <= bytes.size(); };
    uint32_t nextFirst = 0;
    while (p < bytes.size()) {
        Run r;
        if (!need(7))
            return {};
        r.first = uint16_t(bytes[p] | bytes[p + 1] << 8);
        r.count = uint16_t(bytes[p + 2] | bytes[p + 3] << 8);
        uint8_t cls = bytes[p + 4];
        r.step = bytes[p + 5];
        r.primaryLength = bytes[p + 6];
        p += 7;
        if (cls > 5 || r.count == 0 || r.first < nextFirst || r.primaryLength > sizeof r.primary
            || !need(r.primaryLength + 1u))
            return {};
        r.cls = CharCode::Class(cls);
        std::memcpy(r.primary, &bytes[p], r.primaryLength);
        p += r.primaryLength;
        r.accentLength = bytes[p++];
        if (r.accentLength > sizeof r.accent || !need(r.accentLength + 1u))
            return {};
        std::memcpy(r.accent, &bytes[p], r.accentLength);
        p += r.accentLength;
        r.aux = bytes[p++];
        nextFirst = uint32_t(r.first) + r.count;
        if (nextFirst > 0x10000)
            return {};
        runs.push_back(r);
    }
    return runs;
}

const std::vector<Run>& runsFor(SortOrder order)
{
    static const std::vector<Run> legacy = decodeRuns(kGeneralLegacyRuns, kGeneralLegacyRunsSize);
    static const std::vector<Run> general = decodeRuns(kGeneral2010Runs, kGeneral2010RunsSize);
    return order == SortOrder::GeneralLegacy ? legacy : general;
}

void surrogateCode(char16_t unit, CharCode& out)
{
    // High units map to unit - 10238. Low units are numbered within their
    // 1024-unit block, whose offset changes every 254 units after the first 8.
    unsigned value;
    if (unit < 0xDC00) {
        value = unsigned(unit) - 10238;
    } else {
        unsigned r = (unsigned(unit) - 0xDC00) % 1024;
        unsigned d = r < 8 ? 9992 : r < 262 ? 9990 : r < 516 ? 9988 : r < 770 ? 9986 : 9984;
        value = unsigned(unit) - d;
    }
    out = CharCode{};
    out.cls = CharCode::Class::Surrogate;
    out.primaryLength = 2;
    out.primary[0] = uint8_t(value >> 8);
    out.primary[1] = uint8_t(value);
    out.accentLength = 1;
    out.accent[0] = 0x3f;
}

[[noreturn]] void cannotEncodeChar(SortOrder order, char16_t unit)
{
    if (order == SortOrder::Unsupported)
        throw Error(Code::Unsupported,
                    "ordre de tri non pris en charge : impossible de calculer la clé d'index d'un texte");
    char buffer[120];
    std::snprintf(buffer, sizeof buffer, "le caractère U+%04X n'a pas de code dans l'ordre de tri « %s »",
                  unsigned(unit), sortOrderName(order));
    throw Error(Code::Unsupported, buffer);
}

[[noreturn]] void badUtf8()
{
    throw Error(Code::InvalidValue, "texte mal formé (UTF-8 invalide) : impossible de calculer la clé d'index");
}

} // namespace

const char* sortOrderName(SortOrder order)
{
    switch (order) {
    case SortOrder::GeneralLegacy: return "Général - hérité";
    case SortOrder::General2010: return "Général";
    case SortOrder::Unsupported: return "non pris en charge";
    }
    return "non pris en charge";
}

SortOrder sortOrderFromId(uint16_t id, uint8_t version)
{
    if (id == 1033 && version == 0)
        return SortOrder::GeneralLegacy;
    if (id == 1033 && version == 1)
        return SortOrder::General2010;
    return SortOrder::Unsupported;
}

SortOrder sortOrderFromStored(uint32_t stored, bool jet3)
{
    if (jet3)
        return SortOrder::Unsupported;
    return sortOrderFromId(uint16_t(stored & 0xFFFF), uint8_t(stored >> 24));
}

SortOrder columnSortOrder(uint32_t stored, SortOrder databaseOrder, bool jet3)
{
    if (jet3)
        return SortOrder::Unsupported;
    if ((stored & 0xFFFF) == 0)
        return databaseOrder;
    return sortOrderFromStored(stored);
}

std::string describeSortOrder(uint32_t stored)
{
    uint16_t id = uint16_t(stored & 0xFFFF);
    uint8_t version = uint8_t(stored >> 24);
    SortOrder known = sortOrderFromId(id, version);
    if (known != SortOrder::Unsupported)
        return std::string("ordre de tri « ") + sortOrderName(known) + " »";
    return "ordre de tri " + std::to_string(id) + ", version " + std::to_string(version);
}

bool lookupChar(SortOrder order, char16_t unit, CharCode& out)
{
    if (order == SortOrder::Unsupported)
        return false;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        surrogateCode(unit, out);
        return true;
    }
    const std::vector<Run>& runs = runsFor(order);
    auto it = std::upper_bound(runs.begin(), runs.end(), unit,
                               [](char16_t u, const Run& r) { return u < r.first; });
    if (it == runs.begin())
        return false;
    const Run& r = *(it - 1);
    unsigned index = unsigned(unit) - r.first;
    if (index >= r.count)
        return false;
    out = CharCode{};
    out.cls = r.cls;
    out.primaryLength = r.primaryLength;
    out.accentLength = r.accentLength;
    std::memcpy(out.accent, r.accent, r.accentLength);
    out.aux = r.aux;
    if (r.cls == CharCode::Class::Punctuation || r.cls == CharCode::Class::Modifier) {
        out.aux = uint8_t(r.aux + index * r.step);
    } else if (r.primaryLength > 0) {
        uint64_t value = 0;
        for (int i = 0; i < r.primaryLength; ++i)
            value = value << 8 | r.primary[i];
        value += uint64_t(index) * r.step;
        for (int i = r.primaryLength - 1; i >= 0; --i) {
            out.primary[i] = uint8_t(value);
            value >>= 8;
        }
    }
    return true;
}

std::u16string_view indexedText(std::u16string_view text)
{
    if (text.size() > 255)
        text = text.substr(0, 255);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    return text;
}

bool canEncodeText(SortOrder order, std::u16string_view text)
{
    CharCode code;
    for (char16_t unit : indexedText(text))
        if (!lookupChar(order, unit, code))
            return false;
    return true;
}

void appendTextKey(SortOrder order, std::u16string_view text, bool ascending, std::vector<uint8_t>& out)
{
    text = indexedText(text);
    std::vector<uint8_t> key;
    key.reserve(text.size() * 2 + 8);

    std::vector<uint8_t> accents;     // accent section being built
    size_t described = 0;             // units with primary bytes that `accents` covers
    bool accentsStarted = false;
    bool bareModifierFirst = false;   // accents began with a modifier and no accent before it
    std::vector<uint8_t> punctuation; // 4-byte groups
    std::vector<uint8_t> kanaFlags;
    bool sawKana = false;
    size_t primaryUnits = 0;          // units with primary bytes so far

    auto catchUp = [&](size_t upTo) {
        if (described < upTo) {
            accents.insert(accents.end(), upTo - described, 0x02);
            described = upTo;
        }
    };

    CharCode code;
    for (char16_t unit : text) {
        if (!lookupChar(order, unit, code))
            cannotEncodeChar(order, unit);
        size_t before = primaryUnits;
        if (code.primaryLength > 0) {
            key.insert(key.end(), code.primary, code.primary + code.primaryLength);
            ++primaryUnits;
        }
        switch (code.cls) {
        case CharCode::Class::Ignored:
        case CharCode::Class::Plain:
            break;
        case CharCode::Class::Accented:
        case CharCode::Class::Surrogate:
        case CharCode::Class::Kana:
            if (code.accentLength > 0) {
                catchUp(before);
                accents.insert(accents.end(), code.accent, code.accent + code.accentLength);
                described = before + 1;
                accentsStarted = true;
            }
            if (code.cls == CharCode::Class::Kana) {
                kanaFlags.push_back(code.aux);
                sawKana = true;
            }
            break;
        case CharCode::Class::Modifier:
            if (code.aux != 0) {
                catchUp(before);
                if (!accents.empty()) {
                    accents.back() = uint8_t(accents.back() + code.aux);
                } else {
                    accents.push_back(code.aux);
                    bareModifierFirst = true;
                }
                accentsStarted = true;
            }
            break;
        case CharCode::Class::Punctuation: {
            long position = long(before);
            if (accentsStarted)
                position = long(accents.size()) + (long(before) - long(described)) - (bareModifierFirst ? 1 : 0);
            unsigned offset = 0x8000 | unsigned(7 + 4 * position);
            punctuation.push_back(uint8_t(offset >> 8));
            punctuation.push_back(uint8_t(offset));
            punctuation.push_back(0x06);
            punctuation.push_back(code.aux);
            break;
        }
        }
    }
    key.push_back(0x01);

    while (!accents.empty() && accents.back() <= 0x02)
        accents.pop_back();
    key.insert(key.end(), accents.begin(), accents.end());

    if (sawKana || !punctuation.empty()) {
        key.push_back(0x01);
        key.push_back(0x01);
        if (sawKana) {
            while (!kanaFlags.empty() && kanaFlags.back() == 3)
                kanaFlags.pop_back();
            for (size_t i = 0; i < kanaFlags.size(); i += 3) {
                uint8_t b = 0x80;
                for (size_t j = 0; j < 3 && i + j < kanaFlags.size(); ++j)
                    b |= uint8_t(kanaFlags[i + j] << (2 * (2 - j)));
                key.push_back(b);
            }
            static const uint8_t marker[] = {0xff, 0x02, 0x80, 0xff, 0x80};
            key.insert(key.end(), std::begin(marker), std::end(marker));
            if (!punctuation.empty())
                key.push_back(0xff);
        }
        if (!punctuation.empty()) {
            key.push_back(0x01);
            key.insert(key.end(), punctuation.begin(), punctuation.end());
        }
    }

    if (ascending) {
        out.push_back(0x7f);
        out.insert(out.end(), key.begin(), key.end());
        out.push_back(0x00);
    } else {
        out.push_back(0x80);
        for (uint8_t b : key)
            out.push_back(uint8_t(~b));
        out.push_back(0xff); // the inverted end byte
        out.push_back(0x00);
    }
}

std::u16string utf16UnitsOfUtf8(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        uint8_t c = uint8_t(s[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            badUtf8();
        }
        if (i + size_t(extra) >= s.size())
            badUtf8();
        for (int k = 1; k <= extra; ++k) {
            uint8_t cc = uint8_t(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                badUtf8();
            cp = cp << 6 | (cc & 0x3F);
        }
        static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            badUtf8();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += size_t(extra) + 1;
    }
    return out;
}

} // namespace jet::detail
