#include "database/database_writer.h"

#include "table/catalog_writer.h"
#include "file/journal.h"

namespace jet::writer {

void recoverIfNeeded(const std::string& path)
{
    if (!journalPending(path) || !PageStore::whyNotWritable(path).empty())
        return;
    PageStore store(path);
    store.recover();
}

DatabaseWriter::DatabaseWriter(const std::string& path) : store_(path)
{
    store_.recover();
}

uint32_t DatabaseWriter::definitionPage(Transaction& txn, const std::string& table)
{
    for (const auto& [name, page] : definitions_)
        if (name == table && page < txn.pageCount() && txn.page(page)[0] == 0x02)
            return page;
    uint32_t page = findTableDefinition(txn, table);
    definitions_.emplace_back(table, page);
    return page;
}

void DatabaseWriter::transact(const std::function<void(Transaction&)>& work)
{
    if (slot_) {
        if (std::optional<LockFileUser> other = slot_->foreignUser())
            throw Error(Code::ReadOnly, openedElsewhere(path(), *other) +
                                            " : rien n'a été écrit ; recommencez quand il l'aura fermée");
    }
    Transaction txn(store_);
    work(txn);
    txn.commit();
    if (afterCommit_)
        afterCommit_();
}

RowId DatabaseWriter::insert(const std::string& table, const std::vector<Value>& values, int64_t* autonumber)
{
    RowId id;
    transact([&](Transaction& txn) {
        TableWriter t(txn, definitionPage(txn, table));
        id = t.insert(values, autonumber);
        t.finish();
    });
    return id;
}

void DatabaseWriter::update(const std::string& table, RowId row, const std::vector<std::optional<Value>>& changes)
{
    transact([&](Transaction& txn) {
        TableWriter t(txn, definitionPage(txn, table));
        t.update(row, changes);
        t.finish();
    });
}

void DatabaseWriter::remove(const std::string& table, RowId row)
{
    transact([&](Transaction& txn) {
        TableWriter t(txn, definitionPage(txn, table));
        t.remove(row);
        t.finish();
    });
}

} // namespace jet::writer
