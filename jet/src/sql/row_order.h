// ORDER BY without an index: the rows of a dynaset sorted by their values.
//
// Text and memo values sort by the key bytes their column's index would
// hold (the column's text sort order: case and accents folded first, then
// accents, then punctuation), so that a sort gives exactly the order in
// which an index on the column reads the rows; other values sort as SQL
// compares them (sql::compareValues), which is their key order too. The
// sort is stable: rows with equal keys keep the order in which they were
// added (physical order when the table was scanned), as they do in an
// index, whose equal keys are ordered by row position.
#pragma once

#include "index/collation.h"
#include "sql/sql.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace jet::detail {

class RowOrder {
public:
    // `databaseSortOrder` as stored in the header (storedDatabaseSortOrder()).
    RowOrder(const TableDef& table, const std::vector<sql::OrderKey>& orderBy, uint32_t databaseSortOrder, bool jet3);

    // Records the sort keys of one more row.
    void add(const RowReader& row);

    // The added rows' indexes (0, 1, ... in the order of add()) in sorted order.
    std::vector<size_t> order() const;

private:
    struct Column {
        const ColumnDef* def = nullptr;
        bool ascending = true;
        bool collated = false; // text compared by its key bytes
        SortOrder order = SortOrder::Unsupported;
        // Collated columns: each distinct text (and null) once, with its key.
        std::unordered_map<std::string, uint32_t> ids;
        std::vector<std::string> keys;
        uint32_t nullId = UINT32_MAX;
    };
    uint32_t keyId(Column& c, const Value& v);

    std::vector<Column> columns_;
    std::vector<Value> values_;  // rows x columns_ (null where collated)
    std::vector<uint32_t> ids_;  // rows x columns_ (the key's id where collated)
    std::u16string units_;
    std::vector<uint8_t> scratch_;
};

// The bytes by which a text value sorts in a sort order (the key an
// ascending index on it holds): 0x00 for null, else 0x7F and the collation
// key. Characters the collation tables do not know are left out of it
// (rather than failing), so that every value has a key.
void textSortKey(SortOrder order, const Value& value, std::string& out, std::u16string& units,
                 std::vector<uint8_t>& scratch);

} // namespace jet::detail
