// The write side's handle on a database file: the file opened for writing,
// its write lock, and transactions of page changes made safe by the rollback
// journal.
//
// While it lives, a PageStore marks the file open (a shared lock of its
// own, file_lock.h): a compaction, which replaces the file, is refused
// meanwhile, and a PageStore made during one waits for it to end and opens
// the new file.
//
// A Transaction takes the file's exclusive lock (waiting for another writer
// to finish), restores the file from a journal that a crashed writer left
// behind, and then reads pages afresh from the file, so that it sees every
// change another process made. Changed pages stay in memory until commit():
// the originals go to the journal (flushed), the pages to the file (flushed),
// then the journal is marked finished and the lock released (journal.h). A
// transaction that is destroyed without commit() leaves the file untouched.
#pragma once

#include "file/file_lock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace jet::writer {

class PageStore {
public:
    // Opens the file for writing. Throws Error(ReadOnly) with a French
    // message when the file cannot be written, Error(IoError) when it cannot
    // be opened at all. With readOnly, opens it for reading only: its
    // transactions take the lock shared and cannot commit changes.
    explicit PageStore(const std::string& path, bool readOnly = false);
    bool readOnly() const { return readOnly_; }
    ~PageStore();
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;

    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    FileLock& lock() { return *lock_; }

    // Restores a leftover journal if there is one (takes the lock briefly).
    // Returns true when the file was restored.
    bool recover();

    // Why the file cannot be opened for writing ("" when it can).
    static std::string whyNotWritable(const std::string& path);

private:
    void openFile();

    std::string path_;
    int fd_ = -1;
    bool readOnly_ = false;
    std::unique_ptr<FileLock> openMark_;
    std::unique_ptr<FileLock> lock_;
};

class Transaction {
public:
    explicit Transaction(PageStore& store);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    uint32_t pageSize() const { return pageSize_; }
    // Jet format version byte of the header (0 Jet3, 1 Jet4, 2+ ACE).
    uint8_t version() const { return version_; }
    uint32_t pageCount() const { return pageCount_; }

    // Current bytes of a page (as changed by this transaction).
    const uint8_t* page(uint32_t number);
    // Reads those of `numbers` (pages of the file) that the transaction has
    // not read yet, consecutive ones in one read: for a list of pages about
    // to be looked at one after another.
    void preload(std::vector<uint32_t> numbers);
    // A writable copy of a page; the change is written at commit().
    uint8_t* modify(uint32_t number);
    // Appends a zero-filled page to the file (at commit) and returns its
    // number. The global usage map is the caller's business.
    uint32_t appendPage();

    void commit();
    bool committed() const { return committed_; }
    PageStore& store() { return store_; }

private:
    struct Entry {
        std::vector<uint8_t> data;
        bool dirty = false;
        bool fresh = false; // appended by this transaction
        std::vector<uint8_t> original;
    };
    Entry& load(uint32_t number);

    PageStore& store_;
    uint32_t pageSize_ = 4096;
    uint8_t version_ = 1;
    uint32_t pageCount_ = 0;
    uint64_t originalSize_ = 0;
    std::vector<uint8_t> headerPage_; // page 0 as on the disk (what there is of it)
    std::map<uint32_t, Entry> pages_;
    // The page looked up last: most lookups ask for it again (the page rows
    // are being added to), and a map entry stays where it is until commit().
    uint32_t lastNumber_ = 0;
    Entry* last_ = nullptr;
    bool committed_ = false;
};

} // namespace jet::writer
