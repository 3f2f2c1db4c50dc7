#include "index/index_rebuild.h"

#include "format/data_page_writer.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_maintainer.h"
#include "format/usage_map.h"
#include "jet/status.h"

#include <algorithm>
#include <cstring>

namespace jet::writer {

namespace {


struct Entry {
    std::vector<uint8_t> key;
    uint32_t page;
    uint16_t row;
};

} // namespace

void rebuildIndexes(Transaction& txn, uint32_t tdefPage)
{
    TableDef table = detail::readTableDef(txn, tdefPage);
    if (table.physicalIndexes.empty())
        return;
    std::vector<LiveRow> rows = readLiveRows(txn, table);
    for (const detail::PhysicalIndex& index : table.physicalIndexes) {
        std::vector<detail::KeyColumn> keyColumns;
        std::vector<size_t> positions;
        for (auto [number, ascending] : index.columns) {
            size_t pos = table.columns.size();
            for (size_t i = 0; i < table.columns.size(); ++i)
                if (table.columns[i].number == number)
                    pos = i;
            if (pos == table.columns.size())
                throw Error(Code::Corrupt, "page " + std::to_string(tdefPage) + " : colonne d'index inconnue");
            detail::KeyColumn k;
            k.type = table.columns[pos].info.type;
            k.ascending = ascending;
            k.order = table.format && table.format->jet3 ? detail::SortOrder::General97
                                                         : detail::SortOrder::GeneralLegacy;
            keyColumns.push_back(k);
            positions.push_back(pos);
        }
        std::vector<Entry> entries;
        for (const LiveRow& r : rows) {
            std::vector<Value> values;
            bool allNull = true;
            for (size_t pos : positions) {
                values.push_back(fieldValue(table.columns[pos], r.fields[pos]));
                allNull = allNull && values.back().isNull();
            }
            if (allNull && (index.flags & detail::kIndexIgnoreNulls))
                continue; // "ignore nulls"
            entries.push_back(Entry{detail::encodeKey(keyColumns, values), r.page, r.row});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return detail::compareEntries(a.key, a.page, uint8_t(a.row), b.key, b.page, uint8_t(b.row)) < 0;
        });
        uint32_t unique = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (i == 0 || entries[i].key != entries[i - 1].key)
                ++unique;

        if (index.rootPage == 0 || index.rootPage >= txn.pageCount() || txn.page(index.rootPage)[0] != 0x04)
            throw Error(Code::Unsupported, "index sur plusieurs pages (table en page " + std::to_string(tdefPage) +
                                               ") : mise à jour non prise en charge");
        detail::IndexPage page;
        page.number = index.rootPage;
        page.tdefPage = tdefPage;
        for (const Entry& e : entries)
            page.entries.push_back(detail::IndexEntry{e.key, e.page, uint8_t(e.row), 0});
        if (!detail::indexPageFits(page, txn.pageSize()))
            throw Error(Code::Unsupported,
                        "index trop grand pour une seule page (table en page " + std::to_string(tdefPage) + ")");
        detail::encodeIndexPage(page, txn.pageSize(), txn.modify(index.rootPage));
        wr32(txn.modify(tdefPage) + index.rowCountOffset, unique);
    }
}

} // namespace jet::writer
