// Files as the engine uses them, the same on POSIX systems and on Windows.
//
// Paths are UTF-8 everywhere; on Windows they are turned into UTF-16 for
// the wide-character calls, so that names with accents reach the disk as
// they are (the narrow calls would go through the ANSI code page).
// Descriptors are C runtime file descriptors in both worlds, so that the
// byte-range locks (file_lock.h, lock_file.h) find the handle behind them.
// On Windows every file is opened in binary mode (no CR LF translation) and
// shared for reading, writing and deleting: another program may open, lock,
// rename or delete the journal or the lock file while this one has it open,
// as POSIX systems allow.
//
// Every call reports failure as POSIX does (-1 or false, with errno set; on
// Windows the system's error is translated into the nearest errno value), so
// that the messages of system_error.h name it in French.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet::detail::os {

enum class Access { Read, ReadWrite, Write };
enum class Creation {
    Existing,  // the file must exist
    OrCreate,  // created when missing
    New        // created; fails with EEXIST when it exists already
};

// A descriptor, or -1 with errno set. Not inherited by child processes.
int openFile(const std::string& path, Access access, Creation creation = Creation::Existing);
void closeFile(int fd);

// Reads or writes at an offset without moving a shared position; returns
// the bytes done (possibly fewer), or -1 with errno set.
long long readAt(int fd, void* bytes, size_t size, uint64_t offset);
long long writeAt(int fd, const void* bytes, size_t size, uint64_t offset);

// Makes what was written durable (the data and what is needed to read it
// back; syncAll also the file's times).
bool syncData(int fd);
bool syncAll(int fd);
// Makes a file's creation or removal in a folder durable (nothing to do on
// Windows, whose file systems journal their folders).
void syncFolderOf(const std::string& path);

bool resize(int fd, uint64_t size);
// The file's length; false (errno set) when it is not a regular file.
bool sizeOf(int fd, uint64_t& size);

bool removeFile(const std::string& path);
// Renames `from` over `to` in one step, replacing it (durably on Windows).
bool replaceFile(const std::string& from, const std::string& to);
// True where a file cannot be replaced while it is open (Windows): the
// replacer must close its own handles first; anyone else's make it fail.
bool replaceNeedsTargetClosed();
// True when the open file `fd` is still the one named `path` (neither
// removed nor replaced since it was opened).
bool isStillNamed(int fd, const std::string& path);

int processId();

// A read-only view of a file's first `size` bytes (nullptr, errno set, when
// it cannot be made). The view follows later writes to the file.
const uint8_t* mapView(int fd, uint64_t size);
void unmapView(const uint8_t* view, uint64_t size);

// A view of a file that grows: `reserveView` sets aside `reserve` bytes of
// address space (at least `size`) and maps the file's first `size` bytes at
// their start; `extendView` maps the file's first `size` bytes again in
// place, so that pointers into the pages mapped before stay valid (false,
// errno set, when the system cannot: the caller then maps anew elsewhere);
// `releaseView` gives the whole reserved space back.
const uint8_t* reserveView(int fd, uint64_t size, uint64_t reserve);
bool extendView(const uint8_t* view, int fd, uint64_t oldSize, uint64_t size, uint64_t reserve);
void releaseView(const uint8_t* view, uint64_t reserve);

} // namespace jet::detail::os
