#include "server/row_source_sql.h"

#include "jet/status.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace velmor::server {

namespace {

struct Token {
    enum class Kind { Name, Keyword, Parameter, Literal, End } kind = Kind::End;
    QString text;
    QVariant value; // Parameter
};

[[noreturn]] void refuse(const QString& why)
{
    throw jet::Error(jet::Code::SqlError, QStringLiteral("requête refusée : %1").arg(why).toStdString());
}

const QStringList keywords = {QStringLiteral("SELECT"), QStringLiteral("FROM"),  QStringLiteral("WHERE"),
                              QStringLiteral("ORDER"),  QStringLiteral("BY"),    QStringLiteral("AND"),
                              QStringLiteral("OR"),     QStringLiteral("NOT"),   QStringLiteral("IS"),
                              QStringLiteral("NULL"),   QStringLiteral("ASC"),   QStringLiteral("DESC")};

// #2001-01-15#, #1/15/2001# (month first, as Jet reads it), with an optional time.
QDateTime dateLiteral(const QString& text)
{
    for (const QString& format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                  QStringLiteral("M/d/yyyy"), QStringLiteral("M/d/yyyy H:mm:ss")}) {
        const QDateTime when = QDateTime::fromString(text.trimmed(), format);
        if (when.isValid())
            return when;
    }
    refuse(QStringLiteral("date illisible #%1#").arg(text));
}

std::vector<Token> tokenize(const QString& text)
{
    std::vector<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'\'') {
            QString value = QStringLiteral(""); // '' is an empty text, never a null (which would be NULL)
            for (++i;; ++i) {
                if (i >= n)
                    refuse(QStringLiteral("texte entre apostrophes non terminé"));
                if (text[i] == u'\'') {
                    if (i + 1 < n && text[i + 1] == u'\'') {
                        value += u'\'';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i];
            }
            tokens.push_back({Token::Kind::Parameter, QStringLiteral("?"), value});
        } else if (c == u'#') {
            const qsizetype close = text.indexOf(u'#', i + 1);
            if (close < 0)
                refuse(QStringLiteral("date non terminée"));
            tokens.push_back({Token::Kind::Parameter, QStringLiteral("?"), dateLiteral(text.mid(i + 1, close - i - 1))});
            i = close + 1;
        } else if (c == u'[') {
            const qsizetype close = text.indexOf(u']', i + 1);
            if (close < 0)
                refuse(QStringLiteral("nom entre crochets non terminé"));
            tokens.push_back({Token::Kind::Name, text.mid(i + 1, close - i - 1), {}});
            i = close + 1;
        } else if (c.isLetter() || c == u'_') {
            qsizetype end = i;
            while (end < n && (text[end].isLetterOrNumber() || text[end] == u'_'))
                ++end;
            const QString word = text.mid(i, end - i);
            // What the file engine's row sources do not have either.
            for (const char* refused : {"LIKE", "IN", "BETWEEN", "UNION", "JOIN", "GROUP", "HAVING"})
                if (word.compare(QLatin1String(refused), Qt::CaseInsensitive) == 0)
                    refuse(QStringLiteral("« %1 » n'est pas accepté dans une source de lignes").arg(word));
            const bool keyword = keywords.contains(word, Qt::CaseInsensitive);
            tokens.push_back({keyword ? Token::Kind::Keyword : Token::Kind::Name, keyword ? word.toUpper() : word, {}});
            i = end;
        } else if (c.isDigit()) {
            qsizetype end = i;
            while (end < n && (text[end].isDigit() || text[end] == u'.'))
                ++end;
            tokens.push_back({Token::Kind::Literal, text.mid(i, end - i), {}});
            i = end;
        } else {
            static const QStringList operators = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">="),
                                                  QStringLiteral("="),  QStringLiteral("<"),  QStringLiteral(">"),
                                                  QStringLiteral("("),  QStringLiteral(")"),  QStringLiteral(","),
                                                  QStringLiteral("*")};
            const auto op = std::find_if(operators.begin(), operators.end(),
                                         [&](const QString& o) { return QStringView(text).mid(i).startsWith(o); });
            if (op == operators.end())
                refuse(QStringLiteral("caractère inattendu « %1 »").arg(c));
            tokens.push_back({Token::Kind::Literal, *op, {}});
            i += op->size();
        }
    }
    tokens.push_back({});
    return tokens;
}

bool isKeyword(const Token& t, const char* word)
{
    return t.kind == Token::Kind::Keyword && t.text == QLatin1String(word);
}

} // namespace

QString quotedName(const QString& name)
{
    QString lowered = name.toLower();
    return QLatin1Char('"') + lowered.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

ServerRowSource translateRowSource(const QString& jetText)
{
    const std::vector<Token> tokens = tokenize(jetText);
    ServerRowSource source;
    size_t i = 0;
    if (tokens[0].kind == Token::Kind::Name && tokens[1].kind == Token::Kind::End) {
        source.table = tokens[0].text.toLower();
        return source;
    }
    if (!isKeyword(tokens[i++], "SELECT") || tokens[i++].text != QLatin1String("*") || !isKeyword(tokens[i++], "FROM"))
        refuse(QStringLiteral("seul « SELECT * FROM table » est accepté"));
    if (tokens[i].kind != Token::Kind::Name)
        refuse(QStringLiteral("nom de table attendu après FROM"));
    source.table = tokens[i++].text.toLower();

    QString* part = nullptr;
    // NULL sorts before any value, as on the file (the server puts it last).
    auto endOrderItem = [&] {
        source.orderBy += source.orderBy.endsWith(QLatin1String(" DESC")) ? QStringLiteral(" NULLS LAST")
                                                                          : QStringLiteral(" NULLS FIRST");
    };
    for (; tokens[i].kind != Token::Kind::End; ++i) {
        const Token& t = tokens[i];
        if (isKeyword(t, "WHERE") && !part) {
            part = &source.where;
            continue;
        }
        if (isKeyword(t, "ORDER") && isKeyword(tokens[i + 1], "BY") && part != &source.orderBy) {
            part = &source.orderBy;
            ++i;
            continue;
        }
        if (!part || isKeyword(t, "SELECT") || isKeyword(t, "FROM") || isKeyword(t, "WHERE"))
            refuse(QStringLiteral("« %1 » inattendu").arg(t.text));
        if (t.kind == Token::Kind::Parameter) {
            if (part == &source.orderBy)
                refuse(QStringLiteral("valeur inattendue dans ORDER BY"));
            source.parameters.append(t.value);
        }
        if (part == &source.orderBy && t.kind == Token::Kind::Literal && t.text == QLatin1String(","))
            endOrderItem();
        if (!part->isEmpty())
            *part += QLatin1Char(' ');
        *part += t.kind == Token::Kind::Name ? quotedName(t.text) : t.text;
    }
    if (part && part->isEmpty())
        refuse(QStringLiteral("condition ou tri vide"));
    if (!source.orderBy.isEmpty())
        endOrderItem();
    return source;
}

} // namespace velmor::server
