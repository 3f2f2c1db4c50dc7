#include "sheets/retour.h"

#include "sheets/date_check.h"

namespace velmor {

const SheetDesign& returnSheetDesign()
{
    const QColor yellow(255, 255, 0);
    static const SheetDesign design{
        .objectName = "retour",
        .windowTitle = QStringLiteral("Retour"),
        .toolbarCaption = QStringLiteral("Retour"),
        .designSize = QSize(771, 492), // 11565 by 7380 twips
        .source = {.connect = QStringLiteral("Access"),
                   .recordSource = QStringLiteral("velmor2001"),
                   .caption = QStringLiteral("Velmor Retour"),
                   .toolTip = QStringLiteral("Base de donnée en cours"),
                   .visible = false},
        .titleName = "Label1",
        .titleText = QStringLiteral("RETOUR MATERIEL"),
        .titleColour = QColor(255, 255, 192), // pale yellow
        .titleFlag = "nomfeuilleretour",
        .authorName = "utilisateur",
        .authorColumn = "nomauteur",
        .authorAlignment = Qt::AlignRight | Qt::AlignVCenter,
        .labelColour = yellow,
        .labelAlignment = Qt::AlignLeft | Qt::AlignVCenter,
        .fields =
            {
                {"emetteur1", QStringLiteral("Emetteur"), "emetteurS2", "emetteur", 0, 3},
                {"accord1", QStringLiteral("N° Accord"), "accordS1", "naccord", 0, 3},
                {"dataacc1", QStringLiteral("Date accord"), "dateaccordS1", "dateaccord", 0, 3},
                {"client1", QStringLiteral("Client"), "clientS1", "client", 0, 6},
                {"materiel1", QStringLiteral("Matériel"), "materielS1", "materiel", 1, 4},
                {"motif1", QStringLiteral("Motif de retour"), "motifretour1", "motif", 1, 7},
                {"date1", QStringLiteral("Date de réception"), "datereceptionS1", "daterecp", 1, 3},
                {"parqui1", QStringLiteral("Par qui ?"), "parquiS1", "parquirecep", 1, 3},
                {"dateretour1", QStringLiteral("Date de retour client"), "dateretourS1",
                 "dateretourclient", 2, 3},
                {"reparation1", QStringLiteral("Interventions effectuées"), "reparationS1",
                 "intervention", 2, 11},
                {"intervqui1", QStringLiteral("Par qui ?"), "intervquiS1", "parquiinterv", 2, 3},
            },
        .navigation = {"movefirst", "moveback", "moveforward", "movelast"},
        .close = "Fermer",
        // The text boxes row by row, then the moves.
        .tabOrder = {"emetteurS2", "accordS1", "dateaccordS1", "clientS1", "materielS1",
                     "motifretour1", "datereceptionS1", "parquiS1", "dateretourS1", "reparationS1",
                     "intervquiS1", "movefirst", "moveback", "moveforward", "movelast"},
        .loadShowsAllRows = true,
        .dateCheck = &datecheck::returnWarningsForTexts,
        .dateBoxes = {"dateaccordS1", "datereceptionS1", "dateretourS1"},
        .table = "velmor2001",
        .clientColumn = "client",
        .outstandingColumn = "dateretourclient",
    };
    return design;
}

} // namespace velmor
