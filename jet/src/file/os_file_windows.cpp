// os_file.h on Windows: wide-character paths, binary C runtime descriptors
// over handles shared for reading, writing and deleting, positioned reads
// and writes through OVERLAPPED offsets, FlushFileBuffers for durability.
#ifdef _WIN32

#include "file/os_file.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace jet::detail::os {

namespace {

// The nearest errno value of the calling thread's last Windows error.
int errnoOfLastError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_NO_UNICODE_TRANSLATION: return EINVAL;
    case ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
    }
}

bool failed()
{
    errno = errnoOfLastError();
    return false;
}

std::wstring widePath(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openHandle(const std::string& path, DWORD access, DWORD disposition)
{
    const std::wstring wide = widePath(path);
    if (wide.empty() && !path.empty()) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED at(uint64_t offset)
{
    OVERLAPPED ov{};
    ov.Offset = DWORD(offset & 0xFFFFFFFFu);
    ov.OffsetHigh = DWORD(offset >> 32);
    return ov;
}

// Windows 10's unlink: the name goes at once even while others have the
// file open (FILE_DISPOSITION_INFO_EX with POSIX semantics).
struct DispositionEx {
    ULONG flags;
};
constexpr ULONG kDelete = 0x1;
constexpr ULONG kPosixSemantics = 0x2;
constexpr FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = FILE_INFO_BY_HANDLE_CLASS(21);

// Windows says "path not found" where POSIX says that a part of the path is
// a file rather than a folder: tell the two apart as POSIX does.
void openFailed(const std::wstring& path)
{
    const DWORD error = GetLastError();
    errno = errnoOfLastError();
    if (error != ERROR_PATH_NOT_FOUND)
        return;
    for (size_t end = path.find_first_of(L"\\/", 1); end != std::wstring::npos;
         end = path.find_first_of(L"\\/", end + 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, end).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = ENOTDIR;
            return;
        }
    }
}

} // namespace

int openFile(const std::string& path, Access access, Creation creation)
{
    const DWORD rights = access == Access::Read    ? GENERIC_READ
                         : access == Access::Write ? GENERIC_WRITE
                                                   : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = creation == Creation::New        ? CREATE_NEW
                              : creation == Creation::OrCreate ? OPEN_ALWAYS
                                                               : OPEN_EXISTING;
    HANDLE h = openHandle(path, rights, disposition);
    if (h == INVALID_HANDLE_VALUE) {
        openFailed(widePath(path));
        return -1;
    }
    const int mode = _O_BINARY | _O_NOINHERIT | (access == Access::Read ? _O_RDONLY : 0);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), mode);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

void closeFile(int fd) { _close(fd); }

long long readAt(int fd, void* bytes, size_t size, uint64_t offset)
{
    OVERLAPPED ov = at(offset);
    DWORD done = 0;
    if (!ReadFile(handleOf(fd), bytes, DWORD(size > 0x40000000 ? 0x40000000 : size), &done, &ov)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        failed();
        return -1;
    }
    return done;
}

long long writeAt(int fd, const void* bytes, size_t size, uint64_t offset)
{
    OVERLAPPED ov = at(offset);
    DWORD done = 0;
    if (!WriteFile(handleOf(fd), bytes, DWORD(size > 0x40000000 ? 0x40000000 : size), &done, &ov)) {
        failed();
        return -1;
    }
    return done;
}

bool syncData(int fd) { return FlushFileBuffers(handleOf(fd)) || failed(); }
bool syncAll(int fd) { return syncData(fd); }
void syncFolderOf(const std::string&) {}

bool resize(int fd, uint64_t size)
{
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(size);
    HANDLE h = handleOf(fd);
    return (SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && SetEndOfFile(h)) || failed();
}

bool sizeOf(int fd, uint64_t& size)
{
    HANDLE h = handleOf(fd);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return failed();
    if (GetFileType(h) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return false;
    }
    size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    return true;
}

bool removeFile(const std::string& path)
{
    HANDLE h = openHandle(path, DELETE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return failed();
    DispositionEx posix{kDelete | kPosixSemantics};
    FILE_DISPOSITION_INFO classic{TRUE};
    const bool done = SetFileInformationByHandle(h, kDispositionInfoEx, &posix, sizeof posix) ||
                      SetFileInformationByHandle(h, FileDispositionInfo, &classic, sizeof classic);
    if (!done)
        failed();
    CloseHandle(h);
    return done;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    const std::wstring wideFrom = widePath(from), wideTo = widePath(to);
    return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           failed();
}

bool replaceNeedsTargetClosed()
{
    return true;
}

bool isStillNamed(int fd, const std::string& path)
{
    BY_HANDLE_FILE_INFORMATION mine, named;
    if (!GetFileInformationByHandle(handleOf(fd), &mine))
        return false;
    HANDLE h = openHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool got = GetFileInformationByHandle(h, &named);
    CloseHandle(h);
    return got && mine.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == named.nFileIndexHigh && mine.nFileIndexLow == named.nFileIndexLow;
}

int processId() { return int(GetCurrentProcessId()); }

const uint8_t* mapView(int fd, uint64_t size)
{
    HANDLE mapping = CreateFileMappingW(handleOf(fd), nullptr, PAGE_READONLY, DWORD(size >> 32),
                                        DWORD(size & 0xFFFFFFFFu), nullptr);
    if (!mapping) {
        failed();
        return nullptr;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, SIZE_T(size));
    if (!view)
        failed();
    CloseHandle(mapping); // the view keeps it
    return static_cast<const uint8_t*>(view);
}

void unmapView(const uint8_t* view, uint64_t)
{
    if (view)
        UnmapViewOfFile(view);
}

// Windows maps a file into a view of its own size; growing in place would
// need placeholder views (Windows 10 1803 and later), so a grown file is
// mapped anew.
const uint8_t* reserveView(int fd, uint64_t size, uint64_t) { return mapView(fd, size); }

bool extendView(const uint8_t*, int, uint64_t, uint64_t, uint64_t)
{
    errno = ENOSYS;
    return false;
}

void releaseView(const uint8_t* view, uint64_t reserve) { unmapView(view, reserve); }

} // namespace jet::detail::os

#endif
