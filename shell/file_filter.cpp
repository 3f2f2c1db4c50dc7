#include "shell/file_filter.h"

#include <QRegularExpression>

namespace velmor {

namespace {

// How Qt's file dialog finds the patterns in an entry: the text between the
// last pair of parentheses that closes the entry.
const QRegularExpression& qtPatternTail() {
    static const QRegularExpression re(
        QStringLiteral("^(.*)\\(([a-zA-Z0-9_.*? +;#\\-\\[\\]@\\{\\}/!<>\\$%&=^~:\\|]*)\\)$"));
    return re;
}

QStringList patternsOf(const QString& patternText) {
    QStringList patterns;
    for (const QString& part : patternText.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            patterns.append(pattern);
    }
    return patterns;
}

QString qtEntry(const QString& description, const QString& patternText) {
    QStringList patterns = patternsOf(patternText);
    if (patterns.isEmpty())
        patterns.append(QStringLiteral("*"));
    const QRegularExpressionMatch match = qtPatternTail().match(description);
    if (match.hasMatch() &&
        match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts) == patterns)
        return description;
    const QString joined = patterns.join(QLatin1Char(' '));
    if (description.isEmpty())
        return QStringLiteral("(%1)").arg(joined);
    return QStringLiteral("%1 (%2)").arg(description, joined);
}

} // namespace

QStringList qtFilterPatterns(const QString& qtEntry) {
    const QRegularExpressionMatch match = qtPatternTail().match(qtEntry);
    const QString patterns = match.hasMatch() ? match.captured(2) : qtEntry;
    return patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList qtFilterEntries(const QString& pipeFilter) {
    QStringList entries;
    if (pipeFilter.isEmpty())
        return entries;
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString pattern = i + 1 < parts.size() ? parts.at(i + 1) : QString();
        entries.append(qtEntry(parts.at(i), pattern));
    }
    return entries;
}

QString toQtFilter(const QString& pipeFilter) {
    return qtFilterEntries(pipeFilter).join(QStringLiteral(";;"));
}

QString qtFilterEntry(const QString& pipeFilter, int index) {
    const QStringList entries = qtFilterEntries(pipeFilter);
    if (entries.isEmpty())
        return QString();
    if (index < 1 || index > entries.size())
        return entries.first();
    return entries.at(index - 1);
}

} // namespace velmor
