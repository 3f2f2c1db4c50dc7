#include "velmor_db_write.h"

#include "command_line.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include "csv_import.h"
#include "password_option.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace velmor {

const char* kWriteUsage =
    "  init FICHIER [--format 97]   crée une base Velmor vide (tables velmor2001 et tablep), au format\n"
    "                               Access 2000, ou Access 97 avec --format 97\n"
    "  demo FICHIER                 crée une base Velmor avec une cinquantaine de lignes par table\n"
    "  import FICHIER TABLE CSV [--par-lots N]\n"
    "                               ajoute à TABLE les lignes d'un fichier CSV (en-tête = colonnes),\n"
    "                               toutes ou aucune : la première ligne refusée est nommée et rien\n"
    "                               n'est écrit ; avec --par-lots N, une écriture par lot de N lignes\n"
    "                               (les lots écrits avant la ligne refusée restent)\n"
    "  exec FICHIER \"SQL\"           exécute INSERT, UPDATE ou DELETE et affiche le nombre de lignes\n";

const std::vector<VelmorColumn>& returnTableColumns()
{
    static const std::vector<VelmorColumn> columns = {
        {"id", VelmorColumn::Number},
        {"emetteur", VelmorColumn::Text},         {"naccord", VelmorColumn::Text},
        {"dateaccord", VelmorColumn::Date},       {"client", VelmorColumn::Text},
        {"materiel", VelmorColumn::Text},         {"motif", VelmorColumn::Text},
        {"daterecp", VelmorColumn::Date},         {"parquirecep", VelmorColumn::Text},
        {"dateretourclient", VelmorColumn::Date}, {"intervention", VelmorColumn::Memo},
        {"parquiinterv", VelmorColumn::Text},     {"nomauteur", VelmorColumn::Text}};
    return columns;
}

const std::vector<VelmorColumn>& loanTableColumns()
{
    static const std::vector<VelmorColumn> columns = {
        {"id", VelmorColumn::Number},
        {"emetteurp", VelmorColumn::Text},     {"naccordp", VelmorColumn::Text},
        {"dateaccordp", VelmorColumn::Date},   {"clientp", VelmorColumn::Text},
        {"materielp", VelmorColumn::Text},     {"motifp", VelmorColumn::Text},
        {"parquip", VelmorColumn::Text},       {"dateenvoip", VelmorColumn::Date},
        {"retourmathsp", VelmorColumn::Text},  {"dateretourhsp", VelmorColumn::Date},
        {"rdzvp", VelmorColumn::Text},         {"nomauteurp", VelmorColumn::Text}};
    return columns;
}

namespace {

std::vector<jet::ColumnSpec> specs(const std::vector<VelmorColumn>& columns)
{
    std::vector<jet::ColumnSpec> out;
    for (const auto& c : columns) {
        jet::ColumnSpec s;
        s.name = c.name;
        s.type = c.kind == VelmorColumn::Number ? jet::ColumnType::Long
                 : c.kind == VelmorColumn::Date ? jet::ColumnType::DateTime
                 : c.kind == VelmorColumn::Memo ? jet::ColumnType::Memo
                                                : jet::ColumnType::Text;
        s.autonumber = c.kind == VelmorColumn::Number;
        s.maxChars = 255;
        out.push_back(s);
    }
    return out;
}

// The primary key on the row's number, and the index the sheets search by
// client with.
std::vector<jet::IndexSpec> indexes(const char* clientColumn)
{
    jet::IndexSpec key{"PrimaryKey", {{"id", true}}};
    key.primary = true;
    return {key, jet::IndexSpec{clientColumn, {{clientColumn, true}}}};
}

// ---- demo rows ---------------------------------------------------------

struct Rng {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state >> 33);
    }
    int below(int n) { return int(next() % uint32_t(n)); }
    template <typename T, size_t N>
    const T& pick(const T (&a)[N]) { return a[below(int(N))]; }
};

const char* kClients[] = {"L'Oréal", "Crédit Agricole", "Société Générale d'Équipement", "Boulangerie Dupré & Fils",
                          "Mairie de Saint-Étienne", "Pharmacie de l'Église", "Garage Lefèvre", "Café de l'Hôtel de Ville",
                          "Étude notariale Müller", "Clinique Sainte-Thérèse", "Lycée Jean-Jaurès", "Imprimerie Gaëlle"};
const char* kMateriel[] = {"Écran 17\" Iiyama", "Imprimante laser HP 4050", "PC Compaq Deskpro", "Onduleur APC 650 VA",
                           "Portable Toshiba Satellite", "Scanner Epson", "Modem 56k Olitec", "Clavier AZERTY",
                           "Lecteur de disquettes", "Switch 3Com 16 ports"};
const char* kMotifs[] = {"Ne s'allume plus", "Écran qui scintille", "Bourrage papier répété", "Disque dur bruyant",
                         "Bip continu au démarrage", "Garantie : échange standard", "Touche « Entrée » bloquée",
                         "Prêt pendant la réparation", "Remplacement provisoire", "Panne d'alimentation"};
const char* kPeople[] = {"Hélène", "François", "Zoé", "Jérôme", "Anaïs", "Noël", "Cécile", "Benoît"};
const char* kInterventions[] = {"Carte mère remplacée, tests OK.", "Nettoyage et réglage du tambour.",
                                "Alimentation changée ; essais concluants pendant 48 h.",
                                "Disque remplacé, données restaurées depuis la sauvegarde du client.",
                                "Aucune panne constatée, matériel rendu en l'état.", "Mise à jour du BIOS et des pilotes."};

jet::Value date(int year, int dayOfYear, int hour = 0, int minute = 0)
{
    return jet::Value::dateTime(jet::Value::dateTime(year, 1, 1).asDateTime() + dayOfYear + (hour * 60 + minute) / 1440.0);
}

void addDemoRows(jet::Database& db)
{
    Rng rng{20011231};
    {
        auto rs = db.openRecordset("velmor2001");
        for (int i = 1; i <= 50; ++i) {
            int day = (i * 7) % 360;
            rs->addNew();
            auto set = [&](const char* column, const jet::Value& v) { rs->setValue(rs->columnIndex(column), v); };
            set("emetteur", jet::Value::text(rng.pick(kPeople)));
            char number[32];
            std::snprintf(number, sizeof number, "A-2001-%03d", i);
            set("naccord", jet::Value::text(number));
            if (i % 11 != 5)
                set("dateaccord", date(2001, day, i % 9 == 0 ? 9 + i % 8 : 0, i % 9 == 0 ? 30 : 0));
            set("client", jet::Value::text(rng.pick(kClients)));
            set("materiel", jet::Value::text(rng.pick(kMateriel)));
            set("motif", jet::Value::text(rng.pick(kMotifs)));
            // Some receptions come before the agreement, some returns before the reception.
            int reception = day + (i % 8 == 3 ? -2 : 3 + rng.below(5));
            set("daterecp", date(2001, reception));
            set("parquirecep", jet::Value::text(rng.pick(kPeople)));
            if (i % 6 != 0)
                set("dateretourclient", date(2001, reception + (i % 10 == 7 ? -3 : 5 + rng.below(20))));
            if (i % 5 != 0) {
                std::string text = rng.pick(kInterventions);
                if (i % 12 == 1)
                    for (int k = 0; k < 30; ++k)
                        text += "\r\nÉtape " + std::to_string(k + 1) + " : contrôle effectué, rien à signaler.";
                set("intervention", jet::Value::text(text));
                set("parquiinterv", jet::Value::text(rng.pick(kPeople)));
            }
            set("nomauteur", jet::Value::text(rng.pick(kPeople)));
            rs->update();
        }
    }
    {
        auto rs = db.openRecordset("tablep");
        for (int i = 1; i <= 50; ++i) {
            int day = (i * 7 + 3) % 360;
            rs->addNew();
            auto set = [&](const char* column, const jet::Value& v) { rs->setValue(rs->columnIndex(column), v); };
            set("emetteurp", jet::Value::text(rng.pick(kPeople)));
            char number[32];
            std::snprintf(number, sizeof number, "P-2001-%03d", i);
            set("naccordp", jet::Value::text(number));
            if (i % 13 != 6)
                set("dateaccordp", date(2001, day, i % 10 == 0 ? 10 : 0, i % 10 == 0 ? 15 : 0));
            set("clientp", jet::Value::text(i % 17 == 9 ? std::string() : std::string(rng.pick(kClients))));
            set("materielp", jet::Value::text(rng.pick(kMateriel)));
            set("motifp", jet::Value::text(rng.pick(kMotifs)));
            set("parquip", jet::Value::text(rng.pick(kPeople)));
            if (i % 7 != 2)
                set("dateenvoip", date(2001, day + (i % 9 == 4 ? -3 : 1 + rng.below(4))));
            if (i % 3 == 0) {
                set("retourmathsp", jet::Value::text(i % 2 ? "Oui, reçu en atelier" : "Non, en attente"));
                set("dateretourhsp", date(2001, day + (i % 4 == 0 ? -5 : 10 + rng.below(15))));
            }
            if (i % 4 == 1)
                set("rdzvp", jet::Value::text("Rendez-vous le " + std::to_string(1 + i % 28) + "/" +
                                              std::to_string(1 + i % 12) + " à 14 h"));
            set("nomauteurp", jet::Value::text(rng.pick(kPeople)));
            rs->update();
        }
    }
}

} // namespace

void createVelmorDatabase(const std::string& path, jet::Format format)
{
    // A first run's default location (~/velmor) may not exist yet.
    std::filesystem::path parent = pathFromUtf8(path).parent_path();
    std::error_code ignored;
    if (!parent.empty() && !std::filesystem::exists(parent))
        std::filesystem::create_directories(parent, ignored);
    auto db = jet::Database::create(path, format);
    db->createTable("velmor2001", specs(returnTableColumns()), indexes("client"));
    db->createTable("tablep", specs(loanTableColumns()), indexes("clientp"));
}

bool runWriteCommand(const std::vector<std::string>& args, int& exitCode)
{
    const std::string& command = args[0];
    if (command != "init" && command != "demo" && command != "import" && command != "exec")
        return false;
    auto usage = [&](const std::string& message) {
        std::cerr << "velmor-db : " << message << "\nEssayez « velmor-db --help ».\n";
        exitCode = 2;
        return true;
    };
    if (args.size() < 2)
        return usage("fichier manquant pour la commande " + command);
    const std::string& file = args[1];
    if (command == "init" || command == "demo") {
        jet::Format format = jet::Format::Jet4;
        if (command == "init" && args.size() == 4 && args[2] == "--format") {
            if (args[3] == "97")
                format = jet::Format::Jet3;
            else if (args[3] != "2000")
                return usage("format inconnu : " + args[3] + " (97 ou 2000)");
        } else if (args.size() > 2) {
            return usage("trop d'arguments pour " + command);
        }
        createVelmorDatabase(file, format);
        if (command == "demo") {
            auto db = openDatabase(file, jet::OpenMode::ReadWrite);
            addDemoRows(*db);
        }
        std::cout << "base créée : " << file << "\n";
        exitCode = 0;
        return true;
    }
    if (command == "import") {
        long lotSize = 0;
        if (args.size() == 6 && args[4] == "--par-lots") {
            char* end = nullptr;
            lotSize = std::strtol(args[5].c_str(), &end, 10);
            if (args[5].empty() || *end || lotSize < 1)
                return usage("taille de lot invalide : " + args[5]);
        } else if (args.size() != 4) {
            return usage("usage : velmor-db import FICHIER TABLE CSV [--par-lots N]");
        }
        exitCode = importCsv(file, args[2], args[3], lotSize);
        return true;
    }
    if (args.size() != 3)
        return usage("usage : velmor-db exec FICHIER \"SQL\"");
    auto db = openDatabase(file, jet::OpenMode::ReadWrite);
    long changed = db->execute(args[2]);
    std::cout << changed << (changed > 1 ? " lignes modifiées\n" : " ligne modifiée\n");
    exitCode = 0;
    return true;
}

} // namespace velmor
