#include "app/wiring.h"

#include "lists/list_host.h"
#include "options/options_wiring.h"
#include "sheets/server_choice.h"
#include "sheets/sheet_host.h"
#include "shell/main_window.h"

#include <QAction>
#include <QPushButton>

namespace velmor::app {

SheetHost* sheetHost(MainWindow& window)
{
    return window.findChild<SheetHost*>(QString(), Qt::FindDirectChildrenOnly);
}

SheetHost* connectSheets(MainWindow& window)
{
    if (SheetHost* existing = sheetHost(window))
        return existing;
    auto* host = new SheetHost(window.mdiArea, &window);
    using Sheet = SheetHost::Sheet;
    QObject::connect(window.Command2, &QPushButton::clicked, host, [host] { host->open(Sheet::Loan); });
    QObject::connect(window.Command3, &QPushButton::clicked, host, [host] { host->open(Sheet::Return); });
    QObject::connect(window.Command4, &QPushButton::clicked, host, &SheetHost::showAll);
    QObject::connect(window.Command1, &QPushButton::clicked, host, &SheetHost::addNew);
    QObject::connect(window.Command5, &QPushButton::clicked, host, &SheetHost::deleteCurrent);
    QObject::connect(window.Command6, &QPushButton::clicked, host, &SheetHost::save);
    QObject::connect(window.Command7, &QPushButton::clicked, host, &SheetHost::search);
    QObject::connect(window.Command8, &QPushButton::clicked, host, &SheetHost::outstanding);
    QObject::connect(window.compacter, &QAction::triggered, host, &SheetHost::compactDatabase);
    QObject::connect(window.serveur, &QAction::triggered, host, [&window] { chooseServer(&window); });

    // The status bar says what concerns the current sheet (a read-only
    // database, no row shown) and any wait for another desk; the commands
    // that write are disabled while its database is read-only.
    auto showStatus = [&window, host] {
        window.statusBar1->setNote(host->statusNote());
        for (QPushButton* command : {window.Command1, window.Command5, window.Command6})
            command->setEnabled(host->writeCommandsEnabled());
    };
    QObject::connect(host, &SheetHost::statusChanged, &window, showStatus);
    QObject::connect(host, &SheetHost::busyTextChanged, window.statusBar1, &StatusBar1::setBusy);
    showStatus();

    // "Quitter" (button and menu) and the close box write the pending edits
    // first.
    const std::function<void()> quit = host->guardQuit(&window, [&window] { window.quitProgram(); });
    QObject::disconnect(window.quitter, &QPushButton::clicked, &window, &MainWindow::quitProgram);
    QObject::disconnect(window.quittersur, &QAction::triggered, &window, &MainWindow::quitProgram);
    QObject::connect(window.quitter, &QPushButton::clicked, host, quit);
    QObject::connect(window.quittersur, &QAction::triggered, host, quit);
    return host;
}

void setUpMainWindow(MainWindow& window)
{
    // "Quitter" and "Ouvrir une Base" are the main window's own; the record
    // sheets get the toolbar, "Se connecter à un serveur…", the options layer "option", "Imprimer" and
    // "à propos de", the lists "Liste" and the menu "Listes".
    SheetHost* host = connectSheets(window);
    installOptions(window, *host);
    new ListHost(window, *host);
}

} // namespace velmor::app
