// Reading real files: format detection, catalog, table definitions, and the
// values of every column type (the CSV comparison of every table is the
// velmor_db_fixture_exports test).
#include "test_support.h"

#include "format/row_codec.h"
#include "format/text.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

using namespace jettest;

using jet::ColumnType;
using jet::Database;
using jet::Format;
using jet::OpenMode;

namespace {

size_t characters(const std::string& utf8)
{
    size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

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

TEST(Read, MemosInlineOnOnePageAndChained)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    for (const char* file : {"velmor2001.mdb", "velmor2001.accdb"}) {
        auto db = openFixture(file);
        auto rs = db->openRecordset("velmor2001");
        std::string first = rs->value("intervention").asText();
        EXPECT_EQ(characters(first), 461u) << file;
        rs->moveLast();
        std::string last = rs->value("intervention").asText();
        EXPECT_EQ(characters(last), 5908u) << file;
        size_t breaks = 0;
        for (size_t at = last.find("\r\n"); at != std::string::npos; at = last.find("\r\n", at + 2))
            ++breaks;
        EXPECT_EQ(breaks, 29u) << file; // as the dump has it
        rs->setBookmark(rs->bookmark());
        rs->moveFirst();
        rs->moveNext();
        rs->moveNext();
        EXPECT_NE(rs->value("intervention").asText().find("\r\n"), std::string::npos);
        rs->moveNext();
        // Outside Latin-1: stored without compression.
        EXPECT_EQ(rs->value("motif").asText(), "Garantie — échange standard");
        EXPECT_NE(rs->value("intervention").asText().find("120 € —"), std::string::npos);
        EXPECT_TRUE(rs->value("dateretourclient").isNull());
        rs->moveNext();
        EXPECT_EQ(rs->value("client").kind(), jet::Value::Kind::Text);
        EXPECT_EQ(rs->value("client").asText(), "");
        rs->moveNext();
        EXPECT_TRUE(rs->value("client").isNull());
    }
}

TEST(Read, Jet3ValuesAndPictures)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    auto db = openFixture("access-made/nwind.mdb");
    auto products = db->openRecordset("Products");
    EXPECT_EQ(products->value("UnitPrice").kind(), jet::Value::Kind::Currency);
    EXPECT_EQ(products->value("UnitPrice").asCurrency(), 180000);
    EXPECT_EQ(products->value("Discontinued").asBool(), false);
    auto employees = db->openRecordset("Employees");
    jet::Value photo = employees->value("Photo");
    ASSERT_EQ(photo.kind(), jet::Value::Kind::Binary);
    EXPECT_GT(photo.asBinary().size(), 10000u);
    EXPECT_EQ(photo.asBinary()[0], 0x15);
    // Code-page text decoded to UTF-8.
    auto customers = db->openRecordset("SELECT * FROM Customers WHERE CustomerID='BLONP'");
    EXPECT_EQ(customers->value("CompanyName").asText(), "Blondel père et fils");
    EXPECT_EQ(db->openRecordset("Umsätze")->recordCount(), 830);
}

TEST(Read, DatesBeforeAccessEpoch)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/DateTestDatabase.mdb");
    auto db = openFixture("access-made/DateTestDatabase.mdb");
    auto rs = db->openRecordset("SELECT * FROM DateTest WHERE IDCol=3");
    ASSERT_EQ(rs->recordCount(), 1);
    EXPECT_LT(rs->value("DateTimeCol").asDateTime(), 0);
    EXPECT_EQ(rs->value("DateTimeCol").toString(), "1898-01-01 00:00:00");
    jet::Value::Civil c = rs->value("DateCol").civil();
    EXPECT_EQ(c.year, 1899);
    EXPECT_EQ(c.month, 1);
}

TEST(Read, CompressedText)
{
    using jet::detail::decodeUnicodeText;
    const uint8_t plain[] = {'A', 0, 0xE9, 0, 0x14, 0x20};
    EXPECT_EQ(decodeUnicodeText(plain, sizeof plain), "Aé—");
    const uint8_t compressed[] = {0xFF, 0xFE, 'C', 'a', 'f', 0xE9, 0, 0x14, 0x20, 0, '!'};
    EXPECT_EQ(decodeUnicodeText(compressed, sizeof compressed), "Café—!");
    const uint8_t longAscii[] = {0xFF, 0xFE, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k'};
    EXPECT_EQ(decodeUnicodeText(longAscii, sizeof longAscii), "abcdefghijk");
    const uint8_t surrogate[] = {0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(decodeUnicodeText(surrogate, sizeof surrogate), "\xF0\x9F\x98\x80");
    EXPECT_EQ(jet::detail::decodeCodePageText(reinterpret_cast<const uint8_t*>("p\xE8re \x80"), 6, 1252), "père €");
    EXPECT_EQ(jet::detail::compareIgnoringCase("ÉCOLE", "école"), 0);
    EXPECT_LT(jet::detail::compareIgnoringCase("abc", "ABD"), 0);
}

TEST(Read, DecimalValues)
{
    using jet::detail::decodeNumeric;
    uint8_t bytes[17] = {};
    bytes[13] = 0xD2; // 1234 in the least significant word (the last one)
    bytes[14] = 0x04;
    EXPECT_EQ(decodeNumeric(bytes, 2), "12.34");
    EXPECT_EQ(decodeNumeric(bytes, 0), "1234");
    EXPECT_EQ(decodeNumeric(bytes, 6), "0.001234");
    bytes[0] = 0x80;
    EXPECT_EQ(decodeNumeric(bytes, 2), "-12.34");
    uint8_t big[17] = {};
    big[1] = 0x01; // 2^96
    EXPECT_EQ(decodeNumeric(big, 0), "79228162514264337593543950336");
}
