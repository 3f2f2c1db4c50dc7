// Errors raised by the Jet engine.
//
// Every failure of the engine is reported by throwing jet::Error, which
// carries a machine-readable code and a French message fit to show to a
// user ("fichier introuvable : C:\\...", "page 12 : chaîne de pages en boucle").
// The engine never prints anything itself.
#pragma once

#include <stdexcept>
#include <string>

namespace jet {

enum class Code {
    IoError,        // the file cannot be opened, read, written or flushed
    NotADatabase,   // not a Jet/ACE file (bad magic, zero length, text file...)
    Corrupt,        // a structure of the file is inconsistent; the message names the page
    Unsupported,    // a valid file feature the engine does not handle (encryption, a sort order...)
    NotFound,       // no such table, column or index
    SqlError,       // a row source the SQL parser rejects
    ReadOnly,       // a write on a database opened read-only (or that could not be opened for writing)
    Locked,         // another process holds the file's write lock for too long
    NoCurrentRow,   // an operation that needs a current row, or a move that is not allowed
    InvalidValue,   // a value of the wrong type, text too long, out of range
    Constraint,     // a unique or primary-key violation
    InvalidState,   // an operation not allowed in the recordset's current state
    Conflict,       // update() / deleteCurrent(): another program changed the row since it was read
                    // (nothing written; Recordset::conflict() says which columns)
    RowDeleted,     // update(): another program deleted the row since it was read (nothing written)
    PasswordRequired, // the file (.mdb) has a database password and none was given
    WrongPassword,    // the password given is not the file's
    OrphanedJournal, // the unfinished journal beside the file (FILE-journal) was made for another file, such
                     // as the one a backup copied over replaced: it is not applied and nothing is written
};

class Error : public std::runtime_error {
public:
    Error(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const noexcept { return code_; }

private:
    Code code_;
};

} // namespace jet
