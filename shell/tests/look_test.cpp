// Fonts the windows ask for, Qt's texts in French, and the default files.
#include "shell/look.h"
#include "shell/paths.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
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

    // Regional settings: a system locale without a language (C, POSIX,
    // C.UTF-8, the default of a fresh install) gives French (France); any
    // other is kept as it is.
    void regionalSettingsOfTheSystem() {
        const QLocale france(QLocale::French, QLocale::France);
        QCOMPARE(regionalSettings(QLocale::c()), france);
        QCOMPARE(regionalSettings(QLocale(QStringLiteral("C"))), france);
        QCOMPARE(regionalSettings(QLocale(QStringLiteral("POSIX"))), france);
        QCOMPARE(regionalSettings(QLocale(QStringLiteral("C.UTF-8"))), france);
        QCOMPARE(regionalSettings(france), france);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(regionalSettings(us), us);
        const QLocale germany(QLocale::German, QLocale::Germany);
        QCOMPARE(regionalSettings(germany), germany);
        const QLocale belgium(QLocale::French, QLocale::Belgium);
        QCOMPARE(regionalSettings(belgium), belgium);
    }

    // installLook makes them the default locale (the tests run under
    // LC_ALL=C.UTF-8, as scripts/run.sh does on a fresh box).
    void regionalSettingsInstalled() {
        QCOMPARE(QLocale(), regionalSettings(QLocale::system()));
        if (QLocale::system().language() == QLocale::C)
            QCOMPARE(QLocale().name(), QStringLiteral("fr_FR"));
    }

    // The application's own icon, on every window (the sheets' system menu
    // included), drawn rather than Qt's logo.
    void windowIcon() {
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        const QImage small = icon.pixmap(QSize(32, 32)).toImage();
        QCOMPARE(small.size(), QSize(32, 32));
        QVERIFY(small.pixelColor(16, 16).alpha() == 255); // drawn, not empty
        QVERIFY(small.pixelColor(0, 0).alpha() == 0);     // rounded corners

        QMdiArea area;
        auto* sheet = new QWidget;
        QMdiSubWindow* window = area.addSubWindow(sheet);
        area.show();
        window->showMaximized();
        QCOMPARE(window->windowIcon().cacheKey(), icon.cacheKey());
        QCOMPARE(sheet->windowIcon().cacheKey(), icon.cacheKey());
    }
};

QTEST_MAIN(LookTest)
#include "look_test.moc"
