// "Ouvrir une Base": the filter list, the third entry selected, Cancel
// saving nothing, the picked path saved as `cheminbase` (and used rather
// than a server chosen before), and the dialog
// starting from the file picked last, else from the database in use or the
// home folder.
#include "shell/common_dialog.h"
#include "shell/file_filter.h"
#include "shell/main_window.h"
#include "shell/paths.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;

namespace {

QString storedBase() {
    return settings::read(QStringLiteral("option"), QStringLiteral("option"),
                          QStringLiteral("cheminbase"), QStringLiteral("<aucune>"));
}

} // namespace

class OpenDatabaseTest : public QObject {
    Q_OBJECT
private slots:
    void filterConversion_data() {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("database") << databaseFileFilter()
                                  << QStringList{
                                         QStringLiteral("Tous les fichiers (*.*)"),
                                         QStringLiteral("fichiers Access(*.mdb)"),
                                         QStringLiteral("Base Velmor v2.00(velmor2001.mdb)")};
        QTest::newRow("images")
            << QStringLiteral("Tous les fichiers (*.*)|*.*|Fichiers jpg(*.jpg)|*.jpg|Fichiers "
                              "Bitmap (*.bmp)|*.bmp")
            << QStringList{QStringLiteral("Tous les fichiers (*.*)"),
                           QStringLiteral("Fichiers jpg(*.jpg)"),
                           QStringLiteral("Fichiers Bitmap (*.bmp)")};
        QTest::newRow("description without patterns")
            << QStringLiteral("Bases Access|*.mdb|Tout|*")
            << QStringList{QStringLiteral("Bases Access (*.mdb)"), QStringLiteral("Tout (*)")};
        QTest::newRow("several patterns")
            << QStringLiteral("Images|*.jpg;*.jpeg;*.bmp")
            << QStringList{QStringLiteral("Images (*.jpg *.jpeg *.bmp)")};
        QTest::newRow("several patterns already shown")
            << QStringLiteral("Images (*.jpg *.jpeg)|*.jpg;*.jpeg")
            << QStringList{QStringLiteral("Images (*.jpg *.jpeg)")};
        QTest::newRow("parentheses that are not the patterns")
            << QStringLiteral("Sauvegardes (anciennes)|*.bak")
            << QStringList{QStringLiteral("Sauvegardes (anciennes) (*.bak)")};
        QTest::newRow("missing last pattern")
            << QStringLiteral("Tout|*|Reste")
            << QStringList{QStringLiteral("Tout (*)"), QStringLiteral("Reste (*)")};
        QTest::newRow("empty") << QString() << QStringList();
    }

    void filterConversion() {
        QFETCH(QString, pipe);
        QFETCH(QStringList, entries);
        QCOMPARE(qtFilterEntries(pipe), entries);
        QCOMPARE(toQtFilter(pipe), entries.join(QStringLiteral(";;")));
    }

    void patternsOfAnEntry() {
        QCOMPARE(qtFilterPatterns(QStringLiteral("fichiers Access(*.mdb)")),
                 QStringList{QStringLiteral("*.mdb")});
        QCOMPARE(qtFilterPatterns(QStringLiteral("Tous les fichiers (*.*)")),
                 QStringList{QStringLiteral("*.*")});
        QCOMPARE(qtFilterPatterns(QStringLiteral("Images (*.jpg *.png)")),
                 (QStringList{QStringLiteral("*.jpg"), QStringLiteral("*.png")}));
    }

    void filterEntryByIndex() {
        const QString pipe = databaseFileFilter();
        QCOMPARE(qtFilterEntry(pipe, 3), QStringLiteral("Base Velmor v2.00(velmor2001.mdb)"));
        QCOMPARE(qtFilterEntry(pipe, 1), QStringLiteral("Tous les fichiers (*.*)"));
        QCOMPARE(qtFilterEntry(pipe, 0), QStringLiteral("Tous les fichiers (*.*)"));
        QCOMPARE(qtFilterEntry(pipe, 9), QStringLiteral("Tous les fichiers (*.*)"));
        QCOMPARE(qtFilterEntry(QString(), 1), QString());
    }

    void pickedPathIsSaved() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        MainWindow window;
        const QString picked = QStringLiteral("/home/jean/Bases d'été/velmor2001.mdb");
        dialogs.queueOpenFile(picked);
        window.ouvrir->trigger();

        QCOMPARE(dialogs.calls().size(), 1);
        const ScriptedDialogs::Call call = dialogs.calls().first();
        QCOMPARE(call.kind, ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(call.parent, &window);
        QCOMPARE(call.filter, QStringLiteral("Tous les fichiers (*.*);;fichiers Access(*.mdb);;"
                                             "Base Velmor v2.00(velmor2001.mdb)"));
        QCOMPARE(call.selectedFilter, QStringLiteral("Base Velmor v2.00(velmor2001.mdb)"));
        QCOMPARE(storedBase(), picked);
        QCOMPARE(window.CommonDialog1.fileName(), picked);
        QCOMPARE(window.CommonDialog1.filterIndex(), 3);
        QVERIFY(window.CommonDialog1.cancelError());
    }

    void anyFileIsAccepted() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        MainWindow window;
        const QString server = QStringLiteral("postgresql://velmor@poste:5432/velmor");
        settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("serveur"), server);
        QCOMPARE(paths::databaseInUse(), server);
        dialogs.queueOpenFile(QStringLiteral("/etc/hostname"));
        window.ouvrir->trigger();
        QCOMPARE(storedBase(), QStringLiteral("/etc/hostname"));
        QCOMPARE(paths::databaseInUse(), QStringLiteral("/etc/hostname")); // a file chosen: the server no more
        dialogs.queueOpenFile(QStringLiteral("/n'existe/pas.txt"));
        window.ouvrir->trigger();
        QCOMPARE(storedBase(), QStringLiteral("/n'existe/pas.txt"));
        QCOMPARE(dialogs.messages(), QStringList());
    }

    // Cancel stores nothing (no file is even created) and keeps the path
    // picked earlier; the dialog starts from the file picked last.
    void dialogStartsFromTheFilePickedLast() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        MainWindow window;
        dialogs.queueOpenFile(std::nullopt);
        window.ouvrir->trigger();
        QCOMPARE(storedBase(), QStringLiteral("<aucune>"));
        QVERIFY(!QFileInfo::exists(sandbox.configHome() + QStringLiteral("/velmor/option.ini")));
        dialogs.queueOpenFile(QStringLiteral("/srv/a/velmor2001.mdb"));
        dialogs.queueOpenFile(std::nullopt);
        window.ouvrir->trigger();
        window.ouvrir->trigger();
        QCOMPARE(storedBase(), QStringLiteral("/srv/a/velmor2001.mdb"));
        dialogs.queueOpenFile(QStringLiteral("/srv/b/autre.mdb"));
        dialogs.queueOpenFile(std::nullopt);
        window.ouvrir->trigger();
        window.ouvrir->trigger();
        const QList<ScriptedDialogs::Call> calls = dialogs.calls();
        QCOMPARE(calls.size(), 5);
        const QString home = QDir::homePath() + QLatin1Char('/');
        QCOMPARE(calls.at(0).startPath, home); // no database yet: the home folder
        QCOMPARE(calls.at(1).startPath, home);
        QCOMPARE(calls.at(2).startPath, QStringLiteral("/srv/a/velmor2001.mdb"));
        QCOMPARE(calls.at(3).startPath, QStringLiteral("/srv/a/velmor2001.mdb"));
        QCOMPARE(calls.at(4).startPath, QStringLiteral("/srv/b/autre.mdb"));
        for (const ScriptedDialogs::Call& call : calls)
            QCOMPARE(call.selectedFilter, QStringLiteral("Base Velmor v2.00(velmor2001.mdb)"));
        QCOMPARE(storedBase(), QStringLiteral("/srv/b/autre.mdb"));

        // A new main window (a new run) starts from the database in use, in
        // its folder, when that folder is there, else from the home folder.
        MainWindow next;
        dialogs.queueOpenFile(std::nullopt);
        next.ouvrir->trigger();
        QCOMPARE(dialogs.calls().last().startPath, home); // /srv/b is not there
        QCOMPARE(storedBase(), QStringLiteral("/srv/b/autre.mdb"));
        QTemporaryDir folder;
        const QString inUse = QDir(folder.path()).filePath(QStringLiteral("velmor2001.mdb"));
        settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("cheminbase"), inUse);
        MainWindow third;
        dialogs.queueOpenFile(std::nullopt);
        third.ouvrir->trigger();
        QCOMPARE(dialogs.calls().last().startPath, inUse);
    }

    void commonDialogWithoutCancelError() {
        ScriptedDialogs dialogs;
        CommonDialog dialog;
        dialog.setFilter(QStringLiteral("Tout|*"));
        dialog.setFileName(QStringLiteral("/x/y.mdb"));
        dialogs.queueOpenFile(std::nullopt);
        QCOMPARE(dialog.showOpen(nullptr), std::optional<QString>(QStringLiteral("/x/y.mdb")));
        dialog.setCancelError(true);
        dialogs.queueOpenFile(std::nullopt);
        QCOMPARE(dialog.showOpen(nullptr), std::optional<QString>());
        QCOMPARE(dialog.fileName(), QStringLiteral("/x/y.mdb"));
    }
};

QTEST_MAIN(OpenDatabaseTest)
#include "open_database_test.moc"
