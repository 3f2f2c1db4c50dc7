#include "database_impl.h"

#include "recordset_impl.h"
#include "text.h"

#include <unistd.h>

namespace jet {

std::unique_ptr<Database> Database::open(const std::string& path, OpenMode mode)
{
    return std::make_unique<detail::DatabaseImpl>(path, mode);
}

std::unique_ptr<Database> Database::create(const std::string& path, Format)
{
    throw Error(Code::Unsupported, path + " : la création de base n'est pas encore prise en charge");
}

} // namespace jet

namespace jet::detail {

Storage::Storage(const std::string& path) : file_(std::make_unique<PageFile>(path))
{
    header_ = readHeader(*file_);
    if (file_->pageCount() <= kCatalogPage)
        throw Error(Code::Corrupt, path + " : page " + std::to_string(kCatalogPage) +
                                       " : fichier tronqué avant le catalogue");
    catalog_ = readCatalog(*file_, *header_.format, header_.codePage);
}

const CatalogEntry& Storage::findTable(const std::string& name) const
{
    for (const CatalogEntry& e : catalog_) {
        if (compareIgnoringCase(e.name, name) == 0)
            return e;
    }
    throw Error(Code::NotFound, "table inconnue : " + name);
}

std::shared_ptr<const TableDef> Storage::tableDef(const CatalogEntry& entry)
{
    auto it = definitions_.find(entry.definitionPage);
    if (it != definitions_.end())
        return it->second;
    auto def = readTableDef(*file_, *header_.format, entry.definitionPage, entry.name, entry.system,
                            header_.codePage);
    definitions_[entry.definitionPage] = def;
    return def;
}

DatabaseImpl::DatabaseImpl(const std::string& path, OpenMode mode)
    : path_(path), storage_(std::make_shared<Storage>(path))
{
    if (mode == OpenMode::ReadOnly) {
        readOnlyReason_ = "ouverte en lecture seule à la demande";
    } else if (::access(path.c_str(), W_OK) != 0) {
        readOnlyReason_ = "le fichier " + path + " n'est pas accessible en écriture";
        if (mode == OpenMode::ReadWrite)
            throw Error(Code::ReadOnly, readOnlyReason_);
    } else {
        readOnly_ = false;
    }
    if (!readOnly_ && storage_->format().format == Format::Jet3) {
        readOnlyReason_ = "les bases Access 97 (Jet 3) sont ouvertes en lecture seule";
        if (mode == OpenMode::ReadWrite)
            throw Error(Code::ReadOnly, path + " : " + readOnlyReason_);
        readOnly_ = true;
    }
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
    return storage_->tableDef(storage_->findTable(name))->info();
}

std::unique_ptr<Recordset> DatabaseImpl::openRecordset(const std::string& tableOrSelect)
{
    if (sql::isSelect(tableOrSelect)) {
        sql::Select select = sql::parse(tableOrSelect);
        auto def = storage_->tableDef(storage_->findTable(select.table));
        sql::bind(select, *def);
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
    return std::make_unique<RecordsetImpl>(storage_, def, nullptr, readOnly_);
}

long DatabaseImpl::execute(const std::string&)
{
    if (readOnly_)
        throw Error(Code::ReadOnly, path_ + " : base ouverte en lecture seule (" + readOnlyReason_ + ")");
    throw Error(Code::Unsupported, "écriture non prise en charge");
}

void DatabaseImpl::createTable(const std::string&, const std::vector<ColumnSpec>&)
{
    if (readOnly_)
        throw Error(Code::ReadOnly, path_ + " : base ouverte en lecture seule (" + readOnlyReason_ + ")");
    throw Error(Code::Unsupported, "écriture non prise en charge");
}

} // namespace jet::detail
