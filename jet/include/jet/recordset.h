// A dynaset: an updatable, ordered set of rows of one table, selected by a
// table name or by
//
//   SELECT * FROM table [WHERE condition] [ORDER BY col [ASC|DESC], ...]
//
// Keywords and names are case-insensitive; names may be [bracketed];
// conditions use = <> < > <= >= IS [NOT] NULL AND OR NOT and parentheses with
// 'text' ('' inside), numbers, #dates# and NULL. As in Jet, a comparison with
// NULL is never true and text comparison ignores case.
//
// Position. A recordset with rows opens on its first row. Moving past either
// end leaves it at BOF or EOF with no current row, without error; a further
// move in the same direction, or any move on an empty recordset, throws
// Error(NoCurrentRow). MoveFirst/MoveLast from BOF/EOF bring a row back.
//
// Editing. addNew() starts a new row (editMode() == Adding), edit() starts
// editing the current row (Editing); setValue() changes the pending values;
// update() writes them (for a new row the row joins the end of the dynaset
// but the position stays where it was before addNew); cancelUpdate() drops
// them. deleteCurrent() removes the current row: it stays current but reads
// as deleted (isDeleted()) until the next move. Moves while editing throw
// Error(InvalidState); callers save or cancel first.
//
// Other programs. The recordset remembers the current row as it read it
// (the values value() showed) when edit() or deleteCurrent() is called.
// update() and deleteCurrent() compare that row, under the file's write
// lock, with the row as stored at that moment:
// - A column this recordset changes (a setValue() to a value other than the
//   one read) that another program also changed to something else is a
//   conflict: nothing is written, Error(Conflict) is thrown and the
//   recordset stays in Editing mode with its pending values.
// - Columns only the other program changed are kept: update() writes the
//   changed columns on top of the row as stored now, so that edits of
//   different columns by two programs merge. A setValue() to the value read
//   is no change and does not write over another program's value.
// - deleteCurrent() of a row another program changed throws Error(Conflict)
//   and deletes nothing; of a row another program already deleted, it
//   succeeds (the row reads as deleted).
// - update() of a row another program deleted throws Error(RowDeleted); the
//   recordset stays in Editing mode.
// After either error conflict() describes what was found and
// resolveConflict() settles it; any other call (cancelUpdate(), a move)
// drops the conflict.
#pragma once

#include "jet/database.h"
#include "jet/value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

// Identifies a row of a table for as long as the recordset lives: the page and
// slot where the row was first found (rows moved by an update keep theirs).
struct Bookmark {
    uint32_t page = 0;
    uint16_t row = 0;
    bool valid() const { return page != 0; }
    friend bool operator==(const Bookmark&, const Bookmark&) = default;
    friend auto operator<=>(const Bookmark&, const Bookmark&) = default;
};

// What update() or deleteCurrent() found another program had done to the row.
struct RowConflict {
    enum class Kind { Changed, Deleted };
    Kind kind = Kind::Changed;
    bool duringDelete = false; // raised by deleteCurrent() rather than update()
    struct Column {
        int column = -1;
        Value read;    // as this recordset read it (null when it could not be read)
        Value stored;  // as stored now
        Value pending; // this recordset's value, when changedHere
        bool changedHere = false; // changed by this recordset too: the conflict itself
    };
    // Changed: every column stored otherwise than read, in column order.
    std::vector<Column> columns;
};

enum class ConflictChoice {
    // update(): writes this recordset's values over the other program's ones
    // (other columns are kept as stored; a further change made meanwhile is
    // a new conflict). deleteCurrent(): deletes the row all the same.
    WriteOver,
    // Drops this recordset's edits (or its delete): the row reads as stored
    // now; a row deleted meanwhile reads as deleted until the next move.
    TakeTheirs,
    // A row deleted meanwhile (update()): stores it as this recordset had it
    // (the values read, with its edits) as a new row, which takes the
    // deleted row's place in the set and becomes lastModified().
    StoreAsNew,
};

class Recordset {
public:
    enum class EditMode { None, Editing, Adding };

    virtual ~Recordset() = default;

    virtual const std::string& tableName() const = 0;
    virtual const std::vector<ColumnInfo>& columns() const = 0;
    // Case-insensitive; -1 when there is no such column.
    virtual int columnIndex(const std::string& name) const = 0;

    virtual bool bof() const = 0;
    virtual bool eof() const = 0;
    virtual bool hasCurrent() const = 0;
    virtual long recordCount() const = 0;
    // The current row's place in the set (0 for the first row), or -1 when
    // no row is current.
    virtual long absolutePosition() const { return -1; }
    // Makes the row at `position` (0 for the first) current, as a move does;
    // throws Error(NotFound) when the set has no such row.
    virtual void setAbsolutePosition(long position) = 0;

    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual void movePrevious() = 0;

    // Reads every row of the set now, long values included, under one hold
    // of the file's shared lock: moves and values then no longer read the
    // file, and show the database as of one commit whatever other programs
    // write meanwhile (until this recordset writes). Without it, a
    // recordset reads its rows in runs as the moves need them: each run of
    // rows with their long values is of one commit, and a later run shows
    // what other programs committed meanwhile. Memory grows with the set;
    // the lock is held only while the rows are copied.
    virtual void fetchAll() {}

    // Value of a column of the current row (while editing: the pending value).
    virtual Value value(int column) const = 0;
    Value value(const std::string& column) const;

    virtual Bookmark bookmark() const = 0;       // throws NoCurrentRow
    virtual void setBookmark(Bookmark b) = 0;     // throws NotFound if not in this set
    virtual Bookmark lastModified() const = 0;    // invalid when nothing was written yet
    virtual bool isDeleted() const = 0;

    virtual EditMode editMode() const = 0;
    virtual void addNew() = 0;
    virtual void edit() = 0;
    // Throws InvalidValue on type/size errors and for an autonumber column
    // (its value is the database's to give, whatever the mode).
    virtual void setValue(int column, const Value& v) = 0;
    virtual void update() = 0;
    virtual void cancelUpdate() = 0;
    virtual void deleteCurrent() = 0;

    // The conflict the last update() or deleteCurrent() reported, or null.
    virtual const RowConflict* conflict() const { return nullptr; }
    // Settles it (see ConflictChoice); throws Error(InvalidState) when there
    // is none or the choice does not fit it, and whatever update() or
    // deleteCurrent() throw (a new Conflict included).
    virtual void resolveConflict(ConflictChoice)
    {
        throw Error(Code::InvalidState, "aucun conflit d'écriture en attente");
    }
};

} // namespace jet
