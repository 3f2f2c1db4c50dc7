// Where an index page that has outgrown its room is cut. Each piece goes to
// a page of its own and gets its own shared prefix (that of its first and
// last stored entries), so the size of a piece depends on where it starts
// and ends: a run of equal keys shares its whole key and takes 4 bytes an
// entry, the same entries beside one other key take their full length.
//
// `items` are the page's entries in order; for a node page, one per child,
// the tail's included (the largest entry below it). A piece of a node page
// stores an entry for each of its children but the last, which becomes its
// tail; a piece with one child stores that child's entry.
#pragma once

#include "index/index_page.h"

#include <cstddef>
#include <vector>

namespace jet::detail {

// Bytes that items [from, to) take on one page.
size_t indexPieceSize(const std::vector<IndexEntry>& items, size_t from, size_t to, bool leaf,
                      size_t prefixLimit = SIZE_MAX);

// The first item of each piece after the first; empty when all the items fit
// one page.
//
// Two pieces when a cut leaves both within `capacity`: among the cuts whose
// fuller piece is at most an eighth of a page above that of the evenest cut,
// the evenest of those that fall between two different keys, so that a run of
// equal keys is cut away from its neighbour and keeps its whole key as prefix
// (the evenest cut of all when none does). Otherwise as many pieces as
// needed, each filled in turn.
//
// Shared prefixes count up to `prefixLimit` bytes (maxSharedPrefix()).
// Throws Error(Corrupt) when one item alone does not fit a page.
std::vector<size_t> planIndexSplit(const std::vector<IndexEntry>& items, bool leaf, size_t capacity,
                                   size_t prefixLimit = SIZE_MAX);

} // namespace jet::detail
