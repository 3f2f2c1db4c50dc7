// "Imprimer": prints the record sheet that the current-sheet marker names,
// as the image of its window, on one page of the printer chosen in the print
// dialog.
#pragma once

#include "options/sheet_lookup.h"

class QPixmap;
class QPrinter;
class QWidget;

namespace velmor {

class CommonDialog;

// Shows the printer dialog of `dialog` (parented to `dialogParent`) for
// `printer`; after OK reads the marker and prints that sheet, creating it
// first if it does not exist. Cancel, a missing or non-numeric marker,
// another number, or a print failure end the command silently. Returns true
// when a page was printed.
bool printCurrentSheet(QWidget* dialogParent, CommonDialog& dialog, QPrinter& printer,
                       const SheetLookup& sheets);

// Prints `image` on one page of `printer`: the orientation that fits it
// best, scaled to the page's printable area keeping its proportions, centred
// across the page. Returns false when the printer cannot be started.
bool printImageOnOnePage(const QPixmap& image, QPrinter& printer);

// The image of `window` with all its controls, as it shows on the screen.
QPixmap windowImage(QWidget* window);

} // namespace velmor
