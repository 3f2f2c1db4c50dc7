// Text keys of Jet3 files: Access 97's "General" sort order.
//
// A key is one or two bytes per character (upper and lower case alike,
// accents left out), then a section that names the accents: a string of
// 4-bit codes that opens and closes with 0, where each accented character
// puts its accent code, preceded by a 2 for every "significant" letter (one
// of A C E I N O S U Y, any case, unaccented; ß counts as the two s it
// stands for) met since the previous accent.
// Text without accents ends with 0x00 instead. Descending keys invert every
// byte after the flag byte.
//
// Jet3 text is stored in the file's code page; these codes are those of the
// Windows-1252 bytes. Only the characters whose keys were checked against
// the pages Access 97 wrote are listed: every other one is refused.
#include "index/collation.h"

#include "jet/status.h"

#include <cstdint>
#include <cstdio>

namespace jet::detail {

namespace {

// Key bytes of each Windows-1252 byte: one byte, or two (high byte first)
// when above 0xFF. 0: not verified, refused.
constexpr uint16_t kKey[256] = {
    0x0000, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, // 00
    0x0010, 0x0011, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, // 08
    0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, // 10
    0x0010, 0x0010, 0x0000, 0x0010, 0x0010, 0x0010, 0x0010, 0x0010, // 18
    0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017, 0x0018, // 20
    0x0019, 0x001a, 0x001b, 0x001c, 0x001d, 0x001e, 0x001f, 0x0020, // 28
    0x0056, 0x0057, 0x0058, 0x0059, 0x005a, 0x005b, 0x005c, 0x005d, // 30
    0x005e, 0x005f, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, // 38
    0x0027, 0x0060, 0x0061, 0x0062, 0x0064, 0x0066, 0x0067, 0x0068, // 40
    0x0069, 0x006a, 0x006b, 0x006c, 0x006d, 0x006f, 0x0070, 0x0072, // 48
    0x0073, 0x0074, 0x0075, 0x0076, 0x0077, 0x0078, 0x007a, 0x007b, // 50
    0x007c, 0x007d, 0x007e, 0x0028, 0x0029, 0x002a, 0x002b, 0x002c, // 58
    0x002d, 0x0060, 0x0061, 0x0062, 0x0064, 0x0066, 0x0067, 0x0068, // 60
    0x0069, 0x006a, 0x006b, 0x006c, 0x006d, 0x006f, 0x0070, 0x0072, // 68
    0x0073, 0x0074, 0x0075, 0x0076, 0x0077, 0x0078, 0x007a, 0x007b, // 70
    0x007c, 0x007d, 0x007e, 0x002e, 0x002f, 0x0030, 0x0031, 0x0010, // 78
    0x0010, 0x0010, 0x0018, 0x0032, 0x0013, 0x0033, 0x0034, 0x0035, // 80
    0x0036, 0x0037, 0x0076, 0x0018, 0x7266, 0x0010, 0x0010, 0x0010, // 88
    0x0010, 0x0018, 0x0018, 0x0013, 0x0013, 0x0038, 0x001e, 0x001e, // 90
    0x0039, 0x003a, 0x0076, 0x0018, 0x7266, 0x0010, 0x0010, 0x007d, // 98
    0x0011, 0x003b, 0x003c, 0x003d, 0x003e, 0x003f, 0x0040, 0x0041, // a0
    0x0042, 0x0043, 0x0044, 0x0013, 0x0045, 0x001e, 0x0046, 0x0047, // a8
    0x0048, 0x0049, 0x0058, 0x0059, 0x004a, 0x004b, 0x004c, 0x004d, // b0
    0x004e, 0x0057, 0x004f, 0x0013, 0x0050, 0x0051, 0x0052, 0x0053, // b8
    0x0060, 0x0060, 0x0060, 0x0060, 0x0060, 0x0060, 0x6066, 0x0062, // c0
    0x0066, 0x0066, 0x0066, 0x0066, 0x006a, 0x006a, 0x006a, 0x006a, // c8
    0x0065, 0x0070, 0x0072, 0x0072, 0x0072, 0x0072, 0x0072, 0x0054, // d0
    0x0081, 0x0078, 0x0078, 0x0078, 0x0078, 0x007d, 0x007f, 0x7676, // d8
    0x0060, 0x0060, 0x0060, 0x0060, 0x0060, 0x0060, 0x6066, 0x0062, // e0
    0x0066, 0x0066, 0x0066, 0x0066, 0x006a, 0x006a, 0x006a, 0x006a, // e8
    0x0065, 0x0070, 0x0072, 0x0072, 0x0072, 0x0072, 0x0072, 0x0055, // f0
    0x0081, 0x0078, 0x0078, 0x0078, 0x0078, 0x007d, 0x007f, 0x007d, // f8
};

// Accent codes: grave 3, acute 4, circumflex 5, diaeresis 6, tilde 7,
// ring 8, cedilla 9, caron 10.
constexpr uint8_t kGrave = 3, kAcute = 4, kCircumflex = 5, kDiaeresis = 6, kTilde = 7, kRing = 8, kCedilla = 9,
                  kCaron = 10;

// The accent of bytes 0xC0-0xFF (0: none); lower case repeats upper case.
constexpr uint8_t kAccentHigh[32] = {
    kGrave, kAcute, kCircumflex, kTilde, kDiaeresis, kRing, 0,     kCedilla,    // C0 ÀÁÂÃÄÅÆÇ
    kGrave, kAcute, kCircumflex, kDiaeresis, kGrave, kAcute, kCircumflex, kDiaeresis, // C8 ÈÉÊËÌÍÎÏ
    0,      kTilde, kGrave, kAcute, kCircumflex, kTilde, kDiaeresis, 0,          // D0 ÐÑÒÓÔÕÖ×
    0,      kGrave, kAcute, kCircumflex, kDiaeresis, kAcute, 0,     0,           // D8 ØÙÚÛÜÝÞß
};

uint8_t accentOf(uint8_t b)
{
    switch (b) {
    case 0x8A: // Š
    case 0x9A: // š
        return kCaron;
    case 0x9F: // Ÿ
    case 0xFF: // ÿ
        return kDiaeresis;
    default: return b >= 0xC0 ? kAccentHigh[(b - 0xC0) & 0x1F] : 0;
    }
}

// Significant letters a byte stands for; -1 where Access's pages do not show
// it: the letters Æ, Œ, Ð, Ø, Þ (either case), before an accented letter.
int significantCount(uint8_t b)
{
    switch (b) {
    case 0xDF: return 2; // ß
    case 0x8C: case 0x9C: case 0xC6: case 0xE6: case 0xD0: case 0xF0: case 0xD8: case 0xF8: case 0xDE: case 0xFE:
        return -1;
    default: break;
    }
    switch (b | 0x20) {
    case 'a': case 'c': case 'e': case 'i': case 'n': case 'o': case 's': case 'u': case 'y':
        return b < 0x80 ? 1 : 0;
    default: return 0;
    }
}

[[noreturn]] void unverified(char16_t unit, const char* what)
{
    char message[200];
    std::snprintf(message, sizeof message, "le caractère U+%04X %s dans l'ordre de tri « %s »", unsigned(unit), what,
                  sortOrderName(SortOrder::General97));
    throw Error(Code::Unsupported, message);
}

// The Windows-1252 byte of a unit, or -1. The bytes 0x81, 0x8D, 0x8F, 0x90
// and 0x9D that the code page leaves undefined are read as the units of the
// same number (U+0081...) and written back as those bytes; Access 97 keys
// them as it keys the control characters ("AA", 0x81, "AA": 60 60 10 60 60).
int windows1252Byte(char16_t unit)
{
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return int(unit);
    for (int i = 0; i < 32; ++i)
        if (high[i] != 0 && high[i] == unit)
            return 0x80 + i;
    return -1;
}

int keyedByte(char16_t unit)
{
    const int b = windows1252Byte(unit);
    return b >= 0 && kKey[b] != 0 ? b : -1;
}

} // namespace

bool canEncodeText97(std::u16string_view text)
{
    for (char16_t unit : indexedText(text))
        if (keyedByte(unit) < 0)
            return false;
    return true;
}

void appendTextKey97(std::u16string_view text, bool ascending, std::vector<uint8_t>& out)
{
    text = indexedText(text);
    const size_t flag = out.size();
    out.push_back(ascending ? 0x7f : 0x80);
    std::vector<uint8_t> nibbles;
    size_t pending = 0;     // significant letters since the last accent
    char16_t uncertain = 0; // a letter whose count is not known, since then
    for (char16_t unit : text) {
        const int b = keyedByte(unit);
        if (b < 0) {
            out.resize(flag);
            unverified(unit, "n'a pas de clé d'index vérifiée");
        }
        const uint16_t key = kKey[b];
        if (key > 0xFF)
            out.push_back(uint8_t(key >> 8));
        out.push_back(uint8_t(key));
        const int count = significantCount(uint8_t(b));
        if (count < 0) {
            uncertain = unit;
        } else if (count > 0) {
            pending += size_t(count);
        } else if (const uint8_t accent = accentOf(uint8_t(b))) {
            if (uncertain) {
                out.resize(flag);
                unverified(uncertain, "suivi d'une lettre accentuée n'a pas de clé d'index vérifiée");
            }
            if (nibbles.empty())
                nibbles.push_back(0);
            nibbles.insert(nibbles.end(), pending, 2);
            nibbles.push_back(accent);
            pending = 0;
        }
    }
    if (nibbles.empty()) {
        out.push_back(0x00);
    } else {
        nibbles.push_back(0);
        for (size_t i = 0; i < nibbles.size(); i += 2)
            out.push_back(uint8_t(nibbles[i] << 4 | (i + 1 < nibbles.size() ? nibbles[i + 1] : 0)));
    }
    if (!ascending)
        for (size_t i = flag + 1; i < out.size(); ++i)
            out[i] = uint8_t(~out[i]);
}

} // namespace jet::detail
