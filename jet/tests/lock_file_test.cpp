// The lock file that Access and other Jet programs keep beside a database
// (NAME.ldb): a database open for writing holds a slot there (its names,
// and a byte-range lock that marks it live) and frees it on closing, the
// last user deleting the file; another program's live slot makes the
// database read-only, naming its user; stale slots are no obstacle.
#include "file/lock_file.h"
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace jet;
using namespace jettest;

namespace {

std::string makeDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "base.mdb").string();
    auto db = Database::create(file);
    db->createTable("tablep", {{"clientp", ColumnType::Text, 50}});
    return file;
}

std::string entry(const std::string& computer, const std::string& user)
{
    std::string e(64, '\0');
    e.replace(0, computer.size(), computer);
    e.replace(32, user.size(), user);
    return e;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Whether another open file holds a lock on byte `offset` of `path`.
bool lockedAt(const std::string& path, off_t offset)
{
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    ::fcntl(fd, F_OFD_GETLK, &fl);
    ::close(fd);
    return fl.l_type != F_UNLCK;
}

} // namespace

TEST(LockFile, NamedAfterTheDatabase)
{
    using writer::LockFileSlot;
    EXPECT_EQ(LockFileSlot::lockFilePath("/srv/velmor2001.mdb", false), "/srv/velmor2001.ldb");
    EXPECT_EQ(LockFileSlot::lockFilePath("/srv/velmor2001.accdb", true), "/srv/velmor2001.laccdb");
    EXPECT_EQ(LockFileSlot::lockFilePath("/srv/v.1/base", false), "/srv/v.1/base.ldb");
}

TEST(LockFile, OwnSlotTakenFreedAndTheFileRemovedByTheLastUser)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    const std::string ldb = (dir / "base.ldb").string();
    ASSERT_FALSE(std::filesystem::exists(ldb));
    {
        auto reader = Database::open(file, OpenMode::ReadOnly);
        EXPECT_FALSE(std::filesystem::exists(ldb)) << "une lecture seule ne prend pas de place";
    }
    const writer::LockFileUser me = writer::LockFileSlot::thisUser();
    const std::string mine = entry(me.computer.substr(0, 31), me.user.substr(0, 31));
    auto first = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(fileBytes(ldb), mine);
    EXPECT_TRUE(lockedAt(ldb, kUserLock));
    {
        auto second = Database::open(file, OpenMode::ReadWrite);
        EXPECT_FALSE(second->readOnly()) << second->readOnlyReason();
        EXPECT_EQ(fileBytes(ldb), mine + mine);
        EXPECT_TRUE(lockedAt(ldb, kUserLock + 1));
    }
    EXPECT_FALSE(lockedAt(ldb, kUserLock + 1));
    EXPECT_TRUE(std::filesystem::exists(ldb)) << "un autre utilisateur l'a encore ouverte";
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(ldb));
}

TEST(LockFile, TwoProcessesShareIt)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    const std::string ldb = (dir / "base.ldb").string();
    std::unique_ptr<Database> theirs;
    OtherProcess other([&] { theirs = Database::open(file, OpenMode::ReadWrite); }, [&] { theirs.reset(); });
    EXPECT_TRUE(lockedAt(ldb, kUserLock));
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        EXPECT_FALSE(db->readOnly()) << db->readOnlyReason();
        EXPECT_TRUE(lockedAt(ldb, kUserLock + 1));
        auto rs = db->openRecordset("tablep");
        rs->addNew();
        rs->setValue(0, Value::text("écrit à deux"));
        rs->update();
    }
    EXPECT_TRUE(std::filesystem::exists(ldb));
    other.end();
    EXPECT_FALSE(std::filesystem::exists(ldb));
}

TEST(LockFile, AnotherProgramsLiveUserMakesItReadOnly)
{
    struct Case {
        const char* name;
        int slot;
        off_t lockAt; // -1: the slot's own byte
        const char* names;
    };
    const Case cases[] = {
        {"place occupée", 1, -1, " par « Admin » sur le poste « PC-COMPTA »"},
        {"autre verrou de Jet", 0, 0x10000100 + 3 * 512, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dir = scratchDir();
        const std::string file = makeDatabase(dir);
        const std::string ldb = (dir / "base.ldb").string();
        writeFile(ldb, entry("PC-ANCIEN", "parti"));
        OtherProcess access(jetProgramIn(ldb, c.slot, c.lockAt));
        const std::string before = fileBytes(ldb);
        {
            auto db = Database::open(file);
            EXPECT_TRUE(db->readOnly());
            const std::string why = db->readOnlyReason();
            EXPECT_EQ(why.find(file), 0u) << why;
            EXPECT_NE(why.find(std::string("(Access, par exemple)") + c.names + " : lecture seule"),
                      std::string::npos)
                << why;
            EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 0);
            try {
                Database::open(file, OpenMode::ReadWrite);
                ADD_FAILURE() << "ouverte en écriture malgré l'autre programme";
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), Code::ReadOnly);
            }
        }
        EXPECT_EQ(fileBytes(ldb), before) << "le fichier de l'autre programme reste tel quel";
    }
}

TEST(LockFile, WritesRefusedWhileAnotherProgramJoinedAfterwards)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    const std::string ldb = (dir / "base.ldb").string();
    auto db = Database::open(file, OpenMode::ReadWrite);
    auto rs = db->openRecordset("tablep");
    rs->addNew();
    rs->setValue(0, Value::text("en attente"));
    OtherProcess access(jetProgramIn(ldb, 1));
    const std::string before = fileBytes(file);
    for (const auto& write : std::vector<std::function<void()>>{
             [&] { rs->update(); }, [&] { db->execute("INSERT INTO tablep (clientp) VALUES ('x')"); }}) {
        try {
            write();
            ADD_FAILURE() << "écriture acceptée pendant que l'autre programme a la base ouverte";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::ReadOnly);
            EXPECT_NE(std::string(e.what()).find("« PC-COMPTA »"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(fileBytes(file), before);
    access.end();
    rs->update(); // still pending: goes through now
    EXPECT_EQ(db->table("tablep").rowCount, 1u);
}

TEST(LockFile, StaleSlotsAreNoObstacle)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    const std::string ldb = (dir / "base.ldb").string();
    const std::string stale = entry("PC-COMPTA", "Admin") + entry("PC-ACCUEIL", "Admin");
    writeFile(ldb, stale);
    {
        auto db = Database::open(file);
        EXPECT_FALSE(db->readOnly()) << db->readOnlyReason();
        EXPECT_TRUE(lockedAt(ldb, kUserLock));
        const writer::LockFileUser me = writer::LockFileSlot::thisUser();
        EXPECT_EQ(fileBytes(ldb).substr(0, 64), entry(me.computer.substr(0, 31), me.user.substr(0, 31)));
        EXPECT_EQ(fileBytes(ldb).substr(64), stale.substr(64));
    }
    EXPECT_FALSE(std::filesystem::exists(ldb));
}
