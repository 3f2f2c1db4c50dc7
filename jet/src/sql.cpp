#include "sql.h"

#include "decimal.h"
#include "text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace jet::detail::sql {

namespace {

enum class Tok { End, Word, Name, Text, Number, Date, Star, Comma, Dot, LParen, RParen, Semicolon, Op };

struct Token {
    Tok kind = Tok::End;
    std::string text;   // word/name/text content, operator
    size_t pos = 0;     // 1-based column for messages
};

[[noreturn]] void fail(const std::string& message)
{
    throw Error(Code::SqlError, "erreur de syntaxe dans la requête : " + message);
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

std::vector<Token> tokenize(const std::string& s)
{
    std::vector<Token> out;
    size_t i = 0;
    while (true) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        Token t;
        t.pos = i + 1;
        if (i >= s.size()) {
            out.push_back(t);
            return out;
        }
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\'' || c == '"') {
            char quote = char(c);
            ++i;
            while (true) {
                if (i >= s.size())
                    fail(std::string("texte non terminé (") + quote + " manquant) à la position " +
                         std::to_string(t.pos));
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        t.text += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                t.text += s[i++];
            }
            t.kind = Tok::Text;
        } else if (c == '[') {
            size_t close = s.find(']', i + 1);
            if (close == std::string::npos)
                fail("crochet fermant manquant après la position " + std::to_string(t.pos));
            t.kind = Tok::Name;
            t.text = s.substr(i + 1, close - i - 1);
            if (t.text.empty())
                fail("nom vide entre crochets à la position " + std::to_string(t.pos));
            i = close + 1;
        } else if (c == '#') {
            size_t close = s.find('#', i + 1);
            if (close == std::string::npos)
                fail("date non terminée (# manquant) à la position " + std::to_string(t.pos));
            t.kind = Tok::Date;
            t.text = s.substr(i + 1, close - i - 1);
            i = close + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            size_t start = i;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
                ++i;
            if (i < s.size() && s[i] == '.') {
                ++i;
                while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
                    ++i;
            }
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                size_t save = i;
                ++i;
                if (i < s.size() && (s[i] == '+' || s[i] == '-'))
                    ++i;
                if (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
                        ++i;
                } else {
                    i = save;
                }
            }
            t.kind = Tok::Number;
            t.text = s.substr(start, i - start);
            if (i < s.size() && isWordChar(static_cast<unsigned char>(s[i])))
                fail("nombre mal formé à la position " + std::to_string(t.pos));
        } else if (isWordChar(c)) {
            size_t start = i;
            while (i < s.size() && isWordChar(static_cast<unsigned char>(s[i])))
                ++i;
            t.kind = Tok::Word;
            t.text = s.substr(start, i - start);
        } else {
            ++i;
            switch (c) {
            case '*': t.kind = Tok::Star; break;
            case ',': t.kind = Tok::Comma; break;
            case '.': t.kind = Tok::Dot; break;
            case '(': t.kind = Tok::LParen; break;
            case ')': t.kind = Tok::RParen; break;
            case ';': t.kind = Tok::Semicolon; break;
            case '=': t.kind = Tok::Op; t.text = "="; break;
            case '<':
                t.kind = Tok::Op;
                if (i < s.size() && (s[i] == '>' || s[i] == '=')) {
                    t.text = std::string("<") + s[i];
                    ++i;
                } else {
                    t.text = "<";
                }
                break;
            case '>':
                t.kind = Tok::Op;
                if (i < s.size() && s[i] == '=') {
                    t.text = ">=";
                    ++i;
                } else {
                    t.text = ">";
                }
                break;
            case '!':
                if (i < s.size() && s[i] == '=') {
                    t.kind = Tok::Op;
                    t.text = "<>";
                    ++i;
                    break;
                }
                [[fallthrough]];
            case '-':
            case '+':
                if (c != '!') {
                    t.kind = Tok::Op;
                    t.text = std::string(1, char(c));
                    break;
                }
                [[fallthrough]];
            default:
                fail(std::string("caractère inattendu « ") + char(c) + " » à la position " + std::to_string(t.pos));
            }
        }
        out.push_back(std::move(t));
    }
}

const char* const kReserved[] = {"SELECT", "FROM", "WHERE", "ORDER", "BY", "ASC", "DESC", "AND",
                                 "OR",     "NOT",  "IS",    "NULL",  "TRUE", "FALSE"};

bool reserved(const std::string& word)
{
    std::string u = upper(word);
    for (const char* r : kReserved) {
        if (u == r)
            return true;
    }
    return false;
}

class Parser {
public:
    explicit Parser(const std::string& text) : tokens_(tokenize(text)) {}

    Select parseSelect()
    {
        Select select;
        expectWord("SELECT");
        if (peek().kind != Tok::Star)
            fail("seule la forme SELECT * est prise en charge (position " + std::to_string(peek().pos) + ")");
        ++at_;
        expectWord("FROM");
        select.table = parseName("nom de table");
        if (peekWord("WHERE")) {
            ++at_;
            select.where = parseOr();
        }
        if (peekWord("ORDER")) {
            ++at_;
            expectWord("BY");
            while (true) {
                OrderKey key;
                key.name = parseColumnName();
                if (peekWord("ASC")) {
                    ++at_;
                } else if (peekWord("DESC")) {
                    ++at_;
                    key.ascending = false;
                }
                select.orderBy.push_back(std::move(key));
                if (peek().kind != Tok::Comma)
                    break;
                ++at_;
            }
        }
        if (peek().kind == Tok::Semicolon)
            ++at_;
        if (peek().kind != Tok::End)
            fail("« " + describe(peek()) + " » inattendu à la position " + std::to_string(peek().pos));
        select.table = qualifiedTable_.empty() ? select.table : select.table;
        table_ = select.table;
        return select;
    }

    const std::vector<std::string>& qualifiers() const { return qualifiers_; }

private:
    const Token& peek() const { return tokens_[at_]; }
    bool peekWord(const char* word) const { return peek().kind == Tok::Word && upper(peek().text) == word; }

    static std::string describe(const Token& t)
    {
        switch (t.kind) {
        case Tok::End: return "fin de la requête";
        case Tok::Text: return "'" + t.text + "'";
        case Tok::Name: return "[" + t.text + "]";
        case Tok::Date: return "#" + t.text + "#";
        case Tok::Star: return "*";
        case Tok::Comma: return ",";
        case Tok::Dot: return ".";
        case Tok::LParen: return "(";
        case Tok::RParen: return ")";
        case Tok::Semicolon: return ";";
        default: return t.text;
        }
    }

    void expectWord(const char* word)
    {
        if (!peekWord(word))
            fail(std::string(word) + " attendu à la position " + std::to_string(peek().pos) + " au lieu de « " +
                 describe(peek()) + " »");
        ++at_;
    }

    std::string parseName(const char* what)
    {
        const Token& t = peek();
        if (t.kind == Tok::Name || (t.kind == Tok::Word && !reserved(t.text))) {
            ++at_;
            return t.text;
        }
        fail(std::string(what) + " attendu à la position " + std::to_string(t.pos) + " au lieu de « " + describe(t) +
             " »");
    }

    // column, or table.column
    std::string parseColumnName()
    {
        std::string first = parseName("nom de colonne");
        if (peek().kind == Tok::Dot) {
            ++at_;
            qualifiers_.push_back(first);
            return parseName("nom de colonne");
        }
        return first;
    }

    std::unique_ptr<Condition> parseOr()
    {
        auto left = parseAnd();
        while (peekWord("OR")) {
            ++at_;
            auto node = std::make_unique<Condition>();
            node->kind = Condition::Kind::Or;
            node->a = std::move(left);
            node->b = parseAnd();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Condition> parseAnd()
    {
        auto left = parseNot();
        while (peekWord("AND")) {
            ++at_;
            auto node = std::make_unique<Condition>();
            node->kind = Condition::Kind::And;
            node->a = std::move(left);
            node->b = parseNot();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Condition> parseNot()
    {
        if (peekWord("NOT")) {
            ++at_;
            auto node = std::make_unique<Condition>();
            node->kind = Condition::Kind::Not;
            node->a = parseNot();
            return node;
        }
        return parsePredicate();
    }

    std::unique_ptr<Condition> parsePredicate()
    {
        if (peek().kind == Tok::LParen) {
            ++at_;
            auto inner = parseOr();
            if (peek().kind != Tok::RParen)
                fail("parenthèse fermante attendue à la position " + std::to_string(peek().pos) + " au lieu de « " +
                     describe(peek()) + " »");
            ++at_;
            return inner;
        }
        auto node = std::make_unique<Condition>();
        node->left = parseOperand();
        if (peekWord("IS")) {
            ++at_;
            bool negated = false;
            if (peekWord("NOT")) {
                ++at_;
                negated = true;
            }
            expectWord("NULL");
            node->kind = negated ? Condition::Kind::IsNotNull : Condition::Kind::IsNull;
            return node;
        }
        const Token& op = peek();
        if (op.kind != Tok::Op || op.text == "+" || op.text == "-")
            fail("opérateur de comparaison attendu à la position " + std::to_string(op.pos) + " au lieu de « " +
                 describe(op) + " »");
        ++at_;
        node->kind = Condition::Kind::Compare;
        if (op.text == "=")
            node->op = CompareOp::Equal;
        else if (op.text == "<>")
            node->op = CompareOp::NotEqual;
        else if (op.text == "<")
            node->op = CompareOp::Less;
        else if (op.text == ">")
            node->op = CompareOp::Greater;
        else if (op.text == "<=")
            node->op = CompareOp::LessEqual;
        else
            node->op = CompareOp::GreaterEqual;
        node->right = parseOperand();
        return node;
    }

    Operand parseOperand()
    {
        Operand o;
        const Token& t = peek();
        if (t.kind == Tok::Op && (t.text == "-" || t.text == "+")) {
            bool negative = t.text == "-";
            ++at_;
            if (peek().kind != Tok::Number)
                fail("nombre attendu après le signe à la position " + std::to_string(t.pos));
            o = parseOperand();
            if (negative) {
                o.literal = Value::real(-o.literal.asDouble());
                o.number = o.number[0] == '-' ? o.number.substr(1) : "-" + o.number;
            }
            return o;
        }
        switch (t.kind) {
        case Tok::Text:
            o.kind = Operand::Kind::Text;
            o.literal = Value::text(t.text);
            ++at_;
            return o;
        case Tok::Number: {
            o.kind = Operand::Kind::Number;
            o.literal = Value::real(std::strtod(t.text.c_str(), nullptr));
            o.number = t.text;
            ++at_;
            return o;
        }
        case Tok::Date: {
            double days = 0;
            if (!parseDateLiteral(t.text, days))
                fail("date invalide #" + t.text + "# à la position " + std::to_string(t.pos));
            o.kind = Operand::Kind::Date;
            o.literal = Value::dateTime(days);
            ++at_;
            return o;
        }
        case Tok::Word:
            if (upper(t.text) == "NULL") {
                ++at_;
                o.kind = Operand::Kind::Null;
                return o;
            }
            if (upper(t.text) == "TRUE" || upper(t.text) == "FALSE") {
                o.kind = Operand::Kind::Number;
                o.literal = Value::real(upper(t.text) == "TRUE" ? -1.0 : 0.0);
                ++at_;
                return o;
            }
            [[fallthrough]];
        case Tok::Name:
            o.kind = Operand::Kind::Column;
            o.name = parseColumnName();
            return o;
        default:
            fail("valeur ou nom de colonne attendu à la position " + std::to_string(t.pos) + " au lieu de « " +
                 describe(t) + " »");
        }
    }

    std::vector<Token> tokens_;
    size_t at_ = 0;
    std::string table_;
    std::string qualifiedTable_;
    std::vector<std::string> qualifiers_;
};

enum class Family { Text, Number, Other };

Family columnFamily(const ColumnDef& c)
{
    switch (c.info.type) {
    case ColumnType::Text:
    case ColumnType::Memo: return Family::Text;
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Numeric:
    case ColumnType::BigInt: return Family::Number;
    default: return Family::Other;
    }
}

void bindOperand(Operand& o, const TableDef& table)
{
    if (o.kind != Operand::Kind::Column)
        return;
    o.column = table.columnIndex(o.name);
    if (o.column < 0)
        throw Error(Code::NotFound, "colonne inconnue dans la requête : " + o.name + " (table " + table.name + ")");
}

Family operandFamily(const Operand& o, const TableDef& table)
{
    switch (o.kind) {
    case Operand::Kind::Column: return columnFamily(table.columns[size_t(o.column)]);
    case Operand::Kind::Text: return Family::Text;
    case Operand::Kind::Number:
    case Operand::Kind::Date: return Family::Number;
    case Operand::Kind::Null: return Family::Other;
    }
    return Family::Other;
}

void bindCondition(Condition& c, const TableDef& table)
{
    switch (c.kind) {
    case Condition::Kind::And:
    case Condition::Kind::Or:
        bindCondition(*c.a, table);
        bindCondition(*c.b, table);
        return;
    case Condition::Kind::Not: bindCondition(*c.a, table); return;
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull: bindOperand(c.left, table); return;
    case Condition::Kind::Compare: {
        bindOperand(c.left, table);
        bindOperand(c.right, table);
        if (c.left.kind == Operand::Kind::Null || c.right.kind == Operand::Kind::Null)
            return; // never true, whatever the type
        Family l = operandFamily(c.left, table), r = operandFamily(c.right, table);
        auto name = [&](const Operand& o) {
            return o.kind == Operand::Kind::Column ? o.name : o.literal.toString();
        };
        if (l == Family::Other || r == Family::Other)
            throw Error(Code::SqlError, "la colonne " + (l == Family::Other ? name(c.left) : name(c.right)) +
                                            " ne peut pas être comparée");
        if (l != r)
            throw Error(Code::SqlError, "type de données incompatible dans l'expression du critère (" +
                                            name(c.left) + " et " + name(c.right) + ")");
        return;
    }
    }
}

Value operandValue(const Operand& o, const TableDef& table, const RowReader& row)
{
    if (o.kind == Operand::Kind::Column)
        return row.value(table.columns[size_t(o.column)]);
    return o.literal;
}

double numberOf(const Value& v)
{
    if (v.kind() == Value::Kind::Decimal)
        return std::strtod(v.asText().c_str(), nullptr);
    return v.asDouble();
}

} // namespace

bool isSelect(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (text.size() - i < 6 || upper(text.substr(i, 6)) != "SELECT")
        return false;
    return i + 6 == text.size() || !isWordChar(static_cast<unsigned char>(text[i + 6]));
}

Select parse(const std::string& text)
{
    Parser parser(text);
    Select select = parser.parseSelect();
    for (const std::string& q : parser.qualifiers()) {
        if (compareIgnoringCase(q, select.table) != 0)
            throw Error(Code::SqlError, "la table " + q + " n'est pas celle de la clause FROM (" + select.table + ")");
    }
    return select;
}

void bind(Select& select, const TableDef& table)
{
    if (select.where)
        bindCondition(*select.where, table);
    for (OrderKey& key : select.orderBy) {
        key.column = table.columnIndex(key.name);
        if (key.column < 0)
            throw Error(Code::NotFound, "colonne inconnue dans ORDER BY : " + key.name + " (table " + table.name + ")");
    }
}

int compareValues(const Value& a, const Value& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    bool aText = a.kind() == Value::Kind::Text, bText = b.kind() == Value::Kind::Text;
    if (aText && bText)
        return compareIgnoringCase(a.asText(), b.asText());
    if (aText != bText)
        return aText ? 1 : -1;
    if (a.kind() == Value::Kind::Currency && b.kind() == Value::Kind::Currency)
        return a.asCurrency() < b.asCurrency() ? -1 : a.asCurrency() > b.asCurrency() ? 1 : 0;
    if (a.kind() == Value::Kind::Decimal && b.kind() == Value::Kind::Decimal) {
        std::optional<DecimalDigits> x = parseDecimal(a.asText()), y = parseDecimal(b.asText());
        if (x && y)
            return compareDecimals(*x, *y);
    }
    try {
        double x = numberOf(a), y = numberOf(b);
        return x < y ? -1 : x > y ? 1 : 0;
    } catch (const Error&) {
        std::string x = a.toString(), y = b.toString();
        return x < y ? -1 : x > y ? 1 : 0;
    }
}

namespace {

Truth compared(CompareOp op, int order)
{
    bool result = false;
    switch (op) {
    case CompareOp::Equal: result = order == 0; break;
    case CompareOp::NotEqual: result = order != 0; break;
    case CompareOp::Less: result = order < 0; break;
    case CompareOp::Greater: result = order > 0; break;
    case CompareOp::LessEqual: result = order <= 0; break;
    case CompareOp::GreaterEqual: result = order >= 0; break;
    }
    return result ? Truth::True : Truth::False;
}

// The exact decimal value of an operand's value, when it has one.
std::optional<DecimalDigits> exactDecimal(const Value& v, const Operand& o)
{
    switch (v.kind()) {
    case Value::Kind::Decimal:
    case Value::Kind::Int:
    case Value::Kind::Currency: return parseDecimal(v.toString());
    case Value::Kind::Double:
        if (o.kind == Operand::Kind::Number && !o.number.empty())
            return parseDecimal(o.number);
        return std::nullopt;
    default: return std::nullopt;
    }
}

} // namespace

Truth evaluate(const Condition& c, const TableDef& table, const RowReader& row)
{
    switch (c.kind) {
    case Condition::Kind::And: {
        Truth x = evaluate(*c.a, table, row);
        if (x == Truth::False)
            return Truth::False;
        Truth y = evaluate(*c.b, table, row);
        if (y == Truth::False)
            return Truth::False;
        return (x == Truth::True && y == Truth::True) ? Truth::True : Truth::Unknown;
    }
    case Condition::Kind::Or: {
        Truth x = evaluate(*c.a, table, row);
        if (x == Truth::True)
            return Truth::True;
        Truth y = evaluate(*c.b, table, row);
        if (y == Truth::True)
            return Truth::True;
        return (x == Truth::False && y == Truth::False) ? Truth::False : Truth::Unknown;
    }
    case Condition::Kind::Not: {
        Truth x = evaluate(*c.a, table, row);
        return x == Truth::Unknown ? x : (x == Truth::True ? Truth::False : Truth::True);
    }
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull: {
        bool null = c.left.kind == Operand::Kind::Column ? row.isNull(table.columns[size_t(c.left.column)])
                                                         : c.left.kind == Operand::Kind::Null;
        if (c.left.kind == Operand::Kind::Column && table.columns[size_t(c.left.column)].info.type == ColumnType::Boolean)
            null = false;
        return (null == (c.kind == Condition::Kind::IsNull)) ? Truth::True : Truth::False;
    }
    case Condition::Kind::Compare: {
        if (c.left.kind == Operand::Kind::Null || c.right.kind == Operand::Kind::Null)
            return Truth::Unknown;
        Value a = operandValue(c.left, table, row);
        if (a.isNull())
            return Truth::Unknown;
        Value b = operandValue(c.right, table, row);
        if (b.isNull())
            return Truth::Unknown;
        // A Decimal column compares exactly with a number as written, an
        // integer, a currency amount or another Decimal value (0.1 is 0.1,
        // not the double nearest to it).
        if (a.kind() == Value::Kind::Decimal || b.kind() == Value::Kind::Decimal) {
            std::optional<DecimalDigits> x = exactDecimal(a, c.left), y = exactDecimal(b, c.right);
            if (x && y)
                return compared(c.op, compareDecimals(*x, *y));
        }
        // A Single column compares at single precision, so that
        // Discount = 0.15 finds the rows that store 0.15.
        auto isSingle = [&](const Operand& o) {
            return o.kind == Operand::Kind::Column &&
                   table.columns[size_t(o.column)].info.type == ColumnType::Single;
        };
        if ((isSingle(c.left) || isSingle(c.right)) && a.kind() != Value::Kind::Text &&
            b.kind() != Value::Kind::Text) {
            a = Value::real(double(float(numberOf(a))));
            b = Value::real(double(float(numberOf(b))));
        }
        return compared(c.op, compareValues(a, b));
    }
    }
    return Truth::Unknown;
}

bool parseDateLiteral(const std::string& text, double& accessDays)
{
    // Split into numbers and separators.
    std::vector<long> n;
    std::vector<char> sep;
    bool pm = false, am = false;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isdigit(c)) {
            long v = 0;
            size_t start = i;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 9)
                v = v * 10 + (text[i++] - '0');
            n.push_back(v);
        } else if (c == '/' || c == '-' || c == ':') {
            sep.push_back(char(c));
            ++i;
        } else if (c == ' ' || c == '\t') {
            sep.push_back(' ');
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
        } else {
            std::string rest = upper(text.substr(i));
            if (rest == "AM")
                am = true;
            else if (rest == "PM")
                pm = true;
            else
                return false;
            break;
        }
    }
    long year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    size_t k = 0;
    bool hasDate = false;
    if (n.size() >= 3 && !sep.empty() && (sep[0] == '/' || sep[0] == '-')) {
        if (sep[0] == '-' || n[0] > 31) { // yyyy-mm-dd
            year = n[0];
            month = n[1];
            day = n[2];
        } else { // m/d/yyyy
            month = n[0];
            day = n[1];
            year = n[2];
            if (year < 100)
                year += year < 30 ? 2000 : 1900;
        }
        k = 3;
        hasDate = true;
    }
    if (k < n.size()) {
        hour = n[k++];
        if (k < n.size())
            minute = n[k++];
        if (k < n.size())
            second = n[k++];
        if (k < n.size())
            return false;
        if (pm && hour < 12)
            hour += 12;
        if (am && hour == 12)
            hour = 0;
    } else if (!hasDate) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 100 || year > 9999 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap))
        return false;
    accessDays = Value::dateTime(int(year), int(month), int(day), int(hour), int(minute), int(second)).asDateTime();
    return true;
}

} // namespace jet::detail::sql
