// Two desks on one database file, each in its own process: this test's loan
// sheet, and another desk (this program started again with --desk, a record
// source driven line by line) that changes or deletes the row shown here in
// the meantime. Whatever way the row is saved ("Enregistrer", a move,
// "Quitter"), a field both desks changed brings up a box naming it with both
// values, each answer does what it says, a deleted row can be stored again,
// edits of different fields merge, and no row is lost or half written.
// Every case runs on a file, then on a scratch PostgreSQL server to which the
// file was copied.
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>
#include <map>

using namespace velmor;
using namespace sheetstest;

namespace {

// The other desk: "open PATH", "set COLUMN TEXT", "save", "delete"; answers
// "ok" or "error MESSAGE" on a line of its own.
int runOtherDesk(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ScriptedDialogs unanswered; // a box would be cancelled
    BaseR source(loanSheetDesign().source);
    std::map<QString, TypedField> fields;
    for (const char* column : {"naccordp", "clientp", "materielp", "motifp"})
        source.bind(QString::fromLatin1(column), &fields[QString::fromLatin1(column)]);
    QTextStream in(stdin);
    QTextStream out(stdout);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        try {
            if (command == QLatin1String("open")) {
                source.setDatabaseName(line.section(QLatin1Char(' '), 1));
                source.Refresh();
            } else if (command == QLatin1String("set")) {
                fields.at(line.section(QLatin1Char(' '), 1, 1)).type(line.section(QLatin1Char(' '), 2));
            } else if (command == QLatin1String("save")) {
                source.UpdateRecord();
            } else if (command == QLatin1String("delete")) {
                source.Delete();
            }
            out << "ok\n";
        } catch (const std::exception& error) {
            out << "error " << error.what() << "\n";
        }
        out.flush();
    }
    return 0;
}

class OtherDesk {
public:
    OtherDesk()
    {
        process_.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--desk")});
        process_.waitForStarted();
    }
    ~OtherDesk()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }
    QString run(const QString& command)
    {
        process_.write((command + QLatin1Char('\n')).toUtf8());
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(20000))
                return QStringLiteral("no answer");
        return QString::fromUtf8(process_.readLine()).trimmed();
    }

private:
    QProcess process_;
};

Row loanRow(const char* accord, const char* client, const char* equipment, const char* reason)
{
    return {{"emetteurp", text("Siège Paris")}, {"naccordp", text(accord)},       {"clientp", text(client)},
            {"materielp", text(equipment)},     {"motifp", text(reason)},         {"nomauteurp", text("Cécile")}};
}

} // namespace

class ConflictTest : public QObject, public SheetDesk {
    Q_OBJECT

public:
    explicit ConflictTest(ScratchServer* cluster = nullptr) : cluster_(cluster) {}

private:
    ScratchServer* cluster_; // none: on files
    int databases_ = 0;
    QString dbPath; // a file's path or a server's address
    Pretmat* loan = nullptr;

    QLineEdit* box(const char* name) { return loan->findChild<QLineEdit*>(QString::fromLatin1(name)); }

    // Every row as "agreement|client|equipment|reason|author", sorted.
    QStringList stored()
    {
        QStringList rows;
        for (const StoredRow& row : readTable(dbPath, "tablep")) {
            QStringList values;
            for (const char* column : {"naccordp", "clientp", "materielp", "motifp", "nomauteurp"})
                values << QString::fromStdString(row.at(column).value_or("<NULL>"));
            rows << values.join(QLatin1Char('|'));
        }
        rows.sort();
        return rows;
    }

private slots:
    void initTestCase()
    {
        useFrenchRegionalSettings();
        if (!cluster_)
            return;
        VELMOR_SKIP_WITHOUT_POSTGRESQL(*cluster_);
        QVERIFY2(cluster_->start(), qPrintable(cluster_->error()));
    }

    void init()
    {
        openDesk();
        dbPath = dir->path() + QStringLiteral("/postes.mdb");
        createDatabase(dbPath, {}, {loanRow("P-1", "Alpha", "PC", "prêt"), loanRow("P-2", "Beta", "Écran", "essai")});
        if (cluster_) {
            dbPath = copyToServer(*cluster_, dbPath, QStringLiteral("postes%1").arg(++databases_));
            QVERIFY2(!dbPath.isEmpty(), qPrintable(cluster_->error()));
        }
        settings::save("option", "option", "cheminbase", dbPath);
        settings::save("pageencours", "pgcours", "page", QStringLiteral("1"));
        host->open(SheetHost::Sheet::Loan);
        loan = qobject_cast<Pretmat*>(host->sheet(SheetHost::Sheet::Loan, false));
        QVERIFY(loan);
        QCOMPARE(box("numaccordS2")->text(), QStringLiteral("P-1"));
    }

    void cleanup()
    {
        loan = nullptr;
        closeDesk();
    }

    void savingARowTheOtherDeskChanged_data()
    {
        QTest::addColumn<QString>("saveBy");     // "Enregistrer", "déplacement" or "Quitter"
        QTest::addColumn<QStringList>("other");  // the other desk's commands on the same row
        QTest::addColumn<int>("answer");         // button pressed; -1: no box expected
        QTest::addColumn<QString>("boxText");    // in the box
        QTest::addColumn<QStringList>("rows");   // stored afterwards

        const QStringList client{QStringLiteral("set clientp Martin"), QStringLiteral("set motifp retour"),
                                 QStringLiteral("save")};
        const QString clientBox = QStringLiteral("« Client » : « Martin » sur l'autre poste, « Durand » chez vous");
        const QString p2 = QStringLiteral("P-2|Beta|Écran|essai|Cécile");
        QTest::newRow("même champ, garder mes valeurs, Enregistrer")
            << "Enregistrer" << client << 0 << clientBox
            << QStringList{QStringLiteral("P-1|Durand|PC|retour|Cécile"), p2};
        QTest::newRow("même champ, garder mes valeurs, Quitter")
            << "Quitter" << client << 0 << QStringLiteral("aussi modifié « Motif du prêt »")
            << QStringList{QStringLiteral("P-1|Durand|PC|retour|Cécile"), p2};
        QTest::newRow("même champ, reprendre la leur, déplacement")
            << "déplacement" << client << 1 << clientBox
            << QStringList{QStringLiteral("P-1|Martin|PC|retour|Cécile"), p2};
        QTest::newRow("même champ, annuler, Quitter")
            << "Quitter" << client << 2 << clientBox << QStringList{QStringLiteral("P-1|Martin|PC|retour|Cécile"), p2};
        QTest::newRow("champs différents, déplacement")
            << "déplacement" << QStringList{QStringLiteral("set materielp Clavier"), QStringLiteral("save")} << -1
            << QString() << QStringList{QStringLiteral("P-1|Durand|Clavier|prêt|Cécile"), p2};
        QTest::newRow("effacée, nouvelle fiche, Enregistrer")
            << "Enregistrer" << QStringList{QStringLiteral("delete")} << 0 << QStringLiteral("a effacé cette fiche")
            << QStringList{QStringLiteral("P-1|Durand|PC|prêt|Cécile"), p2};
        QTest::newRow("effacée, abandonnée, déplacement")
            << "déplacement" << QStringList{QStringLiteral("delete")} << 1 << QStringLiteral("a effacé cette fiche")
            << QStringList{p2};
    }
    void savingARowTheOtherDeskChanged()
    {
        QFETCH(QString, saveBy);
        QFETCH(QStringList, other);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(QStringList, rows);

        typeInto(box("clientS2"), QStringLiteral("Durand"));
        {
            OtherDesk desk;
            QCOMPARE(desk.run(QStringLiteral("open ") + dbPath), QStringLiteral("ok"));
            for (const QString& command : other)
                QCOMPARE(desk.run(command), QStringLiteral("ok"));
        }
        if (answer >= 0)
            scripted->queueChoice(answer);
        scripted->queueYesNo(false); // "Quitter quand même ?" after Annuler: no
        bool quit = false;
        if (saveBy == QLatin1String("Enregistrer"))
            host->save();
        else if (saveBy == QLatin1String("déplacement"))
            loan->navigate(RecordSheet::Move::Next);
        else
            quit = host->saveAllBeforeQuit();

        const auto boxes = scripted->calls(ScriptedDialogs::Kind::Choice);
        QCOMPARE(boxes.size(), answer >= 0 ? 1 : 0);
        if (answer >= 0) {
            QVERIFY2(boxes.at(0).text.contains(boxText), qPrintable(boxes.at(0).text));
            QVERIFY(boxes.at(0).parent);
        }
        QCOMPARE(stored(), rows);
        if (answer == 2) {
            // Nothing written, nothing lost: the typed text is still there.
            QCOMPARE(box("clientS2")->text(), QStringLiteral("Durand"));
            QVERIFY(!quit);
        } else if (saveBy == QLatin1String("Quitter")) {
            QVERIFY(quit);
        }
        if (saveBy == QLatin1String("Enregistrer"))
            QCOMPARE(box("clientS2")->text(), QStringLiteral("Durand")); // the row written is shown
    }

    void deletingARowTheOtherDeskChanged()
    {
        {
            OtherDesk desk;
            QCOMPARE(desk.run(QStringLiteral("open ") + dbPath), QStringLiteral("ok"));
            QCOMPARE(desk.run(QStringLiteral("set materielp Clavier")), QStringLiteral("ok"));
            QCOMPARE(desk.run(QStringLiteral("save")), QStringLiteral("ok"));
        }
        // "Garder la fiche": nothing deleted, the other desk's values shown.
        scripted->queueYesNo(true); // "Etes-vous sûr ... ?"
        scripted->queueChoice(1);
        host->deleteCurrent();
        const auto boxes = scripted->calls(ScriptedDialogs::Kind::Choice);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.at(0).text.contains(
                     QStringLiteral("« Materiel » : « Clavier » sur l'autre poste, « PC » affiché ici")),
                 qPrintable(boxes.at(0).text));
        QCOMPARE(box("materielS2")->text(), QStringLiteral("Clavier"));
        QCOMPARE(stored().size(), 2);
        // "Effacer" again: the row shown is now the stored one, no box.
        scripted->clear();
        scripted->queueYesNo(true);
        host->deleteCurrent();
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::Choice).size(), 0);
        QCOMPARE(stored(), QStringList{QStringLiteral("P-2|Beta|Écran|essai|Cécile")});
    }

    // The server stops during an edit: "Enregistrer" and a move say so and
    // keep the typing; once the server is back, the next save reconnects and
    // goes through the same check of what the other desk saved meanwhile.
    // A server restarted between two actions is reconnected to unseen.
    void serverStoppedDuringAnEdit()
    {
        if (!cluster_)
            QSKIP("a server's own case");
        typeInto(box("clientS2"), QStringLiteral("Durand"));
        QVERIFY(cluster_->stop());
        host->save();
        loan->navigate(RecordSheet::Move::Next);
        const QStringList told = scripted->messages();
        QCOMPARE(told.size(), 2);
        for (const QString& text : told)
            QVERIFY2(text.contains(QStringLiteral("connexion au serveur")) &&
                         text.contains(QStringLiteral("rétablit la connexion")),
                     qPrintable(text));
        QCOMPARE(box("clientS2")->text(), QStringLiteral("Durand"));
        QCOMPARE(box("numaccordS2")->text(), QStringLiteral("P-1"));
        QVERIFY2(cluster_->start(), qPrintable(cluster_->error()));
        {
            OtherDesk desk;
            QCOMPARE(desk.run(QStringLiteral("open ") + dbPath), QStringLiteral("ok"));
            QCOMPARE(desk.run(QStringLiteral("set clientp Martin")), QStringLiteral("ok"));
            QCOMPARE(desk.run(QStringLiteral("save")), QStringLiteral("ok"));
        }
        scripted->queueChoice(0); // "Garder mes valeurs"
        host->save();
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::Choice).size(), 1);
        QCOMPARE(stored(), (QStringList{QStringLiteral("P-1|Durand|PC|prêt|Cécile"),
                                        QStringLiteral("P-2|Beta|Écran|essai|Cécile")}));
        // A restart between two actions goes unnoticed: the save reconnects.
        QVERIFY2(cluster_->restart(), qPrintable(cluster_->error()));
        typeInto(box("clientS2"), QStringLiteral("Dupont"));
        host->save();
        QCOMPARE(scripted->messages().size(), 2);
        QCOMPARE(stored().at(0), QStringLiteral("P-1|Dupont|PC|prêt|Cécile"));
        // So is a refresh, which keeps the sheet's connection.
        QVERIFY2(cluster_->restart(), qPrintable(cluster_->error()));
        loan->recordSource().Refresh();
        QCOMPARE(loan->recordSource().RecordCount(), 2L);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--desk") == 0)
        return runOtherDesk(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    return sheetstest::runOnFileAndServer<ConflictTest>(argc, argv);
}

#include "conflict_test.moc"
