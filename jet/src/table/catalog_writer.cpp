#include "table/catalog_writer.h"

#include "format/data_page_writer.h"
#include "format/row_encoder.h"
#include "format/text.h"
#include "jet/status.h"

namespace jet::writer {

namespace {

constexpr uint32_t kCatalogPage = 2;

} // namespace

std::vector<CatalogRow> readCatalogRows(Transaction& txn)
{
    TableDef layout = detail::readTableDef(txn, kCatalogPage);
    int cId = layout.columnIndex("Id"), cParent = layout.columnIndex("ParentId"),
        cName = layout.columnIndex("Name"), cType = layout.columnIndex("Type"), cFlags = layout.columnIndex("Flags");
    if (cId < 0 || cName < 0 || cType < 0)
        throw Error(Code::Corrupt, "page 2 : catalogue sans colonnes Id, Name et Type");
    std::vector<CatalogRow> out;
    for (const LiveRow& live : readLiveRows(txn, layout)) {
        const std::vector<Field>& f = live.fields;
        CatalogRow c;
        if (!f[size_t(cId)].null)
            c.id = rd32(f[size_t(cId)].bytes.data());
        if (cParent >= 0 && !f[size_t(cParent)].null)
            c.parentId = rd32(f[size_t(cParent)].bytes.data());
        if (!f[size_t(cName)].null)
            c.name = decodeColumnText(layout.columns[size_t(cName)], f[size_t(cName)].bytes);
        if (!f[size_t(cType)].null)
            c.type = int16_t(rd16(f[size_t(cType)].bytes.data()));
        if (cFlags >= 0 && !f[size_t(cFlags)].null)
            c.flags = rd32(f[size_t(cFlags)].bytes.data());
        out.push_back(c);
    }
    return out;
}

uint32_t findTableDefinition(Transaction& txn, const std::string& name)
{
    for (const CatalogRow& row : readCatalogRows(txn)) {
        if ((row.type & 0x7FFF) == 1 && detail::sameColumnName(row.name, name))
            return row.id & 0x00FFFFFF;
    }
    throw Error(Code::NotFound, "table introuvable : " + name);
}

} // namespace jet::writer
