// `check` against damaged usage maps, on copies the test damages itself: a
// table's map that claims its own definition page, a page of another table or
// a page whose type was changed; an index map that claims a data page; a data
// page with rows that its table's map lost. A freed page that kept its old
// bytes (marked free in the global map) is no problem.
#include "table/catalog_writer.h"
#include "jet/check.h"
#include "file/page_store.h"
#include "format/row_encoder.h"
#include "format/usage_map.h"
#include "test_support.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

using namespace jet;
using namespace jet::writer;
using namespace jettest;

namespace {

struct Tables {
    detail::TableDef returns, loans; // velmor2001, tablep
    uint32_t returnPage = 0;    // a data page of velmor2001 holding rows
    uint32_t loanPage = 0;      // same for tablep
};

// Copies the indexed fixture, runs `damage` on it as one write and returns
// what check reports.
std::vector<std::string>
problemsAfter(const std::function<void(Transaction&, const Tables&)>& damage) {
    auto dir = scratchDir();
    std::string file = copyFixture("velmor2001-indexed.mdb", dir);
    {
        PageStore store(file);
        Transaction txn(store);
        Tables t;
        t.returns = detail::readTableDef(txn, findTableDefinition(txn, "velmor2001"));
        t.loans = detail::readTableDef(txn, findTableDefinition(txn, "tablep"));
        t.returnPage = UsageMap(txn, t.returns.ownedPages.raw()).pages().front();
        t.loanPage = UsageMap(txn, t.loans.ownedPages.raw()).pages().front();
        damage(txn, t);
        txn.commit();
    }
    return checkDatabase(file).problems;
}

// Whether one problem contains every one of `parts`.
bool reported(const std::vector<std::string>& problems, const std::vector<std::string>& parts) {
    for (const std::string& p : problems) {
        bool all = true;
        for (const std::string& part : parts)
            all = all && p.find(part) != std::string::npos;
        if (all)
            return true;
    }
    return false;
}

std::string listed(const std::vector<std::string>& problems) {
    std::string out;
    for (const std::string& p : problems)
        out += "\n  " + p;
    return out.empty() ? " (aucun)" : out;
}

void claim(Transaction& txn, uint32_t map, uint32_t page) {
    PageAllocator allocator(txn);
    UsageMap(txn, map).add(page, allocator);
}

// A new page holding a copy of `page`, as a freed page that kept its bytes.
uint32_t copyOf(Transaction& txn, uint32_t page, bool markedFree) {
    PageAllocator allocator(txn);
    uint32_t copy = allocator.allocate();
    std::memcpy(txn.modify(copy), txn.page(page), txn.pageSize());
    if (markedFree)
        UsageMap(txn, 1u << 8, true).add(copy, allocator);
    return copy;
}

} // namespace

TEST(CheckUsageMaps, ClaimsOfTheWrongPageAreFound) {
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    struct Case {
        const char* what;
        std::function<std::vector<std::string>(Transaction&, const Tables&)>
            damage; // returns the parts expected
    };
    const std::vector<Case> cases = {
        {"carte qui compte la page de définition",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             claim(txn, t.returns.ownedPages.raw(), t.returns.page);
             return {"table velmor2001 : page " + std::to_string(t.returns.page),
                     "pas une page de données (page de définition de table, type 2)"};
         }},
        {"type de page changé",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             txn.modify(t.returnPage)[0] = 0x04;
             return {"page " + std::to_string(t.returnPage),
                     "pas une page de données (page d'index feuille, type 4)"};
         }},
        {"page d'une autre table",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             claim(txn, t.returns.ownedPages.raw(), t.loanPage);
             return {"page " + std::to_string(t.loanPage), "appartient à une autre table"};
         }},
        {"page comptée par deux tables",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             claim(txn, t.returns.ownedPages.raw(), t.loanPage);
             return {"page " + std::to_string(t.loanPage) + " comptée aussi par table"};
         }},
        {"carte d'index qui compte une page de données",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             claim(txn, t.returns.physicalIndexes.at(0).ownedPages.raw(), t.returnPage);
             return {"index de la table velmor2001 : page " + std::to_string(t.returnPage)};
         }},
        {"page de lignes absente de la carte",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             PageAllocator allocator(txn);
             UsageMap(txn, t.loans.ownedPages.raw()).remove(t.loanPage, allocator);
             return {"table tablep : la page " + std::to_string(t.loanPage) +
                     " contient des lignes"};
         }},
        {"copie d'une page de lignes ni comptée ni libre",
         [](Transaction& txn, const Tables& t) -> std::vector<std::string> {
             uint32_t copy = copyOf(txn, t.returnPage, false);
             return {"la page " + std::to_string(copy) + " contient des lignes"};
         }},
    };
    for (const Case& c : cases) {
        std::vector<std::string> expected;
        std::vector<std::string> problems =
            problemsAfter([&](Transaction& txn, const Tables& t) { expected = c.damage(txn, t); });
        EXPECT_TRUE(reported(problems, expected))
            << c.what << " : non signalé ; problèmes :" << listed(problems);
    }
}

TEST(CheckUsageMaps, AFreedPageThatKeptItsBytesIsNoProblem) {
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    std::vector<std::string> problems =
        problemsAfter([](Transaction& txn, const Tables& t) { copyOf(txn, t.returnPage, true); });
    EXPECT_TRUE(problems.empty()) << listed(problems);
}
