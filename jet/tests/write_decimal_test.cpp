// Decimal (Numeric) columns written by the engine: the column descriptor of
// a new table, the 17 stored bytes of a value (the exact inverse of the
// reader), values given as Decimal text, Int, Double and Currency through
// the recordset and through INSERT / UPDATE, and refusals that leave the file
// byte for byte as it was. (An index over a Decimal column kept exact through
// writes: index_write_test's corpus case.)
//
// Read back through the engine and through mdbtools' mdb-export. mdb-export
// (mdbtools 1.0) prints a Decimal value as the reader does: a minus sign
// when the sign byte says negative, the integer digits (at least one), then
// a point and exactly `scale` digits ("0.00", "-12.30", "7" for scale 0),
// so the two are compared without any normalisation.
#include "format/data_page_writer.h"
#include "table/catalog_writer.h"
#include "file/page_store.h"
#include "format/row_codec.h"
#include "format/row_encoder.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

namespace {

ColumnSpec decimalColumn(const std::string& name, int precision, int scale)
{
    ColumnSpec c;
    c.name = name;
    c.type = ColumnType::Numeric;
    c.precision = precision;
    c.scale = scale;
    return c;
}

ColumnDef layout(int precision, int scale, const std::string& name = "x")
{
    ColumnDef c;
    c.info.name = name;
    c.info.type = ColumnType::Numeric;
    c.rawType = uint8_t(ColumnType::Numeric);
    c.info.precision = precision;
    c.info.scale = scale;
    c.flags = 0x03;
    c.length = 17;
    return c;
}

// What the reader makes of the bytes the encoder writes.
std::string roundTrip(int precision, int scale, const Value& v)
{
    std::vector<uint8_t> bytes = encodeNumeric(layout(precision, scale), v);
    EXPECT_EQ(bytes.size(), 17u);
    return detail::decodeNumeric(bytes.data(), scale);
}

// The French message of the refusal of `v` (empty when it is accepted).
std::string refusal(int precision, int scale, const Value& v, const std::string& name = "x")
{
    try {
        encodeNumeric(layout(precision, scale, name), v);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::InvalidValue) << e.what();
        return e.what();
    }
    return {};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The 25-byte descriptor of each column of a table, in definition order.
std::vector<std::vector<uint8_t>> columnDescriptors(const std::string& file, const std::string& table)
{
    PageStore store(file);
    Transaction txn(store);
    std::vector<uint8_t> d = detail::definitionBytes(txn, findTableDefinition(txn, table));
    const uint32_t real = rd32(&d[51]);
    const uint16_t count = rd16(&d[45]);
    std::vector<std::vector<uint8_t>> out;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* b = &d[63 + 12 * size_t(real) + 25 * size_t(i)];
        out.emplace_back(b, b + 25);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Table creation

TEST(CreateDecimal, DescriptorHoldsPrecisionAndScaleAsAccessWritesThem)
{
    auto dir = scratchDir();
    const std::string file = (dir / "decimal.mdb").string();
    {
        auto db = Database::create(file);
        ColumnSpec id{"id", ColumnType::Long};
        ColumnSpec name{"libelle", ColumnType::Text, 50};
        ColumnSpec defaults{"quantite", ColumnType::Numeric};
        db->createTable("montants", {id, defaults, decimalColumn("prix", 10, 2), name, decimalColumn("taux", 5, 5),
                                     decimalColumn("grand", 28, 0), decimalColumn("fin", 28, 10),
                                     decimalColumn("chiffre", 1, 0)});
    }
    // The descriptor as Access 2000-2010 files have it for a Decimal
    // column: type 0x10, precision and scale at offsets 11 and 12 (where a
    // text column has its sort order), zeros at 13-14, flags 0x03 (fixed,
    // may be null), no extra flags, length 17, fixed offsets 17 bytes apart
    // after the Long column's 4.
    std::vector<std::vector<uint8_t>> columns = columnDescriptors(file, "montants");
    ASSERT_EQ(columns.size(), 8u);
    const int precisions[] = {0, 18, 10, 0, 5, 28, 28, 1};
    const int scales[] = {0, 0, 2, 0, 5, 0, 10, 0};
    uint16_t expectedOffset = 4;
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::vector<uint8_t>& c = columns[i];
        if (c[0] != uint8_t(ColumnType::Numeric))
            continue;
        EXPECT_EQ(c[11], precisions[i]) << i;
        EXPECT_EQ(c[12], scales[i]) << i;
        EXPECT_EQ(c[13], 0) << i;
        EXPECT_EQ(c[14], 0) << i;
        EXPECT_EQ(c[15], 0x03) << i;
        EXPECT_EQ(c[16], 0x00) << i;
        EXPECT_EQ(rd16(&c[21]), expectedOffset) << i;
        EXPECT_EQ(rd16(&c[23]), 17) << i;
        expectedOffset = uint16_t(expectedOffset + 17);
    }

    // mdb-schema reads the same precision and scale.
    std::string schema = runCommand("mdb-schema " + shellQuote(file) + " 2>/dev/null");
    EXPECT_TRUE(contains(schema, "[prix]\t\t\tNumeric (10, 2)")) << schema;
    EXPECT_TRUE(contains(schema, "[quantite]\t\t\tNumeric (18, 0)")) << schema;
    EXPECT_TRUE(contains(schema, "[fin]\t\t\tNumeric (28, 10)")) << schema;
    EXPECT_TRUE(contains(schema, "[taux]\t\t\tNumeric (5, 5)")) << schema;

    expectHealthy(file);
    std::filesystem::remove_all(dir);
}

TEST(CreateDecimal, RefusesBadPrecisionOrScaleInFrenchAndCreatesNothing)
{
    auto dir = scratchDir();
    const std::string file = (dir / "decimal.mdb").string();
    Database::create(file);
    const std::string before = jettest::fileBytes(file);
    struct Bad {
        int precision, scale;
        const char* message;
    };
    const Bad bad[] = {
        {0, 0, "précision invalide pour la colonne décimale « prix » : 0 (1 à 28)"},
        {29, 0, "précision invalide pour la colonne décimale « prix » : 29 (1 à 28)"},
        {-3, 0, "précision invalide pour la colonne décimale « prix » : -3 (1 à 28)"},
        {10, 11, "nombre de décimales invalide pour la colonne décimale « prix » : 11 (0 à la précision, 10)"},
        {10, -1, "nombre de décimales invalide pour la colonne décimale « prix » : -1 (0 à la précision, 10)"},
    };
    for (const Bad& b : bad) {
        auto db = Database::open(file, OpenMode::ReadWrite);
        try {
            db->createTable("montants", {ColumnSpec{"id", ColumnType::Long}, decimalColumn("prix", b.precision, b.scale)});
            ADD_FAILURE() << "acceptée : " << b.precision << ", " << b.scale;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::InvalidValue);
            EXPECT_EQ(std::string(e.what()), b.message);
        }
        EXPECT_TRUE(db->tableNames().empty());
    }
    // Two column names that differ only by the case of accented letters are one name.
    EXPECT_THROW(Database::open(file, OpenMode::ReadWrite)
                     ->createTable("dates", {ColumnSpec{"Échéance", ColumnType::DateTime},
                                             ColumnSpec{"échéance", ColumnType::DateTime}}),
                 Error);
    EXPECT_EQ(jettest::fileBytes(file), before);
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------
// The stored bytes

TEST(EncodeDecimal, IsTheExactInverseOfTheReader)
{
    std::mt19937_64 rng(20011);
    const unsigned __int128 ten = 10;
    for (int precision = 1; precision <= 28; ++precision) {
        unsigned __int128 limit = 1;
        for (int k = 0; k < precision; ++k)
            limit *= ten;
        for (int scale : {0, precision / 2, precision}) {
            for (int n = 0; n < 200; ++n) {
                // Any magnitude below 10^precision, either sign.
                unsigned __int128 m = (unsigned __int128)(rng()) << 64 | rng();
                if (n % 4 == 0)
                    m = limit - 1 - (m % 3); // the largest values
                else
                    m %= limit;
                if (n == 1)
                    m = 0;
                std::vector<uint8_t> stored(17, 0);
                stored[0] = (m != 0 && (rng() & 1)) ? 0x80 : 0x00;
                for (int word = 0; word < 4; ++word) {
                    uint32_t w = uint32_t(m >> (32 * (3 - word)));
                    for (int b = 0; b < 4; ++b)
                        stored[size_t(1 + 4 * word + b)] = uint8_t(w >> (8 * b));
                }
                const std::string text = detail::decodeNumeric(stored.data(), scale);
                EXPECT_EQ(encodeNumeric(layout(precision, scale), Value::decimal(text)), stored)
                    << text << " (" << precision << ", " << scale << ")";
                EXPECT_EQ(roundTrip(precision, scale, Value::decimal(text)), text);
            }
        }
    }
}

TEST(EncodeDecimal, TextIsRescaledToTheColumnWithoutRounding)
{
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("-12.34")), "-12.34");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("7")), "7.00");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("0.5")), "0.50");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal(".5")), "0.50");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("5.")), "5.00");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("+3.1")), "3.10");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("0003.10000000")), "3.10"); // zeros past the scale are fine
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("-12.3400")), "-12.34");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("1.5E2")), "150.00");
    EXPECT_EQ(roundTrip(10, 2, Value::decimal("125e-2")), "1.25");
    EXPECT_EQ(roundTrip(18, 0, Value::decimal("1200")), "1200");
    EXPECT_EQ(roundTrip(18, 0, Value::decimal("0")), "0");
    EXPECT_EQ(roundTrip(18, 0, Value::decimal("-0")), "0");
    EXPECT_EQ(roundTrip(5, 5, Value::decimal("0.00001")), "0.00001");
    EXPECT_EQ(roundTrip(5, 5, Value::decimal("-0.99999")), "-0.99999");
    EXPECT_EQ(roundTrip(28, 28, Value::decimal("0.9999999999999999999999999999")), "0.9999999999999999999999999999");
    EXPECT_EQ(roundTrip(28, 0, Value::decimal("9999999999999999999999999999")), "9999999999999999999999999999");
    EXPECT_EQ(roundTrip(1, 0, Value::decimal("-9")), "-9");
    // The largest for (5, 2) and one step beyond, each way.
    EXPECT_EQ(roundTrip(5, 2, Value::decimal("999.99")), "999.99");
    EXPECT_EQ(roundTrip(5, 2, Value::decimal("-999.990")), "-999.99");
    EXPECT_EQ(refusal(5, 2, Value::decimal("1000"), "prix"),
              "valeur hors limites pour la colonne « prix » (3 chiffres avant la virgule au plus, 2 décimales)");
    EXPECT_EQ(refusal(5, 2, Value::decimal("-1000.00")),
              "valeur hors limites pour la colonne « x » (3 chiffres avant la virgule au plus, 2 décimales)");
    EXPECT_EQ(refusal(5, 2, Value::decimal("0.001"), "prix"),
              "valeur décimale trop précise pour la colonne « prix » (2 décimales)");
    EXPECT_EQ(refusal(5, 2, Value::decimal("12.345")),
              "valeur décimale trop précise pour la colonne « x » (2 décimales)");
    EXPECT_EQ(refusal(10, 1, Value::decimal("1.55")), "valeur décimale trop précise pour la colonne « x » (1 décimale)");
    EXPECT_EQ(refusal(10, 0, Value::decimal("0.5")), "valeur décimale trop précise pour la colonne « x » (0 décimale)");
    EXPECT_EQ(refusal(28, 28, Value::decimal("1")),
              "valeur hors limites pour la colonne « x » (0 chiffres avant la virgule au plus, 28 décimales)");
    EXPECT_NE(refusal(28, 0, Value::decimal("10000000000000000000000000000")), "");
    EXPECT_NE(refusal(28, 0, Value::decimal("79228162514264337593543950336")), "");
    EXPECT_NE(refusal(18, 0, Value::decimal("1e400")), "");
    EXPECT_NE(refusal(18, 2, Value::decimal("1e-400")), "");
    EXPECT_EQ(roundTrip(18, 2, Value::decimal("0e999999999")), "0.00");
}

TEST(EncodeDecimal, MalformedTextIsRefused)
{
    for (const char* text : {"", "-", "+", ".", "-.", "12,5", " 12", "12 ", "1.2.3", "1e", "1e+", "abc", "0x10",
                             "+-1", "1_000", "1 000", "--1", "1-", "e5", "NaN", "Infinity", "١٢"}) {
        EXPECT_EQ(refusal(10, 2, Value::decimal(text), "prix"),
                  std::string("valeur décimale invalide pour la colonne « prix » : « ") + text + " »")
            << text;
    }
}

TEST(EncodeDecimal, IntDoubleAndCurrencyValuesAreConvertedExactly)
{
    EXPECT_EQ(roundTrip(10, 2, Value::integer(-7)), "-7.00");
    EXPECT_EQ(roundTrip(19, 0, Value::integer(std::numeric_limits<int64_t>::min())),
              "-9223372036854775808");
    EXPECT_EQ(roundTrip(28, 0, Value::integer(std::numeric_limits<int64_t>::max())), "9223372036854775807");
    EXPECT_NE(refusal(3, 0, Value::integer(1000)), "");

    // A double is its shortest round-trip text: 0.1 is 0.1.
    EXPECT_EQ(roundTrip(10, 2, Value::real(0.1)), "0.10");
    EXPECT_EQ(roundTrip(28, 27, Value::real(0.1)), "0.100000000000000000000000000");
    EXPECT_EQ(roundTrip(10, 2, Value::real(-2.5)), "-2.50");
    EXPECT_EQ(roundTrip(28, 0, Value::real(1e20)), "100000000000000000000");
    EXPECT_EQ(roundTrip(10, 6, Value::real(1.5e-5)), "0.000015");
    EXPECT_EQ(roundTrip(10, 2, Value::real(-0.0)), "0.00");
    EXPECT_EQ(roundTrip(28, 20, Value::real(0.1 + 0.2)), "0.30000000000000004000");
    EXPECT_EQ(refusal(10, 2, Value::real(1.0 / 3)), "valeur décimale trop précise pour la colonne « x » (2 décimales)");
    EXPECT_NE(refusal(10, 2, Value::real(1e300)), "");
    EXPECT_EQ(refusal(10, 2, Value::real(std::nan(""))), "valeur non finie pour la colonne décimale « x »");
    EXPECT_NE(refusal(10, 2, Value::real(INFINITY)), "");
    // A Single value with the digits a float needs.
    EXPECT_EQ(roundTrip(10, 2, Value::single(0.15f)), "0.15");

    // Currency: exact, its four decimals rescaled (zeros may go).
    EXPECT_EQ(roundTrip(10, 4, Value::currency(123456)), "12.3456");
    EXPECT_EQ(roundTrip(10, 2, Value::currency(125000)), "12.50");
    EXPECT_EQ(roundTrip(10, 2, Value::currency(-125000)), "-12.50");
    EXPECT_EQ(roundTrip(28, 4, Value::currency(std::numeric_limits<int64_t>::min())), "-922337203685477.5808");
    EXPECT_EQ(refusal(10, 2, Value::currency(123456)), "valeur décimale trop précise pour la colonne « x » (2 décimales)");

    // Other kinds are not numbers.
    for (const Value& v : {Value::text("12.5"), Value::boolean(true), Value::dateTime(36892.0),
                           Value::binary({1, 2})}) {
        try {
            encodeNumeric(layout(10, 2, "prix"), v);
            ADD_FAILURE() << v.toString();
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::InvalidValue);
            EXPECT_EQ(std::string(e.what()), "valeur de type incompatible pour la colonne « prix » (Décimal)");
        }
    }
}

// ---------------------------------------------------------------------------
// Writing through the engine

namespace {

const std::vector<std::string> kColumns = {"id", "libelle", "quantite", "prix", "taux", "grand", "fin"};

std::string createMontants(const std::filesystem::path& dir)
{
    const std::string file = (dir / "montants.mdb").string();
    auto db = Database::create(file);
    db->createTable("montants", {ColumnSpec{"id", ColumnType::Long}, ColumnSpec{"libelle", ColumnType::Text, 50},
                                 ColumnSpec{"quantite", ColumnType::Numeric}, decimalColumn("prix", 10, 2),
                                 decimalColumn("taux", 5, 5), decimalColumn("grand", 28, 0),
                                 decimalColumn("fin", 28, 10)});
    return file;
}

} // namespace

TEST(WriteDecimal, ValuesReadBackExactlyThroughTheEngineAndMdbExport)
{
    auto dir = scratchDir();
    const std::string file = createMontants(dir);
    // id, libelle, quantite (18,0), prix (10,2), taux (5,5), grand (28,0), fin (28,10)
    std::vector<std::vector<std::string>> expected;
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        auto rs = db->openRecordset("montants");
        auto add = [&](int id, std::vector<Value> values, std::vector<std::string> wanted) {
            rs->addNew();
            rs->setValue(0, Value::integer(id));
            rs->setValue(1, Value::text("ligne " + std::to_string(id)));
            for (size_t i = 0; i < values.size(); ++i)
                rs->setValue(int(i + 2), values[i]);
            rs->update();
            wanted.insert(wanted.begin(), {std::to_string(id), "ligne " + std::to_string(id)});
            expected.push_back(wanted);
        };
        // Decimal text: positive, negative, zero, trailing zeros, the
        // largest value (28 digits: every word of the 17 bytes).
        add(1,
            {Value::decimal("42"), Value::decimal("-12.34"), Value::decimal("0.5"),
             Value::decimal("9999999999999999999999999999"), Value::decimal("-123456789012345678.0123456789")},
            {"42", "-12.34", "0.50000", "9999999999999999999999999999", "-123456789012345678.0123456789"});
        add(2,
            {Value::decimal("0"), Value::decimal("0.00"), Value::decimal("-0.00000"), Value::decimal("-0"),
             Value::decimal("0")},
            {"0", "0.00", "0.00000", "0", "0.0000000000"});
        add(3,
            {Value::decimal("1.000"), Value::decimal("7.10"), Value::decimal("0.10000"), Value::decimal("1200.00"),
             Value::decimal("3.1400000000000")},
            {"1", "7.10", "0.10000", "1200", "3.1400000000"});
        // Int, Double and Currency values.
        // 0.1 + 0.2 is 0.30000000000000004: too precise for ten decimals.
        rs->addNew();
        EXPECT_THROW(rs->setValue(6, Value::real(0.1 + 0.2)), Error);
        rs->cancelUpdate();
        add(4,
            {Value::integer(-17), Value::real(0.1), Value::real(0.25), Value::integer(std::numeric_limits<int64_t>::max()),
             Value::real(-1234.5678)},
            {"-17", "0.10", "0.25000", "9223372036854775807", "-1234.5678000000"});
        add(5,
            {Value::currency(50000), Value::currency(-1234500), Value::currency(1), Value::currency(-10000),
             Value::currency(std::numeric_limits<int64_t>::max())},
            {"5", "-123.45", "0.00010", "-1", "922337203685477.5807000000"});
        // NULLs.
        add(6, {Value(), Value::decimal("1"), Value(), Value(), Value()}, {"", "1.00", "", "", ""});
    }
    std::vector<std::vector<std::string>> read = readBack(file, "montants");
    EXPECT_EQ(read, expected);

    std::vector<std::vector<std::string>> exported = mdbExport(file, "montants");
    ASSERT_FALSE(exported.empty());
    EXPECT_EQ(exported[0], kColumns);
    exported.erase(exported.begin());
    EXPECT_EQ(exported, expected);

    expectHealthy(file);
    std::filesystem::remove_all(dir);
}

TEST(WriteDecimal, SqlNumbersKeepTheirDigits)
{
    auto dir = scratchDir();
    const std::string file = createMontants(dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        db->execute("INSERT INTO montants (id, libelle, quantite, prix, taux, grand, fin) VALUES "
                    "(1, 'un', 12, 0.1, 0.12345, 1234567890123456789012345678, 0.1234567890)");
        db->execute("INSERT INTO montants (id, prix, taux, grand, fin) VALUES "
                    "(2, -0.1, -.5, -1, 123456789012345678.1234567891)");
        db->execute("INSERT INTO montants (id, prix, fin, quantite) VALUES (3, 1.5E2, 125e-2, 7.000)");
        db->execute("INSERT INTO montants VALUES (4, 'quatre', NULL, 19.90, 0, 0, -0.0000000001)");
        // Exactly, not through a double: the 28th digit counts.
        db->execute("UPDATE montants SET grand = 1234567890123456789012345679 WHERE id = 2");
        EXPECT_EQ(db->execute("UPDATE montants SET libelle = 'exact' WHERE grand = 1234567890123456789012345678"), 1);
        EXPECT_EQ(db->execute("UPDATE montants SET libelle = 'proche' WHERE fin = 123456789012345678.1234567890"), 0);
        EXPECT_EQ(db->execute("UPDATE montants SET libelle = 'deux' WHERE fin = 123456789012345678.1234567891"), 1);
        EXPECT_EQ(db->execute("UPDATE montants SET libelle = 'dix' WHERE prix = 0.10"), 1);
        EXPECT_EQ(db->execute("UPDATE montants SET taux = 0.00001 WHERE prix < 0 AND taux = -0.5"), 1);
        EXPECT_EQ(db->execute("UPDATE montants SET quantite = 3 WHERE fin <= -0.0000000001"), 1);
        EXPECT_EQ(db->execute("UPDATE montants SET prix = 150 WHERE prix = 150.00"), 1);
    }
    const std::vector<std::vector<std::string>> expected = {
        {"1", "dix", "12", "0.10", "0.12345", "1234567890123456789012345678", "0.1234567890"},
        {"2", "deux", "", "-0.10", "0.00001", "1234567890123456789012345679", "123456789012345678.1234567891"},
        {"3", "", "7", "150.00", "", "", "1.2500000000"},
        {"4", "quatre", "3", "19.90", "0.00000", "0", "-0.0000000001"},
    };
    EXPECT_EQ(readBack(file, "montants"), expected);
    std::vector<std::vector<std::string>> exported = mdbExport(file, "montants");
    ASSERT_FALSE(exported.empty());
    exported.erase(exported.begin());
    EXPECT_EQ(exported, expected);
    {
        // ORDER BY compares exactly too.
        auto db = Database::open(file, OpenMode::ReadOnly);
        auto rs = db->openRecordset("SELECT * FROM montants WHERE grand IS NOT NULL ORDER BY grand DESC");
        std::vector<std::string> order;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext())
            order.push_back(rs->value(0).toString());
        EXPECT_EQ(order, (std::vector<std::string>{"2", "1", "4"}));
    }
    expectHealthy(file);
    std::filesystem::remove_all(dir);
}

TEST(WriteDecimal, RefusedValuesLeaveTheFileUnchanged)
{
    auto dir = scratchDir();
    const std::string file = createMontants(dir);
    {
        auto db = Database::open(file, OpenMode::ReadWrite);
        db->execute("INSERT INTO montants (id, prix, fin) VALUES (1, 12.5, 1)");
        db->execute("INSERT INTO montants (id, prix, fin) VALUES (2, -3, 2)");
    }
    const std::string before = jettest::fileBytes(file);
    struct Case {
        const char* column;
        Value value;
        const char* message;
    };
    const Case cases[] = {
        {"prix", Value::decimal("12.345"), "valeur décimale trop précise pour la colonne « prix » (2 décimales)"},
        {"prix", Value::currency(5), "valeur décimale trop précise pour la colonne « prix » (2 décimales)"},
        {"quantite", Value::decimal("1e18"),
         "valeur hors limites pour la colonne « quantite » (18 chiffres avant la virgule au plus, 0 décimale)"},
        {"prix", Value::decimal("12,50"), "valeur décimale invalide pour la colonne « prix » : « 12,50 »"},
        {"prix", Value::text("12.50"), "valeur de type incompatible pour la colonne « prix » (Décimal)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto db = Database::open(file, OpenMode::ReadWrite);
        // The recordset refuses the value when it is set, adding or editing.
        auto rs = db->openRecordset("montants");
        const int column = rs->columnIndex(c.column);
        rs->addNew();
        rs->setValue(0, Value::integer(3));
        try {
            rs->setValue(column, c.value);
            ADD_FAILURE() << "valeur acceptée";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::InvalidValue);
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        rs->cancelUpdate();
        rs->moveFirst();
        rs->edit();
        EXPECT_THROW(rs->setValue(column, c.value), Error);
        rs->cancelUpdate();
    }
    EXPECT_EQ(jettest::fileBytes(file), before);
    const std::vector<std::vector<std::string>> rowsBefore = readBack(file, "montants");

    // The same values through SQL, to one row and to several: nothing is
    // written, not even to the rows before the refused one.
    const char* statements[][2] = {
        {"INSERT INTO montants (id, prix) VALUES (3, 12.345)",
         "valeur décimale trop précise pour la colonne « prix » (2 décimales)"},
        {"INSERT INTO montants (id, prix) VALUES (3, 1.2.3)",
         "erreur de syntaxe dans la requête : nombre mal formé à la position 44"},
        {"INSERT INTO montants (id, prix) VALUES (3, 1e)",
         "erreur de syntaxe dans la requête : nombre mal formé à la position 44"},
        {"INSERT INTO montants (id, prix) VALUES (3, '12.5')",
         "valeur de type incompatible pour la colonne « prix » (Décimal)"},
        {"UPDATE montants SET prix = 0.001", "valeur décimale trop précise pour la colonne « prix » (2 décimales)"},
        {"UPDATE montants SET grand = 10000000000000000000000000000",
         "valeur hors limites pour la colonne « grand » (28 chiffres avant la virgule au plus, 0 décimale)"},
    };
    for (const auto& s : statements) {
        SCOPED_TRACE(s[0]);
        auto db = Database::open(file, OpenMode::ReadWrite);
        try {
            db->execute(s[0]);
            ADD_FAILURE() << "instruction acceptée";
        } catch (const Error& e) {
            const bool syntax = std::string(s[1]).rfind("erreur de syntaxe", 0) == 0;
            EXPECT_EQ(e.code(), syntax ? Code::SqlError : Code::InvalidValue);
            EXPECT_EQ(std::string(e.what()), s[1]);
        }
    }
    EXPECT_EQ(jettest::fileBytes(file), before);
    EXPECT_EQ(readBack(file, "montants"), rowsBefore);
    expectHealthy(file);
    std::filesystem::remove_all(dir);
}
