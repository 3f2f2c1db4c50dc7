#include "csv_import.h"

#include "command_line.h"
#include "password_option.h"

#include "jet/database.h"
#include "jet/status.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <strings.h>
#include <vector>

namespace velmor {

namespace {

struct CsvRecord {
    std::vector<std::string> fields;
    std::vector<bool> quoted;
};

// Reads one record; false at the end of the input. `line` counts the lines
// read so far (a quoted field may span several).
bool readRecord(std::istream& in, long& line, CsvRecord& record) {
    record.fields.clear();
    record.quoted.clear();
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

// Reads 1 to `maxDigits` digits at text[at]; false when there are none.
bool digits(const std::string& text, size_t& at, size_t maxDigits, int& value) {
    size_t start = at;
    value = 0;
    while (at < text.size() && at - start < maxDigits && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + (text[at++] - '0');
    return at > start;
}

bool expect(const std::string& text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c)
        return false;
    ++at;
    return true;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

enum class DateCheck { Ok, Unreadable, Impossible };

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM[:SS[.mmm]]", as velmor-db export writes them;
// for a Date/Time Extended column, up to 7 digits of a second and years from 1.
DateCheck parseDate(const std::string& text, jet::Value& out, bool extended = false) {
    int y, mo, d, h = 0, mi = 0, s = 0, ms = 0;
    size_t fractionDigits = 0;
    size_t at = 0;
    if (!digits(text, at, 4, y) || !expect(text, at, '-') || !digits(text, at, 2, mo) ||
        !expect(text, at, '-') || !digits(text, at, 2, d))
        return DateCheck::Unreadable;
    if (at < text.size()) {
        if (!expect(text, at, ' ') || !digits(text, at, 2, h) || !expect(text, at, ':') ||
            !digits(text, at, 2, mi))
            return DateCheck::Unreadable;
        if (at < text.size() && (!expect(text, at, ':') || !digits(text, at, 2, s)))
            return DateCheck::Unreadable;
        const size_t point = at + 1;
        if (at < text.size() && (!expect(text, at, '.') || !digits(text, at, extended ? 7 : 3, ms)))
            return DateCheck::Unreadable;
        fractionDigits = at > point ? at - point : 0;
        if (at != text.size())
            return DateCheck::Unreadable;
    }
    if (y < (extended ? 1 : 100) || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 ||
        s > 59)
        return DateCheck::Impossible;
    out = jet::Value::dateTime(y, mo, d, h, mi, s);
    if (extended) {
        int64_t ticks = ms;
        for (size_t i = fractionDigits; i < 7; ++i)
            ticks *= 10;
        out = jet::Value::dateTimeExtended(out.dateTimeTicks() + ticks);
        return DateCheck::Ok;
    }
    if (fractionDigits < 3)
        for (size_t i = fractionDigits; i < 3; ++i)
            ms *= 10;
    if (ms != 0) {
        // Before 1899-12-30 the days count down and the time still counts up.
        const double days = out.asDouble(), extra = ms / 86400000.0;
        out = jet::Value::dateTime(days < 0 ? days - extra : days + extra);
    }
    return DateCheck::Ok;
}

// Offset of the first byte that is not well-formed UTF-8 (overlong forms,
// surrogates and code points above U+10FFFF are not), or npos.
size_t firstInvalidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp, min;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return i;
        }
        if (i + extra >= n)
            return i;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return i;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return i;
        i += extra + 1;
    }
    return std::string::npos;
}

std::string hexByte(unsigned char b) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

// The value of one CSV field for column `c`; throws Error with the reason.
jet::Value convert(const jet::ColumnInfo& c, const std::string& text) {
    using T = jet::ColumnType;
    auto bad = [&]() -> jet::Value {
        throw jet::Error(jet::Code::InvalidValue,
                         "valeur « " + text + " » invalide (" + jet::columnTypeName(c.type) + ")");
    };
    if (size_t at = firstInvalidUtf8(text); at != std::string::npos)
        throw jet::Error(jet::Code::InvalidValue,
                         "texte qui n'est pas de l'UTF-8 valide (octet " +
                             hexByte(static_cast<unsigned char>(text[at])) + " en position " +
                             std::to_string(at + 1) + ")");
    switch (c.type) {
    case T::Text:
    case T::Memo:
        return jet::Value::text(text);
    case T::DateTime:
    case T::DateTimeExtended: {
        jet::Value v;
        switch (parseDate(text, v, c.type == T::DateTimeExtended)) {
        case DateCheck::Ok:
            return v;
        case DateCheck::Impossible:
            throw jet::Error(jet::Code::InvalidValue, "date impossible : « " + text + " »");
        case DateCheck::Unreadable:
            throw jet::Error(jet::Code::InvalidValue,
                             "date illisible : « " + text +
                                 " » (attendu AAAA-MM-JJ ou AAAA-MM-JJ HH:MM:SS, millisecondes permises)");
        }
        return bad();
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
    case T::Numeric:
        return jet::Value::decimal(text); // checked against the column by the engine
    case T::Binary:
    case T::OLE: {
        if (text.rfind("0x", 0) != 0 || text.size() % 2 ||
            text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
            return bad();
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i < text.size(); i += 2)
            bytes.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
        return jet::Value::binary(bytes);
    }
    default:
        return bad();
    }
}

// The data rows of the CSV file, one at a time, as values for the table.
class RowSource {
public:
    RowSource(std::istream& in, const std::string& csvPath, const jet::TableInfo& info)
        : in_(in), info_(info) {
        CsvRecord header;
        if (in_.peek() == 0xEF) { // a byte order mark is no part of the first name
            char bom[3];
            in_.read(bom, 3);
            if (std::string(bom, 3) != "\xEF\xBB\xBF") {
                in_.clear();
                in_.seekg(0);
            }
        }
        if (!readRecord(in_, line_, header))
            throw jet::Error(jet::Code::InvalidValue,
                             csvPath + " : fichier vide, une ligne d'en-tête est attendue");
        for (const std::string& name : header.fields) {
            int found = -1;
            for (size_t i = 0; i < info.columns.size(); ++i)
                if (strcasecmp(info.columns[i].name.c_str(), name.c_str()) == 0)
                    found = int(i);
            if (found < 0)
                throw jet::Error(jet::Code::NotFound, csvPath +
                                                          " : ligne 1 : colonne inconnue dans " +
                                                          info.name + " : " + name);
            target_.push_back(found);
        }
    }

    // The first line of the row last read.
    long rowLine() const { return rowLine_; }

    // Fills `values` with the next row; false at the end of the file.
    bool next(std::vector<jet::Value>& values) {
        for (;;) {
            rowLine_ = line_ + 1;
            try {
                if (!readRecord(in_, line_, record_))
                    return false;
            } catch (const jet::Error& e) {
                throw jet::Error(e.code(), at() + e.what());
            }
            if (record_.fields.size() == 1 && record_.fields[0].empty() && !record_.quoted[0])
                continue; // blank line
            break;
        }
        if (record_.fields.size() != target_.size())
            throw jet::Error(jet::Code::InvalidValue,
                             at() + std::to_string(record_.fields.size()) + " valeurs pour " +
                                 std::to_string(target_.size()) + " colonnes");
        for (size_t k = 0; k < target_.size(); ++k) {
            const jet::ColumnInfo& c = info_.columns[size_t(target_[k])];
            const std::string& text = record_.fields[k];
            if (!record_.quoted[k] && text.empty())
                continue; // NULL
            const std::string where = at() + "colonne « " + c.name + " » : ";
            if (c.autonumber)
                throw jet::Error(
                    jet::Code::InvalidValue,
                    where + "numérotée automatiquement, sa valeur ne peut pas être choisie "
                            "(laissez le champ vide ou retirez la colonne du fichier)");
            try {
                values[size_t(target_[k])] = convert(c, text);
            } catch (const jet::Error& e) {
                throw jet::Error(e.code(), where + e.what());
            }
        }
        return true;
    }

private:
    std::string at() const { return "ligne " + std::to_string(rowLine_) + " : "; }

    std::istream& in_;
    const jet::TableInfo& info_;
    std::vector<int> target_;
    CsvRecord record_;
    long line_ = 0;
    long rowLine_ = 0;
};

std::string rowsText(long n) {
    return std::to_string(n) + (n > 1 ? " lignes importées" : " ligne importée");
}

} // namespace

int importCsv(const std::string& file, const std::string& table, const std::string& csvPath,
              long lotSize) {
    std::ifstream in(pathFromUtf8(csvPath), std::ios::binary);
    if (!in)
        throw jet::Error(jet::Code::IoError, "fichier CSV introuvable : " + csvPath);
    auto db = openDatabase(file, jet::OpenMode::ReadWrite);
    const jet::TableInfo info = db->table(table);
    RowSource rows(in, csvPath, info);
    long imported = 0;
    for (;;) {
        long inLot = 0;
        bool ended = false,
             rowPending = false; // rowPending: the engine is placing the row last supplied
        try {
            imported += db->insertRows(info.name, [&](std::vector<jet::Value>& values) {
                rowPending = false;
                if (lotSize > 0 && inLot == lotSize)
                    return false;
                if (!rows.next(values)) {
                    ended = true;
                    return false;
                }
                ++inLot;
                rowPending = true;
                return true;
            });
        } catch (const jet::Error& e) {
            std::cerr << "velmor-db : " << csvPath << " : ";
            if (rowPending)
                std::cerr << "ligne " << rows.rowLine() << " : ";
            std::cerr << e.what() << "\n";
            if (lotSize == 0 || imported == 0)
                std::cout << "aucune ligne importée : rien n'a été écrit\n";
            else
                std::cout << rowsText(imported) << " (les lots écrits avant l'erreur)\n";
            return 1;
        }
        if (ended)
            break;
    }
    std::cout << rowsText(imported) << "\n";
    return 0;
}

} // namespace velmor
