// B-tree maintenance on index pages held in memory: inserts and removals in
// random order, page splits, new levels, emptied pages, with the tree's
// structure checked after each batch.
#include "check/index_check.h"
#include "index/index_page.h"
#include "index/index_tree.h"
#include "memory_index_pages.h"

#include "jet/status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

using namespace jet;
using namespace jet::detail;
using namespace indextest;

namespace {

struct Key {
    std::vector<uint8_t> key;
    uint32_t page;
    uint8_t row;
    bool operator<(const Key& o) const
    {
        return compareEntries(key, page, row, o.key, o.page, o.row) < 0;
    }
};

IndexEntry entryOf(const Key& k)
{
    IndexEntry e;
    e.key = k.key;
    e.dataPage = k.page;
    e.dataRow = k.row;
    return e;
}

void expectSame(MemoryPages& pages, const std::set<Key>& model)
{
    std::vector<IndexEntry> entries;
    for (const Key& k : model)
        entries.push_back(entryOf(k));
    expectTree(pages, entries);
}

Key randomKey(std::mt19937& rng, int maxLength)
{
    Key k;
    int length = 2 + int(rng() % uint32_t(maxLength));
    k.key.push_back(0x7f);
    // A shared head so that pages use the common prefix.
    k.key.push_back(0x41);
    for (int i = 2; i < length; ++i)
        k.key.push_back(uint8_t(0x40 + rng() % 8));
    k.page = 1 + rng() % 5000;
    k.row = uint8_t(rng() % 200);
    return k;
}

TEST(IndexPage, WorkedExampleLeafDecodes)
{
    // The single leaf page of four entries described beside the key vectors.
    std::vector<uint8_t> p(4096, 0);
    const uint8_t head[] = {0x04, 0x01, 0xd2, 0x0d, 0x18, 0, 0, 0};
    std::memcpy(p.data(), head, sizeof head);
    const uint8_t bitmap[] = {0x20, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40};
    std::memcpy(p.data() + 27, bitmap, sizeof bitmap);
    const uint8_t entries[] = {0x00, 0x00, 0x00, 0x1b, 0x03, 0x7f, 0x4d, 0x69, 0x51, 0x4f, 0x59, 0x6d, 0x07, 0x4a,
                               0x55, 0x69, 0x59, 0x4d, 0x64, 0x5e, 0x51, 0x01, 0x02, 0x02, 0x0e, 0x00, 0x00, 0x00,
                               0x1b, 0x01, 0x7f, 0x5e, 0x64, 0x69, 0x51, 0x4a, 0x5e, 0x01, 0x02, 0x02, 0x02, 0x0e,
                               0x01, 0x01, 0x01, 0x80, 0x0b, 0x06, 0x80, 0x00, 0x00, 0x00, 0x1b, 0x00, 0x7f, 0x5e,
                               0x64, 0x69, 0x51, 0x4a, 0x5e, 0x01, 0x02, 0x02, 0x02, 0x0e, 0x01, 0x01, 0x01, 0x80,
                               0x0b, 0x06, 0x80, 0x00, 0x00, 0x00, 0x1b, 0x02};
    std::memcpy(p.data() + 480, entries, sizeof entries);
    IndexPage page = decodeIndexPage(p.data(), 4096, 26);
    ASSERT_EQ(page.entries.size(), 4u);
    EXPECT_EQ(page.tdefPage, 0x18u);
    EXPECT_EQ(keyToHex(page.entries[0].key), "00");
    EXPECT_EQ(page.entries[0].dataPage, 27u);
    EXPECT_EQ(page.entries[0].dataRow, 3);
    EXPECT_EQ(page.entries[3].dataRow, 2);
    EXPECT_EQ(page.entries[2].key, page.entries[3].key);
    // Encoding gives back the same page (the prefix of these entries is 0).
    std::vector<uint8_t> again(4096);
    encodeIndexPage(page, 4096, again.data());
    EXPECT_EQ(again, p);
}

TEST(IndexPage, SharedPrefixMayReachIntoTheRowPointer)
{
    // Three entries of key 7f 41 42 on data page 0x000105: the prefix (6)
    // takes the key and the page, the second and third entries keep only
    // their row.
    std::vector<uint8_t> p(4096, 0);
    const uint8_t head[] = {0x04, 0x01, 0, 0, 0x07, 0, 0, 0};
    std::memcpy(p.data(), head, sizeof head);
    p[24] = 6;
    const uint8_t entries[] = {0x7f, 0x41, 0x42, 0x00, 0x01, 0x05, 0x03, 0x04, 0x07};
    std::memcpy(p.data() + 480, entries, sizeof entries);
    p[27] = 1 << 7; // ends at 7, 8 and 9
    p[28] = 1 << 0 | 1 << 1;
    IndexPage page = decodeIndexPage(p.data(), 4096, 30);
    ASSERT_EQ(page.entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(keyToHex(page.entries[i].key), "7f4142") << i;
        EXPECT_EQ(page.entries[i].dataPage, 0x105u) << i;
    }
    EXPECT_EQ(page.entries[1].dataRow, 0x04);
    EXPECT_EQ(page.entries[2].dataRow, 0x07);
    // A prefix longer than the first entry is refused.
    p[24] = 8;
    EXPECT_THROW(decodeIndexPage(p.data(), 4096, 30), Error);
}

Key ascendingKey(uint32_t i)
{
    // 24-byte keys that share little, so that three levels come quickly.
    Key k{{0x7f, uint8_t(0x80 | i >> 24), uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)}, 100 + i / 50, uint8_t(i % 50)};
    for (int j = 0; j < 19; ++j)
        k.key.push_back(uint8_t(i * 31 + uint32_t(j)));
    return k;
}

TEST(IndexTree, AscendingInsertsGrowLevels)
{
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    std::set<Key> model;
    for (uint32_t i = 1; i <= 40000; ++i) {
        Key k = ascendingKey(i);
        tree.insert(entryOf(k));
        model.insert(k);
    }
    expectSame(pages, model);
    IndexPage root = tree.load(kRoot);
    EXPECT_FALSE(root.leaf);
    // Three levels at least: the root's children are node pages.
    EXPECT_FALSE(tree.load(root.childAt(0)).leaf);
    for (uint32_t i = 1; i <= 40000; i += 2) {
        Key k = ascendingKey(i);
        ASSERT_TRUE(tree.remove(entryOf(k)));
        model.erase(k);
    }
    expectSame(pages, model);
}

TEST(IndexTree, DuplicateKeysOrderedByRowAndFound)
{
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    std::set<Key> model;
    for (uint32_t i = 0; i < 3000; ++i) {
        Key k{{0x7f, 0x4a, 0x01, uint8_t(i % 3), 0x00}, 500 - i / 10, uint8_t(i % 10)};
        tree.insert(entryOf(k));
        model.insert(k);
    }
    expectSame(pages, model);
    std::vector<uint8_t> key{0x7f, 0x4a, 0x01, 0x01, 0x00};
    EXPECT_TRUE(tree.containsKey(key));
    EXPECT_FALSE(tree.containsKey({0x7f, 0x4a, 0x01, 0x05, 0x00}));
    long n = 0;
    for (IndexCursor c = tree.lowerBound(key); !c.atEnd() && c.entry().key == key; c.next())
        ++n;
    EXPECT_EQ(n, 1000);
    // The same entry twice is refused.
    Key again = *model.begin();
    EXPECT_THROW(tree.insert(entryOf(again)), Error);
    EXPECT_FALSE(tree.remove(entryOf(Key{{0x7f, 0x00}, 1, 1})));
}

} // namespace

// Decoded pages are kept between uses; a page whose bytes changed behind the
// tree's back (another process writing between two transactions) must be
// read again, not served from what was kept.
TEST(IndexTree, PagesChangedBehindTheTreeAreReadAgain)
{
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    std::set<Key> model;
    for (uint8_t i = 0; i < 5; ++i) {
        Key k{{0x7f, 0x41, uint8_t(0x41 + i)}, 10u + i, 1};
        bool wasThere = true;
        tree.insert(entryOf(k), &wasThere);
        EXPECT_FALSE(wasThere);
        model.insert(k);
    }
    ASSERT_EQ(tree.entries().size(), 5u);

    // Another writer replaces the root leaf with other entries.
    IndexPage other;
    other.number = kRoot;
    other.tdefPage = kTdef;
    std::set<Key> otherModel;
    for (uint8_t i = 0; i < 3; ++i) {
        Key k{{0x7f, 0x50, uint8_t(0x30 + i)}, 20u + i, 2};
        other.entries.push_back(entryOf(k));
        otherModel.insert(k);
    }
    std::vector<uint8_t> bytes(4096);
    encodeIndexPage(other, 4096, bytes.data());
    pages.write(kRoot, bytes.data());

    std::vector<IndexEntry> seen = tree.entries();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].key, otherModel.begin()->key);
    EXPECT_FALSE(tree.containsKey(model.begin()->key));
    EXPECT_TRUE(tree.containsKey(otherModel.begin()->key));

    // Writing goes on from the new bytes.
    Key again = *otherModel.begin();
    again.page = 30;
    bool wasThere = false;
    tree.insert(entryOf(again), &wasThere);
    EXPECT_TRUE(wasThere);
    otherModel.insert(again);
    expectSame(pages, otherModel);
    bool stillThere = false;
    EXPECT_TRUE(tree.remove(entryOf(again), &stillThere));
    EXPECT_TRUE(stillThere);
    otherModel.erase(again);
    Key last = *otherModel.rbegin();
    EXPECT_TRUE(tree.remove(entryOf(last), &stillThere));
    EXPECT_FALSE(stillThere);
    otherModel.erase(last);
    expectSame(pages, otherModel);
}

// The decoded pages kept after writes are exactly what decoding their bytes
// gives.
TEST(IndexTree, KeptPagesEqualAFreshDecode)
{
    MemoryPages pages;
    IndexTree tree(pages, kRoot, kTdef);
    std::mt19937 rng(11);
    std::vector<Key> added;
    for (int i = 0; i < 3000; ++i) {
        Key k = randomKey(rng, 40);
        if (i % 3 == 2 && !added.empty()) {
            size_t at = rng() % added.size();
            ASSERT_TRUE(tree.remove(entryOf(added[at])));
            added.erase(added.begin() + long(at));
            continue;
        }
        bool duplicate = false;
        for (const Key& a : added)
            duplicate = duplicate || (a.key == k.key && a.page == k.page && a.row == k.row);
        if (duplicate)
            continue;
        tree.insert(entryOf(k));
        added.push_back(k);
    }
    ASSERT_GT(pages.pageCount(), 5u);
    for (uint32_t n : pages.numbers()) {
        const uint8_t* bytes = pages.read(n);
        if (!isIndexPage(bytes))
            continue;
        IndexPage fresh = decodeIndexPage(bytes, 4096, n);
        SharedIndexPage kept = decodeIndexPageShared(bytes, 4096, n);
        ASSERT_EQ(kept->leaf, fresh.leaf) << n;
        ASSERT_EQ(kept->tdefPage, fresh.tdefPage) << n;
        ASSERT_EQ(kept->prev, fresh.prev) << n;
        ASSERT_EQ(kept->next, fresh.next) << n;
        ASSERT_EQ(kept->tail, fresh.tail) << n;
        ASSERT_EQ(kept->entries.size(), fresh.entries.size()) << n;
        for (size_t i = 0; i < fresh.entries.size(); ++i) {
            ASSERT_EQ(kept->entries[i].key, fresh.entries[i].key) << n << " " << i;
            ASSERT_EQ(kept->entries[i].dataPage, fresh.entries[i].dataPage) << n << " " << i;
            ASSERT_EQ(kept->entries[i].dataRow, fresh.entries[i].dataRow) << n << " " << i;
            ASSERT_EQ(kept->entries[i].child, fresh.entries[i].child) << n << " " << i;
        }
    }
}
