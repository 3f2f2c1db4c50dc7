// Fonts the windows ask for, Qt's texts in French, regional settings and the icon.
#include "shell/look.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
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

    // What the file dialog of "Ouvrir une Base" shows: its column headers
    // and the type of a folder.
    void fileDialogIsFrench() {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("archives")));
        QFileDialog box(nullptr, QStringLiteral("Ouvrir"), folder.path());
        box.setOption(QFileDialog::DontUseNativeDialog);
        box.setViewMode(QFileDialog::Detail);
        auto* model = box.findChild<QFileSystemModel*>();
        QVERIFY(model);
        QStringList headers;
        for (int column = 0; column < model->columnCount(); ++column)
            headers << model->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"Nom", "Taille", "Type", "Dernière modification"}));
        const QModelIndex archives = model->index(QDir(folder.path()).filePath(QStringLiteral("archives")), 2);
        QTRY_COMPARE(model->data(archives).toString(), QStringLiteral("Dossier"));
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
        QVERIFY(QFontInfo(windowFont(family, 12, true)).bold());
    }

    // Regional settings: a system locale without a language (C, POSIX,
    // C.UTF-8, the default of a fresh install) gives French (France); any
    // other is kept as it is.
    void regionalSettingsOfTheSystem() {
        const QLocale france(QLocale::French, QLocale::France);
        for (const char* name : {"C", "POSIX", "C.UTF-8"})
            QCOMPARE(regionalSettings(QLocale(QString::fromLatin1(name))), france);
        for (const QLocale& kept : {france, QLocale(QLocale::English, QLocale::UnitedStates),
                                    QLocale(QLocale::French, QLocale::Belgium)})
            QCOMPARE(regionalSettings(kept), kept);
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
        QVERIFY(icon.pixmap(QSize(32, 32)).toImage().pixelColor(16, 16).alpha() == 255); // drawn

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
