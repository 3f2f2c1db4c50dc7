// The rollback journal on its own: a journal left by a writer that died
// after flushing it (the file half written and grown) restores the file
// exactly; a torn journal (the writer died while writing it, before any
// page of the file changed) is dropped and the file left as it is.
#include "journal.h"
#include "write_support.h"

#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace jet;

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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

} // namespace

TEST(WriteJournal, LeftoverJournalRestoresTheFile)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = readAll(file);
    const uint32_t pageSize = 4096;
    std::vector<writer::JournalPage> pages;
    for (uint32_t n : {1u, 2u, 6u, 14u})
        pages.push_back({n, reinterpret_cast<const uint8_t*>(original.data()) + n * pageSize});
    writer::writeJournal(file, pageSize, original.size(), pages);
    // The writer then changed those pages and grew the file before dying.
    int fd = ::open(file.c_str(), O_RDWR);
    std::vector<uint8_t> junk(pageSize, 0xAB);
    for (const auto& p : pages)
        ASSERT_EQ(::pwrite(fd, junk.data(), pageSize, off_t(p.number) * pageSize), ssize_t(pageSize));
    ASSERT_EQ(::pwrite(fd, junk.data(), pageSize, off_t(original.size())), ssize_t(pageSize));
    ::close(fd);
    ASSERT_TRUE(writer::journalExists(file));

    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_FALSE(writer::journalExists(file));
    EXPECT_EQ(readAll(file), original);
    EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 20);
}

TEST(WriteJournal, TornJournalIsDroppedAndTheFileKept)
{
    auto dir = writetest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = readAll(file);
    std::vector<writer::JournalPage> pages = {{2, reinterpret_cast<const uint8_t*>(original.data()) + 2 * 4096}};
    writer::writeJournal(file, 4096, original.size(), pages);
    // Cut the journal inside its header: it was never complete.
    ASSERT_EQ(::truncate(writer::journalPath(file).c_str(), 20), 0);
    auto db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_FALSE(writer::journalExists(file));
    EXPECT_EQ(readAll(file), original);
    // A journal cut inside a page record keeps the whole records before it.
    std::vector<writer::JournalPage> two = {{1, reinterpret_cast<const uint8_t*>(original.data()) + 4096},
                                            {2, reinterpret_cast<const uint8_t*>(original.data()) + 2 * 4096}};
    writer::writeJournal(file, 4096, original.size(), two);
    ASSERT_EQ(::truncate(writer::journalPath(file).c_str(), 32 + 4104 + 100), 0);
    int fd = ::open(file.c_str(), O_RDWR);
    std::vector<uint8_t> junk(4096, 0xCD);
    ASSERT_EQ(::pwrite(fd, junk.data(), 4096, 4096), 4096);
    ::close(fd);
    db.reset();
    auto again = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(readAll(file), original);
}
