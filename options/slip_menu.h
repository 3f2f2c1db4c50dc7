// The "Fichier" menu entries "Imprimer la fiche…" (`imprimerfiche`) and
// "Exporter la fiche en PDF…" (`exporterfiche`), placed just after
// "Imprimer".
#pragma once

#include "options/sheet_lookup.h"

class QMenu;
class QAction;
class QPrinter;
class QWidget;

namespace velmor {

// Adds the two entries to `fichier` after `imprimer` (at the end when it is
// not there) and connects them; `printer` keeps the printer settings between
// uses and must outlive the menu.
void addSlipEntries(QWidget* mainWindow, QMenu* fichier, QAction* imprimer, QPrinter& printer,
                    SheetLookup sheets);

} // namespace velmor
