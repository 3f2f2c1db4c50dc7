// Index pages emptied by deletions are taken again by later splits: a file
// whose indexes shrink and grow again does not keep growing, and stays
// consistent (velmor-db check, mdb-export, lookups and ORDER BY through the
// index as a scan gives them).
#include "table_batches.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

namespace {

struct PageCounts {
    uint32_t total = 0;
    uint32_t index = 0;  // leaf and node pages
    uint32_t beyond = 0; // index pages at or after page `from`
    uint32_t emptyBefore = 0; // pages holding nothing (given back) before page `from`
};

PageCounts countPages(const std::string& file, uint32_t from = UINT32_MAX)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> page(4096);
    PageCounts c;
    while (in.read(page.data(), std::streamsize(page.size()))) {
        if (page[0] == 0x03 || page[0] == 0x04) {
            ++c.index;
            if (c.total >= from)
                ++c.beyond;
        }
        if (c.total < from && std::all_of(page.begin(), page.end(), [](char b) { return b == 0; }))
            ++c.emptyBefore;
        ++c.total;
    }
    return c;
}

std::string clientName(int n)
{
    static const char* const bases[] = {"Société Générale d'Équipement", "L'Oréal", "Étude notariale Müller",
                                        "Café de l'André", "Garage Saint-Éloi"};
    return std::string(bases[n % 5]) + " agence n°" + std::to_string(n);
}

std::vector<RowId> insertRows(const std::string& file, int first, int count)
{
    std::vector<RowId> ids;
    inTransactions(file, "tablep", size_t(count), 500, [&](TableWriter& t, size_t k) {
        const int n = first + int(k);
        ids.push_back(t.insert(rowWith(t, {{"clientp", Value::text(clientName(n))},
                                           {"motifp", Value::text("Prêt n°" + std::to_string(n))}})));
    });
    return ids;
}

void removeRows(const std::string& file, const std::vector<RowId>& ids)
{
    inTransactions(file, "tablep", ids.size(), 500, [&](TableWriter& t, size_t k) { t.remove(ids[k]); });
}

void expectConsistent(const std::string& file, const std::string& when)
{
    SCOPED_TRACE(when);
    expectHealthy(file);
    expectExportsEqual(file, "tablep");
    auto db = Database::open(file, OpenMode::ReadOnly);
    for (const char* order : {" ORDER BY clientp", " ORDER BY clientp DESC", " ORDER BY id"}) {
        auto viaIndex = db->openRecordset(std::string("SELECT * FROM tablep") + order);
        auto viaSort = db->openRecordset(std::string("SELECT * FROM tablep WHERE NOT (id IS NULL)") + order);
        EXPECT_TRUE(rowsMet(*viaIndex) == rowsMet(*viaSort)) << order;
    }
    for (int n : {3, 1500, 2999, 4001})
        expectSameAsScan(*db, "tablep", "clientp = " + sqlText(clientName(n)));
}

} // namespace

TEST(IndexPages, EmptiedPagesAreTakenAgainBySplits)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto dir = scratchDir();
    const std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    const PageCounts start = countPages(file);

    std::vector<RowId> first = insertRows(file, 0, 3000);
    const PageCounts grown = countPages(file);
    EXPECT_GT(grown.index, start.index + 20) << "the inserts should split index pages";
    expectConsistent(file, "après les ajouts");

    removeRows(file, first);
    const PageCounts emptied = countPages(file);
    EXPECT_EQ(emptied.total, grown.total);
    EXPECT_LT(emptied.index, start.index + (grown.index - start.index) / 4)
        << "emptied index pages are handed back: " << start.index << ", " << grown.index << ", " << emptied.index;
    expectConsistent(file, "après les suppressions");

    // As many rows again (longer keys: more pages): the freed pages are
    // taken first, then pages at the end of the file.
    std::vector<RowId> second = insertRows(file, 3000, 3000);
    const PageCounts regrown = countPages(file, emptied.total);
    EXPECT_GT(regrown.index, start.index + 20);
    // Every freed page serves again (an index page, or a page of the new
    // rows) before any is added.
    EXPECT_EQ(regrown.emptyBefore, 0u);
    EXPECT_LE(regrown.index - regrown.beyond, grown.index)
        << "pages d'index : " << start.index << " au départ, " << grown.index << " après les ajouts, "
        << emptied.index << " après les suppressions, " << regrown.index << " après les nouveaux ajouts dont "
        << regrown.beyond << " en fin de fichier";
    expectConsistent(file, "après les nouveaux ajouts");

    // Half of them out, a third round in: still consistent.
    second.resize(second.size() / 2);
    removeRows(file, second);
    insertRows(file, 6000, 1000);
    expectConsistent(file, "après un troisième tour");
    std::filesystem::remove_all(dir);
}

// On the big file the global map is an inline window over the last pages
// of the file: pages freed there (by rows added, then deleted) are taken
// back; pages before the window count as free without being listed and are
// left alone.
TEST(IndexPages, BigFileTakesFreedPagesBack)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-big.mdb");
    auto dir = scratchDir();
    const std::string file = copyFixture("velmor2001-big.mdb", dir);
    const PageCounts start = countPages(file);
    std::vector<RowId> added = insertRows(file, 0, 3000);
    const PageCounts grown = countPages(file);
    removeRows(file, added);
    const PageCounts emptied = countPages(file);
    ASSERT_LT(emptied.index, grown.index) << "emptied leaves are handed back";
    insertRows(file, 3000, 3000);
    const PageCounts regrown = countPages(file, emptied.total);
    const uint32_t freed = grown.index - emptied.index;
    const uint32_t reused = regrown.index - regrown.beyond - emptied.index;
    std::cout << "pages d'index libérées : " << freed << ", reprises : " << reused << ", ajoutées en fin de fichier : "
              << regrown.beyond << "\n";
    EXPECT_GE(reused * 2, freed) << "pages d'index : " << start.index << " au départ, " << grown.index
                                 << " après les ajouts, " << emptied.index << " après les suppressions, "
                                 << regrown.index << " après les nouveaux ajouts dont " << regrown.beyond
                                 << " en fin de fichier";
    expectHealthy(file);
    std::filesystem::remove_all(dir);
}
