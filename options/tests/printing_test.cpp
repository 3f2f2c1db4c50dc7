// "Imprimer": the print dialog first, then one page with the image of the
// sheet that the current-sheet marker names; nothing in every other case.
#include "options/options_wiring.h"
#include "options/printing.h"
#include "shell/common_dialog.h"
#include "shell/look.h"
#include "shell/scripted_dialogs.h"
#include "shell/settings.h"
#include "shell/settings_sandbox.h"
#include "standin_support.h"

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

namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

int pageCount(const QString& pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

// The first page rendered at `dpi`.
QImage renderPage(const QString& pdf, const QString& folder, int dpi)
{
    const QString base = QDir(folder).filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"),
                                     QString::number(dpi), QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel that is not (nearly) white.
QRect inkBox(const QImage& page)
{
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            if (qRed(line[x]) < 245 || qGreen(line[x]) < 245 || qBlue(line[x]) < 245) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Mean difference per channel (0..255) between two images of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                   + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class PrintingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void returnSheetPrintsOnOnePage()
    {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
        saveMarker(QStringLiteral("0"));
        auto* sheet = static_cast<StandInSheet*>(sheets.lookup()(SheetHost::Sheet::Return, true));
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        sheet->fields[3]->setText(QStringLiteral("Écran 19 pouces"));
        const QImage shown = sheet->grab().toImage().convertToFormat(QImage::Format_RGB32);

        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("retour.pdf"));
        dialogs.queuePrint(true, pdf);
        QWidget mainWindow;
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(printCurrentSheet(&mainWindow, commonDialog, printer, sheets.lookup()));
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).at(0).parent, &mainWindow);
        QVERIFY(commonDialog.cancelError());
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(pageCount(pdf), 1);
        // A wide sheet goes on a landscape page.
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);

        const QImage page = renderPage(pdf, folder.path(), 60);
        QVERIFY(!page.isNull());
        QVERIFY(page.width() > page.height());
        const QRect ink = inkBox(page);
        QVERIFY(!ink.isEmpty());
        // The sheet fills the page's width or height, with its own proportions.
        const double sheetRatio = double(shown.width()) / shown.height();
        QVERIFY(qAbs(double(ink.width()) / ink.height() - sheetRatio) < 0.03);
        QVERIFY(ink.width() > page.width() * 0.8 || ink.height() > page.height() * 0.8);
        // What is on the page is the sheet as shown: its picture, labels and
        // fields.
        const QImage printed = page.copy(ink);
        const QImage expected = shown.scaled(printed.size(), Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
        const double difference = meanDifference(printed, expected);
        QVERIFY2(difference < 12, qPrintable(QString::number(difference)));
        // The field boxes are white on the dark picture.
        const QImage small = shown.scaled(printed.size());
        const QPoint field = sheet->fields[1]->geometry().center();
        const QPoint onPage(field.x() * printed.width() / shown.width(),
                            field.y() * printed.height() / shown.height());
        Q_UNUSED(small);
        QVERIFY(qGray(printed.pixel(onPage)) > 150);
        QVERIFY(qGray(printed.pixel(QPoint(4, printed.height() - 5))) < 100);

        QDir().mkpath(QStringLiteral(VELMOR_BINARY_DIR "/options-shots"));
        renderPage(pdf, folder.path(), 40).save(
            QStringLiteral(VELMOR_BINARY_DIR "/options-shots/printed-page-standin.png"));
    }

    void tallImagesGoOnAPortraitPage()
    {
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

    void loanSheetIsCreatedWhenMissing()
    {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        // "Prêt" in an earlier run (or the sheet discarded by its close box).
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
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

    void nothingIsPrintedWithoutAUsableMarker_data()
    {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<bool>("store");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("text") << QStringLiteral("retour") << true;
        QTest::newRow("two") << QStringLiteral("2") << true;
    }

    void nothingIsPrintedWithoutAUsableMarker()
    {
        QFETCH(QString, marker);
        QFETCH(bool, store);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
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

    void cancelPrintsNothing()
    {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
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

    void markerIsReadAfterTheDialog()
    {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
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

    void aFailingPrinterEndsSilently()
    {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        StandInSheets sheets;
        saveMarker(QStringLiteral("0"));
        dialogs.queuePrint(true, QStringLiteral("/nonexistent-folder/sous/dossier/page.pdf"));
        CommonDialog commonDialog;
        QPrinter printer(QPrinter::HighResolution);
        QVERIFY(!printCurrentSheet(nullptr, commonDialog, printer, sheets.lookup()));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void menuEntryPrints()
    {
        if (!havePoppler())
            QSKIP("pdfinfo/pdftoppm (poppler-utils) are not installed");
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        StandInSheets sheets;
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
