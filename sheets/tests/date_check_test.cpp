// The two sheets' date-order checks on the texts the fields show, without
// any window: the cases the sheets' descriptions list, keys compared as
// strings, texts that are not dates, and other regional formats.
#include "sheets/date_check.h"

#include <QLocale>
#include <QtTest>

using namespace velmor::datecheck;

class DateCheckTest : public QObject {
    Q_OBJECT

private slots:
    void messagesAreExact()
    {
        QCOMPARE(receptionBeforeAgreement(), QString::fromUtf8("Date de reception antérieure à la date d'accord"));
        QCOMPARE(returnBeforeReception(), QString::fromUtf8("Date de retour antérieure à la date de reception"));
        QCOMPARE(sendBeforeAgreement(), QString::fromUtf8("Date d'envoi antérieure à la date d'accord"));
        QCOMPARE(faultyReturnBeforeAgreement(),
                 QString::fromUtf8("Date de retour matériel hs antérieure à la date d'accord"));
    }

    // Under French settings. Return sheet: agreement, reception, return to
    // client; loan sheet: agreement, send, faulty return. Warnings: R the
    // reception one, B the return one; S the send one, H the faulty-return one.
    void warnings_data()
    {
        QTest::addColumn<bool>("loan");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, bool loan, QStringList texts, const char* expected) {
            QTest::newRow(tag) << loan << texts << QString::fromLatin1(expected);
        };
        row("reception before agreement", false, {"12/10/2001", "01/10/2001", ""}, "R");
        row("return before reception", false, {"01/10/2001", "05/10/2001", "03/10/2001"}, "B");
        row("both, reception first", false, {"12/10/2001", "01/10/2001", "20/09/2001"}, "RB");
        row("equal dates", false, {"12/10/2001", "12/10/2001", "12/10/2001"}, "");
        row("all empty", false, {"", "", ""}, "");
        row("empty reception counts as 99999999", false, {"01/01/2001", "", "03/10/2001"}, "B");
        row("empty reception, empty agreement", false, {"", "", "03/10/2001"}, "B");
        row("empty agreement", false, {"", "01/10/2001", ""}, "");
        row("empty return", false, {"01/10/2001", "05/10/2001", ""}, "");
        row("in order", false, {"01/10/2001", "05/10/2001", "07/10/2001"}, "");
        row("across the year end", false, {"31/12/2001", "03/01/2002", "28/12/2001"}, "B");
        row("time of day", false, {"18/04/2001 09:30:00", "18/04/2001", "19/04/2001"}, "");
        row("send before agreement", true, {"12/10/2001", "05/10/2001", ""}, "S");
        row("faulty return before agreement", true, {"12/10/2001", "", "01/10/2001"}, "H");
        row("both, send first", true, {"12/10/2001", "01/10/2001", "30/09/2001"}, "SH");
        row("send after faulty return", true, {"01/10/2001", "20/10/2001", "10/10/2001"}, "");
        row("loan, empty agreement", true, {"", "05/10/2001", "01/10/2001"}, "");
        row("loan, all empty", true, {"", "", ""}, "");
    }
    void warnings()
    {
        QFETCH(bool, loan);
        QFETCH(QStringList, texts);
        QFETCH(QString, expected);
        const QLocale french(QLocale::French, QLocale::France);
        QStringList messages;
        for (const QChar c : expected)
            messages << (c == 'R'   ? receptionBeforeAgreement()
                         : c == 'B' ? returnBeforeReception()
                         : c == 'S' ? sendBeforeAgreement()
                                    : faultyReturnBeforeAgreement());
        const QStringList shown = loan ? loanWarningsForTexts(texts[0], texts[1], texts[2], french)
                                       : returnWarningsForTexts(texts[0], texts[1], texts[2], french);
        QCOMPARE(shown, messages);
    }

    // Keys compare as plain strings: "9" sorts after "2" whatever the length.
    void keysComparedAsStrings()
    {
        QCOMPARE(emptyAsNoDate(QString()), QStringLiteral("99999999"));
        QCOMPARE(returnWarnings("20011012", "20011001", ""), QStringList{receptionBeforeAgreement()});
        QVERIFY(returnWarnings("20011001", "20011001", "20011001").isEmpty());
        QCOMPARE(loanWarnings("9", "20011001", ""), QStringList{sendBeforeAgreement()});
    }

    // A text that is not a date still gives a key, compared like any other.
    void notADate()
    {
        const QLocale french(QLocale::French, QLocale::France);
        QCOMPARE(returnWarningsForTexts("abc", "abc", "abc", french), QStringList());
    }

    // Other regional formats read the typed order their own way; under the
    // C locale "2 Oct 2001" comes before "10 Oct 2001".
    void otherLocales()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(returnWarningsForTexts("10/12/2001", "10/01/2001", "", us), QStringList{receptionBeforeAgreement()});
        QVERIFY(returnWarningsForTexts("10/01/2001", "10/12/2001", "", us).isEmpty());
        const QLocale c = QLocale::c();
        QVERIFY(returnWarningsForTexts("2 Oct 2001", "10 Oct 2001", "", c).isEmpty());
        QCOMPARE(loanWarningsForTexts("2 Oct 2001", "30 Sep 2001", "", c), QStringList{sendBeforeAgreement()});
    }
};

QTEST_GUILESS_MAIN(DateCheckTest)
#include "date_check_test.moc"
