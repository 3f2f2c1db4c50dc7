// Text as the file stores it (UCS-2, compressed Unicode, a Windows code page)
// to and from UTF-8, and the case folding used to compare text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet::detail {

void appendUtf8(std::string& out, uint32_t codePoint);

// UCS-2 little-endian (surrogate pairs joined).
void appendUcs2(std::string& out, const uint8_t* data, size_t size);

// A Jet4/ACE text value: compressed Unicode when it starts with FF FE,
// otherwise UCS-2.
std::string decodeUnicodeText(const uint8_t* data, size_t size);
// The same for text inside a larger buffer that may be read from
// `readableBegin` to `readableEnd`: short texts are then read 16 bytes at a
// time, past their start or end.
std::string decodeUnicodeText(const uint8_t* data, size_t size, const uint8_t* readableBegin,
                              const uint8_t* readableEnd);

// The reverse of decodeUnicodeText: compressed Unicode ("FF FE" then one
// byte per character) when `allowCompression`, the text has 3 to 1024 UTF-16
// units and every one is in U+0001..U+00FF; else UCS-2. `units` receives the
// length in UTF-16 units.
std::vector<uint8_t> encodeUnicodeText(std::string_view utf8, bool allowCompression, size_t* units = nullptr);

// A Jet3 text value in the database's Windows code page (0 means 1252).
// Pages other than 1252 go through the system's converters (iconv, or
// Windows's own); a page they do not know, or bytes not valid in it, are
// read as 1252.
std::string decodeCodePageText(const uint8_t* data, size_t size, uint16_t codePage);

// The reverse of decodeCodePageText: the bytes of UTF-8 text in a Jet3
// file's code page (0 means 1252). A character the page cannot hold is never
// replaced: false, with that character (UTF-8) in `missing`. Text that is not
// well-formed UTF-8 is refused the same way.
bool encodeCodePageText(std::string_view utf8, uint16_t codePage, std::vector<uint8_t>& out, std::string& missing);

// Next code point of UTF-8 text at i (advances i); a byte that does not
// start a sequence of the right length reads as itself. `wellFormed`, when
// given, is cleared for such a byte and for an overlong form, a surrogate or
// a code point past U+10FFFF.
uint32_t nextCodePoint(std::string_view text, size_t& i, bool* wellFormed = nullptr);

// UTF-8 to UTF-16 code units, read as nextCodePoint() reads them. Returns
// false when the text is not well-formed UTF-8.
bool utf16Of(std::string_view utf8, std::u16string& out);

// Simple case folding (Latin, Greek, Cyrillic) of one code point.
uint32_t foldCase(uint32_t c);

// Compares two UTF-8 texts ignoring case: <0, 0, >0.
int compareIgnoringCase(const std::string& a, const std::string& b);

} // namespace jet::detail
