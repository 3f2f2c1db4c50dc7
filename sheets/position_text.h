// What the status bar says about a sheet's place in its rows, and what
// "Rechercher" and "En Cours" found.
#pragma once

#include <QString>

namespace velmor::positiontext {

// "Fiche 3 sur 8" (position from 0), "Nouvelle fiche" while a new row is
// pending, "Aucune fiche" for an empty row set, "8 fiches" when rows exist
// but none is current (past either end, after a delete).
QString position(bool adding, long position, long count);

// "2 fiches pour « L'Oréal »", "1 fiche pour « … »", "Aucune fiche pour « Crédit »".
QString foundForClient(long count, const QString& client);

// "3 fiches en cours", "1 fiche en cours", "Aucune fiche en cours".
QString foundOutstanding(long count);

// "8 fiches", "1 fiche", "Aucune fiche".
QString rowCount(long count);

} // namespace velmor::positiontext
