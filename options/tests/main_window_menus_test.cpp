// The three menu entries of the main window: "option", "Imprimer" and
// "à propos de", wired to a real main window (sheets stood in for).
#include "options/options_wiring.h"
#include "shell/look.h"
#include "shell/main_window.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"
#include "sheets_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using namespace velmor::testing;

namespace {

OptionsMenus* wire(MainWindow& window, SheetsOnDemand& sheets) {
    return installOptions(&window, window.CommonDialog1, window.option, window.Imprimer,
                          window.commentaire, window.Command2, window.Command3, sheets.lookup());
}

} // namespace

class MainWindowMenusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void okHidesPretAtOnceAndANewMainWindowShowsItAgain() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        {
            MainWindow window;
            OptionsMenus* menus = wire(window, sheets);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const QRect retourPlace = window.Command3->geometry();
            const QRect voirPlace = window.Command4->geometry();

            window.option->trigger();
            Optionvelmor* options = menus->optionsWindow();
            QVERIFY(options && options->isVisible());
            QVERIFY(options->isWindow());
            QVERIFY(options->parentWidget() == nullptr);
            QVERIFY(options->Check4->isChecked());
            options->Check4->setChecked(false);
            QTest::mouseClick(options->okoption, Qt::LeftButton);
            QVERIFY(!window.Command2->isVisible());
            QVERIFY(window.Command3->isVisible());
            QCOMPARE(window.Command3->geometry(), retourPlace);
            QCOMPARE(window.Command4->geometry(), voirPlace);
            QVERIFY(!options->isVisible());
        }
        // The next run: the button is back although the flag holds "0".
        MainWindow next;
        OptionsMenus* menus = wire(next, sheets);
        next.show();
        QVERIFY(QTest::qWaitForWindowExposed(&next));
        QVERIFY(next.Command2->isVisible());
        QCOMPARE(settings::read(QStringLiteral("option"), QStringLiteral("option"),
                                QStringLiteral("affichepret")),
                 QStringLiteral("0"));
        next.option->trigger();
        QVERIFY(!menus->optionsWindow()->Check4->isChecked());
        QVERIFY(next.Command2->isVisible()); // until "ok" again
        menus->optionsWindow()->okoption_Click();
        QVERIFY(!next.Command2->isVisible());
    }

    void windowsGoAwayWithTheMainWindow() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        QPointer<Optionvelmor> options;
        QPointer<aproposv2> about;
        {
            MainWindow window;
            OptionsMenus* menus = wire(window, sheets);
            window.option->trigger();
            window.commentaire->trigger();
            options = menus->optionsWindow();
            about = menus->aboutWindow();
            QVERIFY(options && about);
            QVERIFY(!options->testAttribute(Qt::WA_QuitOnClose));
            QVERIFY(!about->testAttribute(Qt::WA_QuitOnClose));
        }
        QVERIFY(options.isNull());
        QVERIFY(about.isNull());
    }

    void imprimerUsesTheMainWindowsDialog() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        QTemporaryDir folder;
        MainWindow window;
        wire(window, sheets);
        saveMarker(QStringLiteral("0"));
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("page.pdf"));
        dialogs.queuePrint(true, pdf);
        window.Imprimer->trigger();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).at(0).parent, &window);
        QVERIFY(window.CommonDialog1.cancelError());
        QVERIFY(QFile::exists(pdf));
        QVERIFY(sheets.returnSheet());
    }
};

QTEST_MAIN(MainWindowMenusTest)
#include "main_window_menus_test.moc"
