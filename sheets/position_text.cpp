#include "sheets/position_text.h"

namespace velmor::positiontext {

QString rowCount(long count) {
    if (count <= 0)
        return QStringLiteral("Aucune fiche");
    return count == 1 ? QStringLiteral("1 fiche") : QStringLiteral("%1 fiches").arg(count);
}

QString position(bool adding, long position, long count) {
    if (adding)
        return QStringLiteral("Nouvelle fiche");
    if (position < 0 || position >= count)
        return rowCount(count);
    return QStringLiteral("Fiche %1 sur %2").arg(position + 1).arg(count);
}

QString foundForClient(long count, const QString& client) {
    return QStringLiteral("%1 pour « %2 »").arg(rowCount(count), client);
}

QString foundOutstanding(long count) {
    return QStringLiteral("%1 en cours").arg(rowCount(count));
}

} // namespace velmor::positiontext
