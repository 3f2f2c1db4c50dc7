// "Imprimer": the print dialog first, then one page with the image of the
// sheet that the current-sheet marker names; nothing in every other case.
#include "options/options_wiring.h"
#include "options/printing.h"
#include "shell/common_dialog.h"
#include "shell/look.h"
#include "testkit/scripted_dialogs.h"
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

    // Nothing is printed, and nothing said, without a marker naming a sheet,
    // when the dialog is cancelled (before the marker is read: no sheet is
    // created) or when the printer fails.
    void nothingIsPrinted_data() {
        QTest::addColumn<QString>("marker"); // null: not stored
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("pdf");
        QTest::addColumn<int>("created");
        QTest::newRow("missing") << QString() << true << "rien.pdf" << 0;
        QTest::newRow("empty") << QStringLiteral("") << true << "rien.pdf" << 0;
        QTest::newRow("text") << QStringLiteral("retour") << true << "rien.pdf" << 0;
        QTest::newRow("two") << QStringLiteral("2") << true << "rien.pdf" << 0;
        QTest::newRow("cancel") << QStringLiteral("0") << false << "annule.pdf" << 0;
        QTest::newRow("failing printer") << QStringLiteral("0") << true
                                         << "/nonexistent-folder/sous/dossier/page.pdf" << 1;
    }
    void nothingIsPrinted() {
        QFETCH(QString, marker);
        QFETCH(bool, answer);
        QFETCH(QString, pdf);
        QFETCH(int, created);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        if (!marker.isNull())
            saveMarker(marker);
        const QString path = QDir(folder.path()).filePath(pdf);
        dialogs.queuePrint(answer, path);
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        QVERIFY(!printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 1); // the dialog first
        QVERIFY(!QFile::exists(path));
        QCOMPARE(sheets.created, created);
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
};

QTEST_MAIN(PrintingTest)
#include "printing_test.moc"
