// The edits of one row set against what another program stored meanwhile:
// a column is this program's change when its pending value differs from the
// value read, the other program's change when the stored value differs from
// the value read, and a conflict when both changed it to different values.
#pragma once

#include "jet/recordset.h"

#include <optional>
#include <string>
#include <vector>

namespace jet::detail {

struct RowMerge {
    // What to write on top of the stored row (column order; unset: keep).
    std::vector<std::optional<Value>> changes;
    // The columns stored otherwise than read (kind Changed).
    RowConflict found;
    bool conflicting = false;
};

// `read`: the row as read (unset: a column that could not be read, which
// counts as changed by the other program); `pending`: this program's values
// (unset: not touched); `stored`: the row as stored now.
RowMerge mergeRow(const std::vector<std::optional<Value>>& read, const std::vector<std::optional<Value>>& pending,
                  const std::vector<Value>& stored);

// The French message of Error(Conflict): the table and the columns both
// programs changed (or, for a delete, the columns the other one changed).
std::string conflictMessage(const std::string& table, const std::vector<ColumnInfo>& columns,
                            const RowConflict& conflict);

} // namespace jet::detail
