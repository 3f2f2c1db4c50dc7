#include "table/new_table_indexes.h"

#include "format/text.h"
#include "index/index_key.h"
#include "jet/status.h"

#include <algorithm>
#include <numeric>

namespace jet::writer {

namespace {

[[noreturn]] void refuse(const IndexSpec& index, const std::string& why) {
    throw Error(Code::InvalidValue, "index « " + index.name + " » : " + why);
}

// The column an index names, by its position in the table.
size_t indexedColumn(const detail::TableDef& t, const IndexSpec& index, const IndexColumn& wanted) {
    const int at = t.columnIndex(wanted.column);
    if (at < 0)
        refuse(index, "colonne inconnue « " + wanted.column + " »");
    const ColumnInfo& c = t.columns[size_t(at)].info;
    if (c.type == ColumnType::Memo || c.type == ColumnType::OLE || !detail::isIndexableType(c.type))
        refuse(index, "une colonne de type " + std::string(columnTypeName(c.type)) + " (« " +
                          c.name + " ») ne peut pas être indexée");
    return size_t(at);
}

detail::PhysicalIndex physicalIndex(const detail::FormatInfo& f, const detail::TableDef& t,
                                    const IndexSpec& index) {
    if (index.columns.empty() || index.columns.size() > detail::kIndexColumnSlots)
        refuse(index,
               "un index porte sur 1 à " + std::to_string(detail::kIndexColumnSlots) + " colonnes");
    if (index.primary && index.ignoreNulls)
        refuse(index, "une clé primaire ne peut pas ignorer les valeurs nulles");
    detail::PhysicalIndex x;
    for (const IndexColumn& wanted : index.columns) {
        const uint16_t number = t.columns[indexedColumn(t, index, wanted)].number;
        for (const auto& [other, ascending] : x.columns)
            if (other == number)
                refuse(index, "colonne « " + wanted.column + " » nommée deux fois");
        x.columns.emplace_back(number, wanted.ascending);
    }
    x.flags = uint8_t((index.primary || index.unique ? detail::kIndexUnique : 0) |
                      (index.ignoreNulls ? detail::kIndexIgnoreNulls : 0) |
                      (index.primary ? detail::kIndexRequired : 0) |
                      (f.jet3 ? 0 : detail::kIndexJet4Mark));
    return x;
}

IndexInfo logicalIndex(const detail::TableDef& t, const IndexSpec& index) {
    IndexInfo info;
    info.name = index.name;
    for (const IndexColumn& c : index.columns)
        info.columns.push_back({t.columns[size_t(t.columnIndex(c.column))].info.name, c.ascending});
    info.primary = index.primary;
    info.unique = index.primary || index.unique;
    info.ignoreNulls = index.ignoreNulls;
    info.required = index.primary;
    return info;
}

} // namespace

void addNewIndexes(const detail::FormatInfo& f, detail::TableDef& t,
                   const std::vector<IndexSpec>& indexes) {
    if (indexes.size() > kMaxIndexesPerTable)
        throw Error(Code::InvalidValue, "une table a au plus " +
                                            std::to_string(kMaxIndexesPerTable) + " index (" +
                                            std::to_string(indexes.size()) + " demandés)");
    bool primary = false;
    for (size_t i = 0; i < indexes.size(); ++i) {
        const IndexSpec& index = indexes[i];
        if (index.name.empty() || index.name.size() > 64)
            throw Error(Code::InvalidValue, "nom d'index invalide : « " + index.name + " »");
        for (size_t j = 0; j < i; ++j)
            if (detail::sameColumnName(indexes[j].name, index.name))
                throw Error(Code::InvalidValue, "index en double : « " + index.name + " »");
        if (index.primary && primary)
            refuse(index, "la table a déjà une clé primaire");
        primary = primary || index.primary;
        t.physicalIndexes.push_back(physicalIndex(f, t, index));
    }
    // Physical indexes in the order given; the logical ones by name.
    std::vector<int> byName(indexes.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::stable_sort(byName.begin(), byName.end(), [&](int a, int b) {
        return detail::compareIgnoringCase(indexes[size_t(a)].name, indexes[size_t(b)].name) < 0;
    });
    for (int i : byName)
        t.indexes.push_back(logicalIndex(t, indexes[size_t(i)]));
    t.logicalToPhysical = byName;
}

} // namespace jet::writer
