// The catalog (MSysObjects) as the write side sees it: finding a table's
// definition page by name, read afresh inside a write transaction.
#pragma once

#include "file/page_store.h"

#include <string>
#include <vector>

namespace jet::writer {

struct CatalogRow {
    uint32_t id = 0;
    uint32_t parentId = 0;
    std::string name;
    int type = 0;
    uint32_t flags = 0;
};

// Every live row of MSysObjects, in scan order.
std::vector<CatalogRow> readCatalogRows(Transaction& txn);

// The definition page of the table `name` (case-insensitive). Throws
// Error(NotFound) in French.
uint32_t findTableDefinition(Transaction& txn, const std::string& name);

} // namespace jet::writer
