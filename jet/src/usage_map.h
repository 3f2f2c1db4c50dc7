// Usage maps: the bitmaps that list the pages a table (or index) owns.
//
// Inline maps (type 0) hold a start page and a bitmap in the map's row;
// reference maps (type 1) hold the numbers of bitmap pages (type 0x05), each
// covering (page size - 4) * 8 consecutive pages.
#pragma once

#include "data_page.h"

#include <vector>

namespace jet::detail {

// The pages set in the usage map stored at `where`, in increasing order.
std::vector<uint32_t> readUsageMap(const PageFile& file, const FormatInfo& f, RowPointer where);

} // namespace jet::detail
