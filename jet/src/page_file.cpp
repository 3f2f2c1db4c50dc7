#include "page_file.h"

#include "system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet::detail {

PageFile::PageFile(const std::string& path) : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        int err = errno;
        if (err == ENOENT)
            throw Error(Code::IoError, "fichier introuvable : " + path);
        throw Error(Code::IoError, "impossible d'ouvrir le fichier " + path + " : " + systemErrorText(err));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Error(Code::IoError, path + " : ce n'est pas un fichier ordinaire");
    }
    size_ = uint64_t(st.st_size);
    if (size_ == 0) {
        ::close(fd_);
        throw Error(Code::NotADatabase, path + " : fichier vide, ce n'est pas une base Access");
    }
    try {
        data_ = mapAnew(size_);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

PageFile::~PageFile()
{
    if (data_)
        ::munmap(const_cast<uint8_t*>(data_), reserved_);
    if (fd_ >= 0)
        ::close(fd_);
}

namespace {
// Address space set aside for a file's mapping: Jet and ACE files stop at
// 2 GiB, so the mapping of a growing file stays where it is.
constexpr uint64_t kReserve = (uint64_t(2) << 30) + (uint64_t(1) << 20);
} // namespace

const uint8_t* PageFile::mapAnew(uint64_t size)
{
    const uint64_t reserve = std::max(kReserve, size);
    void* base = ::mmap(nullptr, reserve, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(errno));
    if (::mmap(base, size, PROT_READ, MAP_SHARED | MAP_FIXED, fd_, 0) == MAP_FAILED) {
        const int err = errno;
        ::munmap(base, reserve);
        throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(err));
    }
    reserved_ = reserve;
    return static_cast<const uint8_t*>(base);
}

bool PageFile::refresh()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(errno));
    const uint64_t size = uint64_t(st.st_size);
    if (size == size_)
        return false;
    if (size > reserved_) {
        // Beyond any Jet file: mapped elsewhere, pointers obtained before are lost.
        const uint64_t previous = reserved_;
        const uint8_t* mapping = mapAnew(size);
        ::munmap(const_cast<uint8_t*>(data_), previous);
        data_ = mapping;
    } else {
        // In place: the pages mapped before stay where they are.
        uint8_t* base = const_cast<uint8_t*>(data_);
        if (size > 0 && ::mmap(base, size, PROT_READ, MAP_SHARED | MAP_FIXED, fd_, 0) == MAP_FAILED)
            throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(errno));
        const uint64_t unit = uint64_t(::sysconf(_SC_PAGESIZE));
        const uint64_t kept = (size + unit - 1) / unit * unit;
        if (kept < size_) // the part past the new end goes back to reserved space
            ::mmap(base + kept, size_ - kept, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1,
                   0);
    }
    size_ = size;
    countPages();
    return true;
}

void PageFile::setPageSize(uint32_t pageSize)
{
    pageSize_ = pageSize;
    countPages();
}

void PageFile::countPages()
{
    if (pageSize_)
        pageCount_ = uint32_t(std::min<uint64_t>(size_ / pageSize_, rollbackLimit_));
}

void PageFile::setRollback(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& originals,
                           uint64_t originalSize)
{
    clearRollback();
    for (const auto& [number, bytes] : originals) {
        if (number == 0 || number >= pageCount_)
            continue;
        overlayPage(number, bytes);
        rolledBack_.push_back(number);
    }
    rollbackLimit_ = uint32_t(std::min<uint64_t>(originalSize / pageSize_, UINT32_MAX - 1));
    countPages();
}

void PageFile::clearRollback()
{
    for (uint32_t number : rolledBack_) {
        overlay_.erase(number);
        overlaid_[number] = false;
    }
    rolledBack_.clear();
    rollbackLimit_ = UINT32_MAX;
    countPages();
}

void PageFile::overlayPage(uint32_t n, std::vector<uint8_t> bytes)
{
    bytes.resize(pageSize_);
    overlay_[n] = std::move(bytes);
    if (overlaid_.size() <= n)
        overlaid_.resize(size_t(n) + 1);
    overlaid_[n] = true;
}

void PageFile::corrupt(uint32_t page, const std::string& what) const
{
    throw Error(Code::Corrupt, path_ + " : page " + std::to_string(page) + " : " + what);
}

void PageFile::pageOutOfRange(uint32_t n) const
{
    throw Error(Code::Corrupt, path_ + " : page " + std::to_string(n) + " : au-delà de la fin du fichier (" +
                                   std::to_string(pageCount_) + " pages)");
}

void ByteRange::outOfBounds(size_t offset, size_t count) const
{
    file_->corrupt(page_, "lecture de " + std::to_string(count) + " octets à la position " +
                              std::to_string(offset) + " hors de la zone de " + std::to_string(size_) +
                              " octets");
}

} // namespace jet::detail
