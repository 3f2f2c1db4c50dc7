#include "index/index_tree.h"

#include "index/index_key.h"
#include "index/index_split.h"

#include "jet/status.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

namespace jet::detail {

namespace {

constexpr int kMaxDepth = 32;
constexpr long kMaxChainPages = 10000000;

[[noreturn]] void corrupt(uint32_t page, const std::string& what)
{
    throw Error(Code::Corrupt, "page " + std::to_string(page) + " : " + what);
}

// An intermediate page met `depth` levels below the root, before its
// children are followed.
void checkBranch(const IndexPage& page, int depth)
{
    if (depth > kMaxDepth)
        corrupt(page.number, "index trop profond (boucle ?)");
    if (page.childCount() == 0)
        corrupt(page.number, "page d'index intermédiaire vide");
}

size_t lowerBoundIn(const IndexPage& page, const std::vector<uint8_t>& key, uint32_t dataPage, uint8_t row)
{
    size_t lo = 0, hi = page.entries.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (compareIndexEntries(key, dataPage, row, page.entries[mid]) > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Decoded pages kept with the bytes they were decoded from.
struct KeptPage {
    std::vector<uint8_t> bytes;
    SharedIndexPage page;
};

constexpr size_t kKeptPages = 512; // some megabytes at most

std::unordered_map<uint32_t, KeptPage>& keptPages()
{
    thread_local std::unordered_map<uint32_t, KeptPage> kept;
    return kept;
}

KeptPage& keepSlot(uint32_t number)
{
    auto& kept = keptPages();
    if (kept.size() >= kKeptPages && kept.find(number) == kept.end())
        kept.erase(kept.begin()); // any one: a simple bound, not a policy
    return kept[number];
}

} // namespace

SharedIndexPage decodeIndexPageShared(const uint8_t* bytes, uint32_t pageSize, uint32_t number, bool keep)
{
    auto& kept = keptPages();
    auto it = kept.find(number);
    if (it != kept.end() && it->second.page && it->second.bytes.size() == pageSize &&
        std::memcmp(it->second.bytes.data(), bytes, pageSize) == 0)
        return it->second.page;
    // Made non-const so that ownPage() may take it back.
    SharedIndexPage page = std::make_shared<IndexPage>(decodeIndexPage(bytes, pageSize, number));
    if (!keep)
        return page;
    KeptPage& slot = keepSlot(number);
    slot.bytes.assign(bytes, bytes + pageSize);
    slot.page = page;
    return page;
}

void keepIndexPage(const uint8_t* bytes, uint32_t pageSize, IndexPage&& page)
{
    KeptPage& slot = keepSlot(page.number);
    slot.bytes.assign(bytes, bytes + pageSize);
    slot.page = std::make_shared<IndexPage>(std::move(page));
}

namespace {

// A decoded page to change and store again: the kept page itself when
// nothing else holds it (it leaves the kept pages, its bytes being about to
// change), otherwise a copy.
IndexPage ownPage(SharedIndexPage page)
{
    auto& kept = keptPages();
    auto it = kept.find(page->number);
    if (it != kept.end() && it->second.page == page)
        it->second.page.reset();
    if (page.use_count() == 1) // every kept page was made non-const
        return std::move(const_cast<IndexPage&>(*page));
    return *page;
}

} // namespace

uint8_t* IndexPageStore::modify(uint32_t)
{
    return nullptr;
}

void IndexPageStore::write(uint32_t, const uint8_t*)
{
    throw Error(Code::ReadOnly, "index en lecture seule : écriture impossible");
}

uint32_t IndexPageStore::allocate()
{
    throw Error(Code::ReadOnly, "index en lecture seule : écriture impossible");
}

void IndexPageStore::release(uint32_t)
{
    throw Error(Code::ReadOnly, "index en lecture seule : écriture impossible");
}

IndexCursor::IndexCursor(IndexPageStore& store, SharedIndexPage leaf, size_t position)
    : store_(&store), leaf_(std::move(leaf)), position_(position)
{
    settle();
}

void IndexCursor::settle()
{
    long guard = 0;
    while (position_ >= leaf_->entries.size()) {
        if (leaf_->next == 0 || ++guard > kMaxChainPages) {
            end_ = true;
            return;
        }
        uint32_t next = leaf_->next;
        SharedIndexPage page = decodeIndexPageShared(store_->read(next), store_->pageSize(), next, false);
        if (!page->leaf || page->tdefPage != leaf_->tdefPage)
            corrupt(next, "page d'index feuille attendue dans la chaîne des feuilles");
        leaf_ = std::move(page);
        position_ = 0;
    }
}

void IndexCursor::next()
{
    if (end_)
        return;
    ++position_;
    settle();
}

IndexTree::IndexTree(IndexPageStore& store, uint32_t root, uint32_t tdefPage)
    : store_(store), root_(root), tdefPage_(tdefPage)
{
}

SharedIndexPage IndexTree::loadShared(uint32_t number, bool keep)
{
    if (number == 0)
        corrupt(root_, "index : renvoi vers la page 0");
    SharedIndexPage page = decodeIndexPageShared(store_.read(number), store_.pageSize(), number, keep);
    if (page->tdefPage != tdefPage_)
        corrupt(number, "page d'index d'une autre table (" + std::to_string(page->tdefPage) + ")");
    return page;
}

IndexPage IndexTree::load(uint32_t number)
{
    return *loadShared(number, false);
}

void IndexTree::store(IndexPage&& page)
{
    if (uint8_t* target = store_.modify(page.number)) {
        encodeIndexPage(page, store_.pageSize(), target);
        keepIndexPage(target, store_.pageSize(), std::move(page));
        return;
    }
    std::vector<uint8_t> bytes(store_.pageSize());
    encodeIndexPage(page, store_.pageSize(), bytes.data());
    store_.write(page.number, bytes.data());
    keepIndexPage(bytes.data(), store_.pageSize(), std::move(page));
}

SharedIndexPage IndexTree::descend(const std::vector<uint8_t>& key, uint32_t dataPage, uint8_t row,
                                   std::vector<Step>* path)
{
    SharedIndexPage page = loadShared(root_);
    int depth = 0;
    while (!page->leaf) {
        checkBranch(*page, ++depth);
        size_t i = lowerBoundIn(*page, key, dataPage, row);
        if (i == page->entries.size() && !page->tail)
            i = page->entries.size() - 1;
        uint32_t child = page->childAt(i);
        if (path)
            path->push_back(Step{std::move(page), i});
        page = loadShared(child);
    }
    return page;
}

IndexCursor IndexTree::lowerBound(const std::vector<uint8_t>& key, uint32_t dataPage, uint8_t row)
{
    SharedIndexPage leaf = descend(key, dataPage, row, nullptr);
    size_t at = lowerBoundIn(*leaf, key, dataPage, row);
    return IndexCursor(store_, std::move(leaf), at);
}

IndexCursor IndexTree::begin()
{
    SharedIndexPage page = loadShared(root_);
    int depth = 0;
    while (!page->leaf) {
        checkBranch(*page, ++depth);
        page = loadShared(page->childAt(0));
    }
    return IndexCursor(store_, std::move(page), 0);
}

bool IndexTree::containsKey(const std::vector<uint8_t>& key, uint32_t exceptPage, uint8_t exceptRow)
{
    for (IndexCursor c = lowerBound(key); !c.atEnd(); c.next()) {
        const IndexEntry& e = c.entry();
        if (e.key != key)
            return false;
        if (exceptPage == 0 || e.dataPage != exceptPage || e.dataRow != exceptRow)
            return true;
    }
    return false;
}

std::vector<IndexEntry> IndexTree::entries()
{
    std::vector<IndexEntry> out;
    for (IndexCursor c = begin(); !c.atEnd(); c.next())
        out.push_back(c.entry());
    return out;
}

IndexEntry IndexTree::subtreeMax(uint32_t number)
{
    for (int depth = 0; depth <= kMaxDepth; ++depth) {
        SharedIndexPage page = loadShared(number);
        if (page->leaf || !page->tail) {
            if (page->entries.empty())
                corrupt(number, "page d'index vide dans l'arbre");
            const IndexEntry& last = page->entries.back();
            if (page->leaf) {
                IndexEntry e = last;
                e.child = 0;
                return e;
            }
            number = last.child;
            continue;
        }
        number = page->tail;
    }
    corrupt(number, "index trop profond (boucle ?)");
}

void IndexTree::normalize(IndexPage& node)
{
    if (node.leaf)
        return;
    if (!node.tail && node.entries.size() >= 2) {
        node.tail = node.entries.back().child;
        node.entries.pop_back();
    } else if (node.tail && node.entries.empty()) {
        IndexEntry e = subtreeMax(node.tail);
        e.child = node.tail;
        node.entries.push_back(std::move(e));
        node.tail = 0;
    }
}

void IndexTree::unlinkPeers(const IndexPage& page)
{
    if (page.prev) {
        IndexPage prev = load(page.prev);
        prev.next = page.next;
        store(std::move(prev));
    }
    if (page.next) {
        IndexPage next = load(page.next);
        next.prev = page.prev;
        store(std::move(next));
    }
}

std::vector<IndexEntry> IndexTree::split(IndexPage& page)
{
    // The items to share out: the entries, and for a node page the tail with
    // the largest entry below it.
    std::vector<IndexEntry> items = std::move(page.entries);
    page.entries.clear();
    if (!page.leaf && page.tail) {
        IndexEntry tail = subtreeMax(page.tail);
        tail.child = page.tail;
        items.push_back(std::move(tail));
        page.tail = 0;
    }
    const std::vector<size_t> starts = planIndexSplit(items, page.leaf, indexEntriesCapacity(store_.pageSize()),
                                                      maxSharedPrefix(store_.pageSize()));

    // Every piece but the last goes to a new page; the new pages come before
    // the page in the chain of its level, in order.
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < starts.size(); ++i)
        numbers.push_back(store_.allocate());
    if (page.prev && !numbers.empty()) {
        IndexPage prev = load(page.prev);
        prev.next = numbers.front();
        store(std::move(prev));
    }
    auto piece = [&](IndexPage& target, size_t from, size_t to) {
        target.entries.assign(std::make_move_iterator(items.begin() + long(from)),
                              std::make_move_iterator(items.begin() + long(to)));
        if (!target.leaf && target.entries.size() >= 2) {
            target.tail = target.entries.back().child;
            target.entries.pop_back();
        }
        if (!indexPageFits(target, store_.pageSize()))
            corrupt(target.number, "entrées d'index trop grandes pour la page après partage");
    };
    std::vector<IndexEntry> heads;
    size_t from = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t to = starts[i];
        IndexEntry max = items[to - 1];
        max.child = numbers[i];
        if (!page.leaf) {
            // Node pages are chained only among the children of one parent:
            // the last child of this piece no longer leads to the next one.
            IndexPage lastChild = load(items[to - 1].child);
            if (!lastChild.leaf && lastChild.next) {
                IndexPage following = load(lastChild.next);
                following.prev = 0;
                store(std::move(following));
                lastChild.next = 0;
                store(std::move(lastChild));
            }
        }
        IndexPage head;
        head.number = numbers[i];
        head.leaf = page.leaf;
        head.tdefPage = tdefPage_;
        head.prev = i == 0 ? page.prev : numbers[i - 1];
        head.next = i + 1 < numbers.size() ? numbers[i + 1] : page.number;
        piece(head, from, to);
        store(std::move(head));
        heads.push_back(std::move(max));
        from = to;
    }
    if (!numbers.empty())
        page.prev = numbers.back();
    piece(page, from, items.size());
    return heads;
}

void IndexTree::propagate(std::vector<Step>& path, IndexPage current, bool removed, std::optional<IndexEntry> newMax)
{
    for (int guard = 0; guard <= 2 * kMaxDepth + 2; ++guard) {
        std::vector<IndexEntry> heads;
        if (!removed && !indexPageFits(current, store_.pageSize())) {
            if (current.number == root_) {
                // A new level: the root's entries go to a new page below it.
                IndexPage lower;
                lower.number = store_.allocate();
                lower.leaf = current.leaf;
                lower.tdefPage = tdefPage_;
                lower.tail = current.tail;
                lower.entries = std::move(current.entries);
                IndexEntry lowerMax;
                if (lower.leaf || !lower.tail) {
                    lowerMax = lower.entries.back();
                } else {
                    lowerMax = subtreeMax(lower.tail);
                }
                lowerMax.child = lower.number;
                current.leaf = false;
                current.tail = 0;
                current.prev = current.next = 0;
                current.entries.clear();
                current.entries.push_back(std::move(lowerMax));
                path.push_back(Step{std::make_shared<IndexPage>(std::move(current)), 0});
                current = std::move(lower);
                newMax.reset();
            }
            heads = split(current);
        }
        if (removed) {
            unlinkPeers(current);
            store_.release(current.number);
        } else {
            store(std::move(current));
        }
        if (path.empty())
            return; // that was the root

        Step step = std::move(path.back());
        path.pop_back();
        const size_t c = step.child;
        if (!removed && heads.empty() && !newMax) {
            // Nothing to change above unless the parent breaks the tail rules.
            const IndexPage& kept = *step.page;
            if (kept.leaf || !((!kept.tail && kept.entries.size() >= 2) || (kept.tail && kept.entries.empty())))
                return;
        }
        IndexPage parent = ownPage(std::move(step.page));
        const bool wasLast = c + 1 == parent.childCount();
        bool changed = false;
        if (removed) {
            if (c < parent.entries.size())
                parent.entries.erase(parent.entries.begin() + long(c));
            else
                parent.tail = 0;
            changed = true;
        } else if (newMax && c < parent.entries.size()) {
            IndexEntry& e = parent.entries[c];
            e.key = newMax->key;
            e.dataPage = newMax->dataPage;
            e.dataRow = newMax->dataRow;
            changed = true;
        }
        if (!heads.empty()) {
            parent.entries.insert(parent.entries.begin() + long(std::min(c, parent.entries.size())),
                                  std::make_move_iterator(heads.begin()), std::make_move_iterator(heads.end()));
            changed = true;
        }
        if (parent.childCount() == 0) {
            if (parent.number == root_) {
                parent.leaf = true;
                parent.tail = 0;
                parent.entries.clear();
                store(std::move(parent));
                return;
            }
            current = std::move(parent);
            removed = true;
            newMax.reset();
            continue;
        }
        const bool hadTail = parent.tail != 0;
        const size_t storedBefore = parent.entries.size();
        normalize(parent);
        if (hadTail != (parent.tail != 0) || storedBefore != parent.entries.size())
            changed = true;

        std::optional<IndexEntry> parentMax;
        if (wasLast && removed) {
            parentMax = parent.tail ? subtreeMax(parent.tail) : parent.entries.back();
            parentMax->child = 0;
        } else if (wasLast && newMax) {
            parentMax = newMax;
        }
        if (!changed && !parentMax)
            return;
        current = std::move(parent);
        removed = false;
        newMax = std::move(parentMax);
    }
    corrupt(root_, "index trop profond (boucle ?)");
}

std::optional<bool> IndexTree::keyBeside(const IndexPage& leaf, size_t at, const std::vector<uint8_t>& key)
{
    // Entries with one key are consecutive in the leaf chain, so the key is
    // in the tree exactly when the entry just before position `at` or the
    // one just after has it; at the ends of the leaf those are on the
    // neighbouring leaves. Unknown (nullopt) when such a leaf is empty.
    const IndexEntry* before = nullptr;
    const IndexEntry* after = nullptr;
    SharedIndexPage prev, next;
    if (at > 0) {
        before = &leaf.entries[at - 1];
    } else if (leaf.prev) {
        prev = loadShared(leaf.prev);
        if (prev->entries.empty())
            return std::nullopt;
        before = &prev->entries.back();
    }
    if (at < leaf.entries.size()) {
        after = &leaf.entries[at];
    } else if (leaf.next) {
        next = loadShared(leaf.next);
        if (next->entries.empty())
            return std::nullopt;
        after = &next->entries.front();
    }
    return (before && before->key == key) || (after && after->key == key);
}

void IndexTree::insert(const IndexEntry& entry, bool* keyWasThere)
{
    if (entry.key.size() > maxIndexKeyLength(store_.pageSize()))
        throw Error(Code::InvalidValue, "clé d'index de " + std::to_string(entry.key.size()) +
                                            " octets : trop longue pour une page d'index (au plus " +
                                            std::to_string(maxIndexKeyLength(store_.pageSize())) + ")");
    std::vector<Step> path;
    SharedIndexPage found = descend(entry.key, entry.dataPage, entry.dataRow, &path);
    size_t at = lowerBoundIn(*found, entry.key, entry.dataPage, entry.dataRow);
    if (at < found->entries.size() && compareIndexEntries(entry, found->entries[at]) == 0)
        corrupt(found->number, "entrée d'index déjà présente (page " + std::to_string(entry.dataPage) + ", ligne " +
                                   std::to_string(entry.dataRow) + ")");
    if (at == 0 && found->prev) {
        // The end of the leaf before, when its last key is this one.
        SharedIndexPage before = loadShared(found->prev);
        if (!before->entries.empty() && before->entries.back().key == entry.key) {
            const IndexEntry last = before->entries.back();
            std::vector<Step> beforePath;
            SharedIndexPage there = descend(last.key, last.dataPage, last.dataRow, &beforePath);
            if (there->number == before->number) {
                path = std::move(beforePath);
                found = std::move(there);
                at = found->entries.size();
            }
        }
    }
    if (keyWasThere) {
        std::optional<bool> beside = keyBeside(*found, at, entry.key);
        *keyWasThere = beside ? *beside : containsKey(entry.key);
    }
    IndexPage leaf = ownPage(std::move(found));
    const bool last = at == leaf.entries.size();
    IndexEntry e = entry;
    e.child = 0;
    leaf.entries.insert(leaf.entries.begin() + long(at), e);
    std::optional<IndexEntry> newMax;
    if (last)
        newMax = e;
    propagate(path, std::move(leaf), false, std::move(newMax));
}

bool IndexTree::remove(const IndexEntry& entry, bool* keyStillThere)
{
    std::vector<Step> path;
    SharedIndexPage found = descend(entry.key, entry.dataPage, entry.dataRow, &path);
    size_t at = lowerBoundIn(*found, entry.key, entry.dataPage, entry.dataRow);
    if (at >= found->entries.size() || compareIndexEntries(entry, found->entries[at]) != 0)
        return false;
    IndexPage leaf = ownPage(std::move(found));
    const bool last = at + 1 == leaf.entries.size();
    leaf.entries.erase(leaf.entries.begin() + long(at));
    std::optional<bool> beside;
    if (keyStillThere)
        beside = keyBeside(leaf, at, entry.key);
    if (leaf.entries.empty()) {
        if (leaf.number == root_) {
            store(std::move(leaf));
        } else {
            propagate(path, std::move(leaf), true, std::nullopt);
        }
    } else {
        std::optional<IndexEntry> newMax;
        if (last)
            newMax = leaf.entries.back();
        propagate(path, std::move(leaf), false, std::move(newMax));
    }
    if (keyStillThere)
        *keyStillThere = beside ? *beside : containsKey(entry.key);
    return true;
}

} // namespace jet::detail
