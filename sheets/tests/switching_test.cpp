// "Prêt" and "Retour": the marker, the database path handed over before the
// load step, the other sheet hidden, the display flags, the picture, and the
// sheet shown in front.
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "shell/paths.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"

#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>

#include "testkit/fixtures.h"

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

class SwitchingTest : public QObject, public SheetDesk {
    Q_OBJECT

    QString marker() { return settings::read("pageencours", "pgcours", "page"); }
    void setOption(const char* key, const QString& value) { settings::save("option", "option", key, value); }
    QString option(const char* key) { return settings::read("option", "option", key); }

    // A database path that opens, with one row in each table.
    void usableDatabase()
    {
        useDatabase(QStringLiteral("postes.mdb"), {{{"naccord", text("A-1")}}}, {{{"naccordp", text("P-1")}}});
    }

    QString writePicture(const QString& name, const QColor& colour, QSize size = QSize(40, 30))
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir->path() + QLatin1Char('/') + name;
        if (!image.save(path))
            return QString();
        return path;
    }

private slots:
    void initTestCase() { useFrenchRegionalSettings(); }

    void init() { openDesk(); }

    void cleanup() { closeDesk(); }

    // The marker follows the last button, even when the sheet cannot open,
    // and stays when a sheet is hidden or discarded. The first "Prêt"
    // creates the loan sheet only; each button shows its sheet maximized in
    // front and hides the other; a second click is no second sheet.
    void markerAndWindows()
    {
        QCOMPARE(marker(), QString());
        setOption("cheminbase", dir->path() + QStringLiteral("/nulle-part.mdb"));
        host->open(Sheet::Loan);
        QCOMPARE(marker(), QStringLiteral("1"));
        QVERIFY(loanSheet()->subWindow()->isVisible());
        QVERIFY(!returnSheet());
        loanSheet()->subWindow()->close();
        processDeletions();
        QCOMPARE(marker(), QStringLiteral("1"));
        scripted->clear();

        usableDatabase();
        host->open(Sheet::Loan);
        RecordSheet* loan = loanSheet();
        QMdiSubWindow* window = loan->subWindow();
        host->open(Sheet::Loan);
        QCOMPARE(loanSheet(), loan);
        QCOMPARE(loan->subWindow(), window);
        QCOMPARE(area->subWindowList().size(), 1);
        QVERIFY(!returnSheet());
        QVERIFY(window->isMaximized());
        QCOMPARE(area->activeSubWindow(), window);

        host->open(Sheet::Return);
        QCOMPARE(marker(), QStringLiteral("0"));
        QVERIFY(returnSheet()->isLoaded());
        QVERIFY(returnSheet()->subWindow()->isMaximized());
        QCOMPARE(area->activeSubWindow(), returnSheet()->subWindow());
        QVERIFY(!window->isVisible());
        host->open(Sheet::Loan);
        QCOMPARE(marker(), QStringLiteral("1"));
        QVERIFY(!returnSheet()->subWindow()->isVisible());
        loan->hideSheet();
        QCOMPARE(marker(), QStringLiteral("1"));
        QCOMPARE(scripted->calls().size(), 0);
    }

    // The stored path (the default one when none is stored) goes to the
    // record source before the load step reads it, and a new path reaches an
    // open sheet at its next opening. "Prêt", "Retour", "Prêt": the loan
    // sheet comes back on its row.
    void databasePathAndRow()
    {
        host->open(Sheet::Return);
        QCOMPARE(returnSheet()->recordSource().DatabaseName(), paths::defaultDatabase());
        host->open(Sheet::Loan);
        QCOMPARE(loanSheet()->recordSource().DatabaseName(), paths::defaultDatabase());
        returnSheet()->subWindow()->close();
        loanSheet()->subWindow()->close();
        processDeletions();
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        const QString path = copyFixture(QStringLiteral("velmor2001.mdb"), dir->path());
        setOption("cheminbase", path);
        scripted->clear();
        host->open(Sheet::Return);
        QCOMPARE(returnSheet()->recordSource().DatabaseName(), path);
        QCOMPARE(returnSheet()->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
        QCOMPARE(box(returnSheet(), "clientS1")->text(), QString::fromUtf8("L'Oréal"));
        host->open(Sheet::Loan);
        QCOMPARE(loanSheet()->recordSource().DatabaseName(), path);
        QCOMPARE(loanSheet()->recordSource().RecordSource(), QStringLiteral("tablep"));
        QCOMPARE(box(loanSheet(), "numaccordS2")->text(), QStringLiteral("P-2001-001"));
        QCOMPARE(scripted->calls().size(), 0);
        button(loanSheet(), "movenext")->click();
        button(loanSheet(), "movenext")->click();
        host->open(Sheet::Return);
        host->open(Sheet::Loan);
        QCOMPARE(box(loanSheet(), "numaccordS2")->text(), QStringLiteral("P-2001-003"));

        const QString second = dir->path() + QStringLiteral("/autre.mdb");
        setOption("cheminbase", second);
        host->open(Sheet::Return);
        QCOMPARE(returnSheet()->recordSource().DatabaseName(), second);
        QCOMPARE(returnSheet()->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
    }

    // The picture flag (both sheets) and each sheet's own title flag: 1
    // shows, 0 hides, 2 leaves as it was, empty or letters hide; a missing
    // flag reads as 1. Each button reads only its own title flag.
    void displayFlags_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("which");
        QTest::addColumn<QStringList>("values"); // value=shown afterwards
        const QStringList cases = {"=1", "0=0", "2=0", "1=1", "2=1", "=0", "1=1", "oui=0", "x=0"};
        QTest::newRow("optionimage Retour") << "optionimage" << int(Sheet::Return) << cases;
        QTest::newRow("optionimage Prêt") << "optionimage" << int(Sheet::Loan) << cases;
        QTest::newRow("nomfeuilleretour") << "nomfeuilleretour" << int(Sheet::Return) << cases;
        QTest::newRow("nomfeuillepret") << "nomfeuillepret" << int(Sheet::Loan) << cases;
    }
    void displayFlags()
    {
        QFETCH(QString, key);
        QFETCH(int, which);
        QFETCH(QStringList, values);
        usableDatabase();
        const Sheet sheet = Sheet(which);
        const Sheet other = sheet == Sheet::Loan ? Sheet::Return : Sheet::Loan;
        const bool picture = key == QStringLiteral("optionimage");
        const auto shown = [&](Sheet s) {
            RecordSheet* target = host->sheet(s, false);
            return !(picture ? target->backgroundImage() : target->titleLabel())->isHidden();
        };
        host->open(other);
        for (int i = 0; i < values.size(); ++i) {
            const QString value = values[i].section(QLatin1Char('='), 0, 0);
            if (i > 0) // the first round reads the flag missing
                setOption(key.toLatin1().constData(), value);
            host->open(sheet);
            QVERIFY2(shown(sheet) == (values[i].section(QLatin1Char('='), 1) == QStringLiteral("1")),
                     qPrintable(values[i]));
        }
        // The other button leaves this sheet's title alone and reads its own.
        if (!picture) {
            host->open(other);
            QVERIFY(shown(other));
            QVERIFY(!shown(sheet));
        }
    }

    void pictureCases()
    {
        usableDatabase();
        // No picture stored and no default file: the built-in one stays.
        host->open(Sheet::Return);
        QLabel* image = returnSheet()->backgroundImage();
        QCOMPARE(image->pixmap().size(), QSize(800, 600));
        const qint64 builtIn = image->pixmap().cacheKey();

        // A readable file replaces it (stretched by the control).
        const QString red = writePicture(QStringLiteral("rouge.jpg"), Qt::red);
        QVERIFY(!red.isEmpty());
        setOption("cheminimage", red);
        host->open(Sheet::Return);
        QCOMPARE(image->pixmap().size(), QSize(40, 30));
        QVERIFY(image->pixmap().cacheKey() != builtIn);
        QCOMPARE(image->size(), QSize(800, 600));

        // A missing file keeps the old picture; the sheet still opens.
        const qint64 redKey = image->pixmap().cacheKey();
        setOption("cheminimage", dir->path() + QStringLiteral("/absente.jpg"));
        returnSheet()->hideSheet();
        host->open(Sheet::Return);
        QCOMPARE(image->pixmap().cacheKey(), redKey);
        QVERIFY(returnSheet()->subWindow()->isVisible());

        // A file that is not a picture: the same.
        QFile junk(dir->path() + QStringLiteral("/pas-une-image.jpg"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("texte");
        junk.close();
        setOption("cheminimage", junk.fileName());
        host->open(Sheet::Return);
        QCOMPARE(image->pixmap().cacheKey(), redKey);

        // An empty path clears it.
        setOption("cheminimage", QString());
        host->open(Sheet::Return);
        QVERIFY(image->pixmap().isNull());

        // Loaded even while the image is hidden; a bitmap as well.
        const QString blue = writePicture(QStringLiteral("bleu.bmp"), Qt::blue, QSize(20, 10));
        setOption("cheminimage", blue);
        setOption("optionimage", "0");
        host->open(Sheet::Loan);
        QVERIFY(loanSheet()->backgroundImage()->isHidden());
        QCOMPARE(loanSheet()->backgroundImage()->pixmap().size(), QSize(20, 10));
        QCOMPARE(scripted->calls().size(), 0);
    }

    // A sheet that cannot open its file still opens, empty, and says so once,
    // naming the file, with the way out; the way out works: choose the file ("Fichier / Ouvrir une Base" stores its
    // path), click the sheet's button, then "Voir".
    void openingFailureShowsTheWayOut_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("Retour") << int(Sheet::Return);
        QTest::newRow("Prêt") << int(Sheet::Loan);
    }
    void openingFailureShowsTheWayOut()
    {
        QFETCH(int, which);
        const Sheet sheet = Sheet(which);
        const QString button = sheet == Sheet::Loan ? QString::fromUtf8("Prêt") : QStringLiteral("Retour");
        const QString good = dir->filePath(QStringLiteral("bonne-base.mdb"));
        createDatabase(good, {{{"naccord", text("A-1")}}}, {{{"naccordp", text("P-1")}}});
        setOption("cheminbase", dir->filePath(QStringLiteral("absente.mdb")));
        host->open(sheet);
        QCOMPARE(scripted->messages().size(), 1);
        const QString message = scripted->messages().at(0);
        QVERIFY2(message.endsWith(QString::fromUtf8("Choisissez la base avec « Fichier / Ouvrir une Base », "
                                                    "cliquez sur « %1 », puis sur « Voir ».")
                                      .arg(button)),
                 qPrintable(message));
        QVERIFY(message.contains(QDir::toNativeSeparators(dir->filePath(QStringLiteral("absente.mdb")))));
        QCOMPARE(scripted->calls().at(0).caption, QStringLiteral("velmor2"));
        // The sheet opens all the same, empty.
        QVERIFY(host->sheet(sheet, false)->subWindow()->isVisible());
        QCOMPARE(host->sheet(sheet, false)->recordSource().state(), BaseR::State::Closed);

        setOption("cheminbase", good); // what "Ouvrir une Base" stores
        host->open(sheet);
        host->showAll();
        QCOMPARE(scripted->messages().size(), 1);
        if (sheet == Sheet::Loan)
            QCOMPARE(box(loanSheet(), "numaccordS2")->text(), QStringLiteral("P-1"));
        else
            QCOMPARE(box(returnSheet(), "accordS1")->text(), QStringLiteral("A-1"));
    }
};

QTEST_MAIN(SwitchingTest)
#include "switching_test.moc"
