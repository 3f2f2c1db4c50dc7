// For tests: a PostgreSQL cluster of their own, made for the test program and
// thrown away at its end. `initdb` into a temporary folder, the server on a
// free port of 127.0.0.1 (and a socket in that folder only), trusted
// connections from there, `pg_ctl stop` and the folder removed by the
// destructor. `initdb` refuses to run as root: as root the cluster runs as
// the `postgres` user that Debian's package creates, and owns the folder.
//
//   ScratchServer server;            // in initTestCase, kept by the test object
//   VELMOR_SKIP_WITHOUT_POSTGRESQL(server);
//   QVERIFY2(server.start(), qPrintable(server.error()));
//   const QString url = server.createDatabase("velmor");
//
// Only a machine without PostgreSQL's programs skips; once they are found, a
// cluster that cannot start fails the test.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmor {

class ScratchServer {
public:
    ScratchServer();
    ~ScratchServer(); // stops the server and removes its folder
    ScratchServer(const ScratchServer&) = delete;
    ScratchServer& operator=(const ScratchServer&) = delete;

    // The folder of initdb and pg_ctl: on the PATH, else the newest
    // /usr/lib/postgresql/N/bin; empty when PostgreSQL is not installed.
    QString binDir() const { return binDir_; }
    QString absentMessage() const;

    // Makes and starts the cluster; false with error() saying why.
    bool start();
    QString error() const { return error_; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }
    QString user() const { return QStringLiteral("velmor"); } // the cluster's superuser

    // Creates an empty database (UTF-8), or a copy of the database
    // `copyOf` (which nobody may be connected to), and returns its address,
    // postgresql://velmor@127.0.0.1:PORT/NAME; empty with error() on failure.
    QString createDatabase(const QString& name, const QString& copyOf = QString());
    // Adds a login role that must give `password` to connect (SCRAM over TCP,
    // where every other user is trusted); false with error() on failure.
    bool createPasswordUser(const QString& name, const QString& password);
    // Stops the server as a crash would (immediate); start() again restarts it.
    bool stop();
    bool restart();

private:
    static constexpr const char* kPasswordGroup = "avec_mot_de_passe";
    bool run(const QString& program, const QStringList& arguments);
    bool requirePasswordsOfGroup();
    QString binDir_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString dataDir_;
    int port_ = 0;
    bool running_ = false;
    bool asPostgres_ = false;
    QString error_;
};

} // namespace velmor

// For Qt Test (QSKIP, from <QtTest>, where it is used).
#define VELMOR_SKIP_WITHOUT_POSTGRESQL(server)                                                     \
    do {                                                                                           \
        if ((server).binDir().isEmpty())                                                           \
            QSKIP(qPrintable((server).absentMessage()));                                           \
    } while (0)
