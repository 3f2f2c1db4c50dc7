#include "table/complex_values.h"

#include "format/data_page_writer.h"
#include "format/text.h"
#include "index/index_maintainer.h"
#include "table/catalog_writer.h"
#include "table/table_writer.h"
#include "jet/status.h"

namespace jet::writer {

namespace {

bool isComplex(const ColumnDef& c) { return c.rawType == uint8_t(ColumnType::Complex); }

// The definition page of the flat table of `column` of the table at `tdef`,
// from MSysComplexColumns (ColumnName, ConceptualTableID, FlatTableID).
uint32_t flatTableOf(Transaction& txn, const TableDef& list, const std::vector<LiveRow>& rows, uint32_t tdef,
                     const std::string& column)
{
    const int name = list.columnIndex("ColumnName"), owner = list.columnIndex("ConceptualTableID"),
              flat = list.columnIndex("FlatTableID");
    if (name < 0 || owner < 0 || flat < 0)
        throw Error(Code::Corrupt, "MSysComplexColumns : colonnes attendues absentes");
    for (const LiveRow& row : rows) {
        const Value n = fieldValue(list.columns[size_t(name)], row.fields[size_t(name)]);
        const Value o = fieldValue(list.columns[size_t(owner)], row.fields[size_t(owner)]);
        const Value f = fieldValue(list.columns[size_t(flat)], row.fields[size_t(flat)]);
        if (n.kind() != Value::Kind::Text || o.kind() != Value::Kind::Int || f.kind() != Value::Kind::Int)
            continue;
        if ((uint32_t(o.asInt()) & 0x00FFFFFF) == tdef && detail::compareIgnoringCase(n.asText(), column) == 0) {
            const uint32_t page = uint32_t(f.asInt()) & 0x00FFFFFF;
            if (page != 0 && page < txn.pageCount())
                return page;
        }
    }
    throw Error(Code::Corrupt, "colonne « " + column + " » : table de ses valeurs introuvable");
}

} // namespace

uint32_t complexIdOf(const TableDef& table, const std::vector<Field>& fields)
{
    for (size_t i = 0; i < table.columns.size() && i < fields.size(); ++i)
        if (isComplex(table.columns[i]) && !fields[i].null && fields[i].bytes.size() >= 4)
            if (const uint32_t id = rd32(fields[i].bytes.data()); id != 0)
                return id;
    return 0;
}

void removeComplexValues(Transaction& txn, const TableDef& table, uint32_t complexId, PageAllocator& pages)
{
    if (complexId == 0)
        return;
    const TableDef list = detail::readTableDef(txn, findTableDefinition(txn, "MSysComplexColumns"));
    const std::vector<LiveRow> entries = readLiveRows(txn, list);
    for (const ColumnDef& c : table.columns) {
        if (!isComplex(c))
            continue;
        const TableDef flat = detail::readTableDef(txn, flatTableOf(txn, list, entries, table.page, c.info.name));
        const int key = flat.columnIndex("_" + c.info.name);
        if (key < 0)
            throw Error(Code::Corrupt, "colonne « " + c.info.name + " » : table de ses valeurs sans colonne « _" +
                                           c.info.name + " »");
        std::vector<RowId> doomed;
        for (const LiveRow& row : readLiveRows(txn, flat)) {
            const Value v = fieldValue(flat.columns[size_t(key)], row.fields[size_t(key)]);
            if (v.kind() == Value::Kind::Int && v.asInt() == int64_t(complexId))
                doomed.push_back(RowId{row.page, row.row});
        }
        if (doomed.empty())
            continue; // the row has no value in this column
        TableWriter writer(txn, flat.page, false, &pages);
        for (RowId id : doomed)
            writer.remove(id);
        writer.finish();
    }
}

} // namespace jet::writer
