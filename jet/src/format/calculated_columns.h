// Calculated columns (Access 2010 and later). The column descriptor marks
// them with the bits 0xC0 of its extra flags; the type it records is not
// always the result's: the result type (property "ResultType") and the
// expression (property "Expression") are in the table's properties, the
// LvProp of its row in MSysObjects. Each stored value is wrapped: 16 bytes,
// the length of the value (4 bytes), the value as its result type stores it,
// and 3 bytes; a memo result's long value holds such a wrapper. A Decimal
// result is stored as 2 bytes, the scale, the sign, then the 96-bit integer
// as three 32-bit groups: high, low, middle.
//
// The engine reads them exactly but does not evaluate expressions: adding or
// changing rows of a table with calculated columns is refused, since their
// results would be left stale; deleting rows is allowed.
#pragma once

#include "format/catalog.h"
#include "format/table_def.h"

namespace jet::detail {

constexpr uint8_t kColumnExtCalculated = 0xC0;

// Sets the result type and expression of each calculated column of `def`
// from the table's properties in MSysObjects (`objects` is its definition).
void describeCalculatedColumns(const PageFile& file, const FormatInfo& f, const TableDef& objects, TableDef& def);

// The value inside a calculated column's wrapper, of the column's result
// type. Throws Corrupt (naming the row's page) when the wrapper is damaged.
Value unwrapCalculatedValue(const ByteRange& row, const ColumnDef& column, const uint8_t* data, size_t size);

// The wrapped value's bytes (the part after the 20-byte header).
bool calculatedPayload(const uint8_t* data, size_t size, const uint8_t*& payload, size_t& payloadSize);

// Throws Unsupported, naming the calculated columns, when `def` has any.
void refuseWritesToCalculatedTable(const TableDef& def);

} // namespace jet::detail
