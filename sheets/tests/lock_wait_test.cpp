// Another process holds the database's write lock while the sheet saves a
// row: the window stays alive (its timers fire), shows a busy cursor and
// says so in the status bar at once, drops the clicks made meanwhile instead
// of replaying them, and after a while offers "Réessayer" and "Annuler".
#include "sheets/lock_wait_ui.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "testkit/scripted_dialogs.h"

#include <QAccessible>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QtTest>

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

namespace {

// A click as the window system queues it, delivered when events are next
// processed.
void postClick(QWidget* widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

Row returnRow(const char* accord, const char* client)
{
    return {{"naccord", text(accord)}, {"client", text(client)}};
}

} // namespace

class LockWaitTest : public QObject, public SheetDesk {
    Q_OBJECT

    std::unique_ptr<QProcess> holder;

    // Another process takes the file's write lock and keeps it until
    // releaseLock().
    void holdLock()
    {
        holder = std::make_unique<QProcess>();
        holder->start(QStringLiteral(VELMOR_HOLD_LOCK), {dbPath});
        QVERIFY(holder->waitForReadyRead(10000));
        QVERIFY(holder->readAll().contains("verrou pris"));
    }
    void releaseLock()
    {
        if (!holder)
            return;
        holder->closeWriteChannel();
        holder->waitForFinished(10000);
        holder.reset();
    }

    std::vector<std::string> storedClients() { return storedColumn(dbPath, "velmor2001", "client"); }

    // The return sheet on its first row, with an edit to save.
    retour* sheetWithEdit()
    {
        const std::vector<Row> rows = {returnRow("A-1", "Alpha"), returnRow("A-2", "Bravo"),
                                       returnRow("A-3", "Charlie"), returnRow("A-4", "Delta"),
                                       returnRow("A-5", "Echo")};
        useDatabase(QStringLiteral("partagee.mdb"), rows);
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        typeInto(box(sheet, "clientS1"), QStringLiteral("Pendant l'attente"));
        return sheet;
    }

private slots:
    void initTestCase() { useFrenchRegionalSettings(); }
    void init() { openDesk(); }
    void cleanup()
    {
        releaseLock();
        closeDesk();
    }

    void windowStaysAliveAndDropsInput()
    {
        retour* sheet = sheetWithEdit();
        holdLock();
        // No box in this test; should the wait never end, the unanswered
        // box gives it up after this long.
        host->lockWaits().setAskAfter(5000);

        int ticks = 0;
        QString busyText;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            if (ticks == 3) {
                busyText = host->busyText();
                if (const QCursor* shown = QGuiApplication::overrideCursor())
                    cursor = shown->shape();
                for (int i = 0; i < 3; ++i)
                    postClick(button(sheet, "moveforward"));
                QTest::keyClick(box(sheet, "clientS1"), Qt::Key_X);
                // An assistive tool pressing ">" and "Voir" is no input event.
                QAccessible::queryAccessibleInterface(button(sheet, "moveforward"))
                    ->actionInterface()
                    ->doAction(QAccessibleActionInterface::pressAction());
                host->showAll();
            }
            if (ticks == 10)
                releaseLock();
        });
        timer.start();
        button(sheet, "moveforward")->click(); // saves the row: waits for the other process
        timer.stop();

        QVERIFY2(ticks >= 10, "the event loop did not run during the wait");
        QCOMPARE(busyText, LockWaitUi::waitingText());
        QCOMPARE(cursor, Qt::WaitCursor);
        // One move, the click made before the wait; nothing replayed later.
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QCoreApplication::processEvents();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QCOMPARE(storedClients().front(), std::string("Pendant l'attente"));
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(host->busyText().isEmpty());
        QVERIFY(scripted->calls().isEmpty());

        // The same posted click with nothing to wait for does move.
        postClick(button(sheet, "moveforward"));
        QCoreApplication::processEvents();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-3"));
    }

    // "Réessayer" waits on; "Annuler" gives up: no move, nothing written,
    // the edit stays in the field and nothing more is said.
    void boxOffersRetryAndCancel()
    {
        retour* sheet = sheetWithEdit();
        holdLock();
        host->lockWaits().setAskAfter(150);
        scripted->queueRetry(true);
        scripted->queueRetry(false);
        button(sheet, "moveforward")->click();

        const auto boxes = scripted->calls(ScriptedDialogs::Kind::Retry);
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes.first().text.contains(dbPath), qPrintable(boxes.first().text));
        QCOMPARE(scripted->calls().size(), 2);
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-1"));
        QCOMPARE(box(sheet, "clientS1")->text(), QStringLiteral("Pendant l'attente"));
        QCOMPARE(host->busyText(), LockWaitUi::gaveUpText());
        QVERIFY(!QGuiApplication::overrideCursor());

        releaseLock();
        QCOMPARE(storedClients().front(), std::string("Alpha"));
        host->save();
        QCOMPARE(storedClients().front(), std::string("Pendant l'attente"));
    }
};

QTEST_MAIN(LockWaitTest)
#include "lock_wait_test.moc"
