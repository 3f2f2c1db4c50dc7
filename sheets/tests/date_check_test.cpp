// The date keys and the two sheets' date-order checks, without any window.
#include "sheets/date_check.h"

#include <QLocale>
#include <QtTest>

using namespace velmor::datecheck;

class DateCheckTest : public QObject {
    Q_OBJECT

private:
    const QLocale french{QLocale::French, QLocale::France};

    QStringList returnTexts(const QString& a, const QString& r, const QString& t) const
    {
        return returnWarningsForTexts(a, r, t, french);
    }
    QStringList loanTexts(const QString& a, const QString& e, const QString& h) const
    {
        return loanWarningsForTexts(a, e, h, french);
    }

private slots:
    void messagesAreExact()
    {
        QCOMPARE(receptionBeforeAgreement(),
                 QString::fromUtf8("Date de reception antérieure à la date d'accord"));
        QCOMPARE(returnBeforeReception(),
                 QString::fromUtf8("Date de retour antérieure à la date de reception"));
        QCOMPARE(sendBeforeAgreement(), QString::fromUtf8("Date d'envoi antérieure à la date d'accord"));
        QCOMPARE(faultyReturnBeforeAgreement(),
                 QString::fromUtf8("Date de retour matériel hs antérieure à la date d'accord"));
    }

    void emptyKeyBecomesNines()
    {
        QCOMPARE(emptyAsNoDate(QString()), QStringLiteral("99999999"));
        QCOMPARE(emptyAsNoDate(QStringLiteral("20011012")), QStringLiteral("20011012"));
    }

    // The return sheet: the cases its description lists.
    void returnReceptionBeforeAgreement()
    {
        QCOMPARE(returnTexts("12/10/2001", "01/10/2001", ""), QStringList{receptionBeforeAgreement()});
    }
    void returnReturnBeforeReception()
    {
        QCOMPARE(returnTexts("01/10/2001", "05/10/2001", "03/10/2001"),
                 QStringList{returnBeforeReception()});
    }
    void returnBothInOrder()
    {
        QCOMPARE(returnTexts("12/10/2001", "01/10/2001", "20/09/2001"),
                 (QStringList{receptionBeforeAgreement(), returnBeforeReception()}));
    }
    void returnEqualDates()
    {
        QVERIFY(returnTexts("12/10/2001", "12/10/2001", "12/10/2001").isEmpty());
    }
    void returnAllEmpty()
    {
        QVERIFY(returnTexts("", "", "").isEmpty());
    }
    void returnReceptionEmptyReturnFilled()
    {
        // R counts as 99999999, so any return date comes "before" it.
        QCOMPARE(returnTexts("", "", "03/10/2001"), QStringList{returnBeforeReception()});
        QCOMPARE(returnTexts("12/10/2001", "", "03/10/2001"), QStringList{returnBeforeReception()});
        QCOMPARE(returnTexts("01/01/2001", "", "03/10/2001"), QStringList{returnBeforeReception()});
    }
    void returnEmptyAgreementGivesNoFirstMessage()
    {
        QVERIFY(returnTexts("", "01/10/2001", "").isEmpty());
    }
    void returnEmptyReturnGivesNoSecondMessage()
    {
        QVERIFY(returnTexts("01/10/2001", "05/10/2001", "").isEmpty());
    }
    void returnInOrder()
    {
        QVERIFY(returnTexts("01/10/2001", "05/10/2001", "07/10/2001").isEmpty());
    }
    void returnAcrossYearEnd()
    {
        // 31/12/2001, 03/01/2002, 28/12/2001: only the return is out of order.
        QCOMPARE(returnTexts("31/12/2001", "03/01/2002", "28/12/2001"),
                 QStringList{returnBeforeReception()});
    }
    void returnWithTimeOfDay()
    {
        QVERIFY(returnTexts("18/04/2001 09:30:00", "18/04/2001", "19/04/2001").isEmpty());
    }

    // The loan sheet.
    void loanSendBeforeAgreement()
    {
        QCOMPARE(loanTexts("12/10/2001", "05/10/2001", ""), QStringList{sendBeforeAgreement()});
    }
    void loanFaultyReturnBeforeAgreement()
    {
        QCOMPARE(loanTexts("12/10/2001", "", "01/10/2001"),
                 QStringList{faultyReturnBeforeAgreement()});
    }
    void loanBothInOrder()
    {
        QCOMPARE(loanTexts("12/10/2001", "01/10/2001", "30/09/2001"),
                 (QStringList{sendBeforeAgreement(), faultyReturnBeforeAgreement()}));
    }
    void loanSendAfterFaultyReturnBothAfterAgreement()
    {
        QVERIFY(loanTexts("01/10/2001", "20/10/2001", "10/10/2001").isEmpty());
    }
    void loanAgreementEmpty()
    {
        QVERIFY(loanTexts("", "05/10/2001", "01/10/2001").isEmpty());
        QVERIFY(loanTexts("", "", "").isEmpty());
    }
    void loanAllEmpty()
    {
        QVERIFY(loanTexts("", "", "").isEmpty());
    }

    // Keys compare as plain strings.
    void keysComparedAsStrings()
    {
        QCOMPARE(returnWarnings("20011012", "20011001", ""), QStringList{receptionBeforeAgreement()});
        QVERIFY(returnWarnings("20011001", "20011001", "20011001").isEmpty());
        // "9" sorts after "2" whatever the length.
        QCOMPARE(loanWarnings("9", "20011001", ""), QStringList{sendBeforeAgreement()});
    }

    // A text that is not a date still gives a key, and the check never fails.
    void notADateNeverFails()
    {
        const QStringList texts = {"abc", "31/02/2001", "12/13/2001", "  ", "2001", "éàç", "99/99/99",
                                   "12/10/2001 25:99"};
        for (const QString& a : texts)
            for (const QString& b : texts) {
                (void)returnTexts(a, b, a);
                (void)loanTexts(b, a, b);
            }
        // Letters as the reception date: compared as their key like any other.
        const QStringList w = returnTexts("12/10/2001", "abc", "");
        QVERIFY(w.size() <= 2);
    }

    // Another regional format reads the same typed order the other way.
    void otherLocale()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(returnWarningsForTexts("10/12/2001", "10/01/2001", "", us),
                 QStringList{receptionBeforeAgreement()});
        QVERIFY(returnWarningsForTexts("10/01/2001", "10/12/2001", "", us).isEmpty());
    }

    // Under the C locale the fields show "2 Oct 2001": the checks compare
    // the dates, not the texts ("2 Oct" would come after "10 Oct").
    void cLocaleComparesDates()
    {
        const QLocale c = QLocale::c();
        QVERIFY(returnWarningsForTexts("2 Oct 2001", "10 Oct 2001", "", c).isEmpty());
        QCOMPARE(returnWarningsForTexts("10 Oct 2001", "2 Oct 2001", "", c),
                 QStringList{receptionBeforeAgreement()});
        QVERIFY(loanWarningsForTexts("2 Oct 2001", "10 Oct 2001", "11 Nov 2001", c).isEmpty());
        QCOMPARE(loanWarningsForTexts("2 Oct 2001", "30 Sep 2001", "", c),
                 QStringList{sendBeforeAgreement()});
    }
};

QTEST_GUILESS_MAIN(DateCheckTest)
#include "date_check_test.moc"
