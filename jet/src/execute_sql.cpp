// INSERT, UPDATE and DELETE statements:
//
//   INSERT INTO t [(col, ...)] VALUES (value, ...)
//   UPDATE t SET col = value [, ...] [WHERE condition]
//   DELETE FROM t [WHERE condition]
//
// Values are 'text' ('' inside), numbers, #dates#, NULL, TRUE and FALSE.
// The condition is that of a row source's SELECT: the rows to change are
// selected by the same parser and evaluator, then changed in one journaled
// transaction, so that a failure leaves the file as it was.
#include "database_writer.h"

#include "sql.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <cctype>
#include <cstdlib>

namespace jet::writer {

namespace {

struct Token {
    enum Kind { Word, Text, Number, Date, Symbol, End } kind = End;
    std::string text;
    size_t position = 0;
};

[[noreturn]] void sqlError(const std::string& what, size_t position)
{
    throw Error(Code::SqlError, "SQL : " + what + " (position " + std::to_string(position + 1) + ")");
}

std::vector<Token> tokenize(const std::string& s)
{
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        Token t;
        t.position = i;
        if (c == '\'') {
            t.kind = Token::Text;
            ++i;
            for (;;) {
                if (i >= s.size())
                    sqlError("texte entre apostrophes non terminé", t.position);
                if (s[i] == '\'') {
                    if (i + 1 < s.size() && s[i + 1] == '\'') {
                        t.text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                t.text += s[i++];
            }
        } else if (c == '#') {
            t.kind = Token::Date;
            size_t end = s.find('#', i + 1);
            if (end == std::string::npos)
                sqlError("date entre # non terminée", i);
            t.text = s.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (c == '[') {
            t.kind = Token::Word;
            size_t end = s.find(']', i + 1);
            if (end == std::string::npos)
                sqlError("nom entre crochets non terminé", i);
            t.text = s.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            t.kind = Token::Number;
            while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' || s[i] == 'e' ||
                                    s[i] == 'E' ||
                                    ((s[i] == '-' || s[i] == '+') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                t.text += s[i++];
        } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
            t.kind = Token::Word;
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                                    static_cast<unsigned char>(s[i]) >= 0x80))
                t.text += s[i++];
        } else {
            t.kind = Token::Symbol;
            t.text = std::string(1, char(c));
            ++i;
        }
        out.push_back(t);
    }
    Token end;
    end.position = s.size();
    out.push_back(end);
    return out;
}

bool isKeyword(const Token& t, const char* word)
{
    if (t.kind != Token::Word)
        return false;
    size_t n = std::char_traits<char>::length(word);
    if (t.text.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i])
            return false;
    return true;
}

// A value of the statement; a number keeps its text too ("-0.1"), so that
// a Decimal column receives exactly the digits written.
struct Literal {
    Value value;
    std::string number;
};

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text), tokens_(tokenize(text)) {}

    const Token& peek() const { return tokens_[pos_]; }
    const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    void expectKeyword(const char* word)
    {
        if (!isKeyword(peek(), word))
            sqlError(std::string(word) + " attendu", peek().position);
        next();
    }
    void expectSymbol(char c)
    {
        if (peek().kind != Token::Symbol || peek().text[0] != c)
            sqlError(std::string("« ") + c + " » attendu", peek().position);
        next();
    }
    bool acceptSymbol(char c)
    {
        if (peek().kind == Token::Symbol && peek().text[0] == c) {
            next();
            return true;
        }
        return false;
    }
    std::string name()
    {
        if (peek().kind != Token::Word)
            sqlError("nom attendu", peek().position);
        return next().text;
    }
    Literal literal()
    {
        const Token& t = peek();
        bool negative = false;
        if (t.kind == Token::Symbol && t.text == "-") {
            negative = true;
            next();
        }
        const Token& v = next();
        switch (v.kind) {
        case Token::Text: return {Value::text(v.text), {}};
        case Token::Number: {
            std::string text = (negative ? "-" : "") + v.text;
            if (v.text.find_first_of(".eE") == std::string::npos) {
                long long x = std::strtoll(v.text.c_str(), nullptr, 10);
                return {Value::integer(negative ? -x : x), text};
            }
            double x = std::strtod(v.text.c_str(), nullptr);
            return {Value::real(negative ? -x : x), text};
        }
        case Token::Date: {
            double days = 0;
            if (!detail::sql::parseDateLiteral(v.text, days))
                sqlError("date invalide : #" + v.text + "#", v.position);
            return {Value::dateTime(days), {}};
        }
        case Token::Word:
            if (isKeyword(v, "NULL"))
                return {};
            if (isKeyword(v, "TRUE"))
                return {Value::boolean(true), {}};
            if (isKeyword(v, "FALSE"))
                return {Value::boolean(false), {}};
            [[fallthrough]];
        default: sqlError("valeur attendue", v.position);
        }
    }
    // The rest of the statement from the current token (a WHERE condition).
    std::string rest() const { return text_.substr(peek().position); }
    bool atEnd() const
    {
        return peek().kind == Token::End || (peek().kind == Token::Symbol && peek().text == ";" &&
                                              tokens_[pos_ + 1].kind == Token::End);
    }

private:
    std::string text_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
};

// Adapts a value to its column where SQL's literals are looser than the
// column's type (a number for a date, an integer for a boolean...). A
// number for a Decimal column is its text, not a double: 0.1 stays 0.1.
Value adapt(const ColumnInfo& c, const Literal& literal)
{
    const Value& v = literal.value;
    if (v.isNull())
        return v;
    if (c.type == ColumnType::Numeric && !literal.number.empty())
        return Value::decimal(literal.number);
    if (c.type == ColumnType::DateTime && (v.kind() == Value::Kind::Int || v.kind() == Value::Kind::Double))
        return Value::dateTime(v.asDouble());
    if ((c.type == ColumnType::Text || c.type == ColumnType::Memo) && v.kind() != Value::Kind::Text)
        return Value::text(v.toString());
    return v;
}

int columnOf(const TableInfo& t, const std::string& name, size_t position)
{
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const std::string& n = t.columns[i].name;
        if (n.size() == name.size()) {
            bool same = true;
            for (size_t k = 0; k < n.size() && same; ++k)
                same = std::tolower(static_cast<unsigned char>(n[k])) == std::tolower(static_cast<unsigned char>(name[k]));
            if (same)
                return int(i);
        }
    }
    sqlError("colonne inconnue : " + name, position);
}

struct LockHolder {
    explicit LockHolder(DatabaseWriter& w) : writer(w) { writer.store().lock().lockExclusive(); }
    ~LockHolder() { writer.store().lock().unlock(); }
    DatabaseWriter& writer;
};

std::vector<RowId> selectRows(Database& db, const std::string& table, const std::string& where)
{
    std::string select = "SELECT * FROM [" + table + "]";
    if (!where.empty())
        select += " " + where;
    auto rs = db.openRecordset(select);
    std::vector<RowId> rows;
    if (rs->recordCount() == 0)
        return rows;
    rs->moveFirst();
    while (!rs->eof()) {
        Bookmark b = rs->bookmark();
        rows.push_back(RowId{b.page, b.row});
        rs->moveNext();
    }
    return rows;
}

} // namespace

long executeSql(Database& db, DatabaseWriter& writer, const std::string& text)
{
    Parser p(text);
    if (isKeyword(p.peek(), "INSERT")) {
        p.next();
        p.expectKeyword("INTO");
        std::string table = p.name();
        TableInfo info = db.table(table);
        std::vector<int> targets;
        if (p.acceptSymbol('(')) {
            do {
                size_t at = p.peek().position;
                targets.push_back(columnOf(info, p.name(), at));
            } while (p.acceptSymbol(','));
            p.expectSymbol(')');
        } else {
            for (size_t i = 0; i < info.columns.size(); ++i)
                if (!info.columns[i].autonumber)
                    targets.push_back(int(i));
        }
        p.expectKeyword("VALUES");
        p.expectSymbol('(');
        std::vector<Value> values(info.columns.size());
        size_t n = 0;
        do {
            size_t at = p.peek().position;
            Literal v = p.literal();
            if (n >= targets.size())
                sqlError("plus de valeurs que de colonnes", at);
            const ColumnInfo& c = info.columns[size_t(targets[n])];
            if (c.autonumber && !v.value.isNull())
                throw Error(Code::InvalidValue, TableWriter::autonumberRefusal(c.name));
            values[size_t(targets[n])] = adapt(c, v);
            ++n;
        } while (p.acceptSymbol(','));
        p.expectSymbol(')');
        if (n != targets.size())
            sqlError("moins de valeurs que de colonnes", p.peek().position);
        if (!p.atEnd())
            sqlError("texte inattendu après l'instruction", p.peek().position);
        writer.insert(info.name, values);
        return 1;
    }
    if (isKeyword(p.peek(), "UPDATE")) {
        p.next();
        std::string table = p.name();
        TableInfo info = db.table(table);
        p.expectKeyword("SET");
        std::vector<std::optional<Value>> changes(info.columns.size());
        do {
            size_t at = p.peek().position;
            int column = columnOf(info, p.name(), at);
            if (info.columns[size_t(column)].autonumber)
                throw Error(Code::InvalidValue, TableWriter::autonumberRefusal(info.columns[size_t(column)].name));
            p.expectSymbol('=');
            changes[size_t(column)] = adapt(info.columns[size_t(column)], p.literal());
        } while (p.acceptSymbol(','));
        std::string where;
        if (!p.atEnd()) {
            if (!isKeyword(p.peek(), "WHERE"))
                sqlError("WHERE attendu", p.peek().position);
            where = p.rest();
        }
        // The rows are chosen under the write lock, so that no other
        // process changes them between the choice and the write.
        LockHolder hold(writer);
        std::vector<RowId> rows = selectRows(db, info.name, where);
        writer.transact([&](Transaction& txn) {
            TableWriter t(txn, writer.definitionPage(txn, info.name));
            for (RowId id : rows)
                t.update(id, changes);
            t.finish();
        });
        return long(rows.size());
    }
    if (isKeyword(p.peek(), "DELETE")) {
        p.next();
        p.acceptSymbol('*');
        p.expectKeyword("FROM");
        std::string table = p.name();
        TableInfo info = db.table(table);
        std::string where;
        if (!p.atEnd()) {
            if (!isKeyword(p.peek(), "WHERE"))
                sqlError("WHERE attendu", p.peek().position);
            where = p.rest();
        }
        LockHolder hold(writer);
        std::vector<RowId> rows = selectRows(db, info.name, where);
        writer.transact([&](Transaction& txn) {
            TableWriter t(txn, writer.definitionPage(txn, info.name));
            for (RowId id : rows)
                t.remove(id);
            t.finish();
        });
        return long(rows.size());
    }
    sqlError("INSERT, UPDATE ou DELETE attendu", p.peek().position);
}

} // namespace jet::writer
