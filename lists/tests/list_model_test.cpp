// The list's rows without any window: captions, lazy reading, sorting and
// filtering as the General sort order compares text, the outstanding rows
// and their ages, the CSV export read back, and the client history. Every
// case runs on a file, then on a scratch PostgreSQL server holding a copy.
#include "lists/client_history.h"
#include "lists/csv_writer.h"
#include "lists/row_list_model.h"
#include "sheets_support.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using sheetstest::date;
using sheetstest::Row;
using sheetstest::text;

namespace {

Row returnRow(const char* client, const char* equipment, QDate received, bool back,
              const char* reason = "Panne") {
    Row row{{"emetteur", text("Agence Lyon")},
            {"naccord", text(QStringLiteral("A-%1").arg(client).toUtf8().constData())},
            {"dateaccord", date(received.year(), received.month(), received.day())},
            {"client", text(client)},
            {"materiel", text(equipment)},
            {"motif", text(reason)},
            {"daterecp", date(received.year(), received.month(), received.day())}};
    if (back)
        row.push_back({"dateretourclient", date(2001, 6, 1)});
    return row;
}

std::shared_ptr<jet::Database> openReadOnly(const QString& path) {
    return sheetstest::openReadOnly(path);
}

// The display texts of one column, every row read.
QStringList column(RowListModel& model, int c) {
    model.fetchAllRows();
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.data(model.index(r, c)).toString();
    return texts;
}

// Splits CSV text written with ";" and double quotes into lines of fields.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> lines;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            fields << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            fields << field;
            lines << fields;
            fields.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return lines;
}

constexpr int clientColumn = 3;
constexpr int equipmentColumn = 4;
constexpr int receivedColumn = 6;

} // namespace

class ListModelTest : public QObject {
    Q_OBJECT
    ScratchServer* cluster_; // none: on files
    QTemporaryDir dir;
    QString path; // a file's path or a server's address

    // The file at `file`, or its copy on the cluster.
    QString onEngine(const QString& file, const QString& name) {
        return cluster_ ? sheetstest::copyToServer(*cluster_, file, name) : file;
    }

public:
    explicit ListModelTest(ScratchServer* cluster = nullptr) : cluster_(cluster) {}

private slots:
    void initTestCase() {
        sheetstest::useFrenchRegionalSettings();
        if (cluster_) {
            VELMOR_SKIP_WITHOUT_POSTGRESQL(*cluster_);
            QVERIFY2(cluster_->start(), qPrintable(cluster_->error()));
        }
        path = dir.filePath(QStringLiteral("liste.mdb"));
        sheetstest::createDatabase(
            path,
            {returnRow("L'Oréal", "Imprimante", QDate(2001, 1, 15), true),
             returnRow("Zèbre", "Écran", QDate(2001, 2, 20), false),
             returnRow("éclair", "Scanner", QDate(2001, 1, 2), false, "Pas de « papier »; urgent"),
             returnRow("Écho", "Clavier", QDate(2001, 2, 27), true),
             returnRow("Alpha", "Souris", QDate(2001, 1, 31), false),
             returnRow("b", "Onduleur", QDate(2001, 2, 1), true),
             returnRow("LOREAL SA", "Portable", QDate(2001, 1, 20), false),
             returnRow("Société Générale d'Équipement", "Écran 17\"", QDate(2001, 1, 5), true)},
            {{{"clientp", text("L'Oréal")},
              {"dateaccordp", date(2001, 1, 10)},
              {"materielp", text("Portable de prêt")}},
             {{"clientp", text("Autre")}, {"dateaccordp", date(2001, 1, 11)}}});
        path = onEngine(path, QStringLiteral("liste"));
        QVERIFY(!path.isEmpty());
    }

    void captionsAndCount() {
        RowListModel model(openReadOnly(path), returnListDesign());
        QStringList captions;
        for (int c = 0; c < model.columnCount(); ++c)
            captions << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(captions,
                 (QStringList{"Emetteur", "N° Accord", "Date accord", "Client", "Matériel",
                              "Motif de retour", "Date de réception", "Par qui ?",
                              "Date de retour client", "Interventions effectuées", "Par qui ?"}));
        QCOMPARE(model.countText(), QStringLiteral("8 fiches"));
        model.fetchAllRows();
        QCOMPARE(model.data(model.index(0, receivedColumn)).toString(),
                 QStringLiteral("15/01/2001"));
    }

    void readsOnlyTheRowsAskedFor() {
        QTemporaryDir big;
        const QString bigPath = big.filePath(QStringLiteral("grand.mdb"));
        std::vector<Row> rows;
        for (int i = 0; i < 3 * RowListModel::batchSize + 17; ++i)
            rows.push_back(returnRow(
                QStringLiteral("Client %1").arg(i, 4, 10, QLatin1Char('0')).toUtf8().constData(),
                "Écran", QDate(2001, 1, 1).addDays(i % 300), i % 2));
        sheetstest::createDatabase(bigPath, rows, {});
        RowListModel model(openReadOnly(onEngine(bigPath, QStringLiteral("grand"))),
                           returnListDesign());
        QCOMPARE(model.rowsRead(), long(RowListModel::batchSize));
        QCOMPARE(model.rowCount(), RowListModel::batchSize);
        QCOMPARE(model.matchCount(), long(rows.size()));
        QVERIFY(model.canFetchMore());
        model.fetchMore();
        QCOMPARE(model.rowCount(), 2 * RowListModel::batchSize);
        QCOMPARE(model.rowsRead(), long(2 * RowListModel::batchSize));
        model.fetchAllRows();
        QCOMPARE(model.rowCount(), int(rows.size()));
        QCOMPARE(model.data(model.index(int(rows.size()) - 1, clientColumn)).toString(),
                 QStringLiteral("Client %1").arg(rows.size() - 1, 4, 10, QLatin1Char('0')));

        // One block held: rows dropped and read again are the rows of their
        // place, in the list's order, filtered or not.
        model.setBlocksKept(1);
        model.sort(clientColumn, Qt::DescendingOrder);
        for (const QString& typed : {QString(), QStringLiteral("1")}) {
            model.setFilter(typed);
            QStringList expected;
            for (int i = int(rows.size()) - 1; i >= 0; --i)
                if (QString::number(i).contains(typed))
                    expected << QStringLiteral("Client %1").arg(i, 4, 10, QLatin1Char('0'));
            QCOMPARE(column(model, clientColumn), expected);
            QCOMPARE(column(model, clientColumn), expected); // every block read again
        }
    }

    void sorts_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("expected");
        const QStringList clients{
            "Alpha", "b", "Écho", "éclair", "L'Oréal", "LOREAL SA", "Société Générale d'Équipement",
            "Zèbre"};
        QStringList descending = clients;
        std::reverse(descending.begin(), descending.end());
        QTest::newRow("client, accents and case ignored")
            << clientColumn << int(Qt::AscendingOrder) << clients;
        QTest::newRow("client, descending")
            << clientColumn << int(Qt::DescendingOrder) << descending;
        const QStringList dates{"02/01/2001", "05/01/2001", "15/01/2001", "20/01/2001",
                                "31/01/2001", "01/02/2001", "20/02/2001", "27/02/2001"};
        QStringList latestFirst = dates;
        std::reverse(latestFirst.begin(), latestFirst.end());
        QTest::newRow("date") << receivedColumn << int(Qt::AscendingOrder) << dates;
        QTest::newRow("date, descending")
            << receivedColumn << int(Qt::DescendingOrder) << latestFirst;
    }

    void sorts() {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QStringList, expected);
        RowListModel model(openReadOnly(path), returnListDesign());
        model.sort(column, Qt::SortOrder(order));
        QCOMPARE(::column(model, column), expected);
    }

    void filters_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("clients");
        QTest::addColumn<QString>("count");
        QTest::newRow("accents, case, apostrophe")
            << "loreal" << QStringList{"L'Oréal", "LOREAL SA"} << "2 fiches sur 8";
        QTest::newRow("upper case typed") << "ÉCLAIR" << QStringList{"éclair"} << "1 fiche sur 8";
        QTest::newRow("two words, two columns")
            << "oreal imprim" << QStringList{"L'Oréal"} << "1 fiche sur 8";
        QTest::newRow("double quote typed")
            << "écran 17\"" << QStringList{"Société Générale d'Équipement"} << "1 fiche sur 8";
        QTest::newRow("apostrophe typed")
            << "d'equipement" << QStringList{"Société Générale d'Équipement"} << "1 fiche sur 8";
        QTest::newRow("SQL in the box") << "' OR 1=1 --" << QStringList{} << "Aucune fiche sur 8";
        QTest::newRow("reason column") << "papier" << QStringList{"éclair"} << "1 fiche sur 8";
        QTest::newRow("blank") << "   " << QStringList{"L'Oréal",   "Zèbre",
                                                       "éclair",    "Écho",
                                                       "Alpha",     "b",
                                                       "LOREAL SA", "Société Générale d'Équipement"}
                               << "8 fiches";
    }

    void filters() {
        QFETCH(QString, typed);
        QFETCH(QStringList, clients);
        QFETCH(QString, count);
        RowListModel model(openReadOnly(path), returnListDesign());
        model.setFilter(typed);
        QCOMPARE(column(model, clientColumn), clients);
        QCOMPARE(model.countText(), count);
    }

    void outstandingRowsAndAges() {
        RowListModel model(openReadOnly(path), returnListDesign());
        model.setToday(QDate(2001, 3, 1));
        model.setThreshold(30);
        model.setOutstandingOnly(true);
        model.sort(model.columnCount() - 1, Qt::DescendingOrder); // oldest first
        QCOMPARE(model.headerData(model.columnCount() - 1, Qt::Horizontal).toString(),
                 QStringLiteral("En cours depuis"));
        QCOMPARE(column(model, clientColumn),
                 (QStringList{"éclair", "LOREAL SA", "Alpha", "Zèbre"}));
        QCOMPARE(column(model, model.columnCount() - 1),
                 (QStringList{"58 j", "40 j", "29 j", "9 j"}));
        QList<bool> overdue;
        for (int r = 0; r < model.rowCount(); ++r)
            overdue << model.data(model.index(r, 0), RowListModel::OverdueRole).toBool();
        QCOMPARE(overdue, (QList<bool>{true, true, false, false}));
        QCOMPARE(model.countText(), QStringLiteral("4 fiches sur 8"));
        model.setFilter(QStringLiteral("zebre"));
        QCOMPARE(model.countText(), QStringLiteral("1 fiche sur 8"));
    }

    void csvReadBackFieldByField() {
        RowListModel model(openReadOnly(path), returnListDesign());
        model.sort(clientColumn, Qt::AscendingOrder);
        model.fetchAllRows();
        const QByteArray bytes = csv::writeModel(model, RowListModel::ValueRole);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        const QList<QStringList> lines = parseCsv(QString::fromUtf8(bytes.mid(3)));
        QCOMPARE(lines.size(), model.rowCount() + 1);
        QCOMPARE(lines[0].size(), model.columnCount());
        QCOMPARE(lines[0][3], QStringLiteral("Client"));
        for (int r = 0; r < model.rowCount(); ++r) {
            for (int c = 0; c < model.columnCount(); ++c) {
                const QVariant value = model.data(model.index(r, c), RowListModel::ValueRole);
                const QString expected = value.typeId() == QMetaType::QDate
                                             ? value.toDate().toString(QStringLiteral("dd/MM/yyyy"))
                                             : value.toString();
                QCOMPARE(lines[r + 1][c], expected);
            }
        }
        QCOMPARE(lines[1][3], QStringLiteral("Alpha"));
        QCOMPARE(lines[1][6], QStringLiteral("31/01/2001"));
        QVERIFY(bytes.contains("\"Pas de « papier »; urgent\""));
    }

    void clientHistoryAcrossBothTables() {
        std::shared_ptr<jet::Database> database = openReadOnly(path);
        ClientHistoryModel history(*database, QStringLiteral("l'oréal"));
        QStringList seen;
        for (int r = 0; r < history.rowCount(); ++r)
            seen << history.data(history.index(r, 0)).toString() + QLatin1Char(' ') +
                        history.data(history.index(r, 1)).toString() + QLatin1Char(' ') +
                        history.data(history.index(r, 5)).toString();
        QCOMPARE(seen,
                 (QStringList{"Prêt 10/01/2001 Portable de prêt", "Retour 15/01/2001 Imprimante"}));
        QCOMPARE(history.entry(0).which, SheetHost::Sheet::Loan);
        QVERIFY(history.entry(1).bookmark.valid());
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return sheetstest::runOnFileAndServer<ListModelTest>(argc, argv);
}
#include "list_model_test.moc"
