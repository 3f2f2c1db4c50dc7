// Owns the two record sheets inside the main window's document area: creates
// each on first use, forgets it when its close box discards it, and runs the
// "Prêt" / "Retour" switching and the record commands.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace velmor {

class LockWaitUi;
class RecordSheet;

class SheetHost : public QObject {
    Q_OBJECT
public:
    enum class Sheet { Return = 0, Loan = 1 };

    explicit SheetHost(QMdiArea* area, QObject* parent = nullptr);

    // The sheet if it exists (nullptr otherwise), or created (hidden, not
    // loaded) when `create` is true.
    RecordSheet* sheet(Sheet which, bool create);

    // Sheet switching ("Prêt" = Loan, "Retour" = Return).
    void open(Sheet which);

    // The record commands of the toolbar, acting on the sheet the marker names.
    void showAll();       // "Voir"
    void addNew();        // "Nouveau"
    void deleteCurrent(); // "Effacer"
    void save();          // "Enregistrer"
    void search();        // "Rechercher"
    void outstanding();   // "En Cours"

    // "Compacter la base": asks first (compactQuestion), writes the pending
    // edit of each open sheet (a failure ends the command with a message),
    // closes the sheets and with them the database, compacts the file with
    // a busy cursor and the progress in the status bar, opens again the
    // sheets that were open (the marked one in front) and says the sizes
    // before and after (or why the file could not be compacted: another
    // program has it open, and so on).
    void compactDatabase();
    static QString compactQuestion(const QString& path);
    static QString compactTitle();

    // Before quitting: writes the pending edit of each open sheet. Returns
    // false when the user chose to stay (a write failed and was not overridden).
    bool saveAllBeforeQuit();

    // Puts saveAllBeforeQuit() in front of the ways of quitting: the close
    // box of `frame` is refused, and the returned function does not call
    // `quit`, when the user chose to stay. Once the user agreed, neither
    // asks again.
    std::function<void()> guardQuit(QWidget* frame, std::function<void()> quit);

    // The texts of the confirmation and of the prompt, as shown.
    static QString deleteQuestion();
    static QString deleteTitle();
    static QString searchPrompt();
    // The notice shown once per file that opens read-only.
    static QString readOnlyNotice(const QString& path, const QString& reason);

    // What the status bar says about the sheet the marker names: its
    // position ("Fiche 3 sur 8"), what the last "Rechercher" or "En Cours"
    // found, and any note of the sheet (empty when there is nothing to
    // say); and whether "Nouveau", "Effacer" and
    // "Enregistrer" can act on it.
    QString statusNote() const;
    bool writeCommandsEnabled() const;

    // Waits for another program's lock on the database file (busy cursor,
    // status text, "Réessayer" / "Annuler" box).
    LockWaitUi& lockWaits() { return *waits_; }
    QString busyText() const;

signals:
    // statusNote() or writeCommandsEnabled() may have changed.
    void statusChanged();
    // The status text of a wait in progress (empty when there is none).
    void busyTextChanged(const QString& text);

private:
    // Runs `returnSteps` or `loanSteps` (or neither) as the marker says.
    template <typename Steps>
    void forMarkedSheet(Steps steps);
    // "Voir", "Rechercher", "En Cours": writes the pending edit (ends the
    // command with the sheet's message when it cannot), then sets the row
    // source and refreshes, each step tolerating its failure.
    void setSourceAndRefresh(RecordSheet* sheet, const QString& rowSource);
    QWidget* dialogParent(RecordSheet* sheet) const;
    void reportCommandFailure(RecordSheet* sheet, const QString& what, const QString& reason);
    // "Nouveau", "Effacer", "Enregistrer" on a sheet whose database is
    // read-only: says so and returns true.
    bool refuseReadOnly(RecordSheet* sheet, const QString& command);
    RecordSheet* markedSheet() const;
    // Keeps what "Rechercher" or "En Cours" found for the status bar.
    void tellFound(RecordSheet* target, const QString& text);
    // The read-only notices due since the last call, once per file.
    void showReadOnlyNotices(RecordSheet* sheet);

    QMdiArea* area_ = nullptr;
    QPointer<RecordSheet> sheets_[2];
    QPointer<QMdiSubWindow> windows_[2];
    LockWaitUi* waits_ = nullptr;
    QSet<QString> noticedFiles_;
    QString found_[2];
    std::vector<std::pair<QString, QString>> dueNotices_; // path, reason
};

} // namespace velmor
