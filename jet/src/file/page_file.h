// The database file as an array of fixed-size pages.
//
// The file is mapped into memory read-only; every page number is checked
// against the file's size before use. Pages that the engine changes live in
// an overlay (a modified copy per page) that takes precedence over the
// mapping: the unmasked header is the first such page, and the write side
// builds on the same overlay (flushed through a rollback journal under the
// file lock).
#pragma once

#include "jet/status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace jet::detail {

class PageFile {
public:
    // Maps the file. Throws IoError if it cannot be opened, NotADatabase if
    // it is empty.
    explicit PageFile(const std::string& path);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }
    const uint8_t* rawBytes() const { return data_; }

    void setPageSize(uint32_t pageSize);
    uint32_t pageSize() const { return pageSize_; }
    uint32_t pageCount() const { return pageCount_; }

    // The bytes of page n (pageSize() of them). Throws Corrupt naming the
    // page if it lies past the end of the file; `from` names the page whose
    // pointer led here, for the message.
    const uint8_t* page(uint32_t n) const
    {
        if (n >= pageCount_) [[unlikely]]
            pageOutOfRange(n);
        if (n < overlaid_.size() && overlaid_[n]) [[unlikely]]
            return overlay_.find(n)->second.data();
        return data_ + uint64_t(n) * pageSize_;
    }

    // Replaces the in-memory content of a page (not written to the file).
    void overlayPage(uint32_t n, std::vector<uint8_t> bytes);

    // Shows the file as it was before a write that a writer left half done
    // (it died, or the machine lost power): `originals` stand in for their
    // pages and the pages from `originalSize` on lie past the end, until
    // clearRollback(). Page 0 is never part of it (writes do not change the
    // header page).
    void setRollback(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& originals,
                     uint64_t originalSize);
    void clearRollback();
    bool rollingBack() const { return rollbackLimit_ != UINT32_MAX; }

    // Maps the file again if its size changed (pages written by the write
    // side or by another process). The mapping grows and shrinks in place,
    // in address space set aside for the largest Jet file, so pointers into
    // pages obtained before stay valid (their bytes are what the file holds
    // now). Returns true when the size changed.
    bool refresh();

    // Throws Error(Corrupt) "FILE : page N : what".
    [[noreturn]] void corrupt(uint32_t page, const std::string& what) const;
    [[noreturn]] void pageOutOfRange(uint32_t n) const;

private:
    std::string path_;
    int fd_ = -1;
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    uint32_t pageSize_ = 0;
    uint32_t pageCount_ = 0;
    std::unordered_map<uint32_t, std::vector<uint8_t>> overlay_;
    std::vector<bool> overlaid_; // pages that have an overlay entry
    std::vector<uint32_t> rolledBack_; // overlay entries that setRollback() made
    uint32_t rollbackLimit_ = UINT32_MAX; // page count while rolling back
    uint64_t reserved_ = 0; // address space set aside at data_
    void countPages();
    const uint8_t* mapAnew(uint64_t size);
};

// A bounded run of bytes inside one page; every read is checked against its
// end, and a read past it reports the page as corrupt.
class ByteRange {
public:
    ByteRange(const PageFile& file, uint32_t page, const uint8_t* data, size_t size)
        : file_(&file), page_(page), data_(data), size_(size) {}
    // Bytes that do not come from a PageFile (a write transaction's pages):
    // errors then name the page only.
    ByteRange(uint32_t page, const uint8_t* data, size_t size) : file_(nullptr), page_(page), data_(data), size_(size) {}

    const PageFile& file() const { return *file_; }
    uint32_t pageNumber() const { return page_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

    void need(size_t offset, size_t count) const
    {
        if (offset > size_ || count > size_ - offset) [[unlikely]]
            outOfBounds(offset, count);
    }
    uint8_t u8(size_t o) const { need(o, 1); return data_[o]; }
    uint16_t u16(size_t o) const { need(o, 2); return uint16_t(data_[o] | data_[o + 1] << 8); }
    uint32_t u24(size_t o) const { need(o, 3); return uint32_t(data_[o]) | uint32_t(data_[o + 1]) << 8 | uint32_t(data_[o + 2]) << 16; }
    uint32_t u32(size_t o) const
    {
        need(o, 4);
        return uint32_t(data_[o]) | uint32_t(data_[o + 1]) << 8 | uint32_t(data_[o + 2]) << 16 |
               uint32_t(data_[o + 3]) << 24;
    }
    uint64_t u64(size_t o) const { return uint64_t(u32(o)) | uint64_t(u32(o + 4)) << 32; }
    ByteRange sub(size_t offset, size_t count) const
    {
        need(offset, count);
        return ByteRange(*file_, page_, data_ + offset, count);
    }
    [[noreturn]] void corrupt(const std::string& what) const;

private:
    [[noreturn]] void outOfBounds(size_t offset, size_t count) const;

    const PageFile* file_;
    uint32_t page_;
    const uint8_t* data_;
    size_t size_;
};

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le24(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
inline uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace jet::detail
