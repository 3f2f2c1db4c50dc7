// Table definitions: columns, indexes and usage maps, read from the table
// definition page and its continuation pages.
#pragma once

#include "data_page.h"
#include "jet/database.h"

#include <memory>
#include <vector>

namespace jet::detail {

constexpr uint8_t kColumnFixed = 0x01;
constexpr uint8_t kColumnNullable = 0x02;
constexpr uint8_t kColumnAutonumber = 0x04;
constexpr uint8_t kColumnAutoGuid = 0x40;
constexpr uint8_t kColumnHyperlink = 0x80;
constexpr uint8_t kColumnExtCompressed = 0x01;

struct ColumnDef {
    ColumnInfo info;
    uint8_t rawType = 0;
    uint16_t number = 0;       // bit in the row's null mask
    uint16_t varIndex = 0;     // slot in the row's variable-offset table
    uint16_t fixedOffset = 0;  // position among the fixed columns
    uint16_t length = 0;
    uint16_t codePage = 0;     // Jet3 text
    bool calculated = false;   // ACE calculated column (see calculated_columns.h)
    uint32_t sortOrder = 0;    // Jet4/ACE text and memo: the 4 stored sort-order bytes (see collation.h)
    // Where a fixed column's value lies in a row, worked out once with the
    // table's definition: it starts at rowOffset and takes fixedBytes (0 for
    // Boolean, which lives in the null mask).
    uint32_t rowOffset = 0;
    uint16_t fixedBytes = 0;
    bool isText() const { return info.type == ColumnType::Text || info.type == ColumnType::Memo; }
};

struct PhysicalIndex {
    std::vector<std::pair<uint16_t, bool>> columns; // column number, ascending
    RowPointer ownedPages;
    uint32_t rootPage = 0;
    uint8_t flags = 0;
};

struct TableDef {
    std::string name;
    uint32_t page = 0;
    bool system = false;
    uint32_t rowCount = 0;
    uint32_t nextAutonumber = 0;
    uint16_t maxColumns = 0;
    uint16_t varColumnCount = 0;
    RowPointer ownedPages;
    RowPointer freeSpacePages;
    std::vector<ColumnDef> columns; // in column-number order
    std::vector<IndexInfo> indexes;
    std::vector<PhysicalIndex> physicalIndexes;
    std::vector<int> logicalToPhysical;

    // Case-insensitive; -1 if none.
    int columnIndex(const std::string& name) const;
    TableInfo info() const;
};

// Reads the definition of the table whose definition starts at `page`.
std::shared_ptr<const TableDef> readTableDef(const PageFile& file, const FormatInfo& f, uint32_t page,
                                             const std::string& name, bool system, uint16_t codePage);

} // namespace jet::detail
