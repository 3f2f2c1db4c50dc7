// Rollback journal of a write: FILE-journal beside the database.
//
// Every write goes through the same steps, under the file's exclusive lock:
//  1. the journal is written and flushed: for each page the write changes,
//     its original bytes (none for pages the write appends) and a hash of
//     its new bytes, plus the file's length before and after;
//  2. the pages are written to the file and the file is flushed;
//  3. the journal is marked finished (its first bytes cleared, no flush).
//
// A journal that is not marked finished is what a writer that died (or a
// machine that lost power) left behind. Recovery then decides from the file
// itself: when every page already holds its new bytes, the write reached the
// disk whole and is kept; otherwise the originals are copied back and the
// file is cut to its former length, which restores it exactly as it was
// before that write began. A journal that is not whole (torn while it was
// being written) means the file was not touched yet: nothing is restored.
// So a write that returned is never undone, and a write that did not return
// is either whole or absent.
//
// A journal is applied only to the file it was made for: the journal records
// the file's length and header page before the write and a hash of every
// sector the write puts on the disk, and the file must hold, sector by
// sector, either the bytes before the write or those it writes. A journal
// beside a file that fails this (another file copied over the database after
// the writer died, such as a backup) is orphaned: nothing is restored, the
// file is read as it is, and every write is refused (Error(OrphanedJournal))
// until the journal is taken away, so that neither is changed.
//
// The journal file stays between writes while a writer has the database
// open (rewriting it in place costs one flush; creating it costs two), and
// is removed when the writer closes the database.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace jet::writer {

std::string journalPath(const std::string& databasePath);

struct JournalPage {
    uint32_t number;
    const uint8_t* original; // pageSize bytes; nullptr for a page the write appends
    const uint8_t* current;  // pageSize bytes: what the write puts there
};

// A journal written and flushed, still open, so that the writer marks it
// finished without opening it again. Destroyed unfinished, it closes and
// stays as a crashed writer leaves it.
class WrittenJournal {
public:
    WrittenJournal(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~WrittenJournal();
    WrittenJournal(WrittenJournal&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }
    WrittenJournal(const WrittenJournal&) = delete;
    WrittenJournal& operator=(const WrittenJournal&) = delete;
    WrittenJournal& operator=(WrittenJournal&&) = delete;

    // Marks it finished once the database itself was flushed; throws Error(IoError).
    void finish();

private:
    int fd_;
    std::string path_;
};

// Writes and flushes the journal of a write that changes `pages` of a file
// whose length is `originalSize` and will be `newSize`. `headerPage` is the
// file's first page as it is before the write (what there is of it); when
// null, it is read from the file. Throws Error(IoError).
WrittenJournal writeJournal(const std::string& databasePath, uint32_t pageSize, uint64_t originalSize,
                            uint64_t newSize, const std::vector<JournalPage>& pages,
                            const std::vector<uint8_t>* headerPage = nullptr);

// Marks the journal finished (opening it by its name).
void finishJournal(const std::string& databasePath);

// True when a journal that is not marked finished lies beside the file.
bool journalPending(const std::string& databasePath);

// What an unfinished journal would undo: the original bytes of the pages a
// write that did not reach the disk whole changed, and the file's length
// before it. `pending` tells whether an unfinished journal is there at all;
// `pageSize` is 0 when there is nothing to undo: the journal is torn (the
// file was not touched yet) or the write is whole on the disk. `fd` is the
// database opened for reading.
struct Rollback {
    bool pending = false;
    bool foreign = false; // the journal was made for another file (see above): nothing to undo
    uint32_t pageSize = 0;
    uint64_t originalSize = 0;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> originals; // by page number
};
Rollback pendingRollback(int fd, const std::string& databasePath);

// Restores the file from an unfinished journal, if there is one, and marks
// it finished. `fd` is the database opened for writing, under the write
// lock. Returns true when pages were copied back. Throws
// Error(OrphanedJournal), changing nothing, when the journal was made for
// another file.
bool recoverFromJournal(int fd, const std::string& databasePath);

// True when an unfinished journal beside the file was made for another file.
bool journalOrphaned(const std::string& databasePath);
// What the engine says of such a journal (French).
std::string orphanedJournalMessage(const std::string& databasePath);

// Removes a finished journal (under the write lock, when the writer closes).
void removeFinishedJournal(const std::string& databasePath);

} // namespace jet::writer
