// os_file.h on POSIX systems: the system calls themselves.
#ifndef _WIN32

#include "os_file.h"

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

} // namespace jet::detail::os

#endif
