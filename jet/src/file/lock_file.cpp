#include "file/lock_file.h"

#include "file/os_file.h"
#include "format/text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#endif

namespace jet::writer {

namespace {

constexpr uint64_t kUserLocks = 0x10000001;   // slot k: one byte at kUserLocks + k
constexpr uint64_t kSlots = 255;
constexpr uint64_t kJetRangeEnd = 0x70000000; // Jet's locks all lie below
constexpr uint64_t kMarks = 0x7F000001;       // this engine's mark of slot k
[[maybe_unused]] constexpr uint64_t kProbeTurn = 0x7F000000; // Windows: see ProbeTurn
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

// Such a probe is a lock for the moment it lasts, and another process of
// this engine probing or taking the same bytes then would take it for a
// user (another program, or a slot without its mark). So they look and take
// one at a time: each holds this byte (beside the marks, outside Jet's
// range) while it does.
class ProbeTurn {
public:
    explicit ProbeTurn(int fd) : fd_(fd)
    {
        OVERLAPPED ov = at(kProbeTurn);
        taken_ = LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov) != 0; // waits for its turn
    }
    ~ProbeTurn()
    {
        if (taken_)
            unlock(fd_, kProbeTurn, 1);
    }
    ProbeTurn(const ProbeTurn&) = delete;
    ProbeTurn& operator=(const ProbeTurn&) = delete;

private:
    int fd_;
    bool taken_ = false;
};

#else

// A lock query takes no lock: processes may look at the same time.
struct ProbeTurn {
    explicit ProbeTurn(int) {}
};

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
    return detail::os::writeAt(fd, bytes, size, offset) == (long long)size;
}

size_t readAt(int fd, void* bytes, size_t size, uint64_t offset)
{
    const long long n = detail::os::readAt(fd, bytes, size, offset);
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
    // The wide names, in UTF-8 (the narrow ones are in the ANSI code page).
    auto utf8 = [](const wchar_t* wide) {
        const int n = wide ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr) : 0;
        if (n <= 1)
            return std::string();
        std::string out(size_t(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
        out.pop_back(); // the terminating NUL
        return out;
    };
    me.computer = utf8(_wgetenv(L"COMPUTERNAME"));
    me.user = utf8(_wgetenv(L"USERNAME"));
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
    fd_ = detail::os::openFile(path_, detail::os::Access::ReadWrite, detail::os::Creation::OrCreate);
    writable_ = fd_ >= 0;
    if (fd_ < 0)
        fd_ = detail::os::openFile(path_, detail::os::Access::Read);
    return fd_ >= 0;
}

std::optional<LockFileUser> LockFileSlot::foreignUser() const
{
    if (fd_ < 0)
        return std::nullopt;
    ProbeTurn turn(fd_);
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
    ProbeTurn turn(fd_);
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
        // The file may have been taken away by the last user between our
        // opening and our locking: then this slot is in nobody's file.
        if (!detail::os::isStillNamed(fd_, path_)) {
            unlock(fd_, kUserLocks + k, 1);
            unlock(fd_, kMarks + k, 1);
            slot_ = -1;
            return false;
        }
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
    if (slot_ >= 0) {
        ProbeTurn turn(fd_);
        unlock(fd_, kUserLocks + uint64_t(slot_), 1);
        unlock(fd_, kMarks + uint64_t(slot_), 1);
        // The last user takes the file away, holding every slot meanwhile so
        // that nobody joins in between.
        const bool last = mayDelete && tryLock(fd_, kMarks, kSlots) && tryLock(fd_, kUserLocks, kSlots) &&
                          !nextHeld(fd_, kUserLocks + kSlots, kJetRangeEnd);
        // Removed while its locks are still held (on Windows too: the file is
        // shared for deleting, os_file.h), so that nobody takes a slot in it.
        if (last && detail::os::isStillNamed(fd_, path_))
            detail::os::removeFile(path_);
    }
    detail::os::closeFile(fd_);
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
