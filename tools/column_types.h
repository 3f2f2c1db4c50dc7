// How velmor-db names a column's type, including the columns whose values
// the engine does not convert (complex columns, unknown types).
#pragma once

#include "jet/database.h"

#include <string>

namespace velmor {

// "Texte", "Pièce jointe", "Type inconnu (code 70)"...
std::string columnTypeText(const jet::ColumnInfo& column);

} // namespace velmor
