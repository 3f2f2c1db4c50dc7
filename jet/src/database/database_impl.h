// The Database implementation and the state it shares with its recordsets.
#pragma once

#include "database/storage.h"
#include "jet/database.h"

#include <map>
#include <memory>

namespace jet::writer {
class DatabaseWriter;
class PageStore;
} // namespace jet::writer

namespace jet::detail {

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
    void createTable(const std::string& name, const std::vector<ColumnSpec>& columns,
                     const std::vector<IndexSpec>& indexes = {}) override;

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
