// A file whose write lock another process holds: writes wait for it, fail
// with Error(Locked) after the timeout without writing anything, and go
// through once the other process is done.
#include "file_lock.h"
#include "page_store.h"
#include "write_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

using namespace jet;

TEST(WriteLock, WritesWaitForAnotherProcessAndTimeOut)
{
    auto dir = writetest::scratchDir();
    std::string file = (dir / "verrou.mdb").string();
    {
        auto db = Database::create(file);
        db->createTable("tablep", {{"clientp", ColumnType::Text, 255}});
    }
    auto db = Database::open(file, OpenMode::ReadWrite);
    auto rs = db->openRecordset("tablep");
    rs->addNew();
    rs->setValue(0, Value::text("en attente"));
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        // Holds the write lock until told to let go.
        writer::PageStore store(file);
        store.lock().lockExclusive();
        char c = 'x';
        if (::write(toParent[1], &c, 1) != 1 || ::read(toChild[0], &c, 1) != 1)
            _exit(1);
        store.lock().unlock();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    const std::string before = writetest::fileBytes(file);
    writer::FileLock::setDefaultTimeout(300);
    try {
        rs->update();
        ADD_FAILURE() << "écriture acceptée malgré le verrou d'un autre programme";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::Locked);
        EXPECT_NE(std::string(e.what()).find("verrouillé"), std::string::npos);
    }
    EXPECT_EQ(writetest::fileBytes(file), before);
    ASSERT_EQ(::write(toChild[1], "y", 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    rs->update(); // still pending: goes through now
    EXPECT_EQ(db->table("tablep").rowCount, 1u);
    writer::FileLock::setDefaultTimeout(30000);
}
