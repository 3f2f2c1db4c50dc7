// "Compacter la base" (SheetHost::compactDatabase).
#include "sheets/file_reason.h"
#include "sheets/lock_wait_ui.h"
#include "sheets/record_sheet.h"
#include "sheets/record_source.h"
#include "sheets/sheet_host.h"
#include "server/server_address.h"
#include "shell/dialogs.h"
#include "shell/paths.h"

#include "jet/compact.h"
#include "jet/status.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace velmor {

namespace {

QString kilobytes(uint64_t bytes)
{
    return QLocale(QLocale::French, QLocale::France).toString(qulonglong((bytes + 1023) / 1024)) +
           QStringLiteral(" Ko");
}

// The busy cursor for as long as it lives.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

QString SheetHost::compactTitle()
{
    return QStringLiteral("Compacter la base");
}

QString SheetHost::compactQuestion(const QString& path)
{
    return QStringLiteral("Compacter la base %1 ?\n\nLes fiches seront fermées le temps du compactage, puis "
                          "rouvertes. Aucun autre poste ne doit avoir la base ouverte.")
        .arg(QDir::toNativeSeparators(path));
}

void SheetHost::compactDatabase()
{
    if (LockWaitUi::inProgress())
        return;
    QWidget* parent = area_ ? area_->window() : nullptr;
    const QString path = paths::databaseInUse();
    if (server::isServerAddress(path)) {
        dialogs().message(parent,
                          QStringLiteral("La base est sur le serveur %1 : le serveur gère lui-même sa place, "
                                         "il n'y a rien à compacter sur ce poste.")
                              .arg(path),
                          compactTitle());
        return;
    }
    if (!dialogs().askYesNo(parent, compactQuestion(path), compactTitle(), false))
        return;

    // What was typed is written first; the sheets then close, and their
    // database with them (the file must be open nowhere to be compacted).
    bool wasOpen[2] = {false, false};
    RecordSheet* marked = markedSheet();
    Sheet front = marked == sheets_[1] ? Sheet::Loan : Sheet::Return;
    for (int i = 0; i < 2; ++i) {
        RecordSheet* open = sheets_[i];
        if (!open)
            continue;
        try {
            if (open->recordSource().hasPendingEdits())
                open->recordSource().savePending();
        } catch (const std::exception& error) {
            const auto* failure = dynamic_cast<const RecordSourceError*>(&error);
            dialogs().message(parent,
                              QStringLiteral("Compactage annulé : les saisies de la feuille « %1 » n'ont pas pu "
                                             "être écrites dans la base :\n%2")
                                  .arg(open->windowTitle(),
                                       failure ? failure->message() : QString::fromUtf8(error.what())),
                              compactTitle());
            return;
        }
        wasOpen[i] = open->isLoaded();
    }
    for (int i = 0; i < 2; ++i) {
        QWidget* window = windows_[i] ? static_cast<QWidget*>(windows_[i]) : static_cast<QWidget*>(sheets_[i]);
        delete window;
        sheets_[i] = nullptr;
        windows_[i] = nullptr;
    }
    emit statusChanged();

    QString outcome;
    {
        BusyCursor busy;
        emit busyTextChanged(QStringLiteral("Compactage de la base…"));
        try {
            const jet::CompactResult result = jet::compactDatabase(
                QFile::encodeName(path).toStdString(), [this](int done, int total) {
                    emit busyTextChanged(QStringLiteral("Compactage de la base… %1 %")
                                             .arg(total > 0 ? done * 100 / total : 100));
                    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                });
            outcome = QStringLiteral("La base %1 a été compactée.\n\nTaille avant : %2\nTaille après : %3")
                          .arg(QDir::toNativeSeparators(path), kilobytes(result.sizeBefore),
                               kilobytes(result.sizeAfter));
        } catch (const jet::Error& error) {
            outcome = QStringLiteral("La base %1 n'a pas été compactée :\n%2")
                          .arg(QDir::toNativeSeparators(path), withoutPath(QString::fromUtf8(error.what()), path));
        }
        emit busyTextChanged(QString());
    }

    // The sheets that were open come back, the marked one in front.
    const Sheet back = front == Sheet::Loan ? Sheet::Return : Sheet::Loan;
    if (wasOpen[back == Sheet::Loan ? 1 : 0])
        open(back);
    if (wasOpen[front == Sheet::Loan ? 1 : 0])
        open(front);
    dialogs().message(parent, outcome, compactTitle());
}

} // namespace velmor
