#include "sheets/regional_date.h"

#include <QRegularExpression>

namespace velmor::regional {

namespace {

// Position of the first d, M and y of a date format, quoted text skipped.
struct PartPositions {
    int day = -1, month = -1, year = -1;
};

PartPositions partPositions(const QString& format)
{
    PartPositions p;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('d') && p.day < 0)
            p.day = i;
        else if (c == QLatin1Char('M') && p.month < 0)
            p.month = i;
        else if (c == QLatin1Char('y') && p.year < 0)
            p.year = i;
    }
    return p;
}

// A year as typed: one or two digits are windowed to 1930-2029; four digits
// are taken as they are; anything else is refused.
std::optional<int> yearOf(const QString& digits)
{
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok)
        return std::nullopt;
    if (digits.size() <= 2)
        return value < 30 ? 2000 + value : 1900 + value;
    if (digits.size() == 4 && value >= 100)
        return value;
    return std::nullopt;
}

std::optional<int> dayOrMonthOf(const QString& digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        return std::nullopt;
    return digits.toInt();
}

const QRegularExpression& meridiemPattern()
{
    static const QRegularExpression re(QStringLiteral("\\s*([AaPp])\\.?\\s*[Mm]\\.?$"));
    return re;
}

const QRegularExpression& timePattern()
{
    static const QRegularExpression re(
        QStringLiteral("\\s+([0-9]{1,2})\\s*:\\s*([0-9]{1,2})(?:\\s*:\\s*([0-9]{1,2}))?$"));
    return re;
}

const QRegularExpression& datePattern()
{
    // Three groups of digits, each pair separated by / - . or blanks, with
    // blanks allowed around a separator.
    static const QRegularExpression re(QStringLiteral(
        "^([0-9]+)(?:\\s*[/\\-.]\\s*|\\s+)([0-9]+)(?:\\s*[/\\-.]\\s*|\\s+)([0-9]+)$"));
    return re;
}

// The literal texts of a date format: the quoted parts ("'г'" gives "г").
QStringList quotedTexts(const QString& format)
{
    QStringList texts;
    QString current;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('\'')) {
            if (quoted)
                current += c;
            continue;
        }
        if (quoted && i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
            current += c; // '' inside quotes: one quote
            ++i;
            continue;
        }
        if (quoted && !current.trimmed().isEmpty())
            texts << current.trimmed();
        current.clear();
        quoted = !quoted;
    }
    return texts;
}

// Whether the format writes the month as a name (MMM or MMMM, unquoted).
bool hasMonthName(const QString& format)
{
    bool quoted = false;
    for (int i = 0; i + 2 < format.size(); ++i) {
        if (format.at(i) == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && format.at(i) == QLatin1Char('M') && format.at(i + 1) == QLatin1Char('M')
                 && format.at(i + 2) == QLatin1Char('M'))
            return true;
    }
    return false;
}

// A month name (long or short, as in a date or standing alone, with or
// without its final dot) of `locale`, read as the month's number.
std::optional<int> monthOfName(const QString& word, const QLocale& locale)
{
    const auto plain = [](QString text) {
        text = text.trimmed();
        while (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        return text;
    };
    const QString wanted = plain(word);
    if (wanted.isEmpty())
        return std::nullopt;
    for (int month = 1; month <= 12; ++month) {
        const QString names[] = {
            locale.monthName(month, QLocale::LongFormat),
            locale.monthName(month, QLocale::ShortFormat),
            locale.standaloneMonthName(month, QLocale::LongFormat),
            locale.standaloneMonthName(month, QLocale::ShortFormat),
        };
        for (const QString& name : names)
            if (!name.isEmpty() && plain(name).compare(wanted, Qt::CaseInsensitive) == 0)
                return month;
    }
    return std::nullopt;
}

// What the locale's own short format puts around the numbers, taken out so
// that the text reads as plain digits and separators: the locale's digits
// become 0-9, invisible direction marks go, quoted words of the format go,
// a month name becomes its number. Nothing is changed for a locale whose
// format has none of these (French, for instance). Nothing when a word is
// not a month name.
std::optional<QString> plainDigits(const QString& input, const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);

    // The locale's digits (Arabic-Indic, Devanagari...) as 0-9.
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    const uint zeroDigit = zero.size() == 1 ? zero.first() : uint('0');
    // The invisible marks that the format itself holds (right-to-left marks).
    QList<uint> marks;
    for (uint c : format.toUcs4())
        if (QChar::category(char32_t(c)) == QChar::Other_Format && !marks.contains(c))
            marks << c;
    QList<uint> out;
    for (uint c : input.toUcs4()) {
        if (marks.contains(c))
            continue;
        if (zeroDigit != uint('0') && c >= zeroDigit && c <= zeroDigit + 9)
            c = uint('0') + (c - zeroDigit);
        out << c;
    }
    QString text = QString::fromUcs4(reinterpret_cast<const char32_t*>(out.constData()), out.size());

    for (const QString& literal : quotedTexts(format))
        text.replace(literal, QStringLiteral(" "), Qt::CaseInsensitive);

    if (hasMonthName(format)) {
        static const QRegularExpression word(QStringLiteral("[^\\d\\s/\\-.:]+\\.?"));
        QString named;
        int from = 0;
        for (QRegularExpressionMatchIterator it = word.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const std::optional<int> month = monthOfName(m.captured(), locale);
            if (!month) {
                // AM/PM after a time is read later; any other word is no date.
                if (m.captured().contains(QRegularExpression(QStringLiteral("^[AaPp]\\.?[Mm]\\.?$"))))
                    continue;
                return std::nullopt;
            }
            named += text.mid(from, m.capturedStart() - from) + QLatin1Char(' ') + QString::number(*month)
                     + QLatin1Char(' ');
            from = m.capturedEnd();
        }
        text = named + text.mid(from);
    }
    return text;
}

// Whether the format ends with a dot after its last part ("yyyy. MM. dd.").
bool endsWithDot(const QString& format)
{
    QString rest = format;
    for (const QString& literal : quotedTexts(format))
        rest.remove(literal);
    rest.remove(QLatin1Char('\''));
    return rest.trimmed().endsWith(QLatin1Char('.'));
}

} // namespace

DateOrder dateOrder(const QLocale& locale)
{
    const PartPositions p = partPositions(locale.dateFormat(QLocale::ShortFormat));
    if (p.year >= 0 && (p.day < 0 || p.year < p.day) && (p.month < 0 || p.year < p.month))
        return DateOrder::YearMonthDay;
    if (p.month >= 0 && p.day >= 0 && p.month < p.day)
        return DateOrder::MonthDayYear;
    return DateOrder::DayMonthYear;
}

std::optional<DateTimeText> parseDateTime(const QString& input, const QLocale& locale)
{
    const std::optional<QString> plain = plainDigits(input, locale);
    if (!plain)
        return std::nullopt;
    QString text = plain->trimmed();
    if (text.isEmpty())
        return std::nullopt;

    // Time of day at the end, after a blank: "hh:mm[:ss]" with an optional AM/PM.
    std::optional<QTime> time;
    std::optional<bool> afternoon;
    if (QRegularExpressionMatch m = meridiemPattern().match(text); m.hasMatch() && text.contains(QLatin1Char(':'))) {
        afternoon = m.captured(1).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
        text.truncate(m.capturedStart());
    }
    if (QRegularExpressionMatch m = timePattern().match(text); m.hasMatch()) {
        int hour = m.captured(1).toInt();
        const int minute = m.captured(2).toInt();
        const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        if (afternoon) {
            if (hour < 1 || hour > 12)
                return std::nullopt;
            hour = (hour % 12) + (*afternoon ? 12 : 0);
        }
        if (hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
        time = QTime(hour, minute, second);
        text.truncate(m.capturedStart());
    } else if (afternoon) {
        return std::nullopt;
    }

    // "2001. 01. 15." as Hungarian writes it: the final dot ends the date.
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('.')) && endsWithDot(locale.dateFormat(QLocale::ShortFormat))) {
        text.chop(1);
        text = text.trimmed();
    }
    const QRegularExpressionMatch m = datePattern().match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString a = m.captured(1), b = m.captured(2), c = m.captured(3);

    std::optional<int> year, month, day;
    DateOrder order = dateOrder(locale);
    // A four-digit first part can only be a year: "2001-10-12" reads as ISO.
    if (a.size() == 4)
        order = DateOrder::YearMonthDay;
    switch (order) {
    case DateOrder::DayMonthYear:
        day = dayOrMonthOf(a), month = dayOrMonthOf(b), year = yearOf(c);
        break;
    case DateOrder::MonthDayYear:
        month = dayOrMonthOf(a), day = dayOrMonthOf(b), year = yearOf(c);
        break;
    case DateOrder::YearMonthDay:
        year = yearOf(a), month = dayOrMonthOf(b), day = dayOrMonthOf(c);
        break;
    }
    if (!year || !month || !day || !QDate::isValid(*year, *month, *day))
        return std::nullopt;
    return DateTimeText{QDate(*year, *month, *day), time};
}

std::optional<QDate> parseDate(const QString& text, const QLocale& locale)
{
    if (auto parsed = parseDateTime(text, locale))
        return parsed->date;
    return std::nullopt;
}

QString formatDate(const QDate& date, const QLocale& locale)
{
    // The locale's own short format, with every year written in four digits.
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString fourDigits;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('y')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('y'))
                ++i;
            fourDigits += QLatin1String("yyyy");
            continue;
        }
        fourDigits += c;
    }
    return locale.toString(date, fourDigits);
}

QString formatDateTime(const QDate& date, const std::optional<QTime>& time, const QLocale& locale)
{
    QString text = formatDate(date, locale);
    if (time)
        text += QLatin1Char(' ') + time->toString(QStringLiteral("HH:mm:ss"));
    return text;
}

QString dateKey(const QString& text, const QLocale& locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QString();
    if (auto date = parseDate(trimmed, locale))
        return date->toString(QStringLiteral("yyyyMMdd"));
    return trimmed;
}

} // namespace velmor::regional
