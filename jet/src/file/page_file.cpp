#include "file/page_file.h"

#include "file/os_file.h"
#include "file/system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace jet::detail {

PageFile::PageFile(const std::string& path) : path_(path)
{
    fd_ = os::openFile(path, os::Access::Read);
    if (fd_ < 0) {
        int err = errno;
        if (err == ENOENT)
            throw Error(Code::IoError, "fichier introuvable : " + path);
        throw Error(Code::IoError, "impossible d'ouvrir le fichier " + path + " : " + systemErrorText(err));
    }
    if (!os::sizeOf(fd_, size_)) {
        os::closeFile(fd_);
        throw Error(Code::IoError, path + " : ce n'est pas un fichier ordinaire");
    }
    if (size_ == 0) {
        os::closeFile(fd_);
        throw Error(Code::NotADatabase, path + " : fichier vide, ce n'est pas une base Access");
    }
    try {
        data_ = mapAnew(size_);
    } catch (...) {
        os::closeFile(fd_);
        throw;
    }
}

PageFile::~PageFile()
{
    os::releaseView(data_, reserved_);
    if (fd_ >= 0)
        os::closeFile(fd_);
}

namespace {
// Address space set aside for a file's mapping: Jet and ACE files stop at
// 2 GiB, so the mapping of a growing file stays where it is.
constexpr uint64_t kReserve = (uint64_t(2) << 30) + (uint64_t(1) << 20);
} // namespace

const uint8_t* PageFile::mapAnew(uint64_t size)
{
    const uint64_t reserve = std::max(kReserve, size);
    const uint8_t* base = os::reserveView(fd_, size, reserve);
    if (!base)
        throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(errno));
    reserved_ = reserve;
    return base;
}

bool PageFile::refresh()
{
    uint64_t size = 0;
    if (!os::sizeOf(fd_, size))
        throw Error(Code::IoError, "impossible de lire le fichier " + path_ + " : " + systemErrorText(errno));
    if (size == size_)
        return false;
    if (!os::extendView(data_, fd_, size_, size, reserved_)) {
        // Mapped elsewhere: pointers obtained before are lost.
        const uint64_t previous = reserved_;
        const uint8_t* old = data_;
        const uint8_t* mapping = mapAnew(size);
        os::releaseView(old, previous);
        data_ = mapping;
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

void ByteRange::corrupt(const std::string& what) const
{
    if (file_)
        file_->corrupt(page_, what);
    throw Error(Code::Corrupt, "page " + std::to_string(page_) + " : " + what);
}

void ByteRange::outOfBounds(size_t offset, size_t count) const
{
    corrupt("lecture de " + std::to_string(count) + " octets à la position " + std::to_string(offset) +
            " hors de la zone de " + std::to_string(size_) + " octets");
}

} // namespace jet::detail
