// The values of a row's complex columns (attachments, multi-valued fields,
// version history) live in hidden "flat" tables, one row per value, that
// carry the row's complex id in their column "_" + the complex column's
// name; MSysComplexColumns names the flat table of each complex column.
// Deleting a row deletes those rows with it, as Access does.
#pragma once

#include "file/page_store.h"
#include "format/row_encoder.h"

#include <cstdint>

namespace jet::writer {

class PageAllocator;

// The complex id a row's complex columns share, 0 when the table has none
// or the row holds none.
uint32_t complexIdOf(const TableDef& table, const std::vector<Field>& fields);

// Deletes, from the flat table of each complex column of `table`, the rows
// carrying `complexId`. A complex column whose flat table cannot be found
// (a damaged catalog) makes the write fail (Corrupt) rather than leave
// values behind.
void removeComplexValues(Transaction& txn, const TableDef& table, uint32_t complexId, PageAllocator& pages);

} // namespace jet::writer
