// Keeping a table's indexes in step with its rows inside a write
// transaction.
//
// For each write the maintainer computes the key of every index for the old
// and the new row, refuses unique and primary-key violations before anything
// is changed (check*), then applies the changes to the B-trees (insert,
// update, remove) and, at finish(), the distinct-key counts of the table
// definition. A table whose index keys cannot be computed exactly (a text
// sort order or a column type the key encoder does not know) is refused as a
// whole: a wrong key is never written.
#pragma once

#include "index/index_key.h"
#include "index/index_tree.h"
#include "format/row_encoder.h"
#include "format/usage_map.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet::writer {

struct RowId;

// The value a stored field holds, as an index key sees it. Throws
// Error(Unsupported) for a column type that has no key, and for a Memo
// whose text lies outside the row.
Value fieldValue(const ColumnDef& column, const Field& field);

// The data of a Memo field stored outside the row (the table writer reads
// it from the transaction's pages).
using LongValueData = std::function<std::vector<uint8_t>(const Field&)>;

class IndexMaintainer {
public:
    // Throws Error(Unsupported) with a French reason when the table's
    // indexes cannot be maintained (an index on a Memo column needs
    // `longValues`).
    IndexMaintainer(Transaction& txn, const TableDef& layout, PageAllocator& allocator,
                    LongValueData longValues = {});
    ~IndexMaintainer();

    // Throw Error(Constraint) (nothing changed) when the row would break a
    // unique or primary-key index; Error(Unsupported) when a key cannot be
    // encoded exactly.
    void checkInsert(const std::vector<Field>& row);
    void checkUpdate(const std::vector<Field>& before, const std::vector<Field>& after, uint32_t page, uint16_t row);

    // Before a row's Memo values are freed or rewritten for an update: the
    // keys they give now, used by the next checkUpdate() and update().
    void keepKeysOf(const std::vector<Field>& before);

    // For a row in the file (at page, slot) whose key for some index cannot
    // be computed (a character outside the sort tables): the key that index
    // holds for it is kept, and serves any row with the same key fields
    // from then on (a compaction removes such rows and adds them again).
    // Throws Error(Unsupported) when the index has no entry for the row.
    void keepStoredKeys(const std::vector<Field>& row, uint32_t page, uint16_t slot);

    void insert(const std::vector<Field>& row, uint32_t page, uint16_t slot);
    void update(const std::vector<Field>& before, const std::vector<Field>& after, uint32_t page, uint16_t slot);
    void remove(const std::vector<Field>& row, uint32_t page, uint16_t slot);

    // From now on insert() gathers the entries of the indexes that hold none
    // now, and finish() writes each such index afresh from them with its
    // pages filled (buildIndexTree); unique keys are then not checked against
    // the rows added meanwhile (a compaction adds back the rows it took out).
    // Only for a writer that adds rows and nothing else until finish().
    void gatherEntries();

    // Writes the gathered indexes and the distinct-key counts to the table
    // definition.
    void finish();

private:
    struct Index;
    // The key of a row for an index (none for an all-null row of an index
    // that ignores nulls); the last few are kept.
    std::optional<std::vector<uint8_t>> keyOf(Index& index, const std::vector<Field>& row) const;
    std::optional<std::vector<uint8_t>> computeKey(const Index& index, const std::vector<Field>& row) const;
    std::optional<std::vector<uint8_t>> keyBefore(Index& index, const std::vector<Field>& before) const;
    Value keyValue(const ColumnDef& column, const Field& field) const;
    // The stored fields of the index's columns, as one string.
    static std::string keyFields(const Index& index, const std::vector<Field>& row);
    void checkKey(Index& index, const std::vector<Field>& row, uint32_t exceptPage, uint16_t exceptRow);
    void add(Index& index, const std::vector<uint8_t>& key, uint32_t page, uint16_t slot);
    void drop(Index& index, const std::vector<uint8_t>& key, uint32_t page, uint16_t slot);

    Transaction& txn_;
    const TableDef& layout_;
    PageAllocator& allocator_;
    LongValueData longValues_;
    std::vector<std::unique_ptr<Index>> indexes_;
};

} // namespace jet::writer
