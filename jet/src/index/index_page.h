// Index pages: the page header, the entry-start bitmap, shared-prefix
// compression, and the entries of leaf pages (type 0x04) and node pages
// (type 0x03). Jet4 and ACE files (4096-byte pages):
//
//   0   type (0x04 leaf, 0x03 node)      12  previous page at the same level
//   1   0x01                             16  next page at the same level
//   2   free bytes (2, little-endian)    20  node pages: the "tail" child
//   4   table definition page            24  length of the shared prefix (2)
//   27  entry-start bitmap (453 bytes)   480 entries, back to back, in order
//
// Jet3 files (2048-byte pages) have the same fields closer together: previous
// page at 8, next at 12, tail at 16, prefix length at 20 (one byte: a prefix
// is at most 255 bytes), the bitmap at 22 and the entries from 248 (format.h
// lists both). Access sets the byte after the prefix length (21, or 26) to 1
// on node pages.
//
// A leaf entry is the key followed by the row pointer (3-byte big-endian data
// page, 1-byte row). A node entry is the largest entry of one child subtree
// followed by that child's page number (4 bytes, big-endian). A node page
// with two children or more stores an entry for each but the last; the last
// child is the tail, named only in the header. A node page with one child
// stores its entry and has no tail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet::detail {

constexpr uint8_t kIndexNodePage = 0x03;
constexpr uint8_t kIndexLeafPage = 0x04;

struct IndexEntry {
    std::vector<uint8_t> key;
    uint32_t dataPage = 0;
    uint8_t dataRow = 0;
    uint32_t child = 0; // node entries only
};

// Entry order: key bytes, then data page, then row.
int compareIndexEntries(const IndexEntry& a, const IndexEntry& b);
int compareIndexEntries(const std::vector<uint8_t>& key, uint32_t page, uint8_t row, const IndexEntry& b);

struct IndexPage {
    uint32_t number = 0;
    bool leaf = true;
    uint32_t tdefPage = 0;
    uint32_t prev = 0, next = 0;
    uint32_t tail = 0; // node pages: the last child, which has no entry here
    std::vector<IndexEntry> entries;

    // Children of a node page in order (the tail last).
    size_t childCount() const { return entries.size() + (tail ? 1 : 0); }
    uint32_t childAt(size_t i) const { return i < entries.size() ? entries[i].child : tail; }
};

// True for the page sizes whose index layout the engine knows (2048, 4096).
bool indexPagesSupported(uint32_t pageSize);

// Whether the bytes look like an index page at all.
bool isIndexPage(const uint8_t* bytes);

// Decodes a page. Throws Error(Corrupt) naming the page when the bitmap or
// the prefix do not fit.
IndexPage decodeIndexPage(const uint8_t* bytes, uint32_t pageSize, uint32_t number);

// Length of the key bytes that two entries share from the start. A page's
// shared prefix is that of its first and last stored entries, as Jet computes
// it (a node page's tail has no entry and takes no part; a page of one entry
// has none).
// At most `limit` bytes (maxSharedPrefix() of the page size).
size_t sharedKeyPrefix(const IndexEntry& first, const IndexEntry& last, size_t limit = SIZE_MAX);
// The longest shared prefix a page of this size can record.
size_t maxSharedPrefix(uint32_t pageSize);

// Bytes that `count` consecutive entries take when stored together on one
// page: the first in full, each other one without the shared prefix.
size_t indexRunSize(const IndexEntry* entries, size_t count, bool leaf, size_t prefixLimit = SIZE_MAX);
// Bytes the page's entries take (indexRunSize of them all).
size_t indexEntriesSize(const IndexPage& page, size_t prefixLimit = SIZE_MAX);
// Room for entries on a page.
size_t indexEntriesCapacity(uint32_t pageSize);
// The longest key an entry may have: a node entry with it fits a page alone.
inline size_t maxIndexKeyLength(uint32_t pageSize) { return indexEntriesCapacity(pageSize) - 8; }
inline bool indexPageFits(const IndexPage& page, uint32_t pageSize)
{
    return indexEntriesSize(page, maxSharedPrefix(pageSize)) <= indexEntriesCapacity(pageSize);
}

// Writes the whole page (pageSize bytes). Throws Error(Corrupt) if the
// entries do not fit (callers split first).
void encodeIndexPage(const IndexPage& page, uint32_t pageSize, uint8_t* out);

} // namespace jet::detail
