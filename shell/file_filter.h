// File dialog filters are written "description|pattern|description|pattern",
// patterns of one entry separated by ';'. Qt wants one entry per filter,
// "description (pattern pattern)", entries joined by ";;".
#pragma once

#include <QString>
#include <QStringList>

namespace velmor {

// The entries in Qt's form, one per description/pattern pair, in order. A
// description that already ends with its patterns in parentheses, such as
// "fichiers Access(*.mdb)" for "*.mdb", is kept exactly as written; any other
// gets " (patterns)" appended so that Qt finds its patterns.
QStringList qtFilterEntries(const QString& pipeFilter);

// The same entries joined by ";;", ready for a Qt file dialog.
QString toQtFilter(const QString& pipeFilter);

// The patterns Qt's file dialog takes from one entry in its form:
// "fichiers Access(*.mdb)" -> {"*.mdb"}.
QStringList qtFilterPatterns(const QString& qtEntry);

// The entry with the 1-based `index`, or the first entry when `index` is out
// of range (empty when there are no entries).
QString qtFilterEntry(const QString& pipeFilter, int index);

} // namespace velmor
