// The rows of a list as CSV that a French spreadsheet opens as it is: UTF-8
// with a byte order mark, ";" between fields, dates as dd/mm/yyyy, CR LF
// after every line, and fields holding ";", quotes or line breaks quoted
// (quotes doubled).
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVariant>
#include <vector>

class QAbstractItemModel;

namespace velmor::csv {

// One field as written: a QDate as dd/mm/yyyy, anything else as its text.
QString fieldText(const QVariant& value);

// The header line, then one line per row.
QByteArray write(const QStringList& header, const std::vector<QVariantList>& rows);

// The rows the model holds, in its order: the header's display texts, then
// each cell's `valueRole` (its display text when that is empty).
QByteArray writeModel(const QAbstractItemModel& model, int valueRole);

} // namespace velmor::csv
