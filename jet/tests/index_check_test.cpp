// Reading indexes: the trees of the fixture files are walked and every entry
// is compared with the table's rows.
#include "fixture_paths.h"

#include "jet/check.h"
#include "jet/status.h"

#include <gtest/gtest.h>

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
