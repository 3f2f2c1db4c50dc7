#include "file/journal.h"

#include "file/os_file.h"
#include "file/system_error.h"
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

constexpr char kMagic[8] = {'V', 'L', 'M', 'R', 'J', 'N', 'L', '3'};
constexpr size_t kHeaderSize = 56;
constexpr size_t kRecordHeaderSize = 24;
// A disk writes a page as sectors, each whole or not at all: a page that a
// power cut caught half written holds some sectors old and some new.
constexpr uint32_t kSector = 512;

// Header: magic, u32 page size, u32 page count, u64 length before, u64
// length after, u64 salt, u64 hash of the header page (page 0) before the
// write, u64 hash of the 48 bytes before it.
// Record: u32 page number, u32 1 when the original follows, u64 hash of the
// new bytes, u64 hash of the record (salted, so that a record left over from
// an earlier, longer journal never passes for one of this journal's), a u64
// hash of each sector of the new bytes, then the original bytes.
//
// The length before, the header page and the pages' sectors identify the
// file the journal was made for: see belongsTo().

uint64_t mix(uint64_t h, uint64_t word)
{
    h ^= word;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint64_t hashStart(uint64_t seed, size_t size)
{
    return mix(0x243F6A8885A308D3ull, seed ^ size);
}
uint64_t hashEnd(uint64_t h)
{
    return mix(h, 0x13198A2E03707344ull);
}
uint64_t word(const uint8_t* data)
{
    uint64_t w;
    std::memcpy(&w, data, 8);
    return w;
}

uint64_t hashBytes(const uint8_t* data, size_t size, uint64_t seed)
{
    uint64_t h = hashStart(seed, size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8)
        h = mix(h, word(data + i));
    for (; i < size; ++i)
        h = mix(h, data[i]);
    return hashEnd(h);
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

size_t sectorHashesSize(uint32_t pageSize)
{
    return size_t(pageSize / kSector) * 8;
}

// The hash of a record: its first 16 bytes, then what follows its header
// (`bodySize` bytes: the sector hashes and the original, if any).
uint64_t recordHash(const uint8_t* record, size_t bodySize, uint64_t salt)
{
    uint64_t h = hashBytes(record, 16, salt);
    return hashBytes(record + kRecordHeaderSize, bodySize, h);
}

uint64_t sectorHash(const uint8_t* sector, uint32_t number, uint32_t index)
{
    return hashBytes(sector, kSector, uint64_t(number) << 8 | index);
}

// hashBytes(page, pageSize, number), and sectorHash() of each sector put at
// `sectorHashes`, in one pass over the page: the two chains of
// multiplications run side by side. Pages are whole sectors.
uint64_t pageHashes(const uint8_t* page, uint32_t pageSize, uint32_t number, uint8_t* sectorHashes)
{
    uint64_t whole = hashStart(number, pageSize);
    for (uint32_t i = 0; i < pageSize / kSector; ++i) {
        const uint8_t* sector = page + size_t(i) * kSector;
        uint64_t part = hashStart(uint64_t(number) << 8 | i, kSector);
        for (size_t k = 0; k < kSector; k += 8) {
            const uint64_t w = word(sector + k);
            whole = mix(whole, w);
            part = mix(part, w);
        }
        put64(sectorHashes + 8 * i, hashEnd(part));
    }
    return hashEnd(whole);
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& path)
{
    throw Error(Code::IoError, what + " : " + path + " (" + detail::systemErrorText(errno) + ")");
}

// The hash of the file's first page as it is on the disk (what there is of
// it, for a file shorter than a page).
uint64_t headerPageHash(const std::string& databasePath, uint32_t pageSize)
{
    std::vector<uint8_t> page(pageSize);
    int fd = detail::os::openFile(databasePath, detail::os::Access::Read);
    if (fd < 0)
        ioFailure("lecture impossible", databasePath);
    long long n = detail::os::readAt(fd, page.data(), pageSize, 0);
    detail::os::closeFile(fd);
    if (n < 0)
        ioFailure("lecture impossible", databasePath);
    return hashBytes(page.data(), size_t(n), 0);
}

} // namespace

std::string journalPath(const std::string& databasePath)
{
    return databasePath + "-journal";
}

WrittenJournal writeJournal(const std::string& databasePath, uint32_t pageSize, uint64_t originalSize,
                            uint64_t newSize, const std::vector<JournalPage>& pages,
                            const std::vector<uint8_t>* headerPage)
{
    const std::string path = journalPath(databasePath);
    const size_t sectors = sectorHashesSize(pageSize);
    size_t total = kHeaderSize;
    for (const JournalPage& page : pages)
        total += kRecordHeaderSize + sectors + (page.original ? pageSize : 0);
    std::vector<uint8_t> buffer(total);
    uint8_t* h = buffer.data();
    const uint64_t salt = newSalt();
    std::memcpy(h, kMagic, 8);
    put32(h + 8, pageSize);
    put32(h + 12, uint32_t(pages.size()));
    put64(h + 16, originalSize);
    put64(h + 24, newSize);
    put64(h + 32, salt);
    put64(h + 40, headerPage ? hashBytes(headerPage->data(), std::min<size_t>(headerPage->size(), pageSize), 0)
                             : headerPageHash(databasePath, pageSize));
    put64(h + 48, hashBytes(h, 48, 0));
    uint8_t* p = h + kHeaderSize;
    for (const JournalPage& page : pages) {
        const size_t body = sectors + (page.original ? pageSize : 0);
        put32(p, page.number);
        put32(p + 4, page.original ? 1 : 0);
        put64(p + 8, pageHashes(page.current, pageSize, page.number, p + kRecordHeaderSize));
        if (page.original)
            std::memcpy(p + kRecordHeaderSize + sectors, page.original, pageSize);
        put64(p + 16, recordHash(p, body, salt));
        p += kRecordHeaderSize + body;
    }
    // The file is rewritten in place when it is there already (as it is
    // between the writes of an open database): then only its content needs
    // the flush. A new file also needs its folder flushed.
    bool created = false;
    int fd = detail::os::openFile(path, detail::os::Access::Write);
    if (fd < 0 && errno == ENOENT) {
        created = true;
        fd = detail::os::openFile(path, detail::os::Access::Write, detail::os::Creation::New);
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
    if (created)
        detail::os::syncFolderOf(path);
    return WrittenJournal(fd, path);
}

WrittenJournal::~WrittenJournal()
{
    if (fd_ >= 0)
        detail::os::closeFile(fd_);
}

void WrittenJournal::finish()
{
    static const uint8_t zeros[8] = {};
    long long n = detail::os::writeAt(fd_, zeros, sizeof zeros, 0);
    detail::os::closeFile(fd_);
    fd_ = -1;
    if (n != (long long)sizeof zeros)
        ioFailure("mise à jour du journal impossible", path_);
}

void finishJournal(const std::string& databasePath)
{
    const std::string path = journalPath(databasePath);
    int fd = detail::os::openFile(path, detail::os::Access::Write);
    if (fd < 0)
        ioFailure("mise à jour du journal impossible", path);
    WrittenJournal(fd, path).finish();
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
    // A header is read as far as it goes; the whole journal needs its length.
    uint64_t size = limit;
    if (limit == SIZE_MAX && !detail::os::sizeOf(fd, size)) {
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
           && get64(data.data() + 48) == hashBytes(data.data(), 48, 0);
}

struct Record {
    uint32_t number;
    uint64_t newHash;
    const uint8_t* sectorHashes; // of the new bytes
    const uint8_t* original;     // nullptr for an appended page
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
        const size_t sectors = sectorHashesSize(pageSize);
        const size_t body = sectors + (flags ? pageSize : 0);
        if (data.size() - at - kRecordHeaderSize < body || get64(p + 16) != recordHash(p, body, salt))
            return false;
        const uint8_t* hashes = p + kRecordHeaderSize;
        out.push_back({get32(p), get64(p + 8), hashes, flags ? hashes + sectors : nullptr});
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

// Whether the file is the one the journal was made for, in one of the states
// its write can have left it in: no longer than the write made it and not
// shorter than before it; its header page as before the write (when the
// write does not change it); and every sector of every page the write
// changes holding its original bytes or its new ones (a sector of an
// appended page may also still be zeros, or lie past the end). A copy of
// the database put in its place (a backup, an older or newer state) fails
// this on the pages it holds otherwise, and a journal applied to it would
// damage it.
bool belongsTo(int fd, const std::vector<uint8_t>& header, const std::vector<Record>& records,
               uint32_t pageSize)
{
    const uint64_t before = get64(header.data() + 16), after = get64(header.data() + 24);
    uint64_t size = 0;
    if (!detail::os::sizeOf(fd, size))
        return false;
    if (size < before || size > std::max(before, after))
        return false;
    bool headerJournaled = false;
    std::vector<uint8_t> page(pageSize);
    for (const Record& r : records) {
        headerJournaled = headerJournaled || r.number == 0;
        const uint64_t start = uint64_t(r.number) * pageSize;
        std::fill(page.begin(), page.end(), 0);
        const size_t present = start >= size ? 0 : size_t(std::min<uint64_t>(pageSize, size - start));
        if (r.original && present < pageSize)
            return false; // a page the file had before the write
        if (present && detail::os::readAt(fd, page.data(), present, start) != (long long)present)
            return false;
        for (uint32_t i = 0; i < pageSize / kSector; ++i) {
            const uint8_t* sector = page.data() + size_t(i) * kSector;
            if (sectorHash(sector, r.number, i) == get64(r.sectorHashes + 8 * i))
                continue; // new bytes
            const bool asBefore = r.original ? std::memcmp(sector, r.original + size_t(i) * kSector, kSector) == 0
                                             : std::all_of(sector, sector + kSector, [](uint8_t b) { return b == 0; });
            if (!asBefore)
                return false;
        }
    }
    if (!headerJournaled) {
        const size_t present = size_t(std::min<uint64_t>(pageSize, size));
        if (detail::os::readAt(fd, page.data(), present, 0) != (long long)present ||
            hashBytes(page.data(), present, 0) != get64(header.data() + 40))
            return false;
    }
    return true;
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
    if (pageSize < kSector || pageSize > 65536 || pageSize % kSector || !readRecords(data, pageSize, records))
        return rollback; // torn journal: the file was not touched yet
    if (!belongsTo(fd, data, records, pageSize)) {
        rollback.foreign = true;
        return rollback;
    }
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
    if (rollback.foreign)
        throw Error(Code::OrphanedJournal, orphanedJournalMessage(databasePath));
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

std::string orphanedJournalMessage(const std::string& databasePath)
{
    return "journal orphelin : " + journalPath(databasePath) +
           " a été laissé par une écriture interrompue sur un autre fichier que " + databasePath +
           " (remplacé depuis, par une copie de sauvegarde par exemple) ; il n'est pas appliqué, le fichier est "
           "lu tel qu'il est et rien n'y est écrit. Déplacez ou supprimez ce journal pour pouvoir de nouveau "
           "écrire dans la base";
}

bool journalOrphaned(const std::string& databasePath)
{
    if (!journalPending(databasePath))
        return false;
    int fd = detail::os::openFile(databasePath, detail::os::Access::Read);
    if (fd < 0)
        return false; // the database's open reports it
    bool foreign = false;
    try {
        foreign = pendingRollback(fd, databasePath).foreign;
    } catch (...) {
        detail::os::closeFile(fd);
        throw;
    }
    detail::os::closeFile(fd);
    return foreign;
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
