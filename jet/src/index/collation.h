// Text sort orders of Jet4/ACE files and the index-key bytes of text values.
//
// Jet stores a text key in Access's "General" collation: primary codes
// (case-folded, accents removed) first, then a section of accent codes, then
// the positions of punctuation characters. Two variants exist: "General -
// Legacy" (Access 2000 to 2007, and offered by later versions) and the newer
// "General" order written by Access 2010 and later. They give different keys
// for almost every character. Which one applies is recorded in the database
// header and again in each text column's descriptor; the column decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet::detail {

enum class SortOrder {
    GeneralLegacy, // id 1033 (0x0409), version 0
    General2010,   // id 1033 (0x0409), version 1
    General97,     // id 1033 (or 0) in a Jet3 file (collation_97.cpp)
    Unsupported    // any other id/version
};

// French name for messages ("Général - hérité", "Général (2010)", ...).
const char* sortOrderName(SortOrder order);

// The order described by a stored id and version byte.
SortOrder sortOrderFromId(uint16_t id, uint8_t version);

// The order from the 4 stored bytes read as one little-endian number (the
// database header at 0x6E once unmasked, or a text column descriptor at
// offset 11): id in the low 16 bits, version in the top byte. Jet3 files
// store 2 bytes, the id alone: 1033 and 0 are General97.
SortOrder sortOrderFromStored(uint32_t stored, bool jet3 = false);

// A text column's order. An id of 0 (written by tools that did not record
// the order) means the database's own order.
SortOrder columnSortOrder(uint32_t stored, SortOrder databaseOrder, bool jet3 = false);

// French description of a stored order for messages, e.g.
// "ordre de tri « Général - hérité »" or "ordre de tri 1036, version 0".
std::string describeSortOrder(uint32_t stored);

// What the collation table says about one UTF-16 unit.
struct CharCode {
    enum class Class : uint8_t {
        Ignored,     // contributes nothing
        Plain,       // primary bytes only
        Accented,    // primary bytes and an accent code
        Punctuation, // no primary bytes; a code in the key's last section (aux)
        Modifier,    // combining mark: aux is added to the preceding accent byte
        Kana,        // primary bytes, optional accent code, 2-bit flag (aux)
        Surrogate    // computed primary bytes, accent 0x3f
    };
    Class cls = Class::Ignored;
    uint8_t primaryLength = 0;
    uint8_t primary[8] = {};
    uint8_t accentLength = 0;
    uint8_t accent[3] = {};
    uint8_t aux = 0;
};

// Looks a unit up; false when the order is Unsupported or no table covers it.
bool lookupChar(SortOrder order, char16_t unit, CharCode& out);

// Units of a text value as the key sees them: at most 255, trailing U+0020
// spaces removed.
std::u16string_view indexedText(std::u16string_view text);

// The General97 order (collation_97.cpp), which lookupChar() does not cover.
bool canEncodeText97(std::u16string_view text);
void appendTextKey97(std::u16string_view text, bool ascending, std::vector<uint8_t>& out);

// True when every unit of the text can be encoded in this order.
bool canEncodeText(SortOrder order, std::u16string_view text);

// Appends the key of a non-null text value: flag byte (0x7F ascending, 0x80
// descending) and body. Throws Error(Unsupported) when the order is not
// supported or a unit is outside the tables; out is then left unchanged.
void appendTextKey(SortOrder order, std::u16string_view text, bool ascending, std::vector<uint8_t>& out);

// UTF-8 to UTF-16. Throws Error(InvalidValue) on malformed UTF-8.
std::u16string utf16UnitsOfUtf8(std::string_view utf8);

} // namespace jet::detail
