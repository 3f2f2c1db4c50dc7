// Reading through indexes: equality, ranges and ORDER BY give what a scan
// gives, and a lookup on the big file reads the few rows its index offers.
#include "database/database_impl.h"
#include "sql/index_query.h"
#include "test_support.h"
#include "index/index_key.h"
#include "format/text.h"

#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

using namespace jettest;

using namespace jet;

namespace {

// How many rows an index offers for the query's condition (the query as
// the recordset runs it); -1 when no index serves it.
long candidatesOffered(const std::string& path, const std::string& query)
{
    detail::Storage storage(path);
    auto select = detail::sql::parse(query);
    auto def = storage.tableDef(storage.findTable(select.table));
    detail::sql::bind(select, *def);
    auto rows = detail::indexCandidates(storage.file(), storage.format(), *def, *select.where);
    return rows ? long(rows->size()) : -1;
}

} // namespace

TEST(IndexQuery, EqualityAndRangesMatchTheScan)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    auto db = Database::open(fixture("velmor2001-indexed.mdb"), OpenMode::ReadOnly);
    for (const char* client : {"'L''Oréal'", "'l''ORÉAL'", "'Crédit Agricole'", "''", "'Inconnu'", "'L''Oreal'"})
        expectSameAsScan(*db, "tablep", std::string("clientp = ") + client);
    EXPECT_EQ(db->openRecordset("SELECT * FROM tablep WHERE clientp = 'l''ORÉAL'")->recordCount(), 2);
    // Accents count in SQL: the index finds "L'Oréal" for "L'Oreal", the
    // condition then rejects it.
    EXPECT_EQ(db->openRecordset("SELECT * FROM tablep WHERE clientp = 'L''Oreal'")->recordCount(), 0);
    for (const char* where : {"id = 3", "id > 5", "id >= 5", "id < 3", "3 >= id", "id > 2 AND id <= 6",
                              "id = 2.5", "id > 2.5", "id > 100", "id = 4 AND clientp = 'L''Oréal'",
                              "clientp = 'L''Oréal' OR id = 2"})
        expectSameAsScan(*db, "tablep", where);
    auto one = db->openRecordset("SELECT * FROM velmor2001 WHERE id = 7");
    ASSERT_EQ(one->recordCount(), 1);
    EXPECT_EQ(one->value("client").asText(), "Crédit Agricole");
}

TEST(IndexQuery, OrderByAnIndexedColumnMatchesTheSort)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    auto db = Database::open(fixture("velmor2001-indexed.mdb"), OpenMode::ReadOnly);
    for (const char* order : {" ORDER BY id", " ORDER BY id DESC", " ORDER BY id ASC"}) {
        auto viaIndex = db->openRecordset(std::string("SELECT * FROM tablep") + order);
        auto viaSort = db->openRecordset(std::string("SELECT * FROM tablep WHERE NOT (id IS NULL)") + order);
        EXPECT_EQ(rowsMet(*viaIndex), rowsMet(*viaSort)) << order;
    }
    auto desc = db->openRecordset("SELECT * FROM velmor2001 ORDER BY id DESC");
    EXPECT_EQ(desc->value("id").asInt(), 8);
}

// The recordset reads through the index: a row whose text changed behind the
// index's back is missed by the lookup and found by the scan.
TEST(IndexQuery, LookupsReadTheIndex)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-indexed.mdb");
    const std::string file = copyFixture("velmor2001-indexed.mdb", scratchDir());
    std::string bytes = fileBytes(file);
    const std::string stored = "Cr\xE9" "dit Agricole", changed = "Cr\xE9" "dit Agricolf";
    for (size_t at = bytes.find(stored); at != std::string::npos; at = bytes.find(stored, at))
        bytes.replace(at, stored.size(), changed);
    writeAt(file, bytes, 0);
    auto db = Database::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(db->openRecordset("SELECT * FROM tablep WHERE clientp = 'Crédit Agricolf'")->recordCount(), 0);
    EXPECT_EQ(db->openRecordset("SELECT * FROM tablep WHERE NOT (NOT (clientp = 'Crédit Agricolf'))")->recordCount(),
              2);
}

// On the big file the lookups read the few rows the index offers, not the
// table (how fast: the benchmark).
TEST(IndexQuery, BigFileLookupGoesThroughTheIndex)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-big.mdb");
    const std::string path = fixture("velmor2001-big.mdb");
    auto db = Database::open(path, OpenMode::ReadOnly);
    auto first = db->openRecordset("SELECT * FROM tablep WHERE id = 5000");
    ASSERT_EQ(first->recordCount(), 1);
    const std::string byClient = "clientp = " + sqlText(first->value("clientp").asText());
    expectSameAsScan(*db, "tablep", byClient);
    expectSameAsScan(*db, "tablep", "id > 99990");
    expectSameAsScan(*db, "velmor2001", "id >= 500 AND id < 520");
    const long rows = db->openRecordset("SELECT * FROM tablep WHERE " + byClient)->recordCount();
    const long offered = candidatesOffered(path, "SELECT * FROM tablep WHERE " + byClient);
    EXPECT_GE(offered, rows);
    EXPECT_LT(offered * 100, long(db->table("tablep").rowCount));
    EXPECT_EQ(candidatesOffered(path, "SELECT * FROM tablep WHERE id = 5000"), 1);
    EXPECT_EQ(candidatesOffered(path, "SELECT * FROM tablep WHERE materielp = 'x'"), -1); // no index: a scan
}

// Text lookups rely on this: two texts SQL finds equal (equal once case is
// folded) have the same key, so the index finds every row the condition
// accepts. Characters outside the collation tables have no key at all: a
// condition holding one is answered by scanning.
TEST(IndexQuery, CaseFoldedCharactersHaveTheSameKey)
{
    using namespace jet::detail;
    for (SortOrder order : {SortOrder::GeneralLegacy, SortOrder::General2010}) {
        int pairs = 0;
        for (uint32_t u = 1; u < 0x10000; ++u) {
            if (u >= 0xD800 && u < 0xE000)
                continue;
            uint32_t folded = foldCase(u);
            if (folded == u)
                continue;
            std::u16string a(1, char16_t(u)), b(1, char16_t(folded));
            if (!canEncodeText(order, a) || !canEncodeText(order, b))
                continue;
            ++pairs;
            EXPECT_EQ(keyToHex(encodeTextKey(order, a)), keyToHex(encodeTextKey(order, b))) << std::hex << u;
        }
        EXPECT_GT(pairs, 100);
    }
}
