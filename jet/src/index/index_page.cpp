#include "index/index_page.h"

#include "index/index_key.h"
#include "file/page_file.h"
#include "format/format.h"

#include "jet/status.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace jet::detail {

namespace {

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void putLe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void putLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void putBe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

[[noreturn]] void badPage(uint32_t number, const std::string& what)
{
    throw Error(Code::Corrupt, "page " + std::to_string(number) + " : page d'index invalide (" + what + ")");
}

size_t pagePrefix(const IndexPage& page, size_t limit)
{
    return page.entries.size() < 2 ? 0 : sharedKeyPrefix(page.entries.front(), page.entries.back(), limit);
}

} // namespace

int compareIndexEntries(const std::vector<uint8_t>& key, uint32_t page, uint8_t row, const IndexEntry& b)
{
    return compareEntries(key, page, row, b.key, b.dataPage, b.dataRow);
}

int compareIndexEntries(const IndexEntry& a, const IndexEntry& b)
{
    return compareEntries(a.key, a.dataPage, a.dataRow, b.key, b.dataPage, b.dataRow);
}

bool indexPagesSupported(uint32_t pageSize)
{
    return formatOfIndexPages(pageSize) != nullptr;
}

size_t maxSharedPrefix(uint32_t pageSize)
{
    const FormatInfo* f = formatOfIndexPages(pageSize);
    return f && f->indexPrefixBytes == 1 ? 0xFF : 0xFFFF;
}

size_t indexEntriesCapacity(uint32_t pageSize)
{
    const FormatInfo* f = formatOfIndexPages(pageSize);
    return f ? pageSize - size_t(f->indexEntries) : 0;
}

bool isIndexPage(const uint8_t* bytes)
{
    return (bytes[0] == kIndexLeafPage || bytes[0] == kIndexNodePage) && bytes[1] == 0x01;
}

IndexPage decodeIndexPage(const uint8_t* bytes, uint32_t pageSize, uint32_t number)
{
    const FormatInfo* f = formatOfIndexPages(pageSize);
    if (!f)
        throw Error(Code::Unsupported, "pages d'index de " + std::to_string(pageSize) + " octets non prises en charge");
    if (!isIndexPage(bytes))
        badPage(number, "type " + std::to_string(bytes[0]));
    IndexPage page;
    page.number = number;
    page.leaf = bytes[0] == kIndexLeafPage;
    page.tdefPage = le32(bytes + 4);
    page.prev = le32(bytes + f->indexPrevPage);
    page.next = le32(bytes + f->indexNextPage);
    page.tail = page.leaf ? 0 : le32(bytes + f->indexTailPage);
    const size_t prefixLength =
        f->indexPrefixBytes == 1 ? bytes[f->indexPrefixLength] : le16(bytes + f->indexPrefixLength);
    const size_t trailer = page.leaf ? 4 : 8;
    const size_t capacity = indexEntriesCapacity(pageSize);
    const uint8_t* base = bytes + f->indexEntries;
    const size_t bitmapSize = size_t(f->indexEntries - f->indexBitmap);
    page.entries.reserve(64);

    // Every entry after the first starts with the first `prefixLength` bytes
    // of the first one, left out. Jet may share bytes of the row pointer too
    // (equal keys on one data page), so an entry is rebuilt whole before its
    // key and pointer are told apart.
    size_t start = 0;
    const uint8_t* first = nullptr;
    uint8_t trailerBytes[8];
    for (size_t byte = 0; byte < bitmapSize; ++byte) {
        uint8_t bits = bytes[size_t(f->indexBitmap) + byte];
        while (bits) {
            int bit = __builtin_ctz(bits);
            bits = uint8_t(bits & (bits - 1));
            size_t end = byte * 8 + size_t(bit);
            if (end > capacity || end <= start)
                badPage(number, "bitmap des entrées incohérent");
            const size_t stored = end - start;
            const uint8_t* e = base + start;
            const size_t shared = first ? prefixLength : 0;
            if (!first) {
                if (prefixLength > stored)
                    badPage(number, "préfixe commun plus long que la première entrée");
                first = e;
            }
            if (shared + stored < trailer)
                badPage(number, "entrée trop courte");
            const size_t keyLength = shared + stored - trailer;
            IndexEntry entry;
            const uint8_t* p = trailerBytes;
            if (keyLength >= shared) {
                p = e + (keyLength - shared);
                entry.key.reserve(keyLength);
                entry.key.assign(first, first + shared);
                entry.key.insert(entry.key.end(), e, p);
            } else {
                entry.key.assign(first, first + keyLength);
                for (size_t i = 0; i < trailer; ++i)
                    trailerBytes[i] = keyLength + i < shared ? first[keyLength + i] : e[keyLength + i - shared];
            }
            entry.dataPage = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
            entry.dataRow = p[3];
            if (!page.leaf)
                entry.child = be32(p + 4);
            page.entries.push_back(std::move(entry));
            start = end;
        }
    }
    return page;
}

size_t sharedKeyPrefix(const IndexEntry& first, const IndexEntry& last, size_t limit)
{
    const std::vector<uint8_t>& a = first.key;
    const std::vector<uint8_t>& b = last.key;
    const size_t n = std::min({a.size(), b.size(), limit});
    size_t length = 0;
    while (length < n && a[length] == b[length])
        ++length;
    return length;
}

size_t indexRunSize(const IndexEntry* entries, size_t count, bool leaf, size_t prefixLimit)
{
    if (count == 0)
        return 0;
    const size_t prefix = count < 2 ? 0 : sharedKeyPrefix(entries[0], entries[count - 1], prefixLimit);
    size_t total = count * (leaf ? 4 : 8);
    for (size_t i = 0; i < count; ++i)
        total += entries[i].key.size();
    return total - (count - 1) * prefix;
}

size_t indexEntriesSize(const IndexPage& page, size_t prefixLimit)
{
    return indexRunSize(page.entries.data(), page.entries.size(), page.leaf, prefixLimit);
}

void encodeIndexPage(const IndexPage& page, uint32_t pageSize, uint8_t* out)
{
    const FormatInfo* f = formatOfIndexPages(pageSize);
    if (!f)
        throw Error(Code::Unsupported, "pages d'index de " + std::to_string(pageSize) + " octets non prises en charge");
    const size_t limit = maxSharedPrefix(pageSize);
    const size_t prefix = pagePrefix(page, limit);
    const size_t used = indexEntriesSize(page, limit);
    if (used > indexEntriesCapacity(pageSize))
        throw Error(Code::Corrupt, "page " + std::to_string(page.number) + " : entrées d'index trop grandes pour la page");
    std::memset(out, 0, pageSize);
    out[0] = page.leaf ? kIndexLeafPage : kIndexNodePage;
    out[1] = 0x01;
    putLe16(out + 2, uint32_t(indexEntriesCapacity(pageSize) - used));
    putLe32(out + 4, page.tdefPage);
    putLe32(out + f->indexPrevPage, page.prev);
    putLe32(out + f->indexNextPage, page.next);
    putLe32(out + f->indexTailPage, page.leaf ? 0 : page.tail);
    if (f->indexPrefixBytes == 1)
        out[f->indexPrefixLength] = uint8_t(prefix);
    else
        putLe16(out + f->indexPrefixLength, uint32_t(prefix));
    out[f->indexNodeMark] = page.leaf ? 0 : 1;
    uint8_t* base = out + f->indexEntries;
    size_t at = 0;
    for (size_t i = 0; i < page.entries.size(); ++i) {
        const IndexEntry& e = page.entries[i];
        size_t skip = i == 0 ? 0 : prefix;
        std::memcpy(base + at, e.key.data() + skip, e.key.size() - skip);
        at += e.key.size() - skip;
        base[at] = uint8_t(e.dataPage >> 16);
        base[at + 1] = uint8_t(e.dataPage >> 8);
        base[at + 2] = uint8_t(e.dataPage);
        base[at + 3] = e.dataRow;
        at += 4;
        if (!page.leaf) {
            putBe32(base + at, e.child);
            at += 4;
        }
        out[size_t(f->indexBitmap) + at / 8] |= uint8_t(1u << (at % 8));
    }
}

} // namespace jet::detail
