#include "check/index_check.h"

#include "format/row_codec.h"
#include "format/table_scan.h"
#include "format/usage_map.h"

#include <algorithm>
#include <map>
#include <set>

namespace jet::detail {

namespace {

constexpr int kMaxProblemsPerIndex = 20;

std::string entryText(const IndexEntry& e)
{
    return "clé " + keyToHex(e.key) + ", page " + std::to_string(e.dataPage) + ", ligne " +
           std::to_string(e.dataRow);
}

class IndexChecker {
public:
    IndexChecker(IndexPageStore& pages, const std::string& table, uint32_t tdefPage, const std::string& index,
                 uint32_t root, CheckReport& report)
        : tree_(pages, root, tdefPage), table_(table), index_(index), root_(root), report_(report)
    {
    }

    bool problem(const std::string& what)
    {
        ++problems_;
        if (problems_ <= kMaxProblemsPerIndex)
            report_.problems.push_back("table " + table_ + ", index " + index_ + " : " + what);
        else if (problems_ == kMaxProblemsPerIndex + 1)
            report_.problems.push_back("table " + table_ + ", index " + index_ + " : autres problèmes non détaillés");
        return false;
    }
    int problems() const { return problems_; }

    // Walks the subtree; appends its leaf pages and entries in order.
    // Returns false when the subtree could not be read.
    bool walk(uint32_t number, int depth, IndexEntry& max)
    {
        if (depth > 32)
            return problem("arbre trop profond à la page " + std::to_string(number));
        if (!seen_.insert(number).second)
            return problem("page " + std::to_string(number) + " atteinte deux fois");
        IndexPage page;
        try {
            page = tree_.load(number);
        } catch (const Error& e) {
            return problem(e.what());
        }
        links_[number] = {page.prev, page.next};
        for (size_t i = 1; i < page.entries.size(); ++i)
            if (compareIndexEntries(page.entries[i - 1], page.entries[i]) >= 0)
                problem("page " + std::to_string(number) + " : entrées " + std::to_string(i - 1) + " et " +
                        std::to_string(i) + " dans le désordre");
        if (page.leaf) {
            if (page.entries.empty() && number != root_)
                problem("page feuille " + std::to_string(number) + " vide");
            leaves_.push_back(page.number);
            leafSet_.insert(page.number);
            leafPrev_.push_back(page.prev);
            leafNext_.push_back(page.next);
            for (IndexEntry& e : page.entries)
                entries_.push_back(std::move(e));
            if (!entries_.empty())
                max = entries_.back();
            return true;
        }
        if (page.childCount() == 0)
            return problem("page intermédiaire " + std::to_string(number) + " sans enfant");
        if (page.tail && page.entries.empty())
            problem("page intermédiaire " + std::to_string(number) + " : seul enfant en queue");
        if (!page.tail && page.entries.size() > 1)
            problem("page intermédiaire " + std::to_string(number) + " : plusieurs enfants sans page de queue");
        for (size_t i = 0; i < page.childCount(); ++i) {
            IndexEntry childMax;
            const size_t before = entries_.size();
            if (!walk(page.childAt(i), depth + 1, childMax))
                return false;
            if (entries_.size() == before)
                problem("page " + std::to_string(page.childAt(i)) + " : sous-arbre vide");
            if (i < page.entries.size() && compareIndexEntries(childMax, page.entries[i]) != 0)
                problem("page " + std::to_string(number) + " : l'entrée de l'enfant " +
                        std::to_string(page.childAt(i)) + " (" + entryText(page.entries[i]) +
                        ") n'est pas sa plus grande entrée (" + entryText(childMax) + ")");
            if (!entries_.empty())
                max = entries_.back();
        }
        // Children that are node pages follow one another in their chain.
        for (size_t i = 1; i < page.childCount(); ++i) {
            uint32_t a = page.childAt(i - 1), b = page.childAt(i);
            auto la = links_.find(a), lb = links_.find(b);
            if (la == links_.end() || lb == links_.end() || leafSet_.count(a))
                continue;
            if (la->second.second != b || lb->second.first != a)
                problem("pages intermédiaires " + std::to_string(a) + " et " + std::to_string(b) +
                        " : voisines sous la page " + std::to_string(number) + " mais pas chaînées");
        }
        return true;
    }

    void checkLeafChain()
    {
        for (size_t i = 0; i < leaves_.size(); ++i) {
            uint32_t wantPrev = i == 0 ? 0 : leaves_[i - 1];
            uint32_t wantNext = i + 1 == leaves_.size() ? 0 : leaves_[i + 1];
            if (leafPrev_[i] != wantPrev || leafNext_[i] != wantNext)
                problem("page feuille " + std::to_string(leaves_[i]) + " : chaînage précédent/suivant (" +
                        std::to_string(leafPrev_[i]) + "/" + std::to_string(leafNext_[i]) + ") au lieu de " +
                        std::to_string(wantPrev) + "/" + std::to_string(wantNext));
        }
    }

    // Every page of the tree must be in the index's usage map (`owned`).
    void checkOwned(const std::vector<uint32_t>& owned)
    {
        const std::set<uint32_t> listed(owned.begin(), owned.end());
        for (uint32_t page : seen_)
            if (!listed.count(page))
                problem("page " + std::to_string(page) + " de l'arbre absente de la carte des pages de l'index");
    }

    std::vector<IndexEntry>& entries() { return entries_; }

private:
    IndexTree tree_;
    std::string table_;
    std::string index_;
    uint32_t root_;
    CheckReport& report_;
    int problems_ = 0;
    std::set<uint32_t> seen_;
    std::set<uint32_t> leafSet_;
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> links_; // page: previous, next
    std::vector<uint32_t> leaves_, leafPrev_, leafNext_;
    std::vector<IndexEntry> entries_;
};

} // namespace

std::vector<std::string> checkTreeStructure(IndexPageStore& pages, uint32_t root, uint32_t tdefPage,
                                            std::vector<IndexEntry>* entries)
{
    CheckReport report;
    IndexChecker checker(pages, "?", tdefPage, "?", root, report);
    IndexEntry max;
    if (checker.walk(root, 0, max))
        checker.checkLeafChain();
    if (entries)
        *entries = std::move(checker.entries());
    return report.problems;
}

long storedDistinctKeys(const PageFile& file, const FormatInfo& f, const TableDef& table, size_t i)
{
    if (f.jet3)
        return -1;
    size_t at = size_t(f.tdefHeaderSize) + i * size_t(f.tdefRealIndexEntrySize) + 4;
    if (at + 4 > file.pageSize())
        return -1;
    return long(le32(file.page(table.page) + at));
}

void checkTableIndexes(const PageFile& file, const FormatInfo& f, const TableDef& table, uint32_t databaseSortOrder,
                       CheckReport& report)
{
    if (table.physicalIndexes.empty())
        return;
    std::vector<IndexKeyLayout> layouts = indexLayouts(table, databaseSortOrder, f.jet3);
    if (!indexPagesSupported(file.pageSize())) {
        report.notes.push_back("table " + table.name + " : index non vérifiés (pages de " +
                               std::to_string(file.pageSize()) + " octets)");
        return;
    }

    // The rows' values once, for every index.
    std::vector<std::pair<RowPointer, std::vector<Value>>> rows;
    RowReader reader(file, f, table);
    scanTable(file, f, table, [&](RowPointer where) {
        ByteRange row(file, where.page, nullptr, 0);
        if (!rowData(file, f, where, row))
            return;
        reader.load(row);
        std::vector<Value> values(table.columns.size());
        for (const IndexKeyLayout& index : layouts)
            for (int c : index.columns)
                if (c >= 0 && values[size_t(c)].isNull())
                    values[size_t(c)] = reader.value(table.columns[size_t(c)]);
        rows.emplace_back(where, std::move(values));
    });

    for (const IndexKeyLayout& index : layouts) {
        if (!index.problem.empty()) {
            report.notes.push_back("table " + table.name + ", index " + index.name + " non vérifié : " + index.problem);
            continue;
        }
        ++report.indexes;
        FileIndexPages pages(file);
        IndexChecker checker(pages, table.name, table.page, index.name, index.root, report);
        IndexEntry max;
        if (!checker.walk(index.root, 0, max))
            continue;
        checker.checkLeafChain();
        try {
            checker.checkOwned(writer::UsageMap::read(file, f, table.physicalIndexes[index.physical].ownedPages));
        } catch (const Error&) {
            // an unreadable map is reported by the storage check
        }

        std::vector<IndexEntry> expected;
        expected.reserve(rows.size());
        // Rows whose key the engine cannot compute (a character outside its
        // collation tables, say): their entries are found by row pointer
        // instead, and counted.
        std::map<std::pair<uint32_t, uint8_t>, long> unkeyed;
        std::vector<Value> values;
        for (const auto& [where, rowValues] : rows) {
            if (!keyValues(index, rowValues, values))
                continue;
            IndexEntry e;
            try {
                e.key = encodeKey(index.keyColumns, values);
            } catch (const Error& err) {
                if (err.code() == Code::Unsupported) {
                    unkeyed[{where.page, uint8_t(where.row)}] = 0;
                    continue;
                }
                checker.problem("ligne page " + std::to_string(where.page) + ", ligne " + std::to_string(where.row) +
                                " : clé non calculable (" + err.what() + ")");
                continue;
            }
            e.dataPage = where.page;
            e.dataRow = uint8_t(where.row);
            expected.push_back(std::move(e));
        }
        std::sort(expected.begin(), expected.end(),
                  [](const IndexEntry& a, const IndexEntry& b) { return compareIndexEntries(a, b) < 0; });

        const std::vector<IndexEntry>& actual = checker.entries();
        size_t i = 0, j = 0;
        while (i < expected.size() || j < actual.size()) {
            int c = i == expected.size() ? 1 : j == actual.size() ? -1 : compareIndexEntries(expected[i], actual[j]);
            if (c == 0) {
                ++i;
                ++j;
            } else if (c < 0) {
                checker.problem("entrée manquante pour la ligne (" + entryText(expected[i]) + ")");
                ++i;
            } else {
                auto row = unkeyed.find({actual[j].dataPage, actual[j].dataRow});
                if (row != unkeyed.end())
                    ++row->second;
                else
                    checker.problem("entrée en trop ou clé fausse (" + entryText(actual[j]) + ")");
                ++j;
            }
        }
        if (!unkeyed.empty()) {
            for (const auto& [where, found] : unkeyed) {
                const std::string row = "page " + std::to_string(where.first) + ", ligne " + std::to_string(where.second);
                if (found == 0)
                    checker.problem("entrée manquante pour la ligne (" + row + ", clé non calculable)");
                else if (found > 1)
                    checker.problem(std::to_string(found) + " entrées pour la ligne (" + row + ", clé non calculable)");
            }
            // Their keys are not known: the order is checked on the entries
            // themselves, across pages too.
            for (size_t k = 1; k < actual.size(); ++k)
                if (compareIndexEntries(actual[k - 1], actual[k]) >= 0)
                    checker.problem("entrées dans le désordre (" + entryText(actual[k - 1]) + " puis " +
                                    entryText(actual[k]) + ")");
            report.unverifiedKeys += long(unkeyed.size());
            report.notes.push_back("table " + table.name + ", index " + index.name + " : " +
                                   std::to_string(unkeyed.size()) +
                                   (unkeyed.size() == 1 ? " ligne dont la clé n'est pas calculable"
                                                        : " lignes dont la clé n'est pas calculable") +
                                   " (caractère hors des tables de tri) ; une seule entrée par ligne et leur ordre "
                                   "vérifiés, pas la clé");
        }
        report.entries += long(actual.size());

        long distinct = 0;
        for (size_t k = 0; k < actual.size(); ++k) {
            bool same = k > 0 && actual[k].key == actual[k - 1].key;
            if (!same)
                ++distinct;
            if (same && index.unique) {
                // Rows whose key columns are all null may repeat in a unique index.
                bool allNull = true;
                size_t at = 0;
                for (const KeyColumn& kc : index.keyColumns) {
                    if (at >= actual[k].key.size())
                        break;
                    uint8_t flag = actual[k].key[at];
                    if (flag != (kc.ascending ? 0x00 : 0xFF)) {
                        allNull = false;
                        break;
                    }
                    ++at;
                }
                if (!allNull)
                    checker.problem("index unique : clé en double (" + entryText(actual[k]) + ")");
            }
        }
        long stored = storedDistinctKeys(file, f, table, index.physical);
        // A statistic that Access itself lets drift: a note, not an error.
        if (stored >= 0 && stored != distinct)
            report.notes.push_back("table " + table.name + ", index " + index.name + " : la définition compte " +
                                   std::to_string(stored) + " clés distinctes, l'index en a " +
                                   std::to_string(distinct));
    }
}

} // namespace jet::detail
