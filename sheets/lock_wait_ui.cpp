#include "sheets/lock_wait_ui.h"

#include "sheets/engine_path.h"
#include "shell/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

namespace velmor {

namespace {

thread_local int waitsInProgress = 0;

// The user's input, dropped while a wait lasts.
bool isUserInput(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    case QEvent::Close:
        return event->spontaneous(); // the close box, not the program
    default:
        return false;
    }
}

} // namespace

LockWaitUi::LockWaitUi(std::function<QWidget*()> dialogParent, QObject* parent)
    : QObject(parent), dialogParent_(std::move(dialogParent))
{
    previous_ = jet::setLockWaitHandler([this](const jet::LockWait& wait) { return onWait(wait); });
    clearLater_ = new QTimer(this);
    clearLater_->setSingleShot(true);
    clearLater_->setInterval(6000);
    connect(clearLater_, &QTimer::timeout, this, [this] { setBusyText(QString()); });
}

LockWaitUi::~LockWaitUi()
{
    swallowInput(false);
    jet::setLockWaitHandler(std::move(previous_));
}

bool LockWaitUi::inProgress()
{
    return waitsInProgress > 0;
}

void LockWaitUi::dismiss()
{
    if (depth_ == 0) {
        clearLater_->stop();
        setBusyText(QString());
    }
}

QString LockWaitUi::waitingText()
{
    return QStringLiteral("Base occupée par un autre poste…");
}

QString LockWaitUi::gaveUpText()
{
    return QStringLiteral("Base occupée par un autre poste : opération abandonnée, vos saisies restent dans la feuille.");
}

QString LockWaitUi::question(const QString& path, long seconds)
{
    const QString duration = seconds <= 1 ? QStringLiteral("1 seconde") : QStringLiteral("%1 secondes").arg(seconds);
    return QStringLiteral("La base de données « %1 » est occupée par un autre poste depuis %2 : "
                          "il y enregistre des données.\n\n"
                          "Réessayer : attendre encore qu'il ait fini.\n"
                          "Annuler : abandonner pour l'instant ; ce que vous avez saisi reste dans la feuille.")
        .arg(QDir::toNativeSeparators(path), duration);
}

bool LockWaitUi::onWait(const jet::LockWait& wait)
{
    switch (wait.phase) {
    case jet::LockWait::Phase::Begin:
        ++waitsInProgress;
        if (++depth_ > 1)
            return true;
        begin();
        QCoreApplication::processEvents();
        return true;
    case jet::LockWait::Phase::Waiting: {
        // A wait that an event of the outer wait started processes no more
        // events, but the user is asked all the same.
        if (depth_ == 1)
            QCoreApplication::processEvents();
        if (sinceAsked_.elapsed() < askAfterMs_)
            return true;
        // The box gets the user's answer: input goes through while it is up
        // (the other windows are blocked by it).
        swallowInput(false);
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        const bool again = dialogs().askRetry(dialogParent_ ? dialogParent_() : nullptr,
                                              question(fromEnginePath(wait.path), wait.waitedMs / 1000),
                                              applicationTitle());
        QGuiApplication::restoreOverrideCursor();
        swallowInput(true);
        sinceAsked_.restart();
        if (!again)
            gaveUp_ = true;
        return again;
    }
    case jet::LockWait::Phase::End:
        --waitsInProgress;
        if (--depth_ > 0)
            return true;
        end(gaveUp_ && !wait.acquired);
        return true;
    }
    return true;
}

void LockWaitUi::begin()
{
    gaveUp_ = false;
    sinceAsked_.restart();
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    swallowInput(true);
    clearLater_->stop();
    setBusyText(waitingText());
}

void LockWaitUi::end(bool gaveUp)
{
    // What was clicked or typed up to now is dropped too.
    QCoreApplication::processEvents();
    swallowInput(false);
    QGuiApplication::restoreOverrideCursor();
    if (gaveUp) {
        setBusyText(gaveUpText());
        clearLater_->start();
    } else {
        setBusyText(QString());
    }
}

void LockWaitUi::setBusyText(const QString& text)
{
    if (text == busyText_)
        return;
    busyText_ = text;
    emit busyTextChanged(text);
}

void LockWaitUi::swallowInput(bool on)
{
    if (on == swallowing_ || !QCoreApplication::instance())
        return;
    swallowing_ = on;
    if (on)
        QCoreApplication::instance()->installEventFilter(this);
    else
        QCoreApplication::instance()->removeEventFilter(this);
}

bool LockWaitUi::eventFilter(QObject* watched, QEvent* event)
{
    if (swallowing_ && isUserInput(event))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace velmor
