#include "options/options_wiring.h"

#include "options/printing.h"
#include "options/slip_menu.h"
#include "shell/common_dialog.h"
#include "shell/main_window.h"

#include <QAction>
#include <QPushButton>

namespace velmor {

OptionsMenus::OptionsMenus(QWidget* mainWindow, CommonDialog& commonDialog, QWidget* pretButton,
                           QWidget* retourButton, SheetLookup sheets)
    : QObject(mainWindow), mainWindow_(mainWindow), commonDialog_(commonDialog),
      pretButton_(pretButton), retourButton_(retourButton), sheets_(std::move(sheets)) {}

OptionsMenus::~OptionsMenus() {
    delete options_.data();
    delete about_.data();
}

void OptionsMenus::openOptions() {
    if (!options_)
        options_ = new Optionvelmor(pretButton_, retourButton_, sheets_);
    options_->open();
}

void OptionsMenus::print() {
    printCurrentSheet(mainWindow_, commonDialog_, printer_, sheets_);
}

void OptionsMenus::openAbout() {
    aproposv2::showIn(about_);
}

SheetLookup sheetLookup(SheetHost& host) {
    return
        [host = QPointer<SheetHost>(&host)](SheetHost::Sheet which, bool create) -> RecordSheet* {
            return host ? host->sheet(which, create) : nullptr;
        };
}

OptionsMenus* installOptions(QWidget* mainWindow, CommonDialog& commonDialog, QAction* option,
                             QAction* imprimer, QAction* commentaire, QWidget* pretButton,
                             QWidget* retourButton, SheetLookup sheets) {
    auto* menus =
        new OptionsMenus(mainWindow, commonDialog, pretButton, retourButton, std::move(sheets));
    if (option)
        QObject::connect(option, &QAction::triggered, menus, &OptionsMenus::openOptions);
    if (imprimer)
        QObject::connect(imprimer, &QAction::triggered, menus, &OptionsMenus::print);
    if (commentaire)
        QObject::connect(commentaire, &QAction::triggered, menus, &OptionsMenus::openAbout);
    return menus;
}

OptionsMenus* installOptions(MainWindow& mainWindow, SheetHost& sheets) {
    OptionsMenus* menus = installOptions(&mainWindow, mainWindow.CommonDialog1, mainWindow.option,
                                         mainWindow.Imprimer, mainWindow.commentaire,
                                         mainWindow.Command2, mainWindow.Command3, sheetLookup(sheets));
    addSlipEntries(&mainWindow, mainWindow.Fichier, mainWindow.Imprimer, menus->printer(),
                   sheetLookup(sheets));
    return menus;
}

} // namespace velmor
