// Helpers of the write-side tests: scratch copies of fixtures, and reading a
// table back with mdbtools' mdb-export.
#pragma once

#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace writetest {

inline std::string fixturesDir() { return VELMOR_FIXTURES_DIR; }

inline bool haveFixtures()
{
    return std::filesystem::exists(std::filesystem::path(fixturesDir()) / "velmor2001.mdb");
}

#define SKIP_WITHOUT_FIXTURES()                                                                    \
    do {                                                                                           \
        if (!writetest::haveFixtures())                                                            \
            GTEST_SKIP() << "fixtures absentes : " << writetest::fixturesDir();                    \
    } while (0)

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

// Overwrites bytes of a file in place, as a writer (or a disk) would.
inline void writeAt(const std::string& path, const std::string& bytes, off_t offset)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    ASSERT_TRUE(file.is_open());
    file.seekp(offset);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(file.good());
}

inline std::string copyFixture(const std::string& name, const std::filesystem::path& dir)
{
    std::filesystem::path to = dir / name;
    std::filesystem::copy_file(std::filesystem::path(fixturesDir()) / name, to,
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

// Parses CSV with "..." quoting ("" inside); a record may span lines.
inline std::vector<std::vector<std::string>> parseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
            any = true;
        } else if (c == '\n') {
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            any = false;
        } else if (c != '\r' || quoted) {
            field += c;
            any = true;
        }
    }
    if (any) {
        row.push_back(field);
        rows.push_back(row);
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

} // namespace writetest
