#include "index/index_split.h"

#include "jet/status.h"

#include <algorithm>
#include <limits>

namespace jet::detail {

namespace {

// Piece sizes from running sums of the key lengths.
class PieceSizes {
public:
    PieceSizes(const std::vector<IndexEntry>& items, bool leaf, size_t prefixLimit)
        : items_(items), leaf_(leaf), prefixLimit_(prefixLimit)
    {
        keyBytes_.reserve(items.size() + 1);
        keyBytes_.push_back(0);
        for (const IndexEntry& e : items)
            keyBytes_.push_back(keyBytes_.back() + e.key.size());
    }

    size_t operator()(size_t from, size_t to) const
    {
        size_t stored = to - from;
        if (!leaf_ && stored >= 2)
            --stored; // the tail
        if (stored == 0)
            return 0;
        const size_t prefix = stored < 2 ? 0 : sharedKeyPrefix(items_[from], items_[from + stored - 1], prefixLimit_);
        return keyBytes_[from + stored] - keyBytes_[from] + stored * (leaf_ ? 4 : 8) - (stored - 1) * prefix;
    }

private:
    const std::vector<IndexEntry>& items_;
    bool leaf_;
    size_t prefixLimit_;
    std::vector<size_t> keyBytes_;
};

} // namespace

size_t indexPieceSize(const std::vector<IndexEntry>& items, size_t from, size_t to, bool leaf, size_t prefixLimit)
{
    return PieceSizes(items, leaf, prefixLimit)(from, to);
}

std::vector<size_t> planIndexSplit(const std::vector<IndexEntry>& items, bool leaf, size_t capacity,
                                   size_t prefixLimit)
{
    const size_t n = items.size();
    const PieceSizes size(items, leaf, prefixLimit);
    if (size(0, n) <= capacity)
        return {};
    for (size_t i = 0; i < n; ++i)
        if (size(i, i + 1) > capacity)
            throw Error(Code::Corrupt, "entrée d'index de " + std::to_string(items[i].key.size()) +
                                           " octets trop grande pour une page d'index");

    struct Cut {
        size_t at, fuller;
        bool betweenKeys;
    };
    std::vector<Cut> cuts;
    size_t evenest = std::numeric_limits<size_t>::max();
    for (size_t at = 1; at < n; ++at) {
        const size_t head = size(0, at), rest = size(at, n);
        if (head > capacity || rest > capacity)
            continue;
        cuts.push_back(Cut{at, std::max(head, rest), items[at - 1].key != items[at].key});
        evenest = std::min(evenest, cuts.back().fuller);
    }
    if (!cuts.empty()) {
        const size_t within = evenest + capacity / 8;
        const Cut* best = nullptr;
        for (const Cut& c : cuts)
            if (c.fuller <= within && (!best || (c.betweenKeys && !best->betweenKeys) ||
                                       (c.betweenKeys == best->betweenKeys && c.fuller < best->fuller)))
                best = &c;
        return {best->at};
    }

    // No two pieces suffice: fill one piece after another.
    std::vector<size_t> starts;
    size_t from = 0;
    while (size(from, n) > capacity) {
        size_t to = from + 1;
        while (to + 1 < n && size(from, to + 1) <= capacity)
            ++to;
        starts.push_back(to);
        from = to;
    }
    return starts;
}

} // namespace jet::detail
