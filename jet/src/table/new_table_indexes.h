// The indexes of a new table, as Access writes them in its definition: one
// physical index per index asked for (its columns and their order, its
// flags), and the logical indexes that name them, sorted by name without
// regard to case as Access keeps them.
#pragma once

#include "format/table_def.h"
#include "jet/database.h"

#include <vector>

namespace jet::writer {

// Access's limits for one table.
constexpr size_t kMaxIndexesPerTable = 32;

// Checks `indexes` against the table's columns (laid out for `f`) and adds
// them to `t`, their root pages and usage maps still to be placed. The
// physical flags are those Access writes: unique, ignore nulls, required
// (a primary key), and from Jet4 on the mark Access 2000 and later set on
// every index. Throws Error(InvalidValue) with a French message
// for an index Access would refuse.
void addNewIndexes(const detail::FormatInfo& f, detail::TableDef& t,
                   const std::vector<IndexSpec>& indexes);

} // namespace jet::writer
