// Values and column definitions between the engine's vocabulary (jet::Value,
// jet::ColumnInfo) and PostgreSQL's through Qt SQL (QVariant, type names of
// information_schema).
#pragma once

#include "jet/database.h"
#include "jet/value.h"

#include <QString>
#include <QVariant>

namespace velmor::server {

// A column as information_schema.columns describes it (data_type,
// character_maximum_length; numeric precision and scale).
jet::ColumnInfo columnFromServer(const QString& name, const QString& dataType, int maxChars, int precision,
                                 int scale, bool nullable, bool identity);
// The type a column of the file takes on the server; throws
// jet::Error(Unsupported) for the attachment and multi-value columns.
QString serverType(const jet::ColumnInfo& column);

// The column as a SELECT reads it: a date as the text YYYY-MM-DD HH:MM:SS,
// which fromVariant() reads without the local-time conversions of QDateTime
// (most of the cost of reading rows when they come by the hundred).
QString selectedColumn(const jet::ColumnInfo& column);

QVariant toVariant(const jet::Value& value, const jet::ColumnInfo& column);
jet::Value fromVariant(const QVariant& value, const jet::ColumnInfo& column);

} // namespace velmor::server
