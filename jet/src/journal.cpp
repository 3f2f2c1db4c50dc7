#include "journal.h"

#include "jet/status.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet::writer {

namespace {

constexpr char kMagic[8] = {'V', 'L', 'M', 'R', 'J', 'N', 'L', '1'};
constexpr size_t kHeaderSize = 32;

uint32_t checksum(const uint8_t* data, size_t size, uint32_t seed)
{
    // FNV-1a, enough to tell a torn record from a whole one.
    uint32_t h = 2166136261u ^ seed;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 16777619u;
    }
    return h;
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t get64(const uint8_t* p)
{
    return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32;
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& path)
{
    throw Error(Code::IoError, what + " : " + path + " (" + std::strerror(errno) + ")");
}

void writeAll(int fd, const uint8_t* data, size_t size, const std::string& path)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ioFailure("écriture du journal impossible", path);
        }
        data += n;
        size -= size_t(n);
    }
}

std::string directoryOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void syncDirectory(const std::string& path)
{
    int dfd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

std::string journalPath(const std::string& databasePath)
{
    return databasePath + "-journal";
}

bool journalExists(const std::string& databasePath)
{
    struct stat st;
    return ::stat(journalPath(databasePath).c_str(), &st) == 0;
}

void writeJournal(const std::string& databasePath, uint32_t pageSize, uint64_t originalSize,
                  const std::vector<JournalPage>& pages)
{
    const std::string path = journalPath(databasePath);
    std::vector<uint8_t> buffer(kHeaderSize + pages.size() * (8 + size_t(pageSize)));
    uint8_t* h = buffer.data();
    std::memcpy(h, kMagic, 8);
    put32(h + 8, pageSize);
    put32(h + 12, uint32_t(pages.size()));
    put64(h + 16, originalSize);
    put32(h + 24, checksum(h, 24, 0));
    uint8_t* p = h + kHeaderSize;
    for (const JournalPage& page : pages) {
        put32(p, page.number);
        std::memcpy(p + 8, page.original, pageSize);
        put32(p + 4, checksum(p + 8, pageSize, page.number));
        p += 8 + pageSize;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        ioFailure("création du journal impossible", path);
    try {
        writeAll(fd, buffer.data(), buffer.size(), path);
        if (::fdatasync(fd) != 0)
            ioFailure("écriture du journal impossible", path);
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    ::close(fd);
    syncDirectory(path);
}

void removeJournal(const std::string& databasePath)
{
    const std::string path = journalPath(databasePath);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        ioFailure("suppression du journal impossible", path);
}

bool recoverFromJournal(int fd, const std::string& databasePath)
{
    const std::string path = journalPath(databasePath);
    int jfd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (jfd < 0) {
        if (errno == ENOENT)
            return false;
        ioFailure("lecture du journal impossible", path);
    }
    struct stat st;
    if (::fstat(jfd, &st) != 0) {
        ::close(jfd);
        ioFailure("lecture du journal impossible", path);
    }
    std::vector<uint8_t> data(size_t(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = ::read(jfd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(jfd);
    data.resize(got);

    // A journal whose header is torn was never complete, so the file was not
    // touched yet: there is nothing to restore.
    if (data.size() >= kHeaderSize && std::memcmp(data.data(), kMagic, 8) == 0 &&
        get32(data.data() + 24) == checksum(data.data(), 24, 0)) {
        const uint32_t pageSize = get32(data.data() + 8);
        const uint32_t count = get32(data.data() + 12);
        const uint64_t originalSize = get64(data.data() + 16);
        const uint8_t* p = data.data() + kHeaderSize;
        const uint8_t* end = data.data() + data.size();
        for (uint32_t i = 0; i < count; ++i) {
            if (p + 8 + pageSize > end)
                break;
            uint32_t number = get32(p);
            if (get32(p + 4) != checksum(p + 8, pageSize, number))
                break;
            off_t offset = off_t(number) * pageSize;
            if (::pwrite(fd, p + 8, pageSize, offset) != ssize_t(pageSize))
                ioFailure("restauration depuis le journal impossible", databasePath);
            p += 8 + pageSize;
        }
        struct stat dbst;
        if (::fstat(fd, &dbst) == 0 && uint64_t(dbst.st_size) > originalSize) {
            if (::ftruncate(fd, off_t(originalSize)) != 0)
                ioFailure("restauration depuis le journal impossible", databasePath);
        }
        if (::fsync(fd) != 0)
            ioFailure("restauration depuis le journal impossible", databasePath);
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        ioFailure("suppression du journal impossible", path);
    syncDirectory(path);
    return true;
}

} // namespace jet::writer
