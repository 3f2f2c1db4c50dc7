// The options window and "Imprimer" on the application's own sheets, in a
// main window with its sheet host, on a copy of the fixture database.
#include "options/options_wiring.h"
#include "options/printing.h"
#include "sheets/record_sheet.h"
#include "sheets/record_source.h"
#include "sheets/sheet_host.h"
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
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "testkit/fixtures.h"

using namespace velmor;
using namespace velmor::testing;

namespace {

const QString kOption = QStringLiteral("option");

// Copies a database into the folder and makes the copy the stored database
// path, as the options window would.
void useCopyOf(const QString& source, const QString& folder) {
    const QString target = QDir(folder).filePath(QFileInfo(source).fileName());
    QFile::copy(source, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    settings::save(kOption, kOption, QStringLiteral("cheminbase"), target);
}

// A main window with its sheet host and the options menus, as the
// application sets them up.
struct Application {
    MainWindow window;
    SheetHost host{window.mdiArea};
    OptionsMenus* menus = installOptions(window, host);
    Application() {
        window.resize(1100, 800);
        window.show();
    }
};

} // namespace

// Every test: an empty store, scripted dialogs, and the application on a
// copy of the fixture database.
class RealSheetsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SettingsSandbox> sandbox;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Application> app;

    void start() {
        useCopyOf(QDir(QStringLiteral(VELMOR_FIXTURES_DIR)).filePath(QStringLiteral("velmor2001.mdb")),
                  folder->path());
        app = std::make_unique<Application>();
    }

private slots:
    void initTestCase() { installLook(*qApp); }
    void init() {
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        sandbox = std::make_unique<SettingsSandbox>();
        dialogs = std::make_unique<ScriptedDialogs>();
        folder = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        app.reset();
        folder.reset();
        dialogs.reset();
        sandbox.reset();
    }

    void printsTheReturnSheetAsShown() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        start();
        QVERIFY(QTest::qWaitForWindowExposed(&app->window));
        app->host.open(SheetHost::Sheet::Return);
        RecordSheet* sheet = app->host.sheet(SheetHost::Sheet::Return, false);
        QVERIFY(sheet && sheet->isVisible());
        QVERIFY(dialogs->messages().isEmpty());
        QTest::qWait(50);

        const QString pdf = QDir(folder->path()).filePath(QStringLiteral("retour.pdf"));
        dialogs->queuePrint(true, pdf);
        app->window.Imprimer->trigger();
        QCOMPARE(pageCount(pdf), 1);
        const QImage page =
            renderPage(pdf, folder->path(), 60).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!page.isNull());
        const QString shots = QStringLiteral(VELMOR_BINARY_DIR "/options-shots");
        QDir().mkpath(shots);
        QFile::remove(shots + QStringLiteral("/printed-page.png"));
        QVERIFY(QFile::copy(QDir(folder->path()).filePath(QStringLiteral("page.png")),
                            shots + QStringLiteral("/printed-page.png")));
        // The page shows the sheet as it is on the screen, fields included.
        const QImage shown = sheet->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect ink = inkBox(page);
        QVERIFY(!ink.isEmpty());
        QVERIFY(qAbs(double(ink.width()) / ink.height() - double(shown.width()) / shown.height()) <
                0.03);
        const QImage printed = page.copy(ink);
        const double difference = meanDifference(
            printed, shown.scaled(printed.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        QVERIFY2(difference < 12, qPrintable(QString::number(difference)));
    }

    void okOnASheetNotOpenedInThisRun() {
        // The marker says "loan sheet" from an earlier run; nothing was
        // opened yet and no database path was handed to any sheet.
        const QString picture =
            writePicture(folder->path(), QStringLiteral("fond.jpg"), Qt::darkRed, QSize(80, 60));
        settings::save(kOption, kOption, QStringLiteral("cheminimage"), picture);
        saveMarker(QStringLiteral("1"));
        start();
        app->window.option->trigger();
        app->menus->optionsWindow()->okoption_Click();
        RecordSheet* loan = app->host.sheet(SheetHost::Sheet::Loan, false);
        QVERIFY(loan);
        QVERIFY(!app->host.sheet(SheetHost::Sheet::Return, false));
        QVERIFY(!loan->isLoaded());
        QCOMPARE(loan->backgroundImage()->pixmap().size(), QSize(80, 60));
        QVERIFY(dialogs->messages().isEmpty());

        // "Prêt" then loads it on the stored path and shows the first row.
        app->host.open(SheetHost::Sheet::Loan);
        QVERIFY(loan->isLoaded());
        QVERIFY(loan->recordSource().isOpen());
        QCOMPARE(loan->recordSource().RecordCount(), 8L);
        QVERIFY(dialogs->messages().isEmpty());
    }

    void printingAClosedSheetCreatesItAgain() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        start();
        app->host.open(SheetHost::Sheet::Loan);
        QPointer<RecordSheet> loan = app->host.sheet(SheetHost::Sheet::Loan, false);
        QVERIFY(loan);
        loan->subWindow()->close();
        QTRY_VERIFY(loan.isNull());
        const QString pdf = QDir(folder->path()).filePath(QStringLiteral("pret.pdf"));
        dialogs->queuePrint(true, pdf);
        app->window.Imprimer->trigger();
        QVERIFY(app->host.sheet(SheetHost::Sheet::Loan, false));
        QCOMPARE(pageCount(pdf), 1);
        // The new sheet is printed at the size it opens with, not empty.
        const QImage page =
            renderPage(pdf, folder->path(), 30).convertToFormat(QImage::Format_RGB32);
        const QRect ink = inkBox(page);
        QVERIFY(ink.width() > page.width() / 2 || ink.height() > page.height() / 2);
    }
};

QTEST_MAIN(RealSheetsTest)
#include "real_sheets_test.moc"
