// Inter-process lock of a database file for the duration of a write.
//
// The lock is an advisory byte-range lock (open-file-description lock on
// Linux, fcntl elsewhere, LockFileEx on Windows) on a byte far beyond the end
// of any Jet file, so that it never covers data that another program reads.
// Writers take it exclusively; a reader that must not see a write half done
// can take it shared for the time it reads.
#pragma once

#include "jet/lock_wait.h"

#include <cstdint>
#include <string>

namespace jet::writer {

// Bytes far beyond the largest Jet/ACE file (2 GiB), never read by anybody:
// the write lock, and the mark of a program that has the file open (every
// PageStore holds it shared while it lives; compacting the file takes it
// exclusively, so that nobody has the file open while it is replaced).
constexpr uint64_t kWriteLockOffset = 0x7FFFFFF0ull + 0x100000000ull;
constexpr uint64_t kOpenMarkOffset = kWriteLockOffset + 1;

class FileLock {
public:
    // fd is borrowed; it must stay open while the lock is used.
    explicit FileLock(int fd, std::string path, uint64_t offset = kWriteLockOffset);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // How long writers wait for another process's write by default (30 s).
    static void setDefaultTimeout(int milliseconds);
    static int defaultTimeout();

    // Nested calls by the same holder count: the lock is released by the
    // last unlock(). Wait up to timeoutMs for the lock; throws Error(Locked)
    // after that. With the default timeout, the calling thread's lock-wait
    // handler, if any, decides how long instead (jet/lock_wait.h).
    void lockExclusive(int timeoutMs = -1); // -1: the default timeout
    void lockShared(int timeoutMs = -1);
    void unlock();
    bool held() const { return held_; }

private:
    bool attempt(bool exclusive);
    void acquire(bool exclusive, int timeoutMs);
    void waitUntil(bool exclusive, int timeoutMs);
    void waitWithHandler(bool exclusive, const LockWaitHandler& handler);

    int fd_;
    std::string path_;
    uint64_t offset_;
    bool held_ = false;
    bool exclusive_ = false;
    int depth_ = 0;
};

} // namespace jet::writer
