#include "format/catalog.h"

#include "format/row_codec.h"
#include "format/table_scan.h"

namespace jet::detail {

std::vector<CatalogEntry> readCatalog(const PageFile& file, const FormatInfo& f, uint16_t codePage)
{
    auto objects = readTableDef(file, f, kCatalogPage, "MSysObjects", true, codePage);
    auto column = [&](const char* name) -> const ColumnDef& {
        int index = objects->columnIndex(name);
        if (index < 0)
            file.corrupt(kCatalogPage, std::string("catalogue sans colonne ") + name);
        return objects->columns[size_t(index)];
    };
    const ColumnDef& id = column("Id");
    const ColumnDef& name = column("Name");
    const ColumnDef& type = column("Type");
    const ColumnDef& flags = column("Flags");

    std::vector<CatalogEntry> entries;
    RowReader reader(file, f, *objects);
    scanTable(file, f, *objects, [&](RowPointer where) {
        ByteRange row(file, where.page, nullptr, 0);
        if (!rowData(file, f, where, row))
            return;
        reader.load(row);
        Value t = reader.value(type);
        if (t.kind() != Value::Kind::Int || t.asInt() != kObjectTable)
            return;
        Value n = reader.value(name);
        Value i = reader.value(id);
        if (n.kind() != Value::Kind::Text || i.kind() != Value::Kind::Int)
            return;
        Value fl = reader.value(flags);
        CatalogEntry e;
        e.name = n.asText();
        e.definitionPage = uint32_t(i.asInt()) & 0x00FFFFFF;
        e.flags = fl.kind() == Value::Kind::Int ? uint32_t(fl.asInt()) : 0;
        e.system = (e.flags & kObjectSystemFlags) != 0;
        entries.push_back(std::move(e));
    });
    return entries;
}

} // namespace jet::detail
