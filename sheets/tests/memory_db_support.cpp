#include "memory_db_support.h"

#include "jet/status.h"
#include "sheets/record_source.h"

#include <QRegularExpression>

#include <cstdio>
#include <map>

namespace velmor::testing {

using jet::Code;
using jet::Error;
using jet::Value;

namespace {

std::map<QString, MemoryFile>& files()
{
    static std::map<QString, MemoryFile> all;
    return all;
}

bool sameName(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

jet::Bookmark bookmarkOf(size_t slot)
{
    return jet::Bookmark{uint32_t(1 + slot / 1000), uint16_t(slot % 1000)};
}

size_t slotOf(jet::Bookmark b)
{
    return size_t(b.page - 1) * 1000 + b.row;
}

// What a row source selects: all rows, rows whose column equals a text
// (ignoring case), or none (a comparison with NULL is never true).
struct Filter {
    int column = -1;
    std::optional<std::string> text; // nothing: "= null"
};

class MemoryRecordset : public jet::Recordset {
public:
    MemoryRecordset(MemoryFile& file, MemoryTable& table, std::optional<Filter> filter)
        : file_(file), table_(table)
    {
        for (size_t slot = 0; slot < table.storedRows.size(); ++slot) {
            if (!table.storedRows[slot])
                continue;
            if (filter) {
                if (!filter->text)
                    continue;
                const Value& v = (*table.storedRows[slot])[size_t(filter->column)];
                if (v.kind() != Value::Kind::Text
                    || QString::fromStdString(v.asText())
                               .compare(QString::fromStdString(*filter->text), Qt::CaseInsensitive)
                           != 0)
                    continue;
            }
            rows_.push_back(slot);
        }
        position_ = 0;
    }

    const std::string& tableName() const override { return table_.info.name; }
    const std::vector<jet::ColumnInfo>& columns() const override { return table_.info.columns; }
    int columnIndex(const std::string& name) const override
    {
        for (size_t i = 0; i < table_.info.columns.size(); ++i)
            if (sameName(table_.info.columns[i].name, name))
                return int(i);
        return -1;
    }

    bool bof() const override { return rows_.empty() || position_ < 0; }
    bool eof() const override { return rows_.empty() || position_ >= long(rows_.size()); }
    bool hasCurrent() const override { return !bof() && !eof(); }
    long recordCount() const override { return long(rows_.size()) - (deleted_ ? 1 : 0); }

    void moveFirst() override
    {
        beforeMove();
        position_ = 0;
    }
    void moveLast() override
    {
        beforeMove();
        position_ = long(rows_.size()) - 1;
    }
    void moveNext() override
    {
        const bool wasDeleted = deleted_;
        beforeMove();
        if (eof() && !wasDeleted)
            throw Error(Code::NoCurrentRow, "déjà après le dernier");
        if (!wasDeleted)
            ++position_;
    }
    void movePrevious() override
    {
        beforeMove();
        if (bof())
            throw Error(Code::NoCurrentRow, "déjà avant le premier");
        --position_;
    }

    Value value(int column) const override
    {
        if (column < 0 || size_t(column) >= table_.info.columns.size())
            throw Error(Code::NotFound, "colonne inexistante");
        if (mode_ != EditMode::None)
            return pending_[size_t(column)];
        if (!hasCurrent() || deleted_ || !table_.storedRows[rows_[size_t(position_)]])
            throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
        return (*table_.storedRows[rows_[size_t(position_)]])[size_t(column)];
    }

    jet::Bookmark bookmark() const override
    {
        if (!hasCurrent())
            throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
        return bookmarkOf(rows_[size_t(position_)]);
    }
    void setBookmark(jet::Bookmark b) override
    {
        if (mode_ != EditMode::None)
            throw Error(Code::InvalidState, "modification en cours");
        const size_t slot = slotOf(b);
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i] == slot && !(deleted_ && long(i) == position_)) {
                dropDeleted();
                position_ = 0;
                for (size_t j = 0; j < rows_.size(); ++j)
                    if (rows_[j] == slot)
                        position_ = long(j);
                return;
            }
        }
        throw Error(Code::NotFound, "signet inconnu");
    }
    jet::Bookmark lastModified() const override { return lastModified_; }
    bool isDeleted() const override { return deleted_; }

    EditMode editMode() const override { return mode_; }
    void addNew() override
    {
        refuseIfReadOnly();
        if (mode_ != EditMode::None)
            throw Error(Code::InvalidState, "modification en cours");
        pending_.assign(table_.info.columns.size(), Value());
        mode_ = EditMode::Adding;
    }
    void edit() override
    {
        refuseIfReadOnly();
        if (mode_ != EditMode::None)
            throw Error(Code::InvalidState, "modification en cours");
        if (!hasCurrent() || deleted_)
            throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
        pending_ = *table_.storedRows[rows_[size_t(position_)]];
        mode_ = EditMode::Editing;
    }
    void setValue(int column, const Value& v) override
    {
        if (mode_ == EditMode::None)
            throw Error(Code::InvalidState, "aucune modification en cours");
        if (column < 0 || size_t(column) >= pending_.size())
            throw Error(Code::NotFound, "colonne inexistante");
        const jet::ColumnInfo& c = table_.info.columns[size_t(column)];
        if (!v.isNull()) {
            const bool text = c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo;
            if (text != (v.kind() == Value::Kind::Text))
                throw Error(Code::InvalidValue, "type de valeur incorrect pour " + c.name);
            if (c.type == jet::ColumnType::DateTime && v.kind() != Value::Kind::DateTime)
                throw Error(Code::InvalidValue, "date attendue pour " + c.name);
            if (c.type == jet::ColumnType::Text
                && QString::fromStdString(v.asText()).size() > c.maxChars)
                throw Error(Code::InvalidValue, "texte trop long pour " + c.name);
        }
        pending_[size_t(column)] = v;
    }
    void update() override
    {
        if (mode_ == EditMode::None)
            throw Error(Code::InvalidState, "aucune modification en cours");
        if (mode_ == EditMode::Adding) {
            table_.storedRows.push_back(pending_);
            const size_t slot = table_.storedRows.size() - 1;
            rows_.push_back(slot);
            lastModified_ = bookmarkOf(slot);
        } else {
            const size_t slot = rows_[size_t(position_)];
            table_.storedRows[slot] = pending_;
            lastModified_ = bookmarkOf(slot);
        }
        mode_ = EditMode::None;
        pending_.clear();
    }
    void cancelUpdate() override
    {
        mode_ = EditMode::None;
        pending_.clear();
    }
    void deleteCurrent() override
    {
        refuseIfReadOnly();
        if (mode_ != EditMode::None)
            throw Error(Code::InvalidState, "modification en cours");
        if (!hasCurrent() || deleted_)
            throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
        table_.storedRows[rows_[size_t(position_)]].reset();
        deleted_ = true;
    }

private:
    void refuseIfReadOnly() const
    {
        if (file_.readOnly)
            throw Error(Code::ReadOnly, "base ouverte en lecture seule");
    }

    // A deleted row leaves the set at the next move; the rows after it move
    // up one place, so the position then sits on the row that followed it.
    void dropDeleted()
    {
        if (!deleted_)
            return;
        rows_.erase(rows_.begin() + position_);
        deleted_ = false;
    }

    void beforeMove()
    {
        if (mode_ != EditMode::None)
            throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez d'abord");
        dropDeleted();
        if (rows_.empty())
            throw Error(Code::NoCurrentRow, "aucun enregistrement");
    }

    MemoryFile& file_;
    MemoryTable& table_;
    std::vector<size_t> rows_;
    long position_ = 0;
    bool deleted_ = false;
    EditMode mode_ = EditMode::None;
    std::vector<Value> pending_;
    jet::Bookmark lastModified_;
};

class MemoryDatabase : public jet::Database {
public:
    MemoryDatabase(const QString& path, MemoryFile& file) : path_(path.toStdString()), file_(file) {}

    const std::string& path() const override { return path_; }
    jet::Format format() const override { return jet::Format::Jet4; }
    bool readOnly() const override { return file_.readOnly; }
    std::string readOnlyReason() const override { return file_.readOnly ? "lecture seule" : ""; }
    std::vector<std::string> tableNames(bool) const override
    {
        std::vector<std::string> names;
        for (const MemoryTable& t : file_.tables)
            names.push_back(t.info.name);
        return names;
    }
    jet::TableInfo table(const std::string& name) const override
    {
        if (MemoryTable* t = file_.find(name))
            return t->info;
        throw Error(Code::NotFound, "table inconnue : " + name);
    }

    std::unique_ptr<jet::Recordset> openRecordset(const std::string& source) override
    {
        static const QRegularExpression select(
            QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+\\[?([A-Za-z0-9_]+)\\]?\\s*(?:WHERE\\s+\\[?([A-Za-z0-9_]+)\\]?"
                           "\\s*=\\s*(.*?))?\\s*$"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression textLiteral(QStringLiteral("^'((?:[^']|'')*)'$"));
        const QString text = QString::fromStdString(source);
        std::string tableName;
        std::optional<Filter> filter;
        if (QRegularExpressionMatch m = select.match(text); m.hasMatch()) {
            tableName = m.captured(1).toStdString();
            if (m.capturedLength(2) > 0) {
                MemoryTable* t = file_.find(tableName);
                if (!t)
                    throw Error(Code::NotFound, "table inconnue : " + tableName);
                Filter f;
                for (size_t i = 0; i < t->info.columns.size(); ++i)
                    if (sameName(t->info.columns[i].name, m.captured(2).toStdString()))
                        f.column = int(i);
                if (f.column < 0)
                    throw Error(Code::NotFound, "colonne inconnue : " + m.captured(2).toStdString());
                const QString literal = m.captured(3);
                if (literal.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0) {
                    f.text.reset();
                } else if (QRegularExpressionMatch lit = textLiteral.match(literal); lit.hasMatch()) {
                    f.text = lit.captured(1).replace(QLatin1String("''"), QLatin1String("'")).toStdString();
                } else {
                    throw Error(Code::SqlError, "requête incorrecte près de : " + literal.toStdString());
                }
                filter = f;
            }
        } else if (text.trimmed().contains(QLatin1Char(' '))) {
            throw Error(Code::SqlError, "requête incorrecte : " + source);
        } else {
            tableName = text.trimmed().toStdString();
        }
        MemoryTable* t = file_.find(tableName);
        if (!t)
            throw Error(Code::NotFound, "table inconnue : " + tableName);
        return std::make_unique<MemoryRecordset>(file_, *t, filter);
    }

    long execute(const std::string&) override { throw Error(Code::Unsupported, "non pris en charge"); }
    void createTable(const std::string& name, const std::vector<jet::ColumnSpec>& specs) override
    {
        MemoryTable t;
        t.info.name = name;
        for (const jet::ColumnSpec& s : specs) {
            jet::ColumnInfo c;
            c.name = s.name;
            c.type = s.type;
            c.maxChars = s.type == jet::ColumnType::Text ? s.maxChars : 0;
            c.size = c.maxChars * 2;
            c.autonumber = s.autonumber;
            c.number = int(t.info.columns.size());
            t.info.columns.push_back(c);
        }
        file_.tables.push_back(t);
    }

private:
    std::string path_;
    MemoryFile& file_;
};

Value dateOf(const char* text)
{
    if (!text)
        return Value();
    int y, mo, d, h, mi, s;
    std::sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return Value::dateTime(y, mo, d, h, mi, s);
}

Value textOf(const char* text)
{
    return text ? Value::text(text) : Value();
}

void addTable(MemoryFile& file, const char* name, const std::vector<std::pair<const char*, int>>& columns,
              const std::vector<std::vector<const char*>>& rows)
{
    MemoryTable t;
    t.info.name = name;
    for (const auto& [column, maxChars] : columns) {
        jet::ColumnInfo c;
        c.name = column;
        c.number = int(t.info.columns.size());
        if (maxChars < 0) {
            c.type = jet::ColumnType::DateTime;
            c.size = 8;
            c.fixed = true;
        } else if (maxChars == 0) {
            c.type = jet::ColumnType::Memo;
            c.size = 12;
        } else {
            c.type = jet::ColumnType::Text;
            c.maxChars = maxChars;
            c.size = maxChars * 2;
            c.compressedUnicode = true;
        }
        t.info.columns.push_back(c);
    }
    for (const auto& row : rows) {
        std::vector<Value> values;
        for (size_t i = 0; i < row.size(); ++i)
            values.push_back(t.info.columns[i].type == jet::ColumnType::DateTime ? dateOf(row[i]) : textOf(row[i]));
        t.storedRows.emplace_back(std::move(values));
    }
    t.info.rowCount = uint32_t(rows.size());
    file.tables.push_back(std::move(t));
}

} // namespace

MemoryTable* MemoryFile::find(const std::string& name)
{
    for (MemoryTable& t : tables)
        if (sameName(t.info.name, name))
            return &t;
    return nullptr;
}

MemoryFile& memoryFile(const QString& path)
{
    return files()[path];
}

void forgetMemoryFile(const QString& path)
{
    files().erase(path);
}

bool memoryFileExists(const QString& path)
{
    return files().count(path) != 0;
}

void makeVelmorFile(const QString& path, bool empty)
{
    forgetMemoryFile(path);
    MemoryFile& file = memoryFile(path);
    const int D = -1, M = 0; // date, memo
    std::vector<std::vector<const char*>> returns = {
        {"Agence Lyon", "A-2001-001", "2001-01-15 00:00:00", "L'Oréal", "Imprimante laser HP 4050",
         "Bourrage papier répété", "2001-01-18 00:00:00", "Frédéric", "2001-01-25 00:00:00",
         "Diagnostic : bourrages répétés au niveau du bac n° 2.", "Jérôme", "Martine"},
        {"Siège Paris", "A-2001-002", "2001-02-03 00:00:00", "Société Générale d'Équipement", "Écran 17\" Iiyama",
         "Pixel mort, écran à changer", "2001-02-01 00:00:00", "Hélène", nullptr,
         "Remplacement de la dalle ; test de 48 h à 40 °C.", "Jérôme", "Martine"},
        {"Agence Lille", "A-2001-003", "2001-02-10 00:00:00", "Crédit Agricole", "Onduleur APC 1000 VA",
         "Ne tient plus la charge", "2001-02-12 00:00:00", "François", "2001-02-09 00:00:00",
         "Batterie changée.\r\nCalibration effectuée.", "Benoît", "Cécile"},
        {"Agence Lyon", "A-2001-004", "2001-03-05 00:00:00", "L'Oréal", "Scanner Agfa", "Garantie — échange standard",
         "2001-03-07 00:00:00", "Frédéric", nullptr, "Coût estimé : 120 € — en attente d'accord.", nullptr,
         "Martine"},
        {"Siège Paris", "A-2001-005", nullptr, "", "Clavier AZERTY", "Touches « é » et « ç » bloquées",
         "2001-03-20 00:00:00", "Hélène", "2001-03-22 00:00:00", "Nettoyage.", "Benoît", "Cécile"},
        {"Agence Marseille", "A-2001-006", "2001-04-02 00:00:00", nullptr, "Souris optique", "Câble sectionné",
         nullptr, nullptr, nullptr, nullptr, nullptr, "Cécile"},
        {"Agence Lille", "A-2001-007", "2001-04-18 09:30:00", "Crédit Agricole", "Portable Compaq Armada",
         "Charnière cassée à 90°", "2001-04-20 00:00:00", "François", "2001-05-02 00:00:00",
         "Charnière remplacée, coque recollée.", "Jérôme", "Martine"},
        {"Agence Lyon", "A-2001-008", "2001-12-31 00:00:00", "Boulangerie Dupré & Fils", "Caisse enregistreuse",
         "Écran d'affichage éteint", "2002-01-03 00:00:00", "Frédéric", "2001-12-28 00:00:00",
         "Journal d'intervention, étape 01.\r\nJournal d'intervention, étape 02.", "Jérôme", "Cécile"},
    };
    std::vector<std::vector<const char*>> loans = {
        {"Agence Lyon", "P-2001-001", "2001-01-10 00:00:00", "L'Oréal", "Imprimante de prêt HP 2100",
         "Prêt pendant réparation", "Frédéric", "2001-01-11 00:00:00", "Oui", "2001-01-26 00:00:00",
         "Le 12/01 à 9 h", "Martine"},
        {"Siège Paris", "P-2001-002", "2001-02-05 00:00:00", "Société Générale d'Équipement", "Écran 15\" de prêt",
         "Remplacement temporaire", "Hélène", "2001-02-02 00:00:00", "Non", nullptr, "Aucun", "Martine"},
        {"Agence Lille", "P-2001-003", "2001-02-11 00:00:00", "Crédit Agricole", "Onduleur 650 VA", "Dépannage urgent",
         "François", nullptr, nullptr, nullptr, "À fixer", "Cécile"},
        {"Agence Lyon", "P-2001-004", "2001-03-06 00:00:00", "L'Oréal", "Scanner à plat", "Prêt — échange standard",
         "Frédéric", "2001-03-06 00:00:00", "Oui", "2001-03-01 00:00:00", "Le 07/03 à 14 h 30", "Martine"},
        {"Siège Paris", "P-2001-005", nullptr, "", "Clavier de prêt", "Prêt : touche « ç » défectueuse", "Hélène",
         "2001-03-21 00:00:00", "Non", nullptr, nullptr, "Cécile"},
        {"Agence Marseille", "P-2001-006", "2001-04-03 00:00:00", nullptr, "Souris de prêt", "Câble à remplacer",
         nullptr, nullptr, nullptr, nullptr, nullptr, "Cécile"},
        {"Agence Lille", "P-2001-007", "2001-04-18 10:15:00", "Crédit Agricole", "Portable Compaq de prêt",
         "Prêt longue durée (3 mois)", "François", "2001-04-19 00:00:00", "Oui", "2001-07-20 00:00:00",
         "Installation le 19/04", "Martine"},
        {"Agence Lyon", "P-2001-008", "2001-12-31 00:00:00", "Boulangerie Dupré & Fils", "Caisse de secours",
         "Fêtes de fin d'année", "Frédéric", nullptr, nullptr, nullptr, "Le 31/12 à 7 h", "Cécile"},
    };
    if (empty) {
        returns.clear();
        loans.clear();
    }
    addTable(file, "velmor2001",
             {{"emetteur", 50}, {"naccord", 50}, {"dateaccord", D}, {"client", 50}, {"materiel", 50}, {"motif", 255},
              {"daterecp", D}, {"parquirecep", 50}, {"dateretourclient", D}, {"intervention", M},
              {"parquiinterv", 50}, {"nomauteur", 50}},
             returns);
    addTable(file, "tablep",
             {{"emetteurp", 50}, {"naccordp", 50}, {"dateaccordp", D}, {"clientp", 50}, {"materielp", 50},
              {"motifp", 255}, {"parquip", 50}, {"dateenvoip", D}, {"retourmathsp", 50}, {"dateretourhsp", D},
              {"rdzvp", 50}, {"nomauteurp", 50}},
             loans);
}

std::unique_ptr<jet::Database> openMemoryDatabase(const QString& path)
{
    if (!memoryFileExists(path))
        throw Error(Code::IoError, path.toStdString() + " : fichier introuvable");
    return std::make_unique<MemoryDatabase>(path, memoryFile(path));
}

MemoryEngine::MemoryEngine()
{
    BaseR::setDatabaseOpener(&openMemoryDatabase);
}

MemoryEngine::~MemoryEngine()
{
    BaseR::setDatabaseOpener({});
}

std::vector<jet::Value> memoryColumn(const QString& path, const std::string& table, const std::string& column)
{
    std::vector<jet::Value> values;
    MemoryTable* t = memoryFile(path).find(table);
    if (!t)
        return values;
    size_t index = 0;
    for (size_t i = 0; i < t->info.columns.size(); ++i)
        if (sameName(t->info.columns[i].name, column))
            index = i;
    for (const auto& slot : t->storedRows)
        if (slot)
            values.push_back((*slot)[index]);
    return values;
}

} // namespace velmor::testing
