#include "lists/list_design.h"

#include "sheets/pretmat.h"
#include "sheets/retour.h"

namespace velmor {

const ListDesign& returnListDesign() {
    // A return is outstanding from the day the equipment was received.
    static const ListDesign design{returnSheetDesign(),
                                   SheetHost::Sheet::Return,
                                   QStringLiteral("Retour"),
                                   "daterecp",
                                   "dateaccord",
                                   {"emetteur", "naccord", "client", "materiel", "motif"}};
    return design;
}

const ListDesign& loanListDesign() {
    // A loan is outstanding from the day it was agreed.
    static const ListDesign design{
        loanSheetDesign(),      SheetHost::Sheet::Loan,
        QStringLiteral("Prêt"), "dateaccordp",
        "dateaccordp",          {"emetteurp", "naccordp", "clientp", "materielp", "motifp"}};
    return design;
}

const ListDesign& listDesign(SheetHost::Sheet which) {
    return which == SheetHost::Sheet::Loan ? loanListDesign() : returnListDesign();
}

} // namespace velmor
