#include "table/table_walk.h"

#include "format/usage_map.h"

namespace jet::detail {

TableWalk::TableWalk(const PageFile& file, const FormatInfo& format, const TableDef& table)
    : file_(&file), f_(&format), table_(&table), owner_(table.page)
{
}

bool TableWalk::next(std::vector<Bookmark>& rows)
{
    if (!mapRead_) {
        pages_ = writer::UsageMap::read(*file_, *f_, table_->ownedPages);
        mapRead_ = true;
    }
    while (nextPage_ < pages_.size()) {
        const uint32_t pageNumber = pages_[nextPage_++];
        const uint8_t* page = file_->page(pageNumber);
        if (page[0] != kDataPage || le32(page + f_->dataOwner) != owner_)
            continue;
        const size_t before = rows.size();
        const uint16_t count = dataPageRowCount(*file_, *f_, pageNumber, page);
        for (uint16_t row = 0; row < count; ++row)
            if (!(rowOffsetEntry(*f_, page, row) & kRowDeleted))
                rows.push_back(Bookmark{pageNumber, row});
        if (rows.size() > before)
            return true;
    }
    return false;
}

} // namespace jet::detail
