// The six record commands of the toolbar: the marker, the sheet they act on
// (created hidden when need be), "Nouveau", "Voir", "Effacer",
// "Enregistrer", "Rechercher", "En Cours", and the failures they report.
//
// Each test works on a database the engine writes in a scratch folder, and
// runs twice: on that file, then on a scratch PostgreSQL cluster to which
// the file was copied. What was stored is read back through the database
// interface, never through the sheet.
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QtTest>

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

namespace {

Row returnRow(const char* accord, std::optional<const char*> client, std::optional<jet::Value> back)
{
    Row row = {{"emetteur", text("Agence Lyon")}, {"naccord", text(accord)},
               {"dateaccord", date(2001, 1, 10)}, {"daterecp", date(2001, 1, 12)},
               {"nomauteur", text("Martine")}};
    if (client)
        row.push_back({"client", text(*client)});
    if (back)
        row.push_back({"dateretourclient", *back});
    return row;
}

Row loanRow(const char* accord, std::optional<const char*> client, std::optional<jet::Value> sent)
{
    Row row = {{"emetteurp", text("Siège Paris")}, {"naccordp", text(accord)},
               {"dateaccordp", date(2001, 1, 10)}, {"nomauteurp", text("Cécile")}};
    if (client)
        row.push_back({"clientp", text(*client)});
    if (sent)
        row.push_back({"dateenvoip", *sent});
    return row;
}

// Five return rows and four loan rows: clients "Alpha", "L'Oréal", empty,
// NULL; some with the return (send) date, some without.
const std::vector<Row>& returnRows()
{
    static const std::vector<Row> rows = {
        returnRow("A-1", "Alpha", date(2001, 2, 1)),
        returnRow("A-2", "L'Oréal", std::nullopt),
        returnRow("A-3", "", date(2001, 3, 1)),
        returnRow("A-4", std::nullopt, std::nullopt),
        returnRow("A-5", "L'Oréal", date(2001, 4, 1)),
    };
    return rows;
}

const std::vector<Row>& loanRows()
{
    static const std::vector<Row> rows = {
        loanRow("P-1", "Alpha", date(2001, 1, 11)),
        loanRow("P-2", "L'Oréal", std::nullopt),
        loanRow("P-3", "", date(2001, 2, 2)),
        loanRow("P-4", std::nullopt, std::nullopt),
    };
    return rows;
}

} // namespace

class CommandsTest : public QObject, public SheetDesk {
    Q_OBJECT

public:
    // Without a cluster, the tests run on files; with one, on its server.
    explicit CommandsTest(ScratchServer* cluster = nullptr) : SheetDesk(cluster) {}

private:
    void setMarker(const QString& value) { settings::save("pageencours", "pgcours", "page", value); }
    QString marker() { return settings::read("pageencours", "pgcours", "page"); }

    // The database of the test, made by the engine and named in the settings.
    void makeDatabase() { useDatabase(QStringLiteral("commandes.mdb"), returnRows(), loanRows()); }

    std::vector<StoredRow> stored(const std::string& table) { return readTable(dbPath, table); }

    // The texts of `box` over every row of the sheet's current result.
    static QStringList allRows(RecordSheet* sheet, QLineEdit* box)
    {
        QStringList texts;
        BaseR& source = sheet->recordSource();
        if (source.RecordCount() == 0)
            return texts; // an empty result; a failing move fails the test
        source.MoveFirst();
        while (!source.EOF_()) {
            texts << box->text();
            source.MoveNext();
        }
        return texts;
    }

    // What every command leaves alone: which sheet windows are shown.
    QList<bool> shown()
    {
        QList<bool> result;
        for (Sheet s : {Sheet::Return, Sheet::Loan}) {
            RecordSheet* sheet = host->sheet(s, false);
            result << (sheet && sheet->subWindow() && sheet->subWindow()->isVisible());
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        useFrenchRegionalSettings();
        SHEETS_START_CLUSTER(cluster);
    }

    void init() { openDesk(); }

    void cleanup() { closeDesk(); }

    // The marker names the sheet at every click: 0 (or missing, or not a
    // number) the return sheet, 1 the loan sheet, any other number nothing.
    void markerNamesTheSheet_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("target"); // 0 return, 1 loan, -1 none
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("missing") << QString() << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("2") << "2" << -1;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("1.0") << "1.0" << 1;
    }
    void markerNamesTheSheet()
    {
        QFETCH(QString, value);
        QFETCH(int, target);
        makeDatabase();
        // Both sheets open on the database; then the marker is set by hand.
        host->open(Sheet::Return);
        host->open(Sheet::Loan);
        if (value.isNull())
            sandbox->writeRaw(QStringLiteral("pageencours"), QByteArray());
        else
            setMarker(value);
        const QList<bool> before = shown();
        scripted->clear();

        scripted->queueInput(QStringLiteral("Alpha"));
        host->search();
        const QString returnSource = returnSheet()->recordSource().RecordSource();
        const QString loanSource = loanSheet()->recordSource().RecordSource();
        QCOMPARE(returnSource.contains(QStringLiteral("Alpha")), target == 0);
        QCOMPARE(loanSource.contains(QStringLiteral("Alpha")), target == 1);
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::Input).size(), target < 0 ? 0 : 1);

        scripted->clear();
        scripted->queueYesNo(false);
        host->deleteCurrent();
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), target < 0 ? 0 : 1);

        host->outstanding();
        host->showAll();
        host->addNew();
        host->save();
        if (target < 0) {
            // Nothing at all: no box, no change to either sheet.
            QCOMPARE(scripted->calls().size(), 0);
            QCOMPARE(returnSheet()->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
            QCOMPARE(loanSheet()->recordSource().RecordSource(), QStringLiteral("tablep"));
            QCOMPARE(returnSheet()->recordSource().state(), BaseR::State::CurrentRow);
            QCOMPARE(loanSheet()->recordSource().state(), BaseR::State::CurrentRow);
        }
        QCOMPARE(shown(), before);
        QCOMPARE(marker(), value.isNull() ? QString() : value);
    }

    // Before any sheet was opened in this run, the marker left by the last
    // run names the sheet; it is created hidden, without a database.
    void commandsBeforeAnySheet()
    {
        setMarker(QStringLiteral("1"));
        host->showAll();
        QVERIFY(!returnSheet());
        QVERIFY(loanSheet());
        QVERIFY(!loanSheet()->subWindow()->isVisible());
        QVERIFY(!loanSheet()->isLoaded());
        QCOMPARE(loanSheet()->recordSource().RecordSource(), QStringLiteral("SELECT * FROM tablep "));
        QCOMPARE(loanSheet()->recordSource().DatabaseName(), QString());
        QCOMPARE(scripted->calls().size(), 0); // a failed refresh stays silent

        // Mended: "Nouveau" says that no database is open, and writes no name.
        settings::save("option", "option", "util", QStringLiteral("Zoé"));
        host->addNew();
        QCOMPARE(scripted->messages().size(), 1);
        QVERIFY(scripted->messages().at(0).contains(QStringLiteral("Prêt")));
        QCOMPARE(label(loanSheet(), "utilp")->text(), QString());

        // "Effacer" still asks, then says it could not delete.
        scripted->clear();
        scripted->queueYesNo(true);
        host->deleteCurrent();
        QCOMPARE(scripted->calls().size(), 2);
        QCOMPARE(scripted->calls().at(0).kind, ScriptedDialogs::Kind::YesNo);
        QCOMPARE(scripted->calls().at(1).kind, ScriptedDialogs::Kind::Message);

        // "Rechercher" still asks for a name.
        scripted->clear();
        scripted->queueInput(QStringLiteral("Alpha"));
        host->search();
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::Input).size(), 1);
        QCOMPARE(loanSheet()->recordSource().RecordSource(),
                 QStringLiteral("SELECT * FROM tablep WHERE clientp='Alpha'"));
        QVERIFY(!loanSheet()->subWindow()->isVisible());
        QVERIFY(!returnSheet());

        // Marker "0" from the last run: the return sheet, created hidden.
        setMarker(QStringLiteral("0"));
        host->outstanding();
        QVERIFY(returnSheet());
        QVERIFY(!returnSheet()->subWindow()->isVisible());
        QVERIFY(!returnSheet()->isLoaded());
    }

    // A sheet closed with its close box stays the target: the command
    // creates it again (hidden).
    void closedSheetStaysTheTarget()
    {
        makeDatabase();
        host->open(Sheet::Return);
        QPointer<retour> first = returnSheet();
        first->subWindow()->close();
        processDeletions();
        QVERIFY(!first);
        QCOMPARE(marker(), QStringLiteral("0"));
        host->showAll();
        QVERIFY(returnSheet());
        QVERIFY(!returnSheet()->subWindow()->isVisible());
        QCOMPARE(returnSheet()->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
        QVERIFY(!loanSheet());
        // "Retour" shows it and loads it from the database.
        host->open(Sheet::Return);
        QCOMPARE(box(returnSheet(), "accordS1")->text(), QStringLiteral("A-1"));
    }

    // "Effacer" asks first (Yes the default); answered No it deletes nothing;
    // answered Yes on the first, a middle and the last row it deletes that
    // row only and moves back.
    void effacer_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("moves");
        QTest::addColumn<QString>("afterwards"); // empty: no row current
        QTest::addRow("non") << false << 1 << QStringLiteral("A-2");
        QTest::addRow("premier") << true << 0 << QString();
        QTest::addRow("milieu") << true << 2 << QStringLiteral("A-2");
        QTest::addRow("dernier") << true << 4 << QStringLiteral("A-4");
    }
    void effacer()
    {
        QFETCH(bool, yes);
        QFETCH(int, moves);
        QFETCH(QString, afterwards);
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        for (int i = 0; i < moves; ++i)
            button(sheet, "moveforward")->click();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-%1").arg(moves + 1));
        scripted->clear();
        scripted->queueYesNo(yes);
        host->deleteCurrent();
        QCOMPARE(scripted->calls().size(), 1); // the question only
        const ScriptedDialogs::Call asked = scripted->calls().at(0);
        QCOMPARE(asked.text, QString::fromUtf8("Etes-vous sûr de vouloir effacer cette donnée?"));
        QCOMPARE(asked.caption, QString::fromUtf8("Confirmation de la suppression d'un donnée"));
        QVERIFY(asked.yesIsDefault);
        std::vector<std::string> left = {"A-1", "A-2", "A-3", "A-4", "A-5"};
        if (yes)
            left.erase(left.begin() + moves);
        QCOMPARE(storedColumn(dbPath, "velmor2001", "naccord"), left);
        if (afterwards.isEmpty()) {
            QVERIFY(sheet->recordSource().BOF());
            QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        } else {
            QCOMPARE(box(sheet, "accordS1")->text(), afterwards);
        }
    }

    // "Effacer" on a row just started by "Nouveau" drops it: nothing is stored.
    void effacerNewRow()
    {
        makeDatabase();
        host->open(Sheet::Return);
        host->addNew();
        typeInto(box(returnSheet(), "clientS1"), QStringLiteral("abandonné"));
        scripted->queueYesNo(true);
        host->deleteCurrent();
        QCOMPARE(storedColumn(dbPath, "velmor2001", "client").size(), size_t(5));
        QCOMPARE(scripted->calls().size(), 1); // the question only
    }

    // "Nouveau", typing, "Enregistrer": the row is stored with the author's
    // name and becomes the current row; "Enregistrer" again writes nothing.
    // An Access 97 file stores text in Windows-1252: a character outside it
    // is refused, and the message names the field by its label.
    void refusedValueNamesTheFieldByItsLabel()
    {
        if (cluster)
            QSKIP("a file's own behaviour: tested on the file engine");
        dbPath = dir->filePath(QStringLiteral("acces97.mdb"));
        createDatabase(dbPath, returnRows(), loanRows(), jet::Format::Jet3);
        settings::save("option", "option", "cheminbase", dbPath);
        host->open(Sheet::Return);
        typeInto(box(returnSheet(), "clientS1"), QString::fromUtf8("Łódź Serwis"));
        host->save();
        QCOMPARE(scripted->messages().size(), 1);
        const QString message = scripted->messages().first();
        QVERIFY2(message.contains(QString::fromUtf8("« Client »")), qPrintable(message));
        QVERIFY2(!message.contains(QString::fromUtf8("« client »")), qPrintable(message));
        QCOMPARE(stored("velmor2001").front().at("client").value(), std::string("Alpha"));
    }

    void nouveauThenEnregistrer()
    {
        makeDatabase();
        settings::save("option", "option", "util", QString::fromUtf8("Jeanne d'Arc"));
        host->open(Sheet::Loan);
        Pretmat* sheet = loanSheet();
        button(sheet, "movenext")->click();
        host->addNew();
        QCOMPARE(label(sheet, "utilp")->text(), QString::fromUtf8("Jeanne d'Arc"));
        QCOMPARE(box(sheet, "numaccordS2")->text(), QString());
        QCOMPARE(sheet->recordSource().state(), BaseR::State::Adding);
        typeInto(box(sheet, "numaccordS2"), QStringLiteral("P-9"));
        typeInto(box(sheet, "clientS2"), QString::fromUtf8("Brasserie l'Étoile"));
        typeInto(box(sheet, "dateaccordS2"), QStringLiteral("12/10/2001"));
        host->save();
        QCOMPARE(scripted->calls().size(), 0);
        const std::vector<StoredRow> rows = stored("tablep");
        QCOMPARE(rows.size(), size_t(5));
        QCOMPARE(rows.back().at("naccordp").value(), std::string("P-9"));
        QCOMPARE(rows.back().at("clientp").value(), std::string("Brasserie l'Étoile"));
        QCOMPARE(rows.back().at("nomauteurp").value(), std::string("Jeanne d'Arc"));
        QCOMPARE(rows.back().at("dateaccordp").value(), std::string("2001-10-12 00:00:00"));
        QVERIFY(!rows.back().at("dateenvoip").has_value());
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-9"));
        QCOMPARE(sheet->recordSource().state(), BaseR::State::CurrentRow);
        host->save(); // the row is unchanged now: nothing written, nothing said
        QCOMPARE(stored("tablep").size(), size_t(5));

        // The same on the return sheet; the name is read afresh at every click.
        settings::save("option", "option", "util", QString::fromUtf8("Hélène"));
        host->open(Sheet::Return);
        host->addNew();
        QCOMPARE(label(returnSheet(), "utilisateur")->text(), QString::fromUtf8("Hélène"));
        typeInto(box(returnSheet(), "accordS1"), QStringLiteral("A-9"));
        host->save();
        const std::vector<StoredRow> back = stored("velmor2001");
        QCOMPARE(back.size(), size_t(6));
        QCOMPARE(back.back().at("naccord").value(), std::string("A-9"));
        QCOMPARE(back.back().at("nomauteur").value(), std::string("Hélène"));
        QCOMPARE(box(returnSheet(), "accordS1")->text(), QStringLiteral("A-9"));

        // A new row left by a move is stored too, with the author.
        host->addNew();
        button(returnSheet(), "movefirst")->click();
        QCOMPARE(stored("velmor2001").size(), size_t(7));
        QCOMPARE(stored("velmor2001").back().at("nomauteur").value(), std::string("Hélène"));
        QCOMPARE(scripted->calls().size(), 0);
    }

    // "Rechercher": the whole name, quotes doubled; an empty entry searches
    // for the empty name; Cancel leaves the row source; a part finds nothing.
    void rechercher()
    {
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();

        scripted->queueInput(QString::fromUtf8("L'Oréal"));
        host->search();
        const QList<ScriptedDialogs::Call> asked = scripted->calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).text, QStringLiteral("Tapez le nom du client"));
        QCOMPARE(asked.at(0).defaultText, QString());
        QCOMPARE(sheet->recordSource().RecordSource(),
                 QString::fromUtf8("SELECT * FROM velmor2001 WHERE client='L''Oréal'"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList({"A-2", "A-5"}));

        scripted->queueInput(std::nullopt); // Cancel
        host->search();
        QCOMPARE(sheet->recordSource().RecordSource(),
                 QString::fromUtf8("SELECT * FROM velmor2001 WHERE client='L''Oréal'"));

        scripted->queueInput(QString());
        host->search();
        QCOMPARE(sheet->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 WHERE client=''"));
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList({"A-3"}));

        scripted->queueInput(QString::fromUtf8("Oréal"));
        host->search();
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList());
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);

        // Text that would change the query finds only a client of that name.
        scripted->queueInput(QStringLiteral("x' OR client<>'"));
        host->search();
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList());
        QCOMPARE(scripted->messages(), QStringList());
    }

    // "Voir" after a filter shows every row again; a filter stays across
    // hiding and showing the sheet.
    void voirAndFilterLifetime()
    {
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        scripted->queueInput(QStringLiteral("Alpha"));
        host->search();
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList({"A-1"}));
        button(sheet, "Fermer")->click();
        host->open(Sheet::Loan);
        host->open(Sheet::Return);
        QCOMPARE(sheet->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 WHERE client='Alpha'"));
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList({"A-1"}));
        host->showAll();
        QCOMPARE(sheet->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
        QCOMPARE(allRows(sheet, box(sheet, "accordS1")), QStringList({"A-1", "A-2", "A-3", "A-4", "A-5"}));
        QCOMPARE(box(sheet, "accordS1")->text(), QString()); // past the end after counting
        host->showAll();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-1"));
    }

    // "En Cours" lists the rows without the date.
    void enCours()
    {
        makeDatabase();
        host->open(Sheet::Return);
        host->outstanding();
        QCOMPARE(returnSheet()->recordSource().RecordSource(),
                 QStringLiteral("SELECT * FROM velmor2001 WHERE dateretourclient IS NULL "));
        QCOMPARE(allRows(returnSheet(), box(returnSheet(), "accordS1")), QStringList({"A-2", "A-4"}));
        host->open(Sheet::Loan);
        host->outstanding();
        QCOMPARE(loanSheet()->recordSource().RecordSource(),
                 QStringLiteral("SELECT * FROM tablep WHERE dateenvoip IS NULL "));
        QCOMPARE(allRows(loanSheet(), box(loanSheet(), "numaccordS2")), QStringList({"P-2", "P-4"}));
        QCOMPARE(scripted->calls().size(), 0);
    }

    // Mended: "Enregistrer" that cannot store a value says so and keeps the
    // typed text; so does "Enregistrer" with no row shown.
    void enregistrerFailures()
    {
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        button(sheet, "moveforward")->click();
        typeInto(box(sheet, "dateretourS1"), QStringLiteral("31/02/2001"));
        host->save();
        QCOMPARE(scripted->messages().size(), 1);
        // The field is named as the sheet shows it, not by its column.
        QVERIFY2(scripted->messages().at(0).contains(QString::fromUtf8("« Date de retour client »")),
                 qPrintable(scripted->messages().at(0)));
        QVERIFY2(!scripted->messages().at(0).contains(QStringLiteral("dateretourclient")),
                 qPrintable(scripted->messages().at(0)));
        QCOMPARE(box(sheet, "dateretourS1")->text(), QStringLiteral("31/02/2001"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QVERIFY(!stored("velmor2001").at(1).at("dateretourclient").has_value());

        // Undo the edit by showing the rows again, then search for nobody.
        typeInto(box(sheet, "dateretourS1"), QString());
        scripted->clear();
        scripted->queueInput(QStringLiteral("Personne"));
        host->search();
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        host->save();
        QCOMPARE(scripted->messages().size(), 1);
        QCOMPARE(stored("velmor2001").size(), size_t(5));
    }

    // "Voir", "Rechercher" and "En Cours" while the row shown holds an edit
    // that cannot be written: the same message as the navigation buttons,
    // the edit stays, the rows and the row source stay as they were.
    void refreshWithUnwritableEdit_data()
    {
        QTest::addColumn<QString>("command");
        for (const char* command : {"Voir", "Rechercher", "En Cours"})
            QTest::addRow("%s", command) << QString::fromLatin1(command);
    }
    void refreshWithUnwritableEdit()
    {
        QFETCH(QString, command);
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        button(sheet, "moveforward")->click();
        typeInto(box(sheet, "dateaccordS1"), QStringLiteral("32/13/2001"));

        // What a navigation button says about this edit (after the date
        // warning that the out-of-range agreement date gives).
        button(sheet, "moveforward")->click();
        QVERIFY(!scripted->messages().isEmpty());
        const QStringList navigation = {scripted->messages().last()};
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        scripted->clear();

        const QString rowSource = sheet->recordSource().RecordSource();
        if (command == QLatin1String("Voir")) {
            host->showAll();
        } else if (command == QLatin1String("Rechercher")) {
            scripted->queueInput(QStringLiteral("Alpha"));
            host->search();
        } else {
            host->outstanding();
        }
        QCOMPARE(scripted->messages(), navigation);
        QVERIFY2(navigation.at(0).contains(QString::fromUtf8("« Date accord »")), qPrintable(navigation.at(0)));
        QCOMPARE(box(sheet, "dateaccordS1")->text(), QStringLiteral("32/13/2001"));
        QVERIFY(box(sheet, "dateaccordS1")->isModified());
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QCOMPARE(sheet->recordSource().RecordSource(), rowSource);
        QCOMPARE(storedColumn(dbPath, "velmor2001", "naccord"),
                 (std::vector<std::string>{"A-1", "A-2", "A-3", "A-4", "A-5"}));

        // Corrected, the same command runs.
        typeInto(box(sheet, "dateaccordS1"), QStringLiteral("13/01/2001"));
        scripted->clear();
        if (command == QLatin1String("Rechercher"))
            scripted->queueInput(QStringLiteral("Alpha"));
        if (command == QLatin1String("Voir"))
            host->showAll();
        else if (command == QLatin1String("Rechercher"))
            host->search();
        else
            host->outstanding();
        QCOMPARE(scripted->messages(), QStringList());
        QVERIFY(sheet->recordSource().RecordSource() != rowSource || command == QLatin1String("Voir"));
        QVERIFY(!box(sheet, "dateaccordS1")->isModified());
    }

    // "Effacer" with no current row deletes nothing, then still moves back:
    // past the end, the last row becomes current again; on an empty result
    // nothing happens and nothing is said.
    void effacerWithoutCurrentRow()
    {
        makeDatabase();
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        button(sheet, "movelast")->click();
        button(sheet, "moveforward")->click();
        QVERIFY(sheet->recordSource().EOF_());
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        scripted->clear();
        scripted->queueYesNo(true);
        host->deleteCurrent();
        QCOMPARE(scripted->calls().size(), 1); // the question only
        QCOMPARE(sheet->recordSource().state(), BaseR::State::CurrentRow);
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-5"));
        QCOMPARE(storedColumn(dbPath, "velmor2001", "naccord"),
                 (std::vector<std::string>{"A-1", "A-2", "A-3", "A-4", "A-5"}));

        // An empty result.
        scripted->clear();
        scripted->queueInput(QStringLiteral("Personne"));
        host->search();
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        scripted->queueYesNo(true);
        host->deleteCurrent();
        QCOMPARE(scripted->calls().size(), 2); // the prompt and the question
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        QCOMPARE(stored("velmor2001").size(), size_t(5));
    }

};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return sheetstest::runOnFileAndServer<CommandsTest>(argc, argv);
}
#include "commands_test.moc"
