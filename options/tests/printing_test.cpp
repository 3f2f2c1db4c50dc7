// "Imprimer": the print dialog first, then one page with the image of the
// sheet that the current-sheet marker names; nothing in every other case.
#include "options/options_wiring.h"
#include "options/printing.h"
#include "shell/common_dialog.h"
#include "shell/look.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"
#include "sheets_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using namespace velmor::testing;

class PrintingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void tallImagesGoOnAPortraitPage() {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        QTemporaryDir folder;
        QPixmap tall(300, 600);
        tall.fill(Qt::darkGreen);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("haut.pdf"));
        printer.setOutputFileName(pdf);
        printer.setPageOrientation(QPageLayout::Landscape);
        QVERIFY(printImageOnOnePage(tall, printer));
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
        QCOMPARE(pageCount(pdf), 1);
        const QImage page = renderPage(pdf, folder.path(), 30);
        QVERIFY(page.height() > page.width());
        const QRect ink = inkBox(page);
        QVERIFY(qAbs(double(ink.width()) / ink.height() - 0.5) < 0.03);
        QVERIFY(ink.height() > page.height() * 0.8);
    }

    void loanSheetIsCreatedWhenMissing() {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        // "Prêt" in an earlier run (or the sheet discarded by its close box).
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("1"));
        sheets.lookup()(SheetHost::Sheet::Return, true)->show();
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("pret.pdf"));
        dialogs.queuePrint(true, pdf);
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QVERIFY(sheets.loanSheet());
        QCOMPARE(pageCount(pdf), 1);
        QVERIFY(!inkBox(renderPage(pdf, folder.path(), 30)).isEmpty());
    }

    void nothingIsPrintedWithoutAUsableMarker_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<bool>("store");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("text") << QStringLiteral("retour") << true;
        QTest::newRow("two") << QStringLiteral("2") << true;
    }

    void nothingIsPrintedWithoutAUsableMarker() {
        QFETCH(QString, marker);
        QFETCH(bool, store);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        if (store)
            saveMarker(marker);
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("rien.pdf"));
        dialogs.queuePrint(true, pdf);
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(!printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        // The dialog came first all the same.
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 1);
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(sheets.created, 0);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void cancelPrintsNothing() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("0"));
        // The dialog is answered before the marker is read: a marker
        // written while it is open counts.
        dialogs.queuePrint(false);
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("annule.pdf"));
        printer.setOutputFileName(pdf);
        QVERIFY(!printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(sheets.created, 0);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void markerIsReadAfterTheDialog() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("apres.pdf"));
        dialogs.queuePrint(true, pdf);
        dialogs.setOnCall([](const ScriptedDialogs::Call&) { saveMarker(QStringLiteral("1")); });
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QVERIFY(sheets.loanSheet());
        QVERIFY(!sheets.returnSheet());
        QVERIFY(QFile::exists(pdf));
    }

    void aFailingPrinterEndsSilently() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("0"));
        dialogs.queuePrint(true, QStringLiteral("/nonexistent-folder/sous/dossier/page.pdf"));
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(!printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void menuEntryPrints() {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("0"));
        QWidget mainWindow;
        CommonDialog commonDialog;
        QAction imprimer(QStringLiteral("Imprimer"));
        installOptions(&mainWindow, commonDialog, nullptr, &imprimer, nullptr, nullptr, nullptr,
                       sheets.lookup());
        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("menu.pdf"));
        dialogs.queuePrint(true, pdf);
        imprimer.trigger();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).at(0).parent, &mainWindow);
        QCOMPARE(pageCount(pdf), 1);
        // Cancel the next time.
        QFile::remove(pdf);
        dialogs.queuePrint(false);
        imprimer.trigger();
        QVERIFY(!QFile::exists(pdf));
    }
};

QTEST_MAIN(PrintingTest)
#include "printing_test.moc"
