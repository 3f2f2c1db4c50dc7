// BaseR: the record source behind a record sheet. A dynaset over one table or
// SELECT of an Access file, or of a database on a PostgreSQL server when the
// database name is its address (postgresql://USER@HOST:PORT/DATABASE, see
// server/server_address.h), a current row, and the text fields bound to its
// columns. Both engines behave alike behind the engine's Database and
// Recordset interfaces; the sheets do not know which one they use. QtCore only, but for the boxes it shows through shell/dialogs.h;
// the widgets reach it through BoundField adapters.
//
// Every operation that cannot be done throws RecordSourceError, whose message
// is French and fit to show to the user. When the database file cannot be
// opened the message is the reason alone ("ce fichier n'est pas une base
// Access"): the message box that shows it names the file.
#pragma once

#include "jet/database.h"
#include "jet/recordset.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace jet {
class Database;
class Recordset;
} // namespace jet

namespace velmor {

class RecordSourceError : public std::runtime_error {
public:
    enum class Code {
        NoDatabase,   // no database path, missing or unreadable file, not a database
        BadSource,    // missing table or column, row source rejected
        NotOpen,      // the record source is closed
        NoCurrentRow, // no current row, or a move that is not allowed
        BadValue,     // a field's text cannot be stored (names the field)
        ReadOnly,     // read-only file
        Busy,         // another program holds the file and the wait for it was given up
        Conflict,     // another desk changed or deleted the row; the user left it for later
        Disconnected, // the connection to the server is lost; the next operation makes it again
        Engine,       // any other engine failure
    };
    RecordSourceError(Code code, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code), message_(message) {}
    Code code() const { return code_; }
    const QString& message() const { return message_; }

private:
    Code code_;
    QString message_;
};

// Connects to the server at `address` (postgresql://…). The password is the
// one in the address, else the one given in this run, else the one in the
// keyring (sheets/server_choice.h); when the server wants another, the user
// is asked for it until it is right or the box is cancelled. Throws
// RecordSourceError (NoDatabase) saying why in French.
std::unique_ptr<jet::Database> openServerDatabase(const QString& address);

// Gives the password of `database` (a file's path or a server's address) for
// the rest of the run, as if the user had typed it at its first opening.
void usePasswordThisRun(const QString& database, const QString& password);

// A text field bound to a column: a QLineEdit, or a display label whose text
// set from code counts as a change.
class BoundField {
public:
    virtual ~BoundField() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0; // shows a row; clears "modified"
    virtual bool isModified() const = 0;           // changed since last shown
    virtual void setModified(bool modified) = 0;
    // The field's name as the user sees it (the caption of its label), used
    // in messages instead of the column's name; empty when it has none.
    virtual QString caption() const { return QString(); }
};

// Design values of a record source.
struct RecordSourceDesign {
    QString connect;      // "Access"
    QString recordSource; // "velmor2001" / "tablep"
    QString caption;      // "Velmor Retour" / "velmor pret"
    QString toolTip;      // "Base de donnée en cours" / ""
    bool visible = false;
};

class BaseR : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, NoCurrentRow, CurrentRow, Adding };

    explicit BaseR(const RecordSourceDesign& design, QObject* parent = nullptr);
    // Drops a pending new row and unsaved edits: the sheet saves them first
    // (savePending) when it wants them kept.
    ~BaseR() override;

    // How every record source opens its file: by default the Jet engine
    // (ReadWriteIfPossible). Tests open files read-only through it; an empty
    // function restores the default. The opener may throw jet::Error or
    // RecordSourceError.
    using DatabaseOpener = std::function<std::unique_ptr<jet::Database>(const QString& path)>;
    static void setDatabaseOpener(DatabaseOpener opener);

    const RecordSourceDesign& design() const { return design_; }
    QString Connect() const { return design_.connect; }
    QString Caption() const { return design_.caption; }
    QString ToolTipText() const { return design_.toolTip; }
    bool Visible() const { return design_.visible; }

    // Take effect at the next Refresh (or the opening when the sheet loads).
    QString DatabaseName() const { return databaseName_; }
    void setDatabaseName(const QString& path) { databaseName_ = path; }
    QString RecordSource() const { return recordSource_; }
    void setRecordSource(const QString& source) { recordSource_ = source; }

    // Binding: the field shows `column` of the current row. Not owned; it
    // must outlive the record source or be unbound first. Binding a column
    // the open row set does not have throws BadSource; the next opening
    // checks every bound column again.
    void bind(const QString& column, BoundField* field);
    void unbind(BoundField* field);

    // The opening when the sheet loads: opens if a path is set. Returns the
    // failure instead of throwing (the record source then stays closed).
    // Does nothing when the record source is already open (a load step that
    // refreshed it first).
    std::optional<RecordSourceError> openOnLoad();

    // Saves the pending edits of the current row (like leaving it), then
    // rebuilds the row set from the file; its first row becomes current.
    // If the save fails nothing changes; if the new row set cannot be opened
    // the previous one stays (closed if there was none).
    void Refresh();
    // Writes every bound field into the current or the new row, no checks
    // beyond converting the texts (a field left as shown is not rewritten).
    // When another desk changed or deleted the row since it was shown, the
    // user is asked (shell/dialogs.h) whether to keep this desk's values,
    // take the other desk's row or, for a deleted row, store it anew; every
    // write that leaves a row asks the same way. Choosing neither throws
    // Conflict and leaves the fields as typed.
    // A new row is stored even when nothing was typed. Afterwards
    // LastModified() names the row; a new row is not current until
    // setBookmark(LastModified()).
    void UpdateRecord();

    State state() const;
    bool isOpen() const { return state() != State::Closed; }
    // The definition of `column` in the open row set, as the engine reads it
    // from the table (type, length of a text column); nothing while closed
    // or when the row set has no such column.
    std::optional<jet::ColumnInfo> columnInfo(const QString& column) const;
    // Why the open database cannot be written, in French ("" when it can,
    // or when the record source is closed).
    QString readOnlyReason() const;
    bool BOF() const;
    bool EOF_() const;
    long RecordCount() const;
    // The current row's place in the row set, from 0; -1 when no stored row
    // is current (a pending new row, past either end, closed).
    long AbsolutePosition() const;

    // Recordset operations. Each move first saves the row being left; if
    // that save fails, the move is not made. BOF/EOF/RecordCount read as at
    // an empty row set while closed.
    void AddNew();
    // Deletes the current row; the fields are cleared and no row is current
    // until the next move. On a pending new row it drops that row instead.
    void Delete();
    void MoveFirst();
    void MovePrevious();
    void MoveNext();
    void MoveLast();
    // The row written last by this record source since its last opening;
    // throws NoCurrentRow when none was.
    jet::Bookmark LastModified() const;
    jet::Bookmark Bookmark() const;
    // Saves the row being left, then makes the row with that bookmark current.
    void setBookmark(jet::Bookmark bookmark);

    // Writes the edits of the current row if any field changed (leaving a
    // row does this); an untouched new row is dropped.
    void savePending();
    // A pending new row (even untouched), or a changed field on the current row.
    bool hasPendingEdits() const;
    // Drops the edits of the row shown: the fields show the stored row
    // again; a pending new row is dropped and the row shown before it
    // comes back.
    void undoEdits();

signals:
    void currentChanged(); // fields were refilled
    void opened();         // a Refresh opened a new row set

private:
    // Implementation details belong to record_source.cpp.
    struct Impl;
    std::unique_ptr<Impl> d;
    RecordSourceDesign design_;
    QString databaseName_;
    QString recordSource_;
};

} // namespace velmor
