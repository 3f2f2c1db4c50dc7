// The loan sheet `Pretmat` ("Pret"): one row of the loan table `tablep` at a
// time, with the date-order check of the send and faulty-return dates
// against the agreement date before every move.
#pragma once

#include "sheets/record_sheet.h"

namespace velmor {

const SheetDesign& loanSheetDesign();

class Pretmat : public RecordSheet {
    Q_OBJECT
public:
    explicit Pretmat(QWidget* parent = nullptr) : RecordSheet(loanSheetDesign(), parent) {}
};

} // namespace velmor
