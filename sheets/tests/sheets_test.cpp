// The two record sheets: their controls, the date-order check before every
// move, navigation at the ends, "Fermer", the close box, and what happens
// when a row cannot be written or the database cannot be opened.
#include "sheets/date_check.h"
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "shell/look.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"

#include <QDir>
#include <functional>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
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


    retour* returnSheet() { return qobject_cast<retour*>(host->sheet(Sheet::Return, false)); }
    Pretmat* loanSheet() { return qobject_cast<Pretmat*>(host->sheet(Sheet::Loan, false)); }

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
        const QString path = dir->filePath(QStringLiteral("colonnes.mdb"));
        createDatabase(path, loan ? std::vector<Row>{} : std::vector<Row>{row},
                       loan ? std::vector<Row>{row} : std::vector<Row>{});
        settings::save("option", "option", "cheminbase", path);
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
    void returnSheetWarningsRowByRow()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        QVERIFY(sheet);
        QCOMPARE(box(sheet, "clientS1")->text(), QString::fromUtf8("L'Oréal"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-001"));
        scripted->clear();

        const QStringList none;
        const QStringList reception{datecheck::receptionBeforeAgreement()};
        const QStringList back{datecheck::returnBeforeReception()};
        const QList<QStringList> expected = {none, reception, back, none, none, none, none};
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(click(button(sheet, "moveforward")), expected[row]);
            QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-00%1").arg(row + 2));
        }
        // Row 8 crosses the year end: the return to the client is before the
        // reception; the move still follows (past the end).
        QCOMPARE(click(button(sheet, "moveforward")), back);
        QVERIFY(sheet->recordSource().EOF_());
    }

    void loanSheetWarningsRowByRow()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Loan);
        Pretmat* sheet = loanSheet();
        QVERIFY(sheet);
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2001-001"));
        scripted->clear();

        const QStringList none;
        const QList<QStringList> expected = {
            none, {datecheck::sendBeforeAgreement()}, none, {datecheck::faultyReturnBeforeAgreement()},
            none, none, none};
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(click(button(sheet, "movenext")), expected[row]);
            QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2001-00%1").arg(row + 2));
        }
    }

    // The texts as shown, edits included, give the keys: typed dates out of
    // order give both warnings, in order, then the move saves the edits.
    void typedDatesWarnThenMove()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        typeInto(box(sheet, "dateaccordS1"), QStringLiteral("12/10/2001"));
        typeInto(box(sheet, "datereceptionS1"), QStringLiteral("01/10/2001"));
        typeInto(box(sheet, "dateretourS1"), QStringLiteral("20/09/2001"));
        scripted->clear();
        int atSecondBox = -1;
        scripted->setOnCall([&](const ScriptedDialogs::Call&) {
            // While the boxes are up, the sheet has not moved yet.
            if (scripted->calls().size() == 2)
                atSecondBox = box(sheet, "accordS1")->text() == QStringLiteral("A-2001-001") ? 1 : 0;
        });
        button(sheet, "moveforward")->click();
        scripted->setOnCall({});
        const QStringList shown = scripted->messages();
        QVERIFY(shown.size() >= 2);
        QCOMPARE(shown.mid(0, 2),
                 (QStringList{datecheck::receptionBeforeAgreement(), datecheck::returnBeforeReception()}));
        QCOMPARE(atSecondBox, 1);
        for (const ScriptedDialogs::Call& call : scripted->calls())
            QCOMPARE(call.caption, QStringLiteral("velmor2"));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-002"));
        const std::vector<StoredRow> rows = readTable(dbPath, "velmor2001");
        QCOMPARE(rows.at(0).at("dateaccord").value(), std::string("2001-10-12 00:00:00"));
        QCOMPARE(rows.at(0).at("daterecp").value(), std::string("2001-10-01 00:00:00"));
        QCOMPARE(rows.at(0).at("dateretourclient").value(), std::string("2001-09-20 00:00:00"));
    }

    void loanTypedDatesWarnInOrder()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Loan);
        Pretmat* sheet = loanSheet();
        typeInto(box(sheet, "dateaccordS2"), QStringLiteral("12/10/2001"));
        typeInto(box(sheet, "dateenvoiS2"), QStringLiteral("01/10/2001"));
        typeInto(box(sheet, "dateretourhsS2"), QStringLiteral("30/09/2001"));
        scripted->clear();
        button(sheet, "movenext")->click();
        QCOMPARE(scripted->messages().mid(0, 2),
                 (QStringList{datecheck::sendBeforeAgreement(), datecheck::faultyReturnBeforeAgreement()}));
        QCOMPARE(scripted->messages().size(), 2);
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2001-002"));
    }

    // ">" on the last row goes past the end; ">" again fails quietly; "<<"
    // and ">>" bring rows back. The same at the first row with "<".
    void navigationAtBothEnds()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        scripted->clear();

        QCOMPARE(click(button(sheet, "moveback")), QStringList());
        QVERIFY(sheet->recordSource().BOF());
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        QCOMPARE(nonWarnings(click(button(sheet, "moveback"))), QStringList());
        QVERIFY(sheet->recordSource().BOF());
        click(button(sheet, "movefirst"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-001"));

        click(button(sheet, "movelast"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-008"));
        QCOMPARE(box(sheet, "clientS1")->text(), QString::fromUtf8("Boulangerie Dupré & Fils"));
        click(button(sheet, "moveforward"));
        QVERIFY(sheet->recordSource().EOF_());
        QCOMPARE(nonWarnings(click(button(sheet, "moveforward"))), QStringList());
        QVERIFY(sheet->recordSource().EOF_());
        click(button(sheet, "moveback"));
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-008"));
        QCOMPARE(nonWarnings(scripted->messages()), QStringList());
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::YesNo).size(), 0);
    }

    void loanNavigationAtFirstRow()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Loan);
        Pretmat* sheet = loanSheet();
        scripted->clear();
        QCOMPARE(click(button(sheet, "movepreviousP")), QStringList());
        QVERIFY(sheet->recordSource().BOF());
        click(button(sheet, "movepreviousP"));
        click(button(sheet, "movelastP"));
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2001-008"));
        click(button(sheet, "movefirstP"));
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2001-001"));
        QCOMPARE(scripted->messages(), QStringList());
    }

    void emptyTableMovesAreSilent()
    {
        USE_FIXTURE("velmor2001-empty.mdb");
        host->open(Sheet::Return);
        host->open(Sheet::Loan);
        QCOMPARE(scripted->calls().size(), 0);
        for (QPushButton* button : {button(returnSheet(), "movefirst"), button(returnSheet(), "moveback"),
                                    button(returnSheet(), "moveforward"), button(returnSheet(), "movelast"),
                                    button(loanSheet(), "movefirstP"), button(loanSheet(), "movepreviousP"),
                                    button(loanSheet(), "movenext"), button(loanSheet(), "movelastP")})
            button->click();
        QCOMPARE(scripted->calls().size(), 0);
        QCOMPARE(returnSheet()->recordSource().state(), BaseR::State::NoCurrentRow);
        QCOMPARE(box(returnSheet(), "clientS1")->text(), QString());
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

    // The close box discards the sheet; the next use creates it anew and the
    // return sheet's load step runs again.
    void closeBoxDiscardsAndRecreates()
    {
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        QPointer<retour> first = returnSheet();
        button(first, "movelast")->click();
        QVERIFY(first->subWindow()->close());
        QVERIFY(!host->sheet(Sheet::Return, false));
        processDeletions();
        QVERIFY(!first);
        QCOMPARE(settings::read("pageencours", "pgcours", "page"), QStringLiteral("0"));

        host->open(Sheet::Return);
        retour* second = returnSheet();
        QVERIFY(second);
        QVERIFY(second->isLoaded());
        QCOMPARE(second->recordSource().RecordSource(), QStringLiteral("SELECT * FROM velmor2001 "));
        QCOMPARE(box(second, "accordS1")->text(), QStringLiteral("A-2001-001"));

        host->open(Sheet::Loan);
        QPointer<Pretmat> loan = loanSheet();
        button(loan, "movenext")->click();
        loan->subWindow()->close();
        processDeletions();
        QVERIFY(!loan);
        host->open(Sheet::Loan);
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

    // Mended: a database that cannot be opened is named in one clear message;
    // the sheet still opens, empty.
    void openingFailureIsReported()
    {
        const QString missing = dir->path() + QStringLiteral("/absente/velmor2001.mdb");
        settings::save("option", "option", "cheminbase", missing);
        host->open(Sheet::Return);
        QCOMPARE(scripted->messages().size(), 1);
        QVERIFY(scripted->messages().at(0).contains(QDir::toNativeSeparators(missing)));
        QCOMPARE(scripted->calls().at(0).caption, QStringLiteral("velmor2"));
        QVERIFY(returnSheet()->subWindow()->isVisible());
        QCOMPARE(returnSheet()->recordSource().state(), BaseR::State::Closed);
        QCOMPARE(box(returnSheet(), "clientS1")->text(), QString());

        scripted->clear();
        host->open(Sheet::Loan);
        QCOMPARE(scripted->messages().size(), 1);
        QVERIFY(scripted->messages().at(0).contains(QDir::toNativeSeparators(missing)));
        QVERIFY(loanSheet()->subWindow()->isVisible());

        // Not a database at all.
        QFile junk(dir->path() + QStringLiteral("/texte.mdb"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("ceci n'est pas une base");
        junk.close();
        settings::save("option", "option", "cheminbase", junk.fileName());
        returnSheet()->subWindow()->close();
        processDeletions();
        scripted->clear();
        host->open(Sheet::Return);
        QCOMPARE(scripted->messages().size(), 1);
        QVERIFY(scripted->messages().at(0).contains(QStringLiteral("texte.mdb")));
    }

    // Mended: a row whose edits cannot be written is not left; the user is
    // told which field and why, and keeps what was typed.
    void unwritableRowIsNotLeft_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("named");  // as the sheet's label shows it
        QTest::addColumn<QString>("column"); // never shown
        QTest::newRow("letters in a date") << "datereceptionS1" << "bientôt" << QString::fromUtf8("« Date de réception »")
                                           << QString::fromUtf8("« daterecp »");
        QTest::newRow("31/02/2001") << "dateretourS1" << "31/02/2001" << QString::fromUtf8("« Date de retour client »")
                                    << QString::fromUtf8("« dateretourclient »");
        // A text longer than its column cannot be typed any more (field_aids_test).
    }
    void unwritableRowIsNotLeft()
    {
        QFETCH(QString, boxName);
        QFETCH(QString, typed);
        QFETCH(QString, named);
        QFETCH(QString, column);
        USE_FIXTURE("velmor2001.mdb");
        host->open(Sheet::Return);
        retour* sheet = returnSheet();
        QLineEdit* field = box(sheet, boxName.toLatin1().constData());
        typeInto(field, typed);
        scripted->clear();
        button(sheet, "moveforward")->click();
        const QStringList errors = nonWarnings(scripted->messages());
        QCOMPARE(errors.size(), 1);
        // The warnings, if any, came first.
        QCOMPARE(scripted->messages().last(), errors.at(0));
        QVERIFY2(errors.at(0).contains(named), qPrintable(errors.at(0)));
        QVERIFY2(!errors.at(0).contains(column), qPrintable(errors.at(0)));
        QCOMPARE(field->text(), typed);
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2001-001"));
        QVERIFY(sheet->recordSource().hasPendingEdits());
        QCOMPARE(readTable(dbPath, "velmor2001").at(0).at("emetteur").value(), std::string("Agence Lyon"));
    }

    // Mended: quitting writes the pending edit of each open sheet; when that
    // fails the user chooses between staying with the edit and quitting.
    void quitWritesPendingEdits()
    {
        USE_FIXTURE("velmor2001.mdb");
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

    void quitGuardWritesGoodEdits()
    {
        USE_FIXTURE("velmor2001.mdb");
        QWidget frame;
        frame.show();
        host->guardQuit(&frame, {});
        host->open(Sheet::Loan);
        typeInto(box(loanSheet(), "parqiuS2"), QString::fromUtf8("Noémie"));
        QVERIFY(frame.close());
        QCOMPARE(scripted->calls().size(), 0);
        QCOMPARE(readTable(dbPath, "tablep").at(0).at("parquip").value(), std::string("Noémie"));
    }

    void quitWithNothingPendingAsksNothing()
    {
        USE_FIXTURE("velmor2001.mdb");
        QVERIFY(host->saveAllBeforeQuit()); // no sheet at all
        host->open(Sheet::Return);
        button(returnSheet(), "moveforward")->click();
        scripted->clear();
        QVERIFY(host->saveAllBeforeQuit());
        QCOMPARE(scripted->calls().size(), 0);
    }
};

QTEST_MAIN(SheetsTest)
#include "sheets_test.moc"
