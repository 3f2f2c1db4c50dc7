// Compacting a file: the same rows in every table (system tables too), the
// same index entries, fewer pages; refused, the file untouched, while this
// engine in another process or Access (its lock-file slot) has it open.
#include "write_support.h"

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>

using namespace jet;
using namespace writetest;

namespace {

using Table = std::vector<std::vector<std::string>>;

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
        Table rows = readBack(file, name);
        std::sort(rows.begin(), rows.end());
        out[name] = rows;
    }
    return out;
}

// A database with a memo table whose rows were mostly deleted, and memos
// rewritten: pages the tables keep but no longer fill.
std::string makeBloated(const std::filesystem::path& dir)
{
    std::string file = (dir / "gonflee.mdb").string();
    auto db = Database::create(file);
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

// Another process that holds something open until the test lets it go.
class Holder {
public:
    explicit Holder(const std::function<void()>& hold)
    {
        int up[2], down[2];
        EXPECT_EQ(::pipe(up), 0);
        EXPECT_EQ(::pipe(down), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(up[0]);
            ::close(down[1]);
            char c = 'x';
            try {
                hold(); // what it opens stays open until _exit
            } catch (...) {
                c = 'e';
            }
            if (::write(up[1], &c, 1) != 1 || ::read(down[0], &c, 1) < 0)
                _exit(1);
            _exit(0);
        }
        ::close(up[1]);
        ::close(down[0]);
        release_ = down[1];
        char c = 0;
        EXPECT_EQ(::read(up[0], &c, 1), 1);
        EXPECT_EQ(c, 'x') << "l'autre processus a échoué";
        ::close(up[0]);
    }
    ~Holder()
    {
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

private:
    pid_t pid_ = 0;
    int release_ = -1;
};

// Access in slot 1 of the lock file: its names, and its lock on the slot's byte.
void accessHoldsSlot(const std::string& ldb)
{
    int fd = ::open(ldb.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        throw 1;
    std::string slot(64, '\0');
    slot.replace(0, 9, "PC-COMPTA");
    slot.replace(32, 5, "Admin");
    if (::pwrite(fd, slot.data(), slot.size(), 64) != 64)
        throw 1;
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0x10000001 + 1;
    fl.l_len = 1;
    if (::fcntl(fd, F_SETLK, &fl) != 0)
        throw 1;
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
    std::vector<std::string> files = {makeBloated(dir)};
    if (haveFixtures())
        for (const char* name : {"velmor2001-indexed.mdb", "velmor2001.mdb", "velmor2001.accdb"})
            files.push_back(copyFixture(name, dir));
    std::vector<CompactResult> results;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto before = everyTable(file);
        const Verdict checkBefore = checked(file);
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
        auto db = Database::open(file, OpenMode::ReadOnly);
        for (const std::string& table : db->tableNames())
            expectExportsEqual(file, table);
        EXPECT_FALSE(std::filesystem::exists(file + "-compactage"));
        results.push_back(r);
    }
    // The file that had room to give back shrank to a fraction.
    EXPECT_LT(results[0].sizeAfter * 3, results[0].sizeBefore);
    // And it takes writes as before (its autonumber goes on).
    auto db = Database::open(files[0], OpenMode::ReadWrite);
    db->execute("INSERT INTO notes (client, texte) VALUES ('Après', 'compactage')");
    auto rs = db->openRecordset("SELECT * FROM notes WHERE client = 'Après'");
    rs->moveFirst();
    EXPECT_EQ(rs->value(0).toString(), "601");
    checked(files[0]);
}

TEST(Compact, RefusedWhileAnotherProgramHasTheFileOpen)
{
    auto dir = scratchDir();
    const std::string file = makeBloated(dir);
    const std::string original = fileBytes(file);
    {
        Holder desk([&] { static auto db = Database::open(file, OpenMode::ReadOnly); });
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
        Holder access([&] { accessHoldsSlot((dir / "gonflee.ldb").string()); });
        Error e = compactError(file);
        EXPECT_EQ(e.code(), Code::ReadOnly) << e.what();
        EXPECT_NE(std::string(e.what()).find("par « Admin » sur le poste « PC-COMPTA »"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("compactage impossible"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileBytes(file), original);
    const std::string velmorDb = std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db";
    int status = 0;
    {
        Holder desk([&] { static auto db = Database::open(file, OpenMode::ReadWrite); });
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
