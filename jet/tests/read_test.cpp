// Reading real files: format detection, catalog and table definitions (the
// values of every table are compared with their CSV dumps by the corpus test
// and by the velmor_db_fixture_exports test).
#include "test_support.h"

#include "format/row_codec.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

using namespace jettest;

using jet::ColumnType;
using jet::Database;
using jet::Format;
using jet::OpenMode;

namespace {

const jet::ColumnInfo& columnNamed(const jet::TableInfo& t, const std::string& name)
{
    for (const auto& c : t.columns) {
        if (c.name == name)
            return c;
    }
    throw std::runtime_error("no column " + name);
}

} // namespace

TEST(Read, FormatsAndCatalog)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    EXPECT_EQ(openFixture("velmor2001.mdb")->format(), Format::Jet4);
    EXPECT_EQ(openFixture("velmor2001.accdb")->format(), Format::Ace12);
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    EXPECT_EQ(openFixture("access-made/nwind.mdb")->format(), Format::Jet3);

    auto db = openFixture("velmor2001.mdb");
    EXPECT_EQ(db->tableNames(), (std::vector<std::string>{"velmor2001", "tablep"}));
    auto all = db->tableNames(true);
    EXPECT_NE(std::find(all.begin(), all.end(), "MSysObjects"), all.end());
    // System tables are hidden from the list but open by name.
    EXPECT_TRUE(db->table("msysobjects").system);
    EXPECT_GT(db->openRecordset("MSysObjects")->recordCount(), 5);
    // Names ignore case.
    EXPECT_EQ(db->table("TABLEP").name, "tablep");
    EXPECT_THROW(db->table("absente"), jet::Error);
}

TEST(Read, TableDefinitions)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    auto db = openFixture("velmor2001-indexed.mdb");
    jet::TableInfo t = db->table("velmor2001");
    ASSERT_EQ(t.columns.size(), 13u);
    EXPECT_EQ(t.rowCount, 8u);
    EXPECT_EQ(t.nextAutonumber, 8u);
    const auto& id = columnNamed(t, "id");
    EXPECT_EQ(id.type, ColumnType::Long);
    EXPECT_TRUE(id.autonumber);
    EXPECT_TRUE(id.fixed);
    const auto& client = columnNamed(t, "client");
    EXPECT_EQ(client.type, ColumnType::Text);
    EXPECT_EQ(client.maxChars, 50);
    EXPECT_FALSE(client.fixed);
    EXPECT_TRUE(client.compressedUnicode);
    EXPECT_EQ(columnNamed(t, "motif").maxChars, 255);
    EXPECT_EQ(columnNamed(t, "intervention").type, ColumnType::Memo);
    EXPECT_EQ(columnNamed(t, "dateaccord").type, ColumnType::DateTime);

    ASSERT_EQ(t.indexes.size(), 2u);
    const auto& pk = t.indexes[0].primary ? t.indexes[0] : t.indexes[1];
    const auto& byClient = t.indexes[0].primary ? t.indexes[1] : t.indexes[0];
    EXPECT_EQ(pk.name, "PrimaryKey");
    EXPECT_TRUE(pk.unique);
    ASSERT_EQ(pk.columns.size(), 1u);
    EXPECT_EQ(pk.columns[0].column, "id");
    EXPECT_TRUE(pk.columns[0].ascending);
    EXPECT_EQ(byClient.name, "client");
    EXPECT_FALSE(byClient.unique);
    EXPECT_FALSE(byClient.ignoreNulls);
    EXPECT_FALSE(byClient.primary);

    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    auto nwind = openFixture("access-made/nwind.mdb");
    jet::TableInfo details = nwind->table("Order Details");
    bool found = false;
    for (const auto& index : details.indexes) {
        if (index.primary) {
            found = true;
            ASSERT_EQ(index.columns.size(), 2u);
            EXPECT_EQ(index.columns[0].column, "OrderID");
            EXPECT_EQ(index.columns[1].column, "ProductID");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(columnNamed(details, "Discount").type, ColumnType::Single);
    EXPECT_EQ(columnNamed(details, "UnitPrice").type, ColumnType::Currency);
}

// A complex column (attachments, multi-valued fields) stores a 4-byte key
// in the row, whatever length its descriptor gives; another type the engine
// does not know takes the length its descriptor gives.
TEST(Read, ComplexColumnsTakeFourBytesOfTheRow)
{
    jet::detail::ColumnDef c;
    c.info.type = ColumnType::Complex;
    c.rawType = uint8_t(ColumnType::Complex);
    for (uint16_t length : {0, 4, 8, 255}) {
        c.length = length;
        EXPECT_EQ(jet::detail::fixedSize(c), 4) << "longueur déclarée " << length;
    }
    c.rawType = 0x14;
    c.length = 42;
    EXPECT_EQ(jet::detail::fixedSize(c), 42);
}
