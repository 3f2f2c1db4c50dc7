// Rows as the write side builds them (Jet4 and ACE layout):
//
//   column count (2 bytes) | fixed columns at their offsets | variable
//   columns in order | EOD (2) | variable offsets, last first (2 each) |
//   variable column count (2) | null mask (1 bit per column, 1 = present;
//   Boolean columns keep their value there)
//
// and the table layout they follow, read afresh from the table definition
// inside a write transaction.
#pragma once

#include "page_store.h"
#include "jet/value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet::writer {

// Jet4 rows may not be longer than this.
constexpr int kMaxRowSize = 4060;
// Long values up to this size may stay inside the row.
constexpr int kMaxInlineLongValue = 64;
// Largest row of a long-value page.
constexpr int kMaxLongValueRow = 4076;
// Text longer than this is never compressed.
constexpr int kMaxCompressedChars = 1024;

struct ColumnLayout {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint8_t rawType = 0;
    uint16_t number = 0;
    uint16_t varIndex = 0;
    uint16_t fixedOffset = 0;
    uint16_t length = 0;
    uint8_t flags = 0;
    uint8_t extFlags = 0;
    uint8_t precision = 0, scale = 0;
    // Usage maps of a long-value column's pages (row pointers; 0 when none).
    uint32_t lvOwnedMap = 0, lvFreeMap = 0;

    bool fixed() const { return flags & 0x01; }
    bool autonumber() const { return flags & 0x04; }
    bool compressed() const { return extFlags & 0x01; }
    bool longValue() const { return type == ColumnType::Memo || type == ColumnType::OLE; }
};

struct RealIndexLayout {
    std::vector<std::pair<uint16_t, bool>> columns; // column number, ascending
    uint32_t ownedMap = 0; // row pointer of the index's usage map
    uint32_t rootPage = 0;
    uint8_t flags = 0;
    size_t countOffset = 0; // offset of its entry count in the definition page
};

struct TableLayout {
    uint32_t tdefPage = 0;
    bool system = false;
    uint32_t rowCount = 0;
    uint32_t lastAutonumber = 0;
    uint16_t maxColumns = 0;
    uint16_t varColumns = 0;
    uint32_t logicalIndexCount = 0;
    uint32_t realIndexCount = 0;
    uint32_t ownedMap = 0; // row pointers
    uint32_t freeMap = 0;
    std::vector<ColumnLayout> columns; // by column number
    std::vector<RealIndexLayout> realIndexes;

    // Case-insensitive (ASCII and Latin-1 letters); -1 when absent.
    int columnIndex(const std::string& name) const;
};

TableLayout readLayout(Transaction& txn, uint32_t tdefPage);

// A table definition's bytes: its first page whole, then each continuation
// page without its 8-byte header. Throws Error(Corrupt) on a broken chain.
std::vector<uint8_t> definitionBytes(Transaction& txn, uint32_t tdefPage);

// One column of a row in its stored form.
struct Field {
    bool null = true;
    bool boolean = false;        // Boolean columns (kept in the null mask)
    std::vector<uint8_t> bytes;  // fixed: exactly the column's length; long values: the 12-byte field (+ inline data)
};

// Decodes the stored fields of a row (columns in layout order).
std::vector<Field> decodeFields(const TableLayout& table, const uint8_t* row, size_t size, uint32_t page);

// Builds the bytes of a row. Throws InvalidValue when the row is too long.
std::vector<uint8_t> encodeRow(const TableLayout& table, const std::vector<Field>& fields);

// The stored form of a value for a column other than Memo/OLE. Throws
// InvalidValue (in French) on a wrong type or a text too long.
Field encodeValue(const ColumnLayout& column, const Value& value);

// Largest precision of a Decimal (Numeric) column.
constexpr int kMaxNumericPrecision = 28;

// The 17 stored bytes of a Decimal (Numeric) column's value: a sign byte
// (0x80 negative, 0 otherwise; zero is never negative), then the unscaled
// magnitude (the value times 10^scale) as four 32-bit little-endian words,
// the most significant word first. Accepts a Decimal value ("-12.34", "7",
// "0.5", "1.5e3"), an Int, a Currency (exact) or a Double (its shortest text
// that reads back as the same double). Fractional digits beyond the column's
// scale are refused unless they are zeros, and so are more integer digits
// than precision - scale: nothing is rounded. Throws InvalidValue (in
// French) for those, a malformed text or a value of another kind.
std::vector<uint8_t> encodeNumeric(const ColumnLayout& column, const Value& value);

// Text as Jet stores it: compressed Unicode ("FF FE" then one byte per
// character) when the column allows it and every character is in
// U+0001..U+00FF, else UCS-2. `chars` receives the length in UTF-16 units.
std::vector<uint8_t> encodeText(const std::string& utf8, bool allowCompression, size_t* chars = nullptr);

// The reverse: stored Jet4 text (compressed or UCS-2) to UTF-8.
std::string decodeText(const uint8_t* data, size_t size);

} // namespace jet::writer
