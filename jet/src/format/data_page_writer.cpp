#include "format/data_page_writer.h"

#include "jet/status.h"

#include <string>

namespace jet::writer {

const detail::FormatInfo& dataPageLayout(uint32_t pageSize)
{
    static const detail::FormatInfo& jet3 = detail::formatInfo(Format::Jet3);
    static const detail::FormatInfo& jet4 = detail::formatInfo(Format::Jet4);
    return pageSize == jet3.pageSize ? jet3 : jet4;
}

void DataPage::init(uint8_t* page, uint32_t pageSize, uint32_t owner)
{
    std::memset(page, 0, pageSize);
    DataPage dp{page, pageSize};
    page[0] = detail::kDataPage;
    page[1] = 0x01;
    wr32(page + dp.f->dataOwner, owner);
    dp.updateFreeSpace();
}

bool DataPage::fits(int size) const
{
    return rowCount() < maxRows() && size + 2 <= room();
}

void DataPage::updateFreeSpace()
{
    const int free = room();
    wr16(p + f->dataFreeSpace, uint16_t(free < 0 ? 0 : free));
}

int DataPage::addRow(const uint8_t* bytes, int size, uint16_t flags)
{
    if (!fits(size))
        throw Error(Code::Corrupt, "page de données pleine");
    int row = rowCount();
    int start = dataStart() - size;
    std::memcpy(p + start, bytes, size_t(size));
    wr16(p + f->dataRowCount, uint16_t(row + 1));
    setSlot(row, uint16_t(start | flags));
    updateFreeSpace();
    return row;
}

int DataPage::deletedSlot() const
{
    for (int r = 0; r < rowCount(); ++r)
        if (slot(r) & kRowDeleted)
            return r;
    return -1;
}

int DataPage::liveRows() const
{
    int live = 0;
    for (int r = 0; r < rowCount(); ++r)
        if (!(slot(r) & kRowDeleted))
            ++live;
    return live;
}

bool DataPage::fitsReusing(int size) const
{
    if (deletedSlot() < 0)
        return fits(size);
    return size <= room();
}

int DataPage::addRowReusing(const uint8_t* bytes, int size)
{
    const int row = deletedSlot();
    if (row < 0)
        return addRow(bytes, size);
    if (!fitsReusing(size))
        throw Error(Code::Corrupt, "page de données pleine");
    replaceRow(row, nullptr, 0); // whatever a deleted slot still held goes
    replaceRow(row, bytes, size);
    setSlot(row, uint16_t(slot(row) & ~(kRowDeleted | kRowOverflow)));
    return row;
}

void DataPage::replaceRow(int row, const uint8_t* bytes, int size)
{
    const int start = rowStart(row);
    const int end = rowEnd(row);
    const int delta = size - (end - start);
    if (delta != 0) {
        const int low = dataStart();
        if (delta > room())
            throw Error(Code::Corrupt, "page de données pleine");
        // Move every row stored below this one (higher slots) by -delta.
        std::memmove(p + low - delta, p + low, size_t(start - low));
        for (int r = row; r < rowCount(); ++r) {
            uint16_t s = slot(r);
            int newStart = (s & kRowOffsetMask) - delta;
            setSlot(r, uint16_t((s & ~kRowOffsetMask) | newStart));
        }
        if (delta < 0)
            std::memset(p + low, 0, size_t(-delta));
    }
    if (size > 0) // a deleted row keeps an empty slot: nothing to copy
        std::memcpy(p + (end - size), bytes, size_t(size));
    updateFreeSpace();
}

} // namespace jet::writer
