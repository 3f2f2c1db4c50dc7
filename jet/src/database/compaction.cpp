// Compacting a database file (jet/compact.h): a copy beside the file whose
// tables are written again, in one transaction, onto the lowest free pages,
// then cut after its last used page, checked, and renamed over the file.
#include "table/catalog_writer.h"
#include "format/data_page_writer.h"
#include "database/database_writer.h"
#include "file/file_lock.h"
#include "index/index_rebuild.h"
#include "file/journal.h"
#include "file/lock_file.h"
#include "file/page_store.h"
#include "file/system_error.h"
#include "table/table_writer.h"
#include "format/usage_map.h"
#include "file/os_file.h"
#include "jet/check.h"
#include "jet/compact.h"
#include "jet/status.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace jet {

namespace {

using namespace writer;

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            detail::os::closeFile(fd);
    }
};

[[noreturn]] void ioFailure(const std::string& what, const std::string& path)
{
    throw Error(Code::IoError, what + " : " + path + " (" + detail::systemErrorText(errno) + ")");
}

void flushFile(const std::string& path)
{
    Fd f{detail::os::openFile(path, detail::os::Access::ReadWrite)};
    if (f.fd < 0 || !detail::os::syncAll(f.fd))
        ioFailure("écriture impossible", path);
}

// A path for std::filesystem from a UTF-8 one (narrow paths are in the
// ANSI code page on Windows).
std::filesystem::path fsPath(const std::string& path)
{
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

// One table's rows as read before the table is emptied.
struct TableCopy {
    std::unique_ptr<TableWriter> writer;
    std::vector<std::vector<Field>> rows;
    std::vector<std::vector<std::optional<std::vector<uint8_t>>>> longValues;
};

// Reads every row of the table with its long values, deletes them all and
// gives back the pages they leave empty.
void emptyTable(TableCopy& t, Transaction& txn, PageAllocator& pages)
{
    TableWriter& w = *t.writer;
    const TableDef& layout = w.layout();
    std::vector<LiveRow> live = readLiveRows(txn, layout);
    std::vector<uint32_t> longValuePages;
    for (const LiveRow& row : live) {
        std::vector<std::optional<std::vector<uint8_t>>> values(layout.columns.size());
        for (size_t i = 0; i < layout.columns.size(); ++i) {
            const Field& f = row.fields[i];
            if (layout.columns[i].isLongValue() && !f.null && f.bytes.size() >= 12 && f.bytes[3] != 0x80)
                values[i] = w.longValueData(f, &longValuePages);
        }
        t.rows.push_back(row.fields);
        t.longValues.push_back(std::move(values));
    }
    for (const LiveRow& row : live)
        w.keepStoredKeys(RowId{row.page, row.row}, row.fields);
    for (const LiveRow& row : live)
        w.remove(RowId{row.page, row.row}, true);
    // The table's pages, its long-value columns' pages (emptied ones stay
    // the column's), and the long-value pages its rows pointed into.
    std::vector<uint32_t> emptied = UsageMap(txn, layout.ownedPages).pages();
    for (const ColumnDef& c : layout.columns)
        if (c.isLongValue() && c.hasLongValueMaps()) {
            std::vector<uint32_t> more = UsageMap(txn, c.longValueOwned).pages();
            emptied.insert(emptied.end(), more.begin(), more.end());
        }
    emptied.insert(emptied.end(), longValuePages.begin(), longValuePages.end());
    std::sort(emptied.begin(), emptied.end());
    emptied.erase(std::unique(emptied.begin(), emptied.end()), emptied.end());
    for (uint32_t page : emptied) {
        if (page < 3 || page >= txn.pageCount())
            continue;
        DataPage dp{const_cast<uint8_t*>(txn.page(page)), txn.pageSize()};
        const bool rowsPage = dp.p[0] == 0x01 && (dp.owner() == layout.page || dp.owner() == kLongValueOwner);
        if (rowsPage && dp.allDeleted())
            w.releaseEmptyPage(page);
    }
    for (detail::RowPointer pointer : rowUsageMaps(layout))
        UsageMap(txn, pointer).rewrite(pages);
}

// Writes every table again (system tables included) in one transaction.
void rewriteTables(const std::string& copy, const CompactProgress& progress)
{
    PageStore store(copy);
    Transaction txn(store);
    // One allocator for all: what one table gives back, the next one takes.
    PageAllocator pages(txn);
    std::vector<TableCopy> tables;
    for (const CatalogRow& row : readCatalogRows(txn)) {
        const uint32_t tdef = row.id & 0x00FFFFFF;
        if ((row.type & 0x7FFF) != 1 || tdef == 0)
            continue;
        TableCopy t;
        try {
            t.writer = std::make_unique<TableWriter>(txn, tdef, false, &pages);
        } catch (const Error& e) {
            if (e.code() != Code::Unsupported)
                throw;
            continue; // indexes the engine cannot keep: the table stays as it is
        }
        tables.push_back(std::move(t));
    }
    const int total = int(tables.size()) * 2;
    int done = 0;
    for (TableCopy& t : tables) {
        emptyTable(t, txn, pages);
        if (progress)
            progress(++done, total);
    }
    for (TableCopy& t : tables) {
        t.writer->gatherIndexEntries();
        for (size_t r = 0; r < t.rows.size(); ++r)
            t.writer->insertStored(std::move(t.rows[r]), t.longValues[r]);
        t.writer->finish();
        t.rows.clear();
        t.longValues.clear();
        if (progress)
            progress(++done, total);
    }
    txn.commit();
}

// Cuts the copy after its last page in use: the pages after it hold nothing
// (no page in use is all zeros: its first byte gives its type) and the
// global map, where it reaches them, says they are free.
void cutFreeTail(const std::string& copy)
{
    uint64_t size = 0;
    {
        PageStore store(copy, true);
        Transaction txn(store);
        UsageMap global(txn, 1u << 8, true);
        uint32_t end = txn.pageCount();
        while (end > 3) {
            const uint32_t page = end - 1;
            if (global.covers(page) && !global.contains(page))
                break;
            const uint8_t* bytes = txn.page(page);
            if (!std::all_of(bytes, bytes + txn.pageSize(), [](uint8_t b) { return b == 0; }))
                break;
            --end;
        }
        size = uint64_t(end) * txn.pageSize();
    }
    Fd f{detail::os::openFile(copy, detail::os::Access::ReadWrite)};
    if (f.fd < 0 || !detail::os::resize(f.fd, size))
        ioFailure("écriture impossible", copy);
}

uint64_t fileSize(const std::string& path)
{
    Fd f{detail::os::openFile(path, detail::os::Access::Read)};
    uint64_t size = 0;
    if (f.fd < 0 || !detail::os::sizeOf(f.fd, size))
        ioFailure("lecture impossible", path);
    return size;
}

void removeCopy(const std::string& copy)
{
    std::error_code ignored;
    std::filesystem::remove(fsPath(copy), ignored);
    std::filesystem::remove(fsPath(journalPath(copy)), ignored);
}

} // namespace

CompactResult compactDatabase(const std::string& path, const CompactProgress& progress)
{
    writer::recoverIfNeeded(path);
    Fd file{detail::os::openFile(path, detail::os::Access::ReadWrite)};
    if (file.fd < 0) {
        if (errno == ENOENT)
            throw Error(Code::IoError, "fichier introuvable : " + path);
        std::string why = PageStore::whyNotWritable(path);
        throw Error(Code::ReadOnly, (why.empty() ? "fichier impossible à ouvrir : " + path : why) +
                                        " : compactage impossible");
    }
    FileLock openMark(file.fd, path, kOpenMarkOffset);
    try {
        openMark.lockExclusive(0);
    } catch (const Error&) {
        throw Error(Code::Locked, path + " est ouverte dans un autre programme Velmor : compactage impossible "
                                         "tant qu'elle y est ouverte");
    }
    uint8_t version = 0;
    if (detail::os::readAt(file.fd, &version, 1, 0x14) != 1)
        throw Error(Code::NotADatabase, "fichier vide ou trop court : " + path);
    LockFileSlot slot(LockFileSlot::lockFilePath(path, version >= 2));
    if (const std::optional<LockFileUser>& other = slot.foreignUserAtOpening())
        throw Error(Code::ReadOnly, openedElsewhere(path, *other) + " : compactage impossible tant qu'elle y est ouverte");
    FileLock writeLock(file.fd, path);
    writeLock.lockExclusive();
    removeFinishedJournal(path);

    CompactResult result;
    result.sizeBefore = fileSize(path);
    const std::string copy = path + "-compactage";
    removeCopy(copy);
    try {
        std::filesystem::copy_file(fsPath(path), fsPath(copy));
        rewriteTables(copy, progress);
        cutFreeTail(copy);
        CheckReport checked = checkDatabase(copy);
        if (!checked.ok()) {
            // Only what the file did not have already is the copy's fault.
            // (The file itself is marked open here: its twin is checked.)
            const std::string twin = path + "-verification";
            removeCopy(twin);
            std::filesystem::copy_file(fsPath(path), fsPath(twin));
            CheckReport before = checkDatabase(twin);
            removeCopy(twin);
            if (checked.problems.size() > before.problems.size())
                throw Error(Code::Corrupt, "compactage annulé, la base est inchangée : la copie compactée n'est pas "
                                           "saine (" + checked.problems.front() + ")");
        }
        flushFile(copy);
        std::filesystem::remove(fsPath(journalPath(copy)));
        if (detail::os::replaceNeedsTargetClosed()) {
            // Another program that opens the file from here on holds it
            // open, and the replacement then fails, leaving it unchanged.
            writeLock.unlock();
            openMark.unlock();
            detail::os::closeFile(file.fd);
            file.fd = -1;
        }
        if (!detail::os::replaceFile(copy, path))
            ioFailure("compactage impossible, la base est inchangée", path);
    } catch (const std::filesystem::filesystem_error& e) {
        removeCopy(copy);
        throw Error(Code::IoError, std::string("compactage impossible : ") + e.what());
    } catch (...) {
        removeCopy(copy);
        throw;
    }
    detail::os::syncFolderOf(path);
    result.sizeAfter = fileSize(path);
    return result;
}

} // namespace jet
