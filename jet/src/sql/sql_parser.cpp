// The one tokenizer and recursive-descent parser of the SQL subset (see
// sql.h): a text becomes a Statement, which is bound and run without
// being printed or parsed again.
#include "sql/sql.h"

#include "format/text.h"

#include <cctype>
#include <cstdlib>

namespace jet::detail::sql {

namespace {

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

enum class Tok { End, Word, Name, Text, Number, Date, Star, Comma, Dot, LParen, RParen, Semicolon, Op };

struct Token {
    Tok kind = Tok::End;
    std::string text;   // word/name/text content, operator
    size_t pos = 0;     // 1-based column for messages
};



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
            if (i < s.size() && (isWordChar(static_cast<unsigned char>(s[i])) || s[i] == '.'))
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

    Statement parseStatement()
    {
        Statement statement = parseBody();
        if (peek().kind == Tok::Semicolon)
            ++at_;
        if (peek().kind != Tok::End)
            fail("« " + describe(peek()) + " » inattendu à la position " + std::to_string(peek().pos));
        return statement;
    }

    const std::vector<std::string>& qualifiers() const { return qualifiers_; }

private:
    Statement parseBody()
    {
        if (peekWord("SELECT"))
            return parseSelect();
        if (peekWord("INSERT"))
            return parseInsert();
        if (peekWord("UPDATE"))
            return parseUpdate();
        if (peekWord("DELETE"))
            return parseDelete();
        fail("SELECT, INSERT, UPDATE ou DELETE attendu à la position " + std::to_string(peek().pos) +
             " au lieu de « " + describe(peek()) + " »");
    }

    Select parseSelect()
    {
        Select select;
        expectWord("SELECT");
        if (peek().kind != Tok::Star)
            fail("seule la forme SELECT * est prise en charge (position " + std::to_string(peek().pos) + ")");
        ++at_;
        expectWord("FROM");
        select.table = parseName("nom de table");
        select.where = parseWhere();
        if (peekWord("ORDER")) {
            ++at_;
            expectWord("BY");
            do {
                OrderKey key;
                key.name = parseColumnName();
                if (peekWord("ASC")) {
                    ++at_;
                } else if (peekWord("DESC")) {
                    ++at_;
                    key.ascending = false;
                }
                select.orderBy.push_back(std::move(key));
            } while (accept(Tok::Comma));
        }
        return select;
    }

    Insert parseInsert()
    {
        Insert insert;
        expectWord("INSERT");
        expectWord("INTO");
        insert.table = parseName("nom de table");
        if (accept(Tok::LParen)) {
            do
                insert.columns.push_back(parseColumnName());
            while (accept(Tok::Comma));
            expect(Tok::RParen, "parenthèse fermante");
        }
        expectWord("VALUES");
        expect(Tok::LParen, "parenthèse ouvrante");
        do {
            if (!insert.columns.empty() && insert.values.size() == insert.columns.size())
                fail("plus de valeurs que de colonnes à la position " + std::to_string(peek().pos));
            insert.values.push_back(parseValue());
        } while (accept(Tok::Comma));
        if (insert.values.size() < insert.columns.size())
            fail("moins de valeurs que de colonnes à la position " + std::to_string(peek().pos));
        expect(Tok::RParen, "parenthèse fermante");
        return insert;
    }

    Update parseUpdate()
    {
        Update update;
        expectWord("UPDATE");
        update.table = parseName("nom de table");
        expectWord("SET");
        do {
            Assignment a;
            a.name = parseColumnName();
            const Token& op = peek();
            if (op.kind != Tok::Op || op.text != "=")
                fail("« = » attendu à la position " + std::to_string(op.pos) + " au lieu de « " + describe(op) + " »");
            ++at_;
            a.value = parseValue();
            update.assignments.push_back(std::move(a));
        } while (accept(Tok::Comma));
        update.where = parseWhere();
        return update;
    }

    Delete parseDelete()
    {
        Delete remove;
        expectWord("DELETE");
        accept(Tok::Star);
        expectWord("FROM");
        remove.table = parseName("nom de table");
        remove.where = parseWhere();
        return remove;
    }

    std::unique_ptr<Condition> parseWhere()
    {
        if (!peekWord("WHERE"))
            return nullptr;
        ++at_;
        return parseOr();
    }

    const Token& peek() const { return tokens_[at_]; }
    bool peekWord(const char* word) const { return peek().kind == Tok::Word && upper(peek().text) == word; }

    bool accept(Tok kind)
    {
        if (peek().kind != kind)
            return false;
        ++at_;
        return true;
    }

    void expect(Tok kind, const char* what)
    {
        if (!accept(kind))
            fail(std::string(what) + " attendue à la position " + std::to_string(peek().pos) + " au lieu de « " +
                 describe(peek()) + " »");
    }

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
        if (accept(Tok::LParen)) {
            auto inner = parseOr();
            expect(Tok::RParen, "parenthèse fermante");
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

    // A literal, for INSERT's values and UPDATE's assignments.
    Operand parseValue()
    {
        const Token& t = peek();
        Operand o = parseOperand();
        if (o.kind == Operand::Kind::Column)
            fail("valeur attendue à la position " + std::to_string(t.pos) + " au lieu de « " + describe(t) + " »");
        return o;
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
                o.kind = Operand::Kind::Boolean;
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
    std::vector<std::string> qualifiers_;
};

const std::string& tableOf(const Statement& s)
{
    return std::visit([](const auto& statement) -> const std::string& { return statement.table; }, s);
}

// Each column named once among the assigned ones.
void checkAssignedOnce(const std::vector<std::string>& names)
{
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (compareIgnoringCase(names[i], names[k]) == 0)
                throw Error(Code::SqlError, "la colonne " + names[i] + " reçoit deux valeurs dans la même requête");
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

Statement parseStatement(const std::string& text)
{
    Parser parser(text);
    Statement statement = parser.parseStatement();
    const std::string& table = tableOf(statement);
    for (const std::string& q : parser.qualifiers()) {
        if (compareIgnoringCase(q, table) != 0)
            throw Error(Code::SqlError, "la table " + q + " n'est pas celle de la " +
                                            (std::holds_alternative<Select>(statement) ? "clause FROM" : "requête") +
                                            " (" + table + ")");
    }
    if (const Insert* insert = std::get_if<Insert>(&statement))
        checkAssignedOnce(insert->columns);
    if (const Update* update = std::get_if<Update>(&statement)) {
        std::vector<std::string> names;
        for (const Assignment& a : update->assignments)
            names.push_back(a.name);
        checkAssignedOnce(names);
    }
    return statement;
}

Select parse(const std::string& text)
{
    Statement statement = parseStatement(text);
    if (Select* select = std::get_if<Select>(&statement))
        return std::move(*select);
    fail("une source de lignes est une requête SELECT");
}

} // namespace jet::detail::sql
