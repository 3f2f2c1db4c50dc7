#include "sheets/date_check.h"

#include "sheets/regional_date.h"

namespace velmor::datecheck {

QString receptionBeforeAgreement()
{
    return QStringLiteral("Date de reception antérieure à la date d'accord");
}

QString returnBeforeReception()
{
    return QStringLiteral("Date de retour antérieure à la date de reception");
}

QString sendBeforeAgreement()
{
    return QStringLiteral("Date d'envoi antérieure à la date d'accord");
}

QString faultyReturnBeforeAgreement()
{
    return QStringLiteral("Date de retour matériel hs antérieure à la date d'accord");
}

QString emptyAsNoDate(const QString& key)
{
    return key.isEmpty() ? noDateKey() : key;
}

// QString's ordering compares UTF-16 code units one by one: plain
// character-code order, which for eight-digit keys is date order.
static bool after(const QString& left, const QString& right)
{
    return QString::compare(left, right, Qt::CaseSensitive) > 0;
}

QStringList returnWarnings(const QString& agreementKey, const QString& receptionKey,
                           const QString& returnKey)
{
    // The agreement key is never replaced; the reception key, once replaced,
    // is also the left-hand side of the second comparison.
    const QString a = agreementKey;
    const QString r = emptyAsNoDate(receptionKey);
    const QString t = emptyAsNoDate(returnKey);
    QStringList warnings;
    if (after(a, r))
        warnings << receptionBeforeAgreement();
    if (after(r, t))
        warnings << returnBeforeReception();
    return warnings;
}

QStringList loanWarnings(const QString& agreementKey, const QString& sendKey,
                         const QString& faultyReturnKey)
{
    // Both dates are compared with the agreement date, never with each other.
    const QString a = agreementKey;
    const QString e = emptyAsNoDate(sendKey);
    const QString h = emptyAsNoDate(faultyReturnKey);
    QStringList warnings;
    if (after(a, e))
        warnings << sendBeforeAgreement();
    if (after(a, h))
        warnings << faultyReturnBeforeAgreement();
    return warnings;
}

QStringList returnWarningsForTexts(const QString& agreement, const QString& reception,
                                   const QString& returnToClient, const QLocale& locale)
{
    return returnWarnings(regional::dateKey(agreement, locale), regional::dateKey(reception, locale),
                          regional::dateKey(returnToClient, locale));
}

QStringList loanWarningsForTexts(const QString& agreement, const QString& send,
                                 const QString& faultyReturn, const QLocale& locale)
{
    return loanWarnings(regional::dateKey(agreement, locale), regional::dateKey(send, locale),
                        regional::dateKey(faultyReturn, locale));
}

} // namespace velmor::datecheck
