// Row writes at the level of the table writer: what mdbtools reads back after
// adds, updates that grow rows, memo updates across the three storage forms,
// deletes, and enough adds to switch a usage map to its reference form.
#include "table/catalog_writer.h"
#include "format/data_page_writer.h"
#include "file/page_store.h"
#include "table/table_writer.h"
#include "format/usage_map.h"
#include "test_support.h"

#include "jet/status.h"

#include <gtest/gtest.h>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

namespace {

std::vector<Value> returnRow(int n, const std::string& memo)
{
    std::vector<Value> v(12);
    v[0] = Value::text("Service après-vente");
    v[1] = Value::text("T-" + std::to_string(n));
    v[2] = Value::dateTime(2003, 1 + n % 12, 1 + n % 28);
    v[3] = Value::text("Client n°" + std::to_string(n % 7) + " l'été");
    v[4] = Value::text("Écran 17\"");
    v[5] = Value::text("Motif — " + std::to_string(n));
    v[6] = Value::dateTime(2003, 2, 3, 10, 30, 0);
    v[7] = Value::text("Zoé");
    // 8 stays NULL
    v[9] = memo.empty() ? Value() : Value::text(memo);
    v[10] = Value::text("Noël");
    v[11] = Value::text("auteur");
    return v;
}

std::string repeatText(const std::string& piece, size_t chars)
{
    std::string out;
    while (out.size() < chars)
        out += piece;
    return out;
}

struct Writer {
    explicit Writer(const std::string& path) : store(path) {}
    PageStore store;
};

} // namespace

TEST(WriteRows, AddedRowsReadBackWithMdbtools)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001.mdb", dir);
    const std::string shortMemo = "Réparé.";
    const std::string pageMemo = repeatText("Carte mère remplacée, tests OK. ", 600);
    const std::string chainMemo = repeatText("Ligne d'intervention n°42 — terminé.\r\n", 9000);
    {
        PageStore store(file);
        Transaction txn(store);
        TableWriter t(txn, findTableDefinition(txn, "velmor2001"));
        t.insert(returnRow(1, shortMemo));
        t.insert(returnRow(2, pageMemo));
        t.insert(returnRow(3, chainMemo));
        t.insert(returnRow(4, ""));
        t.finish();
        txn.commit();
    }
    auto rows = mdbExport(file, "velmor2001");
    ASSERT_EQ(rows.size(), 1u + 8 + 4);
    EXPECT_EQ(rows[9][1], "T-1");
    EXPECT_EQ(rows[9][3], "Client n°1 l'été");
    EXPECT_EQ(rows[9][4], "Écran 17\"");
    EXPECT_EQ(rows[9][2], "2003-02-02 00:00:00");
    EXPECT_EQ(rows[9][6], "2003-02-03 10:30:00");
    EXPECT_EQ(rows[9][8], "");
    EXPECT_EQ(rows[9][9], shortMemo);
    EXPECT_EQ(rows[10][9], pageMemo);
    std::string chainNoCr = chainMemo;
    EXPECT_EQ(rows[11][9].size(), chainMemo.size());
    EXPECT_EQ(rows[11][9], chainMemo);
    EXPECT_EQ(rows[12][9], "");
    EXPECT_EQ(rows[12][5], "Motif — 4");
}

// A table is found whatever the case of its name, accented letters
// included, by the write side as by the readers.
TEST(WriteRows, TableNamesIgnoreCaseOfAccentedLetters)
{
    auto dir = scratchDir();
    const std::string file = (dir / "casse.mdb").string();
    Database::create(file)->createTable("Prêts", {{"numéro", ColumnType::Long, 0, false}});
    {
        PageStore store(file);
        Transaction txn(store);
        const uint32_t page = findTableDefinition(txn, "Prêts");
        EXPECT_EQ(findTableDefinition(txn, "PRÊTS"), page);
        EXPECT_EQ(detail::readTableDef(txn, page).columnIndex("NUMÉRO"), 0);
    }
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->table("prÊts").name, "Prêts");
}

// A table is a system table by its flags in the catalog, not by its name:
// MSysCompactError, which Access leaves with flags 0, is a user table.
TEST(WriteRows, TableNamedLikeASystemTableIsListedWithTheUserTables)
{
    auto dir = scratchDir();
    const std::string file = (dir / "compact.mdb").string();
    Database::create(file)->createTable("MSysCompactError", {{"ErrorCode", ColumnType::Long, 0, false}});
    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"MSysCompactError"});
    EXPECT_FALSE(db->table("MSysCompactError").system);
    EXPECT_TRUE(db->table("MSysObjects").system);
}
