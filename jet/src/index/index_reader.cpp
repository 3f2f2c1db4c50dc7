#include "index/index_reader.h"

#include "index/collation.h"

namespace jet::detail {

uint32_t storedDatabaseSortOrder(const PageFile& file, const FormatInfo& f)
{
    if (f.headerSortOrder < 0)
        return 0;
    return f.jet3 ? le16(file.page(0) + f.headerSortOrder) : le32(file.page(0) + f.headerSortOrder);
}

KeyColumn keyColumnOf(const ColumnDef& column, bool ascending, SortOrder databaseOrder, const FormatInfo& format)
{
    KeyColumn key;
    key.type = column.info.type;
    key.ascending = ascending;
    if (column.isText())
        key.order = columnSortOrder(column.sortOrder, databaseOrder, format.jet3);
    // Access 97's codes are those of Windows-1252 text.
    if (column.isText() && format.jet3 && column.codePage != 0 && column.codePage != 1252)
        key.order = SortOrder::Unsupported;
    key.scale = uint8_t(column.info.scale);
    key.legacyDecimal = format.format == Format::Jet3 || format.format == Format::Jet4;
    key.complexId = column.rawType == uint8_t(ColumnType::Complex);
    return key;
}

std::vector<IndexKeyLayout> indexLayouts(const TableDef& table, uint32_t databaseSortOrder, bool jet3)
{
    const SortOrder databaseOrder = sortOrderFromStored(databaseSortOrder, jet3);
    std::vector<IndexKeyLayout> out;
    for (size_t p = 0; p < table.physicalIndexes.size(); ++p) {
        const PhysicalIndex& physical = table.physicalIndexes[p];
        IndexKeyLayout layout;
        layout.physical = p;
        layout.root = physical.rootPage;
        layout.unique = (physical.flags & kIndexUnique) != 0;
        layout.ignoreNulls = (physical.flags & kIndexIgnoreNulls) != 0;
        layout.required = (physical.flags & kIndexRequired) != 0;
        for (size_t l = 0; l < table.logicalToPhysical.size() && l < table.indexes.size(); ++l) {
            if (size_t(table.logicalToPhysical[l]) != p)
                continue;
            if (layout.name.empty())
                layout.name = table.indexes[l].name;
            if (table.indexes[l].primary) {
                layout.primary = true;
                layout.unique = true;
            }
        }
        if (layout.name.empty())
            layout.name = "index " + std::to_string(p);
        for (auto [number, ascending] : physical.columns) {
            int at = -1;
            for (size_t i = 0; i < table.columns.size(); ++i)
                if (table.columns[i].number == number)
                    at = int(i);
            KeyColumn key;
            key.ascending = ascending;
            if (at < 0) {
                layout.problem = "colonne " + std::to_string(number) + " inexistante";
            } else {
                const ColumnDef& c = table.columns[size_t(at)];
                key.type = c.info.type;
                if (table.format)
                    key = keyColumnOf(c, ascending, databaseOrder, *table.format);
                else if (c.isText())
                    key.order = columnSortOrder(c.sortOrder, databaseOrder, jet3);
                std::string problem = keyColumnProblem(key);
                if (!problem.empty() && layout.problem.empty())
                    layout.problem = "colonne « " + c.info.name + " » : " + problem;
            }
            layout.columns.push_back(at);
            layout.keyColumns.push_back(key);
        }
        out.push_back(std::move(layout));
    }
    return out;
}

bool keyValues(const IndexKeyLayout& index, const std::vector<Value>& rowValues, std::vector<Value>& out)
{
    out.clear();
    bool allNull = true;
    for (int column : index.columns) {
        const Value& v = column >= 0 && size_t(column) < rowValues.size() ? rowValues[size_t(column)] : Value();
        if (!v.isNull())
            allNull = false;
        out.push_back(v);
    }
    return !(index.ignoreNulls && allNull);
}

} // namespace jet::detail
