#include "velmor_db_write.h"

#include "command_line.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include "database_writer.h"
#include "table_writer.h"

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <strings.h>

namespace velmor {

const char* kWriteUsage =
    "  init FICHIER                 crée une base Velmor vide (tables velmor2001 et tablep)\n"
    "  demo FICHIER                 crée une base Velmor avec une cinquantaine de lignes par table\n"
    "  import FICHIER TABLE CSV     ajoute à TABLE les lignes d'un fichier CSV (en-tête = colonnes)\n"
    "  exec FICHIER \"SQL\"           exécute INSERT, UPDATE ou DELETE et affiche le nombre de lignes\n";

const std::vector<VelmorColumn>& returnTableColumns()
{
    static const std::vector<VelmorColumn> columns = {
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
        s.type = c.kind == VelmorColumn::Date ? jet::ColumnType::DateTime
                 : c.kind == VelmorColumn::Memo ? jet::ColumnType::Memo
                                                : jet::ColumnType::Text;
        s.maxChars = 255;
        out.push_back(s);
    }
    return out;
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

// ---- import ------------------------------------------------------------

struct CsvRecord {
    long line = 0;
    std::vector<std::string> fields;
    std::vector<bool> quoted;
};

// Reads one record; false at the end of the input.
bool readRecord(std::istream& in, long& line, CsvRecord& record)
{
    record.fields.clear();
    record.quoted.clear();
    record.line = line + 1;
    std::string field;
    bool inQuotes = false, wasQuoted = false, any = false;
    int c;
    while ((c = in.get()) != EOF) {
        any = true;
        if (inQuotes) {
            if (c == '"') {
                if (in.peek() == '"') {
                    in.get();
                    field += '"';
                } else {
                    inQuotes = false;
                }
            } else {
                if (c == '\n')
                    ++line;
                field += char(c);
            }
            continue;
        }
        if (c == '"') {
            inQuotes = true;
            wasQuoted = true;
        } else if (c == ',') {
            record.fields.push_back(field);
            record.quoted.push_back(wasQuoted);
            field.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            ++line;
            break;
        } else if (c != '\r') {
            field += char(c);
        }
    }
    if (!any)
        return false;
    if (inQuotes)
        throw jet::Error(jet::Code::InvalidValue, "guillemet non fermé");
    record.fields.push_back(field);
    record.quoted.push_back(wasQuoted);
    return true;
}

bool parseDate(const std::string& s, jet::Value& out)
{
    int y, mo, d, h = 0, mi = 0, se = 0;
    char tail;
    if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &se, &tail) == 6 ||
        std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &mo, &d, &tail) == 3) {
        if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
            return false;
        out = jet::Value::dateTime(y, mo, d, h, mi, se);
        return true;
    }
    return false;
}

jet::Value convert(const jet::ColumnInfo& c, const std::string& text)
{
    using T = jet::ColumnType;
    auto bad = [&]() -> jet::Value {
        throw jet::Error(jet::Code::InvalidValue, "valeur « " + text + " » invalide pour la colonne « " + c.name +
                                                      " » (" + jet::columnTypeName(c.type) + ")");
    };
    switch (c.type) {
    case T::Text:
    case T::Memo: return jet::Value::text(text);
    case T::DateTime: {
        jet::Value v;
        return parseDate(text, v) ? v : bad();
    }
    case T::Boolean:
        if (text == "true" || text == "1" || text == "-1" || text == "Oui" || text == "oui")
            return jet::Value::boolean(true);
        if (text == "false" || text == "0" || text == "Non" || text == "non")
            return jet::Value::boolean(false);
        return bad();
    case T::Byte:
    case T::Integer:
    case T::Long:
    case T::BigInt: {
        char* end = nullptr;
        long long v = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end)
            return bad();
        return jet::Value::integer(v);
    }
    case T::Single:
    case T::Double:
    case T::Currency: {
        char* end = nullptr;
        double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end)
            return bad();
        return jet::Value::real(v);
    }
    case T::Numeric: return jet::Value::decimal(text); // checked against the column by the writer
    case T::Binary:
    case T::OLE: {
        if (text.rfind("0x", 0) != 0 || text.size() % 2)
            return bad();
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i < text.size(); i += 2)
            bytes.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
        return jet::Value::binary(bytes);
    }
    default: return bad();
    }
}

int importCsv(const std::string& file, const std::string& table, const std::string& csvPath)
{
    std::ifstream in(pathFromUtf8(csvPath), std::ios::binary);
    if (!in)
        throw jet::Error(jet::Code::IoError, "fichier CSV introuvable : " + csvPath);
    auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
    jet::TableInfo info = db->table(table);
    long line = 0;
    CsvRecord header;
    if (!readRecord(in, line, header))
        throw jet::Error(jet::Code::InvalidValue, csvPath + " : fichier vide, une ligne d'en-tête est attendue");
    std::vector<int> target;
    for (const std::string& name : header.fields) {
        int found = -1;
        for (size_t i = 0; i < info.columns.size(); ++i)
            if (strcasecmp(info.columns[i].name.c_str(), name.c_str()) == 0)
                found = int(i);
        if (found < 0)
            throw jet::Error(jet::Code::NotFound, csvPath + " : ligne 1 : colonne inconnue dans " + info.name + " : " + name);
        target.push_back(found);
    }
    jet::writer::DatabaseWriter writer(file);
    long imported = 0;
    std::vector<std::vector<jet::Value>> batch;
    auto flush = [&]() {
        if (batch.empty())
            return;
        writer.transact([&](jet::writer::Transaction& txn) {
            jet::writer::TableWriter t(txn, writer.definitionPage(txn, info.name));
            for (const auto& values : batch)
                t.insert(values);
            t.finish();
        });
        imported += long(batch.size());
        batch.clear();
    };
    CsvRecord record;
    for (;;) {
        std::vector<jet::Value> values(info.columns.size());
        long startLine = line + 1;
        try {
            if (!readRecord(in, line, record))
                break;
            if (record.fields.size() == 1 && record.fields[0].empty() && !record.quoted[0])
                continue; // blank line
            if (record.fields.size() != target.size())
                throw jet::Error(jet::Code::InvalidValue, std::to_string(record.fields.size()) + " valeurs pour " +
                                                              std::to_string(target.size()) + " colonnes");
            for (size_t k = 0; k < target.size(); ++k) {
                const jet::ColumnInfo& c = info.columns[size_t(target[k])];
                if (c.autonumber)
                    continue;
                if (!record.quoted[k] && record.fields[k].empty())
                    continue; // NULL
                values[size_t(target[k])] = convert(c, record.fields[k]);
            }
            batch.push_back(values);
            if (batch.size() >= 1000)
                flush();
        } catch (const jet::Error& e) {
            // The rows before this line are kept; nothing of this line is written.
            std::vector<std::vector<jet::Value>> good = std::move(batch);
            batch.clear();
            try {
                batch = std::move(good);
                // A row of the pending batch may itself be refused by the
                // writer: find it by writing the rows one by one.
                flush();
            } catch (const jet::Error&) {
                auto rows = std::move(batch);
                batch.clear();
                for (size_t i = 0; i < rows.size(); ++i) {
                    batch.push_back(rows[i]);
                    flush();
                }
            }
            std::cerr << "velmor-db : " << csvPath << " : ligne " << startLine << " : " << e.what() << "\n";
            std::cout << imported << " lignes importées\n";
            return 1;
        }
    }
    // A row refused by the writer stops the import at that row.
    auto rows = std::move(batch);
    batch.clear();
    try {
        batch = rows;
        flush();
    } catch (const jet::Error&) {
        batch.clear();
        for (size_t i = 0; i < rows.size(); ++i) {
            batch.push_back(rows[i]);
            try {
                flush();
            } catch (const jet::Error& e) {
                std::cerr << "velmor-db : " << csvPath << " : ligne de données " << imported + 1 << " : " << e.what() << "\n";
                std::cout << imported << " lignes importées\n";
                return 1;
            }
        }
    }
    std::cout << imported << " lignes importées\n";
    return 0;
}

} // namespace

void createVelmorDatabase(const std::string& path)
{
    // A first run's default location (~/velmor) may not exist yet.
    std::filesystem::path parent = pathFromUtf8(path).parent_path();
    std::error_code ignored;
    if (!parent.empty() && !std::filesystem::exists(parent))
        std::filesystem::create_directories(parent, ignored);
    auto db = jet::Database::create(path, jet::Format::Jet4);
    db->createTable("velmor2001", specs(returnTableColumns()));
    db->createTable("tablep", specs(loanTableColumns()));
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
        if (args.size() > 2)
            return usage("trop d'arguments pour " + command);
        createVelmorDatabase(file);
        if (command == "demo") {
            auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
            addDemoRows(*db);
        }
        std::cout << "base créée : " << file << "\n";
        exitCode = 0;
        return true;
    }
    if (command == "import") {
        if (args.size() != 4)
            return usage("usage : velmor-db import FICHIER TABLE CSV");
        exitCode = importCsv(file, args[2], args[3]);
        return true;
    }
    if (args.size() != 3)
        return usage("usage : velmor-db exec FICHIER \"SQL\"");
    auto db = jet::Database::open(file, jet::OpenMode::ReadWrite);
    long changed = db->execute(args[2]);
    std::cout << changed << (changed > 1 ? " lignes modifiées\n" : " ligne modifiée\n");
    exitCode = 0;
    return true;
}

} // namespace velmor
