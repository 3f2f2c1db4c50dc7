// Usage maps as the write side changes them: the table's owned-pages and
// free-space maps (and those of long-value columns), and the database's
// global page map on page 1, whose set bits mark free pages.
//
// A map is a row of a data page. An inline map (type 0) holds a start page
// and a bitmap; when a page falls outside its range the map shifts its start,
// and when the pages no longer fit in one inline range it becomes a
// reference map (type 1): a list of usage-map pages (type 0x05), each a
// bitmap of (pageSize - 4) * 8 pages.
#pragma once

#include "page_store.h"

#include <cstdint>
#include <vector>

namespace jet::writer {

class PageAllocator;

class UsageMap {
public:
    // `pointer` as stored in a table definition: row number in the low byte,
    // page number in the upper three bytes.
    UsageMap(Transaction& txn, uint32_t pointer, bool global = false);

    bool contains(uint32_t page);
    // Whether the map says anything about `page` (inside its range).
    bool covers(uint32_t page);
    void add(uint32_t page, PageAllocator& allocator);
    void remove(uint32_t page, PageAllocator& allocator);
    // Every page in the map, ascending.
    std::vector<uint32_t> pages();
    // The highest page in the map, or -1.
    int64_t last();
    bool isReference();

    uint32_t mapPage() const { return page_; }
    int mapRow() const { return row_; }

private:
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

// Hands out new pages at the end of the file and keeps the global map in step.
class PageAllocator {
public:
    explicit PageAllocator(Transaction& txn) : txn_(txn) {}
    // A new zero-filled page, marked used in the global map.
    uint32_t allocate();

private:
    friend class UsageMap;
    uint32_t allocateRaw();
    Transaction& txn_;
    bool inGlobal_ = false;
    std::vector<uint32_t> pending_;
};

} // namespace jet::writer
