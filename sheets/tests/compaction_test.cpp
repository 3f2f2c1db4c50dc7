// "Compacter la base": asked first, the sheets closed and opened again
// around the compaction, what was typed written before, the progress in the
// status text, the sizes before and after said; "Non" and a database open
// elsewhere leave the file as it was.
#include "sheets/record_sheet.h"
#include "sheets/record_source.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "testkit/scripted_dialogs.h"

#include "jet/database.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QtTest>

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

class CompactionTest : public QObject, public SheetDesk {
    Q_OBJECT

    // 300 returns of which 296 were deleted: pages the table no longer fills.
    void makeDatabase()
    {
        std::vector<Row> rows;
        for (int i = 0; i < 300; ++i)
            rows.push_back({{"naccord", jet::Value::text("A-" + std::to_string(i))},
                            {"client", text(i % 75 == 0 ? "Gardé" : "Parti")},
                            {"emetteur", text("Agence Lyon")}});
        useDatabase(QStringLiteral("compactage.mdb"), rows);
        jet::Database::open(QFile::encodeName(dbPath).toStdString())->execute(
            "DELETE FROM velmor2001 WHERE client = 'Parti'");
    }

private slots:
    void initTestCase() { useFrenchRegionalSettings(); }
    void init() { openDesk(); }
    void cleanup() { closeDesk(); }

    void compactsAndOpensTheSheetAgain()
    {
        makeDatabase();
        host->open(Sheet::Return);
        RecordSheet* before = returnSheet();
        QVERIFY(before && before->isLoaded());
        QCOMPARE(before->recordSource().RecordCount(), 4L);
        const qint64 sizeBefore = QFileInfo(dbPath).size();

        QStringList progress;
        connect(host.get(), &SheetHost::busyTextChanged, this, [&](const QString& t) {
            progress << t;
            if (!t.isEmpty()) // the sheets are closed, the cursor busy, meanwhile
                QVERIFY(!returnSheet() && QApplication::overrideCursor() &&
                        QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        });
        scripted->queueYesNo(true);
        host->compactDatabase();

        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 1);
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).at(0).text, SheetHost::compactQuestion(dbPath));
        QVERIFY(progress.size() >= 3);
        QVERIFY(progress.contains(QStringLiteral("Compactage de la base… 100 %")));
        QCOMPARE(progress.last(), QString());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        const qint64 sizeAfter = QFileInfo(dbPath).size();
        QVERIFY2(sizeAfter < sizeBefore, qPrintable(QStringLiteral("%1 -> %2").arg(sizeBefore).arg(sizeAfter)));
        const QStringList messages = scripted->messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).startsWith(QStringLiteral("La base %1 a été compactée.").arg(dbPath)),
                 qPrintable(messages.at(0)));
        QVERIFY(messages.at(0).contains(QStringLiteral("Taille avant : %1 Ko").arg((sizeBefore + 1023) / 1024)));
        QVERIFY(messages.at(0).contains(QStringLiteral("Taille après : %1 Ko").arg((sizeAfter + 1023) / 1024)));

        // The sheet is back, on the compacted file, and writes to it.
        RecordSheet* after = returnSheet();
        QVERIFY(after && after->isLoaded() && after->subWindow()->isVisible());
        QCOMPARE(after->recordSource().RecordCount(), 4L);
        QVERIFY(after->writable());
        QCOMPARE(readTable(dbPath, "velmor2001").size(), size_t(4));
        QCOMPARE(scripted->unansweredCalls(), 0);
    }

    void noOrAnotherProgramLeaveTheFileAsItWas()
    {
        makeDatabase();
        host->open(Sheet::Return);
        const QByteArray original = fileBytes(dbPath);

        scripted->queueYesNo(false);
        RecordSheet* shown = returnSheet();
        host->compactDatabase();
        QCOMPARE(returnSheet(), shown); // nothing closed
        QVERIFY(scripted->messages().isEmpty());
        QCOMPARE(fileBytes(dbPath), original);

        // Another desk has the database open: said, and the sheet comes back.
        auto other = jet::Database::open(QFile::encodeName(dbPath).toStdString(), jet::OpenMode::ReadOnly);
        scripted->queueYesNo(true);
        host->compactDatabase();
        const QStringList messages = scripted->messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).startsWith(QStringLiteral("La base %1 n'a pas été compactée :").arg(dbPath)),
                 qPrintable(messages.at(0)));
        QVERIFY(messages.at(0).contains(QStringLiteral("compactage impossible tant qu'elle y est ouverte")));
        QCOMPARE(fileBytes(dbPath), original);
        QVERIFY(returnSheet() && returnSheet()->isLoaded());
        QCOMPARE(returnSheet()->recordSource().RecordCount(), 4L);
    }
};

QTEST_MAIN(CompactionTest)
#include "compaction_test.moc"
