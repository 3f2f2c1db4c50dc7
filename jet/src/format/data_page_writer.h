// Row slots of data pages (and long-value pages, which share their layout):
// header, row offset table growing down from just after the row count
// (format.h's dataRowCount), rows packed from the end of the page towards the
// table.
#pragma once

#include "format/data_page.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace jet::writer {

using detail::kRowDeleted;
using detail::kRowOffsetMask;
constexpr uint16_t kRowOverflow = detail::kRowMoved;
// Owner field of a long-value page instead of a table definition page.
constexpr uint32_t kLongValueOwner = 0x4C41564C; // "LVAL"

inline uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t rd24(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
inline uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline void wr16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void wr24(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); }
inline void wr32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

// The offsets of the data pages of files with pages of this size: Jet3's
// for 2048 bytes, else Jet4's, which every ACE version keeps.
const detail::FormatInfo& dataPageLayout(uint32_t pageSize);

struct DataPage {
    uint8_t* p;
    uint32_t pageSize;
    const detail::FormatInfo* f = &dataPageLayout(pageSize);

    // A fresh empty data page owned by `owner`.
    static void init(uint8_t* page, uint32_t pageSize, uint32_t owner);

    int rowCount() const { return rd16(p + f->dataRowCount); }
    // Where the row offset table starts, and where it ends.
    int slotsStart() const { return f->dataRowCount + 2; }
    int slotsEnd() const { return slotsStart() + 2 * rowCount(); }
    int maxRows() const { return f->maxRowsPerPage; }
    uint16_t slot(int row) const { return rd16(p + slotsStart() + 2 * row); }
    void setSlot(int row, uint16_t v) { wr16(p + slotsStart() + 2 * row, v); }
    int rowStart(int row) const { return slot(row) & kRowOffsetMask; }
    int rowEnd(int row) const { return row == 0 ? int(pageSize) : rowStart(row - 1); }
    int rowSize(int row) const { return rowEnd(row) - rowStart(row); }
    uint32_t owner() const { return rd32(p + f->dataOwner); }
    int freeSpace() const { return rd16(p + f->dataFreeSpace); }
    // Start of the lowest row (pageSize when there is none).
    int dataStart() const { return rowCount() == 0 ? int(pageSize) : rowStart(rowCount() - 1); }
    // Bytes between the row offset table and the rows.
    int room() const { return dataStart() - slotsEnd(); }
    // Whether a new row of `size` bytes fits, with its slot.
    bool fits(int size) const;
    // Appends a row; returns its slot number.
    int addRow(const uint8_t* bytes, int size, uint16_t flags = 0);
    // The first deleted slot, or -1.
    int deletedSlot() const;
    // Whether a row of `size` bytes fits, in a deleted slot if there is one.
    bool fitsReusing(int size) const;
    // Adds a row in the first deleted slot, or appends it. Only for pages
    // whose row numbers nobody keeps (long-value pages): a table's row
    // numbers are never given to another row.
    int addRowReusing(const uint8_t* bytes, int size);
    // Whether every row of the page is deleted.
    bool allDeleted() const { return liveRows() == 0; }
    int liveRows() const;
    // Replaces the bytes of a row (the page must have room for the growth);
    // the rows below it move, their slots follow. Flags are kept.
    void replaceRow(int row, const uint8_t* bytes, int size);
    // Recomputes the free-space field from the layout.
    void updateFreeSpace();
};

} // namespace jet::writer
