#include "catalog_writer.h"

#include "data_page_writer.h"
#include "row_encoder.h"
#include "usage_map_writer.h"
#include "jet/status.h"

namespace jet::writer {

namespace {

constexpr uint32_t kCatalogPage = 2;

std::string lower(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

} // namespace

std::vector<CatalogRow> readCatalogRows(Transaction& txn)
{
    TableLayout layout = readLayout(txn, kCatalogPage);
    int cId = layout.columnIndex("Id"), cParent = layout.columnIndex("ParentId"),
        cName = layout.columnIndex("Name"), cType = layout.columnIndex("Type"), cFlags = layout.columnIndex("Flags");
    if (cId < 0 || cName < 0 || cType < 0)
        throw Error(Code::Corrupt, "page 2 : catalogue sans colonnes Id, Name et Type");
    std::vector<CatalogRow> out;
    UsageMap owned(txn, layout.ownedMap);
    for (uint32_t page : owned.pages()) {
        if (page >= txn.pageCount())
            continue;
        DataPage dp{const_cast<uint8_t*>(txn.page(page)), txn.pageSize()};
        if (dp.p[0] != 0x01 || dp.owner() != kCatalogPage)
            continue;
        for (int r = 0; r < dp.rowCount(); ++r) {
            uint16_t s = dp.slot(r);
            if (s & kRowDeleted)
                continue;
            const uint8_t* row = dp.p + dp.rowStart(r);
            size_t size = size_t(dp.rowSize(r));
            uint32_t where = page;
            if (s & kRowOverflow) {
                if (size < 4)
                    continue;
                uint32_t p2 = rd24(row + 1);
                int r2 = row[0];
                DataPage dp2{const_cast<uint8_t*>(txn.page(p2)), txn.pageSize()};
                row = dp2.p + dp2.rowStart(r2);
                size = size_t(dp2.rowSize(r2));
                where = p2;
            }
            std::vector<Field> f = decodeFields(layout, row, size, where);
            CatalogRow c;
            if (!f[size_t(cId)].null)
                c.id = rd32(f[size_t(cId)].bytes.data());
            if (cParent >= 0 && !f[size_t(cParent)].null)
                c.parentId = rd32(f[size_t(cParent)].bytes.data());
            if (!f[size_t(cName)].null)
                c.name = decodeText(f[size_t(cName)].bytes.data(), f[size_t(cName)].bytes.size());
            if (!f[size_t(cType)].null)
                c.type = int16_t(rd16(f[size_t(cType)].bytes.data()));
            if (cFlags >= 0 && !f[size_t(cFlags)].null)
                c.flags = rd32(f[size_t(cFlags)].bytes.data());
            out.push_back(c);
        }
    }
    return out;
}

uint32_t findTableDefinition(Transaction& txn, const std::string& name)
{
    const std::string wanted = lower(name);
    for (const CatalogRow& row : readCatalogRows(txn)) {
        if ((row.type & 0x7FFF) == 1 && lower(row.name) == wanted)
            return row.id & 0x00FFFFFF;
    }
    throw Error(Code::NotFound, "table introuvable : " + name);
}

} // namespace jet::writer
