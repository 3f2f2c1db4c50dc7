// What the engine's tests share: the fixtures (skipping with
// VELMOR_SKIP_WITHOUT_FIXTURE when ../shared is absent), scratch copies,
// a table read back by mdbtools' mdb-export and by velmor-db, and, off
// Windows, another process that holds something open while a test runs.
#pragma once

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include "testkit/fixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace jettest {

inline std::string fixture(const std::string& name)
{
    return velmor::fixtures::path(name);
}

inline std::unique_ptr<jet::Database> openFixture(const std::string& name)
{
    return jet::Database::open(fixture(name), jet::OpenMode::ReadOnly);
}

// The code of the error `f` throws; none when it throws nothing.
inline std::optional<jet::Code> codeOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const jet::Error& e) {
        return e.code();
    }
    return std::nullopt;
}

// A fresh scratch folder for one test.
inline std::filesystem::path scratchDir()
{
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("velmor-write-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
                                 "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The whole content of a file (empty when it cannot be read).
inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// `piece` repeated up to at least `chars` bytes.
inline std::string repeatText(const std::string& piece, size_t chars)
{
    std::string out;
    while (out.size() < chars)
        out += piece;
    return out;
}

// Overwrites bytes of a file in place, as a writer (or a disk) would.
inline void writeAt(const std::string& path, const std::string& bytes, off_t offset)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    ASSERT_TRUE(file.is_open());
    file.seekp(offset);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(file.good());
}

// Checks the file as velmor-db check does: every problem is a failure.
inline jet::CheckReport expectHealthy(const std::string& file)
{
    jet::CheckReport report = jet::checkDatabase(file);
    for (const auto& p : report.problems)
        ADD_FAILURE() << file << " : " << p;
    return report;
}

inline std::string copyFixture(const std::string& name, const std::filesystem::path& dir)
{
    std::filesystem::path to = dir / std::filesystem::path(name).filename();
    std::filesystem::copy_file(fixture(name), to,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return to.string();
}

inline std::string runCommand(const std::string& command, int* status = nullptr)
{
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = ::pclose(p);
    if (status)
        *status = rc;
    return out;
}

inline std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Parses CSV with "..." quoting ("" inside); a record may span lines. An
// unquoted empty field is nothing (NULL in the fixtures' dumps).
using CsvField = std::optional<std::string>;
inline std::vector<std::vector<CsvField>> parseCsvFields(const std::string& text)
{
    std::vector<std::vector<CsvField>> rows;
    std::vector<CsvField> row;
    CsvField field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c != '"')
                *field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                *field += text[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = any = true;
            field = field.value_or("");
        } else if (c == ',' || c == '\n') {
            row.push_back(std::move(field));
            field.reset();
            any = c == ',';
            if (c == '\n') {
                rows.push_back(std::move(row));
                row.clear();
            }
        } else if (c != '\r') {
            (field ? *field : field.emplace()) += c;
            any = true;
        }
    }
    if (any) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

// The same, NULL read as the empty text.
inline std::vector<std::vector<std::string>> parseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& fields : parseCsvFields(text)) {
        rows.emplace_back();
        for (const CsvField& f : fields)
            rows.back().push_back(f.value_or(""));
    }
    return rows;
}

// The table as mdb-export reads it (header row first), dates as
// "yyyy-mm-dd hh:mm:ss".
inline std::vector<std::vector<std::string>> mdbExport(const std::string& file, const std::string& table)
{
    std::string out = runCommand("mdb-export -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " + shellQuote(file) + " " +
                                 shellQuote(table) + " 2>/dev/null");
    return parseCsv(out);
}

// The rows of a table as our own reader returns them, values as text.
inline std::vector<std::vector<std::string>> readBack(const std::string& file, const std::string& table)
{
    auto db = jet::Database::open(file, jet::OpenMode::ReadOnly);
    auto rs = db->openRecordset(table);
    std::vector<std::vector<std::string>> rows;
    if (rs->recordCount() == 0)
        return rows;
    rs->moveFirst();
    while (!rs->eof()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < rs->columns().size(); ++i)
            row.push_back(rs->value(int(i)).toString());
        rows.push_back(row);
        rs->moveNext();
    }
    return rows;
}

// Where the rows of the recordset live, in the order it meets them.
inline std::vector<std::pair<uint32_t, uint16_t>> rowsMet(jet::Recordset& rs)
{
    std::vector<std::pair<uint32_t, uint16_t>> rows;
    for (; !rs.eof(); rs.moveNext())
        rows.emplace_back(rs.bookmark().page, rs.bookmark().row);
    return rows;
}

// `text` as an SQL literal.
inline std::string sqlText(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// The same query twice: as written (an index may serve it) and wrapped so
// that no index can (NOT NOT keeps its meaning): the same rows, in the same
// order.
inline void expectSameAsScan(jet::Database& db, const std::string& table, const std::string& where,
                             const std::string& order = "")
{
    auto viaIndex = db.openRecordset("SELECT * FROM " + table + " WHERE " + where + order);
    auto viaScan = db.openRecordset("SELECT * FROM " + table + " WHERE NOT (NOT (" + where + "))" + order);
    EXPECT_EQ(rowsMet(*viaIndex), rowsMet(*viaScan)) << where << order;
}

// mdb-export reads the same rows as velmor-db export (in any order).
inline void expectExportsEqual(const std::string& file, const std::string& table)
{
    auto theirs = mdbExport(file, table);
    std::string cmd = std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db export " + shellQuote(file) + " " +
                      shellQuote(table);
    int status = 0;
    auto ours = parseCsv(runCommand(cmd + " 2>/dev/null", &status));
    ASSERT_EQ(status, 0) << cmd;
    ASSERT_EQ(ours.size(), theirs.size());
    // Rows moved by an update are met at different places by the two
    // readers: compare the rows, header first, in one order.
    std::sort(ours.begin() + (ours.empty() ? 0 : 1), ours.end());
    std::sort(theirs.begin() + (theirs.empty() ? 0 : 1), theirs.end());
    size_t differences = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        if (ours[i] != theirs[i] && ++differences <= 3) {
            std::string a, b;
            for (const auto& cell : ours[i])
                a += "|" + cell;
            for (const auto& cell : theirs[i])
                b += "|" + cell;
            ADD_FAILURE() << "ligne " << i << " différente\n  velmor-db  " << a << "\n  mdb-export " << b;
        }
    EXPECT_EQ(differences, 0u);
}

#ifndef _WIN32
// Another process that runs `work`, keeps what it opened until end() (or
// the end of the test), then runs `finish` and exits.
class OtherProcess {
public:
    explicit OtherProcess(const std::function<void()>& work, const std::function<void()>& finish = {})
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
                work();
            } catch (...) {
                c = 'e';
            }
            if (::write(up[1], &c, 1) != 1 || ::read(down[0], &c, 1) < 0)
                _exit(1);
            if (finish)
                finish();
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
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;
    ~OtherProcess() { end(); }
    // Lets the process finish; true when it exited normally.
    bool end()
    {
        if (pid_ <= 0)
            return true;
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = 0;
    int release_ = -1;
};

// Another Jet program in slot `slot` of a lock file: its names, and its
// lock on the slot's byte (or on `lockAt`), a plain record lock as Samba
// takes for a Windows client.
inline constexpr off_t kUserLock = 0x10000001; // slot k: kUserLock + k

inline std::function<void()> jetProgramIn(const std::string& ldb, int slot, off_t lockAt = -1)
{
    return [=] {
        int fd = ::open(ldb.c_str(), O_RDWR | O_CREAT, 0666);
        if (fd < 0)
            throw 1;
        std::string e(64, '\0');
        e.replace(0, 9, "PC-COMPTA");
        e.replace(32, 5, "Admin");
        if (::pwrite(fd, e.data(), e.size(), off_t(slot) * 64) != 64)
            throw 1;
        struct flock fl;
        std::memset(&fl, 0, sizeof fl);
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = lockAt >= 0 ? lockAt : kUserLock + slot;
        fl.l_len = 1;
        if (::fcntl(fd, F_SETLK, &fl) != 0)
            throw 1;
    };
}
#endif

} // namespace jettest
