#include "testkit/scratch_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QVersionNumber>

#if defined(Q_OS_UNIX)
#include <pwd.h>
#include <unistd.h>
#endif

namespace velmor {

namespace {

QString findBinDir()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    // A link on the PATH (/usr/local/bin/initdb) stands for the folder of
    // the real one, where pg_ctl and createdb are too.
    if (!onPath.isEmpty())
        return QFileInfo(QFileInfo(onPath).canonicalFilePath()).absolutePath();
    // Debian keeps them out of the PATH, one folder per major version.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString& v : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber n = QVersionNumber::fromString(v);
        if (QFileInfo::exists(versions.filePath(v + QStringLiteral("/bin/initdb"))) && n > bestVersion) {
            bestVersion = n;
            best = versions.filePath(v + QStringLiteral("/bin"));
        }
    }
    return best;
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

ScratchServer::ScratchServer() : binDir_(findBinDir())
{
#if defined(Q_OS_UNIX)
    asPostgres_ = geteuid() == 0;
#endif
}

ScratchServer::~ScratchServer()
{
    stop();
}

QString ScratchServer::absentMessage() const
{
    return QStringLiteral("PostgreSQL is not installed (no initdb on the PATH nor in /usr/lib/postgresql/*/bin): "
                          "install the postgresql package (scripts/install-packages.sh) to run these tests");
}

bool ScratchServer::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = QDir(binDir_).filePath(program);
    if (asPostgres_) {
        // runuser keeps the environment; the cluster's files belong to postgres.
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), path} + arguments);
    } else {
        process.start(path, arguments);
    }
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error_ = QStringLiteral("%1 failed (%2): %3")
                     .arg(program, process.errorString(), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool ScratchServer::start()
{
    if (running_)
        return true;
    if (binDir_.isEmpty()) {
        error_ = absentMessage();
        return false;
    }
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/velmor-pg-XXXXXX"));
        if (!dir_->isValid()) {
            error_ = QStringLiteral("no temporary folder: ") + dir_->errorString();
            return false;
        }
        dataDir_ = dir_->filePath(QStringLiteral("data"));
#if defined(Q_OS_UNIX)
        if (asPostgres_) {
            const passwd* postgres = getpwnam("postgres");
            if (!postgres) {
                error_ = QStringLiteral("running as root, and there is no postgres user to run the cluster as");
                return false;
            }
            if (chown(QFile::encodeName(dir_->path()).constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
                error_ = QStringLiteral("cannot give the temporary folder to postgres");
                return false;
            }
        }
#endif
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), dataDir_, QStringLiteral("-U"), user(), QStringLiteral("--auth=trust"),
                  QStringLiteral("--encoding=UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")}))
            return false;
        if (!requirePasswordsOfGroup())
            return false;
    }
    port_ = port_ ? port_ : freePort();
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off")
                                .arg(port_)
                                .arg(dir_->path());
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("start"), QStringLiteral("-w"), QStringLiteral("-D"), dataDir_,
                                         QStringLiteral("-l"), dir_->filePath(QStringLiteral("server.log")),
                                         QStringLiteral("-o"), options}))
        return false;
    running_ = true;
    return true;
}

bool ScratchServer::stop()
{
    if (!running_)
        return true;
    running_ = false;
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("stop"), QStringLiteral("-w"), QStringLiteral("-m"), QStringLiteral("immediate"),
                QStringLiteral("-D"), dataDir_});
}

bool ScratchServer::restart()
{
    return stop() && start();
}

// Members of the group kPasswordGroup must give their password (SCRAM) over
// TCP; everyone else keeps the trusted connection. The rule goes before
// initdb's own, since the first matching line decides; a group is looked up
// at each connection, so users added later need no reload.
bool ScratchServer::requirePasswordsOfGroup()
{
    QFile hba(QDir(dataDir_).filePath(QStringLiteral("pg_hba.conf")));
    if (!hba.open(QIODevice::ReadOnly)) {
        error_ = QStringLiteral("cannot read pg_hba.conf: ") + hba.errorString();
        return false;
    }
    const QByteArray rules = hba.readAll();
    hba.close();
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        hba.write("host all +" + QByteArray(kPasswordGroup) + " 127.0.0.1/32 scram-sha-256\n" + rules) < 0) {
        error_ = QStringLiteral("cannot write pg_hba.conf: ") + hba.errorString();
        return false;
    }
    return true;
}

bool ScratchServer::createPasswordUser(const QString& name, const QString& password)
{
    auto literal = [](QString text) { return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) +
                                             QLatin1Char('\''); };
    const QString group = QString::fromLatin1(kPasswordGroup);
    // A superuser, so that it reads and writes the tables the tests copy in.
    const QString sql = QStringLiteral("DO $$BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = %1) THEN "
                                       "CREATE ROLE %2 NOLOGIN; END IF; END$$; "
                                       "CREATE ROLE \"%3\" LOGIN SUPERUSER PASSWORD %4 IN ROLE %2;")
                            .arg(literal(group), group, QString(name).remove(QLatin1Char('"')), literal(password));
    return run(QStringLiteral("psql"), {QStringLiteral("-h"), host(), QStringLiteral("-p"), QString::number(port_),
                                        QStringLiteral("-U"), user(), QStringLiteral("-d"), QStringLiteral("postgres"),
                                        QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"), sql});
}

QString ScratchServer::createDatabase(const QString& name, const QString& copyOf)
{
    if (!run(QStringLiteral("createdb"), {QStringLiteral("-h"), host(), QStringLiteral("-p"), QString::number(port_),
                                          QStringLiteral("-U"), user(), QStringLiteral("-E"), QStringLiteral("UTF8"),
                                          QStringLiteral("-T"), copyOf.isEmpty() ? QStringLiteral("template0") : copyOf, name}))
        return QString();
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user(), host()).arg(port_).arg(name);
}

} // namespace velmor
