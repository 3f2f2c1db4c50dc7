// "Imprimer la fiche…" and "Exporter la fiche en PDF…": the row shown, as an
// A4 slip on white with every caption and whole value, on one page for an
// ordinary row and flowing onto a second one, header repeated, for a long
// intervention report.
#include <QTest>

#include "options/options_wiring.h"
#include "options/record_slip.h"
#include "options/slip_menu.h"
#include "sheets/record_source.h"
#include "sheets/sheet_design.h"
#include "sheets_support.h"
#include "shell/look.h"
#include "shell/main_window.h"
#include "testkit/fixtures.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using namespace velmor::testing;

namespace {

// The text of `page` of `pdf` (0: all pages), as pdftotext reads it.
QString pdfText(const QString& pdf, int page = 0) {
    QStringList arguments;
    if (page > 0)
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
                  << QString::number(page);
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-"));
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The same without what each page repeats (header, page number, "(suite)").
QString pdfBody(const QString& pdf) {
    static const QRegularExpression repeated(
        QStringLiteral("^(.*\\(suite\\)|Enregistrée par : .*|Imprimée le .*|Page \\d+ sur \\d+)$"));
    QStringList kept;
    for (const QString& line : pdfText(pdf).split(QLatin1Char('\n')))
        if (!repeated.match(line.trimmed()).hasMatch())
            kept << line;
    return kept.join(QLatin1Char('\n'));
}

QString withoutBlanks(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

// A report of 6,000 characters in paragraphs, as the desk writes them.
QString longReport() {
    const QString sentence = QStringLiteral("Démontage du module de prise papier, nettoyage des galets "
                                            "à l'alcool et remplacement du patin de séparation. ");
    QString text;
    for (int i = 1; text.size() < 6000; ++i)
        text += QStringLiteral("Étape %1. ").arg(i) + sentence.repeated(4) + QStringLiteral("\r\n");
    return text.left(6000);
}

} // namespace

class RecordSlipTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installLook(*qApp);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    }

    void slipCarriesEveryFieldWhole_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<bool>("longReport");
        QTest::addColumn<int>("pages");
        QTest::newRow("retour en PDF") << "exporterfiche" << "0" << false << 1;
        QTest::newRow("retour long en PDF") << "exporterfiche" << "0" << true << 2;
        QTest::newRow("prêt imprimé") << "imprimerfiche" << "1" << false << 1;
    }
    void slipCarriesEveryFieldWhole() {
        QFETCH(QString, entry);
        QFETCH(QString, marker);
        QFETCH(bool, longReport);
        QFETCH(int, pages);
        if (!havePoppler() || QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdfinfo, pdftoppm) is not installed");
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        const QString db = QDir(folder.path()).filePath(QStringLiteral("velmor2001.mdb"));
        QVERIFY(QFile::copy(QString::fromStdString(fixtures::path("velmor2001.mdb")), db));

        MainWindow window;
        SheetsOnDemand sheets;
        installOptions(&window, window.CommonDialog1, nullptr, window.Imprimer, nullptr, nullptr,
                       nullptr, sheets.lookup());
        OptionsMenus* menus = window.findChild<OptionsMenus*>();
        addSlipEntries(&window, window.Fichier, window.Imprimer, menus->printer(), sheets.lookup());
        const QList<QAction*> entries = window.Fichier->actions();
        const qsizetype imprimer = entries.indexOf(window.Imprimer);
        QCOMPARE(entries.value(imprimer + 1)->text(), QStringLiteral("Imprimer la fiche…"));
        QCOMPARE(entries.value(imprimer + 2)->text(), QStringLiteral("Exporter la fiche en PDF…"));

        saveMarker(marker);
        RecordSheet* sheet = sheets.lookup()(marker == QStringLiteral("1") ? SheetHost::Sheet::Loan
                                                                           : SheetHost::Sheet::Return,
                                             true);
        sheet->recordSource().setDatabaseName(db);
        sheet->load();
        QVERIFY(sheet->recordSource().state() == BaseR::State::CurrentRow);
        if (longReport)
            sheet->findChild<QLineEdit*>(QStringLiteral("reparationS1"))->setText(::longReport());

        const QString pdf = QDir(folder.path()).filePath(QStringLiteral("fiche.pdf"));
        if (entry == QStringLiteral("exporterfiche"))
            dialogs.queueSaveFile(pdf);
        else
            dialogs.queuePrint(true, pdf);
        window.findChild<QAction*>(entry)->trigger();
        QCOMPARE(dialogs.unansweredCalls(), 0);
        QVERIFY(dialogs.messages().isEmpty());

        QCOMPARE(pageCount(pdf), pages);
        const QString text = pdfText(pdf);
        const QString flat = withoutBlanks(pdfBody(pdf));
        const bool loan = marker == QStringLiteral("1");
        QVERIFY(text.contains(loan ? QStringLiteral("PRÊT DE MATÉRIEL") : QStringLiteral("RETOUR DE MATÉRIEL")));
        for (const QString& caption : {QStringLiteral("Signature du client"), QStringLiteral("Signature du service"),
                                       QStringLiteral("Enregistrée par : Martine"),
                                       QStringLiteral("Imprimée le %1").arg(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")))})
            QVERIFY2(text.contains(caption), qPrintable(caption));
        for (const FieldDesign& field : sheet->design().fields) {
            const QString value = sheet->findChild<QLineEdit*>(QString::fromLatin1(field.box))->text();
            QVERIFY2(flat.contains(withoutBlanks(field.caption)), qPrintable(field.caption));
            QVERIFY2(flat.contains(withoutBlanks(value)), qPrintable(field.box)); // whole, never cut
        }
        if (!loan)
            QVERIFY(text.contains(QStringLiteral("15/01/2001"))); // the agreement date, French format
        if (pages > 1) {
            const QString second = pdfText(pdf, 2);
            QVERIFY(second.contains(QStringLiteral("RETOUR DE MATÉRIEL (suite)")));
            QVERIFY(second.contains(QStringLiteral("Enregistrée par : Martine")));
            QVERIFY(second.contains(QStringLiteral("Page 2 sur 2")));
        }

        // A white A4 portrait page, ink only within its margins.
        const QImage page = renderPage(pdf, folder.path(), 40);
        QCOMPARE(qRound(double(page.height()) / page.width() * 100), 141);
        const QRect ink = inkBox(page);
        QVERIFY(ink.left() > page.width() * 0.05 && ink.right() < page.width() * 0.95);
        QVERIFY(ink.top() > page.height() * 0.03);
        QCOMPARE(QColor(page.pixel(2, 2)), QColor(Qt::white));
        long dark = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                dark += qGray(page.pixel(x, y)) < 128;
        QVERIFY(dark < long(page.width()) * page.height() / 10); // text, not a dark picture
    }

    void cancelOrNoRowPrintsNothing() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        QPrinter printer(QPrinter::HighResolution);
        saveMarker(QStringLiteral("0")); // a sheet without a database: no row to print
        QVERIFY(!exportCurrentSlip(nullptr, sheets.lookup()));
        QVERIFY(!printCurrentSlip(nullptr, printer, sheets.lookup()));
        QCOMPARE(dialogs.messages().size(), 2);
        QVERIFY(dialogs.calls(ScriptedDialogs::Kind::SaveFile).isEmpty());
        QVERIFY(dialogs.calls(ScriptedDialogs::Kind::Print).isEmpty());
    }

};

QTEST_MAIN(RecordSlipTest)
#include "record_slip_test.moc"
