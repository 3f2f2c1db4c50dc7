// The return sheet `retour` ("Retour"): one row of the return table
// `velmor2001` at a time, with the date-order check of the agreement,
// reception and return-to-client dates before every move.
#pragma once

#include "sheets/record_sheet.h"

namespace velmor {

const SheetDesign& returnSheetDesign();

class retour : public RecordSheet {
    Q_OBJECT
public:
    explicit retour(QWidget* parent = nullptr) : RecordSheet(returnSheetDesign(), parent) {}
};

} // namespace velmor
