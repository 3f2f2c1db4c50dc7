#include "server/export_command.h"

#include "server/server_database.h"
#include "tools/csv_export.h"

#include "jet/recordset.h"
#include "jet/status.h"

#include <algorithm>
#include <cstdlib>

namespace velmor::server {

namespace {

int usage(std::ostream& err, const std::string& why)
{
    err << "velmor-db : " << why << "\nAide : velmor-db --help\n";
    return 2;
}

} // namespace

int runServerExport(std::vector<std::string> args, std::ostream& out, std::ostream& err)
{
    const auto flag = std::find(args.begin(), args.end(), "--ignorer-types-inconnus");
    if (flag != args.end())
        args.erase(flag);
    const std::string command = args.at(0);
    if (args.size() < 3)
        return usage(err, command == "query" ? "requête manquante" : "nom de table manquant");
    long limit = -1;
    if (command == "export" && args.size() == 5 && (args[3] == "--lignes" || args[3] == "--rows")) {
        char* end = nullptr;
        limit = std::strtol(args[4].c_str(), &end, 10);
        if (!end || *end || limit < 0)
            return usage(err, "nombre de lignes invalide : " + args[4]);
    } else if (args.size() > 3) {
        return usage(err, "trop d'arguments pour " + command);
    }
    const auto address = parseServerAddress(QString::fromStdString(args[1]));
    if (!address)
        return usage(err, "adresse de serveur incomplète");
    try {
        auto db = ServerDatabase::connect(*address);
        auto rows = db->openRecordset(args[2]);
        if (command == "count") {
            out << rows->recordCount() << "\n";
            return 0;
        }
        writeCsvHeader(out, *rows);
        writeCsvRows(out, *rows, limit);
        out.flush();
        return out ? 0 : 1;
    } catch (const jet::Error& e) {
        err << "velmor-db : " << e.what() << "\n";
        return 1;
    }
}

} // namespace velmor::server
