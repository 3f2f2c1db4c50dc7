// Date-order checks that the two record sheets run before every move.
//
// A date key is a field's text read as a date in the user's regional format
// and written "yyyymmdd"; an empty text gives an empty key. The checks compare
// keys as plain character strings and return the warnings to show, in order.
// They never fail, never change a field and never refuse the move.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace velmor::datecheck {

// The key that stands for "no date" where a check replaces an empty key.
inline QString noDateKey() { return QStringLiteral("99999999"); }

// `key`, or "99999999" when it is empty.
QString emptyAsNoDate(const QString& key);

// The warnings of the return sheet, from the keys of "Date accord",
// "Date de réception" and "Date de retour client".
QStringList returnWarnings(const QString& agreementKey, const QString& receptionKey,
                           const QString& returnKey);

// The warnings of the loan sheet, from the keys of "Date d'accord",
// "Date d'envoi" and "Date retour matériel HS".
QStringList loanWarnings(const QString& agreementKey, const QString& sendKey,
                         const QString& faultyReturnKey);

// The same from the texts the fields show, read with `locale`.
QStringList returnWarningsForTexts(const QString& agreement, const QString& reception,
                                   const QString& returnToClient, const QLocale& locale);
QStringList loanWarningsForTexts(const QString& agreement, const QString& send,
                                 const QString& faultyReturn, const QLocale& locale);

// The four messages, exactly as shown.
QString receptionBeforeAgreement();   // return sheet, first check
QString returnBeforeReception();      // return sheet, second check
QString sendBeforeAgreement();        // loan sheet, first check
QString faultyReturnBeforeAgreement(); // loan sheet, second check

} // namespace velmor::datecheck
