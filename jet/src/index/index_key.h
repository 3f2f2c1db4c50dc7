// Index keys: the bytes an index entry holds for the values of a row.
//
// Each column of an index contributes a flag byte and its value bytes:
//   value present: 0x7F then the value bytes (ascending), or 0x80 then the
//                  value bytes inverted (descending);
//   NULL:          0x00 (ascending) or 0xFF (descending).
// A multi-column key is the concatenation of its columns' keys. Keys compare
// as unsigned bytes, a prefix first; equal keys are ordered by row pointer.
//
// Binary and Date/Time Extended values (the 42 stored bytes) are written in
// groups of 8 bytes, each followed by 0x09 when more follow; the last group
// is padded with zeros and followed by its length (1-8). Descending, every
// byte but those 0x09 is inverted. Decimal values are the sign byte and the
// 16-byte magnitude, big-endian: the sign byte becomes 0xFF and, for a
// negative value ascending or a positive one descending, every byte is
// inverted. Jet4 files invert first and then set the sign byte to 0xFF
// (positive) or 0x00 (negative).
//
// The encoder refuses (canEncode() false, encodeKey() throws
// Error(Unsupported)) anything it cannot encode exactly as Access does: an
// unknown text sort order, a column type without a known key form, a
// character outside the collation tables. Callers then keep the table
// read-only instead of writing a wrong key.
#pragma once

#include "index/collation.h"

#include "jet/value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jet::detail {

struct KeyColumn {
    ColumnType type = ColumnType::Long;
    bool ascending = true;
    SortOrder order = SortOrder::GeneralLegacy; // text and memo columns only
    // Decimal columns: digits after the point, and whether the file is a
    // Jet4 (.mdb) one, whose decimal keys have the older form (see below).
    uint8_t scale = 0;
    bool legacyDecimal = false;
    // A complex column (attachments, multi-valued, version history; type
    // code 0x12): the row holds the 32-bit complex id that its values in the
    // hidden table carry, keyed as a Long. Other types read as Complex
    // (unknown type codes) have no key.
    bool complexId = false;
};

// Longest text key (flag byte included) written for a General (2010) column.
// Access 2010 shortens longer entries in a way not known exactly, so longer
// keys are refused.
constexpr size_t kGeneral2010MaxTextKey = 508;

// True for the column types whose key form the engine knows: Boolean, Byte,
// Integer, Long, BigInt, Currency, Single, Double, DateTime, DateTimeExtended,
// Guid, Binary, Numeric, Text and Memo (Text and Memo only with a supported
// sort order), and complex ids (KeyColumn::complexId).
bool isIndexableType(ColumnType type);

// Empty when the column's keys can be encoded, otherwise a French reason
// ("colonne de type Décimal : ...") to show when a table is kept read-only.
std::string keyColumnProblem(const KeyColumn& column);

// Whether this value of this column can be encoded exactly.
bool canEncode(const KeyColumn& column, const Value& value);
bool canEncode(const std::vector<KeyColumn>& columns, const std::vector<Value>& values);

// Appends one column's key (flag byte and body) to out. Throws
// Error(Unsupported) for what cannot be encoded exactly and
// Error(InvalidValue) for a value of the wrong kind or out of range for the
// type; out is unchanged then.
void appendColumnKey(const KeyColumn& column, const Value& value, std::vector<uint8_t>& out);

// The full key of a row: one entry of values per index column, in index order.
std::vector<uint8_t> encodeKey(const std::vector<KeyColumn>& columns, const std::vector<Value>& values);

// Text from UTF-16 units (the form the file stores); same rules as a Text value.
std::vector<uint8_t> encodeTextKey(SortOrder order, std::u16string_view text, bool ascending = true);

// Key order: unsigned bytes, then length (a key that is a prefix of the other
// comes first). Returns <0, 0 or >0.
int compareKeys(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength);
int compareKeys(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Entry order: key, then data page, then row slot.
int compareEntries(const std::vector<uint8_t>& aKey, uint32_t aPage, uint8_t aRow,
                   const std::vector<uint8_t>& bKey, uint32_t bPage, uint8_t bRow);

// Lower-case hexadecimal, as the fixtures and messages write keys.
std::string keyToHex(const std::vector<uint8_t>& key);

} // namespace jet::detail
