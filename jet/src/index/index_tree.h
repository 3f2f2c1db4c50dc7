// One index as a B-tree of index pages: search, ordered walks over the leaf
// chain, and maintenance (insert, remove, page splits, new levels, pages that
// become empty).
//
// The root page never moves: when it overflows, its entries go to a new page
// below it and that page is split instead. Splitting cuts a page by bytes
// (index_split.h) and moves the first pieces to new pages placed before it in
// the chain of its level, so the page's largest entry, and thus its parent's
// entry, stays the same; the parent takes the new pages' entries and splits
// in turn when it overflows, up to the root. Leaf pages are chained from the
// first to the last; node pages are chained only among the children of one
// parent. An emptied page leaves its parent and its chain and is handed back;
// an emptied root becomes an empty leaf.
//
// An entry whose key is the last key of the leaf before the one it would
// start goes at the end of that leaf instead: rows with one key (many loans
// of one client) then fill pages whose entries share the whole key, instead
// of landing on the page of the next key, where they share little.
#pragma once

#include "index/index_page.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace jet::detail {

// Where the tree's pages come from and go to.
class IndexPageStore {
public:
    virtual ~IndexPageStore() = default;
    virtual uint32_t pageSize() const = 0;
    virtual const uint8_t* read(uint32_t page) = 0;
    // Write side (the defaults refuse).
    virtual void write(uint32_t page, const uint8_t* bytes);
    // The page's bytes to change in place, or null (the default) to go
    // through write().
    virtual uint8_t* modify(uint32_t page);
    virtual uint32_t allocate();
    virtual void release(uint32_t page);
};

// Decoded index pages are shared and never changed once decoded.
using SharedIndexPage = std::shared_ptr<const IndexPage>;

// The decoded form of the page `number` whose bytes are `bytes`. Decoded
// pages are kept (per thread, a bounded number) with a copy of their bytes,
// and a kept page is handed out only when its bytes are still exactly the
// given ones: a page changed since, by this process or another, is decoded
// again. With keep false, a page not kept is decoded without being kept
// (walks over a whole leaf chain would only push out the pages that writes
// use again and again). Throws like decodeIndexPage().
SharedIndexPage decodeIndexPageShared(const uint8_t* bytes, uint32_t pageSize, uint32_t number, bool keep = true);
// Keeps a page just encoded (bytes and decoded form), so that reading it back
// costs only the comparison of its bytes.
void keepIndexPage(const uint8_t* bytes, uint32_t pageSize, IndexPage&& page);

// A position on a leaf page, moving along the leaf chain.
class IndexCursor {
public:
    IndexCursor(IndexPageStore& store, SharedIndexPage leaf, size_t position);
    bool atEnd() const { return end_; }
    const IndexEntry& entry() const { return leaf_->entries[position_]; }
    void next();

private:
    void settle();
    IndexPageStore* store_;
    SharedIndexPage leaf_;
    size_t position_;
    bool end_ = false;
};

class IndexTree {
public:
    IndexTree(IndexPageStore& store, uint32_t root, uint32_t tdefPage);

    // A page of this index (checked to belong to the table). load() gives a
    // copy and keeps nothing.
    IndexPage load(uint32_t page);
    SharedIndexPage loadShared(uint32_t page, bool keep = true);

    // First entry not less than (key, page, row).
    IndexCursor lowerBound(const std::vector<uint8_t>& key, uint32_t page = 0, uint8_t row = 0);
    IndexCursor begin();

    // Whether some entry has exactly this key, other than `except` (a row
    // pointer, page 0 for none).
    bool containsKey(const std::vector<uint8_t>& key, uint32_t exceptPage = 0, uint8_t exceptRow = 0);

    // Every entry in order, through the leaf chain.
    std::vector<IndexEntry> entries();

    // Adds an entry (key and row pointer). Throws Error(Corrupt) if this
    // exact entry is already there, Error(InvalidValue) if its key is longer
    // than maxIndexKeyLength() (nothing changed then).
    // *keyWasThere (when given) tells whether some entry already had the
    // key; found on the leaf when the neighbours there settle it.
    void insert(const IndexEntry& entry, bool* keyWasThere = nullptr);
    // Removes this exact entry; false if the tree does not hold it.
    // *keyStillThere (when given) tells whether another entry has the key.
    bool remove(const IndexEntry& entry, bool* keyStillThere = nullptr);

private:
    struct Step {
        SharedIndexPage page;
        size_t child = 0; // index among the page's children
    };
    // Descends to the leaf where the entry is or would be.
    SharedIndexPage descend(const std::vector<uint8_t>& key, uint32_t page, uint8_t row, std::vector<Step>* path);
    // Whether the entry just before position `at` of a leaf or the one just
    // after (on the neighbouring leaves at the ends) has `key`; nullopt when
    // a neighbouring leaf is empty.
    std::optional<bool> keyBeside(const IndexPage& leaf, size_t at, const std::vector<uint8_t>& key);
    // The largest entry of a subtree.
    IndexEntry subtreeMax(uint32_t page);
    void store(IndexPage&& page);
    void unlinkPeers(const IndexPage& page);
    // Tail rules of node pages: two children or more, the last is the tail.
    void normalize(IndexPage& node);
    // Shares out the entries of a page that has outgrown its room: the first
    // pieces go to new pages before it (see planIndexSplit); returns their
    // entries for the parent, in order. The page keeps the last piece, so
    // its largest entry, and its parent's entry for it, stay the same.
    std::vector<IndexEntry> split(IndexPage& page);
    // Walks up the path applying a child's change.
    void propagate(std::vector<Step>& path, IndexPage current, bool removed, std::optional<IndexEntry> newMax);

    IndexPageStore& store_;
    uint32_t root_;
    uint32_t tdefPage_;
};

} // namespace jet::detail
