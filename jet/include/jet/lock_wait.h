// Waiting for another program that holds a database file.
//
// A write takes the file's lock exclusively for its duration, a read takes it
// shared (database.h). When another process holds it, the engine waits:
//
// - With no handler installed, it waits up to 30 seconds and then throws
//   Error(Code::Locked), having changed nothing.
// - With a handler installed on the waiting thread, the handler decides. It
//   is called at once when the lock is found taken (phase Begin), then about
//   every kLockWaitSliceMs milliseconds of waiting (phase Waiting), each time
//   between two attempts at the lock; there is no time limit of its own.
//   Returning false gives up: the operation throws Error(Code::Locked) and
//   changes nothing. Once the wait is over, whether the lock was taken, given
//   up or an error ended it, the handler is called once more (phase End; its
//   answer is ignored). A handler may take long (ask the user, run an event
//   loop): the lock is tried again as soon as it returns true.
//
// A lock that is free is taken without calling the handler. Short internal
// waits of the engine (tidying up when a file is closed) never call it.
#pragma once

#include <functional>
#include <string>

namespace jet {

constexpr int kLockWaitSliceMs = 50;

struct LockWait {
    enum class Phase { Begin, Waiting, End };
    Phase phase = Phase::Begin;
    bool write = false;    // waiting to write (else to read while another program writes)
    std::string path;      // the database file
    long waitedMs = 0;     // since the wait began
    bool acquired = false; // End only: the lock was taken
};

// Returns true to go on waiting (ignored at End).
using LockWaitHandler = std::function<bool(const LockWait&)>;

// Installs `handler` for the waits of the calling thread (an empty function
// restores the 30-second limit) and returns the handler it replaces.
LockWaitHandler setLockWaitHandler(LockWaitHandler handler);

} // namespace jet
