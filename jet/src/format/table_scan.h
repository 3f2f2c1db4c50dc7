// Walking the rows of a table in physical order: the pages its usage map
// lists, and on each data page of the table the rows that are not deleted.
#pragma once

#include "format/table_def.h"
#include "format/usage_map.h"

namespace jet::detail {

// Calls visit(RowPointer) for each live row. Pages of the map that are not
// data pages of this table are skipped.
template <typename Visit>
void scanTable(const PageFile& file, const FormatInfo& f, const TableDef& table, Visit&& visit)
{
    std::vector<uint32_t> pages = writer::UsageMap::read(file, f, table.ownedPages);
    for (uint32_t pageNumber : pages) {
        const uint8_t* page = file.page(pageNumber);
        if (page[0] != kDataPage || le32(page + f.dataOwner) != table.page)
            continue;
        uint16_t count = dataPageRowCount(file, f, pageNumber, page);
        for (uint16_t row = 0; row < count; ++row) {
            if (rowOffsetEntry(f, page, row) & kRowDeleted)
                continue;
            visit(RowPointer{pageNumber, row});
        }
    }
}

} // namespace jet::detail
