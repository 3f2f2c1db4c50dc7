// Every modal dialog the application shows goes through this interface, so
// that tests can answer them without a screen. The application installs
// NativeDialogs; tests install a scripted implementation.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QPrinter;
class QWidget;

namespace velmor {

// What "Se connecter à un serveur…" asks for: a PostgreSQL server, the
// database on it, the user and password, and whether to remember the password.
struct ServerLogin {
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;
    bool rememberPassword = false;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with the single button OK and no icon.
    virtual void message(QWidget* parent, const QString& text, const QString& caption) = 0;

    // A Yes/No message box without icon; returns true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& caption,
                          bool yesIsDefault) = 0;

    // A message box without icon with buttons of the given captions, left
    // to right; returns the index of the button pressed. `defaultButton` is
    // the one Enter presses; closing the box (Escape, its close button)
    // answers `escapeButton`.
    virtual int choose(QWidget* parent, const QString& text, const QString& caption,
                       const QStringList& buttons, int defaultButton, int escapeButton) = 0;

    // A box with the buttons "Réessayer" (the default) and "Annuler"; returns
    // true for "Réessayer".
    virtual bool askRetry(QWidget* parent, const QString& text, const QString& caption) = 0;

    // An input box; returns the typed text, or nothing when cancelled.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& caption, const QString& defaultText) = 0;

    // A password box: an input box whose text is hidden as it is typed.
    // Returns the typed text, or nothing when cancelled. Implementations that
    // show nothing (tests) may answer it as an input box.
    virtual std::optional<QString> password(QWidget* parent, const QString& prompt, const QString& caption)
    {
        return input(parent, prompt, caption, QString());
    }

    // A file-open dialog. `filter` is in Qt's form ("Desc (*.x);;Other (*)"),
    // `selectedFilter` one of its entries, `startPath` the file to start from.
    // Returns the full path of the picked file, or nothing on Cancel.
    virtual std::optional<QString> openFile(QWidget* parent, const QString& caption,
                                            const QString& filter, const QString& selectedFilter,
                                            const QString& startPath) = 0;

    // A file-save dialog that asks before replacing a file. `filter` is in
    // Qt's form, `startPath` the file name it proposes. Returns the full path
    // chosen, or nothing on Cancel.
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& caption,
                                            const QString& filter, const QString& startPath) = 0;

    // The printer dialog; returns false on Cancel. On OK `printer` is set up.
    virtual bool print(QWidget* parent, QPrinter& printer) = 0;

    // The box of "Se connecter à un serveur…", filled with `proposed`;
    // returns what the user confirmed, or nothing on Cancel.
    virtual std::optional<ServerLogin> serverLogin(QWidget* parent, const ServerLogin& proposed) = 0;
};

// The dialogs in use (NativeDialogs unless a test installed others).
Dialogs& dialogs();
// Installs `d` (not owned) as the dialogs in use; nullptr restores the native ones.
void setDialogs(Dialogs* d);

// The application's title, the caption of message boxes that give none.
inline QString applicationTitle() { return QStringLiteral("velmor2"); }

} // namespace velmor
