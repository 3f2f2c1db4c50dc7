// The open file and what has been read of it (header, catalog, table
// definitions), shared by a database and its recordsets.
#pragma once

#include "format/catalog.h"
#include "format/complex_columns.h"
#include "format/header.h"
#include "file/page_file.h"
#include "format/table_def.h"

#include <map>
#include <set>
#include <memory>

namespace jet::writer {
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

    // By sameColumnName(); throws NotFound.
    const CatalogEntry& findTable(const std::string& name) const;
    std::shared_ptr<const TableDef> tableDef(const CatalogEntry& entry);
    // tableDef as a function, for the readers of one table that need others.
    DefinitionOf definitionOf();

    // Maps the file again if it grew, and reads the catalog and table
    // definitions afresh (in a ReadScope of its own).
    void refresh();
    // The same right after this process's own commit, while it still holds
    // the write lock: the file is then whole and as this process left it,
    // so that no journal needs to be looked at.
    void refreshAfterCommit();

private:
    void beginRead();
    void endRead();
    void followJournal();

    std::shared_ptr<writer::PageStore> lockStore_;
    std::unique_ptr<PageFile> file_;
    HeaderInfo header_;
    std::vector<CatalogEntry> catalog_;
    std::map<uint32_t, std::shared_ptr<const TableDef>> definitions_;
    std::set<uint32_t> describing_; // definitions whose reading needs another one

};

} // namespace jet::detail
