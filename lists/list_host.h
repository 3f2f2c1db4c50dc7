// Puts the list windows into the main window: the toolbar button "Liste"
// (after "En Cours") and the menu "Listes" with "Liste des fiches" and
// "Historique du client". Lists and histories open as windows of the
// document area, beside the sheets; opening one of their rows shows it in
// its sheet.
//
// Once the main window shows, a reminder in the status bar counts the
// outstanding rows older than the threshold ("3 prêts en cours depuis plus
// de 30 jours"); clicking it opens the list on them.
#pragma once

#include "jet/recordset.h"
#include "lists/list_design.h"

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
    // The status bar's reminder (hidden when there is nothing to remind).
    QPushButton* reminder() const { return reminder_; }

    // Counts the outstanding rows older than the threshold in the database
    // the settings name and shows the reminder (nothing is said when the
    // file cannot be read). Runs once by itself after the window shows.
    void remindOverdue();
    static QString reminderText(long loans, long returns, int days);

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
    QPushButton* reminder_ = nullptr;
    SheetHost::Sheet reminded_ = SheetHost::Sheet::Loan;
};

} // namespace velmor
