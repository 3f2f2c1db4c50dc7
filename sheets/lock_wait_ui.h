// What the user sees while another program holds the database file (a write
// of another desk in progress): the window stays alive, the cursor turns busy
// and the status bar says "Base occupée par un autre poste…" at once; after a
// few seconds a box offers "Réessayer" (wait more) and "Annuler" (give up: the
// operation fails and the sheet keeps what was typed).
//
// While the wait lasts, the events of the window are processed every slice
// of the engine's wait, except the user's input (clicks, keys, the close box),
// which is dropped: nothing done during a wait is replayed after it.
//
// The object installs itself as the engine's lock-wait handler of the
// calling thread for as long as it lives.
#pragma once

#include "jet/lock_wait.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class QWidget;

namespace velmor {

class LockWaitUi : public QObject {
    Q_OBJECT
public:
    // `dialogParent` gives the window the box belongs to.
    explicit LockWaitUi(std::function<QWidget*()> dialogParent, QObject* parent = nullptr);
    ~LockWaitUi() override;

    // How long the wait lasts before the box comes up, and again after each
    // "Réessayer" (3 s unless set).
    void setAskAfter(int milliseconds) { askAfterMs_ = milliseconds; }

    // The status text while waiting (empty when no wait is in progress or
    // being reported).
    QString busyText() const { return busyText_; }
    // A wait is in progress on this thread. The commands check it: what
    // reaches them meanwhile other than by input events (an assistive tool
    // pressing a button) is ignored too.
    static bool inProgress();
    // Takes away the text left by a wait given up (newer news came).
    void dismiss();

    static QString waitingText();   // "Base occupée par un autre poste…"
    static QString gaveUpText();    // after "Annuler"
    // The question of the box, for a wait of `seconds` on `path`.
    static QString question(const QString& path, long seconds);

signals:
    void busyTextChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool onWait(const jet::LockWait& wait);
    void begin();
    void end(bool gaveUp);
    void setBusyText(const QString& text);
    void swallowInput(bool on);

    std::function<QWidget*()> dialogParent_;
    jet::LockWaitHandler previous_;
    int askAfterMs_ = 3000;
    QElapsedTimer sinceAsked_; // since the wait began or the box was last answered
    bool gaveUp_ = false;
    int depth_ = 0;      // a wait inside a wait (an event processed meanwhile) is left alone
    bool swallowing_ = false;
    QString busyText_;
    QTimer* clearLater_ = nullptr;
};

} // namespace velmor
