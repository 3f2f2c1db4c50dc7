#include "database/database_impl.h"

#include "format/calculated_columns.h"
#include "format/complex_columns.h"
#include "database/database_writer.h"
#include "database/execute_sql.h"
#include "file/journal.h"
#include "database/recordset_impl.h"
#include "format/text.h"
#include "database/writable_recordset.h"

#include <algorithm>

#include <unistd.h>

namespace jet {

std::unique_ptr<Database> Database::open(const std::string& path, OpenMode mode, const std::string& password)
{
    return std::make_unique<detail::DatabaseImpl>(path, mode, password);
}

std::vector<Attachment> Database::attachments(const std::string&, const std::string&)
{
    throw Error(Code::Unsupported, "lecture des pièces jointes non prise en charge");
}

long Database::insertRows(const std::string&, const std::function<bool(std::vector<Value>&)>&)
{
    throw Error(Code::Unsupported, "ajout de lignes en une seule écriture non pris en charge");
}

} // namespace jet

namespace jet::detail {

DatabaseImpl::DatabaseImpl(const std::string& path, OpenMode mode, const std::string& password) : path_(path)
{
    if (mode != OpenMode::ReadOnly) {
        try {
            writer::recoverIfNeeded(path); // a crashed writer's journal is undone before anything is read
        } catch (const Error& e) {
            if (e.code() != Code::OrphanedJournal)
                throw;
        }
    }
    journalOrphaned_ = writer::journalOrphaned(path);
    if (journalOrphaned_) {
        readOnlyReason_ = writer::orphanedJournalMessage(path);
        if (mode == OpenMode::ReadWrite)
            throw Error(Code::OrphanedJournal, readOnlyReason_);
    } else if (mode == OpenMode::ReadOnly) {
        readOnlyReason_ = "ouverte en lecture seule à la demande";
    } else if (std::string why = writer::PageStore::whyNotWritable(path); !why.empty()) {
        readOnlyReason_ = why;
        if (mode == OpenMode::ReadWrite)
            throw Error(Code::ReadOnly, readOnlyReason_);
    } else {
        readOnly_ = false;
    }
    std::shared_ptr<writer::PageStore> lockStore;
    if (readOnly_) {
        lockStore = std::make_shared<writer::PageStore>(path, true);
    } else {
        writer_ = std::make_shared<writer::DatabaseWriter>(path);
        lockStore = std::shared_ptr<writer::PageStore>(writer_, &writer_->store());
    }
    storage_ = std::make_shared<Storage>(path, std::move(lockStore));
    if (writer_) {
        // Every write ends with the storage brought up to date while the
        // write lock is still held (weakly: the storage keeps the writer).
        writer_->onCommit([storage = std::weak_ptr<Storage>(storage_)] {
            if (auto s = storage.lock())
                s->refreshAfterCommit();
        });
    }
    checkPassword(path, storage_->password(), password);
    if (!readOnly_)
        takeLockFileSlot(mode);
}

void DatabaseImpl::takeLockFileSlot(OpenMode mode)
{
    const Format format = storage_->format().format;
    const bool ace = format != Format::Jet3 && format != Format::Jet4;
    auto slot = std::make_unique<writer::LockFileSlot>(writer::LockFileSlot::lockFilePath(path_, ace));
    if (const std::optional<writer::LockFileUser>& other = slot->foreignUserAtOpening()) {
        // That program does not honour this engine's write lock.
        readOnlyReason_ = writer::openedElsewhere(path_, *other) + " : lecture seule tant qu'elle y est ouverte";
        if (mode == OpenMode::ReadWrite)
            throw Error(Code::ReadOnly, readOnlyReason_);
        readOnly_ = true;
        writer_.reset();
        return;
    }
    writer_->holdSlot(std::move(slot));
}

std::vector<std::string> DatabaseImpl::tableNames(bool includeSystem) const
{
    std::vector<std::string> names;
    for (const CatalogEntry& e : storage_->catalog()) {
        if (includeSystem || !e.system)
            names.push_back(e.name);
    }
    return names;
}

TableInfo DatabaseImpl::table(const std::string& name) const
{
    Storage::ReadScope scope(*storage_);
    return storage_->tableDef(storage_->findTable(name))->info();
}

std::vector<Attachment> DatabaseImpl::attachments(const std::string& table, const std::string& column)
{
    Storage::ReadScope scope(*storage_);
    storage_->refresh();
    auto def = storage_->tableDef(storage_->findTable(table));
    const int index = def->columnIndex(column);
    if (index < 0)
        throw Error(Code::NotFound, "colonne inconnue : " + column + " (table " + def->name + ")");
    return readAttachments(storage_->file(), storage_->format(), storage_->catalog(), storage_->definitionOf(), *def,
                           def->columns[size_t(index)]);
}

std::unique_ptr<Recordset> DatabaseImpl::openRecordset(const std::string& tableOrSelect)
{
    Storage::ReadScope scope(*storage_);
    storage_->refresh(); // what this or another process wrote since
    if (sql::isSelect(tableOrSelect)) {
        sql::Select select = sql::parse(tableOrSelect);
        auto def = storage_->tableDef(storage_->findTable(select.table));
        sql::bind(select, *def);
        if (writer_)
            return std::make_unique<WritableRecordset>(storage_, def, &select, writer_);
        return std::make_unique<RecordsetImpl>(storage_, def, &select, readOnly_);
    }
    std::string name = tableOrSelect;
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' || name.back() == '\n'))
        name.pop_back();
    size_t first = name.find_first_not_of(" \t\r\n");
    name = first == std::string::npos ? std::string() : name.substr(first);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (name.empty())
        throw Error(Code::SqlError, "source de lignes vide : un nom de table ou une requête SELECT est attendu");
    auto def = storage_->tableDef(storage_->findTable(name));
    if (writer_)
        return std::make_unique<WritableRecordset>(storage_, def, nullptr, writer_);
    return std::make_unique<RecordsetImpl>(storage_, def, nullptr, readOnly_);
}

long DatabaseImpl::execute(const std::string& sql)
{
    if (readOnly_)
        throw Error(Code::ReadOnly, path_ + " : base ouverte en lecture seule (" + readOnlyReason_ + ")");
    storage_->refresh();
    return executeSql(storage_, *writer_, sql);
}

long DatabaseImpl::insertRows(const std::string& table, const std::function<bool(std::vector<Value>&)>& next)
{
    if (readOnly_)
        throw Error(Code::ReadOnly, path_ + " : base ouverte en lecture seule (" + readOnlyReason_ + ")");
    // The table is found and read under the write lock, as it is then.
    long added = 0;
    writer_->transact([&](writer::Transaction& txn) {
        writer::TableWriter t(txn, writer_->definitionPage(txn, table));
        const size_t columns = t.layout().columns.size();
        std::vector<Value> values;
        for (;;) {
            values.assign(columns, Value());
            if (!next(values))
                break;
            t.insert(values);
            ++added;
        }
        t.finish();
    });
    return added;
}

void DatabaseImpl::createTable(const std::string& name, const std::vector<ColumnSpec>& columns,
                               const std::vector<IndexSpec>& indexes)
{
    if (readOnly_)
        throw Error(Code::ReadOnly, path_ + " : base ouverte en lecture seule (" + readOnlyReason_ + ")");
    writer::createTable(*writer_, name, columns, indexes);
}

} // namespace jet::detail
