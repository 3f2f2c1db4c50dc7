// Dates as the user types and reads them: the regional short date format of a
// QLocale (French: 12/10/2001, United States: 10/12/2001).
//
// Reading is lenient, as users expect: day and month with one or two digits,
// years with four digits or with one or two (windowed to 1930-2029), "/",
// "-", "." or blanks between the parts, blanks around ignored, and an
// optional time of day "hh:mm" or "hh:mm:ss" (with AM/PM if wanted) after
// the date. The order of day, month and year is that of the locale.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

namespace velmor::regional {

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

// The order of the parts in the locale's short date format.
DateOrder dateOrder(const QLocale& locale = QLocale());

struct DateTimeText {
    QDate date;
    std::optional<QTime> time; // only when the text had one
};

// Reads `text` as a date (and time) in the locale's order; nothing when it is
// not one (letters, 31/02/2001, a year before 100...).
std::optional<DateTimeText> parseDateTime(const QString& text, const QLocale& locale = QLocale());
std::optional<QDate> parseDate(const QString& text, const QLocale& locale = QLocale());

// The locale's short date format with a four-digit year ("12/10/2001").
QString formatDate(const QDate& date, const QLocale& locale = QLocale());
// The date, then the time "hh:mm:ss" when `time` is given.
QString formatDateTime(const QDate& date, const std::optional<QTime>& time,
                       const QLocale& locale = QLocale());

// The date key of a field's text: "yyyymmdd" of the date it reads as, empty
// for empty (or blank) text. A text that is not a date gives the text itself
// without its surrounding blanks, so building a key never fails.
QString dateKey(const QString& text, const QLocale& locale = QLocale());

} // namespace velmor::regional
