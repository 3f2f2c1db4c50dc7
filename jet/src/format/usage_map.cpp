#include "format/usage_map.h"

#include "format/data_page_writer.h"
#include "jet/status.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace jet::writer {

namespace {

constexpr int kMapPageHeader = 4;
constexpr uint32_t kGlobalMapPointer = 1u << 8; // row 0 of page 1

[[noreturn]] void badMap(uint32_t page, const std::string& what)
{
    throw Error(Code::Corrupt, "page " + std::to_string(page) + " : carte d'utilisation " + what);
}

// The map page named by slot `index` of a reference map, 0 for none. Access
// leaves slots it never used at 0, or (in a global map) at a negative number
// as a signed read gives: 0xFFFFFF80 in the last slot of a file Access 2000
// made. No page can have such a number.
uint32_t slotPage(const uint8_t* r, size_t size, size_t index)
{
    if (1 + 4 * index + 4 > size)
        return 0;
    const uint32_t number = rd32(r + 1 + 4 * index);
    return number < 0x80000000u ? number : 0;
}

} // namespace

UsageMap::UsageMap(Transaction& txn, uint32_t pointer, bool global)
    : txn_(txn), page_(pointer >> 8), row_(int(pointer & 0xFF)), global_(global)
{
    if (page_ == 0 || page_ >= txn.pageCount())
        badMap(page_, "introuvable");
    DataPage dp{const_cast<uint8_t*>(txn.page(page_)), txn.pageSize()};
    if (txn.page(page_)[0] != 0x01 || row_ >= dp.rowCount() || dp.rowSize(row_) < 5)
        badMap(page_, "invalide (ligne " + std::to_string(row_) + ")");
}

const uint8_t* UsageMap::rowForRead(int& size)
{
    DataPage dp{const_cast<uint8_t*>(txn_.page(page_)), txn_.pageSize()};
    size = dp.rowSize(row_);
    return dp.p + dp.rowStart(row_);
}

uint8_t* UsageMap::rowForWrite(int& size)
{
    DataPage dp{txn_.modify(page_), txn_.pageSize()};
    size = dp.rowSize(row_);
    return dp.p + dp.rowStart(row_);
}

bool UsageMap::isReference()
{
    int size;
    return rowForRead(size)[0] == 0x01;
}

template <class MapPage, class Visit>
bool UsageMap::visitPages(const uint8_t* r, size_t size, uint32_t pageSize, MapPage mapPage, Visit visit)
{
    // False once `visit` asked to stop.
    auto visitBits = [&](const uint8_t* bits, size_t count, uint64_t first, uint32_t from) {
        for (size_t i = 0; i < count; ++i)
            for (uint8_t b = bits[i]; b != 0; b &= uint8_t(b - 1))
                if (!visit(first + i * 8 + uint64_t(__builtin_ctz(b)), from))
                    return false;
        return true;
    };
    if (size < 1)
        return false;
    if (r[0] == 0x00) {
        if (size < 5)
            return false;
        visitBits(r + 5, size - 5, detail::le32(r + 1), 0);
        return true;
    }
    if (r[0] != 0x01)
        return false;
    const uint64_t perPage = uint64_t(pageSize - kMapPageHeader) * 8;
    for (size_t i = 0; 1 + 4 * i + 4 <= size; ++i) {
        const uint32_t number = slotPage(r, size, i);
        if (number != 0 && !visitBits(mapPage(number) + kMapPageHeader, pageSize - kMapPageHeader, i * perPage, number))
            break;
    }
    return true;
}

std::vector<uint32_t> UsageMap::read(const detail::PageFile& file, const detail::FormatInfo& f,
                                     detail::RowPointer where)
{
    std::vector<uint32_t> pages;
    if (where.page == 0)
        return pages;
    detail::ByteRange row = detail::rowSlotBytes(file, f, where.page, where.row, nullptr, true);
    if (row.size() < 1)
        row.corrupt("carte d'utilisation vide");
    auto mapPage = [&](uint32_t number) {
        const uint8_t* bitmap = file.page(number);
        if (bitmap[0] != detail::kUsageMapPage)
            file.corrupt(number, "page de carte d'utilisation attendue (type " + std::to_string(bitmap[0]) + ")");
        return bitmap;
    };
    auto visit = [&](uint64_t page, uint32_t from) {
        if (page >= file.pageCount())
            file.corrupt(from ? from : where.page, "la carte d'utilisation désigne la page " + std::to_string(page) +
                                                       ", au-delà de la fin du fichier");
        pages.push_back(uint32_t(page));
        return true;
    };
    if (!visitPages(row.data(), row.size(), f.pageSize, mapPage, visit))
        row.corrupt("type de carte d'utilisation inconnu (" + std::to_string(row.u8(0)) + ")");
    return pages;
}

std::vector<uint32_t> UsageMap::pages(size_t most)
{
    std::vector<uint32_t> out;
    if (most == 0)
        return out;
    int size;
    const uint8_t* r = rowForRead(size);
    auto mapPage = [&](uint32_t number) {
        if (number >= txn_.pageCount())
            badMap(number, "hors du fichier");
        const uint8_t* mp = txn_.page(number);
        if (mp[0] != detail::kUsageMapPage)
            badMap(number, "de type inattendu");
        return mp;
    };
    if (!visitPages(r, size_t(size), txn_.pageSize(), mapPage,
                    [&](uint64_t page, uint32_t) {
                        out.push_back(uint32_t(page));
                        return out.size() < most;
                    }))
        badMap(page_, "de type inconnu");
    return out;
}

void UsageMap::rewrite(PageAllocator& allocator)
{
    if (global_)
        throw Error(Code::InvalidState, "carte des pages : réécriture non prévue");
    std::vector<uint32_t> held = pages();
    int size;
    uint8_t* r = rowForWrite(size);
    std::vector<uint32_t> mapPages;
    if (r[0] == 0x01)
        for (int i = 0; 1 + 4 * i + 4 <= size; ++i)
            if (uint32_t mp = slotPage(r, size_t(size), size_t(i)); mp != 0)
                mapPages.push_back(mp);
    r[0] = 0x00;
    std::fill(r + 1, r + size, 0);
    for (uint32_t mp : mapPages)
        allocator.release(mp);
    for (uint32_t page : held)
        add(page, allocator);
}

namespace {

// The highest set bit of a bitmap of `count` bytes whose first bit stands
// for page `first`, or -1.
int64_t highestPage(const uint8_t* bits, size_t count, uint64_t first)
{
    // A map page is mostly clear past a table's pages: skipped eight bytes
    // at a time (the map is looked at each time a page fills).
    size_t end = count;
    for (uint64_t word = 0; end >= 8; end -= 8) {
        std::memcpy(&word, bits + end - 8, 8);
        if (word != 0)
            break;
    }
    for (size_t i = end; i-- > 0;)
        if (bits[i])
            return int64_t(first + i * 8) + (31 - __builtin_clz(bits[i]));
    return -1;
}

} // namespace

int64_t UsageMap::last()
{
    int size;
    const uint8_t* r = rowForRead(size);
    if (r[0] == 0x00)
        return size < 5 ? -1 : highestPage(r + 5, size_t(size - 5), rd32(r + 1));
    if (r[0] != 0x01)
        badMap(page_, "de type inconnu");
    // A reference map: its map pages from the last one.
    const uint32_t perPage = (txn_.pageSize() - kMapPageHeader) * 8;
    for (int i = (size - 1) / 4 - 1; i >= 0; --i) {
        const uint32_t number = slotPage(r, size_t(size), size_t(i));
        if (number == 0)
            continue;
        if (number >= txn_.pageCount())
            badMap(number, "hors du fichier");
        const uint8_t* mp = txn_.page(number);
        if (mp[0] != detail::kUsageMapPage)
            badMap(number, "de type inattendu");
        if (int64_t page = highestPage(mp + kMapPageHeader, txn_.pageSize() - kMapPageHeader, uint64_t(i) * perPage);
            page >= 0)
            return page;
    }
    return -1;
}

bool UsageMap::covers(uint32_t page)
{
    int size;
    const uint8_t* r = rowForRead(size);
    if (r[0] == 0x00) {
        uint32_t start = rd32(r + 1);
        return page >= start && page < start + uint32_t(size - 5) * 8;
    }
    const uint32_t perPage = (txn_.pageSize() - kMapPageHeader) * 8;
    uint32_t index = page / perPage;
    return slotPage(r, size_t(size), index) != 0;
}

bool UsageMap::contains(uint32_t page)
{
    int size;
    const uint8_t* r = rowForRead(size);
    if (r[0] == 0x00) {
        uint32_t start = rd32(r + 1);
        if (page < start || page >= start + uint32_t(size - 5) * 8)
            return global_;
        uint32_t bit = page - start;
        return r[5 + bit / 8] & (1 << (bit % 8));
    }
    const uint32_t perPage = (txn_.pageSize() - kMapPageHeader) * 8;
    uint32_t index = page / perPage;
    if (1 + 4 * int(index) + 4 > size)
        return global_;
    uint32_t mp = slotPage(r, size_t(size), index);
    if (mp == 0)
        return global_;
    uint32_t bit = page % perPage;
    return txn_.page(mp)[kMapPageHeader + bit / 8] & (1 << (bit % 8));
}

void UsageMap::add(uint32_t page, PageAllocator& allocator) { setBit(page, true, allocator); }
void UsageMap::remove(uint32_t page, PageAllocator& allocator) { setBit(page, false, allocator); }

void UsageMap::setBit(uint32_t page, bool on, PageAllocator& allocator)
{
    int size;
    const uint8_t* r = rowForRead(size);
    if (r[0] == 0x00)
        setInline(page, on, allocator);
    else if (r[0] == 0x01)
        setReference(page, on, allocator);
    else
        badMap(page_, "de type inconnu");
}

void UsageMap::setInline(uint32_t page, bool on, PageAllocator& allocator)
{
    int size;
    uint8_t* r = rowForWrite(size);
    const uint32_t capacity = uint32_t(size - 5) * 8;
    uint32_t start = rd32(r + 1);
    if (page >= start && page < start + capacity) {
        uint32_t bit = page - start;
        if (on)
            r[5 + bit / 8] |= uint8_t(1 << (bit % 8));
        else
            r[5 + bit / 8] &= uint8_t(~(1 << (bit % 8)));
        return;
    }
    if (global_) {
        // Pages outside the global map's range count as free. Only a page
        // taken beyond the range matters: move the window forward, keeping
        // what it knew and counting the new part as free.
        if (on || page < start)
            return;
        uint32_t newStart = page > capacity / 2 ? ((page - capacity / 2) / 8) * 8 : 0;
        std::vector<uint8_t> bits(size_t(size - 5), 0);
        for (uint32_t q = newStart; q < newStart + capacity; ++q) {
            bool free = true;
            if (q >= start && q < start + capacity)
                free = r[5 + (q - start) / 8] & (1 << ((q - start) % 8));
            if (free)
                bits[(q - newStart) / 8] |= uint8_t(1 << ((q - newStart) % 8));
        }
        wr32(r + 1, newStart);
        std::copy(bits.begin(), bits.end(), r + 5);
        setInline(page, false, allocator);
        return;
    }
    if (!on)
        return; // not in the map: nothing to clear
    std::vector<uint32_t> existing = pages();
    uint32_t first = page, lastPage = page;
    if (!existing.empty()) {
        first = std::min(first, existing.front());
        lastPage = std::max(lastPage, existing.back());
    }
    first = (first / 8) * 8;
    if (lastPage - first < capacity) {
        r = rowForWrite(size);
        wr32(r + 1, first);
        std::fill(r + 5, r + size, 0);
        existing.push_back(page);
        for (uint32_t q : existing) {
            uint32_t bit = q - first;
            r[5 + bit / 8] |= uint8_t(1 << (bit % 8));
        }
        return;
    }
    // Too wide for an inline map: switch to a reference map.
    r = rowForWrite(size);
    r[0] = 0x01;
    std::fill(r + 1, r + size, 0);
    existing.push_back(page);
    for (uint32_t q : existing)
        setReference(q, true, allocator);
}

void UsageMap::setReference(uint32_t page, bool on, PageAllocator& allocator)
{
    const uint32_t perPage = (txn_.pageSize() - kMapPageHeader) * 8;
    int size;
    const uint8_t* r = rowForRead(size);
    uint32_t index = page / perPage;
    if (1 + 4 * int(index) + 4 > size) {
        if (!on || global_)
            return;
        throw Error(Code::Unsupported, "carte d'utilisation pleine : fichier trop grand");
    }
    uint32_t mp = slotPage(r, size_t(size), index);
    if (mp == 0) {
        if (!on && !global_)
            return;
        mp = global_ ? allocator.allocateRaw() : allocator.allocate();
        uint8_t* m = txn_.modify(mp);
        m[0] = 0x05;
        m[1] = 0x01;
        if (global_) {
            // A new global map page: the pages past the file's end are free.
            // Those inside it are taken as used: the map said nothing of
            // them (Access leaves the slots of a file's own pages empty), and
            // a page in use must never be marked free.
            const uint64_t first = uint64_t(index) * perPage;
            for (uint64_t q = std::max<uint64_t>(first, txn_.pageCount()); q < first + perPage; ++q)
                m[kMapPageHeader + (q - first) / 8] |= uint8_t(1 << ((q - first) % 8));
        }
        uint8_t* w = rowForWrite(size);
        wr32(w + 1 + 4 * index, mp);
        if (global_)
            allocator.pending_.push_back(mp);
    }
    uint8_t* m = txn_.modify(mp);
    uint32_t bit = page % perPage;
    if (on)
        m[kMapPageHeader + bit / 8] |= uint8_t(1 << (bit % 8));
    else
        m[kMapPageHeader + bit / 8] &= uint8_t(~(1 << (bit % 8)));
}

uint32_t PageAllocator::allocateRaw()
{
    return txn_.appendPage();
}

void PageAllocator::markUsed(uint32_t page)
{
    UsageMap global(txn_, kGlobalMapPointer, true);
    // The global map marks free pages: a used page has its bit cleared.
    global.remove(page, *this);
    while (!pending_.empty()) {
        uint32_t p = pending_.back();
        pending_.pop_back();
        global.remove(p, *this);
    }
}

// A page inside the file that the global map marks free and that holds only
// zeros, as release() leaves it (no page in use is all zeros: its first byte
// gives its type); 0 when there is none. Pages that the map marks free but
// that hold something (another program's leftovers) are never taken.
void PageAllocator::scan()
{
    if (scanned_)
        return;
    scanned_ = true;
    UsageMap global(txn_, kGlobalMapPointer, true);
    std::vector<uint32_t> found;
    for (uint32_t page : global.pages())
        if (page >= 3 && page < txn_.pageCount())
            found.push_back(page);
    for (uint32_t page : candidates_) // given back before the scan
        found.push_back(page);
    std::sort(found.begin(), found.end(), std::greater<uint32_t>());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    candidates_ = std::move(found);
}

uint32_t PageAllocator::givenBack()
{
    scan();
    const uint32_t size = txn_.pageSize();
    int looked = 0;
    while (!candidates_.empty() && looked < 256) {
        uint32_t page = candidates_.back();
        candidates_.pop_back();
        ++looked;
        if (page >= txn_.pageCount())
            continue;
        UsageMap global(txn_, kGlobalMapPointer, true);
        if (global.covers(page) && !global.contains(page))
            continue; // taken meanwhile (by another allocator of this write)
        const uint8_t* bytes = txn_.page(page);
        if (std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; }))
            return page;
    }
    return 0;
}

uint32_t PageAllocator::allocate()
{
    uint32_t page = givenBack();
    if (page == 0)
        page = txn_.appendPage();
    markUsed(page);
    return page;
}

void PageAllocator::release(uint32_t page)
{
    if (page < 3 || page >= txn_.pageCount())
        throw Error(Code::Corrupt, "page " + std::to_string(page) + " : page rendue hors du fichier");
    std::memset(txn_.modify(page), 0, txn_.pageSize());
    UsageMap global(txn_, kGlobalMapPointer, true);
    global.add(page, *this);
    // The map's window may not reach the page (an inline map covers 512
    // pages, moving with the end of the file): this allocator keeps it all
    // the same, highest first so that the lowest page is taken first.
    auto at = std::lower_bound(candidates_.begin(), candidates_.end(), page, std::greater<uint32_t>());
    if (at == candidates_.end() || *at != page)
        candidates_.insert(at, page);
}

} // namespace jet::writer
