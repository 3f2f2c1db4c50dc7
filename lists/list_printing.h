// "Imprimer la liste…": the rows of a list printed as a table, landscape,
// each page with the title, the filter used and the date at the top and
// "Page n sur m" at the bottom.
#pragma once

#include <QDate>
#include <QString>

class QAbstractItemModel;
class QPrinter;

namespace velmor {

struct ListPrintHeading {
    QString title;  // "Liste des retours"
    QString filter; // "Filtre : « loreal » — en cours seulement", or empty
    QDate date;
};

// Prints every row the model holds (display texts). Returns the number of
// pages printed, 0 when the printer cannot be started.
int printList(const QAbstractItemModel& model, const ListPrintHeading& heading, QPrinter& printer);

} // namespace velmor
