// The record source BaseR: design values, opening, moves and ends of the row
// set, saving on leaving a row, new rows, UpdateRecord / LastModified /
// Bookmark, Delete, refresh with another row source, conversions and bad
// input.
// Every test works on a copy of the shared fixture file, and runs twice: on
// the file through the Jet engine, then on a scratch PostgreSQL cluster to
// which the copy was migrated, with the record source given the server's
// address instead of the file's path. What only a file has (read-only files,
// journals, other file formats) is tested on the file alone.
#include "sheets/bound_field.h"
#include "sheets/pretmat.h"
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets_support.h"

#include "file/journal.h"
#include "server/migration.h"

#include "jet/database.h"
#include "jet/status.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "testkit/fixtures.h"
#include "testkit/scratch_server.h"

#include <map>

using namespace velmor;
using sheetstest::TypedField;

namespace {

const QLocale french(QLocale::French, QLocale::France);
const QLocale american(QLocale::English, QLocale::UnitedStates);

const char* const returnColumns[] = {"emetteur", "naccord",          "dateaccord",   "client",
                                     "materiel", "motif",            "daterecp",     "parquirecep",
                                     "dateretourclient", "intervention", "parquiinterv", "nomauteur"};

// The return table's twelve columns, bound to test fields.
struct ReturnFields {
    std::map<QString, TypedField> fields;
    explicit ReturnFields(BaseR& source)
    {
        for (const char* c : returnColumns)
            source.bind(QString::fromLatin1(c), &fields[QString::fromLatin1(c)]);
    }
    TypedField& operator[](const char* column) { return fields.at(QString::fromLatin1(column)); }
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

#define FILE_ENGINE_ONLY()                                                                               \
    do {                                                                                                 \
        if (cluster_)                                                                                    \
            QSKIP("a file's own behaviour: tested on the file engine");                                \
    } while (0)

class RecordSourceTest : public QObject {
    Q_OBJECT

public:
    // Without a cluster, the tests run on files; with one, on its server.
    explicit RecordSourceTest(ScratchServer* cluster = nullptr) : cluster_(cluster) {}

private:
    ScratchServer* cluster_;
    int databases_ = 0;
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_; // the database of the test: a file's path or a server's address

    // A copy of a fixture file in the test's folder.
    QString copyFixture(const QString& name) { return sheetstest::copyFixture(name, dir_->path()); }

    // The stored text of `column` in the return row `key` ("<NULL>" for
    // NULL), read straight from the database.
    std::string stored(const char* key, const char* column)
    {
        for (const sheetstest::StoredRow& row : sheetstest::readTable(path_, "velmor2001"))
            if (row.at("naccord") == key)
                return row.at(column).value_or("<NULL>");
        return "<no row>";
    }

    long storedCount() { return long(sheetstest::readTable(path_, "velmor2001").size()); }

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
    void initTestCase()
    {
        if (!cluster_)
            return;
        SHEETS_START_CLUSTER(cluster_);
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        // The fixture's rows, copied once; each test gets a copy of that database.
        const QString address = cluster_->createDatabase(QStringLiteral("modele"));
        QVERIFY2(!address.isEmpty(), qPrintable(cluster_->error()));
        auto file = jet::Database::open(velmor::fixtures::path("velmor2001.mdb"), jet::OpenMode::ReadOnly);
        server::migrateToServer(*file, *server::ServerDatabase::connect(*server::parseServerAddress(address)), {});
    }

    void init()
    {
        QLocale::setDefault(french);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
        path_ = copyFixture(QStringLiteral("velmor2001.mdb"));
        QVERIFY(!path_.isEmpty());
        if (cluster_) {
            path_ = cluster_->createDatabase(QStringLiteral("base%1").arg(++databases_), QStringLiteral("modele"));
            QVERIFY2(!path_.isEmpty(), qPrintable(cluster_->error()));
        }
    }

    void cleanup()
    {
        dir_.reset();
        QLocale::setDefault(french);
    }

    void closedWithoutPath()
    {
        BaseR source(returnSheetDesign().source);
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
        BaseR source(returnSheetDesign().source);
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

    void monthFirstLocale()
    {
        QLocale::setDefault(american);
        BaseR source(returnSheetDesign().source);
        ReturnFields f(source);
        openReturn(source);
        QCOMPARE(f["dateaccord"].text(), QStringLiteral("1/15/2001"));
        source.MoveLast();
        QCOMPARE(f["daterecp"].text(), QStringLiteral("1/3/2002"));
        // Typed month first, converted without touching the file.
        f["dateretourclient"].type(QStringLiteral("31/12/2001"));
        EXPECT_FAILS(BadValue, source.MoveFirst());
        QCOMPARE(f["dateretourclient"].text(), QStringLiteral("31/12/2001"));
        f["dateretourclient"].type(QStringLiteral("12/30/01"));
        source.MoveFirst();
        QCOMPARE(stored("A-2001-008", "dateretourclient"), std::string("2001-12-30 00:00:00"));
    }

    void rejectedSourcesLeaveItUsable()
    {
        BaseR source(returnSheetDesign().source);
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
        BaseR source(returnSheetDesign().source);
        ReturnFields f(source);
        if (cluster_)
            badServers(source);
        else
            badFiles(source);

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

private:
    // A server that does not answer, an address without its database, a
    // server without the table.
    void badServers(BaseR& source)
    {
        QString message;
        for (const QString& bad : {QStringLiteral("postgresql://velmor@127.0.0.1:1/base1"),
                                   QStringLiteral("postgresql://velmor@127.0.0.1:%1").arg(cluster_->port())}) {
            source.setDatabaseName(bad);
            auto failure = source.openOnLoad();
            QVERIFY(failure);
            QCOMPARE(failure->code(), RecordSourceError::Code::NoDatabase);
            QVERIFY(!failure->message().isEmpty());
            QCOMPARE(source.state(), BaseR::State::Closed);
        }
        source.setDatabaseName(path_);
        source.setRecordSource(QStringLiteral("autre"));
        QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::BadSource);
        QVERIFY2(message.contains(QStringLiteral("autre")), qPrintable(message));
        source.setRecordSource(QStringLiteral("velmor2001"));
        QCOMPARE(source.state(), BaseR::State::Closed);
    }

    void badFiles(BaseR& source)
    {
        QString message;
        const QString missing = dir_->filePath(QStringLiteral("absente.mdb"));
        source.setDatabaseName(missing);
        auto failure = source.openOnLoad();
        QVERIFY(failure);
        QCOMPARE(failure->code(), RecordSourceError::Code::NoDatabase);
        // The reason alone: the message that shows it names the file.
        QCOMPARE(failure->message(), QStringLiteral("ce fichier est introuvable (déplacé, renommé ou supprimé)"));
        QCOMPARE(source.state(), BaseR::State::Closed);

        // Not a database: the same code, a reason of its own (the other
        // kinds of file: file_messages_test).
        QFile text(missing);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Ceci n'est pas une base de données.\n");
        text.close();
        QCOMPARE(codeOf([&] { source.Refresh(); }, &message), RecordSourceError::Code::NoDatabase);
        QCOMPARE(message, QStringLiteral("ce fichier n'est pas une base Access"));
        // An Access file of another application: no such table.
        const QString other = copyFixture(QStringLiteral("velmor2001-empty.mdb"));
        source.setDatabaseName(other);
        source.setRecordSource(QStringLiteral("autre"));
        EXPECT_FAILS(BadSource, source.Refresh());
        source.setRecordSource(QStringLiteral("velmor2001"));
        QCOMPARE(source.state(), BaseR::State::Closed);
    }

private slots:

    void conversionFailuresKeepTheText()
    {
        BaseR source(returnSheetDesign().source);
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
        FILE_ENGINE_ONLY();
        // A file opened read-only refuses the write.
        BaseR::setDatabaseOpener([](const QString& path) {
            return jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
        });
        struct RestoreOpener {
            ~RestoreOpener() { BaseR::setDatabaseOpener({}); }
        } restore;
        BaseR source(returnSheetDesign().source);
        ReturnFields f(source);
        openReturn(source);
        f["client"].type(QStringLiteral("Nouveau client"));
        QString message;
        const auto code = codeOf([&] { source.MoveNext(); }, &message);
        QCOMPARE(code, RecordSourceError::Code::ReadOnly);
        QVERIFY(!message.isEmpty());
        QCOMPARE(f["client"].text(), QStringLiteral("Nouveau client"));
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        const auto addCode = codeOf([&] { source.AddNew(); });
        QCOMPARE(addCode, RecordSourceError::Code::ReadOnly);
        EXPECT_FAILS(NoCurrentRow, source.LastModified());
        // The typed text is dropped by showing the row again: refresh from a
        // fresh record source.
        BaseR other(returnSheetDesign().source);
        ReturnFields g(other);
        other.setDatabaseName(path_);
        QVERIFY(!other.openOnLoad());
        QCOMPARE(g["client"].text(), QStringLiteral("L'Oréal"));
        other.MoveNext();
        QCOMPARE(g["naccord"].text(), QStringLiteral("A-2001-002"));
    }

    void leavingSavesEdits()
    {
        BaseR source(returnSheetDesign().source);
        ReturnFields f(source);
        openReturn(source);
        f["client"].type(QStringLiteral("L'Oréal « Paris »"));
        f["dateretourclient"].type(QStringLiteral("26-1-01"));
        QVERIFY(source.hasPendingEdits());
        source.MoveNext();
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-002"));
        QVERIFY(!source.hasPendingEdits());
        QCOMPARE(stored("A-2001-001", "client"), std::string("L'Oréal « Paris »"));
        QCOMPARE(stored("A-2001-001", "dateretourclient"), std::string("2001-01-26 00:00:00"));
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
        QCOMPARE(stored("A-2001-001", "parquirecep"), std::string("Zoé"));
        QCOMPARE(stored("A-2001-008", "parquirecep"), std::string("Ève"));
        QCOMPARE(stored("A-2001-007", "parquirecep"), std::string("Noël"));
        QCOMPARE(stored("A-2001-001", "motif"), std::string("Écrit au rafraîchissement"));
        QCOMPARE(source.RecordCount(), 8L);
    }

    void untouchedFieldsAreNotRewritten()
    {
        BaseR source(returnSheetDesign().source);
        ReturnFields f(source);
        openReturn(source);
        moveToKey(source, f, QStringLiteral("A-2001-006"));
        f["materiel"].type(QStringLiteral("Souris à molette"));
        source.MovePrevious();
        // NULLs stay NULL, not empty strings.
        for (const char* c : {"client", "daterecp", "parquirecep", "dateretourclient", "intervention"})
            QVERIFY2(stored("A-2001-006", c) == "<NULL>", c);
        QCOMPARE(stored("A-2001-006", "materiel"), std::string("Souris à molette"));

        // Emptied date: NULL; emptied text: the empty string.
        moveToKey(source, f, QStringLiteral("A-2001-007"));
        f["dateaccord"].type(QString());
        f["parquiinterv"].type(QString());
        source.MoveNext();
        QVERIFY(stored("A-2001-007", "dateaccord") == "<NULL>");
        QCOMPARE(stored("A-2001-007", "parquiinterv"), std::string(""));
        // The time of day of another date is kept.
        QCOMPARE(stored("A-2001-007", "daterecp"), std::string("2001-04-20 00:00:00"));
    }

    void untouchedNewRowIsDropped()
    {
        BaseR source(returnSheetDesign().source);
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
        QCOMPARE(storedCount(), 8L);
        QVERIFY(!f.allEmpty());
        // Also when AddNew follows AddNew, and on a refresh.
        source.AddNew();
        source.AddNew();
        source.Refresh();
        QCOMPARE(source.RecordCount(), 8L);
        QCOMPARE(storedCount(), 8L);
        QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
    }

    void everyColumnQuotesAndAccents()
    {
        BaseR source(returnSheetDesign().source);
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
        QCOMPARE(storedCount(), 9L);
    }

    void otherFixtureFiles()
    {
        FILE_ENGINE_ONLY();
        for (const QString& name : {QStringLiteral("velmor2001.accdb"), QStringLiteral("velmor2001-indexed.mdb")}) {
            const QString copy = copyFixture(name);
            QVERIFY(!copy.isEmpty());
            BaseR source(loanSheetDesign().source);
            TypedField key, agreement;
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

    // A journal beside the file that a writer left for another file (the
    // file was replaced since, by a backup for instance): the record source
    // opens the file read-only and says why, and neither file changes.
    void orphanedJournalOpensReadOnly()
    {
        FILE_ENGINE_ONLY();
        const std::string file = QFile::encodeName(path_).toStdString();
        const uint64_t size = uint64_t(QFileInfo(path_).size());
        const std::vector<uint8_t> original(4096, 0x11), written(4096, 0x22); // neither is on page 1
        jet::writer::writeJournal(file, 4096, size, size, {{1, original.data(), written.data()}});
        const QString journal = path_ + QStringLiteral("-journal");
        const QByteArray fileBefore = sheetstest::fileBytes(path_), journalBefore = sheetstest::fileBytes(journal);
        QVERIFY(!journalBefore.isEmpty());
        {
            BaseR source(returnSheetDesign().source);
            ReturnFields f(source);
            openReturn(source);
            QVERIFY2(source.readOnlyReason().contains(QStringLiteral("journal orphelin")),
                     qPrintable(source.readOnlyReason()));
            QCOMPARE(f["naccord"].text(), QStringLiteral("A-2001-001"));
            EXPECT_FAILS(ReadOnly, source.AddNew());
        }
        QCOMPARE(sheetstest::fileBytes(path_), fileBefore);
        QCOMPARE(sheetstest::fileBytes(journal), journalBefore);
    }

    // A field bound to an autonumber column takes no typing into the file:
    // the save is refused with a message naming the field, the text typed
    // stays to be corrected, and the file is left as it was.
    void autonumberFieldIsNeverWritten()
    {
        FILE_ENGINE_ONLY();
        const QString copy = copyFixture(QStringLiteral("velmor2001-indexed.mdb"));
        QVERIFY(!copy.isEmpty());
        const QByteArray before = sheetstest::fileBytes(copy);
        {
            BaseR source(loanSheetDesign().source);
            TypedField id, key;
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
        QCOMPARE(sheetstest::fileBytes(copy), before);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return sheetstest::runOnFileAndServer<RecordSourceTest>(argc, argv);
}

#include "record_source_test.moc"
