// Index page splits by bytes, on keys as the engine encodes them: thousands of
// equal and near-equal keys, the longest text keys, both text sort orders,
// ascending and descending columns, two-column keys; entries added in
// ascending, descending and random order, then removed until pages empty.
// After each phase the tree is checked and compared with a model; then the
// same on tables of real files, checked by velmor-db check and read back by
// mdb-export.
#include "check/index_check.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_split.h"
#include "index/index_tree.h"
#include "memory_index_pages.h"
#include "table_batches.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using namespace jet;
using namespace jet::detail;
using namespace indextest;
using namespace jet::writer;
using namespace jettest;

namespace {

const std::string kClient = "Société Générale d'Équipement";

IndexEntry entryOf(std::vector<uint8_t> key, uint32_t i)
{
    IndexEntry e;
    e.key = std::move(key);
    e.dataPage = 1000 + i / 50;
    e.dataRow = uint8_t(i % 50);
    return e;
}

bool before(const IndexEntry& a, const IndexEntry& b)
{
    return compareIndexEntries(a, b) < 0;
}

std::vector<uint8_t> textKey(SortOrder order, const std::string& text, bool ascending = true)
{
    KeyColumn c;
    c.type = ColumnType::Text;
    c.order = order;
    c.ascending = ascending;
    return encodeKey({c}, {Value::text(text)});
}

// Leaves of the tree, and how few would hold its entries: pages filled in
// turn, each with its own prefix.
std::pair<size_t, size_t> leavesAndFewest(MemoryPages& pages, const std::vector<IndexEntry>& sorted)
{
    size_t leaves = 0, fewest = 0;
    for (uint32_t n : pages.numbers())
        leaves += decodeIndexPage(pages.read(n), 4096, n).leaf;
    for (size_t from = 0, to = 0; from < sorted.size(); from = to, ++fewest)
        for (to = from + 1;
             to < sorted.size() && indexRunSize(&sorted[from], to + 1 - from, true) <= indexEntriesCapacity(4096);)
            ++to;
    return {leaves, fewest};
}

// Where pages are cut, on entries made up for the purpose.
TEST(IndexSplit, CutsByBytesWithEachPiecesOwnPrefix)
{
    const size_t room = indexEntriesCapacity(4096);
    auto items = [](std::initializer_list<std::pair<char, int>> runs, size_t length) {
        std::vector<IndexEntry> out;
        for (auto [letter, count] : runs)
            for (int i = 0; i < count; ++i)
                out.push_back(entryOf(std::vector<uint8_t>(length, uint8_t(letter)), uint32_t(out.size())));
        return out;
    };
    auto distinct = [](int count, size_t length) { // keys that share nothing
        std::vector<IndexEntry> out;
        for (int i = 0; i < count; ++i)
            out.push_back(entryOf(std::vector<uint8_t>(length, uint8_t(i)), uint32_t(i)));
        return out;
    };
    struct Case {
        const char* what;
        std::vector<IndexEntry> items;
        bool leaf;
        std::vector<size_t> starts;
    } cases[] = {
        // 800 equal keys of 60 bytes share them: 4 bytes an entry after the
        // first; the page overflows only beside another key.
        {"clés égales", items({{'K', 800}}, 60), true, {}},
        {"clés égales puis une autre", items({{'K', 800}, {'Z', 1}}, 60), true, {800}},
        {"une autre puis les clés égales", items({{'A', 1}, {'K', 800}}, 60), true, {1}},
        {"clés distinctes", distinct(40, 96), true, {20}},
        // With a key on each side sharing nothing with the run, no cut in two
        // leaves both pieces within a page.
        {"trois morceaux", items({{'A', 1}, {'K', 80}, {'Z', 1}}, 100), true, {34, 81}},
        // Node pages: the last child of a piece is its tail and takes no room.
        {"page intermédiaire", distinct(37, 92), false, {}},
        {"page intermédiaire partagée", distinct(38, 92), false, {19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<size_t> starts = planIndexSplit(c.items, c.leaf, room);
        EXPECT_EQ(starts, c.starts);
        size_t from = 0;
        for (size_t i = 0; i <= starts.size(); ++i) {
            size_t to = i < starts.size() ? starts[i] : c.items.size();
            EXPECT_LE(indexPieceSize(c.items, from, to, c.leaf), room) << from << "-" << to;
            from = to;
        }
    }
    EXPECT_THROW(planIndexSplit(items({{'A', 1}, {'B', 1}}, room), true, room), Error);
}

// Keys as long as a page takes: one entry a leaf, one entry and a tail a node
// page; one byte longer is refused with nothing changed.
TEST(IndexSplit, LongestKeysOnePerPage)
{
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    const size_t longest = maxIndexKeyLength(4096);
    std::vector<IndexEntry> model;
    for (uint32_t i = 0; i < 40; ++i) {
        std::vector<uint8_t> key(longest, uint8_t(0x41 + i % 7));
        key[longest - 1] = uint8_t(i);
        model.push_back(entryOf(key, i));
        ASSERT_NO_THROW(tree.insert(model.back())) << i;
    }
    expectTree(pages, model);
    const int allocated = pages.allocated;
    try {
        tree.insert(entryOf(std::vector<uint8_t>(longest + 1, 0x41), 99));
        ADD_FAILURE() << "clé trop longue acceptée";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::InvalidValue) << e.what();
    }
    EXPECT_EQ(pages.allocated, allocated);
    expectTree(pages, model);
    for (const IndexEntry& e : model)
        ASSERT_TRUE(tree.remove(e));
    expectTree(pages, {});
    EXPECT_EQ(pages.allocated, pages.released);
}

enum class Family { Same, Near, Long };
enum class Order { Ascending, Descending, Random, ClientFirst };

struct Case {
    const char* name;
    SortOrder order;
    bool ascending;  // the text column's direction
    bool twoColumns; // the text column, then a Long
    Family family;
    Order insertion;
    int rows;
};

// The head of the family "long": `unit` repeated, as many characters as a
// Text(255) column holds with the five-digit tails used, or fewer where
// General keys would pass their limit. Apostrophes give the longest legacy keys (about
// 1,000 bytes).
const std::string& longHead(SortOrder order, const std::string& unit)
{
    static std::map<std::pair<SortOrder, std::string>, std::string> heads;
    std::string& head = heads[{order, unit}];
    if (!head.empty())
        return head;
    std::string text;
    while (text.size() < 1200)
        text += unit;
    std::vector<std::string> chars; // UTF-8 characters
    for (size_t at = 0; chars.size() < 250;) {
        size_t start = at++;
        while ((uint8_t(text[at]) & 0xC0) == 0x80)
            ++at;
        chars.push_back(text.substr(start, at - start));
    }
    for (size_t n = chars.size(); n > 0; --n) {
        head.clear();
        for (size_t k = 0; k < n; ++k)
            head += chars[k];
        try {
            for (int tail = 10000; tail < 10300; ++tail)
                textKey(order, head + std::to_string(tail), false); // a byte longer than ascending
            return head;
        } catch (const Error&) {
        }
    }
    return head;
}

std::string textOf(const Case& c, uint32_t i)
{
    static const char* const others[] = {"Alpha", "Zoé — conseil", "société générale d'équipement",
                                          "Société Générale d'Équipement SA", ""};
    switch (c.family) {
    case Family::Same:
        return i % 10 ? kClient : others[i / 10 % 5];
    case Family::Near: {
        // Same letters, other case and accents: keys that differ near the end.
        static const char* const forms[] = {"Société Générale d'Équipement", "SOCIÉTÉ GÉNÉRALE D'ÉQUIPEMENT",
                                            "Societe Generale d'Equipement"};
        return std::string(forms[i % 3]) + " n°" + std::to_string(i / 3 % 400);
    }
    case Family::Long: {
        static const std::string units[] = {kClient + " ", "d'É'", "'"};
        return longHead(c.order, units[i % 3]) + std::to_string(10000 + i % 300);
    }
    }
    return {};
}

std::vector<IndexEntry> rowsOf(const Case& c)
{
    std::vector<KeyColumn> columns(1);
    columns[0].type = ColumnType::Text;
    columns[0].order = c.order;
    columns[0].ascending = c.ascending;
    if (c.twoColumns) {
        columns.emplace_back();
        columns[1].type = ColumnType::Long;
    }
    std::map<std::string, std::vector<uint8_t>> known; // the long texts take a while
    std::vector<IndexEntry> rows;
    for (uint32_t i = 0; i < uint32_t(c.rows); ++i) {
        std::string text = textOf(c, i);
        std::vector<Value> values{Value::text(text)};
        if (c.twoColumns)
            values.push_back(i % 13 == 0 ? Value() : Value::integer(int32_t(i % 5) - 2));
        const std::string id = text + (c.twoColumns ? "|" + values[1].toString() : "");
        auto it = known.find(id);
        if (it == known.end())
            it = known.emplace(id, encodeKey(columns, values)).first;
        rows.push_back(entryOf(it->second, i));
    }
    switch (c.insertion) {
    case Order::Ascending: std::sort(rows.begin(), rows.end(), before); break;
    case Order::Descending: std::sort(rows.rbegin(), rows.rend(), before); break;
    default: std::shuffle(rows.begin(), rows.end(), std::mt19937(uint32_t(c.rows))); break;
    }
    return rows;
}

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class IndexSplitCases : public ::testing::TestWithParam<Case> {};

TEST_P(IndexSplitCases, AddThenRemoveUntilPagesEmpty)
{
    const Case& c = GetParam();
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    std::vector<IndexEntry> rows = rowsOf(c);
    for (const IndexEntry& e : rows)
        ASSERT_NO_THROW(tree.insert(e));
    expectTree(pages, rows);
    std::vector<IndexEntry> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), before);
    auto [leaves, fewest] = leavesAndFewest(pages, sorted);
    EXPECT_LE(leaves, 2 * fewest + 2) << fewest;
    EXPECT_FALSE(tree.load(kRoot).leaf);

    // The rows of the most frequent key (a run of whole pages), then every
    // other row, in the order they came.
    std::map<std::vector<uint8_t>, int> counts;
    for (const IndexEntry& e : rows)
        ++counts[e.key];
    auto frequent = std::max_element(counts.begin(), counts.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
    const std::vector<uint8_t> key = frequent->first;
    std::vector<IndexEntry> kept;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].key == key || i % 2 == 0)
            ASSERT_TRUE(tree.remove(rows[i])) << i;
        else
            kept.push_back(rows[i]);
    }
    expectTree(pages, kept);
    for (const IndexEntry& e : kept)
        ASSERT_TRUE(tree.remove(e));
    expectTree(pages, {});
    EXPECT_TRUE(tree.load(kRoot).leaf);
    EXPECT_EQ(pages.allocated, pages.released);
}

constexpr SortOrder kLegacy = SortOrder::GeneralLegacy;
constexpr SortOrder k2010 = SortOrder::General2010;

INSTANTIATE_TEST_SUITE_P(
    Keys, IndexSplitCases,
    ::testing::Values(Case{"SameLegacyAscRandom", kLegacy, true, false, Family::Same, Order::Random, 5000},
                      Case{"SameLegacyAscAscending", kLegacy, true, false, Family::Same, Order::Ascending, 5000},
                      Case{"SameLegacyDescDescending", kLegacy, false, false, Family::Same, Order::Descending, 5000},
                      Case{"Same2010DescRandom", k2010, false, false, Family::Same, Order::Random, 5000},
                      Case{"Same2010TwoColumnsAscending", k2010, true, true, Family::Same, Order::Ascending, 4000},
                      Case{"NearLegacyTwoColumnsRandom", kLegacy, true, true, Family::Near, Order::Random, 4000},
                      Case{"NearLegacyDescAscending", kLegacy, false, false, Family::Near, Order::Ascending, 4000},
                      Case{"Near2010AscDescending", k2010, true, false, Family::Near, Order::Descending, 4000},
                      Case{"Near2010DescTwoColumnsRandom", k2010, false, true, Family::Near, Order::Random, 4000},
                      Case{"LongLegacyAscRandom", kLegacy, true, false, Family::Long, Order::Random, 1500},
                      Case{"LongLegacyDescAscending", kLegacy, false, false, Family::Long, Order::Ascending, 1500},
                      Case{"Long2010AscDescending", k2010, true, false, Family::Long, Order::Descending, 1500},
                      Case{"Long2010DescTwoColumnsRandom", k2010, false, true, Family::Long, Order::Random, 1500}),
    [](const auto& info) { return std::string(info.param.name); });

// Tables of real files: each text index (both sort orders, ascending and
// descending, alone or with a Long column) takes a few thousand rows of one
// client, of near-equal clients and of the longest clients its column holds;
// then the rows of the first client and every third row go.
struct FileCase {
    const char* name;
    const char* file; // under the fixtures
    const char* table;
    const char* text;   // the indexed text column
    const char* unique; // a unique text column (its primary key), or null
    const char* number; // a Long column, or null
    SortOrder order;
    bool ascending; // the text column's direction in its index
    size_t maxChars;
    Order insertion;
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string fileText(const FileCase& c, uint32_t i)
{
    if (i % 10 < 6)
        return kClient;
    if (i % 10 < 9)
        return textOf(Case{"", c.order, true, false, Family::Near, Order::Random, 0}, i);
    std::string head = longHead(c.order, kClient + " ").substr(0, c.maxChars - 5);
    while ((uint8_t(head.back()) & 0xC0) == 0xC0)
        head.pop_back(); // not half a character
    return head + std::to_string(10000 + i % 300);
}

// The rows of a table as velmor-db export or mdb-export reads them, sorted,
// without the header.
std::vector<std::vector<std::string>> exportedRows(const std::string& file, const std::string& table, bool ours)
{
    std::vector<std::vector<std::string>> rows =
        ours ? parseCsv(runCommand(std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db export " + shellQuote(file) +
                                   " " + shellQuote(table) + " 2>/dev/null"))
             : mdbExport(file, table);
    if (!rows.empty())
        rows.erase(rows.begin());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// What both readers read beyond what they read in the original file (whose
// rows the two may not read alike: U+0000 or emoji inside text).
void expectAddedRowsReadAlike(const std::string& original, const std::string& file, const std::string& table)
{
    std::vector<std::vector<std::string>> added[2];
    for (bool ours : {false, true}) {
        auto before = exportedRows(original, table, ours), after = exportedRows(file, table, ours);
        std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                            std::back_inserter(added[ours]));
    }
    ASSERT_EQ(added[0].size(), added[1].size());
    EXPECT_TRUE(added[0] == added[1]);
}

class IndexSplitFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(IndexSplitFiles, ThousandsOfRowsThenDeletions)
{
    const FileCase& c = GetParam();
    VELMOR_SKIP_WITHOUT_FIXTURE(c.file);
    auto dir = scratchDir();
    const std::string file = copyFixture(c.file, dir);
    const std::vector<std::string> problemsBefore = checkDatabase(file).problems;
    const std::string quoted = "'" + std::string("Société Générale d''Équipement") + "'";
    const std::string select =
        std::string("SELECT * FROM [") + c.table + "] WHERE [" + c.text + "] = " + quoted;
    const long clientRows = Database::open(file, OpenMode::ReadOnly)->openRecordset(select)->recordCount();

    // The rows, in the order of the text column's index or at random.
    const uint32_t rows = 3000;
    std::vector<uint32_t> order(rows);
    for (uint32_t i = 0; i < rows; ++i)
        order[i] = i;
    KeyColumn column;
    column.type = ColumnType::Text;
    column.order = c.order;
    column.ascending = c.ascending;
    auto keyOf = [&](uint32_t i) { return encodeKey({column}, {Value::text(fileText(c, i))}); };
    if (c.insertion == Order::ClientFirst) {
        // As a desk does: the rows of one client, the last key of the index,
        // then the others.
        auto others = std::stable_partition(order.begin(), order.end(),
                                            [&](uint32_t i) { return fileText(c, i) == kClient; });
        std::shuffle(others, order.end(), std::mt19937(7));
    } else if (c.insertion == Order::Random) {
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
    } else {
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return (compareKeys(keyOf(a), keyOf(b)) < 0) == (c.insertion == Order::Ascending) &&
                   keyOf(a) != keyOf(b);
        });
    }

    std::vector<std::pair<RowId, uint32_t>> written;
    inTransactions(file, c.table, order.size(), 1000, [&](TableWriter& t, size_t k) {
        const uint32_t i = order[k];
        std::vector<Value> values = rowWith(t, {{c.text, Value::text(fileText(c, i))}});
        if (c.unique)
            values[size_t(t.layout().columnIndex(c.unique))] = Value::text(kClient.substr(0, 20) + " n°" + std::to_string(i));
        if (c.number)
            values[size_t(t.layout().columnIndex(c.number))] = Value::integer(int32_t(i % 5));
        written.emplace_back(t.insert(values), i);
    });
    CheckReport report = checkDatabase(file);
    EXPECT_EQ(report.problems, problemsBefore);
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->openRecordset(select)->recordCount(),
              clientRows + long(rows * 6 / 10));

    inTransactions(file, c.table, written.size(), written.size(), [&](TableWriter& t, size_t k) {
        if (written[k].second % 10 < 6 || written[k].second % 3 == 0)
            t.remove(written[k].first);
    });
    report = checkDatabase(file);
    EXPECT_EQ(report.problems, problemsBefore);
    EXPECT_EQ(Database::open(file, OpenMode::ReadOnly)->openRecordset(select)->recordCount(), clientRows);
    int status = 0;
    const std::string out =
        runCommand(std::string(VELMOR_BINARY_DIR) + "/tools/velmor-db check " + shellQuote(file) + " 2>&1", &status);
    EXPECT_EQ(status == 0, problemsBefore.empty()) << out;
    expectAddedRowsReadAlike(fixture(c.file), file, c.table);
}

const char* const kCodes = "access-corpus/testIndexCodesV2000.mdb";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, IndexSplitFiles,
    ::testing::Values(
        FileCase{"LoansLegacyClientFirst", "velmor2001-indexed.mdb", "tablep", "clientp", nullptr, nullptr, kLegacy,
                 true, 50, Order::ClientFirst},
        FileCase{"LegacyDescendingAscending", kCodes, "Table1_desc", "data", "name", nullptr, kLegacy, false, 100,
                 Order::Ascending},
        FileCase{"LegacyTwoColumnsDescending", kCodes, "Table12_desc_asc", "data1", "row", "data2", kLegacy, false, 50,
                 Order::Descending},
        FileCase{"General2010LongRandom", "access-corpus/testEmoticonsV2010.accdb", "data", "data", nullptr, "key",
                 k2010, true, 255, Order::Random}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
