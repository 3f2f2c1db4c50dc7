#include "testkit/scratch_server.h"

#include <QDir>
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

QString ScratchServer::createDatabase(const QString& name, const QString& copyOf)
{
    if (!run(QStringLiteral("createdb"), {QStringLiteral("-h"), host(), QStringLiteral("-p"), QString::number(port_),
                                          QStringLiteral("-U"), user(), QStringLiteral("-E"), QStringLiteral("UTF8"),
                                          QStringLiteral("-T"), copyOf.isEmpty() ? QStringLiteral("template0") : copyOf, name}))
        return QString();
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user(), host()).arg(port_).arg(name);
}

} // namespace velmor
