// Reading rows through an index for a SELECT.
//
// WHERE: a comparison of an indexed column with a literal (=, <, >, <=, >=),
// alone or inside a chain of ANDs, is looked up in the index whose first
// column it is; the rows found are a superset of the answer (text keys fold
// case and accents, a key may stand for several values), so the caller still
// evaluates the whole condition on each of them. Equality serves every
// indexable type; ranges serve whole numbers, currency and dates, whose key
// order is their value order.
//
// ORDER BY: a single key on a column of whole numbers, currency, dates or
// text with an index of its own reads every row in the index's order; rows
// with equal keys keep their physical order, as with a sort (which orders
// text by the same collation keys: row_order.h).
//
// Both return nullopt when no index serves the query (or when the table's
// indexes cannot be read exactly); the caller then scans the table.
#pragma once

#include "sql/sql.h"
#include "format/table_def.h"

#include <optional>
#include <vector>

namespace jet::detail {

std::optional<std::vector<RowPointer>> indexCandidates(const PageFile& file, const FormatInfo& f,
                                                       const TableDef& table, const sql::Condition& where);

std::optional<std::vector<RowPointer>> indexOrder(const PageFile& file, const FormatInfo& f, const TableDef& table,
                                                  const std::vector<sql::OrderKey>& orderBy);

} // namespace jet::detail
