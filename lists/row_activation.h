// A double-click on a row, or Enter on the current one, opens that row.
#pragma once

#include <functional>

class QTableView;

namespace velmor {

void openRowsOnActivation(QTableView* table, std::function<void(int row)> open);

} // namespace velmor
