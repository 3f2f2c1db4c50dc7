#include "file/page_store.h"

#include "file/system_error.h"
#include "file/journal.h"
#include "file/os_file.h"
#include "jet/status.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace jet::writer {

namespace {

[[noreturn]] void ioFailure(const std::string& what, const std::string& path)
{
    throw Error(Code::IoError, what + " : " + path + " (" + detail::systemErrorText(errno) + ")");
}

void readExactly(int fd, uint8_t* data, size_t size, uint64_t offset, const std::string& path)
{
    size_t got = 0;
    while (got < size) {
        long long n = detail::os::readAt(fd, data + got, size - got, offset + got);
        if (n < 0)
            ioFailure("lecture impossible", path);
        if (n == 0)
            throw Error(Code::Corrupt, "fichier tronqué : " + path);
        got += size_t(n);
    }
}

void writeExactly(int fd, const uint8_t* data, size_t size, uint64_t offset, const std::string& path)
{
    size_t done = 0;
    while (done < size) {
        long long n = detail::os::writeAt(fd, data + done, size - done, offset + done);
        if (n < 0)
            ioFailure("écriture impossible", path);
        done += size_t(n);
    }
}

} // namespace

std::string PageStore::whyNotWritable(const std::string& path)
{
    int fd = detail::os::openFile(path, detail::os::Access::ReadWrite);
    if (fd >= 0) {
        detail::os::closeFile(fd);
        return {};
    }
    if (errno == EACCES || errno == EPERM)
        return "fichier en lecture seule (droits insuffisants) : " + path;
    if (errno == EROFS)
        return "fichier sur un support en lecture seule : " + path;
    if (errno == ENOENT)
        return "fichier introuvable : " + path;
    return "fichier impossible à ouvrir en écriture : " + path + " (" + detail::systemErrorText(errno) + ")";
}

PageStore::PageStore(const std::string& path, bool readOnly) : path_(path), readOnly_(readOnly)
{
    // The file is opened again when it was replaced (compacted) while this
    // waited for the mark of an open file.
    for (int attempt = 0;; ++attempt) {
        openFile();
        openMark_ = std::make_unique<FileLock>(fd_, path_, kOpenMarkOffset);
        openMark_->lockShared();
        if (attempt >= 5 || detail::os::isStillNamed(fd_, path_))
            break;
        openMark_.reset();
        detail::os::closeFile(fd_);
        fd_ = -1;
    }
    lock_ = std::make_unique<FileLock>(fd_, path_);
}

void PageStore::openFile()
{
    const std::string& path = path_;
    const bool readOnly = readOnly_;
    fd_ = detail::os::openFile(path, readOnly ? detail::os::Access::Read : detail::os::Access::ReadWrite);
    if (fd_ < 0 && readOnly) {
        if (errno == ENOENT)
            throw Error(Code::IoError, "fichier introuvable : " + path);
        throw Error(Code::IoError, "impossible d'ouvrir le fichier " + path + " : " + detail::systemErrorText(errno));
    }
    if (fd_ < 0) {
        int saved = errno;
        std::string why = whyNotWritable(path);
        errno = saved;
        if (saved == ENOENT)
            throw Error(Code::IoError, "fichier introuvable : " + path);
        throw Error(Code::ReadOnly, why.empty() ? "fichier en lecture seule : " + path : why);
    }
}

PageStore::~PageStore()
{
    // The journal is kept between writes; the last step of the writer is to
    // take it away. Readers hold the lock only for a moment, so it waits a
    // little for them; when another process is writing, the journal is left
    // to whoever closes the file last.
    if (!readOnly_ && lock_ && !lock_->held()) {
        try {
            lock_->lockExclusive(200);
            removeFinishedJournal(path_);
        } catch (const Error&) {
        }
        lock_->unlock();
    }
    lock_.reset();
    openMark_.reset();
    if (fd_ >= 0)
        detail::os::closeFile(fd_);
}

bool PageStore::recover()
{
    if (!journalPending(path_))
        return false;
    lock_->lockExclusive();
    bool restored = false;
    try {
        restored = recoverFromJournal(fd_, path_);
    } catch (...) {
        lock_->unlock();
        throw;
    }
    lock_->unlock();
    return restored;
}

Transaction::Transaction(PageStore& store) : store_(store)
{
    if (store_.readOnly())
        store_.lock().lockShared();
    else
        store_.lock().lockExclusive();
    try {
        if (!store_.readOnly())
            recoverFromJournal(store_.fd(), store_.path());
        uint64_t size = 0;
        if (!detail::os::sizeOf(store_.fd(), size))
            ioFailure("lecture impossible", store_.path());
        if (size < 0x18)
            throw Error(Code::NotADatabase, "fichier vide ou trop court : " + store_.path());
        // The first page as the write finds it, for the journal; what there
        // is of it in a file shorter than a page.
        headerPage_.resize(size_t(std::min<uint64_t>(size, 4096)));
        readExactly(store_.fd(), headerPage_.data(), headerPage_.size(), 0, store_.path());
        version_ = headerPage_[0x14];
        pageSize_ = version_ == 0 ? 2048 : 4096;
        headerPage_.resize(std::min<size_t>(headerPage_.size(), pageSize_));
        originalSize_ = size;
        pageCount_ = uint32_t(originalSize_ / pageSize_);
    } catch (...) {
        store_.lock().unlock();
        throw;
    }
}

Transaction::~Transaction()
{
    store_.lock().unlock();
}

Transaction::Entry& Transaction::load(uint32_t number)
{
    if (last_ && lastNumber_ == number)
        return *last_;
    auto it = pages_.find(number);
    if (it == pages_.end()) {
        if (number >= pageCount_)
            throw Error(Code::Corrupt, "page " + std::to_string(number) + " : au-delà de la fin du fichier");
        Entry e;
        e.data.resize(pageSize_);
        readExactly(store_.fd(), e.data.data(), pageSize_, uint64_t(number) * pageSize_, store_.path());
        it = pages_.emplace(number, std::move(e)).first;
    }
    lastNumber_ = number;
    last_ = &it->second;
    return *last_;
}

void Transaction::preload(std::vector<uint32_t> numbers)
{
    const uint64_t onDisk = originalSize_ / pageSize_; // the pages after it are this transaction's, all read
    numbers.erase(std::remove_if(numbers.begin(), numbers.end(),
                                 [&](uint32_t n) { return n >= onDisk || pages_.count(n) != 0; }),
                  numbers.end());
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    // A gap of a few pages is read with the rest: cheaper than another read.
    constexpr uint32_t kGap = 3, kSpan = 64;
    std::vector<uint8_t> run;
    for (size_t first = 0, end = 0; first < numbers.size(); first = end) {
        for (end = first + 1; end < numbers.size() && numbers[end] - numbers[end - 1] <= kGap + 1 &&
                              numbers[end] - numbers[first] < kSpan;)
            ++end;
        run.resize(size_t(numbers[end - 1] - numbers[first] + 1) * pageSize_);
        readExactly(store_.fd(), run.data(), run.size(), uint64_t(numbers[first]) * pageSize_, store_.path());
        for (size_t k = first; k < end; ++k) {
            Entry e;
            const auto from = run.begin() + long(size_t(numbers[k] - numbers[first]) * pageSize_);
            e.data.assign(from, from + pageSize_);
            pages_.emplace(numbers[k], std::move(e));
        }
    }
}

const uint8_t* Transaction::page(uint32_t number)
{
    return load(number).data.data();
}

uint8_t* Transaction::modify(uint32_t number)
{
    Entry& e = load(number);
    if (!e.dirty) {
        if (!e.fresh)
            e.original = e.data;
        e.dirty = true;
    }
    return e.data.data();
}

uint32_t Transaction::appendPage()
{
    uint32_t number = pageCount_++;
    Entry e;
    e.data.assign(pageSize_, 0);
    e.dirty = true;
    e.fresh = true;
    pages_.emplace(number, std::move(e));
    return number;
}

void Transaction::commit()
{
    if (committed_)
        return;
    std::vector<JournalPage> changed;
    for (auto& [number, e] : pages_) {
        if (e.dirty)
            changed.push_back({number, e.fresh ? nullptr : e.original.data(), e.data.data()});
    }
    if (changed.empty()) {
        committed_ = true;
        return;
    }
    if (store_.readOnly())
        throw Error(Code::ReadOnly, "fichier ouvert en lecture seule : " + store_.path());
    const uint64_t newSize = uint64_t(pageCount_) * pageSize_;
    WrittenJournal journal = writeJournal(store_.path(), pageSize_, originalSize_, newSize, changed, &headerPage_);
    // Pages of consecutive numbers (those the write appends, mostly) go in
    // one write, up to kRunPages at a time.
    constexpr size_t kRunPages = 32;
    std::vector<uint8_t> run;
    for (size_t first = 0, end = 0; first < changed.size(); first = end) {
        for (end = first + 1; end < changed.size() && end - first < kRunPages &&
                              changed[end].number == changed[end - 1].number + 1;)
            ++end;
        const uint8_t* bytes = changed[first].current;
        if (end - first > 1) {
            run.resize((end - first) * pageSize_);
            for (size_t k = first; k < end; ++k)
                std::memcpy(run.data() + (k - first) * pageSize_, changed[k].current, pageSize_);
            bytes = run.data();
        }
        writeExactly(store_.fd(), bytes, (end - first) * pageSize_, uint64_t(changed[first].number) * pageSize_,
                     store_.path());
    }
    if (!detail::os::syncData(store_.fd()))
        ioFailure("écriture impossible", store_.path());
    journal.finish();
    committed_ = true;
    last_ = nullptr;
    pages_.clear(); // read again from the file if asked for: what runs after the commit needs no copy
    originalSize_ = newSize;
}

} // namespace jet::writer
