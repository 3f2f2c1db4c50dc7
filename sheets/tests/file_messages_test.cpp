// What the user reads when the chosen database cannot be opened: the file
// named once, as typed, and the reason in plain French.
#include "sheets/sheet_host.h"
#include "sheets_support.h"
#include "shell/settings.h"
#include "testkit/scripted_dialogs.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace velmor;
using namespace sheetstest;

class FileMessagesTest : public QObject, public SheetDesk {
    Q_OBJECT
private slots:
    void initTestCase() { useFrenchRegionalSettings(); }
    void init() { openDesk(); }
    void cleanup() { closeDesk(); }

    void openingFailureNamesTheFileOnceWithAPlainReason_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("absent") << "absent" << "ce fichier est introuvable";
        QTest::newRow("texte") << "texte" << "ce fichier n'est pas une base Access";
        QTest::newRow("vide") << "vide" << "ce fichier est vide, ce n'est pas une base Access";
        QTest::newRow("tronqué") << "tronqué" << "le fichier est incomplet";
        QTest::newRow("dossier") << "dossier" << "c'est un dossier, pas une base de données";
    }
    void openingFailureNamesTheFileOnceWithAPlainReason()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = QDir(dir->path()).filePath(QStringLiteral("base velmor.mdb"));
        if (kind == QStringLiteral("texte") || kind == QStringLiteral("vide")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QStringLiteral("texte"))
                file.write("emetteur;client\nAgence Lyon;L'Oréal\n");
        } else if (kind == QStringLiteral("tronqué")) {
            const QString whole = QDir(dir->path()).filePath(QStringLiteral("entier.mdb"));
            createDatabase(whole, {{{"client", text("Lefèvre")}}}, {});
            QFile source(whole);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QFile cut(path);
            QVERIFY(cut.open(QIODevice::WriteOnly));
            cut.write(source.read(3000)); // a copy that stopped early
        } else if (kind == QStringLiteral("dossier")) {
            QVERIFY(QDir().mkpath(path));
        }
        settings::save("option", "option", "cheminbase", path);

        host->open(SheetHost::Sheet::Return);
        const QStringList messages = scripted->messages();
        QCOMPARE(messages.size(), 1);
        const QString& message = messages.front();
        QCOMPARE(message.count(QDir::toNativeSeparators(path)), 1);
        QVERIFY2(message.contains(QStringLiteral("Raison : ") + reason), qPrintable(message));
        for (const char* jargon : {"signature", "page 0", "octets", "Jet", "magic"})
            QVERIFY2(!message.contains(QString::fromLatin1(jargon), Qt::CaseInsensitive), jargon);
        QVERIFY(ScriptedDialogs::strandedPunctuation(message).isEmpty());
    }

    void strandedPunctuationIsFound()
    {
        QCOMPARE(ScriptedDialogs::strandedPunctuation(QStringLiteral("Fichier : a.mdb\n.")), QStringList{"."});
        QCOMPARE(ScriptedDialogs::strandedPunctuation(QStringLiteral("Raison : vide .\nSuite")),
                 QStringList{"Raison : vide ."});
        QVERIFY(ScriptedDialogs::strandedPunctuation(QStringLiteral("Fermer quand même ?\nRaison :\nTexte.")).isEmpty());
    }
};

QTEST_MAIN(FileMessagesTest)
#include "file_messages_test.moc"
