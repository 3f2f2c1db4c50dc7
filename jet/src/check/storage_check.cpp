// The storage half of `velmor-db check`: for every table, its usage maps
// (owned pages, pages with free space), each data page's row table and free
// space, the row count of the definition, every row (moved rows, fields) and
// its long values (inline, single row, chains), and the global page map;
// then every usage map against the pages it claims (page_owner_check.h).
#include "table/catalog_writer.h"
#include "format/data_page_writer.h"
#include "check/page_owner_check.h"
#include "file/page_store.h"
#include "format/row_encoder.h"
#include "format/usage_map.h"
#include "jet/check.h"
#include "jet/status.h"

#include <set>

namespace jet {

namespace {

using namespace writer;

struct Checker {
    Transaction& txn;
    CheckReport& report;
    std::set<uint32_t> used; // pages some structure claims

    void problem(const std::string& text) { report.problems.push_back(text); }

    bool validPage(uint32_t page) const { return page > 0 && page < txn.pageCount(); }

    // The bytes of a row slot, checking the slot lies inside the page.
    bool slotBytes(uint32_t page, int row, const uint8_t*& data, int& size, uint16_t* flags = nullptr)
    {
        DataPage dp{const_cast<uint8_t*>(txn.page(page)), txn.pageSize()};
        if (row >= dp.rowCount())
            return false;
        int start = dp.rowStart(row), end = dp.rowEnd(row);
        if (start < dp.slotsEnd() || end > int(txn.pageSize()) || start > end)
            return false;
        data = dp.p + start;
        size = end - start;
        if (flags)
            *flags = dp.slot(row);
        return true;
    }

    void checkDataPage(const std::string& table, uint32_t page)
    {
        DataPage dp{const_cast<uint8_t*>(txn.page(page)), txn.pageSize()};
        const std::string where = "table " + table + ", page " + std::to_string(page);
        int count = dp.rowCount();
        if (count > dp.maxRows() || dp.slotsEnd() > int(txn.pageSize())) {
            problem(where + " : nombre de lignes impossible (" + std::to_string(count) + ")");
            return;
        }
        int previous = int(txn.pageSize());
        for (int r = 0; r < count; ++r) {
            int start = dp.rowStart(r);
            if (start > previous || start < dp.slotsEnd()) {
                problem(where + " : ligne " + std::to_string(r) + " hors de sa place");
                return;
            }
            previous = start;
        }
        int room = dp.room();
        if (dp.freeSpace() != room)
            problem(where + " : espace libre noté " + std::to_string(dp.freeSpace()) + ", réel " + std::to_string(room));
    }

    void checkLongValue(const std::string& table, const ColumnDef& c, const Field& f, uint32_t page, int row,
                        std::set<uint32_t>& lvPages)
    {
        const std::string where = "table " + table + ", ligne " + std::to_string(page) + ":" + std::to_string(row) +
                                  ", colonne " + c.info.name;
        if (f.bytes.size() < 12) {
            problem(where + " : valeur longue tronquée");
            return;
        }
        uint32_t length = rd24(f.bytes.data());
        uint8_t type = f.bytes[3];
        if (type == 0x80) {
            if (f.bytes.size() != 12 + size_t(length))
                problem(where + " : longueur de valeur en ligne incohérente");
            return;
        }
        uint32_t lvPage = rd24(f.bytes.data() + 5);
        int lvRow = f.bytes[4];
        uint64_t total = 0;
        int guard = 0;
        while (true) {
            if (!validPage(lvPage) || txn.page(lvPage)[0] != 0x01 || rd32(txn.page(lvPage) + 4) != kLongValueOwner) {
                problem(where + " : page de valeur longue " + std::to_string(lvPage) + " invalide");
                return;
            }
            const uint8_t* data;
            int size;
            uint16_t flags;
            if (!slotBytes(lvPage, lvRow, data, size, &flags) || (flags & kRowDeleted)) {
                problem(where + " : ligne " + std::to_string(lvRow) + " de la page de valeur longue " +
                        std::to_string(lvPage) + " absente");
                return;
            }
            lvPages.insert(lvPage);
            if (type == 0x40) {
                total = uint64_t(size);
                break;
            }
            if (type != 0x00) {
                problem(where + " : type de valeur longue inconnu");
                return;
            }
            if (size < 4) {
                problem(where + " : maillon de chaîne tronqué en page " + std::to_string(lvPage));
                return;
            }
            total += uint64_t(size - 4);
            uint32_t next = rd24(data + 1);
            int nextRow = data[0];
            if (next == 0)
                break;
            if (++guard > 1000000) {
                problem(where + " : chaîne de valeur longue en boucle");
                return;
            }
            lvPage = next;
            lvRow = nextRow;
        }
        if (total != length)
            problem(where + " : longueur de valeur longue " + std::to_string(length) + ", trouvée " + std::to_string(total));
    }

    void checkTable(const CatalogRow& entry)
    {
        const uint32_t tdef = entry.id & 0x00FFFFFF;
        const std::string name = entry.name;
        if (!validPage(tdef) || txn.page(tdef)[0] != 0x02) {
            problem("table " + name + " : page de définition " + std::to_string(tdef) + " invalide");
            return;
        }
        TableDef t = detail::readTableDef(txn, tdef);
        for (uint32_t p = tdef; p != 0 && validPage(p); p = rd32(txn.page(p) + 4))
            used.insert(p);
        std::vector<uint32_t> owned, free;
        try {
            UsageMap ownedMap(txn, t.ownedPages), freeMap(txn, t.freeSpacePages);
            owned = ownedMap.pages();
            free = freeMap.pages();
            used.insert(ownedMap.mapPage());
            used.insert(freeMap.mapPage());
        } catch (const Error& e) {
            problem("table " + name + " : " + e.what());
            return;
        }
        std::set<uint32_t> ownedSet(owned.begin(), owned.end());
        for (uint32_t p : free)
            if (!ownedSet.count(p))
                problem("table " + name + " : page " + std::to_string(p) + " libre mais pas à la table");
        long rows = 0;
        std::set<uint32_t> lvPages;
        for (uint32_t page : owned) {
            if (!validPage(page)) {
                problem("table " + name + " : page " + std::to_string(page) + " hors du fichier");
                continue;
            }
            used.insert(page);
            const uint8_t* p = txn.page(page);
            if (p[0] != 0x01 || rd32(p + 4) != tdef)
                continue; // index or other pages of the table
            checkDataPage(name, page);
            DataPage dp{const_cast<uint8_t*>(p), txn.pageSize()};
            for (int r = 0; r < dp.rowCount(); ++r) {
                uint16_t s = dp.slot(r);
                if (s & kRowDeleted)
                    continue;
                const uint8_t* data;
                int size;
                if (!slotBytes(page, r, data, size))
                    continue;
                uint32_t dataPage = page;
                if (s & kRowOverflow) {
                    if (size < 4) {
                        problem("table " + name + ", page " + std::to_string(page) + " : renvoi tronqué");
                        continue;
                    }
                    uint32_t p2 = rd24(data + 1);
                    int r2 = data[0];
                    if (!validPage(p2) || txn.page(p2)[0] != 0x01 || rd32(txn.page(p2) + 4) != tdef ||
                        !slotBytes(p2, r2, data, size)) {
                        problem("table " + name + ", page " + std::to_string(page) + " : ligne déplacée introuvable");
                        continue;
                    }
                    if (!ownedSet.count(p2))
                        problem("table " + name + " : page " + std::to_string(p2) + " (ligne déplacée) absente de la carte");
                    dataPage = p2;
                }
                ++rows;
                std::vector<Field> fields;
                try {
                    fields = decodeFields(t, data, size_t(size), dataPage);
                } catch (const Error& e) {
                    problem("table " + name + " : " + e.what());
                    continue;
                }
                for (size_t i = 0; i < t.columns.size(); ++i)
                    if (t.columns[i].isLongValue() && !fields[i].null)
                        checkLongValue(name, t.columns[i], fields[i], page, r, lvPages);
            }
        }
        if (uint32_t(rows) != t.rowCount)
            problem("table " + name + " : " + std::to_string(t.rowCount) + " lignes notées, " + std::to_string(rows) +
                    " trouvées");
        for (const ColumnDef& c : t.columns) {
            if (!c.isLongValue() || !c.hasLongValueMaps())
                continue;
            try {
                UsageMap m(txn, c.longValueOwned), mf(txn, c.longValueFree);
                used.insert(m.mapPage());
                used.insert(mf.mapPage());
                for (uint32_t p : m.pages())
                    used.insert(p);
            } catch (const Error& e) {
                problem("table " + name + ", colonne " + c.info.name + " : " + e.what());
            }
        }
        for (uint32_t p : lvPages)
            used.insert(p);
        for (const detail::PhysicalIndex& x : t.physicalIndexes) {
            if (x.ownedPages.raw() != 0) {
                try {
                    UsageMap m(txn, x.ownedPages);
                    used.insert(m.mapPage());
                    for (uint32_t p : m.pages())
                        used.insert(p);
                } catch (const Error& e) {
                    problem("table " + name + " : carte d'index : " + e.what());
                }
            }
            if (x.rootPage)
                used.insert(x.rootPage);
        }
    }

    void checkGlobalMap()
    {
        try {
            UsageMap global(txn, (1u << 8) | 0u, true);
            for (uint32_t p : used)
                if (validPage(p) && global.covers(p) && global.contains(p))
                    problem("page " + std::to_string(p) + " utilisée mais marquée libre dans la carte des pages");
        } catch (const Error& e) {
            problem(std::string("carte des pages : ") + e.what());
        }
    }
};

} // namespace

void checkStorage(const std::string& path, CheckReport& report)
{
    PageStore store(path, true);
    Transaction txn(store);
    Checker c{txn, report, {}};
    c.used.insert(0);
    c.used.insert(1);
    for (const CatalogRow& row : readCatalogRows(txn))
        if ((row.type & 0x7FFF) == 1 && (row.id & 0x00FFFFFF) != 0)
            c.checkTable(row);
    c.checkGlobalMap();
    checkPageOwners(txn, report);
}

} // namespace jet
