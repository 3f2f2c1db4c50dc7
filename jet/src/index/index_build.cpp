#include "index/index_build.h"

#include "index/index_page.h"
#include "jet/status.h"

#include <algorithm>
#include <string>
#include <utility>

namespace jet::detail {

namespace {

struct Piece {
    size_t from, to;
};

// The items cut into pieces that each fill a page as far as they go. A
// piece of a node page stores every item but its last, the tail (unless it
// has only one).
std::vector<Piece> fillPieces(const std::vector<IndexEntry>& items, bool leaf, uint32_t pageSize)
{
    const size_t capacity = indexEntriesCapacity(pageSize);
    const size_t limit = maxSharedPrefix(pageSize);
    std::vector<size_t> keyBytes{0};
    for (const IndexEntry& e : items)
        keyBytes.push_back(keyBytes.back() + e.key.size());
    auto bytes = [&](size_t from, size_t to) {
        size_t stored = to - from;
        if (!leaf && stored >= 2)
            --stored;
        const size_t prefix = stored < 2 ? 0 : sharedKeyPrefix(items[from], items[from + stored - 1], limit);
        return keyBytes[from + stored] - keyBytes[from] + stored * (leaf ? 4 : 8) - (stored - 1) * prefix;
    };
    std::vector<Piece> pieces;
    for (size_t from = 0; from < items.size();) {
        if (bytes(from, from + 1) > capacity)
            throw Error(Code::Corrupt, "entrée d'index de " + std::to_string(items[from].key.size()) +
                                           " octets trop grande pour une page d'index");
        size_t to = from + 1;
        while (to < items.size() && bytes(from, to + 1) <= capacity)
            ++to;
        pieces.push_back(Piece{from, to});
        from = to;
    }
    return pieces;
}

IndexPage pageOf(std::vector<IndexEntry>& items, Piece piece, bool leaf, uint32_t number, uint32_t tdefPage)
{
    IndexPage page;
    page.number = number;
    page.leaf = leaf;
    page.tdefPage = tdefPage;
    page.entries.assign(std::make_move_iterator(items.begin() + long(piece.from)),
                        std::make_move_iterator(items.begin() + long(piece.to)));
    if (!leaf && page.entries.size() >= 2) {
        page.tail = page.entries.back().child;
        page.entries.pop_back();
    }
    return page;
}

void write(IndexPageStore& store, IndexPage&& page)
{
    if (!indexPageFits(page, store.pageSize()))
        throw Error(Code::Corrupt, "page " + std::to_string(page.number) + " : entrées d'index trop grandes");
    if (uint8_t* target = store.modify(page.number)) {
        encodeIndexPage(page, store.pageSize(), target);
        return;
    }
    std::vector<uint8_t> bytes(store.pageSize());
    encodeIndexPage(page, store.pageSize(), bytes.data());
    store.write(page.number, bytes.data());
}

// Chains the pages [from, to) of one level in order, ends open, and writes them.
void chainAndWrite(IndexPageStore& store, std::vector<IndexPage>& level, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) {
        level[i].prev = i > from ? level[i - 1].number : 0;
        level[i].next = i + 1 < to ? level[i + 1].number : 0;
    }
    for (size_t i = from; i < to; ++i)
        write(store, std::move(level[i]));
}

} // namespace

void buildIndexTree(IndexPageStore& store, uint32_t root, uint32_t tdefPage, std::vector<IndexEntry> items)
{
    std::vector<IndexPage> below; // node pages waiting for their parents' grouping
    for (bool leaf = true;; leaf = false) {
        const std::vector<Piece> pieces = fillPieces(items, leaf, store.pageSize());
        if (pieces.size() <= 1) {
            chainAndWrite(store, below, 0, below.size());
            write(store, pageOf(items, Piece{0, items.size()}, leaf, root, tdefPage));
            return;
        }
        std::vector<IndexPage> level;
        std::vector<IndexEntry> above;
        for (const Piece& piece : pieces) {
            IndexEntry max = items[piece.to - 1];
            max.child = store.allocate();
            level.push_back(pageOf(items, piece, leaf, max.child, tdefPage));
            above.push_back(std::move(max));
        }
        // The pages below this level are grouped now: chain each group.
        for (const Piece& piece : pieces)
            if (!below.empty())
                chainAndWrite(store, below, piece.from, piece.to);
        if (leaf)
            chainAndWrite(store, level, 0, level.size());
        else
            below = std::move(level);
        items = std::move(above);
    }
}

} // namespace jet::detail
