// Connects the main window's menu entries "option", "Imprimer" and
// "à propos de" to the options window, printing and the about window.
#pragma once

#include "options/about_window.h"
#include "options/options_window.h"
#include "options/sheet_lookup.h"

#include <QObject>
#include <QPointer>
#include <QPrinter>

class QAction;
class QWidget;

namespace velmor {

class CommonDialog;
class MainWindow;

// What the three menu entries do. Holds the windows they open (each created
// on first use, kept while hidden, created again after its close box
// discarded it) and the printer whose settings the printer dialog keeps
// between uses. Owned by the main window; the top-level windows it opened go
// away with it.
class OptionsMenus : public QObject {
    Q_OBJECT
public:
    // `mainWindow` is the printer dialog's parent and the owner of this
    // object; `commonDialog` its file and printer dialog object;
    // `pretButton`/`retourButton` its toolbar buttons "Prêt" (Command2) and
    // "Retour" (Command3).
    OptionsMenus(QWidget* mainWindow, CommonDialog& commonDialog, QWidget* pretButton,
                 QWidget* retourButton, SheetLookup sheets);
    ~OptionsMenus() override;

    void openOptions(); // "option"
    void print();       // "Imprimer"
    void openAbout();   // "à propos de"

    // The windows as they are now (nullptr before the first use or after
    // their close box discarded them).
    Optionvelmor* optionsWindow() const { return options_; }
    aproposv2* aboutWindow() const { return about_; }
    QPrinter& printer() { return printer_; }

private:
    QPointer<QWidget> mainWindow_;
    CommonDialog& commonDialog_;
    QPointer<QWidget> pretButton_;
    QPointer<QWidget> retourButton_;
    SheetLookup sheets_;
    QPointer<Optionvelmor> options_;
    QPointer<aproposv2> about_;
    QPrinter printer_{QPrinter::HighResolution};
};

// The sheets of `host` (which may go away before the returned function).
SheetLookup sheetLookup(SheetHost& host);

// Creates the OptionsMenus of `mainWindow` and connects the actions to it
// (actions given as nullptr are left alone).
OptionsMenus* installOptions(QWidget* mainWindow, CommonDialog& commonDialog, QAction* option,
                             QAction* imprimer, QAction* commentaire, QWidget* pretButton,
                             QWidget* retourButton, SheetLookup sheets);

// The same for the application's main window and its sheet host, with the
// slip entries of "Fichier" (slip_menu.h).
OptionsMenus* installOptions(MainWindow& mainWindow, SheetHost& sheets);

} // namespace velmor
