// The row sources the application sends, written for the file engine
// (`tablep`, `SELECT * FROM [velmor2001] WHERE [client] = 'L''Oréal' ORDER BY
// dateaccord DESC`), as PostgreSQL reads them: names lowered and
// double-quoted, every text and #date# literal taken out of the text and
// bound as a parameter, so that nothing the user typed is ever part of the
// SQL the server parses. Keywords, numbers, operators and parentheses pass
// as they are; anything else (a quote left open, LIKE, a function) is
// refused as the file engine refuses it.
#pragma once

#include <QString>
#include <QVariantList>

namespace velmor::server {

struct ServerRowSource {
    QString table;        // lowered, unquoted
    QString where;        // the condition with ? for each parameter; empty for none
    QString orderBy;      // the ORDER BY list, NULL first as on the file; empty for none
    QVariantList parameters; // in the order of the ?
};

// Throws jet::Error(SqlError) with a French message.
ServerRowSource translateRowSource(const QString& jetText);

// A name as PostgreSQL reads it exactly: "name", lowered, quotes doubled.
QString quotedName(const QString& name);

} // namespace velmor::server
