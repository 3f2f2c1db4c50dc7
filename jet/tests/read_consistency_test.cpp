// What readers see while other processes write, read-only opens included:
//  - a write in progress in another process (pages half changed, its lock
//    held): readers wait for it, whether they open then or were open before;
//  - a write that a writer left half done (it died): readers see the file as
//    it was before that write until a writer restores it, then as it is;
//  - the file growing under an open recordset: the row it shows stays right;
//  - exports while another process commits multi-row transactions and
//    rewrites memos: every export succeeds and holds whole transactions only.
#include "database/database_writer.h"
#include "file/journal.h"
#include "file/page_store.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace jet;

namespace {

constexpr uint32_t kPage = 4096;

// 120 rows; every fourth memo is long enough to live on pages of its own.
std::string makeDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "lecteurs.mdb").string();
    auto db = Database::create(file);
    db->createTable("tablep", {{"clientp", ColumnType::Text, 255}, {"rdzvp", ColumnType::Memo}});
    auto rs = db->openRecordset("tablep");
    for (int i = 0; i < 120; ++i) {
        rs->addNew();
        rs->setValue(0, Value::text("Client n° " + std::to_string(i)));
        rs->setValue(1, Value::text(std::string(i % 4 == 0 ? 3000 + i : 20 + i, char('a' + i % 26))));
        rs->update();
    }
    return file;
}

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows readRows(Recordset& rs)
{
    Rows rows;
    if (rs.recordCount() == 0)
        return rows;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        rows.emplace_back(rs.value(0).asText(), rs.value(1).isNull() ? "(null)" : rs.value(1).asText());
    return rows;
}

Rows readRows(Database& db)
{
    return readRows(*db.openRecordset("tablep"));
}

} // namespace

TEST(ReadConsistency, ReadersWaitForAWriteInProgress)
{
    auto dir = jettest::scratchDir();
    const std::string file = makeDatabase(dir);
    const Rows expected = readRows(*Database::open(file, OpenMode::ReadOnly));
    ASSERT_EQ(expected.size(), 120u);

    auto before = Database::open(file, OpenMode::ReadOnly);
    auto walking = before->openRecordset("tablep"); // rows found page by page, as moves need them
    auto reading = before->openRecordset("SELECT * FROM tablep WHERE clientp <> 'x'");

    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        // A writer in the middle of its write: every page but the header
        // holds bytes that are not a database, for a while, under the lock.
        writer::PageStore store(file);
        store.lock().lockExclusive();
        const std::string original = jettest::fileBytes(file);
        jettest::writeAt(file, original.substr(0, kPage) + std::string(original.size() - kPage, '\xEE'), 0);
        char c = 'x';
        if (::write(toParent[1], &c, 1) != 1)
            _exit(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        jettest::writeAt(file, original, 0);
        ::fdatasync(store.fd());
        store.lock().unlock();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readRows(*walking), expected);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(readRows(*reading), expected);
    EXPECT_EQ(readRows(*Database::open(file, OpenMode::ReadOnly)), expected);
    EXPECT_TRUE(checkDatabase(file).ok());
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ReadConsistency, AWriteLeftHalfDoneIsNotSeenUntilAWriterRestoresTheFile)
{
    auto dir = jettest::scratchDir();
    const std::string file = makeDatabase(dir);
    const std::string original = jettest::fileBytes(file);
    auto readOnly = Database::open(file, OpenMode::ReadOnly);
    auto readWrite = Database::open(file, OpenMode::ReadWrite);
    const Rows expected = readRows(*readOnly);
    ASSERT_EQ(expected.size(), 120u);

    // A writer journaled a change of every page but the header plus two
    // appended ones, wrote half of them and the new length, and died.
    const uint32_t pages = uint32_t(original.size() / kPage);
    std::string after = original + std::string(2 * kPage, '\x5A');
    for (uint32_t n = 1; n < pages; ++n)
        std::fill_n(after.begin() + size_t(n) * kPage, kPage, char('0' + n % 10));
    std::vector<writer::JournalPage> journaled;
    auto at = [](const std::string& s, uint32_t n) { return reinterpret_cast<const uint8_t*>(s.data()) + size_t(n) * kPage; };
    for (uint32_t n = 1; n < pages + 2; ++n)
        journaled.push_back({n, n < pages ? at(original, n) : nullptr, at(after, n)});
    writer::writeJournal(file, kPage, original.size(), after.size(), journaled);
    for (uint32_t n = 1; n < pages + 2; n += 2)
        jettest::writeAt(file, after.substr(size_t(n) * kPage, kPage), off_t(n) * kPage);
    ASSERT_TRUE(writer::journalPending(file));
    ASSERT_GT(jettest::fileBytes(file).size(), original.size());

    // Both opens read the file as it was, without changing it.
    EXPECT_EQ(readRows(*readOnly), expected);
    EXPECT_EQ(readRows(*readWrite), expected);
    EXPECT_EQ(readOnly->table("tablep").rowCount, 120u);
    EXPECT_TRUE(writer::journalPending(file));

    // The next write restores the file first, then goes on; what the writer
    // reads right after it (the catalog) is the file as it left it.
    readWrite->createTable("ajoutée", {{"nom", ColumnType::Text, 50}});
    EXPECT_FALSE(writer::journalPending(file));
    EXPECT_EQ(readWrite->tableNames(), (std::vector<std::string>{"tablep", "ajoutée"}));
    auto rs = readWrite->openRecordset("tablep");
    rs->addNew();
    rs->setValue(0, Value::text("après la reprise"));
    rs->update();
    EXPECT_FALSE(writer::journalPending(file));
    Rows grown = expected;
    grown.emplace_back("après la reprise", "(null)");
    EXPECT_EQ(readRows(*readOnly), grown); // the file was cut back under its mapping
    EXPECT_TRUE(checkDatabase(file).ok());
}

TEST(ReadConsistency, ShownRowStaysRightWhenTheFileGrows)
{
    auto dir = jettest::scratchDir();
    const std::string file = makeDatabase(dir);
    auto readOnly = Database::open(file, OpenMode::ReadOnly);
    auto shown = readOnly->openRecordset("tablep");
    shown->moveLast();
    const std::string client = shown->value(0).asText();
    const std::string memo = shown->value(1).asText();
    {
        auto other = Database::open(file, OpenMode::ReadWrite); // as another process would
        auto rs = other->openRecordset("tablep");
        for (int i = 0; i < 400; ++i) {
            rs->addNew();
            rs->setValue(0, Value::text(std::string(200, char('A' + i % 26))));
            rs->update();
        }
    }
    EXPECT_EQ(readOnly->openRecordset("tablep")->recordCount(), 520); // maps the grown file again
    EXPECT_EQ(shown->value(0).asText(), client);
    EXPECT_EQ(shown->value(1).asText(), memo);
}

TEST(ReadConsistency, RowsReadAfterAnotherProcessRewroteTheirMemosShowTheNewMemos)
{
    auto dir = jettest::scratchDir();
    const std::string file = makeDatabase(dir);
    auto readOnly = Database::open(file, OpenMode::ReadOnly);
    auto shown = readOnly->openRecordset("tablep");
    const std::string first = shown->value(1).asText(); // the first run of rows is copied
    {
        // Another process gives rows 100 to 109 memos on pages appended
        // past the end the reader has seen so far.
        auto other = Database::open(file, OpenMode::ReadWrite);
        other->execute("UPDATE tablep SET rdzvp = '" + std::string(6000, 'z') +
                       "' WHERE clientp >= 'Client n° 100' AND clientp < 'Client n° 11'");
    }
    int expected = 0;
    for (const auto& row : readRows(*Database::open(file, OpenMode::ReadOnly)))
        expected += row.second == std::string(6000, 'z');
    ASSERT_EQ(expected, 10); // rows 100 to 109, none of them in the first run
    EXPECT_EQ(shown->value(1).asText(), first); // the copy, with its memo
    int rewritten = 0;
    for (shown->moveNext(); !shown->eof(); shown->moveNext()) {
        const std::string memo = shown->value(1).asText();
        rewritten += memo == std::string(6000, 'z');
    }
    EXPECT_EQ(rewritten, expected);
}

namespace {

// The memo of every row of transaction `tag` after its `generation`-th
// rewrite: it names both, and its length takes it inline, onto one page
// of its own or along a chain of pages.
std::string memoFor(const std::string& tag, int generation)
{
    static const size_t lengths[] = {150, 3000, 9000};
    std::string memo = tag + ":" + std::to_string(generation) + ":";
    memo.append(lengths[generation % 3], char('a' + generation % 26));
    return memo;
}

// What is wrong with one export of table lots (empty when it holds whole
// transactions only: 50 rows per tag, numbered 0 to 49, whose memos name
// the tag and one generation, the same for the 50).
std::string wholeTransactionsOnly(const std::vector<std::vector<std::string>>& rows)
{
    struct Seen {
        std::set<std::string> numbers;
        std::set<std::string> memos;
    };
    std::map<std::string, Seen> byTag;
    for (size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& r = rows[i];
        if (r.size() != 3)
            return "ligne " + std::to_string(i) + " : " + std::to_string(r.size()) + " colonnes";
        byTag[r[0]].numbers.insert(r[1]);
        byTag[r[0]].memos.insert(r[2]);
    }
    for (const auto& [tag, seen] : byTag) {
        if (seen.numbers.size() != 50)
            return tag + " : " + std::to_string(seen.numbers.size()) + " lignes sur 50";
        if (seen.memos.size() != 1)
            return tag + " : mémos de " + std::to_string(seen.memos.size()) + " réécritures différentes";
        const std::string& memo = *seen.memos.begin();
        const size_t colon = memo.find(':', tag.size() + 1);
        if (memo.compare(0, tag.size() + 1, tag + ":") != 0 || colon == std::string::npos ||
            memo != memoFor(tag, std::stoi(memo.substr(tag.size() + 1, colon - tag.size() - 1))))
            return tag + " : mémo d'une autre ligne ou abîmé (" + memo.substr(0, 30) + "…)";
    }
    return {};
}

} // namespace

TEST(ReadConsistency, ExportsSeeWholeTransactionsWhileAnotherProcessWrites)
{
    auto dir = jettest::scratchDir();
    const std::string file = (dir / "lots.mdb").string();
    Database::create(file)->createTable(
        "lots", {{"tag", ColumnType::Text, 20}, {"n", ColumnType::Long}, {"notes", ColumnType::Memo}});
    constexpr auto kRun = std::chrono::seconds(21);

    // The writer: 50-row transactions, each row tagged with its transaction,
    // the 50 memos of a transaction rewritten in one transaction, the
    // oldest transaction deleted in one.
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t writerPid = ::fork();
    if (writerPid == 0) {
        ::close(toParent[0]);
        int commits = 0;
        try {
            writer::DatabaseWriter w(file);
            auto db = Database::open(file, OpenMode::ReadWrite);
            std::mt19937 rng(7);
            std::map<int, int> generations; // live transactions
            const auto end = std::chrono::steady_clock::now() + kRun;
            for (int next = 0; std::chrono::steady_clock::now() < end; ++next) {
                const std::string tag = "T" + std::to_string(next);
                w.transact([&](writer::Transaction& txn) {
                    writer::TableWriter t(txn, w.definitionPage(txn, "lots"));
                    for (int n = 0; n < 50; ++n)
                        t.insert({Value::text(tag), Value::integer(n), Value::text(memoFor(tag, 0))});
                    t.finish();
                });
                generations[next] = 0;
                ++commits;
                for (int rewrite = 0; rewrite < 2; ++rewrite) {
                    auto it = std::next(generations.begin(), long(rng() % generations.size()));
                    const std::string rewritten = "T" + std::to_string(it->first);
                    db->execute("UPDATE lots SET notes = '" + memoFor(rewritten, ++it->second) + "' WHERE tag = '" +
                                rewritten + "'");
                    ++commits;
                }
                if (generations.size() > 6) {
                    db->execute("DELETE FROM lots WHERE tag = 'T" + std::to_string(generations.begin()->first) + "'");
                    generations.erase(generations.begin());
                    ++commits;
                }
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "écrivain : %s\n", e.what());
            _exit(1);
        }
        if (::write(toParent[1], &commits, sizeof commits) != sizeof commits)
            _exit(1);
        _exit(0);
    }
    ::close(toParent[1]);

    // Two readers, each running velmor-db export again and again.
    std::atomic<bool> writing{true};
    std::mutex mutex;
    std::vector<std::string> failures;
    int exports = 0;
    auto reader = [&](int id) {
        const std::string errors = (dir / ("erreurs-" + std::to_string(id))).string();
        const std::string command = std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db export " +
                                    jettest::shellQuote(file) + " lots 2>" + jettest::shellQuote(errors);
        while (writing) {
            int status = -1;
            const std::string csv = jettest::runCommand(command, &status);
            std::string problem = status == 0 ? wholeTransactionsOnly(jettest::parseCsv(csv))
                                              : "échec : " + jettest::fileBytes(errors);
            std::lock_guard<std::mutex> lock(mutex);
            ++exports;
            if (!problem.empty())
                failures.push_back(problem);
        }
    };
    std::thread first(reader, 1), second(reader, 2);
    int commits = 0;
    const bool reported = ::read(toParent[0], &commits, sizeof commits) == sizeof commits;
    int status = 0;
    ::waitpid(writerPid, &status, 0);
    writing = false;
    first.join();
    second.join();

    EXPECT_TRUE(reported && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(commits, 40);
    EXPECT_GT(exports, 40);
    EXPECT_TRUE(failures.empty()) << failures.size() << " lectures fautives sur " << exports << ", dont : "
                                  << failures.front();
    EXPECT_TRUE(checkDatabase(file).ok());
    std::cout << commits << " écritures, " << exports << " exports\n";
}
