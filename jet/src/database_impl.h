// The Database implementation and the state it shares with its recordsets.
#pragma once

#include "catalog.h"
#include "header.h"
#include "page_file.h"
#include "table_def.h"
#include "jet/database.h"

#include <map>
#include <memory>

namespace jet::writer {
class DatabaseWriter;
}

namespace jet::detail {

// The open file and what has been read of it; recordsets hold it so that
// they stay valid whatever the Database's own lifetime.
class Storage {
public:
    explicit Storage(const std::string& path);

    PageFile& file() { return *file_; }
    const PageFile& file() const { return *file_; }
    const FormatInfo& format() const { return *header_.format; }
    uint16_t codePage() const { return header_.codePage; }
    const std::vector<CatalogEntry>& catalog() const { return catalog_; }

    // Case-insensitive; throws NotFound.
    const CatalogEntry& findTable(const std::string& name) const;
    std::shared_ptr<const TableDef> tableDef(const CatalogEntry& entry);

    // After a write: maps the file again if it grew, and reads the catalog
    // and table definitions afresh.
    void refresh();

private:
    std::unique_ptr<PageFile> file_;
    HeaderInfo header_;
    std::vector<CatalogEntry> catalog_;
    std::map<uint32_t, std::shared_ptr<const TableDef>> definitions_;
};

class DatabaseImpl : public Database {
public:
    DatabaseImpl(const std::string& path, OpenMode mode);

    const std::string& path() const override { return path_; }
    Format format() const override { return storage_->format().format; }
    bool readOnly() const override { return readOnly_; }
    std::string readOnlyReason() const override { return readOnlyReason_; }
    std::vector<std::string> tableNames(bool includeSystem) const override;
    TableInfo table(const std::string& name) const override;
    std::unique_ptr<Recordset> openRecordset(const std::string& tableOrSelect) override;
    long execute(const std::string& sql) override;
    void createTable(const std::string& name, const std::vector<ColumnSpec>& columns) override;

private:
    std::string path_;
    std::shared_ptr<Storage> storage_;
    bool readOnly_ = true;
    std::string readOnlyReason_;
    std::shared_ptr<writer::DatabaseWriter> writer_; // null when read-only
};

} // namespace jet::detail
