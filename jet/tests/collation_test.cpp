// Text the collation tables do not cover: a write to an indexed column is
// refused with a clear message and the file is left as it was, while the same
// text in a column without an index is written normally.
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <string>

using namespace jet;
using namespace jettest;

namespace {

// "Жук": U+0416 occurs in no index-key vector, so it has no code.
const std::string kUnknownText = "\xd0\x96\xd1\x83\xd0\xba";

long rowCount(const std::string& file, const std::string& table)
{
    auto db = Database::open(file, OpenMode::ReadOnly);
    return db->openRecordset(table)->recordCount();
}

} // namespace

TEST(CollationWrites, UnknownCharacterInAnIndexedColumnIsRefused)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    const long rowsBefore = rowCount(file, "tablep");
    const std::string before = jettest::fileBytes(file);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("tablep");
        rs->addNew();
        rs->setValue(rs->columnIndex("clientp"), Value::text("Coopérative " + kUnknownText));
        try {
            rs->update();
            FAIL() << "écriture acceptée alors que U+0416 n'a pas de clé d'index";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::Unsupported);
            std::string what = e.what();
            EXPECT_NE(what.find("U+0416"), std::string::npos) << what;
            EXPECT_NE(what.find("index"), std::string::npos) << what;
        }
        rs->cancelUpdate();
        // Reading with that text still works (by scanning).
        auto found = db->openRecordset("SELECT * FROM tablep WHERE clientp = '" + kUnknownText + "'");
        EXPECT_EQ(found->recordCount(), 0);
    }
    EXPECT_TRUE(jettest::fileBytes(file) == before) << "the refused write changed the file";
    EXPECT_EQ(rowCount(file, "tablep"), rowsBefore);

    // The same text in a column without an index is written; text the
    // tables cover goes into the indexed column and is found again.
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("tablep");
        rs->addNew();
        rs->setValue(rs->columnIndex("clientp"), Value::text("Zoé — Москва"));
        rs->setValue(rs->columnIndex("motifp"), Value::text("Prêt " + kUnknownText));
        rs->update();
    }
    EXPECT_EQ(rowCount(file, "tablep"), rowsBefore + 1);
    {
        auto db = Database::open(file, OpenMode::ReadOnly);
        auto found = db->openRecordset("SELECT * FROM tablep WHERE clientp = 'Zoé — Москва'");
        ASSERT_EQ(found->recordCount(), 1);
        EXPECT_EQ(found->value("motifp").asText(), "Prêt " + kUnknownText);
    }
    expectHealthy(file);
}
