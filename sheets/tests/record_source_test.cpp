// The record source BaseR: design values, opening, moves and ends of the row
// set, saving on leaving a row, new rows, UpdateRecord / LastModified /
// Bookmark, Delete, refresh with another row source, conversions and bad
// input.
//
// Every test runs twice: on the in-memory stand-in of the engine ("mémoire")
// and on a copy of the shared fixture file read by the Jet engine
// ("moteur"). Tests that write are skipped on the engine while it cannot
// write yet.
#include "memory_db_support.h"
#include "sheets/bound_field.h"
#include "sheets/record_source.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

using namespace velmor;
using velmor::testing::MemoryEngine;

namespace {

const QLocale french(QLocale::French, QLocale::France);
const QLocale american(QLocale::English, QLocale::UnitedStates);
const QString fixtures = QStringLiteral(VELMOR_FIXTURES_DIR);

const char* const returnColumns[] = {"emetteur", "naccord",          "dateaccord",   "client",
                                     "materiel", "motif",            "daterecp",     "parquirecep",
                                     "dateretourclient", "intervention", "parquiinterv", "nomauteur"};

// A field as a test drives it: `type` is the user typing.
class TestField : public BoundField {
public:
    QString text() const override { return text_; }
    void setText(const QString& text) override
    {
        text_ = text;
        modified_ = false;
        ++shown;
    }
    bool isModified() const override { return modified_; }
    void setModified(bool modified) override { modified_ = modified; }
    void type(const QString& text)
    {
        text_ = text;
        modified_ = true;
    }
    int shown = 0;

private:
    QString text_;
    bool modified_ = false;
};

// The return table's twelve columns, bound to test fields.
struct ReturnFields {
    std::map<QString, TestField> fields;
    explicit ReturnFields(BaseR& source)
    {
        for (const char* c : returnColumns)
            source.bind(QString::fromLatin1(c), &fields[QString::fromLatin1(c)]);
    }
    TestField& operator[](const char* column) { return fields.at(QString::fromLatin1(column)); }
    bool allEmpty() const
    {
        for (const auto& [name, field] : fields)
            if (!field.text().isEmpty())
                return false;
        return true;
    }
};

RecordSourceError::Code codeOf(const std::function<void()>& operation, QString* message = nullptr)
{
    try {
        operation();
    } catch (const RecordSourceError& e) {
        if (message)
            *message = e.message();
        return e.code();
    }
    qFatal("l'opération aurait dû échouer");
}

#define EXPECT_FAILS(code, operation)                                                                    \
    QCOMPARE(codeOf([&] { operation; }), RecordSourceError::Code::code)

} // namespace

class RecordSourceTest : public QObject {
    Q_OBJECT

private:
    bool memory_ = true;
    std::unique_ptr<MemoryEngine> engine_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;  // the database of the test
    QString empty_; // one whose tables have no rows

    // A copy of a fixture file in the test's folder.
    QString copyFixture(const QString& name)
    {
        const QString target = dir_->filePath(name);
        QFile::remove(target);
        if (!QFile::copy(QDir(fixtures).filePath(name), target))
            return QString();
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    std::unique_ptr<jet::Database> openDirect(const QString& path)
    {
        if (memory_)
            return testing::openMemoryDatabase(path);
        return jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
    }

    // Whether the engine under test can write rows; the engine without
    // writes makes the calling test skip.
    bool canWrite()
    {
        if (memory_)
            return true;
        try {
            auto db = jet::Database::open(QFile::encodeName(path_).toStdString());
            auto rs = db->openRecordset("velmor2001");
            rs->addNew();
            rs->cancelUpdate();
            return true;
        } catch (const jet::Error& e) {
            if (e.code() == jet::Code::Unsupported || e.code() == jet::Code::ReadOnly)
                return false;
            throw;
        }
    }

#define REQUIRE_WRITES()                                                                                 \
    do {                                                                                                 \
        if (!canWrite())                                                                                 \
            QSKIP("écriture pas encore disponible dans le moteur");                                      \
    } while (0)

    // The stored value of `column` in the row of `table` whose key column
    // holds `key`, read straight from the file; nothing when no row has it.
    std::optional<jet::Value> stored(const std::string& table, const std::string& keyColumn, const std::string& key,
                                     const std::string& column)
    {
        auto db = openDirect(path_);
        auto rs = db->openRecordset(table);
        if (rs->recordCount() == 0)
            return std::nullopt;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            jet::Value k = rs->value(keyColumn);
            if (k.kind() == jet::Value::Kind::Text && k.asText() == key)
                return rs->value(column);
        }
        return std::nullopt;
    }

    long storedCount(const std::string& table)
    {
        auto db = openDirect(path_);
        return db->openRecordset(table)->recordCount();
    }

    void openReturn(BaseR& source)
    {
        source.setDatabaseName(path_);
        auto failure = source.openOnLoad();
        QVERIFY2(!failure, failure ? qPrintable(failure->message()) : "");
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
    }

    void moveToKey(BaseR& source, ReturnFields& f, const QString& key)
    {
        source.MoveFirst();
        while (f["naccord"].text() != key)
            source.MoveNext();
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("memory");
        QTest::newRow("mémoire") << true;
        QTest::newRow("moteur") << false;
    }

    void init()
    {
        QFETCH_GLOBAL(bool, memory);
        memory_ = memory;
        QLocale::setDefault(french);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        if (memory_) {
            engine_ = std::make_unique<MemoryEngine>();
            path_ = QStringLiteral("mémoire:velmor2001.mdb");
            empty_ = QStringLiteral("mémoire:vide.mdb");
            testing::makeVelmorFile(path_);
            testing::makeVelmorFile(empty_, true);
            return;
        }
        engine_.reset();
        if (!QFileInfo(QDir(fixtures).filePath(QStringLiteral("velmor2001.mdb"))).exists())
            QSKIP("fixtures absentes (VELMOR_FIXTURES_DIR) : tests sur le moteur ignorés");
        path_ = copyFixture(QStringLiteral("velmor2001.mdb"));
        empty_ = copyFixture(QStringLiteral("velmor2001-empty.mdb"));
        QVERIFY(!path_.isEmpty() && !empty_.isEmpty());
    }

    void cleanup()
    {
        engine_.reset();
        dir_.reset();
        QLocale::setDefault(french);
    }

    void designValues()
    {
        BaseR returns(RecordSourceDesign::returnSheet());
        QCOMPARE(returns.Connect(), QStringLiteral("Access"));
        QCOMPARE(returns.DatabaseName(), QString());
        QCOMPARE(returns.RecordSource(), QStringLiteral("velmor2001"));
        QCOMPARE(returns.Caption(), QStringLiteral("Velmor Retour"));
        QCOMPARE(returns.ToolTipText(), QStringLiteral("Base de donnée en cours"));
        QVERIFY(!returns.Visible());
        QCOMPARE(returns.state(), BaseR::State::Closed);

        BaseR loans(RecordSourceDesign::loanSheet());
        QCOMPARE(loans.Connect(), QStringLiteral("Access"));
        QCOMPARE(loans.DatabaseName(), QString());
        QCOMPARE(loans.RecordSource(), QStringLiteral("tablep"));
        QCOMPARE(loans.Caption(), QStringLiteral("velmor pret"));
        QCOMPARE(loans.ToolTipText(), QString());
        QVERIFY(!loans.Visible());
        QVERIFY(!loans.isOpen());
    }

    void closedWithoutPath()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        auto failure = source.openOnLoad();
        QVERIFY(failure.has_value());
        QCOMPARE(failure->code(), RecordSourceError::Code::NoDatabase);
        QVERIFY(!failure->message().isEmpty());
        QCOMPARE(source.state(), BaseR::State::Closed);
        QVERIFY(source.BOF() && source.EOF_());
        QCOMPARE(source.RecordCount(), 0L);
        EXPECT_FAILS(NoDatabase, source.Refresh());
        EXPECT_FAILS(NotOpen, source.MoveNext());
        EXPECT_FAILS(NotOpen, source.MoveFirst());
        EXPECT_FAILS(NotOpen, source.AddNew());
        EXPECT_FAILS(NotOpen, source.Delete());
        EXPECT_FAILS(NotOpen, source.UpdateRecord());
        EXPECT_FAILS(NotOpen, source.LastModified());
        EXPECT_FAILS(NotOpen, source.Bookmark());
        EXPECT_FAILS(NotOpen, source.setBookmark(jet::Bookmark{1, 0}));
        QVERIFY(!source.hasPendingEdits());
        source.savePending(); // nothing to save, no failure
        QVERIFY(f.allEmpty());
        QCOMPARE(source.state(), BaseR::State::Closed);
    }

    void opensOnLoadWithPath()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        QSignalSpy shown(&source, &BaseR::currentChanged);
        source.setDatabaseName(path_);
        // Setting the path changes nothing until the opening.
        QCOMPARE(source.state(), BaseR::State::Closed);
        QVERIFY(f.allEmpty());
        QVERIFY(!source.openOnLoad());
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        QCOMPARE(source.RecordCount(), 8L);
        QVERIFY(!source.BOF() && !source.EOF_());
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        QCOMPARE(f["client"].text(), QStringLiteral("L'Oréal"));
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("15/01/2001"));
        QCOMPARE(f["dateretourclient"].text(), QStringLiteral("25/01/2001"));
        QCOMPARE(f["nomauteur"].text(), QStringLiteral("Martine"));
        QVERIFY(!f["client"].isModified());
        QVERIFY(shown.count() >= 1);
        // Already open: the opening on load does nothing more.
        source.MoveNext();
        QVERIFY(!source.openOnLoad());
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
    }

    void loanSheetOpensItsTable()
    {
        BaseR source(RecordSourceDesign::loanSheet());
        TestField key, send, author;
        source.bind(QStringLiteral("naccordp"), &key);
        source.bind(QStringLiteral("dateenvoip"), &send);
        source.bind(QStringLiteral("nomauteurp"), &author);
        source.setDatabaseName(path_);
        QVERIFY(!source.openOnLoad());
        QCOMPARE(key.text(), QStringLiteral("P-2001-001"));
        QCOMPARE(send.text(), QStringLiteral("11/01/2001"));
        source.MoveLast();
        QCOMPARE(key.text(), QStringLiteral("P-2001-008"));
        QCOMPARE(send.text(), QString()); // NULL
        QCOMPARE(author.text(), QStringLiteral("Cécile"));
    }

    void movesAndEnds()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        QVERIFY(!source.BOF());
        for (int i = 2; i <= 8; ++i) {
            source.MoveNext();
            QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-00%1").arg(i));
        }
        // Past the last row: no row, no error, fields cleared.
        source.MoveNext();
        QVERIFY(source.EOF_());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        QVERIFY(f.allEmpty());
        // Once more the same way: an error; still at the end.
        EXPECT_FAILS(NoCurrentRow, source.MoveNext());
        QVERIFY(source.EOF_());
        EXPECT_FAILS(NoCurrentRow, source.Bookmark());
        // Back the other way.
        source.MovePrevious();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-008"));
        source.MoveNext();
        QVERIFY(source.EOF_());
        source.MoveLast();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-008"));
        source.MoveNext();
        source.MoveFirst();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        // Before the first row.
        source.MovePrevious();
        QVERIFY(source.BOF());
        QVERIFY(!source.EOF_());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        QVERIFY(f.allEmpty());
        EXPECT_FAILS(NoCurrentRow, source.MovePrevious());
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        source.MovePrevious();
        source.MoveLast();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-008"));
        // Bookmarks lead back to their row.
        const jet::Bookmark last = source.Bookmark();
        source.MoveFirst();
        source.setBookmark(last);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-008"));
        QCOMPARE(source.Bookmark(), last);
    }

    void emptyTable()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        source.setDatabaseName(empty_);
        QVERIFY(!source.openOnLoad());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        QVERIFY(source.BOF() && source.EOF_());
        QCOMPARE(source.RecordCount(), 0L);
        QVERIFY(f.allEmpty());
        EXPECT_FAILS(NoCurrentRow, source.MoveFirst());
        EXPECT_FAILS(NoCurrentRow, source.MoveLast());
        EXPECT_FAILS(NoCurrentRow, source.MoveNext());
        EXPECT_FAILS(NoCurrentRow, source.MovePrevious());
        EXPECT_FAILS(NoCurrentRow, source.Delete());
        EXPECT_FAILS(NoCurrentRow, source.UpdateRecord());
        EXPECT_FAILS(NoCurrentRow, source.LastModified());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        // Typing into the fields of no row saves nothing.
        f["client"].type(QStringLiteral("personne"));
        source.savePending();
        QCOMPARE(source.RecordCount(), 0L);
    }

    void textShown()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.MoveNext(); // 002
        QCOMPARE(f["materiel"].text(), QStringLiteral("Écran 17\" Iiyama"));
        QCOMPARE(f["client"].text(), QStringLiteral("Société Générale d'Équipement"));
        QCOMPARE(f["daterecp"].text(), QStringLiteral("01/02/2001"));
        QCOMPARE(f["dateretourclient"].text(), QString()); // NULL
        source.MoveNext(); // 003
        QCOMPARE(f["intervention"].text(), QStringLiteral("Batterie changée.\r\nCalibration effectuée."));
        source.MoveNext(); // 004
        QVERIFY(f["motif"].text().contains(QStringLiteral("—")));
        QCOMPARE(f["parquiinterv"].text(), QString());
        source.MoveNext(); // 005
        QCOMPARE(f["dateaccord"].text(), QString());
        QCOMPARE(f["client"].text(), QString()); // the empty string
        source.MoveNext(); // 006
        QCOMPARE(f["client"].text(), QString()); // NULL
        QCOMPARE(f["daterecp"].text(), QString());
        source.MoveNext(); // 007: a time of day
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("18/04/2001 09:30:00"));
        QCOMPARE(f["daterecp"].text(), QStringLiteral("20/04/2001"));
        source.MoveNext(); // 008
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("31/12/2001"));
        QCOMPARE(f["daterecp"].text(), QStringLiteral("03/01/2002"));
        QCOMPARE(f["client"].text(), QStringLiteral("Boulangerie Dupré & Fils"));
    }

    void monthFirstLocale()
    {
        QLocale::setDefault(american);
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("1/15/2001"));
        source.MoveLast();
        QCOMPARE(f["daterecp"].text(), QStringLiteral("1/3/2002"));
        // Typed month first, converted without touching the file.
        f["dateretourclient"].type(QStringLiteral("31/12/2001"));
        EXPECT_FAILS(BadValue, source.MoveFirst());
        QCOMPARE(f["dateretourclient"].text(), QStringLiteral("31/12/2001"));
        if (!canWrite())
            return;
        f["dateretourclient"].type(QStringLiteral("12/30/01"));
        source.MoveFirst();
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-008", "dateretourclient").value(),
                 jet::Value::dateTime(2001, 12, 30));
    }

    void refreshAfterRowSource()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.MoveNext();
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client='Crédit Agricole'"));
        // Nothing changes before the refresh.
        QCOMPARE(source.RecordCount(), 8L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 2L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-003"));
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-007"));
        source.MoveNext();
        QVERIFY(source.EOF_());

        // Case is ignored, the whole value must match, '' is the empty client.
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client='crédit agricole'"));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 2L);
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client='Crédit'"));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 0L);
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        QVERIFY(f.allEmpty());
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client=''"));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 1L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-005"));

        // "= null" is never true.
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE dateretourclient=null "));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 0L);
        EXPECT_FAILS(NoCurrentRow, source.MoveNext());

        // Back to every row, first row current.
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 "));
        source.Refresh();
        QCOMPARE(source.RecordCount(), 8L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        source.MoveLast();
        source.Refresh();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
    }

    void rejectedSourcesLeaveItUsable()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.MoveNext();
        QString message;

        // A typed name with a quote, inserted as it is: the engine refuses it.
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client='L'Oréal'"));
        QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::BadSource);
        QVERIFY2(!message.isEmpty(), qPrintable(message));
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-003"));

        source.setRecordSource(QStringLiteral("tableinconnue"));
        QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::BadSource);
        QVERIFY2(message.contains(QStringLiteral("tableinconnue")), qPrintable(message));
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE colonne='x'"));
        EXPECT_FAILS(BadSource, source.Refresh());
        source.setRecordSource(QStringLiteral("SELECT FROM"));
        EXPECT_FAILS(BadSource, source.Refresh());
        source.setRecordSource(QString());
        EXPECT_FAILS(BadSource, source.Refresh());
        // The loan table lacks the return columns the fields are bound to.
        source.setRecordSource(QStringLiteral("tablep"));
        QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::BadSource);
        QVERIFY2(message.contains(QStringLiteral("emetteur")), qPrintable(message));

        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-003"));
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 "));
        source.Refresh();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        EXPECT_FAILS(BadSource, source.bind(QStringLiteral("colonneinconnue"), &f["client"]));
    }

    void badDatabases()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        QString message;

        const QString missing = dir_->filePath(QStringLiteral("absente.mdb"));
        source.setDatabaseName(missing);
        auto failure = source.openOnLoad();
        QVERIFY(failure);
        QCOMPARE(failure->code(), RecordSourceError::Code::NoDatabase);
        QVERIFY2(failure->message().contains(QStringLiteral("absente.mdb")), qPrintable(failure->message()));
        QCOMPARE(source.state(), BaseR::State::Closed);

        // The database without the table.
        if (memory_) {
            testing::memoryFile(missing).tables.clear();
        } else {
            QFile text(missing);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("Ceci n'est pas une base de données.\n");
            text.close();
            QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::NoDatabase);
            QVERIFY2(message.contains(QStringLiteral("absente.mdb")), qPrintable(message));
            // A folder, an empty file.
            source.setDatabaseName(dir_->path());
            EXPECT_FAILS(NoDatabase, source.Refresh());
            QFile zero(dir_->filePath(QStringLiteral("vide.mdb")));
            QVERIFY(zero.open(QIODevice::WriteOnly));
            zero.close();
            source.setDatabaseName(zero.fileName());
            EXPECT_FAILS(NoDatabase, source.Refresh());
            // An Access file of another application: no such table.
            const QString other = copyFixture(QStringLiteral("velmor2001-empty.mdb"));
            source.setDatabaseName(other);
            source.setRecordSource(QStringLiteral("autre"));
            EXPECT_FAILS(BadSource, source.Refresh());
            source.setRecordSource(QStringLiteral("velmor2001"));
            QCOMPARE(source.state(), BaseR::State::Closed);
            return;
        }
        source.setDatabaseName(missing);
        EXPECT_FAILS(BadSource, source.Refresh());
        QCOMPARE(source.state(), BaseR::State::Closed);

        // Still usable afterwards.
        source.setDatabaseName(path_);
        source.Refresh();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        // A failed refresh keeps the rows it had.
        source.MoveNext();
        source.setDatabaseName(QStringLiteral("/nulle/part/velmor2001.mdb"));
        EXPECT_FAILS(NoDatabase, source.Refresh());
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-003"));
    }

    void conversionFailuresKeepTheText()
    {
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        QString message;
        for (const QString& bad : {QStringLiteral("abc"), QStringLiteral("31/02/2001"), QStringLiteral("12/13/2001")}) {
            f["dateaccord"].type(bad);
            QCOMPARE(codeOf([&] { source.MoveNext(); }, &message), RecordSourceError::Code::BadValue);
            QVERIFY2(message.contains(QStringLiteral("dateaccord")), qPrintable(message));
            QVERIFY2(message.contains(bad), qPrintable(message));
            // The move did not happen and the typed text stays.
            QCOMPARE(f["dateaccord"].text(), bad);
            QVERIFY(f["dateaccord"].isModified());
            QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
            QCOMPARE(source.state(), BaseR::State::CurrentRow);
            QVERIFY(source.hasPendingEdits());
            EXPECT_FAILS(BadValue, source.UpdateRecord());
            EXPECT_FAILS(BadValue, source.Refresh());
            EXPECT_FAILS(BadValue, source.savePending());
            QCOMPARE(f["dateaccord"].text(), bad);
        }
        f["dateaccord"].type(QStringLiteral("15/01/2001"));
        f["client"].type(QString(51, QChar(u'é')));
        QCOMPARE(codeOf([&] { source.MoveNext(); }, &message), RecordSourceError::Code::BadValue);
        QVERIFY2(message.contains(QStringLiteral("client")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("50")), qPrintable(message));
        QCOMPARE(f["client"].text().size(), 51);

        // Put back as shown: no write is needed, the move goes on even on a
        // file that cannot be written.
        f["client"].type(QStringLiteral("L'Oréal"));
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        QVERIFY(!source.hasPendingEdits());
    }

    void writeRefusedLeavesTheRow()
    {
        if (canWrite()) {
            // A file that can only be read refuses the write the same way.
            if (memory_) {
                testing::memoryFile(path_).readOnly = true;
            } else {
                BaseR::setDatabaseOpener([](const QString& path) {
                    return jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
                });
            }
        }
        struct RestoreOpener {
            bool engine;
            ~RestoreOpener()
            {
                if (engine)
                    BaseR::setDatabaseOpener({});
            }
        } restore{!memory_};
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        f["client"].type(QStringLiteral("Nouveau client"));
        QString message;
        const auto code = codeOf([&] { source.MoveNext(); }, &message);
        QVERIFY(code == RecordSourceError::Code::ReadOnly || code == RecordSourceError::Code::Engine);
        QVERIFY(!message.isEmpty());
        QCOMPARE(f["client"].text(), QStringLiteral("Nouveau client"));
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        const auto addCode = codeOf([&] { source.AddNew(); });
        QVERIFY(addCode == RecordSourceError::Code::ReadOnly || addCode == RecordSourceError::Code::Engine);
        EXPECT_FAILS(NoCurrentRow, source.LastModified());
        // The typed text is dropped by showing the row again: refresh from a
        // fresh record source.
        BaseR other(RecordSourceDesign::returnSheet());
        ReturnFields g(other);
        other.setDatabaseName(path_);
        QVERIFY(!other.openOnLoad());
        QCOMPARE(g["client"].text(), QStringLiteral("L'Oréal"));
        other.MoveNext();
        QCOMPARE(g["naccord"].text(), QStringLiteral("A-2001-002"));
    }

    void leavingSavesEdits()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        f["client"].type(QStringLiteral("L'Oréal « Paris »"));
        f["dateretourclient"].type(QStringLiteral("26-1-01"));
        QVERIFY(source.hasPendingEdits());
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        QVERIFY(!source.hasPendingEdits());
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-001", "client").value(),
                 jet::Value::text("L'Oréal « Paris »"));
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-001", "dateretourclient").value(),
                 jet::Value::dateTime(2001, 1, 26));
        QCOMPARE(source.LastModified(), [&] {
            source.MovePrevious();
            return source.Bookmark();
        }());
        QCOMPARE(f["client"].text(), QStringLiteral("L'Oréal « Paris »"));
        QCOMPARE(f["dateretourclient"].text(), QStringLiteral("26/01/2001"));

        // Every kind of move saves; the refresh does too.
        f["parquirecep"].type(QStringLiteral("Zoé"));
        source.MoveLast();
        f["parquirecep"].type(QStringLiteral("Ève"));
        source.MovePrevious();
        f["parquirecep"].type(QStringLiteral("Noël"));
        source.MoveFirst();
        f["motif"].type(QStringLiteral("Écrit au rafraîchissement"));
        source.Refresh();
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-001", "parquirecep").value(), jet::Value::text("Zoé"));
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-008", "parquirecep").value(), jet::Value::text("Ève"));
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-007", "parquirecep").value(), jet::Value::text("Noël"));
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-001", "motif").value(),
                 jet::Value::text("Écrit au rafraîchissement"));
        QCOMPARE(source.RecordCount(), 8L);
    }

    void untouchedFieldsAreNotRewritten()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        moveToKey(source, f, QStringLiteral("A-2001-006"));
        f["materiel"].type(QStringLiteral("Souris à molette"));
        source.MovePrevious();
        // NULLs stay NULL, not empty strings.
        for (const char* c : {"client", "daterecp", "parquirecep", "dateretourclient", "intervention"})
            QVERIFY2(stored("velmor2001", "naccord", "A-2001-006", c).value().isNull(), c);
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-006", "materiel").value(),
                 jet::Value::text("Souris à molette"));

        // Emptied date: NULL; emptied text: the empty string.
        moveToKey(source, f, QStringLiteral("A-2001-007"));
        f["dateaccord"].type(QString());
        f["parquiinterv"].type(QString());
        source.MoveNext();
        QVERIFY(stored("velmor2001", "naccord", "A-2001-007", "dateaccord").value().isNull());
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-007", "parquiinterv").value(), jet::Value::text(""));
        // The time of day of another date is kept.
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-007", "daterecp").value(),
                 jet::Value::dateTime(2001, 4, 20));
    }

    void untouchedNewRowIsDropped()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.MoveNext();
        source.AddNew();
        QCOMPARE(source.state(), BaseR::State::Adding);
        QVERIFY(f.allEmpty());
        QVERIFY(source.hasPendingEdits());
        source.MoveNext();
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        QCOMPARE(source.RecordCount(), 8L);
        QCOMPARE(storedCount("velmor2001"), 8L);
        QVERIFY(!f.allEmpty());
        // Also when AddNew follows AddNew, and on a refresh.
        source.AddNew();
        source.AddNew();
        source.Refresh();
        QCOMPARE(source.RecordCount(), 8L);
        QCOMPARE(storedCount("velmor2001"), 8L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
    }

    void authorMakesTheNewRowStored()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        QLabel label;
        LabelField author(&label);
        source.unbind(&f["nomauteur"]);
        source.bind(QStringLiteral("nomauteur"), &author);
        openReturn(source);
        QCOMPARE(label.text(), QStringLiteral("Martine"));
        QVERIFY(!author.isModified());
        source.AddNew();
        QCOMPARE(label.text(), QString());
        label.setText(QStringLiteral("Zoé d'Aubigné")); // "Nouveau" writes the name from code
        QVERIFY(author.isModified());
        source.MoveLast();
        QCOMPARE(source.RecordCount(), 9L);
        QCOMPARE(storedCount("velmor2001"), 9L);
        // Only the author was set: the other columns stay NULL.
        auto db = openDirect(path_);
        auto rs = db->openRecordset("SELECT * FROM velmor2001 WHERE nomauteur='Zoé d''Aubigné'");
        QCOMPARE(rs->recordCount(), 1L);
        for (const char* c : returnColumns)
            if (QByteArray(c) != "nomauteur")
                QVERIFY2(rs->value(c).isNull(), c);
    }

    void addNewUpdateRecordLastModified()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.MoveNext();
        source.MoveNext(); // 003
        source.AddNew();
        f["naccord"].type(QStringLiteral("A-2001-009"));
        f["client"].type(QStringLiteral("Crédit \"Mutuel\""));
        f["dateaccord"].type(QStringLiteral("12/10/2001"));
        f["nomauteur"].setText(QStringLiteral("Zoé"));
        f["nomauteur"].setModified(true);
        source.UpdateRecord();
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        const jet::Bookmark added = source.LastModified();
        QVERIFY(added.valid());
        source.setBookmark(added);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-009"));
        QCOMPARE(f["client"].text(), QStringLiteral("Crédit \"Mutuel\""));
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("12/10/2001"));
        QCOMPARE(f["nomauteur"].text(), QStringLiteral("Zoé"));
        QCOMPARE(source.Bookmark(), added);
        QCOMPARE(source.RecordCount(), 9L);
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-009", "dateaccord").value(),
                 jet::Value::dateTime(2001, 10, 12));
        QVERIFY(stored("velmor2001", "naccord", "A-2001-009", "daterecp").value().isNull());

        // UpdateRecord with nothing changed: the same row stays current.
        source.MoveFirst();
        source.UpdateRecord();
        source.setBookmark(source.LastModified());
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        // An edit saved by UpdateRecord is named by LastModified too.
        source.MoveNext();
        f["motif"].type(QStringLiteral("Vérifié"));
        source.UpdateRecord();
        QCOMPARE(source.LastModified(), source.Bookmark());
        QCOMPARE(f["motif"].text(), QStringLiteral("Vérifié"));
        QVERIFY(!source.hasPendingEdits());

        // An empty new row is stored by UpdateRecord all the same.
        source.AddNew();
        source.UpdateRecord();
        QCOMPARE(storedCount("velmor2001"), 10L);
        source.setBookmark(source.LastModified());
        QVERIFY(f.allEmpty());
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
    }

    void deleteThenMovePrevious()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        moveToKey(source, f, QStringLiteral("A-2001-003"));
        f["client"].type(QStringLiteral("jamais écrit"));
        source.Delete();
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        QVERIFY(f.allEmpty());
        EXPECT_FAILS(NoCurrentRow, source.Delete());
        source.MovePrevious();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        QCOMPARE(source.RecordCount(), 7L);
        QCOMPARE(storedCount("velmor2001"), 7L);
        QVERIFY(!stored("velmor2001", "naccord", "A-2001-003", "client").has_value());
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-004"));

        // The first row: afterwards no row is current; the next move brings one.
        source.MoveFirst();
        source.Delete();
        source.MovePrevious();
        QVERIFY(source.BOF());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        QCOMPARE(storedCount("velmor2001"), 6L);

        // A pending new row is dropped, not stored.
        source.AddNew();
        f["client"].type(QStringLiteral("abandonné"));
        source.Delete();
        QCOMPARE(storedCount("velmor2001"), 6L);
        source.Refresh();
        QCOMPARE(source.RecordCount(), 6L);
    }

    void badInputRoundTrips()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        const QString fifty = QString(48, QChar(u'é')) + QStringLiteral("'\"");
        const QString memo = QString(20000, QChar(u'€')) + QStringLiteral("\r\nfin « ç »");
        source.AddNew();
        f["naccord"].type(QStringLiteral("A-2001-'\""));
        f["emetteur"].type(fifty);
        f["client"].type(QString());
        f["intervention"].type(memo);
        f["dateaccord"].type(QStringLiteral("  1/1/30  "));
        f["daterecp"].type(QString());
        source.UpdateRecord();
        source.setBookmark(source.LastModified());
        QCOMPARE(f["emetteur"].text(), fifty);
        QCOMPARE(f["client"].text(), QString());
        QCOMPARE(f["intervention"].text(), memo);
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("01/01/1930"));
        QCOMPARE(stored("velmor2001", "naccord", "A-2001-'\"", "client").value(), jet::Value::text(""));
        QVERIFY(stored("velmor2001", "naccord", "A-2001-'\"", "daterecp").value().isNull());
        QVERIFY(stored("velmor2001", "naccord", "A-2001-'\"", "motif").value().isNull());
    }

    void everyColumnQuotesAccentsEmptyAndNull()
    {
        REQUIRE_WRITES();
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        openReturn(source);
        source.AddNew();
        std::map<QString, QString> typed;
        for (const char* c : returnColumns) {
            const QString column = QString::fromLatin1(c);
            QString text;
            if (column.startsWith(QLatin1String("date")))
                text = QStringLiteral("29/2/2000");
            else
                text = QStringLiteral("« L'Été \"%1\" — 5 € »").arg(column);
            typed[column] = text;
            f[c].type(text);
        }
        source.UpdateRecord();
        source.setBookmark(source.LastModified());
        for (const char* c : returnColumns) {
            const QString column = QString::fromLatin1(c);
            const QString expected = column.startsWith(QLatin1String("date")) ? QStringLiteral("29/02/2000")
                                                                              : typed[column];
            QCOMPARE(f[c].text(), expected);
        }
        // Every field emptied: empty strings in text columns, NULL in dates.
        const std::string key = typed[QStringLiteral("naccord")].toStdString();
        for (const char* c : returnColumns)
            if (QByteArray(c) != "naccord")
                f[c].type(QString());
        source.MovePrevious();
        for (const char* c : returnColumns) {
            if (QByteArray(c) == "naccord")
                continue;
            const jet::Value v = stored("velmor2001", "naccord", key, c).value();
            if (QByteArray(c).startsWith("date"))
                QVERIFY2(v.isNull(), c);
            else
                QVERIFY2(v == jet::Value::text(""), c);
        }
        QCOMPARE(storedCount("velmor2001"), 9L);
    }

    void createdDatabase()
    {
        if (memory_)
            QSKIP("base créée par le moteur uniquement");
        const QString created = dir_->filePath(QStringLiteral("créée.mdb"));
        try {
            auto db = jet::Database::create(QFile::encodeName(created).toStdString());
            std::vector<jet::ColumnSpec> columns;
            for (const char* c : returnColumns) {
                jet::ColumnSpec col;
                col.name = c;
                const QByteArray name(c);
                if (name.startsWith("date"))
                    col.type = jet::ColumnType::DateTime;
                else if (name == "intervention")
                    col.type = jet::ColumnType::Memo;
                else
                    col.maxChars = name == "motif" ? 255 : 50;
                columns.push_back(col);
            }
            db->createTable("velmor2001", columns);
        } catch (const jet::Error& e) {
            if (e.code() == jet::Code::Unsupported)
                QSKIP("création de base pas encore disponible dans le moteur");
            throw;
        }
        path_ = created;
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        source.setDatabaseName(created);
        QVERIFY(!source.openOnLoad());
        QCOMPARE(source.state(), BaseR::State::NoCurrentRow);
        EXPECT_FAILS(NoCurrentRow, source.MoveNext());
        if (!canWrite())
            QSKIP("écriture pas encore disponible dans le moteur");
        source.AddNew();
        f["naccord"].type(QStringLiteral("A-1"));
        f["dateaccord"].type(QStringLiteral("12/10/2001"));
        source.MoveFirst();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-1"));
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("12/10/2001"));
        source.MoveNext();
        QVERIFY(source.EOF_());
    }

    void otherFixtureFiles()
    {
        if (memory_)
            QSKIP("fichiers du moteur uniquement");
        for (const QString& name : {QStringLiteral("velmor2001.accdb"), QStringLiteral("velmor2001-indexed.mdb")}) {
            const QString copy = copyFixture(name);
            QVERIFY(!copy.isEmpty());
            BaseR source(RecordSourceDesign::loanSheet());
            TestField key, agreement;
            source.bind(QStringLiteral("naccordp"), &key);
            source.bind(QStringLiteral("dateaccordp"), &agreement);
            source.setDatabaseName(copy);
            QVERIFY(!source.openOnLoad());
            QCOMPARE(source.RecordCount(), 8L);
            source.MoveLast();
            source.MovePrevious();
            QCOMPARE(key.text(), QStringLiteral("P-2001-007"));
            QCOMPARE(agreement.text(), QStringLiteral("18/04/2001 10:15:00"));
        }
    }

    // A field bound to an autonumber column takes no typing into the file:
    // the save is refused with a message naming the field, the text typed
    // stays to be corrected, and the file is left as it was.
    void autonumberFieldIsNeverWritten()
    {
        if (memory_)
            QSKIP("fichiers du moteur uniquement");
        const QString copy = copyFixture(QStringLiteral("velmor2001-indexed.mdb"));
        QVERIFY(!copy.isEmpty());
        auto bytes = [&] {
            QFile file(copy);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        {
            BaseR source(RecordSourceDesign::loanSheet());
            TestField id, key;
            source.bind(QStringLiteral("id"), &id);
            source.bind(QStringLiteral("naccordp"), &key);
            source.setDatabaseName(copy);
            QVERIFY(!source.openOnLoad());
            QCOMPARE(id.text(), QStringLiteral("1"));
            id.type(QStringLiteral("5"));
            QString message;
            QCOMPARE(codeOf([&] { source.UpdateRecord(); }, &message), RecordSourceError::Code::BadValue);
            QVERIFY2(message.contains(QStringLiteral("numéroté automatiquement")), qPrintable(message));
            QCOMPARE(codeOf([&] { source.MoveNext(); }), RecordSourceError::Code::BadValue);
            QCOMPARE(id.text(), QStringLiteral("5"));
            QCOMPARE(key.text(), QStringLiteral("P-2001-001"));
        }
        QCOMPARE(bytes(), before);
    }

    void bigFile()
    {
        if (memory_)
            QSKIP("fichier du moteur uniquement");
        const QString big = QDir(fixtures).filePath(QStringLiteral("velmor2001-big.mdb"));
        if (!QFileInfo::exists(big))
            QSKIP("fixture velmor2001-big.mdb absente");
        BaseR source(RecordSourceDesign::returnSheet());
        ReturnFields f(source);
        source.setDatabaseName(big); // read only here: nothing is typed
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!source.openOnLoad());
        const qint64 opening = timer.elapsed();
        QCOMPARE(source.RecordCount(), 100000L);
        timer.restart();
        source.MoveLast();
        source.MoveFirst();
        for (int i = 0; i < 1000; ++i)
            source.MoveNext();
        const qint64 moving = timer.elapsed();
        source.setRecordSource(QStringLiteral("SELECT * FROM velmor2001 WHERE client='Café de l''André'"));
        timer.restart();
        source.Refresh();
        const qint64 search = timer.elapsed();
        qInfo("100 000 fiches : ouverture %lld ms, 1 002 déplacements %lld ms, recherche d'un client %lld ms "
              "(%ld fiches)",
              opening, moving, search, source.RecordCount());
    }

    void boundWidgets()
    {
        // The adapters the sheets use, on real widgets.
        BaseR source(RecordSourceDesign::returnSheet());
        QLineEdit clientBox, dateBox;
        QLabel authorLabel;
        LineEditField client(&clientBox), date(&dateBox);
        LabelField author(&authorLabel);
        source.bind(QStringLiteral("client"), &client);
        source.bind(QStringLiteral("dateaccord"), &date);
        source.bind(QStringLiteral("nomauteur"), &author);
        openReturn(source);
        QCOMPARE(clientBox.text(), QStringLiteral("L'Oréal"));
        QCOMPARE(dateBox.text(), QStringLiteral("15/01/2001"));
        QVERIFY(!client.isModified() && !date.isModified() && !author.isModified());
        QTest::keyClicks(&clientBox, QStringLiteral("x"));
        QVERIFY(client.isModified());
        clientBox.setText(QStringLiteral("L'Oréal")); // set from code: not a typed change
        QVERIFY(!client.isModified());
        author.setText(QStringLiteral("Martine"));
        QVERIFY(!author.isModified());
        author.setModified(true);
        QVERIFY(author.isModified());
        source.savePending();
        QVERIFY(!source.hasPendingEdits());
        {
            QLineEdit* gone = new QLineEdit;
            LineEditField weak(gone);
            delete gone;
            QCOMPARE(weak.text(), QString());
            QVERIFY(!weak.isModified());
            weak.setText(QStringLiteral("x"));
        }
        source.unbind(&client);
        source.unbind(&date);
        source.unbind(&author);
        source.MoveNext();
        QCOMPARE(clientBox.text(), QStringLiteral("L'Oréal"));
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RecordSourceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "record_source_test.moc"
