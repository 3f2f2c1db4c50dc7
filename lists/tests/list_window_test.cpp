// The list windows as a user meets them: "Liste" on the toolbar, typing in
// the search box, opening a row into its sheet (its pending edit written
// first), the client history, "Exporter…" and "Imprimer la liste…", and what
// the status bar says about the sheet's position and its searches. Every
// case runs on a file, then on a scratch PostgreSQL server holding a copy.
#include "lists/history_window.h"
#include "lists/list_host.h"
#include "lists/list_window.h"
#include "options/options_window.h"
#include "sheets/outstanding_threshold.h"
#include "sheets/record_sheet.h"
#include "sheets_support.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using sheetstest::date;
using sheetstest::text;

namespace {

sheetstest::Row returnRow(const char* client, const char* equipment, int day) {
    return {{"emetteur", text("Agence Lyon")},
            {"client", text(client)},
            {"materiel", text(equipment)},
            {"dateaccord", date(2001, 1, day)},
            {"daterecp", date(2001, 1, day)}};
}

} // namespace

class ListWindowTest : public QObject {
    Q_OBJECT
    ScratchServer* cluster_; // none: on files
    int databases_ = 0;
    std::unique_ptr<SettingsSandbox> sandbox;
    std::unique_ptr<ScriptedDialogs> scripted;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    SheetHost* sheets = nullptr;
    ListHost* lists = nullptr;
    QString path; // a file's path or a server's address

    ListWindow* clickListe() {
        QTest::mouseClick(lists->listButton(), Qt::LeftButton);
        QMdiSubWindow* active = window->mdiArea->activeSubWindow();
        auto* list = active ? qobject_cast<ListWindow*>(active->widget()) : nullptr;
        return list;
    }
    QString status() const { return sheets->statusNote(); }

public:
    explicit ListWindowTest(ScratchServer* cluster = nullptr) : cluster_(cluster) {}

private slots:
    void initTestCase() {
        sheetstest::useFrenchRegionalSettings();
        SHEETS_START_CLUSTER(cluster_);
    }

    void init() {
        sandbox = std::make_unique<SettingsSandbox>();
        scripted = std::make_unique<ScriptedDialogs>();
        dir = std::make_unique<QTemporaryDir>();
        path = dir->filePath(QStringLiteral("velmor.mdb"));
        sheetstest::createDatabase(
            path,
            {returnRow("L'Oréal", "Imprimante", 15), returnRow("Zèbre", "Écran", 20),
             returnRow("éclair", "Scanner", 2), returnRow("LOREAL SA", "Portable", 9)},
            {{{"clientp", text("L'Oréal")}, {"dateaccordp", date(2001, 1, 10)}}});
        if (cluster_)
            path = sheetstest::copyToServer(*cluster_, path,
                                            QStringLiteral("fenetre%1").arg(++databases_));
        QVERIFY(!path.isEmpty());
        settings::save(QStringLiteral("option"), QStringLiteral("option"),
                       QStringLiteral("cheminbase"), path);
        window = std::make_unique<MainWindow>();
        sheets = new SheetHost(window->mdiArea, window.get());
        lists = new ListHost(*window, *sheets);
        window->show();
    }

    void cleanup() {
        window.reset();
        sheetstest::processDeletions();
        scripted.reset();
        sandbox.reset();
    }

    void listOpensRowsIntoTheSheetAfterSavingItsEdit() {
        QCOMPARE(lists->listButton()->text(), QStringLiteral("Liste"));
        QVERIFY(lists->listButton()->x() > window->Command8->geometry().right());
        sheets->open(SheetHost::Sheet::Return);
        RecordSheet* sheet = sheets->sheet(SheetHost::Sheet::Return, false);
        QCOMPARE(status(), QStringLiteral("Fiche 1 sur 4"));
        sheetstest::typeInto(sheetstest::box(sheet, "materielS1"),
                             QStringLiteral("Imprimante réparée"));

        ListWindow* list = clickListe();
        QVERIFY(list);
        auto* table = sheetstest::child<QTableView>(list, "tableListe");
        auto* count = sheetstest::label(list, "nombreFiches");
        QCOMPARE(table->model()->rowCount(), 4);
        QCOMPARE(table->model()->headerData(3, Qt::Horizontal).toString(),
                 QStringLiteral("Client"));
        QCOMPARE(count->text(), QStringLiteral("4 fiches"));

        auto* search = sheetstest::child<QLineEdit>(list, "rechercheListe");
        sheetstest::typeInto(search, QStringLiteral("loreal"));
        QCOMPARE(count->text(), QStringLiteral("2 fiches sur 4"));
        table->setFocus();
        table->setCurrentIndex(table->model()->index(1, 0));
        QSignalSpy opened(list, &ListWindow::openRowRequested);
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(opened.count(), 1);

        QCOMPARE(sheetstest::box(sheet, "clientS1")->text(), QStringLiteral("LOREAL SA"));
        QCOMPARE(window->mdiArea->activeSubWindow(), sheet->subWindow());
        QCOMPARE(status(), QStringLiteral("Fiche 4 sur 4"));
        const auto stored = sheetstest::readTable(path, "velmor2001");
        QCOMPARE(QString::fromStdString(stored.at(0).at("materiel").value()),
                 QStringLiteral("Imprimante réparée"));
    }

    void historyOpensLoansAndReturns() {
        ListWindow* list = clickListe();
        QVERIFY(list);
        auto* table = sheetstest::child<QTableView>(list, "tableListe");
        table->setCurrentIndex(table->model()->index(0, 0)); // L'Oréal
        QTest::mouseClick(sheetstest::button(list, "historiqueListe"), Qt::LeftButton);
        auto* history = qobject_cast<HistoryWindow*>(window->mdiArea->activeSubWindow()->widget());
        QVERIFY(history);
        QCOMPARE(history->table()->model()->rowCount(), 2);
        QCOMPARE(history->table()->model()->index(0, 0).data().toString(), QStringLiteral("Prêt"));
        QVERIFY(QTest::qWaitForWindowExposed(history));
        const QRect first = history->table()->visualRect(history->table()->model()->index(0, 1));
        QSignalSpy opened(history, &HistoryWindow::openRowRequested);
        QTest::mouseClick(history->table()->viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseDClick(history->table()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(opened.count(), 1);
        RecordSheet* loan = sheets->sheet(SheetHost::Sheet::Loan, false);
        QVERIFY(loan);
        QCOMPARE(sheetstest::box(loan, "clientS2")->text(), QStringLiteral("L'Oréal"));
    }

    void exportsAndPrintsTheRowsShown() {
        ListWindow* list = clickListe();
        QVERIFY(list);
        auto* table = sheetstest::child<QTableView>(list, "tableListe");
        QHeaderView* header = table->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
        sheetstest::child<QCheckBox>(list, "enCoursSeulement")->click();
        QCOMPARE(table->model()
                     ->headerData(table->model()->columnCount() - 1, Qt::Horizontal)
                     .toString(),
                 QStringLiteral("En cours depuis"));

        const QString csvPath = dir->filePath(QStringLiteral("liste.csv"));
        ListWindow::setSaveChooser(
            [&](QWidget*, const QString&) { return std::optional<QString>(csvPath); });
        QTest::mouseClick(sheetstest::button(list, "exporterListe"), Qt::LeftButton);
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 6); // header, 4 rows, nothing after the last CR LF
        QVERIFY(lines[1].contains(";éclair;") || lines[1].contains(";\xc3\xa9"
                                                                   "clair;"));
        QVERIFY(lines[1].contains("02/01/2001"));
        QVERIFY(lines[4].contains(";Zèbre;"));

        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString pdf = dir->filePath(QStringLiteral("liste.pdf"));
        scripted->queuePrint(true, pdf);
        QTest::mouseClick(sheetstest::button(list, "imprimerListe"), Qt::LeftButton);
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished());
        QString printed = QString::fromUtf8(text.readAllStandardOutput());
        printed.replace(QStringLiteral("ﬁ"), QStringLiteral("fi"))
            .replace(QStringLiteral("ﬀ"), QStringLiteral("ff"));
        QVERIFY2(printed.contains(QStringLiteral("Liste — Retour")), qPrintable(printed));
        QVERIFY2(printed.contains(QStringLiteral("en cours seulement — 4 fiches sur 4")),
                 qPrintable(printed));
        QVERIFY(printed.contains(QStringLiteral("En cours depuis")));
        QVERIFY(printed.indexOf(QStringLiteral("éclair")) <
                printed.indexOf(QStringLiteral("Zèbre")));
        QCOMPARE(printed.count(QStringLiteral("Page 1 sur 1")), 1);
    }

    void statusBarSaysPositionAndWhatSearchesFound() {
        sheets->open(SheetHost::Sheet::Return);
        QCOMPARE(status(), QStringLiteral("Fiche 1 sur 4"));
        sheets->sheet(SheetHost::Sheet::Return, false)->navigate(RecordSheet::Move::Last);
        QCOMPARE(status(), QStringLiteral("Fiche 4 sur 4"));
        scripted->queueInput(QStringLiteral("L'Oréal"));
        sheets->search();
        QCOMPARE(status(), QStringLiteral("Fiche 1 sur 1 — 1 fiche pour « L'Oréal »"));
        scripted->queueInput(QStringLiteral("Crédit"));
        sheets->search();
        QVERIFY(status().startsWith(QStringLiteral("Aucune fiche pour « Crédit » — ")));
        sheets->outstanding();
        QCOMPARE(status(), QStringLiteral("Fiche 1 sur 4 — 4 fiches en cours"));
        sheets->showAll();
        sheets->addNew();
        QCOMPARE(status(), QStringLiteral("Nouvelle fiche"));
    }

    void reminderOpensTheOverdueRows() {
        QPushButton* reminder = lists->reminder();
        QTRY_VERIFY(reminder->isVisible());
        QCOMPARE(reminder->text(),
                 QStringLiteral("1 prêt et 4 retours en cours depuis plus de 30 jours"));
        QTest::mouseClick(reminder, Qt::LeftButton);
        auto* list = qobject_cast<ListWindow*>(window->mdiArea->activeSubWindow()->widget());
        QVERIFY(list);
        QVERIFY(list->model()->outstandingOnly());
        QCOMPARE(&list->model()->design(), &loanListDesign());
        QCOMPARE(
            list->model()->data(list->model()->index(0, 0), RowListModel::OverdueRole).toBool(),
            true);
        QCOMPARE(ListHost::reminderText(3, 0, 30),
                 QStringLiteral("3 prêts en cours depuis plus de 30 jours"));
        QCOMPARE(ListHost::reminderText(0, 0, 30), QString());
    }

    void thresholdIsSetInTheOptionsWindow() {
        QCOMPARE(outstanding::threshold(), 30);
        Optionvelmor options(nullptr, nullptr, {});
        options.open();
        auto* days = options.findChild<QSpinBox*>(QStringLiteral("joursEnCours"));
        QVERIFY(days);
        QCOMPARE(days->value(), 30);
        days->setValue(45);
        options.okoption->click();
        QCOMPARE(outstanding::threshold(), 45);
        QCOMPARE(clickListe()->model()->threshold(), 45);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return sheetstest::runOnFileAndServer<ListWindowTest>(argc, argv);
}
#include "list_window_test.moc"
