// The text boxes know their column: a long text opens whole in an editor that
// keeps its line ends, a TEXT column's box takes no more than the column's
// length, and a date box says at once when its text is not a date.
#include "sheets/box_aid.h"
#include "sheets/long_text_editor.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "jet/database.h"
#include "shell/settings.h"
#include "testkit/scripted_dialogs.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest>

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

namespace {

// A report of about 6,000 characters in paragraphs separated by CR LF.
QString longReport()
{
    QString text;
    for (int i = 1; text.size() < 6000; ++i)
        text += QStringLiteral("Étape %1 : démontage, nettoyage des galets, test de 500 pages.\r\n").arg(i);
    return text.left(6000 - 5) + QStringLiteral("Fin.\n"); // a bare LF at the end stays as it is
}

LongTextEditor* openEditorWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* editor = qobject_cast<LongTextEditor*>(window); editor && editor->isVisible())
            return editor;
    return nullptr;
}

} // namespace

class FieldAidsTest : public QObject, public SheetDesk {
    Q_OBJECT

    retour* openReturnOn(const std::vector<Row>& rows)
    {
        useDatabase(QStringLiteral("fiches.mdb"), rows);
        host->open(Sheet::Return);
        return returnSheet();
    }

private slots:
    void initTestCase() { useFrenchRegionalSettings(); }
    void init() { openDesk(); }
    void cleanup()
    {
        if (LongTextEditor* editor = openEditorWindow())
            delete editor;
        closeDesk();
        useFrenchRegionalSettings();
    }

    void longTextEditedWholeAndStoredExactly_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("double-clic") << QStringLiteral("double-clic");
        QTest::newRow("F2") << QStringLiteral("F2");
        QTest::newRow("bouton") << QStringLiteral("bouton");
    }
    void longTextEditedWholeAndStoredExactly()
    {
        QFETCH(QString, way);
        const QString report = longReport();
        retour* sheet = openReturnOn({{{"client", text("Lefèvre")},
                                       {"intervention", jet::Value::text(report.toStdString())}}});
        QLineEdit* reparation = box(sheet, "reparationS1");
        QCOMPARE(reparation->text(), report); // the one-line box holds it all, CR LF included
        QVERIFY(reparation->toolTip().contains(QStringLiteral("Étape 1 : démontage")));
        QVERIFY(!box(sheet, "clientS1")->toolTip().contains(QStringLiteral("Lefèvre"))); // fits

        auto open = [&] {
            if (way == QStringLiteral("double-clic")) {
                QTest::mouseDClick(reparation, Qt::LeftButton);
            } else if (way == QStringLiteral("F2")) {
                reparation->setFocus();
                QTest::keyClick(reparation, Qt::Key_F2);
            } else {
                QToolButton* more = nullptr;
                for (QToolButton* b : reparation->findChildren<QToolButton*>())
                    if (b->defaultAction() && b->defaultAction()->objectName() == QStringLiteral("textecompletbouton"))
                        more = b;
                QVERIFY(more && more->isVisibleTo(reparation));
                more->click();
            }
        };

        // "Annuler" and an unchanged "OK" leave the row as stored.
        open();
        LongTextEditor* editor = openEditorWindow();
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), QStringLiteral("Interventions effectuées"));
        auto* area = child<QPlainTextEdit>(editor, "textecomplet");
        QCOMPARE(area->toPlainText(), LongTextEditor::forEditing(report));
        QCOMPARE(editor->result(), report);
        QVERIFY(area->lineWrapMode() == QPlainTextEdit::WidgetWidth);
        area->appendPlainText(QStringLiteral("à jeter"));
        button(editor, "annuler")->click();
        QCOMPARE(reparation->text(), report);
        open();
        button(openEditorWindow(), "ok")->click();
        QVERIFY(!sheet->recordSource().hasPendingEdits());

        // An edit comes back with the stored line ends and is saved as such.
        open();
        editor = openEditorWindow();
        area = child<QPlainTextEdit>(editor, "textecomplet");
        area->moveCursor(QTextCursor::Start);
        area->insertPlainText(QStringLiteral("Reçu le 12/10.\nDiagnostic :\n"));
        button(editor, "ok")->click();
        QTRY_VERIFY(!openEditorWindow());
        const QString expected = QStringLiteral("Reçu le 12/10.\r\nDiagnostic :\r\n") + report;
        QCOMPARE(reparation->text(), expected);
        QVERIFY(sheet->writePendingEdit());
        QCOMPARE(QString::fromStdString(readTable(dbPath, "velmor2001").at(0).at("intervention").value()),
                 expected);
        QVERIFY(scripted->calls().isEmpty());
    }

    void textBoxesTakeTheColumnLengthFromTheTable()
    {
        // A table of its own with unusual lengths.
        dbPath = dir->path() + QStringLiteral("/longueurs.mdb");
        {
            using jet::ColumnType;
            auto db = jet::Database::create(dbPath.toStdString());
            db->createTable("velmor2001",
                            {{"emetteur", ColumnType::Text, 7},    {"naccord", ColumnType::Text, 3},
                             {"dateaccord", ColumnType::DateTime}, {"client", ColumnType::Text, 180},
                             {"materiel", ColumnType::Text, 61},   {"motif", ColumnType::Memo},
                             {"daterecp", ColumnType::DateTime},   {"parquirecep", ColumnType::Text, 12},
                             {"dateretourclient", ColumnType::DateTime},
                             {"intervention", ColumnType::Text, 255}, {"parquiinterv", ColumnType::Text, 1},
                             {"nomauteur", ColumnType::Text, 50}});
            db->createTable("tablep", {{"emetteurp", ColumnType::Text, 50}});
        }
        settings::save("option", "option", "cheminbase", dbPath);
        host->open(Sheet::Return);
        RecordSheet* sheet = host->sheet(Sheet::Return, false);
        QVERIFY(sheet->recordSource().isOpen());
        host->addNew();

        struct Expect {
            const char* box;
            int maxLength; // 0: no limit of its own
            bool longText;
        };
        const Expect expected[] = {{"emetteurS2", 7, false},   {"accordS1", 3, false},
                                   {"clientS1", 180, true},    {"materielS1", 61, false},
                                   {"motifretour1", 0, true},  {"parquiS1", 12, false},
                                   {"reparationS1", 255, true}, {"intervquiS1", 1, false}};
        const QString typed(200, QLatin1Char('x'));
        for (const Expect& e : expected) {
            QLineEdit* edit = box(sheet, e.box);
            typeInto(edit, typed);
            QCOMPARE(edit->text().size(), e.maxLength ? qMin(e.maxLength, 200) : 200);
            QVERIFY2(BoxAid::of(edit)->isLongText() == e.longText, e.box);
        }
        // The whole-text window of a TEXT column holds to the same length.
        LongTextEditor* editor = BoxAid::of(box(sheet, "clientS1"))->openEditor();
        auto* area = child<QPlainTextEdit>(editor, "textecomplet");
        area->setPlainText(QString(181, QLatin1Char('y')));
        QVERIFY(!button(editor, "ok")->isEnabled());
        area->setPlainText(QString(180, QLatin1Char('y')));
        button(editor, "ok")->click();
        QCOMPARE(box(sheet, "clientS1")->text(), QString(180, QLatin1Char('y')));

        // What the boxes held is what the table can take: the save goes through.
        QVERIFY(sheet->writePendingEdit());
        QCOMPARE(readTable(dbPath, "velmor2001").at(0).at("emetteur").value(), std::string("xxxxxxx"));
        QVERIFY(scripted->calls(ScriptedDialogs::Kind::Message).isEmpty());
    }

    void dateBoxSaysAtOnceWhenItIsNotADate_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("date");
        QTest::addColumn<QString>("example");
        const QString fr = QStringLiteral("12/10/2001"), us = QStringLiteral("10/12/2001");
        QTest::newRow("fr jour/mois") << "fr_FR" << "31/10/2001" << true << fr;
        QTest::newRow("fr mois/jour") << "fr_FR" << "10/31/2001" << false << fr;
        QTest::newRow("fr lettres") << "fr_FR" << "demain" << false << fr;
        QTest::newRow("fr vide") << "fr_FR" << "" << true << fr;
        QTest::newRow("us mois/jour") << "en_US" << "10/31/2001" << true << us;
        QTest::newRow("us jour/mois") << "en_US" << "31/10/2001" << false << us;
        QTest::newRow("us 30 février") << "en_US" << "02/30/2001" << false << us;
    }
    void dateBoxSaysAtOnceWhenItIsNotADate()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(bool, date);
        QFETCH(QString, example);
        QLocale::setDefault(QLocale(locale));
        retour* sheet = openReturnOn({{{"client", text("Lefèvre")}, {"dateaccord", sheetstest::date(2001, 10, 12)}}});
        QLineEdit* agreed = box(sheet, "dateaccordS1");
        QVERIFY(!BoxAid::of(agreed)->dateUnreadable());
        QVERIFY(agreed->styleSheet().isEmpty());

        typeInto(agreed, typed);
        QCOMPARE(agreed->text(), typed); // typing is never held back
        QCOMPARE(BoxAid::of(agreed)->dateUnreadable(), !date);
        QCOMPARE(agreed->styleSheet().contains(QStringLiteral("border")), !date);
        if (date)
            QVERIFY(agreed->toolTip().isEmpty());
        else
            QVERIFY2(agreed->toolTip().endsWith(example), qPrintable(agreed->toolTip()));
        QVERIFY(scripted->calls().isEmpty()); // no box while typing

        // The check at save is unchanged: a wrong date is refused there.
        QCOMPARE(sheet->writePendingEdit(), date);
        QCOMPARE(scripted->calls(ScriptedDialogs::Kind::Message).size(), date ? 0 : 1);
    }
};

QTEST_MAIN(FieldAidsTest)
#include "field_aids_test.moc"
