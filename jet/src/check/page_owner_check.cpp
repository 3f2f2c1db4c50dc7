#include "check/page_owner_check.h"

#include "table/catalog_writer.h"
#include "format/data_page_writer.h"
#include "jet/status.h"
#include "format/row_encoder.h"
#include "format/usage_map.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace jet {

namespace {

using namespace writer;

constexpr uint32_t kGlobalMapPointer = 1u << 8; // row 0 of page 1

// What a usage map lists.
enum class Listed { DataPages, IndexPages, LongValuePages };

struct Claimant {
    std::string who; // "table X", "index de la table X", "valeurs longues de X.col"
    Listed listed;
    uint32_t tdef;
};

class OwnerChecker {
public:
    OwnerChecker(Transaction& txn, CheckReport& report)
        : txn_(txn), report_(report), claimedBy_(txn.pageCount(), -1) {}

    void run() {
        std::map<uint32_t, std::string> tables; // definition page -> name
        for (const CatalogRow& row : readCatalogRows(txn_)) {
            const uint32_t tdef = row.id & 0x00FFFFFF;
            if ((row.type & 0x7FFF) != 1 || tdef == 0 || tdef >= txn_.pageCount() ||
                txn_.page(tdef)[0] != 0x02)
                continue; // a definition that cannot be read is reported elsewhere
            if (tables.emplace(tdef, row.name).second)
                claimTable(row.name, tdef);
        }
        const std::set<uint32_t> free = globallyFree();
        for (uint32_t page = 0; page < txn_.pageCount(); ++page) {
            const uint8_t* p = txn_.page(page);
            if (p[0] != 0x01 || free.count(page))
                continue;
            auto table = tables.find(rd32(p + 4));
            if (table == tables.end() || !holdsRows(p))
                continue;
            const int claimant = claimedBy_[page];
            if (claimant < 0 || claimants_[size_t(claimant)].listed != Listed::DataPages)
                problem(
                    "table " + table->second + " : la page " + std::to_string(page) +
                    " contient des lignes de la table mais sa carte des pages ne la compte pas");
        }
    }

private:
    void problem(const std::string& text) { report_.problems.push_back(text); }

    void claimTable(const std::string& name, uint32_t tdef) {
        TableDef t;
        try {
            t = detail::readTableDef(txn_, tdef);
        } catch (const Error&) {
            return; // reported by the storage check
        }
        claimMap(t.ownedPages.raw(), {"table " + name, Listed::DataPages, tdef});
        std::set<uint32_t> seen; // indexes and columns may share one map
        for (const detail::PhysicalIndex& x : t.physicalIndexes)
            if (!x.ownedPages.null() && seen.insert(x.ownedPages.raw()).second)
                claimMap(x.ownedPages.raw(), {"index de la table " + name, Listed::IndexPages, tdef});
        for (const ColumnDef& c : t.columns)
            if (c.isLongValue() && c.hasLongValueMaps() && seen.insert(c.longValueOwned.raw()).second)
                claimMap(c.longValueOwned.raw(), {"valeurs longues de " + name + "." + c.info.name,
                                                  Listed::LongValuePages, tdef});
    }

    void claimMap(uint32_t pointer, Claimant claimant) {
        std::vector<uint32_t> pages;
        try {
            pages = UsageMap(txn_, pointer).pages();
        } catch (const Error&) {
            return; // an unreadable map is reported by the storage check
        }
        const int id = int(claimants_.size());
        claimants_.push_back(claimant);
        for (uint32_t page : pages) {
            if (page >= txn_.pageCount())
                continue; // reported by the storage check
            const std::string where = claimant.who + " : page " + std::to_string(page);
            if (claimedBy_[page] >= 0) {
                problem(where + " comptée aussi par " + claimants_[size_t(claimedBy_[page])].who);
                continue;
            }
            claimedBy_[page] = id;
            if (std::string wrong = mismatch(claimant, txn_.page(page)); !wrong.empty())
                problem(where + " comptée par sa carte des pages, mais " + wrong);
        }
    }

    // Why `p` is not a page the claimant's map may list ("" when it is).
    static std::string mismatch(const Claimant& claimant, const uint8_t* p) {
        const uint8_t type = p[0];
        const uint32_t owner = rd32(p + 4);
        switch (claimant.listed) {
        case Listed::DataPages:
            if (type != 0x01 || owner == kLongValueOwner)
                return "ce n'est pas une page de données (" + describe(type, owner) + ")";
            if (owner != claimant.tdef)
                return "elle appartient à une autre table (définition en page " +
                       std::to_string(owner) + ")";
            return {};
        case Listed::IndexPages:
            if (type != 0x03 && type != 0x04)
                return "ce n'est pas une page d'index (" + describe(type, owner) + ")";
            if (owner != claimant.tdef)
                return "elle appartient à une autre table (définition en page " +
                       std::to_string(owner) + ")";
            return {};
        case Listed::LongValuePages:
            if (type != 0x01 || owner != kLongValueOwner)
                return "ce n'est pas une page de valeurs longues (" + describe(type, owner) + ")";
            return {};
        }
        return {};
    }

    static std::string describe(uint8_t type, uint32_t owner) {
        switch (type) {
        case 0x00:
            return "page vide ou d'en-tête, type 0";
        case 0x01:
            return owner == kLongValueOwner ? "page de valeurs longues, type 1"
                                            : "page de données, type 1";
        case 0x02:
            return "page de définition de table, type 2";
        case 0x03:
            return "page d'index intermédiaire, type 3";
        case 0x04:
            return "page d'index feuille, type 4";
        case 0x05:
            return "page de carte d'occupation, type 5";
        default:
            return "type " + std::to_string(type);
        }
    }

    // Pages the global map marks free; empty when it cannot be read (the
    // storage check says so).
    std::set<uint32_t> globallyFree() {
        try {
            std::vector<uint32_t> pages = UsageMap(txn_, kGlobalMapPointer, true).pages();
            return std::set<uint32_t>(pages.begin(), pages.end());
        } catch (const Error&) {
            return {};
        }
    }

    // Whether a data page's row table is readable and lists a row that is
    // not deleted.
    bool holdsRows(const uint8_t* p) const {
        DataPage dp{const_cast<uint8_t*>(p), txn_.pageSize()};
        const int count = dp.rowCount();
        if (count > dp.maxRows() || dp.slotsEnd() > int(txn_.pageSize()))
            return false; // reported by the storage check of the page's table
        for (int r = 0; r < count; ++r)
            if (!(dp.slot(r) & kRowDeleted))
                return true;
        return false;
    }

    Transaction& txn_;
    CheckReport& report_;
    std::vector<Claimant> claimants_;
    std::vector<int> claimedBy_; // per page: index in claimants_, or -1
};

} // namespace

void checkPageOwners(Transaction& txn, CheckReport& report) {
    OwnerChecker(txn, report).run();
}

} // namespace jet
