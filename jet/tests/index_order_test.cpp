// ORDER BY on text: read through the column's index when it has one, sorted
// by the same collation keys otherwise, so that both give the same rows in
// the same order (before and after writes, accents, case and apostrophes
// included). And the rows of a writable dynaset, read a batch at a time under
// the writers' lock, are those a read-only open sees.
#include "database/database_impl.h"
#include "test_support.h"
#include "index/index_key.h"
#include "sql/index_query.h"
#include "index/index_reader.h"
#include "sql/row_order.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace jet;
using namespace jettest;

namespace {

const char* const kNames[] = {
    "L'Oréal", "l'oréal", "L'OREAL", "Loreal", "Lorraine", "Crédit Agricole", "credit agricole",
    "Société Générale d'Équipement", "Société", "societe", "SOCIÉTÉ", "Boulangerie Dupré & Fils",
    "Café de l'André", "Cafe de l'Andre", "Étude notariale Müller", "ÉTUDE NOTARIALE MÜLLER", "Éclair",
    "Fromage", "eclair", "Garage Saint-Éloi", "Garage Saint Eloi", "Œuvres sociales", "Oeuvres",
    "Pâtisserie Noël", "Cabinet Ruiz y Peña", "Zoé — conseil", "zoe", "Ørsted Danmark", "Ça marche !",
    "ca marche", "Hôtel des Forges", "hotel", "Bâtiment 2000", "batiment 200", "l'Zèbre", "la", "LA",
    "d'Artagnan", "Dartagnan", "co-op", "coop", "co op", "  espace", "a", "A", "b", "B", "10", "9",
    "x  ", "x",
};

// Whether ORDER BY on the column is answered by an index (the query as the
// recordset runs it, on the file as it is now).
bool servedByIndex(const std::string& path, const std::string& query)
{
    detail::Storage storage(path);
    auto select = detail::sql::parse(query);
    auto def = storage.tableDef(storage.findTable(select.table));
    detail::sql::bind(select, *def);
    return detail::indexOrder(storage.file(), storage.format(), *def, select.orderBy).has_value();
}

// The query as written (through the index) and with a condition that no
// index serves (so scanned, then sorted): the same rows, in the same order.
void expectIndexOrderIsTheSortOrder(Database& db, const std::string& table, const std::string& column,
                                    const std::string& where = "")
{
    for (const char* direction : {"", " ASC", " DESC"}) {
        std::string order = " ORDER BY " + column + direction;
        std::string filter = where.empty() ? "" : " WHERE " + where;
        std::string forced = where.empty() ? " WHERE NOT (" + column + " IS NULL AND " + column + " IS NOT NULL)"
                                           : " WHERE NOT (NOT (" + where + "))";
        auto viaIndex = db.openRecordset("SELECT * FROM " + table + filter + order);
        auto viaSort = db.openRecordset("SELECT * FROM " + table + forced + order);
        auto a = rowsMet(*viaIndex), b = rowsMet(*viaSort);
        EXPECT_EQ(a.size(), b.size()) << table << filter << order;
        EXPECT_TRUE(a == b) << table << filter << order;
    }
}

// Texts of the column in the recordset's order.
std::vector<std::string> textsOf(Database& db, const std::string& query, const std::string& column)
{
    std::vector<std::string> out;
    auto rs = db.openRecordset(query);
    for (; !rs->eof(); rs->moveNext()) {
        Value v = rs->value(column);
        out.push_back(v.isNull() ? std::string("<NULL>") : v.asText());
    }
    return out;
}

// Position of a value in a list (first occurrence).
long at(const std::vector<std::string>& list, const std::string& value)
{
    auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : long(it - list.begin());
}

} // namespace

TEST(OrderByText, ReadThroughTheIndexAsTheSortOrdersIt)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    const std::string path = fixture("velmor2001-indexed.mdb");
    EXPECT_TRUE(servedByIndex(path, "SELECT * FROM tablep ORDER BY clientp"));
    EXPECT_TRUE(servedByIndex(path, "SELECT * FROM velmor2001 ORDER BY client DESC"));
    EXPECT_FALSE(servedByIndex(path, "SELECT * FROM tablep ORDER BY materielp"));
    EXPECT_FALSE(servedByIndex(path, "SELECT * FROM tablep ORDER BY clientp, id"));

    auto db = Database::open(path, OpenMode::ReadOnly);
    expectIndexOrderIsTheSortOrder(*db, "tablep", "clientp");
    expectIndexOrderIsTheSortOrder(*db, "velmor2001", "client");
    expectIndexOrderIsTheSortOrder(*db, "tablep", "clientp", "id > 2");

    // NULL first, then the empty string; "L'Oréal" twice, in row order.
    auto rs = db->openRecordset("SELECT * FROM tablep ORDER BY clientp");
    EXPECT_TRUE(rs->value("clientp").isNull());
    rs->moveNext();
    EXPECT_EQ(rs->value("clientp").asText(), "");
    std::vector<long> ids;
    for (; !rs->eof(); rs->moveNext())
        if (rs->value("clientp").asText() == "L'Oréal")
            ids.push_back(rs->value("id").asInt());
    EXPECT_EQ(ids, (std::vector<long>{1, 4}));
    // DESC: the groups of equal keys reversed, each still in row order.
    ids.clear();
    auto desc = db->openRecordset("SELECT * FROM tablep ORDER BY clientp DESC");
    for (; !desc->eof(); desc->moveNext())
        if (!desc->value("clientp").isNull() && desc->value("clientp").asText() == "L'Oréal")
            ids.push_back(desc->value("id").asInt());
    EXPECT_EQ(ids, (std::vector<long>{1, 4}));
}

TEST(OrderByText, TheSameTableWithoutAnIndexSortsTheSame)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.accdb");
    auto indexed = Database::open(fixture("velmor2001-indexed.mdb"), OpenMode::ReadOnly);
    for (const char* plain : {"velmor2001.mdb", "velmor2001.accdb"}) {
        auto db = Database::open(fixture(plain), OpenMode::ReadOnly);
        EXPECT_FALSE(servedByIndex(fixture(plain), "SELECT * FROM tablep ORDER BY clientp"));
        for (const char* direction : {"", " DESC"}) {
            const std::string q = std::string("SELECT * FROM tablep ORDER BY clientp") + direction;
            EXPECT_EQ(textsOf(*indexed, q, "naccordp"), textsOf(*db, q, "naccordp")) << plain << q;
            const std::string r = std::string("SELECT * FROM velmor2001 ORDER BY client") + direction;
            EXPECT_EQ(textsOf(*indexed, r, "naccord"), textsOf(*db, r, "naccord")) << plain << r;
        }
    }
}

TEST(OrderByText, StaysTheSortOrderAfterWrites)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-big.mdb");
    auto dir = scratchDir();
    for (const char* name : {"velmor2001-indexed.mdb", "velmor2001-big.mdb"}) {
        const std::string path = copyFixture(name, dir);
        auto db = Database::open(path, OpenMode::ReadWrite);
        std::mt19937 rng(7);
        const size_t names = std::size(kNames);
        {
            auto rs = db->openRecordset("tablep");
            const int client = rs->columnIndex("clientp");
            const int number = rs->columnIndex("naccordp");
            for (int i = 0; i < 400; ++i) {
                rs->addNew();
                uint32_t r = rng() % 40;
                if (r == 0)
                    rs->setValue(client, Value());
                else if (r == 1)
                    rs->setValue(client, Value::text(""));
                else
                    rs->setValue(client, Value::text(kNames[rng() % names]));
                rs->setValue(number, Value::text("W-" + std::to_string(i)));
                rs->update();
            }
        }
        db->execute("UPDATE tablep SET clientp = 'l''Zèbre' WHERE id <= 3");
        db->execute("UPDATE tablep SET clientp = 'ÉCLAIR' WHERE naccordp = 'W-17'");
        db->execute("DELETE FROM tablep WHERE clientp = 'Lorraine'");
        db->execute("DELETE FROM tablep WHERE naccordp = 'W-5' OR naccordp = 'W-6'");
        EXPECT_TRUE(servedByIndex(path, "SELECT * FROM tablep ORDER BY clientp"));
        // Through the writable dynaset and through a read-only open.
        expectIndexOrderIsTheSortOrder(*db, "tablep", "clientp");
        expectIndexOrderIsTheSortOrder(*db, "tablep", "clientp", "naccordp >= 'W'");
        auto reader = Database::open(path, OpenMode::ReadOnly);
        expectIndexOrderIsTheSortOrder(*reader, "tablep", "clientp");

        std::vector<std::string> texts = textsOf(*db, "SELECT * FROM tablep WHERE naccordp >= 'W' ORDER BY clientp",
                                                 "clientp");
        // Collation, not bytes: accents and apostrophes do not come first
        // or last; case and accents are folded first.
        EXPECT_LT(at(texts, "la"), at(texts, "l'Zèbre")) << name;
        EXPECT_LT(at(texts, "Éclair"), at(texts, "Fromage")) << name;
        EXPECT_LT(at(texts, "Œuvres sociales"), at(texts, "Pâtisserie Noël")) << name;
        EXPECT_EQ(at(texts, "Lorraine"), -1) << name;
    }
    std::filesystem::remove_all(dir);
}

// A file created here has no index: its text sort is the index's key order,
// checked against the index key encoder itself.
TEST(OrderByText, CreatedFileSortsByTheIndexKeys)
{
    auto dir = scratchDir();
    const std::string path = (dir / "cree.mdb").string();
    {
        auto created = Database::create(path);
        created->createTable("noms", {{"n", ColumnType::Long, 0, false}, {"nom", ColumnType::Text, 50, false}});
    }
    auto db = Database::open(path, OpenMode::ReadWrite);
    std::vector<std::string> inserted;
    long n = 0;
    for (int round = 0; round < 3; ++round)
        for (const char* name : kNames) {
            db->execute("INSERT INTO noms (n, nom) VALUES (" + std::to_string(n++) + ", " + sqlText(name) + ")");
            inserted.push_back(name);
        }
    db->execute("INSERT INTO noms (n, nom) VALUES (" + std::to_string(n++) + ", NULL)");
    inserted.push_back("<NULL>");
    db->execute("DELETE FROM noms WHERE nom = 'b'");
    // SQL compares text ignoring case: "B" goes too.
    inserted.erase(std::remove_if(inserted.begin(), inserted.end(),
                                  [](const std::string& s) { return s == "b" || s == "B"; }),
                   inserted.end());

    // Physical order is insertion order here; the expected order is a stable
    // sort of it by the keys an ascending index would hold.
    detail::Storage storage(path);
    auto def = storage.tableDef(storage.findTable("noms"));
    const auto order = detail::columnSortOrder(def->columns[1].sortOrder,
                                               detail::sortOrderFromStored(
                                                   detail::storedDatabaseSortOrder(storage.file(), storage.format())));
    ASSERT_NE(order, detail::SortOrder::Unsupported);
    detail::KeyColumn key{ColumnType::Text, true, order};
    auto keyOf = [&](const std::string& s) {
        return detail::encodeKey({key}, {s == "<NULL>" ? Value() : Value::text(s)});
    };
    std::vector<size_t> expected(inserted.size());
    std::iota(expected.begin(), expected.end(), size_t(0));
    std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
        return detail::compareKeys(keyOf(inserted[a]), keyOf(inserted[b])) < 0;
    });
    std::vector<std::string> ascending;
    for (size_t i : expected)
        ascending.push_back(inserted[i]);
    EXPECT_EQ(textsOf(*db, "SELECT * FROM noms ORDER BY nom", "nom"), ascending);

    std::vector<std::string> descending;
    for (size_t end = expected.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && keyOf(inserted[expected[begin - 1]]) == keyOf(inserted[expected[end - 1]]))
            --begin;
        for (size_t i = begin; i < end; ++i)
            descending.push_back(inserted[expected[i]]);
        end = begin;
    }
    EXPECT_EQ(textsOf(*db, "SELECT * FROM noms ORDER BY nom DESC", "nom"), descending);

    auto texts = textsOf(*db, "SELECT * FROM noms ORDER BY nom", "nom");
    EXPECT_EQ(texts.front(), "<NULL>");
    EXPECT_LT(at(texts, "la"), at(texts, "l'Zèbre"));
    EXPECT_LT(at(texts, "Éclair"), at(texts, "Fromage"));
    // Case and accents only: one key, row order kept.
    EXPECT_LT(at(texts, "a"), at(texts, "A"));
    EXPECT_EQ(at(texts, "A"), at(texts, "a") + 1);
    // A second key: text then number.
    auto two = db->openRecordset("SELECT * FROM noms WHERE nom = 'a' ORDER BY nom DESC, n DESC");
    ASSERT_EQ(two->recordCount(), 6); // "a" and "A", three times
    long previous = 1 << 30;
    for (; !two->eof(); two->moveNext()) {
        EXPECT_LT(two->value("n").asInt(), previous);
        previous = two->value("n").asInt();
    }
    db.reset();
    std::filesystem::remove_all(dir);
}

// Text that the collation tables do not cover still sorts (by the units they
// know), the same way every time.
TEST(OrderByText, KeysForEveryText)
{
    using namespace jet::detail;
    std::string a, b;
    std::u16string units;
    std::vector<uint8_t> scratch;
    for (SortOrder order : {SortOrder::GeneralLegacy, SortOrder::General2010}) {
        textSortKey(order, Value(), a, units, scratch);
        EXPECT_EQ(a, std::string(1, '\0'));
        textSortKey(order, Value::text("L'Oréal"), a, units, scratch);
        std::vector<uint8_t> exact = encodeKey({KeyColumn{ColumnType::Text, true, order}}, {Value::text("L'Oréal")});
        EXPECT_EQ(a, std::string(exact.begin(), exact.end()));
        textSortKey(order, Value::text("abc\xF0\x9F\x98\x80"), a, units, scratch);
        textSortKey(order, Value::text("abc\xF0\x9F\x98\x80"), b, units, scratch);
        EXPECT_EQ(a, b);
        EXPECT_EQ(static_cast<unsigned char>(a[0]), 0x7F);
    }
}

// The writable dynaset copies rows a batch at a time under the lock: every
// value, forward and backward, after edits and deletes, is what a read-only
// open of the file reads.
TEST(WritableRows, ReadInBatchesAsAReadOnlyOpenSeesThem)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-big.mdb");
    auto dir = scratchDir();
    const std::string path = copyFixture("velmor2001-big.mdb", dir);
    auto db = Database::open(path, OpenMode::ReadWrite);
    auto same = [&](Recordset& rs, Recordset& ro, const std::string& where) {
        ro.setBookmark(rs.bookmark());
        for (int c = 0; c < int(rs.columns().size()); ++c)
            ASSERT_EQ(rs.value(c).toString(), ro.value(c).toString()) << where << " colonne " << c;
    };
    {
        auto rs = db->openRecordset("SELECT * FROM velmor2001 WHERE id <= 3000");
        auto reader = Database::open(path, OpenMode::ReadOnly);
        auto ro = reader->openRecordset("SELECT * FROM velmor2001 WHERE id <= 3000");
        long n = 0;
        for (; !rs->eof(); rs->moveNext(), ++n)
            same(*rs, *ro, "avant, ligne " + std::to_string(n));
        EXPECT_EQ(n, 3000);
        rs->moveLast();
        for (int i = 0; i < 100; ++i, rs->movePrevious())
            same(*rs, *ro, "en arrière " + std::to_string(i));
    }
    {
        auto rs = db->openRecordset("SELECT * FROM tablep WHERE id <= 200");
        for (int i = 0; i < 40; ++i)
            rs->moveNext();
        const long id = rs->value("id").asInt();
        rs->edit();
        rs->setValue(rs->columnIndex("clientp"), Value::text("Modifié à la main"));
        rs->update();
        EXPECT_EQ(rs->value("clientp").asText(), "Modifié à la main");
        rs->moveNext();
        EXPECT_EQ(rs->value("id").asInt(), id + 1);
        rs->movePrevious();
        EXPECT_EQ(rs->value("clientp").asText(), "Modifié à la main");
        rs->deleteCurrent();
        rs->moveNext();
        EXPECT_EQ(rs->value("id").asInt(), id + 1);
        // Another writer changes the rows ahead: seen once they are loaded again.
        db->execute("UPDATE tablep SET clientp = 'Vu après' WHERE id = " + std::to_string(id + 100));
        auto reader = Database::open(path, OpenMode::ReadOnly);
        auto ro = reader->openRecordset("SELECT * FROM tablep WHERE id <= 200");
        for (; !rs->eof(); rs->moveNext())
            same(*rs, *ro, "après écriture, id " + std::to_string(rs->value("id").asInt()));
    }
    db.reset();
    std::filesystem::remove_all(dir);
}
