// An Access (Jet) database file: Jet3 (Access 97), Jet4 (Access 2000-2003)
// and ACE (.accdb, Access 2007 and later).
//
// A Database is used from one thread. Several processes may open the same
// file; writes take an exclusive lock on the file for their duration and are
// protected by a rollback journal beside the file (FILE-journal), so a crash
// never leaves a half-written file.
#pragma once

#include "jet/status.h"
#include "jet/value.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace jet {

class Recordset;

enum class Format { Jet3, Jet4, Ace12, Ace14, Ace15, Ace16, Ace17 };
const char* formatName(Format format);

enum class OpenMode {
    ReadOnly,
    ReadWrite,          // fails with Code::ReadOnly if the file cannot be written
    ReadWriteIfPossible // falls back to read-only; see Database::readOnlyReason()
};

// What a complex column (ColumnType::Complex, type code 0x12) holds.
enum class ComplexKind { None, Attachment, MultiValue, VersionHistory, Unknown };

struct ColumnInfo {
    std::string name;
    // ColumnType::Complex stands for every column the engine cannot convert:
    // complex columns (complex says which kind) and types it does not know
    // (typeCode says which). Their values are Value::Kind::Unsupported.
    ColumnType type = ColumnType::Text;
    int typeCode = 0;    // the type code stored in the file
    ComplexKind complex = ComplexKind::None;
    int number = 0;      // Jet's column number
    int size = 0;        // bytes in the row for fixed columns; max bytes for Text
    int maxChars = 0;    // Text: maximum length in characters
    bool fixed = false;
    bool nullable = true;
    bool autonumber = false;
    bool compressedUnicode = false;
    bool hyperlink = false;
    int precision = 0, scale = 0; // Numeric
    // A calculated column (Access 2010 and later): `type` is its result's,
    // `expression` as Access shows it ("[LastName] & \", \" & [FirstName]").
    // Its values are read; rows of its table cannot be added or changed.
    bool calculated = false;
    std::string expression;
};

struct IndexColumn {
    std::string column;
    bool ascending = true;
};

struct IndexInfo {
    std::string name;
    std::vector<IndexColumn> columns;
    bool primary = false;
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
    bool foreignKey = false;
};

struct TableInfo {
    std::string name;
    bool system = false;
    std::vector<ColumnInfo> columns;
    std::vector<IndexInfo> indexes;
    uint32_t rowCount = 0;   // as the table definition records it
    uint32_t nextAutonumber = 0;
    uint32_t definitionPage = 0;
};

// What createTable needs of each column.
struct ColumnSpec {
    std::string name;
    ColumnType type = ColumnType::Text;
    int maxChars = 255;   // Text only
    bool autonumber = false;
    // Decimal (Numeric) only: total digits (1 to 28) and digits after the
    // point (0 to precision), as Access's defaults.
    int precision = 18;
    int scale = 0;
};

// What createTable needs of each index. Its text keys follow the file's
// text sort order (General: Access 97's in a Jet3 file, the legacy one in a
// Jet4 file), as Access keeps them.
struct IndexSpec {
    std::string name;
    std::vector<IndexColumn> columns; // 1 to 10 columns, each once
    bool primary = false;     // the primary key (at most one): unique, no null value
    bool unique = false;      // no two rows with the same key; rows whose key is all null may repeat
    bool ignoreNulls = false; // rows whose key is all null are left out of the index
};

// A file attached to a row's attachment column.
struct Attachment {
    int64_t complexId = 0; // the row's value in the attachment column (see Value::unsupported)
    std::string fileName;
    std::string fileType;  // the extension as Access records it ("pdf")
    std::vector<uint8_t> data; // the file's bytes, uncompressed
};

class Database {
public:
    virtual ~Database() = default;

    // Paths are UTF-8 on Windows (files are opened by their UTF-16 names),
    // bytes in the file system's encoding elsewhere; messages quote them so.
    //
    // Opens an existing file. Throws Error (IoError, NotADatabase, Corrupt,
    // Unsupported for encrypted files: Jet-encoded .mdb, and .accdb files
    // that ACE encrypts with their password).
    //
    // A .mdb file (Access 97 to 2003) may carry a database password; its
    // data is not encrypted, but the file opens only when `password` is the
    // stored one, compared exactly (case included): Error(PasswordRequired)
    // when none is given, Error(WrongPassword) when it differs. The password
    // of a file that has none is ignored. checkDatabase and compactDatabase
    // read the structure only and need no password; compaction keeps it.
    //
    // A write that a writer left half done (it died) is undone first when
    // the file is opened for writing; a read-only open leaves the file and
    // its journal alone and reads the file as it was before that write. A
    // journal made for another file (journalOrphaned()) is never applied:
    // ReadWrite throws Error(OrphanedJournal), ReadWriteIfPossible opens
    // read-only with readOnlyReason() saying why, and the file is read as it
    // is.
    static std::unique_ptr<Database> open(const std::string& path,
                                          OpenMode mode = OpenMode::ReadWriteIfPossible,
                                          const std::string& password = {});

    // Creates a new empty database (Format::Jet4, or Format::Jet3 for
    // Access 97); refuses to overwrite an existing file.
    static std::unique_ptr<Database> create(const std::string& path, Format format = Format::Jet4);

    virtual const std::string& path() const = 0;
    virtual Format format() const = 0;
    virtual bool readOnly() const = 0;
    // Why the database is read-only (empty when it is writable).
    virtual std::string readOnlyReason() const = 0;
    // True when the unfinished journal beside the file (FILE-journal) was
    // made for another file: left alone, and no write is allowed until it is
    // taken away.
    virtual bool journalOrphaned() const { return false; }

    // User tables in catalog order; with includeSystem, the MSys* tables too.
    virtual std::vector<std::string> tableNames(bool includeSystem = false) const = 0;
    // Case-insensitive lookup; throws Error(NotFound).
    virtual TableInfo table(const std::string& name) const = 0;

    // A dynaset over a table name or a "SELECT * FROM ..." text (see sql.h
    // rules in the recordset header). Throws Error(NotFound / SqlError).
    virtual std::unique_ptr<Recordset> openRecordset(const std::string& tableOrSelect) = 0;

    // Runs INSERT / UPDATE / DELETE; returns the number of rows changed.
    // Setting an autonumber column is refused (Error(InvalidValue)).
    virtual long execute(const std::string& sql) = 0;

    // Adds rows to a table as one write: every row or none. Before each call
    // `next` finds `values` holding one null per column of table(name).columns,
    // in that order; it fills them and returns true, or returns false when
    // there is no row left. Null values are stored as NULL; autonumber columns
    // must stay null (they take the next numbers, a value there is refused).
    // Each row is checked and placed before `next` is called again, so an
    // Error thrown here (by the engine or by `next` itself) concerns the last
    // row `next` supplied, and the file is then left exactly as it was. The
    // file's write lock is held from the first row to the commit: other
    // programs wait meanwhile, their reads included. The pages the rows fill
    // are kept in memory until the commit. Returns the number of rows added.
    virtual long insertRows(const std::string& table, const std::function<bool(std::vector<Value>& values)>& next);

    // Every file of an attachment column of a table, in the order of the
    // column's storage. Throws NotFound (no such table or column),
    // InvalidValue (not an attachment column) or Corrupt.
    virtual std::vector<Attachment> attachments(const std::string& table, const std::string& column);

    // Adds an empty table with `columns` and `indexes` (each index an empty
    // root page with its own usage map). Throws Error(InvalidValue) for a
    // wrong name, a column or index twice, an index on an unknown column or
    // on a Memo or OLE object column, on more than 10 columns, a second
    // primary key, a primary key that ignores nulls, more than 32 indexes;
    // Error(Unsupported) when the definition does not fit in one page.
    virtual void createTable(const std::string& name, const std::vector<ColumnSpec>& columns,
                             const std::vector<IndexSpec>& indexes = {}) = 0;
};

} // namespace jet
