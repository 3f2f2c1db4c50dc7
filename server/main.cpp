// velmor-db-migrate FILE postgresql://USER@HOST:PORT/DATABASE: copies the
// tables of an Access file onto a PostgreSQL server (server/migration.h).
// `velmor-db migrate` runs it: velmor-db itself uses the engine alone, and
// this program needs Qt SQL's driver. A progress line per lot of rows on the
// standard error, the count of rows copied per table on the standard output.
// Exit code: 0 when copied, 1 on any failure (nothing is then copied), 2 for
// a malformed command.
//
// velmor-db-migrate export|query|count postgresql://... ...: velmor-db's
// command of that name on a server's database (server/export_command.h);
// velmor-db runs it for a postgresql:// source.
#include "server/export_command.h"
#include "server/migration.h"

#include "jet/status.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <iostream>

namespace {

// The columns a service searches and sorts on: the client and the author.
const std::set<std::string> indexedColumns = {"client", "clientp", "nomauteur", "nomauteurp"};

int usage(const char* why)
{
    std::cerr << "velmor-db : " << why
              << "\nUsage : velmor-db migrate FICHIER postgresql://UTILISATEUR@SERVEUR:PORT/BASE\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && QStringList{"export", "query", "count"}.contains(args[0])) {
        std::vector<std::string> command;
        for (const QString& a : args)
            command.push_back(a.toStdString());
        return velmor::server::runServerExport(command, std::cout, std::cerr);
    }
    if (args.size() != 2)
        return usage(args.size() < 2 ? "fichier ou adresse du serveur manquant" : "trop d'arguments pour migrate");
    const auto address = velmor::server::parseServerAddress(args[1]);
    if (!address)
        return usage("adresse de serveur incomplète");
    try {
        auto file = jet::Database::open(QFile::encodeName(args[0]).toStdString(), jet::OpenMode::ReadOnly);
        auto server = velmor::server::ServerDatabase::connect(*address);
        const auto copied = velmor::server::migrateToServer(
            *file, *server, indexedColumns, [](const std::string& table, long done, long total) {
                std::cerr << "\r" << table << " : " << done << " / " << total << " lignes" << std::flush;
                if (done == total)
                    std::cerr << "\n";
            });
        for (const auto& t : copied)
            std::cout << t.name << " : " << t.rows << " lignes copiées\n";
        std::cout << "Copie terminée vers " << address->display().toStdString() << "\n";
        return 0;
    } catch (const jet::Error& e) {
        std::cerr << "\nvelmor-db : " << e.what() << "\n";
        return 1;
    }
}
