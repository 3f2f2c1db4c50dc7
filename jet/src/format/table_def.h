// Table definitions: columns, indexes and usage maps, read from the table
// definition page (type 0x02) and its continuation pages, and written for a
// new table. Both directions go through the offsets of FormatInfo
// (format.h), so that one place says where each field sits; the readers and
// the write side use this one model.
//
// The definition is read as one buffer: the first page whole, then each
// continuation page without its 8-byte header. Offsets for Jet4 and ACE
// (Jet3 in format.cpp):
//
//   0   0x02, 0x01                  24  1: autonumbers count
//   2   free bytes of the page (2)  40  0x4E user, 0x53 system
//   4   next definition page (4)    41  largest column number + 1 (2)
//   8   definition length (4)       43  variable columns (2)
//   12  0x0659 stamp (4)            45  columns (2)
//   16  rows (4)                    47  logical indexes (4)
//   20  next autonumber (4)         51  physical indexes (4)
//                                   55  owned-pages usage map (row pointer)
//                                   59  free-space usage map (row pointer)
//   63  per physical index: 4 unknown, row count (4), 4 unknown (12 each)
//
// then, back to back:
//   - column descriptors, 25 bytes each: type 0, stamp 1 (4), number 5 (2),
//     variable slot 7 (2), number again 9 (2), text sort order 11 (4),
//     precision 11 and scale 12 (Decimal), flags 15, extra flags 16, fixed
//     offset 21 (2), length 23 (2);
//   - column names: length (2) and UCS-2 or compressed text;
//   - physical indexes, 52 bytes each: 0x0783 stamp (4), ten (column number
//     (2), order (1)) slots (0xFFFF: unused), usage map 34 (row pointer),
//     root page 38 (4), flags 46 (1: unique, 2: ignore nulls, 8: required);
//   - logical indexes, 28 bytes each: stamp (4), number 4 (4), physical
//     index 8 (4), related index 13 (4), update and delete rules 21 (2),
//     type 23 (1 primary key, 2 foreign key);
//   - logical index names, as the column names;
//   - for each Memo/OLE column with usage maps of its own: column number (2),
//     owned-pages map and free-space map (row pointers); 0xFFFF ends the list.
//
// A row pointer is 4 bytes: row number in the low byte, page in the upper
// three.
#pragma once

#include "format/data_page.h"
#include "jet/database.h"

#include <memory>
#include <vector>

namespace jet::writer {
class Transaction;
}

namespace jet::detail {

constexpr uint8_t kColumnFixed = 0x01;
constexpr uint8_t kColumnNullable = 0x02;
constexpr uint8_t kColumnAutonumber = 0x04;
constexpr uint8_t kColumnAutoGuid = 0x40;
constexpr uint8_t kColumnHyperlink = 0x80;
constexpr uint8_t kColumnExtCompressed = 0x01;
constexpr uint8_t kUserTableType = 0x4E;
constexpr uint8_t kSystemTableType = 0x53;
constexpr uint8_t kPrimaryKeyIndex = 0x01; // logical index types
constexpr uint8_t kForeignKeyIndex = 0x02;
constexpr uint8_t kIndexUnique = 0x01;      // physical index flags
constexpr uint8_t kIndexIgnoreNulls = 0x02;
constexpr uint8_t kIndexRequired = 0x08;
constexpr uint8_t kIndexJet4Mark = 0x80;    // set by Access 2000 and later on every index
constexpr uint16_t kNoColumn = 0xFFFF;    // an unused index slot; the end of the long-value maps
constexpr size_t kIndexColumnSlots = 10;

// One entry of the long-value maps that end the definition (same in every
// version that has them): column number, owned-pages map, free-space map.
constexpr size_t kLongValueMapColumn = 0;   // 2 bytes
constexpr size_t kLongValueMapOwned = 2;    // row pointer
constexpr size_t kLongValueMapFree = 6;     // row pointer
constexpr size_t kLongValueMapEntrySize = 10;

struct ColumnDef {
    ColumnInfo info;
    uint8_t rawType = 0;
    uint16_t number = 0;       // bit in the row's null mask
    uint16_t varIndex = 0;     // slot in the row's variable-offset table
    uint16_t fixedOffset = 0;  // position among the fixed columns
    uint16_t length = 0;
    uint16_t codePage = 0;     // Jet3 text
    bool codePageText = false; // text and memo stored in codePage (Jet3), not in Unicode
    bool calculated = false;   // ACE calculated column (see calculated_columns.h)
    uint32_t sortOrder = 0;    // Jet4/ACE text and memo: the 4 stored sort-order bytes (see collation.h)
    // Where a fixed column's value lies in a row, worked out once with the
    // table's definition: it starts at rowOffset and takes fixedBytes (0 for
    // Boolean, which lives in the null mask).
    uint32_t rowOffset = 0;
    uint16_t fixedBytes = 0;
    uint8_t flags = 0;         // kColumn* bits as stored
    uint8_t extFlags = 0;      // kColumnExt* bits as stored (Jet4 and later)
    // A Memo/OLE column's own usage maps (null when it has none).
    RowPointer longValueOwned, longValueFree;
    bool isText() const { return info.type == ColumnType::Text || info.type == ColumnType::Memo; }
    bool isLongValue() const { return info.type == ColumnType::Memo || info.type == ColumnType::OLE; }
    bool hasLongValueMaps() const { return !longValueOwned.null() && !longValueFree.null(); }
};

struct PhysicalIndex {
    std::vector<std::pair<uint16_t, bool>> columns; // column number, ascending
    RowPointer ownedPages;
    uint32_t rootPage = 0;
    uint8_t flags = 0;         // as stored: 1 unique, 2 ignore nulls, 8 required
    uint32_t rowCountOffset = 0; // of its entry count, in the definition's first page
};

struct TableDef {
    const FormatInfo* format = nullptr;
    std::string name;
    uint32_t page = 0;
    bool system = false;
    uint32_t rowCount = 0;
    uint32_t nextAutonumber = 0;
    // The complex id last given to a row (tables with complex columns). A
    // new row takes the next one in all its complex columns.
    uint32_t lastComplexId = 0;
    uint16_t maxColumns = 0;
    uint16_t varColumnCount = 0;
    RowPointer ownedPages;
    RowPointer freeSpacePages;
    std::vector<ColumnDef> columns; // in column-number order
    std::vector<IndexInfo> indexes;
    std::vector<PhysicalIndex> physicalIndexes;
    std::vector<int> logicalToPhysical;

    // By sameColumnName(); -1 if none.
    int columnIndex(const std::string& name) const;
    TableInfo info() const;
};

// Whether two column (or table) names are the same one: compared ignoring
// case (Latin, Greek and Cyrillic letters, text.h's foldCase()).
bool sameColumnName(const std::string& a, const std::string& b);

// Reads the definition of the table whose definition starts at `page`.
std::shared_ptr<const TableDef> readTableDef(const PageFile& file, const FormatInfo& f, uint32_t page,
                                             const std::string& name, bool system, uint16_t codePage);

// The same, from the pages of a write transaction (the table's name is left
// empty; `system` is read from the definition's table type).
TableDef readTableDef(writer::Transaction& txn, uint32_t page);

// A new table's columns, in order: their numbers, variable slots and fixed
// offsets, where each fixed value lies in a row, and the table's column
// counts.
void layOutColumns(const FormatInfo& f, TableDef& def);

// The definition page of a new table, as described above: the columns as
// laid out, the indexes with their usage maps and root pages, row and entry
// counts from zero. Throws Error(Unsupported) when it does not fit in one
// page.
std::vector<uint8_t> encodeTableDef(const FormatInfo& f, const TableDef& def);

// The definition's bytes, as described above. Throws Error(Corrupt) on a
// broken chain.
std::vector<uint8_t> definitionBytes(writer::Transaction& txn, uint32_t page);

} // namespace jet::detail
