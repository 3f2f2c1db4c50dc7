// Verifying the indexes of one table against its rows (velmor-db check).
#pragma once

#include "index_reader.h"
#include "jet/check.h"

namespace jet::detail {

// Checks every physical index of the table; appends problems and notes
// (French, prefixed with the table and index names) to the report.
void checkTableIndexes(const PageFile& file, const FormatInfo& f, const TableDef& table, uint32_t databaseSortOrder,
                       CheckReport& report);

// Distinct keys recorded in the table definition for physical index `i`
// (Jet4/ACE); -1 when the definition page does not hold it.
long storedDistinctKeys(const PageFile& file, const FormatInfo& f, const TableDef& table, size_t i);

} // namespace jet::detail
