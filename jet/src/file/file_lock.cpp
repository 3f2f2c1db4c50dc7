#include "file/file_lock.h"

#include "file/system_error.h"
#include "jet/lock_wait.h"
#include "jet/status.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace jet::writer {


namespace {
std::atomic<int> defaultTimeoutMs{30000};
thread_local LockWaitHandler waitHandler;

// Calls the handler at the end of a wait, whatever ends it.
struct WaitEnd {
    const LockWaitHandler& handler;
    LockWait& wait;
    ~WaitEnd()
    {
        wait.phase = LockWait::Phase::End;
        try {
            handler(wait);
        } catch (...) {
        }
    }
};
} // namespace

void FileLock::setDefaultTimeout(int milliseconds) { defaultTimeoutMs = milliseconds; }
int FileLock::defaultTimeout() { return defaultTimeoutMs; }

FileLock::FileLock(int fd, std::string path, uint64_t offset) : fd_(fd), path_(std::move(path)), offset_(offset) {}

FileLock::~FileLock()
{
    if (held_) {
        depth_ = 1;
        unlock();
    }
}

bool FileLock::attempt(bool exclusive)
{
#ifdef _WIN32
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset_ & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset_ >> 32);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(h, flags, 0, 1, 0, &ov))
        return true;
    if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING)
        return false;
    throw Error(Code::IoError, "verrouillage impossible : " + path_);
#else
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset_);
    fl.l_len = 1;
#ifdef F_OFD_SETLK
    int cmd = F_OFD_SETLK;
#else
    int cmd = F_SETLK;
#endif
    for (;;) {
        if (fcntl(fd_, cmd, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        throw Error(Code::IoError, "verrouillage impossible : " + path_ + " (" + detail::systemErrorText(errno) + ")");
    }
#endif
}

void FileLock::acquire(bool exclusive, int timeoutMs)
{
    if (held_ && (exclusive_ || !exclusive)) {
        ++depth_; // nested use by the same holder
        return;
    }
    if (held_) {
        depth_ = 1;
        unlock();
    }
    if (!attempt(exclusive)) {
        // Only waits with the default limit are the handler's to decide.
        const LockWaitHandler handler = timeoutMs < 0 ? waitHandler : LockWaitHandler();
        if (handler)
            waitWithHandler(exclusive, handler);
        else
            waitUntil(exclusive, timeoutMs < 0 ? defaultTimeoutMs.load() : timeoutMs);
    }
    held_ = true;
    exclusive_ = exclusive;
    depth_ = 1;
}

void FileLock::waitUntil(bool exclusive, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int pause = 50; // microseconds
    while (!attempt(exclusive)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw Error(Code::Locked, "fichier verrouillé par un autre programme : " + path_);
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        pause = std::min(pause * 2, 2000);
    }
}

void FileLock::waitWithHandler(bool exclusive, const LockWaitHandler& handler)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    LockWait wait;
    wait.write = exclusive;
    wait.path = path_;
    WaitEnd end{handler, wait};
    auto nextCall = start;
    int pause = 50; // microseconds
    for (;;) {
        const auto now = Clock::now();
        if (now >= nextCall) {
            wait.waitedMs = long(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
            if (!handler(wait))
                throw Error(Code::Locked, "attente abandonnée : fichier occupé par un autre programme : " + path_);
            wait.phase = LockWait::Phase::Waiting;
            nextCall = Clock::now() + std::chrono::milliseconds(kLockWaitSliceMs);
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
            pause = std::min(pause * 2, 2000);
        }
        if (attempt(exclusive)) {
            wait.acquired = true;
            return;
        }
    }
}

void FileLock::lockExclusive(int timeoutMs) { acquire(true, timeoutMs); }
void FileLock::lockShared(int timeoutMs) { acquire(false, timeoutMs); }

void FileLock::unlock()
{
    if (!held_)
        return;
    if (--depth_ > 0)
        return;
    held_ = false;
#ifdef _WIN32
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset_ & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset_ >> 32);
    UnlockFileEx(h, 0, 1, 0, &ov);
#else
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset_);
    fl.l_len = 1;
#ifdef F_OFD_SETLK
    fcntl(fd_, F_OFD_SETLK, &fl);
#else
    fcntl(fd_, F_SETLK, &fl);
#endif
#endif
}

} // namespace jet::writer

namespace jet {

LockWaitHandler setLockWaitHandler(LockWaitHandler handler)
{
    LockWaitHandler previous = std::move(writer::waitHandler);
    writer::waitHandler = std::move(handler);
    return previous;
}

} // namespace jet
