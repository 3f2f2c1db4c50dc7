// Rows as the write side builds them (Jet4 and ACE layout):
//
//   column count (2 bytes) | fixed columns at their offsets | variable
//   columns in order | EOD (2) | variable offsets, last first (2 each) |
//   variable column count (2) | null mask (1 bit per column, 1 = present;
//   Boolean columns keep their value there)
//
// Jet3 rows have the same parts with one-byte counts and offsets, and a jump
// table before the variable column count (jet3_row.h).
//
// following the table definition (table_def.h), read afresh inside a write
// transaction.
#pragma once

#include "file/page_store.h"
#include "format/table_def.h"
#include "jet/value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet::writer {

using detail::ColumnDef;
using detail::kMaxNumericPrecision;
using detail::TableDef;

// One column of a row in its stored form.
struct Field {
    bool null = true;
    bool boolean = false;        // Boolean columns (kept in the null mask)
    std::vector<uint8_t> bytes;  // fixed: exactly the column's length; long values: the 12-byte field (+ inline data)
};

// Decodes the stored fields of a row (columns in layout order).
std::vector<Field> decodeFields(const TableDef& table, const uint8_t* row, size_t size, uint32_t page);

// Builds the bytes of a row. Throws InvalidValue when the row is too long.
std::vector<uint8_t> encodeRow(const TableDef& table, const std::vector<Field>& fields);

// The stored form of a value for a column other than Memo/OLE. Throws
// InvalidValue (in French) on a wrong type or a text too long.
Field encodeValue(const ColumnDef& column, const Value& value);

// The stored bytes of the text of a Text or Memo column: Unicode (Jet4 and
// later; compressed when the column allows it) or the column's code page
// (Jet3). `chars` receives its length in characters (Jet3: in bytes). Throws InvalidValue (in
// French) for a character that the code page cannot hold.
std::vector<uint8_t> encodeColumnText(const ColumnDef& column, const std::string& text, size_t* chars = nullptr);

// The text of a Text column's stored bytes (the reverse of encodeColumnText).
std::string decodeColumnText(const ColumnDef& column, const std::vector<uint8_t>& bytes);

// The 17 stored bytes of a Decimal (Numeric) column's value: a sign byte
// (0x80 negative, 0 otherwise; zero is never negative), then the unscaled
// magnitude (the value times 10^scale) as four 32-bit little-endian words,
// the most significant word first. Accepts a Decimal value ("-12.34", "7",
// "0.5", "1.5e3"), an Int, a Currency (exact) or a Double (its shortest text
// that reads back as the same double). Fractional digits beyond the column's
// scale are refused unless they are zeros, and so are more integer digits
// than precision - scale: nothing is rounded. Throws InvalidValue (in
// French) for those, a malformed text or a value of another kind.
std::vector<uint8_t> encodeNumeric(const ColumnDef& column, const Value& value);

// The usage maps of a table's row pages: its owned-pages and free-space
// maps, then those of its Memo/OLE columns that have their own.
std::vector<detail::RowPointer> rowUsageMaps(const TableDef& table);

// Every live row of a table: (page, slot) of its header and its fields.
struct LiveRow {
    uint32_t page;
    uint16_t row;
    std::vector<Field> fields;
};
std::vector<LiveRow> readLiveRows(Transaction& txn, const TableDef& table);

} // namespace jet::writer
