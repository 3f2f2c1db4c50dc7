// "Se connecter à un serveur…" on a scratch PostgreSQL cluster: a connection
// that fails says why and brings the box back with what was typed, and
// "Annuler" then changes nothing; the server chosen is stored without its
// password, is the database the sheets open from then on, and fills the box
// the next time. No keyring answers here (no session bus, as on a headless
// machine): a password the user asked to remember is kept for the run only,
// and the user is told so. A user whose password the server checks is asked
// for it until it is right, both in the box and when a sheet opens.
#include "sheets/record_source.h"
#include "sheets/retour.h"
#include "sheets/server_choice.h"
#include "sheets_support.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "testkit/scratch_server.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace velmor;

Q_DECLARE_METATYPE(velmor::ServerLogin)

class ServerChoiceTest : public QObject {
    Q_OBJECT
    ScratchServer cluster_;
    QString address_;

    ServerLogin login(const QString& host, int port, const QString& database, const QString& user)
    {
        return ServerLogin{host, port, database, user, QStringLiteral("mot-secret"), true};
    }

private slots:
    void initTestCase()
    {
        VELMOR_SKIP_WITHOUT_POSTGRESQL(cluster_);
        QVERIFY2(cluster_.start(), qPrintable(cluster_.error()));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("velmor.mdb"));
        sheetstest::createDatabase(file, {{{"naccord", sheetstest::text("A-1")}}}, {});
        address_ = sheetstest::copyToServer(cluster_, file, QStringLiteral("velmor"));
        QVERIFY2(!address_.isEmpty(), qPrintable(cluster_.error()));
        QVERIFY2(cluster_.createPasswordUser(QStringLiteral("guichet"), QStringLiteral("mot-secret")),
                 qPrintable(cluster_.error()));
    }

    void failureSaysWhy_data()
    {
        QTest::addColumn<ServerLogin>("typed");
        QTest::addColumn<QString>("reason");
        const int port = cluster_.port();
        QTest::newRow("serveur arrêté") << login("127.0.0.1", 1, "velmor", "velmor") << "est injoignable";
        QTest::newRow("nom inconnu") << login("poste.invalid", port, "velmor", "velmor") << "est injoignable";
        QTest::newRow("base absente") << login("127.0.0.1", port, "absente", "velmor")
                                      << "La base « absente » n'existe pas sur le serveur 127.0.0.1:";
        QTest::newRow("utilisateur inconnu") << login("127.0.0.1", port, "velmor", "personne")
                                             << "L'utilisateur « personne » n'existe pas";
    }
    void failureSaysWhy()
    {
        QFETCH(ServerLogin, typed);
        QFETCH(QString, reason);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        dialogs.queueServerLogin(typed);
        dialogs.queueServerLogin(std::nullopt); // then "Annuler"
        QVERIFY(!chooseServer(nullptr));
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY2(dialogs.messages().at(0).contains(reason), qPrintable(dialogs.messages().at(0)));
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::ServerLogin);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1).login.host, typed.host);
        QCOMPARE(boxes.at(1).login.database, typed.database);
        QCOMPARE(paths::databaseInUse(), paths::defaultDatabase());
    }

    void chosenServerIsUsedAndItsPasswordNeverStored()
    {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        dialogs.queueServerLogin(login(cluster_.host(), cluster_.port(), "velmor", cluster_.user()));
        QVERIFY(chooseServer(nullptr));
        QCOMPARE(paths::databaseInUse(), address_);
        const QStringList told = dialogs.messages();
        QCOMPARE(told.size(), 2);
        QVERIFY2(told.at(0).contains(QStringLiteral("n'a pas été mémorisé")), qPrintable(told.at(0)));
        QVERIFY2(told.at(1).startsWith(QStringLiteral("Connexion réussie")), qPrintable(told.at(1)));
        QVERIFY(!sandbox.readRaw(QStringLiteral("option")).contains("mot-secret"));
        QCOMPARE(settings::read("option", "option", "memomotdepasse"), QStringLiteral("0"));

        BaseR source(returnSheetDesign().source);
        source.setDatabaseName(paths::databaseInUse());
        QVERIFY(!source.openOnLoad());
        QCOMPARE(source.RecordCount(), 1L);

        dialogs.queueServerLogin(std::nullopt);
        QVERIFY(!chooseServer(nullptr));
        const ServerLogin shown = dialogs.calls(ScriptedDialogs::Kind::ServerLogin).at(1).login;
        QCOMPARE(QStringList({shown.host, QString::number(shown.port), shown.database, shown.user, shown.password}),
                 QStringList({cluster_.host(), QString::number(cluster_.port()), "velmor", cluster_.user(), ""}));
        QCOMPARE(paths::databaseInUse(), address_);
    }

    void passwordIsAskedUntilRight()
    {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        ServerLogin wrong = login(cluster_.host(), cluster_.port(), "velmor", "guichet");
        wrong.password = QStringLiteral("Mot-secret");
        dialogs.queueServerLogin(wrong);
        dialogs.queueServerLogin(login(cluster_.host(), cluster_.port(), "velmor", "guichet"));
        QVERIFY(chooseServer(nullptr));
        QVERIFY2(dialogs.messages().at(0).contains(QStringLiteral("refuse le mot de passe de l'utilisateur « guichet »")),
                 qPrintable(dialogs.messages().at(0)));
        const QString address = paths::databaseInUse();
        QVERIFY(!address.contains(QStringLiteral("mot-secret")));

        // A new run: the password is asked when the first sheet opens, and
        // only then.
        usePasswordThisRun(address, QString());
        dialogs.queueInput(QStringLiteral("faux"));
        dialogs.queueInput(QStringLiteral("mot-secret"));
        BaseR first(returnSheetDesign().source), second(returnSheetDesign().source);
        first.setDatabaseName(address);
        second.setDatabaseName(address);
        QVERIFY(!first.openOnLoad());
        QVERIFY(!second.openOnLoad());
        QCOMPARE(second.RecordCount(), 1L);
        const auto asked = dialogs.calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(asked.size(), 2);
        QVERIFY2(asked[0].text.startsWith(QStringLiteral("Le serveur 127.0.0.1:%1 demande le mot de passe de "
                                                         "l'utilisateur « guichet »").arg(cluster_.port())),
                 qPrintable(asked[0].text));
        QVERIFY2(asked[1].text.contains(QStringLiteral("refuse le mot de passe")), qPrintable(asked[1].text));

        usePasswordThisRun(address, QString());
        dialogs.queueInput(std::nullopt);
        BaseR refused(returnSheetDesign().source);
        refused.setDatabaseName(address);
        const auto failure = refused.openOnLoad();
        QVERIFY(failure);
        QVERIFY2(failure->message().contains(QStringLiteral("demande un mot de passe, qui n'a pas été donné")),
                 qPrintable(failure->message()));
        QCOMPARE(refused.state(), BaseR::State::Closed);
    }
};

int main(int argc, char** argv)
{
    qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // no keyring
    qunsetenv("DISPLAY");
    QApplication app(argc, argv);
    ServerChoiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "server_choice_test.moc"
