// Adding, changing and deleting rows of one table inside a write
// transaction: row placement on the table's data pages, the owned-pages and
// free-space maps, rows moved when they outgrow their page, long values
// (inline, one long-value row, or a chain of long-value pages), the row count
// and the autonumber and complex-id counters of the table definition.
//
// Space is reused: a new row goes to a page of the table's free-space map
// that has room (the bytes of deleted, shrunk and moved rows are reclaimed
// on their page at once); a row number is never given to another row, so
// that a row pointer another desk holds finds its row or nothing. Long
// values take deleted slots and pages with room in their column's
// free-space map; a long-value page left empty goes back to the file
// (PageAllocator), and a rewritten long value gives its pages back before
// the new value is written, so that it takes them again.
//
// The indexes of the table are kept in step by an IndexMaintainer: unique and
// primary-key violations are refused before anything is written. A table
// whose index keys cannot be computed exactly is refused (Unsupported). The
// catalog writer of a new database maintains its own indexes and says so
// with allowIndexed.
#pragma once

#include "index/index_maintainer.h"
#include "file/page_store.h"
#include "format/row_encoder.h"
#include "format/usage_map.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet::writer {

struct RowId {
    uint32_t page = 0;
    uint16_t row = 0;
};

class TableWriter {
public:
    // With `allocator`, pages come from and go to that one (shared by the
    // writers of several tables), else from the writer's own.
    TableWriter(Transaction& txn, uint32_t tdefPage, bool allowIndexed = false, PageAllocator* allocator = nullptr);

    const TableDef& layout() const { return layout_; }

    // Adds a row; values are in layout order (missing trailing values and
    // nulls are stored as NULL). Complex columns get the table's next complex
    // id (the same in each; no values for it yet), as autonumbers do, and
    // take no value either. Autonumber columns get the next number; a
    // value given for one is refused (InvalidValue), as is a change of one by
    // update(). Returns where the row lives; *autonumber receives the number given.
    RowId insert(const std::vector<Value>& values, int64_t* autonumber = nullptr);
    // Changes the columns that have a value in `changes` (layout order).
    void update(RowId id, const std::vector<std::optional<Value>>& changes);
    // Deletes a row, and the values of its complex columns (rows of their
    // hidden tables) unless `keepComplexValues` (a row deleted to be added
    // back).
    void remove(RowId id, bool keepComplexValues = false);
    // Reads the stored fields of a row (following a moved row).
    std::vector<Field> fields(RowId id);

    // The bytes of a long value stored outside its row (single row or
    // chain); `pages` receives the long-value pages it lies on.
    std::vector<uint8_t> longValueData(const Field& field, std::vector<uint32_t>* pages = nullptr);
    // Adds a row as stored elsewhere: its fields as they are (autonumbers
    // and all), each long value outside the row written anew from
    // `longValues` (a column without one keeps its field).
    RowId insertStored(std::vector<Field> fields, const std::vector<std::optional<std::vector<uint8_t>>>& longValues);
    // Before a compaction removes the row: keeps the keys the indexes hold
    // for it where this engine cannot compute them, for the row added again
    // (IndexMaintainer::keepStoredKeys).
    void keepStoredKeys(RowId id, const std::vector<Field>& fields);
    // For a table emptied before its rows are added back (a compaction):
    // its indexes are written at finish() from all their entries, their
    // pages filled (IndexMaintainer::gatherEntries).
    void gatherIndexEntries()
    {
        if (indexes_)
            indexes_->gatherEntries();
    }
    // Gives back a page the table owns whose rows are all deleted (a
    // compacted copy: no other desk keeps row pointers into it).
    void releaseEmptyPage(uint32_t page);

    // Writes the row count and autonumber counter to the table definition.
    void finish();

    // Refusal message for tables with indexes.
    static const char* indexedRefusal();
    // Refusal message for a value given to an autonumber column.
    static std::string autonumberRefusal(const std::string& column);

private:
    // Throws Unsupported when the table has calculated columns, whose
    // results this engine cannot compute.
    void refuseCalculatedColumns() const;

    struct Located {
        RowId header;
        RowId data;
        bool moved = false;
    };
    Located locate(RowId id);
    Field encodeColumn(size_t i, const Value& v);
    // The stored bytes of a Memo / OLE value (nullopt for NULL), checked.
    std::optional<std::vector<uint8_t>> longValueBytes(size_t i, const Value& v);
    // Encodes the row, checks and updates the indexes, and stores it.
    RowId addRow(const std::vector<Field>& fields);
    Field longValueFieldFor(const ColumnDef& c, const std::vector<uint8_t>& data);
    std::vector<uint8_t> writeLongValue(const ColumnDef& c, const std::vector<uint8_t>& data);
    void freeLongValue(const ColumnDef& c, const Field& f);
    void freeFieldsLongValues(const std::vector<Field>& fields);
    // Finds room for a new row of `size` bytes (its slot too) on a data page
    // of the table, allocating one if needed.
    uint32_t pageWithRoom(int size);
    uint32_t longValuePageWithRoom(const ColumnDef& c, int size);
    void deleteSlot(uint32_t page, uint16_t row, bool longValuePage, const ColumnDef* lvColumn);
    void noteFreeSpace(uint32_t page);

    Transaction& txn_;
    PageAllocator ownAllocator_;
    PageAllocator& alloc_;
    TableDef layout_;
    uint32_t insertPage_ = 0;
    std::vector<uint32_t> lvPage_; // per column: current long-value page
    // Pages that got room back during this write, looked at first (most
    // recent first): the table's, and each long-value column's.
    std::vector<uint32_t> roomPages_;
    std::vector<std::vector<uint32_t>> lvRoomPages_;
    // The first pages of the free-space map that a search looks at take no
    // row of noRoomFrom_ bytes or more, and none of them would leave the
    // map: so a search for such a row would find nothing and change nothing,
    // and is not made. Set by a search that took no page out of the map;
    // raised when the insert page is left for a longer row (unless that page
    // would now leave the map); unknown (the largest int) when a page gets
    // room back or leaves the map. Each long-value column has its own.
    int noRoomFrom_;
    std::vector<int> lvNoRoomFrom_;
    static void remember(std::vector<uint32_t>& pages, uint32_t page);
    std::unique_ptr<IndexMaintainer> indexes_;
    bool calculated_ = false; // the table has calculated columns
    int64_t rowDelta_ = 0;
    bool autonumberChanged_ = false;
};

} // namespace jet::writer
