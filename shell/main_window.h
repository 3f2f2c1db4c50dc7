// The main window `parent`: a multiple-document frame with the toolbar of
// nine command buttons, the menus "Fichier", "option" and "?", and a status
// bar with a fixed text, the date and the time.
//
// The frame carries out only "Quitter" and "Ouvrir une Base" itself. The
// other buttons and menu entries are public so that the layers that own
// their operations connect them.
#pragma once

#include "shell/common_dialog.h"

#include <QMainWindow>
#include <QStatusBar>
#include <functional>

class QAction;
class QLabel;
class QLocale;
class QMdiArea;
class QMenu;
class QPushButton;
class QTimer;

namespace velmor {

// Size conversion used throughout the windows: 15 twips to a pixel.
constexpr int twips(int value) {
    return value / 15;
}

// The status bar `StatusBar1`: the text "Velmor v2.00", the date and the
// time, both kept current by the bar itself. Between the text and the date,
// a note panel appears while there is something to say about the current
// sheet (a read-only database, no row shown) or a wait in progress; the
// wait's text takes the place of the note while it lasts.
class StatusBar1 : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar1(QWidget* parent = nullptr);

    QLabel* textPanel = nullptr;
    QLabel* datePanel = nullptr;
    QLabel* timePanel = nullptr;
    QLabel* notePanel = nullptr;

    // The note about the current sheet, and the text of a wait in progress;
    // empty texts say nothing.
    void setNote(const QString& text);
    void setBusy(const QString& text);

    // Puts the current date and time into their panels.
    void refresh();

    // The locale's short time format without its seconds, if it has any.
    static QString timeFormat(const QLocale& locale);

private:
    void showNote();

    QTimer* clock_ = nullptr;
    QString note_;
    QString busy_;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Why the program is ending.
    enum class QuitReason { Command, CloseBox };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Toolbar `Toolbar1`, left to right.
    QWidget* Toolbar1 = nullptr;
    QPushButton* quitter = nullptr;  // "Quitter"
    QPushButton* Command2 = nullptr; // "Prêt"
    QPushButton* Command3 = nullptr; // "Retour"
    QPushButton* Command4 = nullptr; // "Voir"
    QPushButton* Command1 = nullptr; // "Nouveau"
    QPushButton* Command5 = nullptr; // "Effacer"
    QPushButton* Command6 = nullptr; // "Enregistrer"
    QPushButton* Command7 = nullptr; // "Rechercher"
    QPushButton* Command8 = nullptr; // "En Cours"

    // Menus and their entries.
    QMenu* Fichier = nullptr;
    QAction* ouvrir = nullptr;     // "Ouvrir une Base"
    QAction* serveur = nullptr;    // "Se connecter à un serveur…"
    QAction* compacter = nullptr;  // "Compacter la base"
    QAction* Imprimer = nullptr;   // "Imprimer"
    QAction* quittersur = nullptr; // "Quitter"
    QMenu* option2 = nullptr;
    QAction* option = nullptr; // "option"
    QMenu* apropos = nullptr;
    QAction* commentaire = nullptr; // "à propos de"

    // The document area where the sheets open.
    QMdiArea* mdiArea = nullptr;
    StatusBar1* statusBar1 = nullptr;

    // The window's file and printer dialog, shared by "Ouvrir une Base" and
    // "Imprimer".
    CommonDialog CommonDialog1;

    // The nine buttons in toolbar order.
    QList<QPushButton*> toolbarButtons() const;

    // Runs just before the program ends, by "Quitter" or by the close box
    // (the sheets use it for whatever must happen to a pending edit).
    void setBeforeQuit(std::function<void(QuitReason)> hook) { beforeQuit_ = std::move(hook); }

public slots:
    // "Quitter" (button and menu): ends the program at once.
    void quitProgram();
    // "Ouvrir une Base": lets the user pick the database file and stores its
    // path as `cheminbase`; a server chosen before is no longer used.
    void openDatabase();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    void buildMenus();
    void endProgram(QuitReason reason);

    std::function<void(QuitReason)> beforeQuit_;
    bool ending_ = false;
};

// Where "Ouvrir une Base" starts the first time in a run: the stored
// database (in its folder) when its folder exists, else the home folder
// (a path ending in "/").
QString databaseDialogStart();

// The filter of "Ouvrir une Base", as the file dialog object receives it.
QString databaseFileFilter();

} // namespace velmor
