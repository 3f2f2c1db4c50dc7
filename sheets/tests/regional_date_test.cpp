// The regional date reader and writer, and the date key the sheets build.
#include "sheets/regional_date.h"

#include <QtTest>

using namespace velmor::regional;

namespace {
const QLocale french(QLocale::French, QLocale::France);
const QLocale american(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);
} // namespace

class RegionalDateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(french); }

    void order()
    {
        QCOMPARE(dateOrder(french), DateOrder::DayMonthYear);
        QCOMPARE(dateOrder(american), DateOrder::MonthDayYear);
        QCOMPARE(dateOrder(german), DateOrder::DayMonthYear);
        QCOMPARE(dateOrder(QLocale(QLocale::Chinese, QLocale::China)), DateOrder::YearMonthDay);
    }

    void frenchDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("plain") << "12/10/2001" << QDate(2001, 10, 12);
        QTest::newRow("one digit") << "1/2/2001" << QDate(2001, 2, 1);
        QTest::newRow("mixed digits") << "01/2/2001" << QDate(2001, 2, 1);
        QTest::newRow("two-digit year 2000s") << "12/10/01" << QDate(2001, 10, 12);
        QTest::newRow("window top") << "1/1/29" << QDate(2029, 1, 1);
        QTest::newRow("window bottom") << "1/1/30" << QDate(1930, 1, 1);
        QTest::newRow("window 99") << "31/12/99" << QDate(1999, 12, 31);
        QTest::newRow("one-digit year") << "5/6/7" << QDate(2007, 6, 5);
        QTest::newRow("dashes") << "12-10-2001" << QDate(2001, 10, 12);
        QTest::newRow("dots") << "12.10.2001" << QDate(2001, 10, 12);
        QTest::newRow("blanks") << "12 10 2001" << QDate(2001, 10, 12);
        QTest::newRow("mixed separators") << "12/10-2001" << QDate(2001, 10, 12);
        QTest::newRow("blanks around") << "   12/10/2001  " << QDate(2001, 10, 12);
        QTest::newRow("blanks around separators") << "12 / 10 / 2001" << QDate(2001, 10, 12);
        QTest::newRow("tab and no-break space") << "\t12/10/2001\u00A0" << QDate(2001, 10, 12);
        QTest::newRow("leap day") << "29/02/2000" << QDate(2000, 2, 29);
        QTest::newRow("iso") << "2001-10-12" << QDate(2001, 10, 12);
        QTest::newRow("with time") << "18/04/2001 09:30:00" << QDate(2001, 4, 18);
        QTest::newRow("with short time") << "18/04/2001 9:30" << QDate(2001, 4, 18);
        QTest::newRow("old year") << "01/01/0100" << QDate(100, 1, 1);
        QTest::newRow("last year") << "31/12/9999" << QDate(9999, 12, 31);
    }

    void frenchDates()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        auto parsed = parseDate(text, french);
        QVERIFY2(parsed.has_value(), qPrintable(text));
        QCOMPARE(*parsed, expected);
        // The default locale is the one the tests set.
        QCOMPARE(parseDate(text).value_or(QDate()), expected);
    }

    void notDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "   ";
        QTest::newRow("letters") << "abc";
        QTest::newRow("letters in a date") << "12/oct/2001";
        QTest::newRow("31 february") << "31/02/2001";
        QTest::newRow("29 february, not leap") << "29/02/2001";
        QTest::newRow("month 13") << "12/13/2001";
        QTest::newRow("day 0") << "0/10/2001";
        QTest::newRow("three-digit day") << "012/10/2001";
        QTest::newRow("three-digit year") << "12/10/201";
        QTest::newRow("five-digit year") << "12/10/20011";
        QTest::newRow("year 99 in four digits") << "12/10/0099";
        QTest::newRow("two parts") << "12/10";
        QTest::newRow("four parts") << "12/10/2001/5";
        QTest::newRow("double separator") << "12//10/2001";
        QTest::newRow("trailing separator") << "12/10/2001/";
        QTest::newRow("bad time") << "12/10/2001 25:00";
        QTest::newRow("time only") << "09:30";
        QTest::newRow("quote") << "12/10/2001'";
        QTest::newRow("arabic digits") << "١٢/١٠/٢٠٠١";
    }

    void notDates()
    {
        QFETCH(QString, text);
        QVERIFY2(!parseDateTime(text, french).has_value(), qPrintable(text));
    }

    void americanDates()
    {
        QCOMPARE(parseDate("10/12/2001", american).value_or(QDate()), QDate(2001, 10, 12));
        QCOMPARE(parseDate("4/18/01", american).value_or(QDate()), QDate(2001, 4, 18));
        QCOMPARE(parseDate(" 2-3-2001 ", american).value_or(QDate()), QDate(2001, 2, 3));
        QVERIFY(!parseDate("18/04/2001", american).has_value());
        auto withTime = parseDateTime("4/18/2001 9:30 PM", american);
        QVERIFY(withTime.has_value());
        QCOMPARE(withTime->time.value_or(QTime()), QTime(21, 30));
        QCOMPARE(parseDateTime("4/18/2001 12:05 am", american)->time.value_or(QTime()), QTime(0, 5));
        QVERIFY(!parseDateTime("4/18/2001 13:05 PM", american).has_value());
    }

    void times()
    {
        auto parsed = parseDateTime("18/04/2001 09:30:15", french);
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->date, QDate(2001, 4, 18));
        QCOMPARE(parsed->time.value_or(QTime()), QTime(9, 30, 15));
        QVERIFY(!parseDateTime("18/04/2001", french)->time.has_value());
        QCOMPARE(parseDateTime("18 04 2001 9:05", french)->time.value_or(QTime()), QTime(9, 5));
        QVERIFY(!parseDateTime("18/04/2001 09:60", french).has_value());
    }

    void formatting()
    {
        QCOMPARE(formatDate(QDate(2001, 10, 12), french), QStringLiteral("12/10/2001"));
        QCOMPARE(formatDate(QDate(2001, 2, 1), french), QStringLiteral("01/02/2001"));
        QCOMPARE(formatDate(QDate(2001, 10, 12), american), QStringLiteral("10/12/2001"));
        QCOMPARE(formatDate(QDate(1999, 4, 8), american), QStringLiteral("4/8/1999"));
        QCOMPARE(formatDate(QDate(2001, 10, 12), german), QStringLiteral("12.10.2001"));
        QCOMPARE(formatDate(QDate(2001, 10, 12)), QStringLiteral("12/10/2001"));
        QCOMPARE(formatDateTime(QDate(2001, 4, 18), QTime(9, 30), french), QStringLiteral("18/04/2001 09:30:00"));
        QCOMPARE(formatDateTime(QDate(2001, 4, 18), std::nullopt, french), QStringLiteral("18/04/2001"));
    }

    // Whatever the regional settings, a date written by formatDate (or
    // formatDateTime) reads back as the same date: the C locale of a fresh
    // system ("15 Jan 2001"), the usual ones, and every locale Qt knows
    // (other digits, direction marks, final dots, quoted words).
    void readsBackWhatItWrites_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("fr_FR") << french;
        QTest::newRow("en_US") << american;
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("de_DE") << german;
        const QList<QLocale> all =
            QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        for (const QLocale& locale : all)
            QTest::addRow("tous %s", qPrintable(locale.name())) << locale;
    }
    void readsBackWhatItWrites()
    {
        QFETCH(QLocale, locale);
        const QList<QDate> dates = {QDate(2001, 1, 15), QDate(2001, 10, 12), QDate(1999, 12, 31),
                                    QDate(2029, 2, 28), QDate(1930, 7, 4),  QDate(2000, 2, 29),
                                    QDate(1850, 5, 9),  QDate(9999, 12, 31)};
        for (const QDate& d : dates) {
            const QString text = formatDate(d, locale);
            QVERIFY2(parseDate(text, locale) == d, qPrintable(locale.name() + QLatin1String(": ") + text));
            QCOMPARE(dateKey(text, locale), d.toString(QStringLiteral("yyyyMMdd")));
            const QString withTime = formatDateTime(d, QTime(17, 5, 9), locale);
            const auto back = parseDateTime(withTime, locale);
            QVERIFY2(back.has_value(), qPrintable(locale.name() + QLatin1String(": ") + withTime));
            QCOMPARE(back->date, d);
            QCOMPARE(back->time.value_or(QTime()), QTime(17, 5, 9));
        }
    }

    // The C locale writes English month names: they read back, in any case,
    // and digits are still read too.
    void cLocale()
    {
        const QLocale c = QLocale::c();
        QCOMPARE(formatDate(QDate(2001, 1, 15), c), QStringLiteral("15 Jan 2001"));
        QCOMPARE(parseDate(QStringLiteral("15 Jan 2001"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDate(QStringLiteral("15 jan 2001"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDate(QStringLiteral("15 January 2001"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDate(QStringLiteral("15-Jan-01"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDate(QStringLiteral("15/01/2001"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDate(QStringLiteral("15 Jan 2001 9:30 PM"), c), QDate(2001, 1, 15));
        QCOMPARE(parseDateTime(QStringLiteral("15 Jan 2001 9:30 PM"), c)->time, QTime(21, 30));
        QVERIFY(!parseDate(QStringLiteral("15 Foo 2001"), c));
        QVERIFY(!parseDate(QStringLiteral("31 Feb 2001"), c));
        // Keys compare as dates, not as the text shown.
        QCOMPARE(dateKey(QStringLiteral("2 Oct 2001"), c), QStringLiteral("20011002"));
        QVERIFY(dateKey(QStringLiteral("2 Oct 2001"), c) < dateKey(QStringLiteral("10 Oct 2001"), c));
    }

    // Other scripts and punctuation, read in their own locale.
    void otherWritings()
    {
        const QLocale egypt(QLocale::Arabic, QLocale::Egypt);
        QCOMPARE(parseDate(formatDate(QDate(2001, 10, 12), egypt), egypt), QDate(2001, 10, 12));
        QCOMPARE(parseDate(QStringLiteral("12/10/2001"), egypt), QDate(2001, 10, 12));
        const QLocale hungary(QLocale::Hungarian, QLocale::Hungary);
        QCOMPARE(parseDate(QStringLiteral("2001. 10. 12."), hungary), QDate(2001, 10, 12));
        const QLocale bulgaria(QLocale::Bulgarian, QLocale::Bulgaria);
        QCOMPARE(parseDate(formatDate(QDate(2001, 10, 12), bulgaria), bulgaria), QDate(2001, 10, 12));
    }

    // French settings read exactly as before: numbers only, no month names.
    void frenchUnchanged()
    {
        QVERIFY(!parseDate(QStringLiteral("15 janv. 2001"), french));
        QVERIFY(!parseDate(QStringLiteral("15 Jan 2001"), french));
        QVERIFY(!parseDate(QStringLiteral("2001. 10. 12."), french));
        QCOMPARE(dateKey(QStringLiteral("15 janv. 2001"), french), QStringLiteral("15 janv. 2001"));
        QCOMPARE(formatDate(QDate(2001, 1, 15), french), QStringLiteral("15/01/2001"));
    }

    void keys()
    {
        QCOMPARE(dateKey("12/10/2001", french), QStringLiteral("20011012"));
        QCOMPARE(dateKey("1/2/01", french), QStringLiteral("20010201"));
        QCOMPARE(dateKey("18/04/2001 09:30:00", french), QStringLiteral("20010418"));
        QCOMPARE(dateKey("", french), QString());
        QCOMPARE(dateKey("   ", french), QString());
        QCOMPARE(dateKey("10/12/2001", american), QStringLiteral("20011012"));
        QCOMPARE(dateKey("12/10/2001"), QStringLiteral("20011012"));
        // Not a date: a key all the same, never a failure.
        QCOMPARE(dateKey(" abc ", french), QStringLiteral("abc"));
        QCOMPARE(dateKey("31/02/2001", french), QStringLiteral("31/02/2001"));
        // Keys of dates compare as the dates do.
        QVERIFY(dateKey("12/10/2001", french) > dateKey("01/10/2001", french));
        QVERIFY(dateKey("31/12/2001", french) < dateKey("03/01/2002", french));
        QVERIFY(dateKey("31/12/9999", french) < QStringLiteral("99999999"));
    }
};

QTEST_GUILESS_MAIN(RegionalDateTest)
#include "regional_date_test.moc"
