// `velmor-db migrate FILE postgresql://...` on a scratch cluster: the tables
// with their columns and indexes, every row equal to the file's (accents,
// NULLs, a memo of 6,000 characters), a progress line and the count per
// table, and a second run refused without touching the rows copied; then
// export, query and count on the server, which print what they print on the
// file.
#include "server/migration.h"
#include "server/server_address.h"

#include "jet/recordset.h"
#include "jet/status.h"

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "testkit/fixtures.h"
#include "testkit/scratch_server.h"

using namespace velmor;
using namespace velmor::server;

class MigrationTest : public QObject {
    Q_OBJECT

    ScratchServer cluster_;
    QTemporaryDir dir_;

    QString path_;

    // Runs velmor-db; its exit code, standard output and error.
    std::tuple<int, QString, QString> velmorDb(const QStringList& arguments)
    {
        QProcess tool;
        tool.start(QStringLiteral(VELMOR_DB), arguments);
        tool.waitForFinished(120000);
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromUtf8(tool.readAllStandardOutput()), QString::fromUtf8(tool.readAllStandardError())};
    }

    std::unique_ptr<jet::Database> fileWithLongMemo(const std::string& memo)
    {
        const QString path = dir_.filePath(QStringLiteral("velmor2001.mdb"));
        QFile::remove(path);
        if (!QFile::copy(QString::fromStdString(fixtures::path("velmor2001.mdb")), path))
            return nullptr;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        path_ = path;
        auto db = jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        rs->moveLast();
        rs->edit();
        rs->setValue(rs->columnIndex("intervention"), jet::Value::text(memo));
        rs->setValue(rs->columnIndex("parquiinterv"), jet::Value::null());
        rs->update();
        return db;
    }

private slots:
    void initTestCase()
    {
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        VELMOR_SKIP_WITHOUT_POSTGRESQL(cluster_);
        QVERIFY2(cluster_.start(), qPrintable(cluster_.error()));
    }

    void copiesEveryRowOnceAndRefusesASecondRun()
    {
        std::string memo;
        for (int i = 0; memo.size() < 6000; ++i)
            memo += "Réparé ligne " + std::to_string(i) + " : écran ôté, câble changé.\r\n";
        auto file = fileWithLongMemo(memo);
        QVERIFY(file);
        const QString url = cluster_.createDatabase(QStringLiteral("copie"));
        QVERIFY2(!url.isEmpty(), qPrintable(cluster_.error()));
        const auto migrate = [&] { return velmorDb({QStringLiteral("migrate"), path_, url}); };
        const auto [code, out, err] = migrate();
        QVERIFY2(code == 0, qPrintable(err));
        for (const char* table : {"velmor2001", "tablep"}) {
            QVERIFY2(out.contains(QStringLiteral("%1 : 8 lignes copiées").arg(QLatin1String(table))), qPrintable(out));
            QVERIFY2(err.contains(QStringLiteral("%1 : 8 / 8 lignes").arg(QLatin1String(table))), qPrintable(err));
        }
        auto server = ServerDatabase::connect(*parseServerAddress(url));

        bool sawMemo = false, sawNull = false, sawAccent = false;
        for (const std::string& table : file->tableNames()) {
            const jet::TableInfo mine = file->table(table), theirs = server->table(table);
            QCOMPARE(theirs.columns.size(), mine.columns.size());
            for (size_t i = 0; i < mine.columns.size(); ++i) {
                QCOMPARE(theirs.columns[i].name, mine.columns[i].name);
                QCOMPARE(theirs.columns[i].type, mine.columns[i].type);
                QCOMPARE(theirs.columns[i].maxChars, mine.columns[i].maxChars);
            }
            auto a = file->openRecordset(table);
            auto b = server->openRecordset(table);
            QCOMPARE(b->recordCount(), a->recordCount());
            for (; !a->eof(); a->moveNext(), b->moveNext()) {
                for (int c = 0; c < int(mine.columns.size()); ++c) {
                    const jet::Value v = a->value(c);
                    QVERIFY2(b->value(c) == v, (table + "." + mine.columns[size_t(c)].name + " = " + v.toString()).c_str());
                    sawNull |= v.isNull();
                    sawMemo |= v.kind() == jet::Value::Kind::Text && v.asText() == memo;
                    sawAccent |= v.kind() == jet::Value::Kind::Text && v.asText() == "L'Oréal";
                }
            }
        }
        QVERIFY(sawMemo && sawNull && sawAccent);

        // The client and author columns are indexed, and text compares as on
        // the file: case ignored.
        QSqlQuery q(server->connection());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE tablename = 'velmor2001' AND "
                                      "(indexdef LIKE '%(client)%' OR indexdef LIKE '%(nomauteur)%')")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2);
        QCOMPARE(server->openRecordset("SELECT * FROM velmor2001 WHERE client = 'l''oréal'")->recordCount(),
                 file->openRecordset("SELECT * FROM velmor2001 WHERE client = 'l''oréal'")->recordCount());

        // A second run is refused before anything is written.
        const auto [again, out2, err2] = migrate();
        QCOMPARE(again, 1);
        QVERIFY2(err2.contains(QStringLiteral("déjà")), qPrintable(err2));
        for (const char* table : {"velmor2001", "tablep"})
            QCOMPARE(server->openRecordset(table)->recordCount(), 8L);

        const QStringList commands[] = {
            {"export", "velmor2001"},
            {"export", "tablep", "--lignes", "3"},
            {"query", "SELECT * FROM [tablep] WHERE [clientp] = 'l''oréal' OR [dateaccordp] >= #1/15/2001# "
                      "ORDER BY [dateenvoip] DESC, [clientp], naccordp"},
            {"count", "SELECT * FROM velmor2001 WHERE dateretourclient IS NULL"}};
        for (const QStringList& command : commands) {
            const auto onFile = velmorDb(QStringList{command[0], path_} + command.mid(1));
            const auto [code, out, err] = velmorDb(QStringList{command[0], url} + command.mid(1));
            QVERIFY2(code == 0, qPrintable(err));
            QVERIFY(!out.isEmpty());
            QCOMPARE(out, std::get<1>(onFile));
        }
    }
};

QTEST_GUILESS_MAIN(MigrationTest)
#include "migration_test.moc"
