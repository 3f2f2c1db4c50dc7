// Nothing typed is lost, and nothing can be typed where it could not be kept:
// a database that cannot be written opens with a notice (once), locked
// fields and the writing commands refused; with no row shown the fields are
// locked and say why; "Échap" undoes the field, then the row; an edit made by
// any means (code, paste, input method, assistive tool) is saved.
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "jet/database.h"
#include "testkit/scripted_dialogs.h"

#include <QAccessible>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QtTest>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace velmor;
using namespace sheetstest;
using Sheet = SheetHost::Sheet;

namespace {

// While it lives, this thread lacks CAP_DAC_OVERRIDE, so that file
// permissions refuse writes even to root (the tests run as root in CI).
// Nothing changes for other users, who do not have it.
class PermissionsBindRoot {
public:
    PermissionsBindRoot()
    {
#ifdef __linux__
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
        dropped[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
        active_ = ::syscall(SYS_capset, &header_, dropped) == 0;
#endif
    }
    ~PermissionsBindRoot()
    {
#ifdef __linux__
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
#endif
    }

private:
#ifdef __linux__
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
#endif
    bool active_ = false;
};

Row returnRow(const char* accord, const char* client)
{
    return {{"emetteur", text("Agence Lyon")}, {"naccord", text(accord)}, {"client", text(client)},
            {"dateaccord", date(2001, 1, 10)}, {"daterecp", date(2001, 1, 12)}};
}

const std::vector<Row>& returnRows()
{
    static const std::vector<Row> rows = {returnRow("A-1", "Alpha"), returnRow("A-2", "Bravo"),
                                          returnRow("A-3", "Charlie")};
    return rows;
}

const std::vector<Row>& loanRows()
{
    static const std::vector<Row> rows = {
        {{"naccordp", text("P-1")}, {"clientp", text("Alpha")}},
        {{"naccordp", text("P-2")}, {"clientp", text("Bravo")}},
    };
    return rows;
}

} // namespace

class EditSafetyTest : public QObject, public SheetDesk {
    Q_OBJECT

    void useDatabase(const std::vector<Row>& returns = returnRows())
    {
        SheetDesk::useDatabase(QStringLiteral("fiches.mdb"), returns, loanRows());
    }

    std::vector<std::string> storedClients() { return storedColumn(dbPath, "velmor2001", "client"); }

    retour* openReturn()
    {
        host->open(Sheet::Return);
        return returnSheet();
    }

    static void checkLocked(RecordSheet* sheet, bool locked)
    {
        for (QLineEdit* box : sheet->findChildren<QLineEdit*>())
            QVERIFY2(box->isReadOnly() == locked, qPrintable(box->objectName()));
    }

private slots:
    void initTestCase() { useFrenchRegionalSettings(); }
    void init() { openDesk(); }
    void cleanup()
    {
        closeDesk();
        BaseR::setDatabaseOpener({});
    }

    // A file the user may not write (permissions), or that the engine opens
    // read-only for a reason of its own that does not name the file.
    void readOnlyDatabase_data()
    {
        QTest::addColumn<bool>("permissions");
        QTest::newRow("droits du fichier") << true;
        QTest::newRow("raison du moteur") << false;
    }
    void readOnlyDatabase()
    {
        QFETCH(bool, permissions);
        std::unique_ptr<PermissionsBindRoot> bind;
        if (permissions) {
            useDatabase();
            QFile::setPermissions(dbPath, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            bind = std::make_unique<PermissionsBindRoot>();
            if (QFile probe(dbPath); probe.open(QIODevice::ReadWrite))
                QSKIP("file permissions do not stop writes here (root without a way to drop CAP_DAC_OVERRIDE)");
        } else {
            useDatabase();
            BaseR::setDatabaseOpener([](const QString& path) {
                return jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly);
            });
        }
        host->open(Sheet::Loan);
        auto* sheet = qobject_cast<Pretmat*>(host->sheet(Sheet::Loan, false));
        const QString reason = sheet->recordSource().readOnlyReason();
        QVERIFY(!reason.isEmpty());

        // Once, naming the file once, with the reason.
        QCOMPARE(scripted->messages(), QStringList{SheetHost::readOnlyNotice(dbPath, reason)});
        const QString notice = scripted->messages().first();
        QCOMPARE(notice.count(QFileInfo(dbPath).fileName()), 1);
        QVERIFY2(notice.contains(reason), qPrintable(notice));
        if (permissions)
            QVERIFY2(reason.contains(QStringLiteral("droits")), qPrintable(reason));

        // Locked fields, the status bar's note, the writing commands off.
        checkLocked(sheet, true);
        QVERIFY2(host->statusNote().contains(reason), qPrintable(host->statusNote()));
        QVERIFY(!host->writeCommandsEnabled());
        typeInto(box(sheet, "clientS2"), QStringLiteral("Gamma"));
        QCOMPARE(box(sheet, "clientS2")->text(), QStringLiteral("Alpha"));

        // Moving still shows the rows; neither "Voir" nor the other sheet on
        // the same file brings the notice again.
        button(sheet, "movenext")->click();
        QCOMPARE(box(sheet, "numaccordS2")->text(), QStringLiteral("P-2"));
        host->showAll();
        retour* other = openReturn();
        QCOMPARE(scripted->messages().size(), 1);
        checkLocked(other, true);
        QVERIFY(host->statusNote().contains(reason));

        // The writing commands, run anyway, say why and store nothing.
        host->addNew();
        host->save();
        host->deleteCurrent();
        QCOMPARE(scripted->messages().size(), 4);
        QVERIFY(scripted->calls(ScriptedDialogs::Kind::YesNo).isEmpty());
        bind.reset();
        QCOMPARE(storedClients(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    }

    // With no row shown the fields take no typing and say why; "Nouveau"
    // gives them back.
    void fieldsLockedWithoutRow_data()
    {
        QTest::addColumn<QString>("how");
        for (const char* how : {"table vide", "après la dernière", "avant la première",
                                "Effacer de la première", "recherche sans résultat"})
            QTest::newRow(how) << QString::fromUtf8(how);
    }
    void fieldsLockedWithoutRow()
    {
        QFETCH(QString, how);
        useDatabase(how == QStringLiteral("table vide") ? std::vector<Row>{} : returnRows());
        retour* sheet = openReturn();
        if (how == QStringLiteral("après la dernière")) {
            button(sheet, "movelast")->click();
            button(sheet, "moveforward")->click();
        } else if (how == QStringLiteral("avant la première")) {
            button(sheet, "moveback")->click();
        } else if (how.startsWith(QStringLiteral("Effacer"))) {
            scripted->queueYesNo(true);
            host->deleteCurrent();
        } else if (how.startsWith(QStringLiteral("recherche"))) {
            scripted->queueInput(QStringLiteral("Personne"));
            host->search();
        }
        QCOMPARE(sheet->recordSource().state(), BaseR::State::NoCurrentRow);
        checkLocked(sheet, true);
        QCOMPARE(box(sheet, "clientS1")->placeholderText(), QStringLiteral("Aucune fiche"));
        QVERIFY2(host->statusNote().contains(QStringLiteral("« Nouveau »")), qPrintable(host->statusNote()));
        QVERIFY(box(sheet, "clientS1")->toolTip().contains(QStringLiteral("« Nouveau »")));
        typeInto(box(sheet, "clientS1"), QStringLiteral("perdu"));
        QCOMPARE(box(sheet, "clientS1")->text(), QString());
        QVERIFY(!sheet->recordSource().hasPendingEdits());

        host->addNew();
        checkLocked(sheet, false);
        QVERIFY(host->statusNote().startsWith(QStringLiteral("Nouvelle fiche")));
        QVERIFY(!host->statusNote().contains(QStringLiteral("« Nouveau »"))); // the note is gone
        QVERIFY(host->writeCommandsEnabled());
        typeInto(box(sheet, "clientS1"), QStringLiteral("Delta"));
        host->save();
        QVERIFY(scripted->messages().isEmpty());
        const std::vector<std::string> clients = storedClients();
        QCOMPARE(std::count(clients.begin(), clients.end(), "Delta"), 1);
    }

    // "Échap": the field first, then the whole row, so that a row that
    // cannot be written never holds the user.
    void escapeUndoesTheFieldThenTheRow()
    {
        useDatabase();
        retour* sheet = openReturn();
        auto escape = [](QLineEdit* box) { QTest::keyClick(box, Qt::Key_Escape); };
        typeInto(box(sheet, "clientS1"), QStringLiteral("Bêta"));
        typeInto(box(sheet, "materielS1"), QStringLiteral("Écran"));
        escape(box(sheet, "materielS1"));
        QCOMPARE(box(sheet, "materielS1")->text(), QString());
        QCOMPARE(box(sheet, "clientS1")->text(), QStringLiteral("Bêta"));
        escape(box(sheet, "materielS1"));
        QCOMPARE(box(sheet, "clientS1")->text(), QStringLiteral("Alpha"));
        QVERIFY(!sheet->recordSource().hasPendingEdits());

        // A row that cannot be written: ">" refuses to leave it; "Échap"
        // twice gives it back as stored, and ">" goes on.
        typeInto(box(sheet, "clientS1"), QStringLiteral("Bêta"));
        typeInto(box(sheet, "dateaccordS1"), QStringLiteral("32/13/2001"));
        button(sheet, "moveforward")->click();
        QVERIFY(!scripted->messages().isEmpty());
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-1"));
        escape(box(sheet, "dateaccordS1"));
        escape(box(sheet, "dateaccordS1"));
        QCOMPARE(box(sheet, "clientS1")->text(), QStringLiteral("Alpha"));
        scripted->clear();
        button(sheet, "moveforward")->click();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QVERIFY(scripted->messages().isEmpty());

        // A new row: its field, then the row itself, which is dropped; the
        // row shown before comes back.
        host->addNew();
        typeInto(box(sheet, "clientS1"), QStringLiteral("Nouveau client"));
        escape(box(sheet, "clientS1"));
        QCOMPARE(sheet->recordSource().state(), BaseR::State::Adding);
        QCOMPARE(box(sheet, "clientS1")->text(), QString());
        escape(box(sheet, "clientS1"));
        QCOMPARE(sheet->recordSource().state(), BaseR::State::CurrentRow);
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        button(sheet, "moveforward")->click();
        QCOMPARE(storedClients(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    }

    // Every way a text can change is an edit, saved when the row is left.
    void editsByAnyMeansAreSaved_data()
    {
        QTest::addColumn<QString>("means");
        for (const char* means : {"code", "collage", "méthode de saisie", "accessibilité"})
            QTest::newRow(means) << QString::fromUtf8(means);
    }
    void editsByAnyMeansAreSaved()
    {
        QFETCH(QString, means);
        useDatabase();
        retour* sheet = openReturn();
        QLineEdit* client = box(sheet, "clientS1");
        const QString wanted = QStringLiteral("Zoé");
        client->setFocus();
        client->selectAll();
        if (means == QStringLiteral("code")) {
            client->setText(wanted);
        } else if (means == QStringLiteral("collage")) {
            QGuiApplication::clipboard()->setText(wanted);
            client->paste();
        } else if (means == QStringLiteral("méthode de saisie")) {
            QInputMethodEvent commit;
            commit.setCommitString(wanted);
            QCoreApplication::sendEvent(client, &commit);
        } else {
            QAccessible::queryAccessibleInterface(client)->setText(QAccessible::Value, wanted);
        }
        QCOMPARE(client->text(), wanted);
        button(sheet, "moveforward")->click();
        QCOMPARE(box(sheet, "accordS1")->text(), QStringLiteral("A-2"));
        QCOMPARE(storedClients().front(), wanted.toStdString());
    }
};

QTEST_MAIN(EditSafetyTest)
#include "edit_safety_test.moc"
