// The two record sheets: their controls, the date-order check before every
// move, navigation at the ends, "Fermer", the close box, and what happens
// when a row cannot be written (a database that cannot be opened:
// switching_test and file_messages_test).
#include "sheets/date_check.h"
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "shell/look.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"

#include <functional>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "testkit/fixtures.h"

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

namespace {

const QStringList& warningTexts()
{
    static const QStringList all = {datecheck::receptionBeforeAgreement(), datecheck::returnBeforeReception(),
                                    datecheck::sendBeforeAgreement(),
                                    datecheck::faultyReturnBeforeAgreement()};
    return all;
}

QStringList nonWarnings(const QStringList& messages)
{
    QStringList others;
    for (const QString& m : messages)
        if (!warningTexts().contains(m))
            others << m;
    return others;
}

} // namespace

class SheetsTest : public QObject, public SheetDesk {
    Q_OBJECT

    // A writable copy of a fixture, stored as the database path; skips the
    // test when the fixtures are not there.
    QString useFixture(const QString& name)
    {
        const QString path = copyFixture(name, dir->path());
        settings::save("option", "option", "cheminbase", path);
        return path;
    }
#define USE_FIXTURE(name)                                                                          \
    VELMOR_SKIP_WITHOUT_FIXTURE(name);                                                             \
    const QString dbPath = useFixture(QStringLiteral(name))

    // Clicks ">" (or another move) and returns the messages it showed.
    QStringList click(QPushButton* button)
    {
        const int before = scripted->messages().size();
        button->click();
        return scripted->messages().mid(before);
    }

private slots:
    void initTestCase()
    {
        useFrenchRegionalSettings();
        installFontSubstitutes();
    }

    void init() { openDesk(); }

    void cleanup() { closeDesk(); }

    // Each sheet as the users and the other windows know it: names,
    // captions, the label naming each box, the column each box shows, the
    // rows and relative widths, the buttons and the keyboard order.
    void controls_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QStringList>("names"); // sheet, title, record source caption
        QTest::addColumn<QStringList>("fields"); // label|caption|box|column|row
        QTest::addColumn<QStringList>("buttons"); // "<<", "<", ">", ">>", "Fermer"
        QTest::addColumn<QStringList>("focus");   // after "Fermer"
        QTest::addColumn<QStringList>("widest");  // widest box of rows 1, 2, 3
        QTest::newRow("retour")
            << int(Sheet::Return) << QStringList{"retour", "Retour", "Velmor Retour", "Label1", "RETOUR MATERIEL"}
            << QStringList{"emetteur1|Emetteur|emetteurS2|emetteur|0",
                           "accord1|N° Accord|accordS1|naccord|0",
                           "dataacc1|Date accord|dateaccordS1|dateaccord|0",
                           "client1|Client|clientS1|client|0",
                           "materiel1|Matériel|materielS1|materiel|1",
                           "motif1|Motif de retour|motifretour1|motif|1",
                           "date1|Date de réception|datereceptionS1|daterecp|1",
                           "parqui1|Par qui ?|parquiS1|parquirecep|1",
                           "dateretour1|Date de retour client|dateretourS1|dateretourclient|2",
                           "reparation1|Interventions effectuées|reparationS1|intervention|2",
                           "intervqui1|Par qui ?|intervquiS1|parquiinterv|2"}
            << QStringList{"movefirst", "moveback", "moveforward", "movelast", "Fermer"}
            << QStringList{"emetteurS2", "accordS1", "dateaccordS1", "clientS1", "materielS1", "motifretour1",
                           "datereceptionS1", "parquiS1", "dateretourS1", "reparationS1", "intervquiS1",
                           "movefirst", "moveback", "moveforward", "movelast"}
            << QStringList{"clientS1", "motifretour1", "reparationS1"};
        QTest::newRow("Pretmat")
            << int(Sheet::Loan) << QStringList{"Pretmat", "Pret", "velmor pret", "Label3", "PRET MATERIEL"}
            << QStringList{"emetteur2|Emetteur|emetteurS2|emetteurp|0",
                           "numaccord2|N° accord|numaccordS2|naccordp|0",
                           "dateaccord2|Date d'accord|dateaccordS2|dateaccordp|0",
                           "client2|Client|clientS2|clientp|0",
                           "materiel2|Materiel|materielS2|materielp|1",
                           "motif2|Motif du prêt|motifS2|motifp|1",
                           "daterecep2|Par qui ?|parqiuS2|parquip|1",
                           "dateenvoip|Date d'envoi|dateenvoiS2|dateenvoip|1",
                           "Label1|Retour du matériel endommagé ?|retourmatkcS2|retourmathsp|2",
                           "Label2|Date retour matériel HS|dateretourhsS2|dateretourhsp|2",
                           "rdz2|Rendez-vous pour installation|rdzS2|rdzvp|2"}
            << QStringList{"movefirstP", "movepreviousP", "movenext", "movelastP", "Fermerr"}
            << QStringList{"emetteurS2", "numaccordS2", "dateaccordS2", "clientS2", "materielS2", "motifS2",
                           "parqiuS2", "rdzS2", "dateenvoiS2", "movefirstP", "movepreviousP", "movenext",
                           "movelastP", "retourmatkcS2", "dateretourhsS2"}
            << QStringList{"clientS2", "motifS2", "rdzS2"};
    }
    void controls()
    {
        QFETCH(int, which);
        QFETCH(QStringList, names);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, focus);
        QFETCH(QStringList, widest);

        // A row holding in each column a value of its own.
        const bool loan = Sheet(which) == Sheet::Loan;
        Row row;
        QStringList shown;
        for (const QString& field : fields) {
            const QString column = field.section(QLatin1Char('|'), 3, 3);
            const std::string name = column.toStdString();
            if (column.startsWith(QStringLiteral("date"))) {
                const int day = int(shown.size()) + 1;
                row.emplace_back(name, date(2001, 3, day));
                shown << QStringLiteral("%1/03/2001").arg(day, 2, 10, QLatin1Char('0'));
            } else {
                row.emplace_back(name, jet::Value::text(name));
                shown << column;
            }
        }
        useDatabase(QStringLiteral("colonnes.mdb"), loan ? std::vector<Row>{} : std::vector<Row>{row},
                    loan ? std::vector<Row>{row} : std::vector<Row>{});
        host->open(Sheet(which));
        RecordSheet* sheet = host->sheet(Sheet(which), false);

        QCOMPARE(sheet->objectName(), names[0]);
        QCOMPARE(sheet->windowTitle(), names[1]);
        QCOMPARE(sheet->recordSource().Caption(), names[2]);
        QCOMPARE(sheet->titleLabel(), label(sheet, names[3].toLatin1().constData()));
        QCOMPARE(sheet->titleLabel()->text(), names[4]);
        QCOMPARE(sheet->backgroundImage(), label(sheet, "Image1"));
        QCOMPARE(sheet->backgroundImage()->geometry(), QRect(0, 0, 800, 600));

        QList<QLineEdit*> previous;
        QList<QLineEdit*> inRow;
        int currentRow = 0;
        for (int i = 0; i < fields.size(); ++i) {
            const QStringList f = fields[i].split(QLatin1Char('|'));
            QLabel* caption = label(sheet, f[0].toLatin1().constData());
            QLineEdit* field = box(sheet, f[2].toLatin1().constData());
            QCOMPARE(caption->text(), f[1]);
            QCOMPARE(caption->buddy(), field);
            QCOMPARE(field->text(), shown[i]); // bound to its column
            QVERIFY2(caption->geometry().bottom() <= field->mapTo(caption->parentWidget(), QPoint()).y(),
                     qPrintable(f[0]));
            if (f[4].toInt() != currentRow) {
                currentRow = f[4].toInt();
                previous = inRow;
                inRow.clear();
            }
            if (!inRow.isEmpty()) {
                QCOMPARE(field->y(), inRow.last()->y());
                QVERIFY(field->x() > inRow.last()->x());
            }
            if (!previous.isEmpty())
                QVERIFY2(field->y() > previous.last()->y(), qPrintable(f[2]));
            inRow << field;
        }
        for (int r = 0; r < 3; ++r) {
            QLineEdit* wide = box(sheet, widest[r].toLatin1().constData());
            for (const QString& field : fields)
                if (field.section(QLatin1Char('|'), 4, 4).toInt() == r)
                    QVERIFY2(wide->width() >= box(sheet, field.section(QLatin1Char('|'), 2, 2).toLatin1().constData())->width(),
                             qPrintable(field));
        }

        const QStringList captions = {"<<", "<", ">", ">>", "Fermer"};
        for (int i = 0; i < buttons.size(); ++i) {
            QPushButton* b = button(sheet, buttons[i].toLatin1().constData());
            QCOMPARE(b->text(), captions[i]);
            QVERIFY(b->y() > inRow.last()->y());
            if (i > 0)
                QVERIFY(b->x() > button(sheet, buttons[i - 1].toLatin1().constData())->x());
        }

        QStringList chain;
        QWidget* w = button(sheet, buttons.last().toLatin1().constData());
        for (int i = 0; i < focus.size(); ++i) {
            do
                w = w->nextInFocusChain();
            while (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QPushButton*>(w));
            chain << w->objectName();
        }
        QCOMPARE(chain, focus);
        // "Fermer" holds the focus when the sheet first opens.
        QCOMPARE(sheet->focusWidget(), button(sheet, buttons.last().toLatin1().constData()));
    }

    // Leaving each fixture row shows exactly the warnings its dates call for.
    // Row 8 of the returns crosses the year end: the move still follows.
    void warningsRowByRow_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QList<QStringList>>("expected");
        const QStringList none;
        QTest::newRow("retour") << int(Sheet::Return)
                                << QList<QStringList>{none, {datecheck::receptionBeforeAgreement()},
                                                      {datecheck::returnBeforeReception()}, none, none, none, none,
                                                      {datecheck::returnBeforeReception()}};
        QTest::newRow("Pretmat") << int(Sheet::Loan)
                                 << QList<QStringList>{none, {datecheck::sendBeforeAgreement()}, none,
                                                       {datecheck::faultyReturnBeforeAgreement()}, none, none, none};
    }
    void warningsRowByRow()
    {
        QFETCH(int, which);
        QFETCH(QList<QStringList>, expected);
        USE_FIXTURE("velmor2001.mdb");
        const bool loan = Sheet(which) == Sheet::Loan;
        host->open(Sheet(which));
        RecordSheet* sheet = host->sheet(Sheet(which), false);
        QLineEdit* key = box(sheet, loan ? "numaccordS2" : "accordS1");
        QCOMPARE(key->text(), loan ? QStringLiteral("P-2001-001") : QStringLiteral("A-2001-001"));
        scripted->clear();
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(click(button(sheet, loan ? "movenext" : "moveforward")), expected[row]);
            if (row < 7)
                QCOMPARE(key->text(), QStringLiteral("%1-2001-00%2").arg(loan ? "P" : "A").arg(row + 2));
        }
        if (!loan)
            QVERIFY(sheet->recordSource().EOF_());
    }

    // The texts as shown, edits included, give the keys: typed dates out of
    // order give both warnings, in order, while the sheet has not moved yet;
    // then the move saves the edits.
    void typedDatesWarnThenMove_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QStringList>("boxes");   // agreement, second, third date, key, ">"
        QTest::addColumn<QStringList>("columns"); // the same dates' columns
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("retour") << int(Sheet::Return)
                                << QStringList{"dateaccordS1", "datereceptionS1", "dateretourS1", "accordS1",
                                               "moveforward"}
                                << QStringList{"dateaccord", "daterecp", "dateretourclient"}
                                << QStringList{datecheck::receptionBeforeAgreement(),
                                               datecheck::returnBeforeReception()};
        QTest::newRow("Pretmat") << int(Sheet::Loan)
                                 << QStringList{"dateaccordS2", "dateenvoiS2", "dateretourhsS2", "numaccordS2",
                                                "movenext"}
                                 << QStringList{"dateaccordp", "dateenvoip", "dateretourhsp"}
                                 << QStringList{datecheck::sendBeforeAgreement(),
                                                datecheck::faultyReturnBeforeAgreement()};
    }
    void typedDatesWarnThenMove()
    {
        QFETCH(int, which);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, warnings);
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet(which));
        RecordSheet* sheet = host->sheet(Sheet(which), false);
        const QStringList typed = {"12/10/2001", "01/10/2001", "20/09/2001"};
        for (int i = 0; i < 3; ++i)
            typeInto(box(sheet, qPrintable(boxes[i])), typed[i]);
        QLineEdit* key = box(sheet, qPrintable(boxes[3]));
        const QString first = key->text();
        scripted->clear();
        int atSecondBox = -1;
        scripted->setOnCall([&](const ScriptedDialogs::Call&) {
            if (scripted->calls().size() == 2)
                atSecondBox = key->text() == first ? 1 : 0;
        });
        button(sheet, qPrintable(boxes[4]))->click();
        scripted->setOnCall({});
        QCOMPARE(scripted->messages(), warnings);
        QCOMPARE(atSecondBox, 1);
        for (const ScriptedDialogs::Call& call : scripted->calls())
            QCOMPARE(call.caption, QStringLiteral("velmor2"));
        QVERIFY(key->text() != first);
        const StoredRow row = readTable(dbPath, Sheet(which) == Sheet::Loan ? "tablep" : "velmor2001").at(0);
        QCOMPARE(row.at(columns[0].toStdString()).value(), std::string("2001-10-12 00:00:00"));
        QCOMPARE(row.at(columns[1].toStdString()).value(), std::string("2001-10-01 00:00:00"));
        QCOMPARE(row.at(columns[2].toStdString()).value(), std::string("2001-09-20 00:00:00"));
    }

    // "<" on the first row goes before it, silently; "<" again fails
    // quietly; ">" past the last row likewise; "<<" and ">>" bring rows back.
    void navigationAtBothEnds_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QStringList>("buttons"); // "<<", "<", ">", ">>"
        QTest::addColumn<QString>("key");
        QTest::newRow("retour") << int(Sheet::Return)
                                << QStringList{"movefirst", "moveback", "moveforward", "movelast"} << "accordS1";
        QTest::newRow("Pretmat") << int(Sheet::Loan)
                                 << QStringList{"movefirstP", "movepreviousP", "movenext", "movelastP"}
                                 << "numaccordS2";
    }
    void navigationAtBothEnds()
    {
        QFETCH(int, which);
        QFETCH(QStringList, buttons);
        QFETCH(QString, key);
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet(which));
        RecordSheet* sheet = host->sheet(Sheet(which), false);
        const QString prefix = Sheet(which) == Sheet::Loan ? QStringLiteral("P") : QStringLiteral("A");
        auto press = [&](int i) { return nonWarnings(click(button(sheet, qPrintable(buttons[i])))); };
        scripted->clear();

        QCOMPARE(press(1), QStringList());
        QVERIFY(sheet->recordSource().BOF());
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        QCOMPARE(press(1), QStringList());
        QVERIFY(sheet->recordSource().BOF());
        press(0);
        QCOMPARE(box(sheet, qPrintable(key))->text(), prefix + QStringLiteral("-2001-001"));

        press(3);
        QCOMPARE(box(sheet, qPrintable(key))->text(), prefix + QStringLiteral("-2001-008"));
        press(2);
        QVERIFY(sheet->recordSource().EOF_());
        QCOMPARE(press(2), QStringList());
        QVERIFY(sheet->recordSource().EOF_());
        press(1);
        QCOMPARE(box(sheet, qPrintable(key))->text(), prefix + QStringLiteral("-2001-008"));
        QCOMPARE(nonWarnings(scripted->messages()), QStringList());
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 0);
    }

    // "Fermer" hides the sheet and keeps it; reopening shows the same row.
    void fermerKeepsTheRow()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        button(sheet, "moveforward")->click();
        button(sheet, "moveforward")->click();
        QCOMPARE(box(sheet, "clientS1")->text(), QString::fromUtf8("Crédit Agricole"));
        typeInto(box(sheet, "parquiS1"), QStringLiteral("Noël"));
        button(sheet, "Fermer")->click();
        QVERIFY(!sheet->subWindow()->isVisible());
        QCOMPARE(host->sheet(Sheet::Return, false), sheet);
        QCOMPARE(settings::read("pageencours", "pgcours", "page"), QStringLiteral("0"));

        host->open(Sheet::Return);
        QCOMPARE(returnSheet(), sheet);
        QVERIFY(sheet->subWindow()->isVisible());
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-003"));
        QCOMPARE(box(sheet, "parquiS1")->text(), QString::fromUtf8("Noël")); // the edit is still there
        QVERIFY(sheet->recordSource().hasPendingEdits());

        Pretmat* loan = nullptr;
        host->open(Sheet::Loan);
        loan = loanSheet();
        button(loan, "movenext")->click();
        button(loan, "Fermerr")->click();
        QVERIFY(!loan->subWindow()->isVisible());
        host->open(Sheet::Loan);
        QCOMPARE(loanSheet(), loan);
        QCOMPARE(box(loan, "numaccordS2")->text(), QStringLiteral("P-2001-002"));
    }

    // The close box discards the sheet; the next use creates it anew, loaded
    // and on its first row (the return sheet: commands_test).
    void closeBoxDiscardsAndRecreates()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Loan);
        QPointer<Pretmat> loan = loanSheet();
        button(loan, "movenext")->click();
        QVERIFY(loan->subWindow()->close());
        QVERIFY(!host->sheet(Sheet::Loan, false));
        processDeletions();
        QVERIFY(!loan);
        host->open(Sheet::Loan);
        QVERIFY(loanSheet()->isLoaded());
        QCOMPARE(box(loanSheet(), "numaccordS2")->text(), QStringLiteral("P-2001-001"));
        QCOMPARE(loanSheet()->recordSource().RecordSource(), QStringLiteral("tablep"));
    }

    // The close box writes the pending edit as leaving the row would; when
    // it cannot, the user may keep the sheet open with the edit.
    void closeBoxWithPendingEdit()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        QPointer<retour> sheet = returnSheet();
        typeInto(box(sheet, "datereceptionS1"), QStringLiteral("31/02/2001"));
        scripted->queueYesNo(false);
        QVERIFY(!sheet->subWindow()->close());
        QCOMPARE(scripted->messages().size(), 1);
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 1);
        QCOMPARE(host->sheet(Sheet::Return, false), sheet.data());
        QCOMPARE(box(sheet, "datereceptionS1")->text(), QStringLiteral("31/02/2001"));

        typeInto(box(sheet, "datereceptionS1"), QStringLiteral("19/01/2001"));
        scripted->clear();
        QVERIFY(sheet->subWindow()->close());
        QCOMPARE(scripted->calls().size(), 0);
        processDeletions();
        QVERIFY(!sheet);
        QCOMPARE(readTable(dbPath, "velmor2001").at(0).at("daterecp").value(), std::string("2001-01-19 00:00:00"));
    }

    // Mended: quitting writes the pending edit of each open sheet; when that
    // fails the user chooses between staying with the edit and quitting.
    void quitWritesPendingEdits()
    {
        USE_FIXTURE("velmor2001.mdb");
        QVERIFY(host->saveAllBeforeQuit()); // no sheet at all
        host->open(Sheet::Return);
        host->open(Sheet::Loan);
        typeInto(box(returnSheet(), "dateretourS1"), QStringLiteral("31/02/2001"));
        typeInto(box(loanSheet(), "rdzS2"), QStringLiteral("Le 13/01 à 10 h"));

        scripted->queueYesNo(false);
        QVERIFY(!host->saveAllBeforeQuit());
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 1);
        QVERIFY(scripted->calls(ScriptedDialogs::Kind::YesNo).at(0).text.contains(QStringLiteral("Quitter")));
        QCOMPARE(box(returnSheet(), "dateretourS1")->text(), QStringLiteral("31/02/2001"));
        QVERIFY(returnSheet()->recordSource().hasPendingEdits());

        scripted->queueYesNo(true);
        QVERIFY(host->saveAllBeforeQuit());
        QCOMPARE(readTable(dbPath, "tablep").at(0).at("rdzvp").value(),
                 std::string("Le 13/01 à 10 h"));
    }

    // The frame's close box and the quit commands go through the same guard.
    void quitGuard()
    {
        USE_FIXTURE("velmor2001.mdb");
        QWidget frame;
        frame.show();
        int quits = 0;
        const std::function<void()> quit = host->guardQuit(&frame, [&] { ++quits; });
        host->open(Sheet::Return);
        typeInto(box(returnSheet(), "dateaccordS1"), QStringLiteral("lundi"));

        scripted->queueYesNo(false);
        QVERIFY(!frame.close());
        QVERIFY(frame.isVisible());
        scripted->queueYesNo(false);
        quit();
        QCOMPARE(quits, 0);
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 2);
        QCOMPARE(box(returnSheet(), "dateaccordS1")->text(), QStringLiteral("lundi"));

        scripted->queueYesNo(true);
        quit();
        QCOMPARE(quits, 1);
        QVERIFY(frame.close()); // agreed once: not asked again
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 3);
    }
};

QTEST_MAIN(SheetsTest)
#include "sheets_test.moc"
