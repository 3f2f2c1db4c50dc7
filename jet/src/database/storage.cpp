#include "database/storage.h"

#include "format/calculated_columns.h"
#include "file/journal.h"
#include "file/page_store.h"

#include <algorithm>

namespace jet::detail {

Storage::Storage(const std::string& path, std::shared_ptr<writer::PageStore> lockStore)
    : lockStore_(std::move(lockStore)), file_(std::make_unique<PageFile>(path))
{
    if (!lockStore_)
        lockStore_ = std::make_shared<writer::PageStore>(path, true);
    ReadScope scope(*this);
    file_->refresh(); // a write may have ended between mapping and locking
    header_ = readHeader(*file_);
    followJournal();
    if (file_->pageCount() <= kCatalogPage)
        throw Error(Code::Corrupt, path + " : page " + std::to_string(kCatalogPage) +
                                       " : fichier tronqué avant le catalogue");
    catalog_ = readCatalog(*file_, *header_.format, header_.codePage);
}

Storage::ReadScope::ReadScope(Storage& storage) : storage_(storage)
{
    storage_.beginRead();
}

Storage::ReadScope::~ReadScope()
{
    storage_.endRead();
}

void Storage::beginRead()
{
    writer::FileLock& lock = lockStore_->lock();
    const bool outermost = !lock.held();
    lock.lockShared();
    if (!outermost)
        return;
    try {
        file_->refresh(); // pages another process appended since the last read
        followJournal();
    } catch (...) {
        lock.unlock();
        throw;
    }
}

void Storage::endRead()
{
    lockStore_->lock().unlock();
}

void Storage::followJournal()
{
    if (file_->pageSize() == 0)
        return; // header not read yet
    writer::Rollback rollback = writer::pendingRollback(lockStore_->fd(), file_->path());
    if (rollback.pageSize != 0 && rollback.pageSize == file_->pageSize()) {
        file_->setRollback(rollback.originals, rollback.originalSize);
    } else if (file_->rollingBack()) {
        // A writer restored the file (or finished): read it as it is now.
        file_->clearRollback();
        file_->refresh();
    }
}

const CatalogEntry& Storage::findTable(const std::string& name) const
{
    for (const CatalogEntry& e : catalog_) {
        if (sameColumnName(e.name, name))
            return e;
    }
    throw Error(Code::NotFound, "table inconnue : " + name);
}

void Storage::refresh()
{
    ReadScope scope(*this);
    file_->refresh();
    catalog_ = readCatalog(*file_, *header_.format, header_.codePage);
    definitions_.clear();
}

void Storage::refreshAfterCommit()
{
    if (file_->rollingBack())
        file_->clearRollback(); // the commit began by restoring the file
    refresh();
}

std::shared_ptr<const TableDef> Storage::tableDef(const CatalogEntry& entry)
{
    auto it = definitions_.find(entry.definitionPage);
    if (it != definitions_.end())
        return it->second;
    auto def = readTableDef(*file_, *header_.format, entry.definitionPage, entry.name, entry.system,
                            header_.codePage);
    if (std::any_of(def->columns.begin(), def->columns.end(),
                    [](const ColumnDef& c) { return c.rawType == uint8_t(ColumnType::Complex) || c.calculated; })) {
        // Describing the columns reads other definitions (the catalog's, the
        // complex columns' tables); in a damaged file one of them may lead
        // back here.
        if (!describing_.insert(entry.definitionPage).second)
            throw Error(Code::Corrupt, "page " + std::to_string(entry.definitionPage) +
                                           " : définition de table qui renvoie à elle-même");
        struct Done {
            std::set<uint32_t>& set;
            uint32_t page;
            ~Done() { set.erase(page); }
        } done{describing_, entry.definitionPage};
        auto described = std::make_shared<TableDef>(*def);
        describeComplexColumns(*file_, *header_.format, catalog_, definitionOf(), *described);
        if (const auto objects = std::find_if(catalog_.begin(), catalog_.end(),
                                              [](const CatalogEntry& e) { return e.definitionPage == kCatalogPage; });
            objects != catalog_.end())
            describeCalculatedColumns(*file_, *header_.format, *tableDef(*objects), *described);
        def = described;
    }
    definitions_[entry.definitionPage] = def;
    return def;
}

DefinitionOf Storage::definitionOf()
{
    return [this](const CatalogEntry& entry) { return tableDef(entry); };
}

} // namespace jet::detail
