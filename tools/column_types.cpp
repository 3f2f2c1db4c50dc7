#include "column_types.h"

namespace velmor {

std::string columnTypeText(const jet::ColumnInfo& column)
{
    if (column.type != jet::ColumnType::Complex)
        return jet::columnTypeName(column.type);
    if (column.typeCode != int(jet::ColumnType::Complex))
        return "Type inconnu (code " + std::to_string(column.typeCode) + ")";
    switch (column.complex) {
    case jet::ComplexKind::Attachment: return "Pièce jointe";
    case jet::ComplexKind::MultiValue: return "Valeurs multiples";
    case jet::ComplexKind::VersionHistory: return "Historique des versions";
    case jet::ComplexKind::None:
    case jet::ComplexKind::Unknown: break;
    }
    return "Complexe de type inconnu (code 18)";
}

} // namespace velmor
