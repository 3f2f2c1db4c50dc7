#include "sheets/sheet_host.h"

#include "sheets/lock_wait_ui.h"
#include "sheets/position_text.h"
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "shell/dialogs.h"
#include "shell/paths.h"
#include "shell/settings.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace velmor {

namespace {

const QString optionApp = QStringLiteral("option");
const QString markerApp = QStringLiteral("pageencours");
const QString markerSection = QStringLiteral("pgcours");
const QString markerKey = QStringLiteral("page");

int index(SheetHost::Sheet which)
{
    return which == SheetHost::Sheet::Loan ? 1 : 0;
}

QString readOption(const QString& key, const QString& defaultValue = QString())
{
    return settings::read(optionApp, optionApp, key, defaultValue);
}

// A flag read as a number; a text that is not a number has no value and
// counts as 0.
float readFlag(const QString& key)
{
    return settings::toNumber(readOption(key, settings::fromInt(1))).value_or(0.0f);
}

// Runs one step of an operation that tolerates failures: a step that fails
// is abandoned without a word and the next one runs.
template <typename Step>
void tolerate(Step step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

// The user gave up waiting for another program: the wait's box said what
// became of the edits, nothing more is said.
bool gaveUpWaiting(const std::exception& error)
{
    const auto* failure = dynamic_cast<const RecordSourceError*>(&error);
    return failure && failure->code() == RecordSourceError::Code::Busy;
}

QString reasonOf(const std::exception& error)
{
    if (const auto* failure = dynamic_cast<const RecordSourceError*>(&error))
        return failure->message();
    return QString::fromUtf8(error.what());
}

// Watches the frame's close box; shared by the quit commands.
class QuitGuard : public QObject {
public:
    QuitGuard(QWidget* frame, SheetHost* host) : QObject(frame), frame_(frame), host_(host)
    {
        frame->installEventFilter(this);
    }

    bool confirm()
    {
        if (!confirmed_ && host_)
            confirmed_ = host_->saveAllBeforeQuit();
        return confirmed_ || !host_;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == frame_ && event->type() == QEvent::Close && !confirm()) {
            event->ignore();
            return true; // the program stays, with the edit
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* frame_;
    QPointer<SheetHost> host_;
    bool confirmed_ = false;
};

} // namespace

SheetHost::SheetHost(QMdiArea* area, QObject* parent) : QObject(parent), area_(area)
{
    waits_ = new LockWaitUi([this] { return area_ ? area_->window() : nullptr; }, this);
    connect(waits_, &LockWaitUi::busyTextChanged, this, &SheetHost::busyTextChanged);
}

QString SheetHost::busyText() const
{
    return waits_->busyText();
}

QString SheetHost::readOnlyNotice(const QString& path, const QString& reason)
{
    // The file is named once: by the reason when it names it already.
    const QString shown = QDir::toNativeSeparators(path);
    const bool named = reason.contains(path) || reason.contains(shown)
                       || reason.contains(QFileInfo(path).fileName());
    return QStringLiteral("Cette base de données est ouverte en lecture seule : vous pouvez consulter "
                          "les fiches, mais pas les modifier.\n\n%1Raison : %2\n\n"
                          "Les champs n'acceptent pas la saisie, et « Nouveau », « Effacer » et "
                          "« Enregistrer » sont désactivés pour cette base.")
        .arg(named ? QString() : QStringLiteral("Fichier : %1\n").arg(shown), reason);
}

RecordSheet* SheetHost::markedSheet() const
{
    const float marker =
        settings::toNumber(settings::read(markerApp, markerSection, markerKey)).value_or(0.0f);
    if (marker == 0.0f)
        return sheets_[0];
    if (marker == 1.0f)
        return sheets_[1];
    return nullptr;
}

QString SheetHost::statusNote() const
{
    RecordSheet* current = markedSheet();
    if (!current)
        return QString();
    QStringList parts;
    const BaseR& source = current->recordSource();
    const QString& found = found_[current == sheets_[1] ? 1 : 0];
    const bool adding = source.state() == BaseR::State::Adding;
    // An empty result is said once, by what the command found.
    if (source.isOpen() && (adding || source.RecordCount() > 0 || found.isEmpty()))
        parts << positiontext::position(adding, source.AbsolutePosition(), source.RecordCount());
    parts << found << current->statusNote();
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" — "));
}

bool SheetHost::writeCommandsEnabled() const
{
    RecordSheet* current = markedSheet();
    return !current || current->writable();
}

void SheetHost::showReadOnlyNotices(RecordSheet* sheet)
{
    const auto due = std::exchange(dueNotices_, {});
    for (const auto& [path, reason] : due)
        dialogs().message(dialogParent(sheet), readOnlyNotice(path, reason), applicationTitle());
}

bool SheetHost::refuseReadOnly(RecordSheet* sheet, const QString& command)
{
    if (sheet->writable())
        return false;
    reportCommandFailure(sheet, QStringLiteral("« %1 » est impossible : la base de données est ouverte en lecture seule.")
                                    .arg(command),
                         sheet->recordSource().readOnlyReason());
    return true;
}

QString SheetHost::deleteQuestion()
{
    return QStringLiteral("Etes-vous sûr de vouloir effacer cette donnée?");
}

QString SheetHost::deleteTitle()
{
    return QStringLiteral("Confirmation de la suppression d'un donnée");
}

QString SheetHost::searchPrompt()
{
    return QStringLiteral("Tapez le nom du client");
}

RecordSheet* SheetHost::sheet(Sheet which, bool create)
{
    const int i = index(which);
    if (sheets_[i] || !create)
        return sheets_[i];

    RecordSheet* created = nullptr;
    if (which == Sheet::Loan)
        created = new Pretmat;
    else
        created = new retour;
    QMdiSubWindow* window = area_->addSubWindow(created);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(created->objectName() + QStringLiteral("Fenetre"));
    window->hide(); // shown by "Prêt" / "Retour" only
    sheets_[i] = created;
    windows_[i] = window;
    // The close box discards the sheet: forget it at once, so that the next
    // use creates it anew even before the deferred deletion has run.
    connect(created, &RecordSheet::discarded, this, [this, i, created] {
        if (sheets_[i] == created) {
            sheets_[i] = nullptr;
            windows_[i] = nullptr;
            emit statusChanged();
        }
    });
    // The position in the status bar follows every move.
    connect(&created->recordSource(), &BaseR::currentChanged, this, [this, created] {
        if (markedSheet() == created)
            emit statusChanged();
    });
    connect(created, &RecordSheet::discarded, this, [this, i] { found_[i].clear(); });
    connect(created, &RecordSheet::statusChanged, this, [this, created] {
        if (markedSheet() != created)
            return;
        waits_->dismiss();
        emit statusChanged();
    });
    // Once per file for the whole run, shown when the command that opened
    // it has shown the sheet.
    connect(created, &RecordSheet::openedReadOnly, this, [this](const QString& path, const QString& reason) {
        const QString key = QFileInfo(path).absoluteFilePath();
        if (noticedFiles_.contains(key))
            return;
        noticedFiles_.insert(key);
        dueNotices_.emplace_back(path, reason);
    });
    return created;
}

void SheetHost::open(Sheet which)
{
    if (LockWaitUi::inProgress())
        return; // a command that reached us during a wait is not run afterwards

    const Sheet other = which == Sheet::Loan ? Sheet::Return : Sheet::Loan;

    // 1. The marker, outside the failure tolerance.
    settings::save(markerApp, markerSection, markerKey,
                   settings::fromInt(which == Sheet::Loan ? 1 : 0));

    // 3. The database path (or the server's address). Both tables live in
    // the one database, so "Prêt" falls back on the same one as "Retour".
    QString path;
    tolerate([&] { path = paths::databaseInUse(); });

    // 4. Hand it to the record source, creating the sheet if need be.
    RecordSheet* target = nullptr;
    tolerate([&] {
        target = sheet(which, true);
        target->recordSource().setDatabaseName(path);
    });
    if (!target)
        return; // nothing left to act on

    // 5. The load step, once per life of the sheet.
    tolerate([&] {
        if (!target->isLoaded())
            target->load();
    });

    // 6. Hide the other sheet if it exists (never created for this).
    tolerate([&] {
        if (RecordSheet* shown = sheet(other, false))
            shown->hideSheet();
    });

    // 7. The background picture's visibility.
    tolerate([&] {
        const float flag = readFlag(QStringLiteral("optionimage"));
        if (flag == 1.0f)
            target->backgroundImage()->setVisible(true);
        if (flag == 0.0f)
            target->backgroundImage()->setVisible(false);
    });

    // 8. The title label's visibility.
    tolerate([&] {
        const float flag = readFlag(QString::fromLatin1(target->design().titleFlag));
        if (flag == 1.0f)
            target->titleLabel()->setVisible(true);
        if (flag == 0.0f)
            target->titleLabel()->setVisible(false);
    });

    // 9. The picture, loaded whether it is shown or not.
    tolerate([&] {
        target->loadPicture(readOption(QStringLiteral("cheminimage"), paths::defaultSheetImage()));
    });

    // 10. Show the sheet in front.
    tolerate([&] {
        QMdiSubWindow* window = target->subWindow();
        if (!window)
            return;
        window->showMaximized();
        window->raise();
        area_->setActiveSubWindow(window);
        target->focusOnFirstShowing();
    });

    showReadOnlyNotices(target);
    emit statusChanged();
}

template <typename Steps>
void SheetHost::forMarkedSheet(Steps steps)
{
    if (LockWaitUi::inProgress())
        return;
    const QString text = settings::read(markerApp, markerSection, markerKey);
    const float marker = settings::toNumber(text).value_or(0.0f);
    // Two separate tests on the same number: any other number does nothing.
    if (marker == 0.0f) {
        RecordSheet* target = nullptr;
        tolerate([&] { target = sheet(Sheet::Return, true); });
        if (target)
            steps(target);
    }
    if (marker == 1.0f) {
        RecordSheet* target = nullptr;
        tolerate([&] { target = sheet(Sheet::Loan, true); });
        if (target)
            steps(target);
    }
}

QWidget* SheetHost::dialogParent(RecordSheet* sheet) const
{
    if (sheet && sheet->isVisible())
        return sheet;
    return area_ ? area_->window() : nullptr;
}

void SheetHost::reportCommandFailure(RecordSheet* sheet, const QString& what, const QString& reason)
{
    QString text = what + QStringLiteral("\n\n") + reason;
    if (!sheet->recordSource().isOpen()) {
        text += QStringLiteral("\n\nAucune base de données n'est ouverte dans cette feuille : "
                               "ouvrez-la d'abord avec le bouton « %1 ».")
                    .arg(sheet->toolbarCaption());
    }
    dialogs().message(dialogParent(sheet), text, applicationTitle());
}

void SheetHost::setSourceAndRefresh(RecordSheet* target, const QString& rowSource)
{
    // The rows are about to be rebuilt: the edit of the row shown is written
    // first. When it cannot be, the user is told (as by the navigation
    // buttons), the edit stays in the fields and the command ends here,
    // rather than leave the old rows up as if it had run.
    if (!target->writePendingEdit())
        return;
    tolerate([&] { target->recordSource().setRecordSource(rowSource); });
    tolerate([&] { target->recordSource().Refresh(); });
    showReadOnlyNotices(target);
}

void SheetHost::showAll()
{
    forMarkedSheet([this](RecordSheet* target) {
        setSourceAndRefresh(target, target->design().allRows());
        found_[target == sheets_[1] ? 1 : 0].clear();
        emit statusChanged();
    });
}

void SheetHost::addNew()
{
    forMarkedSheet([this](RecordSheet* target) {
        if (refuseReadOnly(target, QStringLiteral("Nouveau")))
            return;
        try {
            target->recordSource().AddNew();
        } catch (const std::exception& error) {
            // The row shown keeps what the user typed, and its author stays.
            if (gaveUpWaiting(error))
                return;
            reportCommandFailure(target,
                                 QStringLiteral("Impossible de commencer un nouvel enregistrement."),
                                 reasonOf(error));
            return;
        }
        tolerate([&] { target->setAuthor(readOption(QStringLiteral("util"))); });
    });
}

void SheetHost::deleteCurrent()
{
    forMarkedSheet([this](RecordSheet* target) {
        if (refuseReadOnly(target, QStringLiteral("Effacer")))
            return;
        if (!dialogs().askYesNo(dialogParent(target), deleteQuestion(), deleteTitle(), true))
            return;
        try {
            target->recordSource().Delete();
        } catch (const RecordSourceError& error) {
            if (error.code() == RecordSourceError::Code::Busy)
                return;
            if (error.code() != RecordSourceError::Code::NoCurrentRow) {
                reportCommandFailure(target,
                                     QStringLiteral("L'enregistrement n'a pas été effacé."),
                                     error.message());
                return;
            }
            // No row to delete (past the end, an empty result): nothing to
            // tell, and the command goes on with its next step, which brings
            // the last row back when there is one.
        } catch (const std::exception& error) {
            reportCommandFailure(target, QStringLiteral("L'enregistrement n'a pas été effacé."),
                                 reasonOf(error));
            return;
        }
        tolerate([&] { target->recordSource().MovePrevious(); });
    });
}

void SheetHost::save()
{
    forMarkedSheet([this](RecordSheet* target) {
        if (refuseReadOnly(target, QStringLiteral("Enregistrer")))
            return;
        BaseR& source = target->recordSource();
        try {
            source.UpdateRecord();
        } catch (const std::exception& error) {
            // The fields keep what was typed: no move to another row.
            if (gaveUpWaiting(error))
                return;
            reportCommandFailure(target,
                                 QStringLiteral("L'enregistrement n'a pas été écrit dans la base ; "
                                                "vos saisies restent dans la feuille."),
                                 reasonOf(error));
            return;
        }
        tolerate([&] { source.setBookmark(source.LastModified()); });
    });
}

void SheetHost::search()
{
    forMarkedSheet([this](RecordSheet* target) {
        const std::optional<QString> typed =
            dialogs().input(dialogParent(target), searchPrompt(), applicationTitle(), QString());
        if (!typed)
            return; // Cancel: the row source stays as it was
        setSourceAndRefresh(target, target->design().rowsOfClient(*typed));
        tellFound(target, positiontext::foundForClient(target->recordSource().RecordCount(), *typed));
    });
}

void SheetHost::outstanding()
{
    forMarkedSheet([this](RecordSheet* target) {
        setSourceAndRefresh(target, target->design().outstandingRows());
        tellFound(target, positiontext::foundOutstanding(target->recordSource().RecordCount()));
    });
}

void SheetHost::tellFound(RecordSheet* target, const QString& text)
{
    // Said only when the command's rows are shown (not when it stopped on
    // a pending edit that could not be written).
    found_[target == sheets_[1] ? 1 : 0] = target->recordSource().isOpen() ? text : QString();
    emit statusChanged();
}

std::function<void()> SheetHost::guardQuit(QWidget* frame, std::function<void()> quit)
{
    QPointer<QuitGuard> guard = new QuitGuard(frame, this);
    return [guard, quit = std::move(quit)] {
        if (LockWaitUi::inProgress())
            return;
        if (guard && guard->confirm() && quit)
            quit();
    };
}

bool SheetHost::saveAllBeforeQuit()
{
    for (QPointer<RecordSheet>& entry : sheets_) {
        RecordSheet* open = entry;
        if (!open)
            continue;
        BaseR& source = open->recordSource();
        QString reason;
        try {
            if (!source.hasPendingEdits())
                continue;
            source.savePending();
            continue;
        } catch (const std::exception& error) {
            reason = reasonOf(error);
        }
        const bool quitAnyway = dialogs().askYesNo(
            dialogParent(open),
            QStringLiteral("Les saisies de la feuille « %1 » n'ont pas pu être écrites dans la base :\n"
                           "%2\n\nQuitter quand même ? Ces saisies seront perdues.")
                .arg(open->windowTitle(), reason),
            applicationTitle(), false);
        if (!quitAnyway)
            return false;
    }
    for (QPointer<RecordSheet>& entry : sheets_)
        if (entry)
            entry->setQuitting(true);
    return true;
}

} // namespace velmor
