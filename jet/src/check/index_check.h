// Verifying the indexes of one table against its rows (velmor-db check).
#pragma once

#include "index/index_reader.h"
#include "jet/check.h"

namespace jet::detail {

// Checks every physical index of the table; appends problems and notes
// (French, prefixed with the table and index names) to the report.
void checkTableIndexes(const PageFile& file, const FormatInfo& f, const TableDef& table, uint32_t databaseSortOrder,
                       CheckReport& report);

// The structure of one tree alone: page types and owner, entries in order,
// node entries equal to the largest entry below them, tail rules, the leaf
// chain. Returns the problems; `entries` receives the leaf entries in order.
std::vector<std::string> checkTreeStructure(IndexPageStore& pages, uint32_t root, uint32_t tdefPage,
                                            std::vector<IndexEntry>* entries = nullptr);

// Distinct keys recorded in the table definition for physical index `i`
// (Jet4/ACE); -1 when the definition page does not hold it.
long storedDistinctKeys(const PageFile& file, const FormatInfo& f, const TableDef& table, size_t i);

} // namespace jet::detail
