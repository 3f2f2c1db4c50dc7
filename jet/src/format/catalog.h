// The catalog: the rows of MSysObjects (whose definition is always on page
// 2) that describe tables.
#pragma once

#include "format/table_def.h"

#include <string>
#include <vector>

namespace jet::detail {

constexpr uint32_t kCatalogPage = 2;
constexpr int16_t kObjectTable = 1;
constexpr uint32_t kObjectSystemFlags = 0x80000002u;

struct CatalogEntry {
    std::string name;
    uint32_t definitionPage = 0;
    uint32_t flags = 0;
    bool system = false;
};

// Tables of the catalog in catalog (scan) order, system tables included.
std::vector<CatalogEntry> readCatalog(const PageFile& file, const FormatInfo& f, uint16_t codePage);

} // namespace jet::detail
