// The rollback journal on its own, in the states a crash or a power loss can
// leave it in:
//  - whole, the file half written and grown: the file is restored exactly;
//  - whole, the file entirely written (only the "finished" mark was lost):
//    the write is kept;
//  - torn (the writer died while writing it, before any page of the file
//    changed), including records left over from an earlier, longer journal:
//    the file is left as it is;
//  - finished: nothing happens, and the writer removes it when it closes;
//  - beside another file (a backup copied over the database after the
//    writer died): neither is changed, and every reader and writer says so.
#include "file/journal.h"
#include "file/page_store.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <fcntl.h>
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
    PlannedWrite(const std::string& original, char fill, std::vector<uint32_t> numbers = {1, 2, 6, 14})
        : before(original), after(original)
    {
        after.append(kPage, fill);
        for (uint32_t n : numbers)
            std::fill_n(after.begin() + n * kPage, kPage, fill);
        for (uint32_t n : numbers)
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
    auto dir = jettest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = jettest::fileBytes(file);
    PlannedWrite w(original, '\xAB');
    w.journal(file);
    // The writer changed one page and the first sectors of another (a power
    // cut in the middle of a page) and grew the file, then died.
    jettest::writeAt(file, w.after.substr(2 * kPage, kPage), 2 * kPage);
    jettest::writeAt(file, w.after.substr(6 * kPage, 1536), 6 * kPage);
    jettest::writeAt(file, w.after.substr(original.size()), off_t(original.size()));
    ASSERT_TRUE(writer::journalPending(file));
    const std::string halfWritten = jettest::fileBytes(file);

    // A reader shows the file as it was, and changes neither file.
    auto reader = Database::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(reader->openRecordset("tablep")->recordCount(), 20);
    EXPECT_FALSE(reader->journalOrphaned());
    EXPECT_TRUE(writer::journalPending(file));
    EXPECT_EQ(jettest::fileBytes(file), halfWritten);

    // An open for writing restores it.
    auto db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(jettest::fileBytes(file), original);
    EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 20);
}

TEST(WriteJournal, JournalOfAnotherFileIsNeverApplied)
{
    auto dir = jettest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string backup = (dir / "sauvegarde.mdb").string();
    std::filesystem::copy_file(file, backup);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        db->execute("UPDATE tablep SET rdzvp = 'après la sauvegarde' WHERE clientp = 'Client 3'");
        auto rs = db->openRecordset("tablep");
        for (int i = 0; i < 30; ++i) {
            rs->addNew();
            rs->setValue(0, Value::text("Ajout " + std::to_string(i)));
            rs->update();
        }
    }
    // A writer died in the middle of a write; then the user copied the
    // backup over the file.
    // It changed the pages that differ from the backup's.
    const std::string current = jettest::fileBytes(file), saved = jettest::fileBytes(backup);
    std::vector<uint32_t> differing;
    for (uint32_t n = 1; n < saved.size() / kPage; ++n)
        if (current.compare(size_t(n) * kPage, kPage, saved, size_t(n) * kPage, kPage) != 0)
            differing.push_back(n);
    ASSERT_FALSE(differing.empty());
    PlannedWrite w(current, '\x5C', differing);
    w.journal(file);
    jettest::writeAt(file, w.after.substr(size_t(differing[0]) * kPage, kPage), off_t(differing[0]) * kPage);
    std::filesystem::copy_file(backup, file, std::filesystem::copy_options::overwrite_existing);
    const std::string jpath = writer::journalPath(file);
    const std::string fileBefore = jettest::fileBytes(file), journalBefore = jettest::fileBytes(jpath);
    auto unchanged = [&] {
        EXPECT_EQ(jettest::fileBytes(file), fileBefore);
        EXPECT_EQ(jettest::fileBytes(jpath), journalBefore);
    };

    // Read-only: the backup as it is, and the reason.
    {
        auto db = Database::open(file, OpenMode::ReadOnly);
        EXPECT_TRUE(db->journalOrphaned());
        EXPECT_NE(db->readOnlyReason().find("journal orphelin : " + jpath), std::string::npos) << db->readOnlyReason();
        EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 20);
    }
    unchanged();
    // For writing: refused, or read-only when that is allowed.
    try {
        Database::open(file, OpenMode::ReadWrite);
        ADD_FAILURE() << "ouverte en écriture malgré le journal orphelin";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::OrphanedJournal);
        EXPECT_NE(std::string(e.what()).find("autre fichier"), std::string::npos) << e.what();
    }
    {
        auto db = Database::open(file, OpenMode::ReadWriteIfPossible);
        EXPECT_TRUE(db->readOnly());
        EXPECT_TRUE(db->journalOrphaned());
        EXPECT_THROW(db->execute("DELETE FROM tablep"), Error);
    }
    // A writer that had the file open before is refused its write.
    unchanged();
    int fd = ::open(file.c_str(), O_RDWR);
    EXPECT_THROW(writer::recoverFromJournal(fd, file), Error);
    ::close(fd);
    unchanged();
    // The check names the journal.
    CheckReport report = checkDatabase(file);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].find(jpath), std::string::npos) << report.problems[0];
    unchanged();
    // So does velmor-db, whatever the command: reads go on, on the file as it is.
    const std::string velmorDb = std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db ";
    const std::string q = jettest::shellQuote(file);
    const std::string errors = (dir / "erreurs").string(), toErrors = " 2>" + jettest::shellQuote(errors);
    const std::string orphaned = "journal orphelin : " + jpath;
    int status = -1;
    EXPECT_EQ(jettest::runCommand(velmorDb + "count " + q + " tablep" + toErrors, &status), "20\n");
    EXPECT_EQ(status, 0);
    EXPECT_NE(jettest::fileBytes(errors).find(orphaned), std::string::npos) << jettest::fileBytes(errors);
    EXPECT_EQ(jettest::parseCsv(jettest::runCommand(velmorDb + "export " + q + " tablep" + toErrors, &status)).size(),
              21u);
    EXPECT_EQ(status, 0);
    EXPECT_NE(jettest::fileBytes(errors).find(orphaned), std::string::npos) << jettest::fileBytes(errors);
    EXPECT_NE(jettest::runCommand(velmorDb + "check " + q + toErrors, &status).find(orphaned), std::string::npos);
    EXPECT_NE(status, 0);
    jettest::runCommand(velmorDb + "exec " + q + " \"DELETE FROM tablep\"" + toErrors, &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(jettest::fileBytes(errors).find(orphaned), std::string::npos) << jettest::fileBytes(errors);
    unchanged();
    // Once the journal is taken away, the backup opens for writing as usual.
    std::filesystem::remove(jpath);
    auto db = Database::open(file, OpenMode::ReadWrite);
    EXPECT_EQ(db->openRecordset("tablep")->recordCount(), 20);
    EXPECT_EQ(jettest::fileBytes(file), fileBefore);
}

TEST(WriteJournal, CheckRestoresAHalfWrittenFileFirst)
{
    auto dir = jettest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = jettest::fileBytes(file);
    PlannedWrite w(original, '\xEF');
    w.journal(file);
    jettest::writeAt(file, w.after.substr(kPage, 2 * kPage), kPage);
    CheckReport report = checkDatabase(file);
    EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
    for (const std::string& note : report.notes)
        EXPECT_EQ(note.find("interrompue"), std::string::npos) << note;
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(jettest::fileBytes(file), original);
}

TEST(WriteJournal, WholeWriteWhoseFinishWasLostIsKept)
{
    auto dir = jettest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = jettest::fileBytes(file);
    PlannedWrite w(original, '\xCD');
    w.journal(file);
    jettest::writeAt(file, w.after, 0); // every page reached the disk; the mark did not
    EXPECT_FALSE(recover(file));
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(jettest::fileBytes(file), w.after);
}

TEST(WriteJournal, TornJournalLeavesTheFileAsItIs)
{
    auto dir = jettest::scratchDir();
    std::string file = makeDatabase(dir);
    const std::string original = jettest::fileBytes(file);
    const std::string jpath = writer::journalPath(file);

    // Cut inside the header, then inside a page record.
    for (off_t cut : {off_t(20), off_t(56 + 88 + 100)}) {
        PlannedWrite w(original, '\x11');
        w.journal(file);
        ASSERT_EQ(::truncate(jpath.c_str(), cut), 0);
        EXPECT_FALSE(recover(file)) << "coupé à " << cut;
        EXPECT_EQ(jettest::fileBytes(file), original);
    }

    // A journal rewritten in place whose last records never reached the disk:
    // the records there are whole, but belong to the earlier journal.
    PlannedWrite first(original, '\x22');
    first.journal(file);
    const std::string earlier = jettest::fileBytes(jpath);
    PlannedWrite second(original, '\x33');
    second.journal(file);
    const std::string later = jettest::fileBytes(jpath);
    ASSERT_EQ(earlier.size(), later.size());
    const size_t keep = 56 + 2 * (88 + kPage);
    jettest::writeAt(jpath, earlier.substr(keep), off_t(keep));
    ASSERT_TRUE(writer::journalPending(file));
    EXPECT_FALSE(recover(file));
    EXPECT_EQ(jettest::fileBytes(file), original);
}

TEST(WriteJournal, WriterKeepsTheJournalWhileOpenAndRemovesItOnClose)
{
    auto dir = jettest::scratchDir();
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
