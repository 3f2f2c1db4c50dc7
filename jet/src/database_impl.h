// The Database implementation and the state it shares with its recordsets.
#pragma once

#include "catalog.h"
#include "complex_columns.h"
#include "header.h"
#include "page_file.h"
#include "table_def.h"
#include "jet/database.h"

#include <map>
#include <memory>

namespace jet::writer {
class DatabaseWriter;
class PageStore;
} // namespace jet::writer

namespace jet::detail {

// The open file and what has been read of it; recordsets hold it so that
// they stay valid whatever the Database's own lifetime.
//
// Every read of the file happens inside a ReadScope: the file's lock held
// shared, so that no write of another process is seen half done (writers
// hold it exclusively while they change pages). When a writer died in the
// middle of a write, its unfinished journal is still beside the file; the
// scope then shows the file as it was before that write (the journal's
// original pages, in memory) until a writer restores the file itself. Each
// scope maps the pages the file gained since the last one, so that whatever
// it reads (a row, the long values it points to) is of the same commit.
class Storage {
public:
    // `lockStore` is the handle whose lock guards the reads: the writer's
    // own when the database is open for writing (a process's locks on one
    // file must go through one handle), else one opened for reading. The
    // header and catalog are read under it. Null: one opened for reading.
    explicit Storage(const std::string& path, std::shared_ptr<writer::PageStore> lockStore = nullptr);

    class ReadScope {
    public:
        explicit ReadScope(Storage& storage);
        ~ReadScope();
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        Storage& storage_;
    };

    PageFile& file() { return *file_; }
    const PageFile& file() const { return *file_; }
    const FormatInfo& format() const { return *header_.format; }
    uint16_t codePage() const { return header_.codePage; }
    const std::string& password() const { return header_.password; }
    const std::vector<CatalogEntry>& catalog() const { return catalog_; }

    // Case-insensitive; throws NotFound.
    const CatalogEntry& findTable(const std::string& name) const;
    std::shared_ptr<const TableDef> tableDef(const CatalogEntry& entry);
    // tableDef as a function, for the readers of one table that need others.
    DefinitionOf definitionOf();

    // After a write: maps the file again if it grew, and reads the catalog
    // and table definitions afresh (in a ReadScope of its own).
    void refresh();

private:
    void beginRead();
    void endRead();
    void followJournal();

    std::shared_ptr<writer::PageStore> lockStore_;
    std::unique_ptr<PageFile> file_;
    HeaderInfo header_;
    std::vector<CatalogEntry> catalog_;
    std::map<uint32_t, std::shared_ptr<const TableDef>> definitions_;
};

class DatabaseImpl : public Database {
public:
    DatabaseImpl(const std::string& path, OpenMode mode, const std::string& password = {});

    const std::string& path() const override { return path_; }
    Format format() const override { return storage_->format().format; }
    bool readOnly() const override { return readOnly_; }
    std::string readOnlyReason() const override { return readOnlyReason_; }
    bool journalOrphaned() const override { return journalOrphaned_; }
    std::vector<std::string> tableNames(bool includeSystem) const override;
    TableInfo table(const std::string& name) const override;
    std::unique_ptr<Recordset> openRecordset(const std::string& tableOrSelect) override;
    long execute(const std::string& sql) override;
    long insertRows(const std::string& table, const std::function<bool(std::vector<Value>&)>& next) override;
    std::vector<Attachment> attachments(const std::string& table, const std::string& column) override;
    void createTable(const std::string& name, const std::vector<ColumnSpec>& columns) override;

private:
    // Takes a slot in the lock file that Access and other Jet programs keep
    // beside the database, or opens read-only when one of them has it open.
    void takeLockFileSlot(OpenMode mode);

    std::string path_;
    std::shared_ptr<Storage> storage_;
    bool readOnly_ = true;
    std::string readOnlyReason_;
    bool journalOrphaned_ = false;
    std::shared_ptr<writer::DatabaseWriter> writer_; // null when read-only
};

} // namespace jet::detail
