// The settings store: values survive a new run, missing keys give the
// caller's default, any text round-trips, garbage never crashes, and a save
// that cannot be written is reported in French without ending the program.
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "shell/settings_location.h"
#include "testkit/settings_sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

using namespace velmor;

namespace {
const QString kOption = QStringLiteral("option");
const QString kPage = QStringLiteral("pageencours");
const QString kPgcours = QStringLiteral("pgcours");
} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void storeLivesInTheUsersConfigurationFolder() {
        SettingsSandbox sandbox;
        QCOMPARE(settings::settingsFile(kOption),
                 sandbox.configHome() + QStringLiteral("/velmor/option.ini"));
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Jean"));
        settings::save(kPage, kPgcours, QStringLiteral("page"), QStringLiteral("1"));
        QVERIFY(QFileInfo::exists(sandbox.configHome() + QStringLiteral("/velmor/option.ini")));
        QVERIFY(
            QFileInfo::exists(sandbox.configHome() + QStringLiteral("/velmor/pageencours.ini")));
        const QByteArray raw = sandbox.readRaw(kOption);
        QVERIFY2(raw.contains("[option]"), raw.constData());
        QVERIFY2(raw.contains("util=Jean"), raw.constData());
        // What a new run sees: the files alone, read by a fresh store object.
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Dupré"));
        QSettings fresh(settings::settingsFile(kOption), QSettings::IniFormat);
        QCOMPARE(fresh.value(QStringLiteral("option/util")).toString(), QStringLiteral("Dupré"));
        QSettings page(settings::settingsFile(kPage), QSettings::IniFormat);
        QCOMPARE(page.value(QStringLiteral("pgcours/page")).toString(), QStringLiteral("1"));
        QVERIFY(sandbox.readRaw(kOption).contains(QStringLiteral("Dupré").toUtf8())); // plain UTF-8
    }

    // A missing file, section or key gives the caller's default (reading
    // creates nothing); a stored value, even "0" or empty, wins over it; a
    // save replaces the earlier value and leaves the other keys alone.
    void readsWhatWasSavedOrTheDefault() {
        SettingsSandbox sandbox;
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")), QString());
        QCOMPARE(settings::read(kPage, kPgcours, QStringLiteral("page"), QStringLiteral("d")), QStringLiteral("d"));
        QVERIFY(!QFileInfo::exists(settings::settingsFolder()));
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Jean"));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("cheminbase"), QStringLiteral("défaut")),
                 QStringLiteral("défaut"));
        QCOMPARE(settings::read(kOption, QStringLiteral("autre"), QStringLiteral("util"), QStringLiteral("x")),
                 QStringLiteral("x"));
        settings::save(kOption, kOption, QStringLiteral("optionimage"), settings::fromInt(0));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("optionimage"), settings::fromInt(1)),
                 QStringLiteral("0"));
        settings::save(kOption, kOption, QStringLiteral("cheminimage"), QString());
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("cheminimage"), QStringLiteral("c:\\velmor2.jpg")),
                 QString());
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Marie"));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")), QStringLiteral("Marie"));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("optionimage")), QStringLiteral("0"));
    }

    void anyTextRoundTrips_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("accents") << QStringLiteral("Élodie Dupré-Gaëlle çà où");
        QTest::newRow("apostrophe") << QStringLiteral("L'Oréal");
        QTest::newRow("double quotes") << QStringLiteral("Écran 17\" Iiyama");
        QTest::newRow("quoted") << QStringLiteral("\"entre guillemets\"");
        QTest::newRow("windows path") << QStringLiteral("c:\\velmor\\velmor2001.mdb");
        QTest::newRow("unc path") << QStringLiteral("\\\\serveur\\partage\\base velmor.mdb");
        QTest::newRow("trailing backslash") << QStringLiteral("c:\\velmor\\");
        QTest::newRow("unix path") << QStringLiteral("/home/jean/Bases/velmor 2001 (copie).mdb");
        QTest::newRow("one blank") << QStringLiteral(" ");
        QTest::newRow("blanks around") << QStringLiteral("  Jean  ");
        QTest::newRow("commas") << QStringLiteral("Dupré, Jean, fils");
        QTest::newRow("at sign") << QStringLiteral("@Variant(\\0\\0\\0)");
        QTest::newRow("ini syntax") << QStringLiteral("[option]\nutil=x;#commentaire");
        QTest::newRow("equals and semicolons") << QStringLiteral("a=b;c#d");
        QTest::newRow("line breaks") << QStringLiteral("ligne 1\r\nligne 2\nligne 3");
        QTest::newRow("tab") << QStringLiteral("a\tb");
        QTest::newRow("outside latin-1") << QStringLiteral("5 € — 3 °C — œuvre — 日本語");
        QTest::newRow("percent") << QStringLiteral("100 % sûr");
        QTest::newRow("empty") << QString();
        QTest::newRow("looks like a list") << QStringLiteral("a,b");
        QTest::newRow("number") << QStringLiteral("1");
        QTest::newRow("boolean word") << QStringLiteral("true");
    }

    void anyTextRoundTrips() {
        QFETCH(QString, value);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        settings::save(kOption, kOption, QStringLiteral("util"), value);
        settings::save(kOption, kOption, QStringLiteral("cheminbase"), value);
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util"), QStringLiteral("?")),
                 value);
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("cheminbase")), value);
        QCOMPARE(dialogs.calls().size(), 0);
    }

    void nothingIsCached() {
        SettingsSandbox sandbox;
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Jean"));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")), QStringLiteral("Jean"));
        // Someone else writes the file: the next read sees it.
        QTest::qWait(20);
        sandbox.writeRaw(kOption, "[option]\nutil=Marie-Claire\n");
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")),
                 QStringLiteral("Marie-Claire"));
        QFile::remove(settings::settingsFile(kOption));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    void handEditedGarbageNeverCrashes_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe[option]\x00util=\xc3", 20);
        QTest::newRow("unclosed section") << QByteArray("[option\nutil=Jean\n");
        QTest::newRow("no equals") << QByteArray("[option]\nutil\npage\n");
        QTest::newRow("only equals") << QByteArray("[option]\n=====\n==x\n");
        QTest::newRow("bad variant") << QByteArray("[option]\nutil=@Variant(\\0\\x1\\xff)\n");
        QTest::newRow("byte array") << QByteArray("[option]\nutil=@ByteArray(abc)\n");
        QTest::newRow("rect") << QByteArray("[option]\nutil=@Rect(1 2 3 4)\n");
        QTest::newRow("unterminated quote") << QByteArray("[option]\nutil=\"abc\n");
        QTest::newRow("bad utf-8") << QByteArray("[option]\nutil=\xe9t\xe9\n");
        QTest::newRow("huge line") << (QByteArray("[option]\nutil=") + QByteArray(200000, 'x'));
        QTest::newRow("empty file") << QByteArray();
    }

    void handEditedGarbageNeverCrashes() {
        QFETCH(QByteArray, contents);
        SettingsSandbox sandbox;
        sandbox.writeRaw(kOption, contents);
        sandbox.writeRaw(kPage, contents);
        const QString util = settings::read(kOption, kOption, QStringLiteral("util"));
        const QString flag =
            settings::read(kOption, kOption, QStringLiteral("optionimage"), QStringLiteral("1"));
        const QString page = settings::read(kPage, kPgcours, QStringLiteral("page"));
        Q_UNUSED(util);
        QCOMPARE(flag, QStringLiteral("1"));
        (void)settings::toNumber(page);
        // Saving over the garbage works and reads back.
        ScriptedDialogs dialogs;
        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Jean"));
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")), QStringLiteral("Jean"));
    }

    void handEditedListReadsAsItsText() {
        SettingsSandbox sandbox;
        sandbox.writeRaw(kOption, "[option]\nutil=Dupont, Jean\noptionimage=abc\n");
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util")),
                 QStringLiteral("Dupont, Jean"));
        QCOMPARE(settings::toNumber(settings::read(kOption, kOption, QStringLiteral("optionimage"),
                                                   QStringLiteral("1"))),
                 std::optional<float>());
    }

    void conversions() {
        QCOMPARE(settings::fromInt(1), QStringLiteral("1"));
        QCOMPARE(settings::fromInt(0), QStringLiteral("0"));
        const std::pair<const char*, std::optional<float>> numbers[] = {
            {"1", 1.0f},           {"0", 0.0f},         {"2", 2.0f},          {" 1 ", 1.0f},
            {"-1", -1.0f},         {"1.0", 1.0f},       {"0.5", 0.5f},        {nullptr, std::nullopt},
            {" ", std::nullopt},   {"abc", std::nullopt}, {"1x", std::nullopt}, {"nan", std::nullopt},
            {"inf", std::nullopt}, {"1e99", std::nullopt}};
        for (const auto& [text, number] : numbers)
            QCOMPARE(settings::toNumber(QString::fromLatin1(text)), number);
    }

    void aFailedSaveIsReportedAndTheProgramGoesOn() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        // A plain file where the settings folder should be: nothing can be written.
        QFile blocker(settings::settingsFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        settings::save(kOption, kOption, QStringLiteral("util"), QStringLiteral("Jean"));
        QCOMPARE(dialogs.calls().size(), 1);
        const ScriptedDialogs::Call call = dialogs.calls().first();
        QCOMPARE(call.kind, ScriptedDialogs::Kind::Message);
        QCOMPARE(call.caption, QStringLiteral("velmor2"));
        QVERIFY2(
            call.text.startsWith(QStringLiteral("Impossible d'enregistrer le réglage « util »")),
            qPrintable(call.text));
        QVERIFY(call.text.contains(QDir::toNativeSeparators(settings::settingsFile(kOption))));
        // Still running, still readable: the default comes back.
        QCOMPARE(settings::read(kOption, kOption, QStringLiteral("util"), QStringLiteral("d")),
                 QStringLiteral("d"));
        settings::save(kPage, kPgcours, QStringLiteral("page"), QStringLiteral("0"));
        QCOMPARE(dialogs.calls().size(), 2);
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
