// Compacting a file (Jet4 and Access 97 alike): the same rows in every table
// (system tables too), read the same by mdbtools, the same index entries,
// fewer pages; refused, the file untouched, while this
// engine in another process or Access (its lock-file slot) has it open.
#include "test_support.h"

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace jet;
using namespace jettest;

namespace {

using Table = std::vector<std::vector<std::string>>;

Table sorted(Table rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Every table, system tables included, rows sorted.
std::map<std::string, Table> everyTable(const std::string& file)
{
    std::map<std::string, Table> out;
    std::vector<std::string> names;
    {
        auto db = Database::open(file, OpenMode::ReadOnly);
        names = db->tableNames(true);
    }
    for (const std::string& name : names) {
        out[name] = sorted(readBack(file, name));
    }
    return out;
}

// A database with a memo table whose rows were mostly deleted, and memos
// rewritten: pages the tables keep but no longer fill.
std::string makeBloated(const std::filesystem::path& dir, Format format = Format::Jet4)
{
    std::string file = (dir / (format == Format::Jet3 ? "gonflee97.mdb" : "gonflee.mdb")).string();
    auto db = Database::create(file, format);
    db->createTable("notes", {{"numero", ColumnType::Long, 0, true},
                              {"client", ColumnType::Text, 50},
                              {"texte", ColumnType::Memo}});
    auto rs = db->openRecordset("notes");
    for (int i = 0; i < 600; ++i) {
        rs->addNew();
        rs->setValue(1, Value::text("Client " + std::to_string(i)));
        rs->setValue(2, Value::text(std::string(size_t(100 + i * 7), char('a' + i % 26))));
        rs->update();
    }
    db->execute("DELETE FROM notes WHERE numero > 40");
    return file;
}

struct Verdict {
    long indexes = 0, entries = 0;
    size_t problems = 0;
};

Verdict checked(const std::string& file)
{
    CheckReport r = checkDatabase(file);
    for (const auto& p : r.problems)
        ADD_FAILURE() << file << " : " << p;
    return {r.indexes, r.entries, r.problems.size()};
}

Error compactError(const std::string& file)
{
    try {
        compactDatabase(file);
    } catch (const Error& e) {
        return e;
    }
    return Error(Code::InvalidState, "compactée");
}

} // namespace

TEST(Compact, SameRowsAndIndexEntriesOnFewerPages)
{
    auto dir = scratchDir();
    std::vector<std::string> files = {makeBloated(dir), makeBloated(dir, Format::Jet3)};
    if (velmor::fixtures::present("velmor2001.mdb"))
        for (const char* name : {"velmor2001-indexed.mdb", "velmor2001.mdb", "velmor2001.accdb", "access-made/nwind.mdb",
                                 "access-corpus/indexTestV1997.mdb", "access-corpus/testIndexCodesV1997.mdb"})
            files.push_back(copyFixture(name, dir));
    std::vector<CompactResult> results;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto before = everyTable(file);
        const Verdict checkBefore = checked(file);
        std::map<std::string, Table> exported;
        for (const std::string& table : Database::open(file, OpenMode::ReadOnly)->tableNames())
            exported[table] = sorted(mdbExport(file, table));
        const uint64_t sizeBefore = std::filesystem::file_size(file);
        int calls = 0, lastDone = -1, lastTotal = -1;
        CompactResult r = compactDatabase(file, [&](int done, int total) {
            ++calls;
            EXPECT_GT(done, lastDone);
            lastDone = done;
            lastTotal = total;
        });
        EXPECT_EQ(r.sizeBefore, sizeBefore);
        EXPECT_EQ(r.sizeAfter, std::filesystem::file_size(file));
        EXPECT_LE(r.sizeAfter, r.sizeBefore);
        EXPECT_GT(calls, 0);
        EXPECT_EQ(lastDone, lastTotal);
        EXPECT_EQ(everyTable(file), before);
        const Verdict checkAfter = checked(file);
        EXPECT_EQ(checkAfter.indexes, checkBefore.indexes);
        EXPECT_EQ(checkAfter.entries, checkBefore.entries);
        for (const auto& [table, rows] : exported)
            EXPECT_EQ(sorted(mdbExport(file, table)), rows) << table;
        EXPECT_FALSE(std::filesystem::exists(file + "-compactage"));
        results.push_back(r);
    }
    // The indexes written afresh (Northwind's have node levels) take writes.
    if (files.size() > 5) {
        auto db = Database::open(files[5], OpenMode::ReadWrite);
        EXPECT_EQ(db->execute("UPDATE Customers SET CompanyName = 'Société Zénith' WHERE Country = 'Germany'"), 11);
        EXPECT_EQ(db->execute("DELETE FROM [Order Details] WHERE Quantity > 30"), 497);
        for (int i = 0; i < 20; ++i)
            db->execute("INSERT INTO Customers (CustomerID, CompanyName) VALUES ('Q" + std::to_string(i) + "', 'Élan')");
        db.reset();
        checked(files[5]);
    }
    // The files that had room to give back shrank to a fraction, and take
    // writes as before (their autonumber goes on).
    for (size_t i : {0, 1}) {
        EXPECT_LT(results[i].sizeAfter * 3, results[i].sizeBefore);
        auto db = Database::open(files[i], OpenMode::ReadWrite);
        db->execute("INSERT INTO notes (client, texte) VALUES ('Après', 'compactage')");
        auto rs = db->openRecordset("SELECT * FROM notes WHERE client = 'Après'");
        rs->moveFirst();
        EXPECT_EQ(rs->value(0).toString(), "601");
        checked(files[i]);
    }
}

TEST(Compact, RefusedWhileAnotherProgramHasTheFileOpen)
{
    auto dir = scratchDir();
    const std::string file = makeBloated(dir);
    const std::string original = fileBytes(file);
    {
        OtherProcess desk([&] { static auto db = Database::open(file, OpenMode::ReadOnly); });
        Error e = compactError(file);
        EXPECT_EQ(e.code(), Code::Locked) << e.what();
        EXPECT_NE(std::string(e.what()).find("ouverte dans un autre programme Velmor : compactage impossible"),
                  std::string::npos)
            << e.what();
    }
    {
        auto db = Database::open(file, OpenMode::ReadWrite); // this process counts too
        EXPECT_EQ(compactError(file).code(), Code::Locked);
    }
    {
        OtherProcess access(jetProgramIn((dir / "gonflee.ldb").string(), 1));
        Error e = compactError(file);
        EXPECT_EQ(e.code(), Code::ReadOnly) << e.what();
        EXPECT_NE(std::string(e.what()).find("par « Admin » sur le poste « PC-COMPTA »"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("compactage impossible"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileBytes(file), original);
    const std::string velmorDb = std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db";
    int status = 0;
    {
        OtherProcess desk([&] { static auto db = Database::open(file, OpenMode::ReadWrite); });
        std::string err = runCommand(velmorDb + " compact " + shellQuote(file) + " 2>&1", &status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(err.find("compactage impossible"), std::string::npos) << err;
    }
    EXPECT_EQ(fileBytes(file), original);
    // Nobody any more, and a copy left by a compaction that died: done.
    std::ofstream(file + "-compactage") << "reste d'un compactage interrompu";
    std::string out = runCommand(velmorDb + " compact " + shellQuote(file) + " 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("base compactée : " + std::to_string(original.size()) + " octets avant"), std::string::npos)
        << out;
    EXPECT_LT(std::filesystem::file_size(file), original.size());
    EXPECT_FALSE(std::filesystem::exists(file + "-compactage"));
    checked(file);
}
