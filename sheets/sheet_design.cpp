#include "sheets/sheet_design.h"

namespace velmor {

QString SheetDesign::allRows() const
{
    return QStringLiteral("SELECT * FROM %1 ").arg(QLatin1String(table));
}

QString SheetDesign::rowsOfClient(const QString& client) const
{
    QString quoted = client;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("SELECT * FROM %1 WHERE %2='%3'")
        .arg(QLatin1String(table), QLatin1String(clientColumn), quoted);
}

QString SheetDesign::outstandingRows() const
{
    return QStringLiteral("SELECT * FROM %1 WHERE %2 IS NULL ")
        .arg(QLatin1String(table), QLatin1String(outstandingColumn));
}

} // namespace velmor
