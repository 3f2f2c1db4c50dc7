// The SQL subset of row sources: every form, Jet's NULL and text rules, and
// clear errors for malformed texts, unknown tables and columns.
#include "test_support.h"

#include "sql/sql.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

using namespace jettest;

using jet::Code;

namespace {

struct Db {
    std::unique_ptr<jet::Database> db;
    explicit Db(const char* name) : db(jet::Database::open(fixture(name), jet::OpenMode::ReadOnly)) {}

    std::vector<std::string> numbers(const std::string& source, const char* column = "naccordp")
    {
        auto rs = db->openRecordset(source);
        std::vector<std::string> out;
        while (rs->hasCurrent()) {
            jet::Value v = rs->value(column);
            // keep the last digit of the agreement number: "P-2001-004" -> "4"
            out.push_back(v.isNull() ? "-" : v.asText().substr(v.asText().size() - 1));
            rs->moveNext();
        }
        return out;
    }

    jet::Error errorOf(const std::string& source)
    {
        try {
            db->openRecordset(source);
        } catch (const jet::Error& e) {
            return e;
        }
        ADD_FAILURE() << "no error for: " << source;
        return jet::Error(Code::IoError, "");
    }
};

using V = std::vector<std::string>;

} // namespace

TEST(SqlParse, Forms)
{
    using namespace jet::detail::sql;
    EXPECT_TRUE(isSelect("  select * from t"));
    EXPECT_FALSE(isSelect("selection"));
    EXPECT_FALSE(isSelect("tablep"));

    Select s = parse("select * FROM [ma table] where a=1 AND (b<>'x' or not c is null) order by a desc, [b c] asc ; ");
    EXPECT_EQ(s.table, "ma table");
    ASSERT_TRUE(s.where);
    EXPECT_EQ(s.where->kind, Condition::Kind::And);
    ASSERT_EQ(s.orderBy.size(), 2u);
    EXPECT_FALSE(s.orderBy[0].ascending);
    EXPECT_EQ(s.orderBy[1].name, "b c");
    EXPECT_TRUE(s.orderBy[1].ascending);

    Select q = parse("SELECT * FROM t WHERE x='it''s'");
    EXPECT_EQ(q.where->right.literal.asText(), "it's");
    Select n = parse("SELECT * FROM t WHERE x >= -2.5");
    EXPECT_DOUBLE_EQ(n.where->right.literal.asDouble(), -2.5);
    Select t = parse("SELECT * FROM t WHERE t.x IS NOT NULL");
    EXPECT_EQ(t.where->kind, Condition::Kind::IsNotNull);
}

TEST(SqlParse, Errors)
{
    using namespace jet::detail::sql;
    auto messageOf = [](const std::string& text) {
        try {
            parse(text);
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.code(), Code::SqlError) << text;
            return std::string(e.what());
        }
        ADD_FAILURE() << "no error for: " << text;
        return std::string();
    };
    EXPECT_NE(messageOf("SELECT * FROM t WHERE c='L'Oréal'").find("non terminé"), std::string::npos);
    EXPECT_NE(messageOf("SELECT a FROM t").find("SELECT *"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * t").find("FROM"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM").find("nom de table"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE").find("position"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE (a=1").find("parenthèse"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE a==1").find("position"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE a=#31/31/2001#").find("date invalide"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE a IS 3").find("NULL attendu"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t ORDER a").find("BY"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE a=1 garbage").find("inattendu"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM [t").find("crochet"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE a = 1 ? 2").find("caractère"), std::string::npos);
    EXPECT_NE(messageOf("SELECT * FROM t WHERE u.a = 1").find("FROM"), std::string::npos);
}

TEST(SqlParse, DateLiterals)
{
    using jet::detail::sql::parseDateLiteral;
    double d = 0;
    ASSERT_TRUE(parseDateLiteral("1/10/2001", d));
    EXPECT_EQ(jet::Value::dateTime(d).toString(), "2001-01-10 00:00:00");
    ASSERT_TRUE(parseDateLiteral("2001-04-18 09:30:00", d));
    EXPECT_EQ(jet::Value::dateTime(d).toString(), "2001-04-18 09:30:00");
    ASSERT_TRUE(parseDateLiteral("4/18/2001 10:15 PM", d));
    EXPECT_EQ(jet::Value::dateTime(d).toString(), "2001-04-18 22:15:00");
    ASSERT_TRUE(parseDateLiteral("1898-01-01", d));
    EXPECT_LT(d, 0);
    EXPECT_FALSE(parseDateLiteral("2/30/2001", d));
    EXPECT_FALSE(parseDateLiteral("hier", d));
    EXPECT_FALSE(parseDateLiteral("", d));
}

TEST(SqlQuery, NullIsNeverEqual)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    Db t("velmor2001.mdb");
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateenvoip=null "), V{});
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateenvoip<>null"), V{});
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE NOT dateenvoip=null"), V{});
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateenvoip IS NULL"), (V{"3", "6", "8"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateenvoip IS NOT NULL"), (V{"1", "2", "4", "5", "7"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE clientp IS NULL"), (V{"6"}));
    // NOT of unknown stays unknown; OR with a true side is true.
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE NOT (clientp='L''Oréal')"), (V{"2", "3", "5", "7", "8"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE clientp='x' OR clientp IS NULL"), (V{"6"}));
}

TEST(SqlQuery, ComparisonsAndLogic)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    Db t("velmor2001.mdb");
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateaccordp < #3/1/2001#"), (V{"1", "2", "3"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateaccordp >= #2001-04-18#"), (V{"7", "8"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateaccordp > #2001-04-18 10:15:00#"), (V{"8"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateaccordp <= #4/18/2001 10:15:00 AM#"), (V{"1", "2", "3", "4", "6", "7"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE dateenvoip < dateaccordp"), (V{"2"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE naccordp > 'p-2001-006'"), (V{"7", "8"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE naccordp <> 'P-2001-001' AND naccordp < 'P-2001-004'"),
              (V{"2", "3"}));
    EXPECT_EQ(t.numbers("select * from TABLEP where (CLIENTP='crédit agricole' or [clientp]='') and not naccordp='P-2001-003'"),
              (V{"5", "7"}));
    EXPECT_EQ(t.numbers("SELECT * FROM [tablep] WHERE [naccordp]='P-2001-002'   "), (V{"2"}));
}

TEST(SqlQuery, OrderBy)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    Db t("velmor2001.mdb");
    EXPECT_EQ(t.numbers("SELECT * FROM tablep ORDER BY naccordp DESC"), (V{"8", "7", "6", "5", "4", "3", "2", "1"}));
    // NULL first, then dates; equal keys keep the physical order.
    EXPECT_EQ(t.numbers("SELECT * FROM tablep ORDER BY dateenvoip"), (V{"3", "6", "8", "1", "2", "4", "5", "7"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep ORDER BY clientp ASC, naccordp DESC"),
              (V{"6", "5", "8", "7", "3", "4", "1", "2"}));
    EXPECT_EQ(t.numbers("SELECT * FROM tablep WHERE clientp IS NOT NULL ORDER BY clientp DESC, naccordp"),
              (V{"2", "1", "4", "3", "7", "8", "5"}));
}

TEST(SqlQuery, NumbersOnJet3)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-made/nwind.mdb");
    jet::Database::open(fixture("access-made/nwind.mdb"), jet::OpenMode::ReadOnly);
    Db t("access-made/nwind.mdb");
    auto count = [&](const std::string& q) { return t.db->openRecordset(q)->recordCount(); };
    EXPECT_EQ(count("SELECT * FROM Products WHERE UnitPrice > 100"), 2);
    EXPECT_EQ(count("SELECT * FROM Products WHERE Discontinued = TRUE"), 8);
    EXPECT_EQ(count("SELECT * FROM [Order Details] WHERE Discount = 0.15"), 157);
    EXPECT_EQ(count("SELECT * FROM [Order Details] WHERE OrderID = 10248"), 3);
    EXPECT_EQ(count("SELECT * FROM Customers WHERE Country = 'france'"), 11);
    auto rs = t.db->openRecordset("SELECT * FROM Products ORDER BY UnitPrice DESC");
    EXPECT_EQ(rs->value("ProductName").asText(), "Côte de Blaye");
}

TEST(SqlQuery, Errors)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    Db t("velmor2001.mdb");
    jet::Error table = t.errorOf("SELECT * FROM prets");
    EXPECT_EQ(table.code(), Code::NotFound);
    EXPECT_NE(std::string(table.what()).find("prets"), std::string::npos);
    jet::Error column = t.errorOf("SELECT * FROM tablep WHERE client='x'");
    EXPECT_EQ(column.code(), Code::NotFound);
    EXPECT_NE(std::string(column.what()).find("client"), std::string::npos);
    EXPECT_EQ(t.errorOf("SELECT * FROM tablep ORDER BY inconnue").code(), Code::NotFound);
    EXPECT_EQ(t.errorOf("SELECT * FROM tablep WHERE clientp=3").code(), Code::SqlError);
    EXPECT_EQ(t.errorOf("SELECT * FROM tablep WHERE dateenvoip='hier'").code(), Code::SqlError);
    EXPECT_EQ(t.errorOf("SELECT * FROM tablep WHERE").code(), Code::SqlError);
    EXPECT_EQ(t.errorOf("inconnue").code(), Code::NotFound);
    EXPECT_EQ(t.errorOf("   ").code(), Code::SqlError);
}

// INSERT, UPDATE and DELETE on a new file: the rows each statement changes,
// values adapted to their columns, and errors that change nothing.
TEST(SqlExecute, StatementsAndErrors)
{
    using jet::ColumnType;
    std::string file = (jettest::scratchDir() / "prets.mdb").string();
    auto db = jet::Database::create(file);
    db->createTable("prêts", {{"id", ColumnType::Long, 255, true},
                              {"Échéance", ColumnType::DateTime},
                              {"client", ColumnType::Text, 20},
                              {"montant", ColumnType::Double},
                              {"rendu", ColumnType::Boolean},
                              {"n", ColumnType::Long}});
    const std::pair<const char*, long> statements[] = {
        {"INSERT INTO prêts (client, montant, n) VALUES ('Zèbre', 99999999999999999999, 1)", 1},
        {"INSERT INTO [prêts] VALUES (#2001-04-18#, 'L''ami', -2.5, TRUE, 2);", 1},
        {"insert into PRÊTS (ÉCHÉANCE, client, rendu, n) values (36000, \"guillemets\", FALSE, 3)", 1},
        {"UPDATE prêts SET client = 42, prêts.montant = +3 WHERE n >= 2 AND NOT rendu = TRUE", 1},
        {"UPDATE prêts SET montant = 1e3 WHERE client IS NULL", 0},
        {"DELETE * FROM prêts WHERE n = 2", 1},
    };
    for (const auto& [text, changed] : statements)
        EXPECT_EQ(db->execute(text), changed) << text;

    const std::pair<const char*, Code> errors[] = {
        {"SELECT * FROM prêts", Code::SqlError},
        {"INSERT INTO prêts (n) VALUES (1.2.3)", Code::SqlError},   // once read as 1.2
        {"UPDATE prêts SET client = -'x'", Code::SqlError},         // once read as 'x'
        {"UPDATE prêts SET n = 1, N = 2", Code::SqlError},          // once the last won
        {"INSERT INTO prêts (n, n) VALUES (1, 2)", Code::SqlError}, // once the last won
        {"UPDATE prêts SET n = 1 WHERE n = 2 ORDER BY n", Code::SqlError},
        {"DELETE FROM prêts WHERE autre.n = 1", Code::SqlError},
        {"INSERT INTO prêts (n) VALUES (1, 2)", Code::SqlError},
        {"INSERT INTO prêts (n, client) VALUES (1)", Code::SqlError},
        {"INSERT INTO prêts VALUES (1)", Code::SqlError},
        {"UPDATE prêts SET n = n", Code::SqlError},
        {"UPDATE prêts SET n = 'x' WHERE", Code::SqlError},
        {"MERGE INTO prêts", Code::SqlError},
        {"UPDATE prêts SET inconnue = 1", Code::NotFound},
        {"DELETE FROM absente", Code::NotFound},
        {"DELETE FROM prêts WHERE inconnue = 1", Code::NotFound},
        {"UPDATE prêts SET id = 1", Code::InvalidValue},
        {"INSERT INTO prêts (id) VALUES (7)", Code::InvalidValue},
    };
    for (const auto& [text, code] : errors)
        EXPECT_EQ(codeOf([&] { db->execute(text); }), code) << text;

    auto rs = db->openRecordset("SELECT * FROM prêts ORDER BY n");
    std::vector<std::string> rows;
    for (; rs->hasCurrent(); rs->moveNext()) {
        std::string row;
        for (const char* c : {"Échéance", "client", "montant", "rendu", "n"})
            row += rs->value(c).toString() + "|";
        rows.push_back(row);
    }
    // 99999999999999999999 is too large for an integer: a double, not the
    // largest 64-bit integer it was once clamped to.
    EXPECT_EQ(rows, (V{"|Zèbre|1.0E20|false|1|", "1998-07-24 00:00:00|42|3.0|false|3|"}));
}
