// velmor-db: lists, describes, exports and queries the tables of an Access
// file with Velmor's own engine.
#include "attachments_command.h"
#include "column_types.h"
#include "command_line.h"
#include "password_option.h"
#include "csv_export.h"
#include "migrate_command.h"
#include "velmor_db_write.h"

#include "jet/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/lock_wait.h"
#include "jet/recordset.h"
#include "jet/status.h"
#include "velmor/version.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "Usage : velmor-db COMMANDE FICHIER [ARGUMENTS]\n"
    "\n"
    "Lit une base Access (.mdb, .accdb) sans pilote.\n"
    "\n"
    "Commandes :\n"
    "  tables FICHIER [--systeme]   liste les tables (avec --systeme : les tables MSys* aussi)\n"
    "  schema FICHIER [TABLE]       décrit les colonnes et les index d'une table ou de toutes\n"
    "  export FICHIER TABLE [--lignes N] [--ignorer-types-inconnus]\n"
    "                               écrit la table en CSV sur la sortie standard\n"
    "  query FICHIER \"SELECT ...\" [--ignorer-types-inconnus]\n"
    "                               écrit en CSV les lignes d'une requête\n"
    "  attachments FICHIER TABLE [DOSSIER]\n"
    "                               extrait les pièces jointes de la table dans DOSSIER\n"
    "                               (par défaut « TABLE - pièces jointes »), un sous-dossier\n"
    "                               par colonne puis par ligne (ligne-1, ligne-2...)\n"
    "  count FICHIER TABLE|SELECT   affiche le nombre de lignes\n"
    "  check FICHIER                vérifie pages, tables d'occupation, valeurs longues et index\n"
    "  compact FICHIER              compacte la base (refusé tant qu'un autre programme l'a ouverte)\n"
    "  migrate FICHIER postgresql://UTILISATEUR@SERVEUR:PORT/BASE\n"
    "                               copie les tables et toutes leurs lignes sur un serveur PostgreSQL,\n"
    "                               en une transaction (refusé si les tables y sont déjà)\n"
    "  export, query et count acceptent aussi une adresse postgresql://... à la place du FICHIER\n"
    "\n"
    "Format CSV : UTF-8, une ligne d'en-tête, chaque valeur entre guillemets doubles\n"
    "(guillemets doublés), valeur NULL = champ vide, binaire = 0x suivi de l'hexadécimal.\n"
    "Quand un autre programme écrit dans la base, velmor-db attend qu'il ait fini (30 s au plus)\n"
    "et le dit sur la sortie d'erreur.\n"
    "Les valeurs que velmor-db ne sait pas convertir (pièces jointes, valeurs multiples, types\n"
    "inconnus) sont écrites en champ vide, et la sortie d'erreur nomme leur table, colonne et type.\n"
    "Code de sortie : 0 si tout va bien, 1 en cas d'erreur, 2 si la commande est mal formée,\n"
    "3 si des valeurs n'ont pas été converties (0 avec --ignorer-types-inconnus).\n"
    "Base protégée par un mot de passe (.mdb) : ajoutez --mot-de-passe MOT à la commande.\n"
    "velmor-db --version affiche la version.\n";

// While another program holds the file: says on stderr what the tool waits
// for, again every few seconds, and gives up after kPatienceMs.
constexpr long kPatienceMs = 30000;
constexpr long kRemindEveryMs = 5000;

bool reportWait(const jet::LockWait& wait)
{
    static long reminded = 0;
    switch (wait.phase) {
    case jet::LockWait::Phase::Begin:
        reminded = 0;
        std::cerr << "velmor-db : la base " << wait.path << " est occupée par un autre programme "
                  << "(écriture en cours) ; attente pour " << (wait.write ? "écrire" : "lire") << "…\n";
        return true;
    case jet::LockWait::Phase::Waiting:
        if (wait.waitedMs >= kPatienceMs)
            return false;
        if (wait.waitedMs / kRemindEveryMs > reminded) {
            reminded = wait.waitedMs / kRemindEveryMs;
            std::cerr << "velmor-db : toujours en attente (" << wait.waitedMs / 1000 << " s)…\n";
        }
        return true;
    case jet::LockWait::Phase::End:
        if (wait.acquired)
            std::cerr << "velmor-db : la base est libre, reprise.\n";
        else if (wait.waitedMs >= kPatienceMs)
            std::cerr << "velmor-db : abandon après " << kPatienceMs / 1000 << " s d'attente.\n";
        return true;
    }
    return true;
}

// Opens the file read-only; says on stderr when a journal beside it was made
// for another file (it is left alone and the file read as it is).
std::unique_ptr<jet::Database> openForReading(const std::string& file)
{
    auto db = velmor::openDatabase(file, jet::OpenMode::ReadOnly);
    if (db->journalOrphaned())
        std::cerr << "velmor-db : " << db->readOnlyReason() << "\n";
    return db;
}

int usageError(const std::string& message)
{
    std::cerr << "velmor-db : " << message << "\nEssayez « velmor-db --help ».\n";
    return 2;
}

// The table a SELECT reads: the name after FROM, brackets taken away.
std::string tableOfSelect(const std::string& select)
{
    std::string upper = select;
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    size_t at = upper.find(" FROM ");
    if (at == std::string::npos)
        return select;
    at = select.find_first_not_of(" \t", at + 6);
    if (at == std::string::npos)
        return select;
    if (select[at] == '[') {
        const size_t end = select.find(']', at);
        return select.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    return select.substr(at, select.find_first_of(" \t;", at) - at);
}

std::string flagsOf(const jet::ColumnInfo& c)
{
    std::string flags;
    auto add = [&](const char* f) {
        if (!flags.empty())
            flags += ", ";
        flags += f;
    };
    add(c.fixed ? "fixe" : "variable");
    if (!c.nullable)
        add("requis");
    if (c.autonumber)
        add("numéro auto");
    if (c.compressedUnicode)
        add("compression Unicode");
    if (c.hyperlink)
        add("lien hypertexte");
    return flags;
}

void printSchema(const jet::TableInfo& t)
{
    std::cout << "Table " << t.name << (t.system ? " (système)" : "") << " : " << t.rowCount << " lignes, "
              << t.columns.size() << " colonnes, page de définition " << t.definitionPage << "\n";
    for (const auto& c : t.columns) {
        std::cout << "  " << c.name << " : " << velmor::columnTypeText(c);
        if (c.type == jet::ColumnType::Text)
            std::cout << "(" << c.maxChars << ")";
        if (c.type == jet::ColumnType::Numeric)
            std::cout << "(" << c.precision << ", " << c.scale << ")";
        std::cout << " [" << flagsOf(c) << "]\n";
    }
    for (const auto& i : t.indexes) {
        std::cout << "  index " << i.name << " (";
        for (size_t k = 0; k < i.columns.size(); ++k)
            std::cout << (k ? ", " : "") << i.columns[k].column << (i.columns[k].ascending ? "" : " DESC");
        std::cout << ")";
        if (i.primary)
            std::cout << " clé primaire";
        if (i.unique && !i.primary)
            std::cout << " unique";
        if (i.ignoreNulls)
            std::cout << " ignore les NULL";
        if (i.required)
            std::cout << " requis";
        if (i.foreignKey)
            std::cout << " clé étrangère";
        std::cout << "\n";
    }
}

// export, query and count: the rows of a table or a SELECT.
int exportRows(const std::vector<std::string>& args, bool ignoreUnconverted)
{
    const std::string& command = args[0];
    const std::string& file = args[1];
    if (args.size() < 3)
        return usageError(command == "query" ? "requête manquante" : "nom de table manquant");
    long limit = -1;
    if (command == "export" && args.size() == 5 && (args[3] == "--lignes" || args[3] == "--rows")) {
        char* end = nullptr;
        limit = std::strtol(args[4].c_str(), &end, 10);
        if (!end || *end || limit < 0)
            return usageError("nombre de lignes invalide : " + args[4]);
    } else if (args.size() > 3) {
        return usageError("trop d'arguments pour " + command);
    }
    if (command == "query" && args[2].find_first_not_of(" \t") != std::string::npos) {
        std::string head = args[2].substr(args[2].find_first_not_of(" \t"));
        if (head.size() < 6 || strncasecmp(head.c_str(), "SELECT", 6) != 0)
            return usageError("la requête doit commencer par SELECT");
    }
    auto db = openForReading(file);
    auto rows = db->openRecordset(args[2]);
    if (command == "count") {
        std::cout << rows->recordCount() << "\n";
        return 0;
    }
    // Every row at once, under one hold of the file's lock: the export is
    // of one commit, and the lock is free again before the output is written.
    rows->fetchAll();
    std::ios::sync_with_stdio(false);
    velmor::writeCsvHeader(std::cout, *rows);
    std::vector<long> unconverted;
    velmor::writeCsvRows(std::cout, *rows, limit, &unconverted);
    std::cout.flush();
    if (!std::cout)
        throw jet::Error(jet::Code::IoError, "écriture sur la sortie standard impossible");
    const std::string table = command == "query" ? tableOfSelect(args[2]) : args[2];
    bool any = false;
    for (size_t i = 0; i < unconverted.size(); ++i) {
        if (unconverted[i] == 0)
            continue;
        any = true;
        const jet::ColumnInfo& c = rows->columns()[i];
        std::cerr << "velmor-db : attention : table " << table << ", colonne " << c.name << " ("
                  << velmor::columnTypeText(c) << ") : " << unconverted[i]
                  << (unconverted[i] > 1 ? " valeurs non converties, écrites" : " valeur non convertie, écrite")
                  << " en champ vide\n";
    }
    return any && !ignoreUnconverted ? 3 : 0;
}

int run(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    if (args.size() < 2)
        return usageError("fichier manquant pour la commande " + command);
    const std::string& file = args[1];

    if (command == "tables") {
        bool system = args.size() > 2 && (args[2] == "--systeme" || args[2] == "--système");
        if (args.size() > 2 && !system)
            return usageError("argument inattendu : " + args[2]);
        auto db = openForReading(file);
        for (const auto& name : db->tableNames(system))
            std::cout << name << "\n";
        return 0;
    }
    if (command == "schema") {
        if (args.size() > 3)
            return usageError("trop d'arguments pour schema");
        auto db = openForReading(file);
        std::cout << "Format : " << jet::formatName(db->format()) << "\n";
        if (args.size() == 3) {
            printSchema(db->table(args[2]));
        } else {
            for (const auto& name : db->tableNames())
                printSchema(db->table(name));
        }
        return 0;
    }
    if (command == "attachments")
        return velmor::runAttachmentsCommand(args);
    if (command == "export" || command == "query" || command == "count") {
        std::vector<std::string> plain = args;
        const auto flag = std::find(plain.begin(), plain.end(), "--ignorer-types-inconnus");
        const bool ignoreUnconverted = flag != plain.end() && command != "count";
        if (ignoreUnconverted)
            plain.erase(flag);
        return exportRows(plain, ignoreUnconverted);
    }
    if (command == "check") {
        if (args.size() > 2)
            return usageError("trop d'arguments pour check");
        jet::CheckReport report = jet::checkDatabase(file);
        for (const auto& note : report.notes)
            std::cout << "note : " << note << "\n";
        for (const auto& problem : report.problems)
            std::cout << "problème : " << problem << "\n";
        std::cout << report.tables << " tables, " << report.indexes << " index, " << report.entries
                  << " entrées vérifiées";
        if (report.unverifiedKeys > 0)
            std::cout << " (dont " << report.unverifiedKeys << " par ligne seulement, clé non calculable)";
        std::cout << " : " << (report.ok() ? "aucun problème" : "problèmes trouvés") << "\n";
        return report.ok() ? 0 : 1;
    }
    if (command == "compact") {
        if (args.size() > 2)
            return usageError("trop d'arguments pour compact");
        jet::CompactResult r = jet::compactDatabase(file);
        std::cout << "base compactée : " << r.sizeBefore << " octets avant, " << r.sizeAfter << " après\n";
        return 0;
    }
    if (int code = 0; velmor::runWriteCommand(args, code))
        return code;
    return usageError("commande inconnue : " + command);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = velmor::utf8Arguments(argc, argv);
    velmor::useBinaryOutput();
    if (args.empty())
        return usageError("commande manquante");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "aide") {
        std::cout << kUsage << "\nCommandes d'écriture :\n" << velmor::kWriteUsage;
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "velmor-db " VELMOR_VERSION "\n";
        return 0;
    }
    jet::setLockWaitHandler(reportWait);
    std::vector<std::string> rest = args;
    if (std::string error; !velmor::takePasswordOption(rest, error))
        return usageError(error);
    if (rest.empty())
        return usageError("commande manquante");
    if (rest[0] == "migrate")
        return velmor::runMigrate(rest, argv[0]);
    if ((rest[0] == "export" || rest[0] == "query" || rest[0] == "count") && rest.size() > 1 &&
        rest[1].rfind("postgresql://", 0) == 0)
        return velmor::runServerExport(rest, argv[0]);
    try {
        return run(rest);
    } catch (const jet::Error& e) {
        std::cerr << "velmor-db : " << e.what();
        if (e.code() == jet::Code::PasswordRequired)
            std::cerr << " (option --mot-de-passe MOT)";
        std::cerr << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "velmor-db : erreur inattendue : " << e.what() << "\n";
        return 1;
    }
}
