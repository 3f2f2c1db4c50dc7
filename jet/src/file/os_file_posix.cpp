// os_file.h on POSIX systems: the system calls themselves.
#ifndef _WIN32

#include "file/os_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet::detail::os {

int openFile(const std::string& path, Access access, Creation creation)
{
    int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
    if (creation == Creation::OrCreate)
        flags |= O_CREAT;
    else if (creation == Creation::New)
        flags |= O_CREAT | O_EXCL;
    return ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

void closeFile(int fd) { ::close(fd); }

long long readAt(int fd, void* bytes, size_t size, uint64_t offset)
{
    ssize_t n;
    do
        n = ::pread(fd, bytes, size, off_t(offset));
    while (n < 0 && errno == EINTR);
    return n;
}

long long writeAt(int fd, const void* bytes, size_t size, uint64_t offset)
{
    ssize_t n;
    do
        n = ::pwrite(fd, bytes, size, off_t(offset));
    while (n < 0 && errno == EINTR);
    return n;
}

bool syncData(int fd) { return ::fdatasync(fd) == 0; }
bool syncAll(int fd) { return ::fsync(fd) == 0; }

void syncFolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool resize(int fd, uint64_t size) { return ::ftruncate(fd, off_t(size)) == 0; }

bool sizeOf(int fd, uint64_t& size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    size = uint64_t(st.st_size);
    return true;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool replaceFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return false;
    syncFolderOf(to);
    return true;
}

bool replaceNeedsTargetClosed()
{
    return false;
}

bool isStillNamed(int fd, const std::string& path)
{
    struct stat mine {}, named {};
    return ::fstat(fd, &mine) == 0 && ::stat(path.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
           mine.st_dev == named.st_dev;
}

int processId() { return int(::getpid()); }

const uint8_t* mapView(int fd, uint64_t size)
{
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(view);
}

void unmapView(const uint8_t* view, uint64_t size)
{
    if (view)
        ::munmap(const_cast<uint8_t*>(view), size);
}

const uint8_t* reserveView(int fd, uint64_t size, uint64_t reserve)
{
    void* base = ::mmap(nullptr, reserve, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    if (size > 0 && ::mmap(base, size, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
        const int err = errno;
        ::munmap(base, reserve);
        errno = err;
        return nullptr;
    }
    return static_cast<const uint8_t*>(base);
}

bool extendView(const uint8_t* view, int fd, uint64_t oldSize, uint64_t size, uint64_t reserve)
{
    if (size > reserve)
        return false;
    uint8_t* base = const_cast<uint8_t*>(view);
    const uint64_t unit = uint64_t(::sysconf(_SC_PAGESIZE));
    // A file that grew keeps the mapping of what it had (remapping it all
    // would cost the page tables of every page read so far): only the
    // system pages from the one holding its old end are mapped.
    const uint64_t from = size > oldSize ? oldSize / unit * unit : 0;
    if (size > from && ::mmap(base + from, size - from, PROT_READ, MAP_SHARED | MAP_FIXED, fd, off_t(from)) == MAP_FAILED)
        return false;
    const uint64_t kept = (size + unit - 1) / unit * unit;
    if (kept < oldSize) // the part past the new end goes back to reserved space
        ::mmap(base + kept, oldSize - kept, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
    return true;
}

void releaseView(const uint8_t* view, uint64_t reserve)
{
    if (view)
        ::munmap(const_cast<uint8_t*>(view), reserve);
}

} // namespace jet::detail::os

#endif
