#include "sheets/value_text.h"

#include "sheets/regional_date.h"

#include <QRegularExpression>
#include <QUuid>

#include <charconv>
#include <cmath>
#include <limits>

namespace velmor::valuetext {

namespace {

// The field as the user knows it: the caption of its label, or the column's
// name when it has none.
struct FieldName {
    const jet::ColumnInfo& column;
    QString caption;
};

QString columnName(const FieldName& field)
{
    if (!field.caption.isEmpty())
        return field.caption;
    return QString::fromStdString(field.column.name);
}

QString quoted(const QString& text)
{
    return QStringLiteral("« %1 »").arg(text);
}

// "Le champ « x » n'accepte pas « y » : <why>."
QString refusal(const FieldName& field, const QString& text, const QString& why)
{
    return QStringLiteral("Le champ %1 n'accepte pas %2 : %3.").arg(quoted(columnName(field)), quoted(text), why);
}

bool isFrench(const QLocale& locale)
{
    return locale.language() == QLocale::French;
}

// C-locale number text ("-1.5e+20") in the locale's symbols.
QString localizeNumber(const std::string& c, const QLocale& locale)
{
    QString out;
    for (char ch : c) {
        if (ch == '.')
            out += locale.decimalPoint();
        else if (ch == '-')
            out += locale.negativeSign();
        else
            out += QLatin1Char(ch);
    }
    return out;
}

template <typename F>
std::string shortest(F value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

QString integerText(qint64 value, const QLocale& locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value);
}

QString currencyText(int64_t tenThousandths, const QLocale& locale)
{
    const bool negative = tenThousandths < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(tenThousandths) : uint64_t(tenThousandths);
    QString text = QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += locale.decimalPoint() + fraction;
    return negative ? locale.negativeSign() + text : text;
}

// Blanks of any kind removed: "1 234,5" and "1 234,5" read as 1234,5.
QString withoutBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!c.isSpace() && c != QChar(0x202F) && c != QChar(0x00A0))
            out += c;
    return out;
}

std::optional<double> readNumber(const QString& text, const QLocale& locale)
{
    const QString compact = withoutBlanks(text);
    bool ok = false;
    double value = locale.toDouble(compact, &ok);
    if (!ok)
        value = QLocale::c().toDouble(compact, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> readInteger(const QString& text, const QLocale& locale)
{
    const QString compact = withoutBlanks(text);
    bool ok = false;
    qint64 value = locale.toLongLong(compact, &ok);
    if (!ok)
        value = QLocale::c().toLongLong(compact, &ok);
    if (ok)
        return value;
    // "12,0" is a whole number too.
    if (auto real = readNumber(compact, locale); real && std::floor(*real) == *real
        && std::fabs(*real) < 9.0e15)
        return qint64(*real);
    return std::nullopt;
}

// Exact decimal text "-123.45" of a typed number, or nothing.
std::optional<QString> decimalText(const QString& text, const QLocale& locale)
{
    QString compact = withoutBlanks(text);
    compact.replace(locale.negativeSign(), QStringLiteral("-"));
    compact.replace(locale.decimalPoint(), QStringLiteral("."));
    if (compact.startsWith(QLatin1Char('+')))
        compact.remove(0, 1);
    static const QRegularExpression plain(QStringLiteral("^-?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (plain.match(compact).hasMatch()) {
        if (compact.startsWith(QLatin1Char('.')))
            compact.prepend(QLatin1Char('0'));
        else if (compact.startsWith(QLatin1String("-.")))
            compact.insert(1, QLatin1Char('0'));
        if (compact.endsWith(QLatin1Char('.')))
            compact.chop(1);
        return compact;
    }
    if (auto value = readNumber(text, locale))
        return QString::fromStdString(shortest(*value));
    return std::nullopt;
}

QString rangeText(qint64 low, qint64 high, const QLocale& locale)
{
    return QStringLiteral("ce n'est pas un nombre entier de %1 à %2")
        .arg(integerText(low, locale), integerText(high, locale));
}

Conversion integerFrom(const QString& text, const FieldName& column, const QLocale& locale, qint64 low,
                       qint64 high)
{
    auto value = readInteger(text, locale);
    if (!value || *value < low || *value > high)
        return {std::nullopt, refusal(column, text, rangeText(low, high, locale))};
    return {jet::Value::integer(*value), {}};
}

} // namespace

bool isWritable(const jet::ColumnInfo& column)
{
    if (column.autonumber)
        return false;
    switch (column.type) {
    case jet::ColumnType::Binary:
    case jet::ColumnType::OLE:
    case jet::ColumnType::Complex: return false;
    default: return true;
    }
}

QString toText(const jet::Value& value, const jet::ColumnInfo& column, const QLocale& locale)
{
    using Kind = jet::Value::Kind;
    switch (value.kind()) {
    case Kind::Null: return QString();
    case Kind::Text: return QString::fromStdString(value.asText());
    case Kind::Bool:
        if (isFrench(locale))
            return value.asBool() ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        return value.asBool() ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Int: return integerText(value.asInt(), locale);
    case Kind::Double:
        if (column.type == jet::ColumnType::Single)
            return localizeNumber(shortest(float(value.asDouble())), locale);
        return localizeNumber(shortest(value.asDouble()), locale);
    case Kind::Currency: return currencyText(value.asCurrency(), locale);
    case Kind::Decimal: return localizeNumber(value.asText(), locale);
    case Kind::DateTime: {
        jet::Value::Civil c{};
        try {
            c = value.civil();
        } catch (const std::exception&) {
            return QString::fromStdString(value.toString());
        }
        const QDate date(c.year, c.month, c.day);
        if (!date.isValid())
            return QString::fromStdString(value.toString());
        std::optional<QTime> time;
        if (c.hour || c.minute || c.second)
            time = QTime(c.hour, c.minute, c.second);
        return regional::formatDateTime(date, time, locale);
    }
    case Kind::Guid: return QString::fromStdString(value.toString());
    case Kind::Binary:
    case Kind::Unsupported: return QString();
    }
    return QString();
}

Conversion fromText(const QString& text, const jet::ColumnInfo& column, const QLocale& locale,
                    const QString& caption)
{
    using T = jet::ColumnType;
    const FieldName field{column, caption.trimmed()};
    if (column.autonumber)
        return {std::nullopt, QStringLiteral("Le champ %1 est numéroté automatiquement : il ne peut pas être modifié.")
                                  .arg(quoted(columnName(field)))};
    if (!isWritable(column))
        return {std::nullopt, QStringLiteral("Le champ %1 (%2) ne peut pas être modifié depuis une fiche.")
                                  .arg(quoted(columnName(field)), QString::fromUtf8(jet::columnTypeName(column.type)))};

    if (column.type == T::Text || column.type == T::Memo) {
        if (column.type == T::Text) {
            const int limit = column.maxChars > 0 ? column.maxChars : column.size;
            if (limit > 0 && text.size() > limit)
                return {std::nullopt, QStringLiteral("Le champ %1 accepte au plus %2 caractères (%3 saisis).")
                                          .arg(quoted(columnName(field)))
                                          .arg(limit)
                                          .arg(text.size())};
        }
        return {jet::Value::text(text.toStdString()), {}};
    }

    if (text.trimmed().isEmpty()) {
        if (column.type == T::Boolean)
            return {jet::Value::boolean(false), {}};
        return {jet::Value::null(), {}};
    }

    switch (column.type) {
    case T::DateTime: {
        auto parsed = regional::parseDateTime(text, locale);
        if (!parsed)
            return {std::nullopt,
                    refusal(field, text,
                            QStringLiteral("ce n'est pas une date valide (exemple : %1)")
                                .arg(regional::formatDate(QDate(2001, 10, 12), locale)))};
        const QDate& d = parsed->date;
        const QTime t = parsed->time.value_or(QTime(0, 0));
        return {jet::Value::dateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()), {}};
    }
    case T::Boolean: {
        const QString word = text.trimmed().toLower();
        static const QStringList yes = {QStringLiteral("vrai"), QStringLiteral("oui"), QStringLiteral("true"),
                                        QStringLiteral("yes"), QStringLiteral("-1"), QStringLiteral("1")};
        static const QStringList no = {QStringLiteral("faux"), QStringLiteral("non"), QStringLiteral("false"),
                                       QStringLiteral("no"), QStringLiteral("0")};
        if (yes.contains(word))
            return {jet::Value::boolean(true), {}};
        if (no.contains(word))
            return {jet::Value::boolean(false), {}};
        return {std::nullopt, refusal(field, text, QStringLiteral("répondez Vrai ou Faux"))};
    }
    case T::Byte: return integerFrom(text, field, locale, 0, 255);
    case T::Integer: return integerFrom(text, field, locale, -32768, 32767);
    case T::Long:
        return integerFrom(text, field, locale, std::numeric_limits<qint32>::min(),
                           std::numeric_limits<qint32>::max());
    case T::BigInt:
        return integerFrom(text, field, locale, std::numeric_limits<qint64>::min(),
                           std::numeric_limits<qint64>::max());
    case T::Single:
    case T::Double: {
        auto value = readNumber(text, locale);
        if (!value)
            return {std::nullopt, refusal(field, text, QStringLiteral("ce n'est pas un nombre"))};
        if (column.type == T::Single) {
            if (std::fabs(*value) > double(std::numeric_limits<float>::max()))
                return {std::nullopt, refusal(field, text, QStringLiteral("ce nombre est trop grand"))};
            return {jet::Value::single(float(*value)), {}};
        }
        return {jet::Value::real(*value), {}};
    }
    case T::Currency: {
        auto value = readNumber(text, locale);
        if (!value)
            return {std::nullopt, refusal(field, text, QStringLiteral("ce n'est pas un montant"))};
        const double scaled = std::round(*value * 10000.0);
        if (std::fabs(scaled) >= 9.2e18)
            return {std::nullopt, refusal(field, text, QStringLiteral("ce montant est trop grand"))};
        return {jet::Value::currency(int64_t(scaled)), {}};
    }
    case T::Numeric: {
        auto decimal = decimalText(text, locale);
        if (!decimal)
            return {std::nullopt, refusal(field, text, QStringLiteral("ce n'est pas un nombre"))};
        return {jet::Value::decimal(decimal->toStdString()), {}};
    }
    case T::Guid: {
        const QUuid uuid = QUuid::fromString(text.trimmed());
        if (uuid.isNull())
            return {std::nullopt,
                    refusal(field, text, QStringLiteral("ce n'est pas un identifiant {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"))};
        std::array<uint8_t, 16> bytes{};
        // As the file stores it: the first three groups little-endian.
        for (int i = 0; i < 4; ++i)
            bytes[i] = uint8_t(uuid.data1 >> (8 * i));
        for (int i = 0; i < 2; ++i) {
            bytes[4 + i] = uint8_t(uuid.data2 >> (8 * i));
            bytes[6 + i] = uint8_t(uuid.data3 >> (8 * i));
        }
        for (int i = 0; i < 8; ++i)
            bytes[8 + i] = uuid.data4[i];
        return {jet::Value::guid(bytes), {}};
    }
    default: break;
    }
    return {std::nullopt, QStringLiteral("Le champ %1 ne peut pas être modifié depuis une fiche.")
                              .arg(quoted(columnName(field)))};
}

} // namespace velmor::valuetext
