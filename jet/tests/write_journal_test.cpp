// The rollback journal on its own, in the states a crash or a power loss can
// leave it in:
//  - whole, the file half written and grown: the file is restored exactly;
//  - whole, the file entirely written (only the "finished" mark was lost):
//    the write is kept;
//  - torn (the writer died while writing it, before any page of the file
//    changed), including records left over from an earlier, longer journal:
//    the file is left as it is;
//  - finished: nothing happens, and the writer removes it when it closes.
#include "journal.h"
#include "page_store.h"
#include "write_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

using namespace jet;

namespace {

constexpr uint32_t kPage = 4096;

std::string makeDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "journal.mdb").string();
    auto db = Database::create(file);
    db->createTable("tablep", {{"clientp", ColumnType::Text, 255}, {"rdzvp", ColumnType::Memo}});
    auto rs = db->openRecordset("tablep");
    for (int i = 0; i < 20; ++i) {
        rs->addNew();
        rs->setValue(0, Value::text("Client " + std::to_string(i)));
        rs->setValue(1, Value::text(std::string(100 * i, 'r')));
        rs->update();
    }
    return file;
}

// Recovery as a writer runs it when it takes the lock; true when pages were
// copied back.
bool recover(const std::string& file)
{
    int fd = ::open(file.c_str(), O_RDWR);
    bool restored = writer::recoverFromJournal(fd, file);
    ::close(fd);
    return restored;
}

const uint8_t* bytesOf(const std::string& s, uint32_t page)
{
    return reinterpret_cast<const uint8_t*>(s.data()) + size_t(page) * kPage;
}

// A write of pages 1, 2, 6 and 14 plus one appended page, as a writer would
// journal it: the originals from `before`, the new bytes from `after`.
struct PlannedWrite {
    std::string before, after;
    std::vector<writer::JournalPage> pages;
    PlannedWrite(const std::string& original, char fill) : before(original), after(original)
    {
        after.append(kPage, fill);
        for (uint32_t n : {1u, 2u, 6u, 14u})
            std::fill_n(after.begin() + n * kPage, kPage, fill);
        for (uint32_t n : {1u, 2u, 6u, 14u})
            pages.push_back({n, bytesOf(before, n), bytesOf(after, n)});
        uint32_t appended = uint32_t(original.size() / kPage);
        pages.push_back({appended, nullptr, bytesOf(after, appended)});
    }
    void journal(const std::string& file) const
    {
        writer::writeJournal(file, kPage, before.size(), after.size(), pages);
    }
};

} // namespace

TEST(WriteJournal, HalfWrittenFileIsRestoredExactly)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = writetest::fileBytes(file);
    PlannedWrite w(original, '\xAB');
    w.journal(file);
    // The writer changed two of the pages and grew the file, then died.
    writetest::writeAt(file, w.after.substr(2 * kPage, kPage), 2 * kPage);
    writetest::writeAt(file, w.after.substr(original.size()), off_t(original.size()));
    ASSERT_TRUE(writer::journalPending(file));

    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(writetest::fileBytes(file), original);
    EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 20);
}

TEST(WriteJournal, CheckRestoresAHalfWrittenFileFirst)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = writetest::fileBytes(file);
    PlannedWrite w(original, '\xEF');
    w.journal(file);
    writetest::writeAt(file, w.after.substr(kPage, 2 * kPage), kPage);
    CheckReport report = checkDatabase(file);
    EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
    for (const std::string& note : report.notes)
        EXPECT_EQ(note.find("interrompue"), std::string::npos) << note;
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(writetest::fileBytes(file), original);
}

TEST(WriteJournal, WholeWriteWhoseFinishWasLostIsKept)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = writetest::fileBytes(file);
    PlannedWrite w(original, '\xCD');
    w.journal(file);
    writetest::writeAt(file, w.after, 0); // every page reached the disk; the mark did not
    EXPECT_FALSE(recover(file));
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(writetest::fileBytes(file), w.after);
}

TEST(WriteJournal, TornJournalLeavesTheFileAsItIs)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = writetest::fileBytes(file);
    const std::string jpath = writer::journalPath(file);

    // Cut inside the header, then inside a page record.
    for (off_t cut : {off_t(20), off_t(48 + 24 + 100)}) {
        PlannedWrite w(original, '\x11');
        w.journal(file);
        ASSERT_EQ(::truncate(jpath.c_str(), cut), 0);
        EXPECT_FALSE(recover(file)) << "coupé à " << cut;
        EXPECT_EQ(writetest::fileBytes(file), original);
    }

    // A journal rewritten in place whose last records never reached the disk:
    // the records there are whole, but belong to the earlier journal.
    PlannedWrite first(original, '\x22');
    first.journal(file);
    const std::string earlier = writetest::fileBytes(jpath);
    PlannedWrite second(original, '\x33');
    second.journal(file);
    const std::string later = writetest::fileBytes(jpath);
    ASSERT_EQ(earlier.size(), later.size());
    const size_t keep = 48 + 2 * (24 + kPage);
    writetest::writeAt(jpath, earlier.substr(keep), off_t(keep));
    ASSERT_TRUE(writer::journalPending(file));
    EXPECT_FALSE(recover(file));
    EXPECT_EQ(writetest::fileBytes(file), original);
}

TEST(WriteJournal, WriterKeepsTheJournalWhileOpenAndRemovesItOnClose)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string jpath = writer::journalPath(file);
    EXPECT_FALSE(std::filesystem::exists(jpath));
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("tablep");
        rs->addNew();
        rs->setValue(0, Value::text("Nouveau client"));
        rs->update();
        EXPECT_TRUE(std::filesystem::exists(jpath));
        EXPECT_FALSE(writer::journalPending(file));
        // A reader opening meanwhile finds nothing to restore.
        auto reader = Database::open(file, OpenMode::ReadOnly);
        EXPECT_EQ(reader->openRecordset("tablep")->recordCount(), 21);
        // Another process reading at the moment the writer closes.
        int toParent[2];
        ASSERT_EQ(::pipe(toParent), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            writer::PageStore store(file, true);
            store.lock().lockShared();
            if (::write(toParent[1], "x", 1) != 1)
                _exit(1);
            ::usleep(100000);
            _exit(0);
        }
        char c;
        ASSERT_EQ(::read(toParent[0], &c, 1), 1);
        db.reset();
        ::waitpid(pid, nullptr, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(jpath));
}
