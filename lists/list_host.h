// Puts the list windows into the main window: the toolbar button "Liste"
// (after "En Cours") and the menu "Listes" with "Liste des fiches" and
// "Historique du client". Lists and histories open as windows of the
// document area, beside the sheets; opening one of their rows shows it in
// its sheet.
#pragma once

#include "lists/list_design.h"

#include "jet/recordset.h"

#include <QObject>

class QAction;
class QPushButton;

namespace velmor {

class HistoryWindow;
class ListWindow;
class MainWindow;

class ListHost : public QObject {
    Q_OBJECT
public:
    // Adds the button and the menu to `window`, which owns the host.
    ListHost(MainWindow& window, SheetHost& sheets);

    QPushButton* listButton() const { return listButton_; }
    QAction* listAction() const { return listAction_; }
    QAction* historyAction() const { return historyAction_; }

    // "Liste": the list of the table of the sheet the marker names.
    ListWindow* openList();
    ListWindow* openList(SheetHost::Sheet which);
    // "Historique du client" of `client`; from the menu, of the client the
    // marked sheet shows.
    HistoryWindow* openHistory(const QString& client);
    HistoryWindow* openHistoryOfSheet();

    // Shows the row in its sheet as the current row of the sheet's whole
    // table, the sheet in front; the sheet's pending edits are written
    // first (when they cannot be, the user is told and nothing moves).
    bool openRow(SheetHost::Sheet which, jet::Bookmark bookmark);

private:
    std::shared_ptr<jet::Database> openDatabase();
    void show(QWidget* child);
    void report(const QString& text);

    MainWindow& window_;
    SheetHost& sheets_;
    QPushButton* listButton_ = nullptr;
    QAction* listAction_ = nullptr;
    QAction* historyAction_ = nullptr;
};

} // namespace velmor
