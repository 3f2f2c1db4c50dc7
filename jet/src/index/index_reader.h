// Reading a table's indexes from the open file: which key each physical
// index holds (its columns, directions and text sort orders), and the tree
// over the file's pages.
#pragma once

#include "index/index_key.h"
#include "index/index_tree.h"
#include "format/table_def.h"

#include <string>
#include <vector>

namespace jet::detail {

// Index pages straight from the mapped file (read-only).
class FileIndexPages : public IndexPageStore {
public:
    explicit FileIndexPages(const PageFile& file) : file_(file) {}
    uint32_t pageSize() const override { return file_.pageSize(); }
    const uint8_t* read(uint32_t page) override { return file_.page(page); }

private:
    const PageFile& file_;
};

// What a physical index holds.
struct IndexKeyLayout {
    size_t physical = 0;
    std::string name;              // the first logical index using it
    std::vector<KeyColumn> keyColumns;
    std::vector<int> columns;      // positions in TableDef::columns
    bool unique = false;
    bool primary = false;
    bool ignoreNulls = false;
    bool required = false;
    uint32_t root = 0;
    // Empty when every key of this index can be encoded exactly; otherwise
    // why not (French).
    std::string problem;
};

// The key form of a table's column in an index: its type and direction, the
// text sort order (the column's own, else the database's), a decimal's scale
// and the decimal key form of the file's version.
KeyColumn keyColumnOf(const ColumnDef& column, bool ascending, SortOrder databaseOrder, const FormatInfo& format);

// The database's text sort order (header, page 0, unmasked in the overlay).
uint32_t storedDatabaseSortOrder(const PageFile& file, const FormatInfo& f);

// The layout of every physical index of the table, in order.
std::vector<IndexKeyLayout> indexLayouts(const TableDef& table, uint32_t databaseSortOrder, bool jet3);

// The values of the index columns of a row, and whether the row gets an
// entry at all (an "ignore nulls" index skips rows whose key columns are all
// null).
bool keyValues(const IndexKeyLayout& index, const std::vector<Value>& rowValues, std::vector<Value>& out);

} // namespace jet::detail
