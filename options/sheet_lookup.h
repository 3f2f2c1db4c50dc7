// How the options window and "Imprimer" reach the two record sheets: a
// function that returns the sheet if it exists, or creates it (hidden, not
// loaded) when asked to. The application binds it to the main window's
// SheetHost; tests give stand-in sheets.
#pragma once

#include "sheets/sheet_host.h"

#include <QString>
#include <functional>
#include <optional>

namespace velmor {

class RecordSheet;

using SheetLookup = std::function<RecordSheet*(SheetHost::Sheet which, bool create)>;

// The sheets of `host` (which must outlive the returned function).
SheetLookup sheetLookup(SheetHost& host);

// Reads the current-sheet marker from the settings store (no default):
// 0 names the return sheet, 1 the loan sheet. A missing marker, a text that
// is not a number, or any other number gives nothing.
std::optional<SheetHost::Sheet> currentSheetMarker();

} // namespace velmor
