// Writes through Database and Recordset: AddNew / Edit / Update / Delete,
// LastModified and bookmarks, memos moving between their three storage
// forms, rows that outgrow their page, refusals (autonumber columns, wrong type,
// text too long, read-only file), and execute().
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace jet;
using namespace jettest;

TEST(WriteRecordset, AddNewUpdateAndLastModified)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    Bookmark added;
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        ASSERT_FALSE(db->readOnly());
        auto rs = db->openRecordset("tablep");
        ASSERT_EQ(rs->recordCount(), 8);
        rs->moveFirst();
        Bookmark before = rs->bookmark();
        rs->addNew();
        EXPECT_EQ(rs->editMode(), Recordset::EditMode::Adding);
        rs->setValue(rs->columnIndex("clientp"), Value::text("Pâtisserie L'Étoile"));
        rs->setValue(rs->columnIndex("dateaccordp"), Value::dateTime(2004, 5, 6));
        rs->setValue(rs->columnIndex("nomauteurp"), Value::text("Hélène"));
        EXPECT_EQ(rs->value("clientp").asText(), "Pâtisserie L'Étoile");
        rs->update();
        EXPECT_EQ(rs->editMode(), Recordset::EditMode::None);
        EXPECT_EQ(rs->bookmark(), before);
        EXPECT_EQ(rs->recordCount(), 9);
        added = rs->lastModified();
        ASSERT_TRUE(added.valid());
        rs->setBookmark(added);
        EXPECT_EQ(rs->value("clientp").asText(), "Pâtisserie L'Étoile");
        EXPECT_TRUE(rs->value("motifp").isNull());
        EXPECT_EQ(db->table("tablep").rowCount, 9u);
    }
    auto rows = mdbExport(file, "tablep");
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[9][3], "Pâtisserie L'Étoile");
    EXPECT_EQ(rows[9][2], "2004-05-06 00:00:00");
    EXPECT_EQ(rows[9][11], "Hélène");
    expectExportsEqual(file, "tablep");
}

TEST(WriteRecordset, EditGrowsRowsAndMemosChangeForm)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    const std::vector<std::string> memos = {
        "Court.",
        repeatText("Remplacement du bloc d'alimentation, essais concluants. ", 900),
        repeatText("Journal d'intervention — étape validée.\r\n", 12000),
        "",
        repeatText("Réglage ", 70),
        repeatText("Chaîne ", 9000),
        "Fin.",
    };
    auto db = Database::open(file, OpenMode::ReadWrite);
    for (const std::string& memo : memos) {
        auto rs = db->openRecordset("velmor2001");
        // Every row, every time: the first rows hold all three memo forms.
        rs->moveFirst();
        int n = 0;
        while (!rs->eof()) {
            Bookmark b = rs->bookmark();
            rs->edit();
            rs->setValue(rs->columnIndex("intervention"), memo.empty() ? Value() : Value::text(memo));
            // Grow the row: long texts in every text column.
            rs->setValue(rs->columnIndex("motif"), Value::text(repeatText("Motif détaillé ", 200 + n)));
            rs->setValue(rs->columnIndex("materiel"), Value::text(repeatText("Écran ", 50)));
            rs->update();
            EXPECT_EQ(rs->lastModified(), b);
            EXPECT_EQ(rs->bookmark(), b);
            if (memo.empty())
                EXPECT_TRUE(rs->value("intervention").isNull());
            else
                EXPECT_EQ(rs->value("intervention").asText(), memo);
            rs->moveNext();
            ++n;
        }
        EXPECT_EQ(n, 8);
        expectExportsEqual(file, "velmor2001");
    }
    expectExportsEqual(file, "tablep");
}

TEST(WriteRecordset, DeleteRemovesRowsAndTheirMemos)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        rs->moveFirst(); // row 001 has a memo on a long-value page
        rs->deleteCurrent();
        EXPECT_TRUE(rs->isDeleted());
        EXPECT_THROW(rs->value(0), Error);
        rs->moveNext();
        EXPECT_FALSE(rs->isDeleted());
        EXPECT_EQ(rs->value("naccord").asText(), "A-2001-002");
        rs->moveLast(); // row 008 has a chained memo
        rs->deleteCurrent();
        rs->movePrevious();
        EXPECT_EQ(rs->value("naccord").asText(), "A-2001-007");
        EXPECT_EQ(db->table("velmor2001").rowCount, 6u);
    }
    auto rows = mdbExport(file, "velmor2001");
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[1][1], "A-2001-002");
    EXPECT_EQ(rows[6][1], "A-2001-007");
    expectExportsEqual(file, "velmor2001");
}

TEST(WriteRecordset, RefusedWritesLeaveTheFileUntouched)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    // Indexed tables are written with their indexes (see index_write_test).
    std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        rs->addNew();
        rs->setValue(rs->columnIndex("client"), Value::text("Indexé"));
        rs->update();
        EXPECT_EQ(db->table("velmor2001").rowCount, 9u);
    }
    expectExportsEqual(file, "velmor2001");

    // An autonumber column is the database's to set: every way of setting it
    // is refused, naming it, and nothing is written.
    const std::string indexedBefore = jettest::fileBytes(file);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        auto refusesId = [](const std::function<void()>& write, const char* what) {
            try {
                write();
                ADD_FAILURE() << what << " : accepté";
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), Code::InvalidValue) << what;
                EXPECT_NE(std::string(e.what()).find("« id » est numérotée automatiquement"), std::string::npos)
                    << what << " : " << e.what();
            }
        };
        rs->edit();
        refusesId([&] { rs->setValue(rs->columnIndex("id"), Value::integer(1)); }, "Edit puis SetValue");
        rs->cancelUpdate();
        refusesId([&] { db->execute("UPDATE velmor2001 SET id = 1"); }, "UPDATE");
        refusesId([&] { db->execute("UPDATE velmor2001 SET client = 'x', id = 100 WHERE id = 200"); }, "UPDATE sans ligne");
        refusesId([&] { db->execute("INSERT INTO velmor2001 (id, client) VALUES (3, 'x')"); }, "INSERT");
    }
    EXPECT_EQ(jettest::fileBytes(file), indexedBefore);

    std::string plain = copyFixture("velmor2001.mdb", dir);
    const std::string plainOriginal = jettest::fileBytes(plain);
    {
        auto db = Database::open(plain, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        rs->addNew();
        EXPECT_THROW(rs->setValue(rs->columnIndex("client"), Value::text(std::string(51, 'x'))), Error);
        EXPECT_THROW(rs->setValue(rs->columnIndex("dateaccord"), Value::text("hier")), Error);
        rs->cancelUpdate();
        EXPECT_THROW(db->execute("INSERT INTO velmor2001 (client) VALUES ('" + std::string(60, 'y') + "')"), Error);
        EXPECT_THROW(db->execute("UPDATE velmor2001 SET dateaccord = 'demain'"), Error);
    }
    EXPECT_EQ(jettest::fileBytes(plain), plainOriginal);
}

TEST(WriteRecordset, ExecuteInsertUpdateDelete)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    auto db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(db->execute("INSERT INTO tablep (clientp, dateaccordp, motifp) VALUES ('Chez l''ami', #2005-03-04#, 'Prêt')"), 1);
    EXPECT_EQ(db->execute("UPDATE tablep SET rdzvp = 'lundi', parquip = NULL WHERE clientp = 'Crédit Agricole'"), 2);
    EXPECT_EQ(db->execute("DELETE FROM tablep WHERE dateenvoip IS NULL"), 4);
    auto rows = readBack(file, "tablep");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(db->execute("DELETE FROM tablep"), 5);
    EXPECT_EQ(db->table("tablep").rowCount, 0u);
    expectExportsEqual(file, "velmor2001");
}

TEST(WriteRecordset, ReadOnlyFileOpensReadOnlyAndRefusesWrites)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    ::chmod(file.c_str(), 0444);
    ::chmod(dir.c_str(), 0755);
    // Root may write any file: check as an unprivileged user in a child.
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && ::setuid(65534) != 0)
            _exit(3);
        try {
            auto db = Database::open(file);
            if (!db->readOnly() || db->readOnlyReason().empty())
                _exit(4);
            auto rs = db->openRecordset("velmor2001");
            try {
                rs->addNew();
                rs->update();
                _exit(5);
            } catch (const Error& e) {
                if (e.code() != Code::ReadOnly)
                    _exit(6);
            }
            try {
                db->execute("DELETE FROM velmor2001");
                _exit(7);
            } catch (const Error& e) {
                if (e.code() != Code::ReadOnly)
                    _exit(8);
            }
            try {
                Database::open(file, OpenMode::ReadWrite);
                _exit(9);
            } catch (const Error& e) {
                if (e.code() != Code::ReadOnly)
                    _exit(10);
            }
        } catch (...) {
            _exit(11);
        }
        _exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(WriteRecordset, AutonumberTakesTheNextNumberAndRaisesTheCounter)
{
    auto dir = scratchDir();
    std::string file = (dir / "auto.mdb").string();
    {
        auto db = Database::create(file);
        db->createTable("t", {{"id", ColumnType::Long, 0, true}, {"nom", ColumnType::Text, 50}});
        auto rs = db->openRecordset("t");
        for (int i = 0; i < 5; ++i) {
            rs->addNew();
            EXPECT_THROW(rs->setValue(0, Value::integer(99)), Error);
            rs->setValue(1, Value::text("n" + std::to_string(i)));
            rs->update();
            rs->setBookmark(rs->lastModified());
            EXPECT_EQ(rs->value(0).asInt(), i + 1);
        }
        rs->moveLast();
        rs->deleteCurrent();
        EXPECT_EQ(db->execute("INSERT INTO t (nom) VALUES ('après')"), 1);
        EXPECT_EQ(db->table("t").nextAutonumber, 6u);
        EXPECT_EQ(db->table("t").rowCount, 5u);
    }
    auto rows = readBack(file, "t");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back()[0], "6");
    EXPECT_EQ(rows.back()[1], "après");
}
