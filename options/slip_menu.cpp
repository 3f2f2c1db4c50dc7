#include "options/slip_menu.h"

#include "options/record_slip.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace velmor {

void addSlipEntries(QWidget* mainWindow, QMenu* fichier, QAction* imprimer, QPrinter& printer,
                    SheetLookup sheets) {
    const QList<QAction*> entries = fichier->actions();
    const qsizetype at = entries.indexOf(imprimer);
    QAction* before = at >= 0 && at + 1 < entries.size() ? entries.at(at + 1) : nullptr;

    auto* print = new QAction(QStringLiteral("Imprimer la fiche…"), fichier);
    print->setObjectName(QStringLiteral("imprimerfiche"));
    auto* pdf = new QAction(QStringLiteral("Exporter la fiche en PDF…"), fichier);
    pdf->setObjectName(QStringLiteral("exporterfiche"));
    fichier->insertAction(before, print);
    fichier->insertAction(before, pdf);

    QPointer<QWidget> parent(mainWindow);
    QObject::connect(print, &QAction::triggered, fichier, [parent, &printer, sheets] {
        printCurrentSlip(parent, printer, sheets);
    });
    QObject::connect(pdf, &QAction::triggered, fichier, [parent, sheets] {
        exportCurrentSlip(parent, sheets);
    });
}

} // namespace velmor
