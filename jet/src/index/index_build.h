// Writing an index afresh from all its entries (a compaction): pages filled
// one after another instead of split in halves as entries come.
#pragma once

#include "index/index_tree.h"

#include <vector>

namespace jet::detail {

// Writes the index whose root is `root` (an empty leaf, kept as root) from
// `entries`, in order (compareIndexEntries): leaf pages each filled before the next, chained in
// order; above them, one level of node pages after another, each holding an
// entry for every page below it but the last (its tail), chained among the
// children of one parent; and the root over the top level. Other pages come
// from store.allocate(). Throws Error(Corrupt) when one entry alone does not
// fit a page.
void buildIndexTree(IndexPageStore& store, uint32_t root, uint32_t tdefPage, std::vector<IndexEntry> entries);

} // namespace jet::detail
