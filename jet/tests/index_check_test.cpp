// Reading indexes: the trees of the fixture files are walked and every entry
// is compared with the table's rows.
#include "fixture_paths.h"
#include "write_support.h"

#include "jet/database.h"

#include "jet/check.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

void expectClean(const std::string& name, long minEntries)
{
    jet::CheckReport report = jet::checkDatabase(fixture(name));
    std::string all;
    for (const auto& p : report.problems)
        all += "\n  " + p;
    EXPECT_TRUE(report.ok()) << name << all;
    EXPECT_GE(report.entries, minEntries) << name;
    EXPECT_GE(report.indexes, 4) << name;
}

TEST(IndexCheck, IndexedFixtureMatchesItsRows)
{
    REQUIRE_FIXTURE("velmor2001-indexed.mdb");
    expectClean("velmor2001-indexed.mdb", 32);
}

TEST(IndexCheck, BigFixtureMatchesItsRows)
{
    REQUIRE_FIXTURE("velmor2001-big.mdb");
    expectClean("velmor2001-big.mdb", 400000);
}

TEST(IndexCheck, FilesWithoutIndexesHaveNothingToReport)
{
    REQUIRE_FIXTURE("velmor2001.mdb");
    jet::CheckReport report = jet::checkDatabase(fixture("velmor2001.mdb"));
    EXPECT_TRUE(report.ok());
}

} // namespace

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

TEST(IndexCheck, ReportsAKeyThatDoesNotMatchItsRow)
{
    SKIP_WITHOUT_FIXTURES();
    auto dir = writetest::scratchDir();
    std::string file = writetest::copyFixture("velmor2001-indexed.mdb", dir);
    uint32_t tdef = jet::Database::open(file, jet::OpenMode::ReadOnly)->table("tablep").definitionPage;
    std::string bytes = readAll(file);
    const size_t pageSize = 4096;
    size_t changed = 0;
    for (size_t p = 0; p * pageSize < bytes.size(); ++p) {
        unsigned char* page = reinterpret_cast<unsigned char*>(&bytes[p * pageSize]);
        uint32_t owner = uint32_t(page[4]) | uint32_t(page[5]) << 8 | uint32_t(page[6]) << 16 | uint32_t(page[7]) << 24;
        if (page[0] == 0x04 && page[1] == 0x01 && owner == tdef && changed == 0) {
            page[480 + 6] ^= 0x01; // a key byte of the second entry
            ++changed;
        }
    }
    ASSERT_EQ(changed, 1u);
    writeAll(file, bytes);
    jet::CheckReport report = jet::checkDatabase(file);
    EXPECT_FALSE(report.ok());
    bool named = false;
    for (const auto& p : report.problems)
        if (p.find("table tablep") != std::string::npos)
            named = true;
    EXPECT_TRUE(named);
}
