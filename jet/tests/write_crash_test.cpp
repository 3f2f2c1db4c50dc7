// Crash safety and two writers at once, with real processes:
//  - a child writes in a loop and is killed with SIGKILL at random moments;
//    after every kill the file opens, the check passes and every write that
//    had returned is there: in a new Jet4 file the child adds and changes
//    rows, in an Access 97 (Jet3) file it rewrites texts and memos;
//  - two children add 1,000 rows each to the same file at the same time;
//    afterwards there are exactly 2,000 new rows and the check passes;
//  - a child imports 20,000 rows in one write and is killed while it places
//    them or while it commits: the file is byte for byte as before (or, when
//    the commit had reached the disk whole, holds every row).
#include "file/journal.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace jet;

namespace {

std::string freshDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "velmor2001.mdb").string();
    auto db = Database::create(file);
    std::vector<ColumnSpec> columns = {{"naccord", ColumnType::Text, 50},
                                       {"client", ColumnType::Text, 255},
                                       {"dateaccord", ColumnType::DateTime},
                                       {"intervention", ColumnType::Memo},
                                       {"nomauteur", ColumnType::Text, 255}};
    db->createTable("velmor2001", columns);
    return file;
}

std::string memoOf(int n)
{
    std::string s;
    int pieces = n % 3 == 0 ? 2 : n % 3 == 1 ? 120 : 700; // inline, one page, a chain
    for (int i = 0; i < pieces; ++i)
        s += "Intervention n°" + std::to_string(n) + " — étape " + std::to_string(i) + ". ";
    return s;
}

// One kind of file in the killed-writer test: the file, one numbered write
// (it has returned when the child reports the number), and the check after a
// kill that every reported write is in the file.
struct KilledWriterCase {
    const char* name;
    std::string (*makeFile)(const std::filesystem::path& dir);
    void (*write)(Database& db, Recordset& rs, int n);
    const char* table;
    void (*expectWritten)(const std::string& file, const std::set<int>& acknowledged, int round);
};

// The child's loop: one write, then its number on `fd`.
[[noreturn]] void writerLoop(const KilledWriterCase& c, const std::string& file, int first, int fd)
{
    try {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset(c.table);
        for (int n = first;; ++n) {
            c.write(*db, *rs, n);
            int32_t done = n;
            if (::write(fd, &done, sizeof done) != sizeof done)
                _exit(2);
        }
    } catch (const std::exception& e) {
        fprintf(stderr, "écrivain : %s\n", e.what());
        _exit(3);
    }
}

std::set<std::string> keysOf(const std::string& file)
{
    auto db = Database::open(file, OpenMode::ReadOnly);
    auto rs = db->openRecordset("velmor2001");
    std::set<std::string> keys;
    if (rs->recordCount() == 0)
        return keys;
    rs->moveFirst();
    while (!rs->eof()) {
        keys.insert(rs->value(0).asText());
        rs->moveNext();
    }
    return keys;
}

// Jet4: a row added per write; now and then an earlier row changed, so that
// updates are killed too.
void addRow(Database&, Recordset& rs, int n)
{
    rs.addNew();
    rs.setValue(0, Value::text("K-" + std::to_string(n)));
    rs.setValue(1, Value::text("Client d'essai é" + std::to_string(n % 17)));
    rs.setValue(2, Value::dateTime(2001, 1 + n % 12, 1 + n % 28));
    rs.setValue(3, Value::text(memoOf(n)));
    rs.update();
    if (n % 4 == 0) {
        rs.setBookmark(rs.lastModified());
        rs.edit();
        rs.setValue(3, Value::text(memoOf(n + 1) + memoOf(n + 2)));
        rs.setValue(4, Value::text(std::string(200, 'x')));
        rs.update();
    }
}

void expectRowsAdded(const std::string& file, const std::set<int>& acknowledged, int round)
{
    std::set<std::string> keys = keysOf(file);
    for (int k : acknowledged)
        EXPECT_TRUE(keys.count("K-" + std::to_string(k))) << "ligne K-" << k << " perdue au tour " << round;
}

// Jet3 (Northwind, Access 97): write n rewrites the title, the indexed last
// name and the notes (inline, one page or a chain) of employee 1 + n % 9.
constexpr int kEmployees = 9;

std::string nwindCopy(const std::filesystem::path& dir)
{
    return jettest::copyFixture("access-made/nwind.mdb", dir);
}

void rewriteEmployee(Database& db, Recordset&, int n)
{
    db.execute("UPDATE Employees SET Title = 'Tâche " + std::to_string(n) + "', LastName = 'Dupré " +
               std::to_string(n) + "', Notes = '" + memoOf(n) +
               "' WHERE EmployeeID = " + std::to_string(1 + n % kEmployees));
}

void expectEmployeesRewritten(const std::string& file, const std::set<int>& acknowledged, int round)
{
    auto db = Database::open(file, OpenMode::ReadOnly);
    auto rs = db->openRecordset("Employees");
    std::map<int, int> held; // employee -> number of the write it holds
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const std::string title = rs->value(rs->columnIndex("Title")).asText();
        if (title.rfind("Tâche ", 0) != 0)
            continue;
        const int n = std::stoi(title.substr(std::string("Tâche ").size()));
        held[int(rs->value(rs->columnIndex("EmployeeID")).asInt())] = n;
        EXPECT_EQ(rs->value(rs->columnIndex("Notes")).asText(), memoOf(n)) << "tour " << round;
    }
    for (int k : acknowledged) // this write to its employee, or a later one, is there
        EXPECT_GE(held[1 + k % kEmployees], k) << "écriture " << k << " perdue au tour " << round;
}

const KilledWriterCase kKilledWriterCases[] = {
    {"Jet4", freshDatabase, addRow, "velmor2001", expectRowsAdded},
    {"Jet3", nwindCopy, rewriteEmployee, "Employees", expectEmployeesRewritten},
};

class KilledWriters : public ::testing::TestWithParam<KilledWriterCase> {};

} // namespace

TEST_P(KilledWriters, LoseNothingThatWasCommitted)
{
    const KilledWriterCase& c = GetParam();
    if (c.makeFile == nwindCopy)
        VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    auto dir = jettest::scratchDir();
    std::string file = c.makeFile(dir);
    std::mt19937 rng(12345);
    std::set<int> acknowledged;
    int next = 1;
    const int rounds = 40;
    int killedWithJournal = 0;
    for (int round = 0; round < rounds; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            writerLoop(c, file, next, fds[1]);
        }
        ::close(fds[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + rng() % 150));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "l'écrivain s'est arrêté seul (code " << WEXITSTATUS(status) << ")";
        int32_t n;
        while (::read(fds[0], &n, sizeof n) == sizeof n) {
            acknowledged.insert(n);
            next = std::max(next, n + 1);
        }
        ::close(fds[0]);
        next += 1; // a row written but not acknowledged may exist: never reuse its number
        if (writer::journalPending(file))
            ++killedWithJournal;

        // Opening restores the file; then it must be whole.
        { auto db = Database::open(file, OpenMode::ReadWrite); }
        EXPECT_FALSE(std::filesystem::exists(file + "-journal"));
        jettest::expectHealthy(file);
        c.expectWritten(file, acknowledged, round);
        if (HasFailure())
            break;
    }
    EXPECT_GT(acknowledged.size(), 20u); // depends on the disk: each commit waits for two flushes
    std::cout << acknowledged.size() << " écritures confirmées, " << killedWithJournal
              << " arrêts pendant une écriture journalisée\n";
}

INSTANTIATE_TEST_SUITE_P(WriteCrash, KilledWriters, ::testing::ValuesIn(kKilledWriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriteCrash, TwoProcessesAddAThousandRowsEach)
{
    auto dir = jettest::scratchDir();
    std::string file = freshDatabase(dir);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        if (children[c] == 0) {
            try {
                auto db = Database::open(file, OpenMode::ReadWrite);
                auto rs = db->openRecordset("velmor2001");
                for (int i = 0; i < 1000; ++i) {
                    rs->addNew();
                    rs->setValue(0, Value::text("C" + std::to_string(c) + "-" + std::to_string(i)));
                    rs->setValue(1, Value::text("Processus " + std::to_string(c)));
                    if (i % 50 == 0)
                        rs->setValue(3, Value::text(memoOf(i)));
                    rs->update();
                }
            } catch (const std::exception& e) {
                fprintf(stderr, "processus %d : %s\n", c, e.what());
                _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    std::set<std::string> keys = keysOf(file);
    EXPECT_EQ(keys.size(), 2000u);
    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(db->table("velmor2001").rowCount, 2000u);
    jettest::expectHealthy(file);
    auto rows = jettest::mdbExport(file, "velmor2001");
    EXPECT_EQ(rows.size(), 2001u);
}

namespace {

// The child of an import: adds `rows` rows in one insertRows call; writes 'C'
// on `fd` when the last row is placed (the commit begins) and 'D' once
// insertRows returned.
[[noreturn]] void importLoop(const std::string& file, int rows, int fd)
{
    try {
        auto db = Database::open(file, OpenMode::ReadWrite);
        int n = 0;
        db->insertRows("velmor2001", [&](std::vector<Value>& values) {
            if (n == rows) {
                if (::write(fd, "C", 1) != 1)
                    _exit(2);
                return false;
            }
            ++n;
            values[0] = Value::text("I-" + std::to_string(n));
            values[1] = Value::text("Import n°" + std::to_string(n % 97));
            values[2] = Value::dateTime(2002, 1 + n % 12, 1 + n % 28);
            if (n % 25 == 0)
                values[3] = Value::text(memoOf(n));
            return true;
        });
        if (::write(fd, "D", 1) != 1)
            _exit(2);
    } catch (const std::exception& e) {
        fprintf(stderr, "import : %s\n", e.what());
        _exit(3);
    }
    _exit(0);
}

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid;
    int fd; // reads what importLoop writes
};

Child startImport(const std::string& file, int rows)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        importLoop(file, rows, fds[1]);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// Kills the child (unless `kill` is false), waits for it and returns
// whether a signal ended it.
bool endChild(const Child& child, bool kill = true)
{
    if (kill)
        ::kill(child.pid, SIGKILL);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.fd);
    return WIFSIGNALED(status);
}

char nextByte(const Child& child)
{
    char c = 0;
    return ::read(child.fd, &c, 1) == 1 ? c : 0;
}

} // namespace

// The rows are placed in memory under the write lock and written at the
// commit: a kill while they are placed, or anywhere in the commit, leaves
// the file byte for byte as it was (or, once the commit reached the disk
// whole, with every row).
TEST(WriteCrash, AKilledImportLeavesTheFileAsItWas)
{
    auto dir = jettest::scratchDir();
    std::string file = freshDatabase(dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("velmor2001");
        for (int n = 1; n <= 20; ++n) {
            rs->addNew();
            rs->setValue(0, Value::text("K-" + std::to_string(n)));
            rs->setValue(3, Value::text(memoOf(n)));
            rs->update();
        }
    }
    const std::string before = jettest::fileBytes(file);
    const int rows = 20000;

    // One import to its end: how long placing the rows and the commit take.
    const auto start = Clock::now();
    Child child = startImport(file, rows);
    ASSERT_EQ(nextByte(child), 'C');
    const auto placing = Clock::now() - start;
    ASSERT_EQ(nextByte(child), 'D');
    const auto committing = Clock::now() - start - placing;
    ASSERT_FALSE(endChild(child, false));
    EXPECT_EQ(keysOf(file).size(), size_t(20 + rows));

    std::mt19937 rng(2024);
    int identical = 0, whole = 0, journals = 0;
    for (int round = 0; round < 10; ++round) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << before;
        child = startImport(file, rows);
        if (round % 2 == 0) {
            std::this_thread::sleep_for(placing * int(10 + rng() % 85) / 100);
        } else {
            ASSERT_EQ(nextByte(child), 'C');
            std::this_thread::sleep_for(committing * int(rng() % 100) / 100);
        }
        endChild(child);
        if (writer::journalPending(file))
            ++journals;
        { auto db = Database::open(file, OpenMode::ReadWrite); } // restores the file from the journal
        EXPECT_FALSE(std::filesystem::exists(file + "-journal"));
        if (jettest::fileBytes(file) == before) {
            ++identical;
        } else {
            EXPECT_EQ(keysOf(file).size(), size_t(20 + rows)) << "tour " << round << " : import en partie écrit";
            ++whole;
        }
        jettest::expectHealthy(file);
        if (HasFailure())
            break;
    }
    EXPECT_GE(identical, 5); // every kill while rows were placed
    std::cout << "import de " << rows << " lignes : " << std::chrono::duration<double>(placing).count()
              << " s pour les lignes, " << std::chrono::duration<double>(committing).count()
              << " s pour la validation ; " << identical << " fichiers intacts, " << whole << " imports entiers, "
              << journals << " arrêts pendant l'écriture journalisée\n";
}
