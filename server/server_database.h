// A database on a PostgreSQL server behind the engine's Database interface,
// so that what works on a file (the record source, the lists) works on it
// unchanged. Each table has, beside the file's columns, a key of its own
// (`velmor_id`, hidden from columns()) that the recordsets' bookmarks carry.
//
// The connection goes through Qt SQL's QPSQL driver; each ServerDatabase has
// a connection of its own, used from the thread that opened it. Failures
// throw jet::Error with a French message: IoError when the server cannot be
// reached or the connection is lost, NotFound for a missing table, SqlError
// for a row source refused, InvalidValue for a value the column does not
// take, Unsupported for what only a file has (creating tables, statements).
#pragma once

#include "server/server_address.h"

#include "jet/database.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <memory>

namespace velmor::server {

inline const QString rowKeyColumn = QStringLiteral("velmor_id");

class ServerDatabase : public jet::Database {
public:
    // Connects; a refusal throws jet::Error with a French message naming the
    // server and the reason: PasswordRequired or WrongPassword for the
    // password, NotFound for a missing database, IoError for a server out of
    // reach (wrong address or port, server stopped) and any other reason.
    static std::unique_ptr<ServerDatabase> connect(const ServerAddress& address);
    ~ServerDatabase() override;

    const std::string& path() const override { return display_; }
    // A server has no file format: the newest one the engine writes stands for it.
    jet::Format format() const override { return jet::Format::Jet4; }
    bool readOnly() const override { return false; }
    std::string readOnlyReason() const override { return {}; }
    std::vector<std::string> tableNames(bool includeSystem = false) const override;
    jet::TableInfo table(const std::string& name) const override;
    std::unique_ptr<jet::Recordset> openRecordset(const std::string& tableOrSelect) override;
    long execute(const std::string& sql) override;
    void createTable(const std::string& name, const std::vector<jet::ColumnSpec>& columns,
                     const std::vector<jet::IndexSpec>& indexes = {}) override;

    QSqlDatabase connection() const { return QSqlDatabase::database(name_, false); }

private:
    ServerDatabase() = default;
    QString name_; // of the Qt SQL connection
    std::string display_;
};

// The connection to the server is gone (the server stopped or restarted, the
// network dropped): code IoError. The connection is closed by then, and
// reconnect() makes it again.
class ConnectionLost : public jet::Error {
public:
    using jet::Error::Error;
};

// Throws the jet::Error for a failed statement: ConnectionLost when the
// connection is gone, else `code` (InvalidValue for a value too long,
// Constraint for a duplicate key). `doing` says what failed, in French.
[[noreturn]] void throwServerError(const QSqlDatabase& db, const QSqlError& error, const QString& doing,
                                   jet::Code code);

// Opens the connection `db` again when a loss closed it; throws
// ConnectionLost when the server still does not answer.
void reconnect(QSqlDatabase db);

// Runs `action` on `db`, first reconnecting when an earlier loss closed the
// connection. When the action finds that the connection dropped since the
// last one (the server restarted meanwhile), it reconnects and runs the
// action once more. Only for actions that may run twice: a read, or a
// transaction that reads what is stored before it writes.
template <typename Action>
auto reconnecting(QSqlDatabase db, Action action) -> decltype(action())
{
    reconnect(db);
    try {
        return action();
    } catch (const ConnectionLost&) {
    }
    reconnect(db);
    return action();
}

} // namespace velmor::server
