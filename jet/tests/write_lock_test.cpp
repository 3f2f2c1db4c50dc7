// A file whose write lock another process holds: writes wait for it, fail
// with Error(Locked) after the timeout without writing anything, and go
// through once the other process is done. A lock-wait handler sees the wait
// from its start, in short slices, can give it up, and sees its end.
#include "file/file_lock.h"
#include "file/page_store.h"
#include "test_support.h"

#include "jet/database.h"
#include "jet/lock_wait.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace jet;

namespace {

// Another process holding the file's write lock until it ends.
std::unique_ptr<jettest::OtherProcess> otherProcessLocking(const std::string& file)
{
    return std::make_unique<jettest::OtherProcess>([file] {
        auto* store = new writer::PageStore(file); // kept until the process exits
        store->lock().lockExclusive();
    });
}

std::string smallDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "verrou.mdb").string();
    auto db = Database::create(file);
    db->createTable("tablep", {{"clientp", ColumnType::Text, 255}});
    return file;
}

struct HandlerScope {
    explicit HandlerScope(LockWaitHandler h) { previous = setLockWaitHandler(std::move(h)); }
    ~HandlerScope() { setLockWaitHandler(std::move(previous)); }
    LockWaitHandler previous;
};

} // namespace

TEST(WriteLock, WritesWaitForAnotherProcessAndTimeOut)
{
    std::string file = smallDatabase(jettest::scratchDir());
    auto db = Database::open(file, OpenMode::ReadWrite);
    auto rs = db->openRecordset("tablep");
    rs->addNew();
    rs->setValue(0, Value::text("en attente"));
    auto other = otherProcessLocking(file);
    const std::string before = jettest::fileBytes(file);
    writer::FileLock::setDefaultTimeout(300);
    try {
        rs->update();
        ADD_FAILURE() << "écriture acceptée malgré le verrou d'un autre programme";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::Locked);
        EXPECT_NE(std::string(e.what()).find("verrouillé"), std::string::npos);
    }
    writer::FileLock::setDefaultTimeout(30000);
    EXPECT_EQ(jettest::fileBytes(file), before);
    EXPECT_TRUE(other->end());
    rs->update(); // still pending: goes through now
    EXPECT_EQ(db->table("tablep").rowCount, 1u);
}

// The handler, for a write and for a read, either waiting until the other
// process lets go (released after `releaseAfter` calls) or giving up after
// `giveUpAfter` calls.
TEST(WriteLock, HandlerSeesTheWaitInSlicesAndMayGiveUp)
{
    struct Case {
        const char* name;
        bool write;
        int releaseAfter; // 0: never
        int giveUpAfter;  // 0: never
    };
    const Case cases[] = {
        {"écriture attendue", true, 4, 0},
        {"écriture abandonnée", true, 0, 3},
        {"lecture attendue", false, 4, 0},
        {"lecture abandonnée", false, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = smallDatabase(jettest::scratchDir());
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("tablep");
        rs->addNew();
        rs->setValue(0, Value::text("en attente"));
        auto other = otherProcessLocking(file);
        const std::string before = jettest::fileBytes(file);

        std::vector<LockWait> calls;
        HandlerScope scope([&](const LockWait& w) {
            calls.push_back(w);
            if (w.phase == LockWait::Phase::End)
                return true;
            const int waits = int(calls.size());
            if (c.releaseAfter && waits == c.releaseAfter)
                other->end();
            return !(c.giveUpAfter && waits == c.giveUpAfter);
        });
        bool refused = false;
        try {
            if (c.write)
                rs->update();
            else
                db->table("tablep");
        } catch (const Error& e) {
            refused = true;
            EXPECT_EQ(e.code(), Code::Locked);
            EXPECT_NE(std::string(e.what()).find("attente abandonnée"), std::string::npos) << e.what();
        }
        EXPECT_EQ(refused, c.giveUpAfter != 0);
        const size_t expected = size_t(c.releaseAfter ? c.releaseAfter : c.giveUpAfter) + 1;
        ASSERT_EQ(calls.size(), expected);
        EXPECT_EQ(calls.front().phase, LockWait::Phase::Begin);
        EXPECT_LT(calls.front().waitedMs, 10);
        for (size_t i = 1; i + 1 < calls.size(); ++i) {
            EXPECT_EQ(calls[i].phase, LockWait::Phase::Waiting);
            // Slices, not one long sleep (generous bounds for a loaded machine).
            EXPECT_GE(calls[i].waitedMs - calls[i - 1].waitedMs, kLockWaitSliceMs - 5);
        }
        for (const LockWait& w : calls) {
            EXPECT_EQ(w.write, c.write);
            EXPECT_EQ(w.path, file);
        }
        EXPECT_EQ(calls.back().phase, LockWait::Phase::End);
        EXPECT_EQ(calls.back().acquired, !refused);
        other.reset();
        if (c.write && refused)
            EXPECT_EQ(jettest::fileBytes(file), before);

        // A free lock is taken without a word to the handler.
        calls.clear();
        if (rs->editMode() != Recordset::EditMode::None)
            rs->update();
        EXPECT_EQ(db->table("tablep").rowCount, 1u);
        EXPECT_TRUE(calls.empty());
    }
}
