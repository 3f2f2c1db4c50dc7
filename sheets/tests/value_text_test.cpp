// Column values as the fields show them, and field texts written back.
#include "sheets/value_text.h"

#include <QtTest>

using namespace velmor::valuetext;

namespace {

const QLocale french(QLocale::French, QLocale::France);
const QLocale american(QLocale::English, QLocale::UnitedStates);

jet::ColumnInfo column(const char* name, jet::ColumnType type, int maxChars = 0)
{
    jet::ColumnInfo c;
    c.name = name;
    c.type = type;
    c.maxChars = maxChars;
    c.size = type == jet::ColumnType::Text ? maxChars * 2 : 8;
    return c;
}

const jet::ColumnInfo client = column("client", jet::ColumnType::Text, 50);
const jet::ColumnInfo memo = column("intervention", jet::ColumnType::Memo);
const jet::ColumnInfo date = column("dateaccord", jet::ColumnType::DateTime);

jet::Value convert(const QString& text, const jet::ColumnInfo& c, const QLocale& locale = french)
{
    Conversion result = fromText(text, c, locale);
    if (!result.ok())
        qWarning("%s", qPrintable(result.error));
    return result.value.value_or(jet::Value::unsupported("refusé"));
}

QString refusal(const QString& text, const jet::ColumnInfo& c, const QLocale& locale = french)
{
    Conversion result = fromText(text, c, locale);
    return result.ok() ? QString() : result.error;
}

} // namespace

class ValueTextTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(french); }

    void textShown()
    {
        QCOMPARE(toText(jet::Value::text("L'Oréal"), client), QStringLiteral("L'Oréal"));
        QCOMPARE(toText(jet::Value::text("Écran 17\" Iiyama"), client), QStringLiteral("Écran 17\" Iiyama"));
        QCOMPARE(toText(jet::Value::text("a\r\nb — €"), memo), QStringLiteral("a\r\nb — €"));
        QCOMPARE(toText(jet::Value::text(""), client), QString());
        QCOMPARE(toText(jet::Value::null(), client), QString());
    }

    void textWritten()
    {
        QCOMPARE(convert("L'Oréal", client), jet::Value::text("L'Oréal"));
        QCOMPARE(convert("  blancs  ", client), jet::Value::text("  blancs  "));
        QCOMPARE(convert("", client), jet::Value::text(""));
        QCOMPARE(convert(QString(50, QChar(u'é')), client), jet::Value::text(QString(50, QChar(u'é')).toStdString()));
        const QString longText(6000, QLatin1Char('x'));
        QCOMPARE(convert(longText, memo), jet::Value::text(longText.toStdString()));
    }

    void textTooLong()
    {
        const QString error = refusal(QString(51, QLatin1Char('a')), client);
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains(QStringLiteral("« client »")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("50")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("51")), qPrintable(error));
    }

    void datesShown()
    {
        QCOMPARE(toText(jet::Value::dateTime(2001, 10, 12), date), QStringLiteral("12/10/2001"));
        QCOMPARE(toText(jet::Value::dateTime(2001, 2, 1), date), QStringLiteral("01/02/2001"));
        QCOMPARE(toText(jet::Value::dateTime(2001, 4, 18, 9, 30, 0), date), QStringLiteral("18/04/2001 09:30:00"));
        QCOMPARE(toText(jet::Value::dateTime(2001, 10, 12), date, american), QStringLiteral("10/12/2001"));
        QCOMPARE(toText(jet::Value::dateTime(1899, 12, 30), date), QStringLiteral("30/12/1899"));
        QCOMPARE(toText(jet::Value::dateTime(1850, 6, 1, 6, 0, 0), date), QStringLiteral("01/06/1850 06:00:00"));
        QCOMPARE(toText(jet::Value::null(), date), QString());
    }

    void datesWritten()
    {
        QCOMPARE(convert("12/10/2001", date), jet::Value::dateTime(2001, 10, 12));
        QCOMPARE(convert(" 1-2-01 ", date), jet::Value::dateTime(2001, 2, 1));
        QCOMPARE(convert("18/04/2001 09:30:00", date), jet::Value::dateTime(2001, 4, 18, 9, 30, 0));
        QCOMPARE(convert("10/12/2001", date, american), jet::Value::dateTime(2001, 10, 12));
        QCOMPARE(convert("", date), jet::Value::null());
        QCOMPARE(convert("   ", date), jet::Value::null());
    }

    void datesRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("31 february") << "31/02/2001";
        QTest::newRow("quote") << "12/10/2001'";
        QTest::newRow("american in french") << "4/18/2001";
    }

    void datesRefused()
    {
        QFETCH(QString, text);
        const QString error = refusal(text, date);
        QVERIFY2(!error.isEmpty(), qPrintable(text));
        QVERIFY2(error.contains(QStringLiteral("« dateaccord »")), qPrintable(error));
        QVERIFY2(error.contains(text), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("date")), qPrintable(error));
    }

    void numbersShown()
    {
        const auto dbl = column("montant", jet::ColumnType::Double);
        const auto sgl = column("taux", jet::ColumnType::Single);
        const auto lng = column("nombre", jet::ColumnType::Long);
        const auto cur = column("prix", jet::ColumnType::Currency);
        const auto dec = column("quantite", jet::ColumnType::Numeric);
        QCOMPARE(toText(jet::Value::real(1234.5), dbl), QStringLiteral("1234,5"));
        QCOMPARE(toText(jet::Value::real(1234.5), dbl, american), QStringLiteral("1234.5"));
        QCOMPARE(toText(jet::Value::real(-0.25), dbl), QStringLiteral("-0,25"));
        QCOMPARE(toText(jet::Value::single(0.15f), sgl), QStringLiteral("0,15"));
        QCOMPARE(toText(jet::Value::integer(1234567), lng), QStringLiteral("1234567"));
        QCOMPARE(toText(jet::Value::integer(-42), lng), QStringLiteral("-42"));
        QCOMPARE(toText(jet::Value::currency(125000), cur), QStringLiteral("12,5"));
        QCOMPARE(toText(jet::Value::currency(-5), cur), QStringLiteral("-0,0005"));
        QCOMPARE(toText(jet::Value::currency(30000), cur), QStringLiteral("3"));
        QCOMPARE(toText(jet::Value::decimal("-12.3400"), dec), QStringLiteral("-12,3400"));
        QCOMPARE(toText(jet::Value::boolean(true), column("ok", jet::ColumnType::Boolean)), QStringLiteral("Vrai"));
        QCOMPARE(toText(jet::Value::boolean(false), column("ok", jet::ColumnType::Boolean), american),
                 QStringLiteral("False"));
        QCOMPARE(toText(jet::Value::null(), dbl), QString());
    }

    void numbersWritten()
    {
        const auto dbl = column("montant", jet::ColumnType::Double);
        const auto lng = column("nombre", jet::ColumnType::Long);
        const auto intc = column("petit", jet::ColumnType::Integer);
        const auto byte = column("octet", jet::ColumnType::Byte);
        const auto cur = column("prix", jet::ColumnType::Currency);
        const auto dec = column("quantite", jet::ColumnType::Numeric);
        const auto boolean = column("ok", jet::ColumnType::Boolean);
        QCOMPARE(convert("1234,5", dbl), jet::Value::real(1234.5));
        QCOMPARE(convert("1 234,5", dbl), jet::Value::real(1234.5));
        QCOMPARE(convert("1.5", dbl), jet::Value::real(1.5)); // the point is understood too
        QCOMPARE(convert("1234.5", dbl, american), jet::Value::real(1234.5));
        QCOMPARE(convert("", dbl), jet::Value::null());
        QCOMPARE(convert("42", lng), jet::Value::integer(42));
        QCOMPARE(convert("-42", lng), jet::Value::integer(-42));
        QCOMPARE(convert("12,0", lng), jet::Value::integer(12));
        QCOMPARE(convert("", lng), jet::Value::null());
        QCOMPARE(convert("12,5", cur), jet::Value::currency(125000));
        QCOMPARE(convert("-3", dec), jet::Value::decimal("-3"));
        QCOMPARE(convert("12,34", dec), jet::Value::decimal("12.34"));
        QCOMPARE(convert("Vrai", boolean), jet::Value::boolean(true));
        QCOMPARE(convert("non", boolean), jet::Value::boolean(false));
        QCOMPARE(convert("", boolean), jet::Value::boolean(false));

        for (const auto& [text, c] : std::initializer_list<std::pair<QString, jet::ColumnInfo>>{
                 {"abc", dbl}, {"12,5", lng}, {"40000", intc}, {"256", byte}, {"-1", byte},
                 {"3000000000", lng}, {"1e999", dbl}, {"douze", cur}, {"peut-être", boolean}, {"1,2,3", dec}}) {
            const QString error = refusal(text, c);
            QVERIFY2(!error.isEmpty(), qPrintable(text));
            QVERIFY2(error.contains(QStringLiteral("« %1 »").arg(QString::fromStdString(c.name))), qPrintable(error));
        }
        // Shown then written back: the same value.
        QCOMPARE(convert(toText(jet::Value::real(0.1), dbl), dbl), jet::Value::real(0.1));
        QCOMPARE(convert(toText(jet::Value::real(1e20), dbl), dbl), jet::Value::real(1e20));
        QCOMPARE(convert(toText(jet::Value::currency(-5), cur), cur), jet::Value::currency(-5));
    }

    void columnsNotWritable()
    {
        auto id = column("id", jet::ColumnType::Long);
        id.autonumber = true;
        QVERIFY(!isWritable(id));
        QVERIFY(refusal("3", id).contains(QStringLiteral("« id »")));
        const auto ole = column("photo", jet::ColumnType::OLE);
        QVERIFY(!isWritable(ole));
        QVERIFY(refusal("x", ole).contains(QStringLiteral("« photo »")));
        QVERIFY(isWritable(client));
        QCOMPARE(toText(jet::Value::binary({1, 2, 3}), ole), QString());
    }

    void guids()
    {
        const auto g = column("guid", jet::ColumnType::Guid);
        const QString text = QStringLiteral("{12345678-9ABC-DEF0-1122-334455667788}");
        const jet::Value v = convert(text, g);
        QCOMPARE(v.kind(), jet::Value::Kind::Guid);
        QCOMPARE(toText(v, g), text);
        QVERIFY(!refusal("pas un guid", g).isEmpty());
        QCOMPARE(convert("", g), jet::Value::null());
    }

    // A date shown in a field can be typed back exactly as shown and gives
    // the same value, whatever the regional settings (the C locale of a
    // fresh system included).
    void dateShownIsDateAccepted_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("fr_FR") << french;
        QTest::newRow("en_US") << american;
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
    }
    void dateShownIsDateAccepted()
    {
        QFETCH(QLocale, locale);
        for (const jet::Value& value : {jet::Value::dateTime(2001, 1, 15, 0, 0, 0),
                                        jet::Value::dateTime(2001, 10, 12, 9, 30, 5),
                                        jet::Value::dateTime(1999, 12, 31, 0, 0, 0)}) {
            const QString shown = toText(value, date, locale);
            const Conversion back = fromText(shown, date, locale);
            QVERIFY2(back.ok(), qPrintable(shown + QLatin1String(" : ") + back.error));
            QCOMPARE(*back.value, value);
        }
    }

    // The error names the field by the caption the sheet shows when there
    // is one, never by the column.
    void errorNamesTheCaption()
    {
        const QString error = fromText(QStringLiteral("31/02/2001"), date, french, QStringLiteral("Date accord")).error;
        QVERIFY2(error.contains(QStringLiteral("« Date accord »")), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("dateaccord")), qPrintable(error));
        const QString tooLong =
            fromText(QString(51, QLatin1Char('x')), client, french, QStringLiteral("Client")).error;
        QVERIFY2(tooLong.contains(QStringLiteral("« Client »")), qPrintable(tooLong));
        QVERIFY2(!tooLong.contains(QStringLiteral("« client »")), qPrintable(tooLong));
        const jet::ColumnInfo number = column("quantite", jet::ColumnType::Long);
        const QString notNumber = fromText(QStringLiteral("abc"), number, french, QStringLiteral("Quantité")).error;
        QVERIFY2(notNumber.contains(QStringLiteral("« Quantité »")), qPrintable(notNumber));
        QVERIFY2(!notNumber.contains(QStringLiteral("quantite")), qPrintable(notNumber));
    }
};

QTEST_GUILESS_MAIN(ValueTextTest)
#include "value_text_test.moc"
