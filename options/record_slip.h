// "Imprimer la fiche…" and "Exporter la fiche en PDF…": the row that the
// current sheet shows, as a clean A4 slip on white paper: its title, every
// field with its caption and its whole value (long texts wrapped, never cut,
// dates in the regional format), who recorded it, the print date and two
// boxes for the signatures. A long text flows onto further pages, each with
// the header again.
#pragma once

#include "options/sheet_lookup.h"

#include <QDateTime>
#include <QString>
#include <vector>

class QPrinter;
class QWidget;

namespace velmor {

class RecordSheet;

struct RecordSlip {
    struct Field {
        QString caption;
        QString value;
    };
    QString title; // "PRÊT DE MATÉRIEL" / "RETOUR DE MATÉRIEL"
    std::vector<Field> fields;
    QString author;  // who recorded the row ("" when unknown)
    QString printed; // the print date and time, regional format
};

// What `sheet` shows now, edits not yet saved included.
RecordSlip slipOf(const RecordSheet& sheet, const QDateTime& printedAt);

// Prints `slip` on A4 pages of `printer`. Returns the number of pages, 0 when
// the printer cannot be started.
int printSlip(const RecordSlip& slip, QPrinter& printer);

// The menu entries: the sheet that the current-sheet marker names (created
// when missing), through the printer dialog, or to the PDF file chosen in
// the save dialog. Cancel, no marker or a failure end them without printing;
// a file that cannot be written is reported. Return true when printed.
bool printCurrentSlip(QWidget* dialogParent, QPrinter& printer, const SheetLookup& sheets);
bool exportCurrentSlip(QWidget* dialogParent, const SheetLookup& sheets);

} // namespace velmor
