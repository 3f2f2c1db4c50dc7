// Rows on data pages: the row offset table, deleted and moved rows.
#pragma once

#include "format/format.h"
#include "file/page_file.h"

namespace jet::detail {

constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kTableDefinitionPage = 0x02;
constexpr uint8_t kUsageMapPage = 0x05;

constexpr uint16_t kRowDeleted = 0x8000;
constexpr uint16_t kRowMoved = 0x4000;   // the row holds a pointer to where it now lives
constexpr uint16_t kRowOffsetMask = 0x1FFF;

// A "row pointer" as Jet stores it in 4 bytes: row number in the low byte,
// page number in the upper three.
struct RowPointer {
    uint32_t page = 0;
    uint16_t row = 0;
    static RowPointer fromRaw(uint32_t raw) { return {raw >> 8, uint16_t(raw & 0xFF)}; }
    uint32_t raw() const { return page << 8 | (row & 0xFFu); }
    bool null() const { return page == 0; }
};

// Number of rows on a data page (checked against the page size).
uint16_t dataPageRowCount(const PageFile& file, const FormatInfo& f, uint32_t pageNumber, const uint8_t* page);

// The raw offset entry of a row (flags included); `row` must be < count.
inline uint16_t rowOffsetEntry(const FormatInfo& f, const uint8_t* page, uint16_t row)
{
    return le16(page + f.dataRowCount + 2 + 2 * row);
}

// The bytes of row `row` on `pageNumber` as stored there (no moved-row
// following): throws Corrupt if the slot is out of range.
ByteRange rowSlotBytes(const PageFile& file, const FormatInfo& f, uint32_t pageNumber, uint16_t row,
                       uint16_t* flags = nullptr, bool evenIfDeleted = false);

// The row's data, following moved rows; nullopt-like: returns false when
// the row is deleted.
bool rowData(const PageFile& file, const FormatInfo& f, RowPointer where, ByteRange& out);

} // namespace jet::detail
