#include "format/data_page.h"

namespace jet::detail {

namespace {

// The error paths, out of the way of the row reads that every scan makes.
[[noreturn, gnu::cold, gnu::noinline]] void badRowCount(const PageFile& file, uint32_t pageNumber, uint16_t count)
{
    file.corrupt(pageNumber, "nombre de lignes invalide (" + std::to_string(count) + ")");
}

[[noreturn, gnu::cold, gnu::noinline]] void missingRow(const PageFile& file, uint32_t pageNumber, uint16_t row,
                                                      uint16_t count)
{
    file.corrupt(pageNumber,
                 "ligne " + std::to_string(row) + " absente (la page en a " + std::to_string(count) + ")");
}

[[noreturn, gnu::cold, gnu::noinline]] void rowOutOfPage(const PageFile& file, uint32_t pageNumber, uint16_t row,
                                                        uint32_t start, uint32_t end)
{
    file.corrupt(pageNumber, "ligne " + std::to_string(row) + " : position " + std::to_string(start) + "-" +
                                 std::to_string(end) + " hors de la page");
}

[[noreturn, gnu::cold, gnu::noinline]] void movedRowLoop(const PageFile& file, RowPointer where)
{
    file.corrupt(where.page, "ligne " + std::to_string(where.row) + " : chaîne de lignes déplacées en boucle");
}

} // namespace

uint16_t dataPageRowCount(const PageFile& file, const FormatInfo& f, uint32_t pageNumber, const uint8_t* page)
{
    uint16_t count = le16(page + f.dataRowCount);
    if (count > f.maxRowsPerPage || uint32_t(f.dataRowCount + 2 + 2 * count) > f.pageSize) [[unlikely]]
        badRowCount(file, pageNumber, count);
    return count;
}

ByteRange rowSlotBytes(const PageFile& file, const FormatInfo& f, uint32_t pageNumber, uint16_t row,
                       uint16_t* flags, bool evenIfDeleted)
{
    const uint8_t* page = file.page(pageNumber);
    const uint16_t count = dataPageRowCount(file, f, pageNumber, page);
    if (row >= count) [[unlikely]]
        missingRow(file, pageNumber, row, count);
    const uint16_t entry = rowOffsetEntry(f, page, row);
    const uint32_t start = entry & kRowOffsetMask;
    const uint32_t end = row == 0 ? f.pageSize : (rowOffsetEntry(f, page, uint16_t(row - 1)) & kRowOffsetMask);
    if (flags)
        *flags = entry;
    const uint32_t tableEnd = uint32_t(f.dataRowCount + 2 + 2 * count);
    if ((entry & kRowDeleted) && !evenIfDeleted)
        return ByteRange(file, pageNumber, page, 0);
    if (start < tableEnd || end > f.pageSize || start > end) [[unlikely]]
        rowOutOfPage(file, pageNumber, row, start, end);
    return ByteRange(file, pageNumber, page + start, end - start);
}

bool rowData(const PageFile& file, const FormatInfo& f, RowPointer where, ByteRange& out)
{
    uint16_t flags = 0;
    ByteRange bytes = rowSlotBytes(file, f, where.page, where.row, &flags);
    if (flags & kRowDeleted)
        return false;
    // A moved row leaves a 4-byte pointer behind; its target is marked
    // deleted so that scans skip it.
    int hops = 0;
    while (flags & kRowMoved) [[unlikely]] {
        if (++hops > 8)
            movedRowLoop(file, where);
        if (bytes.size() < 4)
            bytes.corrupt("pointeur de ligne déplacée tronqué");
        RowPointer next = RowPointer::fromRaw(bytes.u32(0));
        bytes = rowSlotBytes(file, f, next.page, next.row, &flags, true);
    }
    out = bytes;
    return true;
}

} // namespace jet::detail
