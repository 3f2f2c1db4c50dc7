#include "journal.h"

#include "os_file.h"
#include "system_error.h"
#include "jet/status.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

namespace jet::writer {

namespace {

constexpr char kMagic[8] = {'V', 'L', 'M', 'R', 'J', 'N', 'L', '2'};
constexpr size_t kHeaderSize = 48;
constexpr size_t kRecordHeaderSize = 24;

// Header: magic, u32 page size, u32 page count, u64 length before, u64
// length after, u64 salt, u64 hash of the 40 bytes before it.
// Record: u32 page number, u32 1 when the original follows, u64 hash of the
// new bytes, u64 hash of the record (salted, so that a record left over from
// an earlier, longer journal never passes for one of this journal's), then
// the original bytes.

uint64_t mix(uint64_t h, uint64_t word)
{
    h ^= word;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed)
{
    uint64_t h = mix(0x243F6A8885A308D3ull, seed ^ size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        h = mix(h, word);
    }
    for (; i < size; ++i)
        h = mix(h, data[i]);
    return mix(h, 0x13198A2E03707344ull);
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

uint64_t newSalt()
{
    static std::atomic<uint64_t> counter{0};
    static const uint64_t base = [] {
        std::random_device device;
        return uint64_t(device()) << 32 ^ device();
    }();
    uint64_t now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    return mix(base ^ uint64_t(detail::os::processId()), now + counter.fetch_add(1));
}

uint64_t recordHash(const uint8_t* record, size_t originalSize, uint64_t salt)
{
    uint64_t h = hashBytes(record, 16, salt);
    return originalSize ? hashBytes(record + kRecordHeaderSize, originalSize, h) : h;
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& path)
{
    throw Error(Code::IoError, what + " : " + path + " (" + detail::systemErrorText(errno) + ")");
}

} // namespace

std::string journalPath(const std::string& databasePath)
{
    return databasePath + "-journal";
}

void writeJournal(const std::string& databasePath, uint32_t pageSize, uint64_t originalSize, uint64_t newSize,
                  const std::vector<JournalPage>& pages)
{
    const std::string path = journalPath(databasePath);
    size_t total = kHeaderSize;
    for (const JournalPage& page : pages)
        total += kRecordHeaderSize + (page.original ? pageSize : 0);
    std::vector<uint8_t> buffer(total);
    uint8_t* h = buffer.data();
    const uint64_t salt = newSalt();
    std::memcpy(h, kMagic, 8);
    put32(h + 8, pageSize);
    put32(h + 12, uint32_t(pages.size()));
    put64(h + 16, originalSize);
    put64(h + 24, newSize);
    put64(h + 32, salt);
    put64(h + 40, hashBytes(h, 40, 0));
    uint8_t* p = h + kHeaderSize;
    for (const JournalPage& page : pages) {
        const size_t body = page.original ? pageSize : 0;
        put32(p, page.number);
        put32(p + 4, page.original ? 1 : 0);
        put64(p + 8, hashBytes(page.current, pageSize, page.number));
        if (page.original)
            std::memcpy(p + kRecordHeaderSize, page.original, pageSize);
        put64(p + 16, recordHash(p, body, salt));
        p += kRecordHeaderSize + body;
    }
    // The file is rewritten in place when it is there already: then only its
    // content needs the flush. A new file also needs its folder flushed.
    bool created = true;
    int fd = detail::os::openFile(path, detail::os::Access::Write, detail::os::Creation::New);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = detail::os::openFile(path, detail::os::Access::Write);
    }
    if (fd < 0)
        ioFailure("création du journal impossible", path);
    try {
        size_t done = 0;
        while (done < buffer.size()) {
            long long n = detail::os::writeAt(fd, buffer.data() + done, buffer.size() - done, done);
            if (n < 0)
                ioFailure("écriture du journal impossible", path);
            done += size_t(n);
        }
        if (!detail::os::syncData(fd))
            ioFailure("écriture du journal impossible", path);
    } catch (...) {
        // Nothing of the database was touched: the journal only needs to
        // stop looking unfinished.
        static const uint8_t zeros[8] = {};
        (void)detail::os::writeAt(fd, zeros, sizeof zeros, 0);
        detail::os::closeFile(fd);
        throw;
    }
    detail::os::closeFile(fd);
    if (created)
        detail::os::syncFolderOf(path);
}

void finishJournal(const std::string& databasePath)
{
    const std::string path = journalPath(databasePath);
    int fd = detail::os::openFile(path, detail::os::Access::Write);
    if (fd < 0)
        ioFailure("mise à jour du journal impossible", path);
    static const uint8_t zeros[8] = {};
    long long n = detail::os::writeAt(fd, zeros, sizeof zeros, 0);
    detail::os::closeFile(fd);
    if (n != (long long)sizeof zeros)
        ioFailure("mise à jour du journal impossible", path);
}

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& data, size_t limit)
{
    int fd = detail::os::openFile(path, detail::os::Access::Read);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false; // no journal (a bad path is the database's open to report)
        ioFailure("lecture du journal impossible", path);
    }
    uint64_t size = 0;
    if (!detail::os::sizeOf(fd, size)) {
        detail::os::closeFile(fd);
        ioFailure("lecture du journal impossible", path);
    }
    data.resize(std::min<uint64_t>(size, limit));
    size_t got = 0;
    while (got < data.size()) {
        long long n = detail::os::readAt(fd, data.data() + got, data.size() - got, got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    detail::os::closeFile(fd);
    data.resize(got);
    return true;
}

bool headerUnfinished(const std::vector<uint8_t>& data)
{
    return data.size() >= kHeaderSize && std::memcmp(data.data(), kMagic, 8) == 0
           && get64(data.data() + 40) == hashBytes(data.data(), 40, 0);
}

struct Record {
    uint32_t number;
    uint64_t newHash;
    const uint8_t* original; // nullptr for an appended page
};

// The records of a whole journal; false when any of them is torn.
bool readRecords(const std::vector<uint8_t>& data, uint32_t pageSize, std::vector<Record>& out)
{
    const uint32_t count = get32(data.data() + 12);
    const uint64_t salt = get64(data.data() + 32);
    size_t at = kHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (data.size() - at < kRecordHeaderSize)
            return false;
        const uint8_t* p = data.data() + at;
        const uint32_t flags = get32(p + 4);
        if (flags > 1)
            return false;
        const size_t body = flags ? pageSize : 0;
        if (data.size() - at - kRecordHeaderSize < body || get64(p + 16) != recordHash(p, body, salt))
            return false;
        out.push_back({get32(p), get64(p + 8), flags ? p + kRecordHeaderSize : nullptr});
        at += kRecordHeaderSize + body;
    }
    return true;
}

bool pageHolds(int fd, uint32_t number, uint32_t pageSize, uint64_t hash, std::vector<uint8_t>& scratch)
{
    scratch.resize(pageSize);
    long long n = detail::os::readAt(fd, scratch.data(), pageSize, uint64_t(number) * pageSize);
    return n == (long long)pageSize && hashBytes(scratch.data(), pageSize, number) == hash;
}

} // namespace

bool journalPending(const std::string& databasePath)
{
    std::vector<uint8_t> header;
    return readFile(journalPath(databasePath), header, kHeaderSize) && headerUnfinished(header);
}

Rollback pendingRollback(int fd, const std::string& databasePath)
{
    const std::string path = journalPath(databasePath);
    Rollback rollback;
    std::vector<uint8_t> data;
    if (!readFile(path, data, kHeaderSize) || !headerUnfinished(data))
        return rollback;
    if (!readFile(path, data, SIZE_MAX) || !headerUnfinished(data))
        return rollback;
    rollback.pending = true;
    const uint32_t pageSize = get32(data.data() + 8);
    const uint64_t newSize = get64(data.data() + 24);
    std::vector<Record> records;
    if (pageSize == 0 || pageSize > 65536 || !readRecords(data, pageSize, records))
        return rollback; // torn journal: the file was not touched yet
    // The journal is whole, so the writer may have begun on the file. It
    // finished when every page holds its new bytes.
    uint64_t size = 0;
    if (!detail::os::sizeOf(fd, size))
        ioFailure("lecture impossible", databasePath);
    bool whole = size >= newSize;
    std::vector<uint8_t> scratch;
    for (size_t i = 0; whole && i < records.size(); ++i)
        whole = pageHolds(fd, records[i].number, pageSize, records[i].newHash, scratch);
    if (whole)
        return rollback;
    rollback.pageSize = pageSize;
    rollback.originalSize = get64(data.data() + 16);
    for (const Record& r : records) {
        if (r.original)
            rollback.originals.emplace_back(r.number, std::vector<uint8_t>(r.original, r.original + pageSize));
    }
    return rollback;
}

bool recoverFromJournal(int fd, const std::string& databasePath)
{
    const Rollback rollback = pendingRollback(fd, databasePath);
    if (!rollback.pending)
        return false;
    const bool restore = rollback.pageSize != 0;
    if (restore) {
        const uint32_t pageSize = rollback.pageSize;
        for (const auto& [number, original] : rollback.originals) {
            if (detail::os::writeAt(fd, original.data(), pageSize, uint64_t(number) * pageSize) != (long long)pageSize)
                ioFailure("restauration depuis le journal impossible", databasePath);
        }
        uint64_t size = 0;
        if (!detail::os::sizeOf(fd, size))
            ioFailure("restauration depuis le journal impossible", databasePath);
        if (size > rollback.originalSize && !detail::os::resize(fd, rollback.originalSize))
            ioFailure("restauration depuis le journal impossible", databasePath);
        if (!detail::os::syncAll(fd))
            ioFailure("restauration depuis le journal impossible", databasePath);
    }
    finishJournal(databasePath);
    return restore;
}

void removeFinishedJournal(const std::string& databasePath)
{
    if (journalPending(databasePath))
        return;
    const std::string path = journalPath(databasePath);
    if (!detail::os::removeFile(path) && errno != ENOENT)
        ioFailure("suppression du journal impossible", path);
}

} // namespace jet::writer
