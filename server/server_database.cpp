#include "server/server_database.h"

#include "server/row_source_sql.h"
#include "server/server_recordset.h"
#include "server/server_values.h"

#include "jet/recordset.h"
#include "jet/status.h"

#include <QAtomicInt>
#include <algorithm>
#include <QSqlQuery>

namespace velmor::server {

namespace {

// "127.0.0.1:5432 (base velmor)": the server of a connection, as messages name it.
QString serverName(const QSqlDatabase& db)
{
    return QStringLiteral("%1:%2 (base %3)").arg(db.hostName()).arg(db.port()).arg(db.databaseName());
}

// Why the server at `a` refused the connection, in French, from libpq's
// message (in English or, with its translations, in French). The codes:
// PasswordRequired or WrongPassword for the password, NotFound for a
// missing database, IoError for a server out of reach and the rest.
jet::Error refusal(const ServerAddress& a, const QString& text)
{
    const QString lower = text.toLower();
    auto has = [&](std::initializer_list<const char*> keys) {
        return std::any_of(keys.begin(), keys.end(), [&](const char* k) { return lower.contains(QString::fromUtf8(k)); });
    };
    const QString server = QStringLiteral("%1:%2").arg(a.host).arg(a.port);
    auto error = [](jet::Code code, const QString& message) { return jet::Error(code, message.toStdString()); };
    if (has({"no password supplied", "aucun mot de passe"}))
        return error(jet::Code::PasswordRequired, QStringLiteral("le serveur %1 demande le mot de passe de "
                                                                 "l'utilisateur « %2 »").arg(server, a.user));
    if (has({"password authentication failed", "authentification par mot de passe"}))
        return error(jet::Code::WrongPassword, QStringLiteral("le serveur %1 refuse le mot de passe de "
                                                              "l'utilisateur « %2 »").arg(server, a.user));
    if (has({"does not exist", "n'existe pas"}))
        return has({"database", "base de données"})
                   ? error(jet::Code::NotFound,
                           QStringLiteral("la base « %1 » n'existe pas sur le serveur %2").arg(a.database, server))
                   : error(jet::Code::IoError, QStringLiteral("l'utilisateur « %1 » n'existe pas sur le serveur %2")
                                                   .arg(a.user, server));
    const QString firstLine = text.trimmed().section(QLatin1Char('\n'), 0, 0);
    if (has({"connection refused", "connexion refusée", "translate host name", "traduire le nom", "timeout",
             "expir", "no route", "unreachable", "injoignable"}))
        return error(jet::Code::IoError, QStringLiteral("le serveur %1 est injoignable : vérifiez son adresse et "
                                                        "son port, et qu'il est démarré (%2)")
                                             .arg(server, firstLine));
    return error(jet::Code::IoError, QStringLiteral("le serveur %1 refuse la connexion : %2").arg(server, firstLine));
}

} // namespace

void throwServerError(const QSqlDatabase& db, const QSqlError& error, const QString& doing, jet::Code code)
{
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().trimmed().isEmpty() ? error.text().trimmed()
                                                                  : error.databaseText().trimmed();
    if (error.type() == QSqlError::ConnectionError || !db.isOpen() || state.startsWith(QLatin1String("08")) ||
        state == QLatin1String("57P01")) {
        QSqlDatabase(db).close(); // the next action opens it again
        throw ConnectionLost(jet::Code::IoError,
                             QStringLiteral("la connexion au serveur %1 est perdue (%2 : %3)")
                                 .arg(serverName(db), doing, text.section(QLatin1Char('\n'), 0, 0))
                                 .toStdString());
    }
    if (state == QLatin1String("22001") || state.startsWith(QLatin1String("22")))
        code = jet::Code::InvalidValue;
    else if (state == QLatin1String("23505"))
        code = jet::Code::Constraint;
    throw jet::Error(code, QStringLiteral("%1 : %2").arg(doing, text).toStdString());
}

std::unique_ptr<ServerDatabase> ServerDatabase::connect(const ServerAddress& address)
{
    static QAtomicInt counter;
    std::unique_ptr<ServerDatabase> db(new ServerDatabase);
    db->name_ = QStringLiteral("velmor-server-%1").arg(counter.fetchAndAddRelaxed(1));
    db->display_ = address.display().toStdString();
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), db->name_);
    if (!c.isValid())
        throw jet::Error(jet::Code::IoError,
                         "le pilote PostgreSQL de Qt (paquet libqt6sql6-psql) n'est pas installé");
    c.setHostName(address.host);
    c.setPort(address.port);
    c.setDatabaseName(address.database);
    c.setUserName(address.user);
    if (!address.password.isEmpty())
        c.setPassword(address.password);
    c.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=velmor"));
    if (!c.open())
        throw refusal(address, c.lastError().databaseText());
    QSqlQuery(c).exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
    return db;
}

void reconnect(QSqlDatabase db)
{
    if (db.isOpen())
        return;
    if (!db.open())
        throw ConnectionLost(jet::Code::IoError,
                             QStringLiteral("la connexion au serveur %1 est perdue et le serveur ne répond pas : %2")
                                 .arg(serverName(db), db.lastError().databaseText().trimmed().section(QLatin1Char('\n'), 0, 0))
                                 .toStdString());
    QSqlQuery(db).exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
}

ServerDatabase::~ServerDatabase()
{
    {
        QSqlDatabase c = QSqlDatabase::database(name_, false);
        c.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

std::vector<std::string> ServerDatabase::tableNames(bool) const
{
    QSqlQuery q(connection());
    if (!q.exec(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                               "current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name")))
        throwServerError(connection(), q.lastError(), QStringLiteral("liste des tables"), jet::Code::IoError);
    std::vector<std::string> names;
    while (q.next())
        names.push_back(q.value(0).toString().toStdString());
    return names;
}

jet::TableInfo ServerDatabase::table(const std::string& name) const
{
    QSqlQuery q(connection());
    q.prepare(QStringLiteral("SELECT column_name, data_type, coalesce(character_maximum_length, 0), "
                             "coalesce(numeric_precision, 0), coalesce(numeric_scale, 0), is_nullable, is_identity "
                             "FROM information_schema.columns WHERE table_schema = current_schema() "
                             "AND table_name = ? ORDER BY ordinal_position"));
    q.addBindValue(QString::fromStdString(name).toLower());
    if (!q.exec())
        throwServerError(connection(), q.lastError(), QStringLiteral("lecture de la table"), jet::Code::IoError);
    jet::TableInfo info;
    info.name = QString::fromStdString(name).toLower().toStdString();
    int number = 0;
    while (q.next()) {
        const QString column = q.value(0).toString();
        if (column == rowKeyColumn)
            continue;
        jet::ColumnInfo c = columnFromServer(column, q.value(1).toString(), q.value(2).toInt(), q.value(3).toInt(),
                                             q.value(4).toInt(), q.value(5).toString() == QLatin1String("YES"),
                                             q.value(6).toString() == QLatin1String("YES"));
        c.number = number++;
        info.columns.push_back(c);
    }
    if (info.columns.empty())
        throw jet::Error(jet::Code::NotFound, "la table « " + name + " » n'existe pas sur le serveur");
    return info;
}

std::unique_ptr<jet::Recordset> ServerDatabase::openRecordset(const std::string& tableOrSelect)
{
    ServerRowSource source = translateRowSource(QString::fromStdString(tableOrSelect));
    jet::TableInfo info = table(source.table.toStdString());
    return std::make_unique<ServerRecordset>(connection(), std::move(info), std::move(source));
}

long ServerDatabase::execute(const std::string&)
{
    throw jet::Error(jet::Code::Unsupported, "les instructions INSERT, UPDATE et DELETE ne passent pas par ici sur un serveur");
}

void ServerDatabase::createTable(const std::string&, const std::vector<jet::ColumnSpec>&,
                                 const std::vector<jet::IndexSpec>&)
{
    throw jet::Error(jet::Code::Unsupported, "les tables d'un serveur se créent par velmor-db migrate");
}

} // namespace velmor::server
