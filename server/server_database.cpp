#include "server/server_database.h"

#include "server/row_source_sql.h"
#include "server/server_recordset.h"
#include "server/server_values.h"

#include "jet/recordset.h"
#include "jet/status.h"

#include <QAtomicInt>
#include <QSqlQuery>

namespace velmor::server {

void throwServerError(const QSqlDatabase& db, const QSqlError& error, const QString& doing, jet::Code code)
{
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().trimmed().isEmpty() ? error.text().trimmed()
                                                                  : error.databaseText().trimmed();
    if (error.type() == QSqlError::ConnectionError || !db.isOpen() || state.startsWith(QLatin1String("08")) ||
        state == QLatin1String("57P01"))
        throw jet::Error(jet::Code::IoError,
                         QStringLiteral("la connexion au serveur est perdue (%1) : %2").arg(doing, text).toStdString());
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
        throw jet::Error(jet::Code::IoError, QStringLiteral("le serveur %1 refuse la connexion : %2")
                                                 .arg(address.display(), c.lastError().databaseText().trimmed())
                                                 .toStdString());
    QSqlQuery(c).exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
    return db;
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

void ServerDatabase::createTable(const std::string&, const std::vector<jet::ColumnSpec>&)
{
    throw jet::Error(jet::Code::Unsupported, "les tables d'un serveur se créent par velmor-db migrate");
}

} // namespace velmor::server
