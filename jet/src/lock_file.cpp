#include "lock_file.h"

#include "text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace jet::writer {

namespace {

constexpr uint64_t kUserLocks = 0x10000001;   // slot k: one byte at kUserLocks + k
constexpr uint64_t kSlots = 255;
constexpr uint64_t kJetRangeEnd = 0x70000000; // Jet's locks all lie below
constexpr uint64_t kMarks = 0x7F000001;       // this engine's mark of slot k
constexpr size_t kEntrySize = 64;
constexpr size_t kNameSize = 32;

#ifdef _WIN32

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

OVERLAPPED at(uint64_t start)
{
    OVERLAPPED ov{};
    ov.Offset = DWORD(start & 0xFFFFFFFFu);
    ov.OffsetHigh = DWORD(start >> 32);
    return ov;
}

bool tryLock(int fd, uint64_t start, uint64_t length)
{
    OVERLAPPED ov = at(start);
    return LockFileEx(handleOf(fd), LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, DWORD(length),
                      DWORD(length >> 32), &ov) != 0;
}

void unlock(int fd, uint64_t start, uint64_t length)
{
    OVERLAPPED ov = at(start);
    UnlockFileEx(handleOf(fd), 0, DWORD(length), DWORD(length >> 32), &ov);
}

// Windows has no lock query: a lock that can be taken is released at once.
bool heldAt(int fd, uint64_t start, uint64_t length)
{
    if (!tryLock(fd, start, length))
        return true;
    unlock(fd, start, length);
    return false;
}

// The first byte of [from, to) on which another open file holds a lock.
std::optional<uint64_t> nextHeld(int fd, uint64_t from, uint64_t to)
{
    if (to - from > kSlots)
        return heldAt(fd, from, to - from) ? std::optional<uint64_t>(from) : std::nullopt;
    for (uint64_t b = from; b < to; ++b)
        if (heldAt(fd, b, 1))
            return b;
    return std::nullopt;
}

#else

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

struct flock range(short type, uint64_t start, uint64_t length)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(start);
    fl.l_len = off_t(length);
    return fl;
}

bool tryLock(int fd, uint64_t start, uint64_t length)
{
    struct flock fl = range(F_WRLCK, start, length);
    int rc;
    do
        rc = ::fcntl(fd, kSetLock, &fl);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void unlock(int fd, uint64_t start, uint64_t length)
{
    struct flock fl = range(F_UNLCK, start, length);
    ::fcntl(fd, kSetLock, &fl);
}

std::optional<uint64_t> nextHeld(int fd, uint64_t from, uint64_t to)
{
    struct flock fl = range(F_WRLCK, from, to - from);
    if (::fcntl(fd, kGetLock, &fl) != 0 || fl.l_type == F_UNLCK)
        return std::nullopt;
    return std::max(uint64_t(fl.l_start), from);
}

#endif

bool writeAt(int fd, const void* bytes, size_t size, uint64_t offset)
{
#ifdef _WIN32
    if (_lseeki64(fd, int64_t(offset), SEEK_SET) < 0)
        return false;
    return _write(fd, bytes, unsigned(size)) == int(size);
#else
    return ::pwrite(fd, bytes, size, off_t(offset)) == ssize_t(size);
#endif
}

size_t readAt(int fd, void* bytes, size_t size, uint64_t offset)
{
#ifdef _WIN32
    if (_lseeki64(fd, int64_t(offset), SEEK_SET) < 0)
        return 0;
    int n = _read(fd, bytes, unsigned(size));
#else
    ssize_t n = ::pread(fd, bytes, size, off_t(offset));
#endif
    return n > 0 ? size_t(n) : 0;
}

// A name as the slot holds it: Windows-1252, NUL-padded (one NUL at least).
void putName(uint8_t* slot, const std::string& utf8)
{
    size_t out = 0;
    for (size_t i = 0; i < utf8.size() && out < kNameSize - 1;) {
        uint32_t c = detail::nextCodePoint(utf8, i);
        slot[out++] = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? uint8_t(c) : uint8_t('?');
    }
}

std::string nameAt(const uint8_t* slot)
{
    size_t n = 0;
    while (n < kNameSize && slot[n] != 0)
        ++n;
    std::string name = detail::decodeCodePageText(slot, n, 1252);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

} // namespace

std::string LockFileSlot::lockFilePath(const std::string& databasePath, bool ace)
{
    const size_t slash = databasePath.find_last_of("/\\");
    const size_t dot = databasePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? databasePath.substr(0, dot) : databasePath) + (ace ? ".laccdb" : ".ldb");
}

LockFileUser LockFileSlot::thisUser()
{
    LockFileUser me;
#ifdef _WIN32
    if (const char* c = std::getenv("COMPUTERNAME"))
        me.computer = c;
    if (const char* u = std::getenv("USERNAME"))
        me.user = u;
#else
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        me.computer = host;
    std::vector<char> buffer(4096);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        me.user = found->pw_name;
    for (const char* variable : {"LOGNAME", "USER"}) {
        const char* u = std::getenv(variable);
        if (me.user.empty() && u)
            me.user = u;
    }
#endif
    return me;
}

LockFileSlot::LockFileSlot(std::string lockPath) : path_(std::move(lockPath))
{
    // A program that was the last one out may be taking the file away just
    // now (it holds every slot meanwhile): look again in a moment.
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!openFile())
            return;
        foreign_ = foreignUser();
        if (foreign_ || !writable_)
            return;
        if (takeSlot())
            return;
        closeFile(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

LockFileSlot::~LockFileSlot()
{
    closeFile(true);
}

bool LockFileSlot::openFile()
{
#ifdef _WIN32
    fd_ = _open(path_.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    writable_ = fd_ >= 0;
    if (fd_ < 0)
        fd_ = _open(path_.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    writable_ = fd_ >= 0;
    if (fd_ < 0)
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    return fd_ >= 0;
}

std::optional<LockFileUser> LockFileSlot::foreignUser() const
{
    if (fd_ < 0)
        return std::nullopt;
    for (std::optional<uint64_t> b = nextHeld(fd_, kUserLocks, kUserLocks + kSlots); b;
         b = *b + 1 < kUserLocks + kSlots ? nextHeld(fd_, *b + 1, kUserLocks + kSlots) : std::nullopt) {
        const uint64_t k = *b - kUserLocks;
        if (int(k) == slot_ || nextHeld(fd_, kMarks + k, kMarks + k + 1))
            continue; // this one, or another process of this engine
        uint8_t entry[kEntrySize] = {};
        readAt(fd_, entry, kEntrySize, k * kEntrySize);
        return LockFileUser{nameAt(entry), nameAt(entry + kNameSize)};
    }
    // Jet's other locks (on pages, tables): its user is not known.
    if (nextHeld(fd_, kUserLocks + kSlots, kJetRangeEnd))
        return LockFileUser{};
    return std::nullopt;
}

bool LockFileSlot::takeSlot()
{
    for (uint64_t k = 0; k < kSlots; ++k) {
        if (nextHeld(fd_, kUserLocks + k, kUserLocks + k + 1))
            continue;
        if (!tryLock(fd_, kMarks + k, 1))
            continue;
        if (!tryLock(fd_, kUserLocks + k, 1)) {
            unlock(fd_, kMarks + k, 1);
            continue;
        }
        slot_ = int(k);
#ifndef _WIN32
        // The file may have been taken away by the last user between our
        // opening and our locking: then this slot is in nobody's file.
        struct stat mine, named;
        if (::fstat(fd_, &mine) != 0 || ::stat(path_.c_str(), &named) != 0 || mine.st_ino != named.st_ino ||
            mine.st_dev != named.st_dev) {
            unlock(fd_, kUserLocks + k, 1);
            unlock(fd_, kMarks + k, 1);
            slot_ = -1;
            return false;
        }
#endif
        const LockFileUser me = thisUser();
        uint8_t entry[kEntrySize] = {};
        putName(entry, me.computer);
        putName(entry + kNameSize, me.user);
        writeAt(fd_, entry, kEntrySize, k * kEntrySize);
        return true;
    }
    return false;
}

void LockFileSlot::closeFile(bool mayDelete)
{
    if (fd_ < 0)
        return;
    bool last = false;
    if (slot_ >= 0) {
        unlock(fd_, kUserLocks + uint64_t(slot_), 1);
        unlock(fd_, kMarks + uint64_t(slot_), 1);
        // The last user takes the file away, holding every slot meanwhile so
        // that nobody joins in between.
        last = mayDelete && tryLock(fd_, kMarks, kSlots) && tryLock(fd_, kUserLocks, kSlots) &&
               !nextHeld(fd_, kUserLocks + kSlots, kJetRangeEnd);
    }
#ifdef _WIN32
    _close(fd_);
    if (last)
        DeleteFileA(path_.c_str()); // refused while another program has it open
#else
    struct stat mine, named;
    if (last && ::fstat(fd_, &mine) == 0 && ::stat(path_.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
        mine.st_dev == named.st_dev)
        ::unlink(path_.c_str());
    ::close(fd_);
#endif
    fd_ = -1;
    slot_ = -1;
}

std::string openedElsewhere(const std::string& databasePath, const LockFileUser& user)
{
    std::string who;
    if (!user.user.empty())
        who += " par « " + user.user + " »";
    if (!user.computer.empty())
        who += " sur le poste « " + user.computer + " »";
    return databasePath + " est ouverte dans un autre programme (Access, par exemple)" + who;
}

} // namespace jet::writer
