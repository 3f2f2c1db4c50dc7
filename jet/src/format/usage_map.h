// Usage maps: the bitmaps that list the pages a table, an index or a
// long-value column owns, or the free pages of the database (its global map,
// row 0 of page 1, whose set bits mark free pages). One class reads them,
// for the readers and for the write side, and changes them.
//
// A map is a row of a data page. An inline map (type 0) holds a start page
// (4 bytes) and a bitmap; when a page falls outside its range the map shifts
// its start, and when the pages no longer fit in one inline range it becomes
// a reference map (type 1): a list of usage-map pages (type 0x05), each a
// 4-byte header and a bitmap of (pageSize - 4) * 8 consecutive pages.
#pragma once

#include "format/data_page.h"
#include "file/page_store.h"

#include <cstdint>
#include <vector>

namespace jet::writer {

class PageAllocator;

class UsageMap {
public:
    // The pages set in the map stored at `where` of a file opened for
    // reading, in increasing order. Throws Corrupt for a page past the end
    // of the file or a broken map.
    static std::vector<uint32_t> read(const detail::PageFile& file, const detail::FormatInfo& f,
                                      detail::RowPointer where);

    // The map inside a write transaction. `pointer` as stored in a table
    // definition: row number in the low byte, page number in the upper three
    // bytes. `global`: the database's map of free pages (row 0 of page 1).
    UsageMap(Transaction& txn, uint32_t pointer, bool global = false);
    UsageMap(Transaction& txn, detail::RowPointer pointer) : UsageMap(txn, pointer.raw()) {}

    bool contains(uint32_t page);
    // Whether the map says anything about `page` (inside its range).
    bool covers(uint32_t page);
    void add(uint32_t page, PageAllocator& allocator);
    void remove(uint32_t page, PageAllocator& allocator);
    // Writes the map again from the pages it holds: an inline map when they
    // fit in one, the pages of a reference map given back (a compaction,
    // once the pages have gone: the map then starts again small and low).
    void rewrite(PageAllocator& allocator);
    // The pages in the map, ascending, the first `most` of them (not
    // checked against the file's end).
    std::vector<uint32_t> pages(size_t most = SIZE_MAX);
    // The highest page in the map, or -1.
    int64_t last();
    bool isReference();

    uint32_t mapPage() const { return page_; }
    int mapRow() const { return row_; }

private:
    template <class MapPage, class Visit>
    static bool visitPages(const uint8_t* row, size_t size, uint32_t pageSize, MapPage mapPage, Visit visit);
    uint8_t* rowForWrite(int& size);
    const uint8_t* rowForRead(int& size);
    void setBit(uint32_t page, bool on, PageAllocator& allocator);
    void setInline(uint32_t page, bool on, PageAllocator& allocator);
    void setReference(uint32_t page, bool on, PageAllocator& allocator);

    Transaction& txn_;
    uint32_t page_;
    int row_;
    bool global_;
};

// Hands out pages and keeps the global map in step. A page given back by
// release() (zero-filled, marked free in the global map) is handed out again
// before the file grows: by this writer, a later one, or another table's.
//
// Pages of a table's rows are never given back (they stay the table's until
// the file is compacted), so a page handed out again never held rows: a row
// pointer that another desk still holds (page and row number) leads to that
// row or to nothing, never to another row.
class PageAllocator {
public:
    explicit PageAllocator(Transaction& txn) : txn_(txn) {}
    // A zero-filled page, marked used in the global map: a page given back
    // earlier, the lowest first, else a new page at the end of the file.
    uint32_t allocate();
    // Gives a page back: clears it and marks it free in the global map. The
    // caller has taken it out of every other map.
    void release(uint32_t page);

private:
    friend class UsageMap;
    uint32_t allocateRaw();
    uint32_t givenBack();
    void scan();
    void markUsed(uint32_t page);
    Transaction& txn_;
    bool inGlobal_ = false;
    std::vector<uint32_t> pending_;
    // Pages the global map showed free (read once, on the first allocate())
    // and pages given back to this allocator, highest first; each is
    // checked again when its turn comes.
    std::vector<uint32_t> candidates_;
    bool scanned_ = false;
};

} // namespace jet::writer
