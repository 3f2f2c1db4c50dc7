#include "app/wiring.h"

#include "sheets/sheet_host.h"
#include "shell/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QPushButton>

namespace velmor::app {

namespace {

// Stands between the user's ways of quitting and the end of the program:
// the pending edits are written first, and a failed write lets the user
// choose to stay.
class QuitGuard : public QObject {
public:
    QuitGuard(MainWindow& window, SheetHost& host) : QObject(&window), window_(window), host_(host)
    {
        window.installEventFilter(this);
    }

    void quit()
    {
        if (confirm())
            window_.quitProgram();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Close && !confirm()) {
            event->ignore();
            return true; // the program stays, with the edit
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool confirm()
    {
        if (!confirmed_)
            confirmed_ = host_.saveAllBeforeQuit();
        return confirmed_;
    }

    MainWindow& window_;
    SheetHost& host_;
    bool confirmed_ = false;
};

} // namespace

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

    // "Quitter" (button and menu) goes through the guard.
    auto* guard = new QuitGuard(window, *host);
    QObject::disconnect(window.quitter, &QPushButton::clicked, &window, &MainWindow::quitProgram);
    QObject::disconnect(window.quittersur, &QAction::triggered, &window, &MainWindow::quitProgram);
    QObject::connect(window.quitter, &QPushButton::clicked, guard, [guard] { guard->quit(); });
    QObject::connect(window.quittersur, &QAction::triggered, guard, [guard] { guard->quit(); });
    return host;
}

void setUpMainWindow(MainWindow& window)
{
    // "Quitter" and "Ouvrir une Base" are the main window's own.
    connectSheets(window);
}

} // namespace velmor::app
