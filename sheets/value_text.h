// A column's value as the text a field shows, and a field's text as the value
// written back, by column type, in the user's regional format.
//
// Shown: text as it is; dates in the short date format ("12/10/2001") with
// the time "hh:mm:ss" only when the value has a time of day; numbers in the
// regional format without group separators ("1234,5"); yes/no as
// "Vrai"/"Faux" (French) or "True"/"False"; NULL as empty text.
//
// Written back: the text converted to the column's type; empty text writes
// NULL in a date, number or GUID column and the empty string in a text
// column. A text that cannot be converted gives an error in French that
// names the field: by the caption the user sees when one is given, by the
// column's name otherwise.
#pragma once

#include "jet/database.h"
#include "jet/value.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace velmor::valuetext {

QString toText(const jet::Value& value, const jet::ColumnInfo& column, const QLocale& locale = QLocale());

struct Conversion {
    std::optional<jet::Value> value; // set when the text converts
    QString error;                   // otherwise why not, naming the field
    bool ok() const { return value.has_value(); }
};

// `caption`: the field's name as the sheet shows it ("Date accord"), used in
// the error instead of the column's name.
Conversion fromText(const QString& text, const jet::ColumnInfo& column, const QLocale& locale = QLocale(),
                    const QString& caption = QString());

// Whether fields may write this column at all (not autonumbers, binary,
// OLE, attachments).
bool isWritable(const jet::ColumnInfo& column);

} // namespace velmor::valuetext
