#include "usage_map.h"

namespace jet::detail {

namespace {

void addBits(const PageFile& file, uint32_t mapPage, const uint8_t* bits, size_t count, uint64_t firstPage,
             std::vector<uint32_t>& pages)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t b = bits[i];
        while (b) {
            int bit = __builtin_ctz(b);
            b &= uint8_t(b - 1);
            uint64_t page = firstPage + i * 8 + uint64_t(bit);
            if (page >= file.pageCount())
                file.corrupt(mapPage, "la carte d'utilisation désigne la page " + std::to_string(page) +
                                          ", au-delà de la fin du fichier");
            pages.push_back(uint32_t(page));
        }
    }
}

} // namespace

std::vector<uint32_t> readUsageMap(const PageFile& file, const FormatInfo& f, RowPointer where)
{
    std::vector<uint32_t> pages;
    if (where.page == 0)
        return pages;
    ByteRange row = rowSlotBytes(file, f, where.page, where.row, nullptr, true);
    if (row.size() < 1)
        row.corrupt("carte d'utilisation vide");
    uint8_t type = row.u8(0);
    if (type == 0) {
        uint32_t start = row.u32(1);
        addBits(file, where.page, row.data() + 5, row.size() - 5, start, pages);
    } else if (type == 1) {
        const uint64_t pagesPerMapPage = uint64_t(f.pageSize - 4) * 8;
        size_t entries = (row.size() - 1) / 4;
        for (size_t i = 0; i < entries; ++i) {
            uint32_t mapPage = row.u32(1 + 4 * i);
            if (mapPage == 0)
                continue;
            const uint8_t* bitmap = file.page(mapPage);
            if (bitmap[0] != kUsageMapPage)
                file.corrupt(mapPage, "page de carte d'utilisation attendue (type " + std::to_string(bitmap[0]) + ")");
            addBits(file, mapPage, bitmap + 4, f.pageSize - 4, i * pagesPerMapPage, pages);
        }
    } else {
        row.corrupt("type de carte d'utilisation inconnu (" + std::to_string(type) + ")");
    }
    return pages;
}

} // namespace jet::detail
