#include "sheets/pretmat.h"

#include "sheets/date_check.h"

namespace velmor {

const SheetDesign& loanSheetDesign()
{
    static const SheetDesign design{
        .objectName = "Pretmat",
        .windowTitle = QStringLiteral("Pret"),
        .toolbarCaption = QStringLiteral("Prêt"),
        .designSize = QSize(770, 501), // 11550 by 7515 twips
        .source = {.connect = QStringLiteral("Access"),
                   .recordSource = QStringLiteral("tablep"),
                   .caption = QStringLiteral("velmor pret"),
                   .toolTip = QString(),
                   .visible = false},
        .titleName = "Label3",
        .titleText = QStringLiteral("PRET MATERIEL"),
        .titleColour = QColor(192, 255, 192), // pale green
        .titleFlag = "nomfeuillepret",
        .authorName = "utilp",
        .authorColumn = "nomauteurp",
        .authorAlignment = Qt::AlignCenter,
        .labelColour = QColor(0, 255, 0), // green
        .labelAlignment = Qt::AlignHCenter | Qt::AlignVCenter,
        .fields =
            {
                {"emetteur2", QStringLiteral("Emetteur"), "emetteurS2", "emetteurp", 0, 3},
                {"numaccord2", QStringLiteral("N° accord"), "numaccordS2", "naccordp", 0, 3},
                {"dateaccord2", QStringLiteral("Date d'accord"), "dateaccordS2", "dateaccordp", 0, 3,
                 QColor(128, 255, 128)}, // light green
                {"client2", QStringLiteral("Client"), "clientS2", "clientp", 0, 6},
                {"materiel2", QStringLiteral("Materiel"), "materielS2", "materielp", 1, 4},
                {"motif2", QStringLiteral("Motif du prêt"), "motifS2", "motifp", 1, 7},
                {"daterecep2", QStringLiteral("Par qui ?"), "parqiuS2", "parquip", 1, 3},
                {"dateenvoip", QStringLiteral("Date d'envoi"), "dateenvoiS2", "dateenvoip", 1, 3},
                {"Label1", QStringLiteral("Retour du matériel endommagé ?"), "retourmatkcS2",
                 "retourmathsp", 2, 4, QColor(), true},
                {"Label2", QStringLiteral("Date retour matériel HS"), "dateretourhsS2",
                 "dateretourhsp", 2, 3, QColor(), true},
                {"rdz2", QStringLiteral("Rendez-vous pour installation"), "rdzS2", "rdzvp", 2, 5},
            },
        .navigation = {"movefirstP", "movepreviousP", "movenext", "movelastP"},
        .close = "Fermerr",
        // The fields up to "Date d'envoi" with the appointment before it; the
        // moves; the two damaged-equipment fields.
        .tabOrder = {"emetteurS2", "numaccordS2", "dateaccordS2", "clientS2", "materielS2", "motifS2",
                     "parqiuS2", "rdzS2", "dateenvoiS2", "movefirstP", "movepreviousP", "movenext",
                     "movelastP", "retourmatkcS2", "dateretourhsS2"},
        .loadShowsAllRows = false,
        .dateCheck = &datecheck::loanWarningsForTexts,
        .dateBoxes = {"dateaccordS2", "dateenvoiS2", "dateretourhsS2"},
        .table = "tablep",
        .clientColumn = "clientp",
        .outstandingColumn = "dateenvoip",
    };
    return design;
}

} // namespace velmor
