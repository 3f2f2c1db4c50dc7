// The row sources the application sends, as the server receives them: names
// quoted, every text and date taken out as a bound parameter (so that what a
// user typed never becomes SQL), and what the file engine refuses refused.
#include "server/row_source_sql.h"

#include "jet/status.h"

#include <QDateTime>
#include <QtTest>

using namespace velmor::server;

class RowSourceSqlTest : public QObject {
    Q_OBJECT

private slots:
    void translated_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("orderBy");
        QTest::addColumn<QVariantList>("parameters");

        QTest::newRow("table") << "tablep" << "tablep" << "" << "" << QVariantList{};
        QTest::newRow("tout") << "SELECT * FROM Velmor2001 " << "velmor2001" << "" << "" << QVariantList{};
        QTest::newRow("crochets, apostrophe, injection")
            << "SELECT * FROM [tablep] WHERE [clientp] = 'L''Oréal''; DROP TABLE tablep; --'"
            << "tablep" << "\"clientp\" = ?" << "" << QVariantList{QStringLiteral("L'Oréal'; DROP TABLE tablep; --")};
        QTest::newRow("en cours, dates, tri")
            << "SELECT * FROM [velmor2001] WHERE [dateretourclient] IS NULL AND [daterecp] < #2001-03-15# "
               "ORDER BY [client] DESC, naccord"
            << "velmor2001" << "\"dateretourclient\" IS NULL AND \"daterecp\" < ?" << "\"client\" DESC NULLS LAST , \"naccord\" NULLS FIRST"
            << QVariantList{QDateTime(QDate(2001, 3, 15), QTime(0, 0))};
        QTest::newRow("date mois d'abord")
            << "SELECT * FROM tablep WHERE (dateaccordp >= #1/31/2001 10:15:00# OR clientp <> '')" << "tablep"
            << "( \"dateaccordp\" >= ? OR \"clientp\" <> ? )" << ""
            << QVariantList{QDateTime(QDate(2001, 1, 31), QTime(10, 15)), QString()};
    }
    void translated()
    {
        QFETCH(QString, jet);
        const ServerRowSource source = translateRowSource(jet);
        QTEST(source.table, "table");
        QTEST(source.where, "where");
        QTEST(source.orderBy, "orderBy");
        QTEST(source.parameters, "parameters");
    }

    void refused()
    {
        for (const char* text : {"SELECT * FROM velmor2001 WHERE client='L'Oréal'", "SELECT FROM", "",
                                 "SELECT client FROM velmor2001", "SELECT * FROM tablep WHERE clientp LIKE 'A*'",
                                 "SELECT * FROM tablep; DELETE FROM tablep", "SELECT * FROM tablep WHERE x = #31/31/2001#",
                                 "SELECT * FROM tablep ORDER BY 'x'"}) {
            try {
                translateRowSource(QString::fromUtf8(text));
                QFAIL(text);
            } catch (const jet::Error& e) {
                QCOMPARE(e.code(), jet::Code::SqlError);
            }
        }
    }
};

QTEST_GUILESS_MAIN(RowSourceSqlTest)
#include "row_source_sql_test.moc"
