// Writes to one table through the engine's table writer, many operations a
// transaction, as the index tests make their files.
#pragma once

#include "file/page_store.h"
#include "table/catalog_writer.h"
#include "table/table_writer.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace jettest {

// Runs write(t, k) for k = 0 .. count-1, `batch` calls a transaction.
inline void inTransactions(const std::string& file, const std::string& table, size_t count, size_t batch,
                           const std::function<void(jet::writer::TableWriter&, size_t)>& write)
{
    jet::writer::PageStore store(file);
    for (size_t done = 0; done < count;) {
        jet::writer::Transaction txn(store);
        jet::writer::TableWriter t(txn, jet::writer::findTableDefinition(txn, table));
        for (size_t k = 0; k < batch && done < count; ++k, ++done)
            write(t, done);
        t.finish();
        txn.commit();
    }
}

// A row of the writer's table: the named columns hold their value, the
// others NULL.
inline std::vector<jet::Value> rowWith(const jet::writer::TableWriter& t,
                                       std::initializer_list<std::pair<std::string, jet::Value>> named)
{
    std::vector<jet::Value> values(t.layout().columns.size());
    for (const auto& [column, value] : named)
        values.at(size_t(t.layout().columnIndex(column))) = value;
    return values;
}

} // namespace jettest
