#include "table/row_merge.h"

namespace jet::detail {

RowMerge mergeRow(const std::vector<std::optional<Value>>& read, const std::vector<std::optional<Value>>& pending,
                  const std::vector<Value>& stored)
{
    RowMerge merge;
    merge.changes.assign(stored.size(), std::nullopt);
    for (size_t i = 0; i < stored.size(); ++i) {
        const bool known = i < read.size() && read[i].has_value();
        const bool theirs = !known || !(*read[i] == stored[i]);
        const std::optional<Value>* mine = i < pending.size() && pending[i] ? &pending[i] : nullptr;
        const bool clash = mine && theirs && !(**mine == stored[i]);
        if (mine && !clash && !(**mine == stored[i]))
            merge.changes[i] = **mine;
        if (clash || (known && theirs)) {
            RowConflict::Column c;
            c.column = int(i);
            c.read = known ? *read[i] : Value();
            c.stored = stored[i];
            c.pending = mine ? **mine : Value();
            c.changedHere = mine != nullptr;
            merge.found.columns.push_back(std::move(c));
        }
        merge.conflicting = merge.conflicting || clash;
    }
    return merge;
}

std::string conflictMessage(const std::string& table, const std::vector<ColumnInfo>& columns,
                            const RowConflict& conflict)
{
    std::string names;
    for (const RowConflict::Column& c : conflict.columns) {
        if (!conflict.duringDelete && !c.changedHere)
            continue;
        if (!names.empty())
            names += ", ";
        names += "« " + (size_t(c.column) < columns.size() ? columns[size_t(c.column)].name : "?") + " »";
    }
    if (conflict.duringDelete)
        return "enregistrement de " + table + " modifié par un autre programme depuis sa lecture (" + names +
               ") : rien n'a été supprimé";
    return "enregistrement de " + table + " modifié par un autre programme depuis sa lecture (" + names +
           ") : rien n'a été enregistré";
}

} // namespace jet::detail
