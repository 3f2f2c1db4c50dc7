// Fonts the windows ask for, Qt's texts in French, and the default files.
#include "shell/look.h"
#include "shell/paths.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>

using namespace velmor;

class LookTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void frenchTranslationIsLoaded() {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Oui"));
    }

    void fontsHaveStandIns_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("standIn");
        QTest::newRow("MS Sans Serif")
            << QStringLiteral("MS Sans Serif") << QStringLiteral("Liberation Sans");
        QTest::newRow("Times New Roman")
            << QStringLiteral("Times New Roman") << QStringLiteral("Liberation Serif");
        QTest::newRow("Courier New")
            << QStringLiteral("Courier New") << QStringLiteral("Liberation Mono");
        QTest::newRow("Arial Black")
            << QStringLiteral("Arial Black") << QStringLiteral("Liberation Sans");
    }

    void fontsHaveStandIns() {
        QFETCH(QString, family);
        QFETCH(QString, standIn);
        if (QFontDatabase::hasFamily(family))
            QSKIP("the font itself is installed");
        if (!QFontDatabase::hasFamily(standIn))
            QSKIP("fonts-liberation2 is not installed");
        const QFont plain = windowFont(family, 12);
        QCOMPARE(QFontInfo(plain).family(), standIn);
        const QFont bold = windowFont(family, 12, true);
        QCOMPARE(QFontInfo(bold).family(), standIn);
        QVERIFY(QFontInfo(bold).bold());
        QCOMPARE(bold.pointSizeF(), 12.0);
    }

    void arialBlackStaysHeavy() {
        const QFont font = windowFont(QStringLiteral("Arial Black"), 10);
        QCOMPARE(font.weight(), QFont::Black);
        QVERIFY(QFontInfo(font).bold());
    }

    void underlineAndFractionalSizes() {
        const QFont font = windowFont(QStringLiteral("MS Sans Serif"), 8.25, true, true);
        QVERIFY(font.underline());
        QCOMPARE(font.pointSizeF(), 8.25);
        QCOMPARE(QApplication::font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(QApplication::font().pointSizeF(), 8.25);
    }

    void defaultFiles() {
#ifdef Q_OS_WIN
        QCOMPARE(paths::defaultDatabase(), QStringLiteral("c:\\velmor\\velmor2001.mdb"));
        QCOMPARE(paths::defaultSheetImage(), QStringLiteral("c:\\velmor\\velmor2.jpg"));
        QCOMPARE(paths::defaultOptionsOkImage(), QStringLiteral("c:\\velmor\\velmor.jpeg"));
#else
        const QString folder = QDir::homePath() + QStringLiteral("/velmor/");
        QCOMPARE(paths::defaultFolder() + QLatin1Char('/'), folder);
        QCOMPARE(paths::defaultDatabase(), folder + QStringLiteral("velmor2001.mdb"));
        QCOMPARE(paths::defaultSheetImage(), folder + QStringLiteral("velmor2.jpg"));
        QCOMPARE(paths::defaultOptionsOkImage(), folder + QStringLiteral("velmor.jpeg"));
#endif
    }
};

QTEST_MAIN(LookTest)
#include "look_test.moc"
