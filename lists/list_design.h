// What a list window needs to know about a table beyond its sheet: the
// columns the filter searches, the date the outstanding age counts from and
// the date the client history is ordered by.
#pragma once

#include "sheets/sheet_design.h"
#include "sheets/sheet_host.h"

#include <vector>

namespace velmor {

struct ListDesign {
    const SheetDesign& sheet;
    SheetHost::Sheet which;
    QString kind;                           // "Retour" / "Prêt", said in the client history
    const char* ageFrom;                    // outstanding since this date
    const char* historyDate;                // the client history's order
    std::vector<const char*> searchColumns; // emitter, agreement, client, equipment, reason
};

const ListDesign& returnListDesign();
const ListDesign& loanListDesign();
const ListDesign& listDesign(SheetHost::Sheet which);

} // namespace velmor
