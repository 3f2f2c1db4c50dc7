// The about window `aproposv2`: its labels, "ok", and one window at a time.
#include "options/about_window.h"
#include "options/options_wiring.h"
#include "shell/common_dialog.h"
#include "shell/look.h"
#include "testkit/settings_sandbox.h"
#include "sheets_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace velmor;
using namespace velmor::testing;

namespace {

int aboutWindows() {
    int count = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        count += qobject_cast<aproposv2*>(top) != nullptr;
    return count;
}

} // namespace

class AboutWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    // The texts, top to bottom and centred, "ok" at the bottom.
    void labelsAndLook() {
        aproposv2 w;
        QCOMPARE(w.objectName(), QStringLiteral("aproposv2"));
        QCOMPARE(w.windowTitle(), QStringLiteral("a propos"));
        QVERIFY(w.isWindow());
        QCOMPARE(w.propos->text(), QStringLiteral("VELMOR"));
        QCOMPARE(w.Label4->text(), QStringLiteral("V 2.0"));
        QCOMPARE(w.Label1->text(), QStringLiteral("développé par"));
        QVERIFY(!w.Label2->text().isEmpty() && !w.Label3->text().isEmpty());
        QCOMPARE(w.Command1->text(), QStringLiteral("ok"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QList<QWidget*> order = {w.propos, w.Label4, w.Label1,
                                       w.Label2, w.Label3, w.Command1};
        int previous = -1;
        for (QWidget* control : order) {
            QVERIFY2(control->geometry().top() > previous, qPrintable(control->objectName()));
            previous = control->geometry().top();
            QVERIFY2(qAbs(control->geometry().center().x() - w.width() / 2) <= 2,
                     qPrintable(control->objectName()));
            QVERIFY(w.rect().contains(control->geometry()));
        }
        for (QLabel* label : w.findChildren<QLabel*>())
            QVERIFY(label->alignment() & Qt::AlignHCenter);

        const QString folder = QStringLiteral(VELMOR_BINARY_DIR "/options-shots");
        QDir().mkpath(folder);
        QVERIFY(w.grab().save(folder + QStringLiteral("/about-window.png")));
    }

    void openedTwiceGivesOneWindow() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        QWidget mainWindow;
        CommonDialog commonDialog;
        QAction commentaire(QStringLiteral("à propos de"));
        OptionsMenus* menus = installOptions(&mainWindow, commonDialog, nullptr, nullptr,
                                             &commentaire, nullptr, nullptr, sheets.lookup());
        QCOMPARE(aboutWindows(), 0);
        commentaire.trigger();
        QPointer<aproposv2> first = menus->aboutWindow();
        QVERIFY(first && first->isVisible());
        commentaire.trigger();
        QCOMPARE(menus->aboutWindow(), first.data());
        QCOMPARE(aboutWindows(), 1);

        // Not modal: the main window stays usable.
        QVERIFY(!first->isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // "ok" hides it; the menu shows the same window again.
        QTest::mouseClick(first->Command1, Qt::LeftButton);
        QVERIFY(!first->isVisible());
        QVERIFY(menus->aboutWindow());
        commentaire.trigger();
        QCOMPARE(menus->aboutWindow(), first.data());
        QVERIFY(first->isVisible());

        // The close box discards it; the menu then creates a new one.
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());
        QCOMPARE(aboutWindows(), 0);
        commentaire.trigger();
        QVERIFY(menus->aboutWindow());
        QCOMPARE(aboutWindows(), 1);

        // The windows go away with the main window.
        delete menus;
        QCOMPARE(aboutWindows(), 0);
    }
};

QTEST_MAIN(AboutWindowTest)
#include "about_window_test.moc"
