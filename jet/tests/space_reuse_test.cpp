// Space given back is used again: memos rewritten again and again keep the
// file's size (each rewrite once left its pages behind), rows deleted leave
// room that new rows take (without taking their row numbers: another desk
// holding a deleted row's bookmark still finds it deleted), and the file
// stays sound for our check and mdb-export.
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <set>

using namespace jet;
using namespace jettest;

namespace {

constexpr uint64_t kPage = 4096;

uint64_t sizeOf(const std::string& file)
{
    return std::filesystem::file_size(file);
}

// A memo of `chars` characters, different for each `round` (accented, so
// that it is stored as a chain of long-value rows, two pages).
std::string memo(int round, size_t chars = 3000)
{
    std::string text = "Révision " + std::to_string(round) + " : ";
    while (text.size() < chars)
        text += "écran, clavier et câbles rendus ; ";
    return text.substr(0, chars);
}

std::string makeDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "notes.mdb").string();
    auto db = Database::create(file);
    db->createTable("notes", {{"numero", ColumnType::Long, 0, true},
                              {"client", ColumnType::Text, 50},
                              {"texte", ColumnType::Memo}});
    return file;
}

void insertNotes(Database& db, int count, int round)
{
    auto rs = db.openRecordset("notes");
    for (int i = 0; i < count; ++i) {
        rs->addNew();
        rs->setValue(1, Value::text("Client " + std::to_string(i)));
        rs->setValue(2, Value::text(memo(round)));
        rs->update();
    }
}

} // namespace

TEST(SpaceReuse, AHundredMemosRewrittenTwentyTimesKeepTheFileSize)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    uint64_t afterFirst = 0;
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        insertNotes(*db, 100, 0);
        afterFirst = sizeOf(file);
        for (int round = 1; round <= 20; ++round)
            EXPECT_EQ(db->execute("UPDATE notes SET texte = '" + memo(round) + "'"), 100);
    }
    EXPECT_LE(sizeOf(file), afterFirst + 4 * kPage);
    expectHealthy(file);
    auto rows = readBack(file, "notes");
    ASSERT_EQ(rows.size(), 100u);
    for (const auto& row : rows)
        EXPECT_EQ(row[2], memo(20));
    expectExportsEqual(file, "notes");
}

TEST(SpaceReuse, RowsDeletedLeaveRoomThatNewRowsTakeUnderNewNumbers)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    auto db = Database::open(file, OpenMode::ReadWrite);
    std::set<std::pair<uint32_t, int>> used;
    auto rs = db->openRecordset("notes");
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 120; ++i) {
            rs->addNew();
            rs->setValue(1, Value::text("Client " + std::to_string(round) + "-" + std::to_string(i)));
            rs->setValue(2, Value::text("court"));
            rs->update();
            Bookmark b = rs->lastModified();
            EXPECT_TRUE(used.insert({b.page, b.row}).second) << "ligne " << b.page << ":" << b.row << " redonnée";
        }
        const uint64_t full = sizeOf(file);
        EXPECT_EQ(db->execute("DELETE FROM notes"), 120);
        if (round > 0) // the pages of the first round took them all
            EXPECT_EQ(sizeOf(file), full) << "tour " << round;
    }
    const uint64_t sizeAfterRounds = sizeOf(file);
    rs.reset();
    db.reset();
    // The row numbers of a page run out (255): then a new page is taken.
    EXPECT_LT(sizeAfterRounds, 24 * kPage + sizeOf(makeDatabase(scratchDir())));
    expectHealthy(file);
    expectExportsEqual(file, "notes");
}

TEST(SpaceReuse, ARowDeletedAndItsRoomReusedIsStillDeletedForAnotherDesk)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        insertNotes(*db, 3, 0);
    }
    // This desk shows the second row.
    auto db = Database::open(file, OpenMode::ReadWrite);
    auto desk = db->openRecordset("SELECT * FROM notes ORDER BY numero");
    desk->moveFirst();
    desk->moveNext();
    const Bookmark shown = desk->bookmark();
    // Another desk deletes it and adds rows that take its room on its page.
    {
        auto other = Database::open(file, OpenMode::ReadWrite);
        other->execute("DELETE FROM notes WHERE numero = 2");
        auto rs = other->openRecordset("notes");
        for (int i = 0; i < 5; ++i) {
            rs->addNew();
            rs->setValue(1, Value::text("Nouveau " + std::to_string(i)));
            rs->setValue(2, Value::text("court"));
            rs->update();
            EXPECT_EQ(rs->lastModified().page, shown.page) << "la place libérée n'est pas reprise";
            EXPECT_NE(rs->lastModified().row, shown.row);
        }
    }
    desk->edit();
    desk->setValue(1, Value::text("Client modifié"));
    try {
        desk->update();
        ADD_FAILURE() << "une ligne supprimée a été écrite";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::RowDeleted) << e.what();
    }
    auto rows = readBack(file, "notes");
    EXPECT_EQ(rows.size(), 7u);
    for (const auto& row : rows)
        EXPECT_NE(row[1], "Client modifié");
}
