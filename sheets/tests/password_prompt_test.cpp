// A database with a password: the record source asks for it in a password
// box when it opens the file, again after a wrong one, opens with the right
// one (then not asking the other sheets again) and stays closed on Cancel.
#include "sheets/record_source.h"
#include "testkit/scripted_dialogs.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "testkit/fixtures.h"

using namespace velmor;

namespace {

const char* const kProtected = "access-corpus/V2000_with-password.mdb";

RecordSourceDesign tableDesign()
{
    RecordSourceDesign design;
    design.connect = QStringLiteral("Access");
    design.recordSource = QStringLiteral("Table1");
    return design;
}

} // namespace

class PasswordPromptTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString copyOfProtected(const QString& name)
    {
        const QString target = dir_.filePath(name);
        QFile::copy(QString::fromStdString(fixtures::path(kProtected)), target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

private slots:
    void asksUntilRightThenRemembers()
    {
        VELMOR_SKIP_WITHOUT_FIXTURE(kProtected);
        const QString path = copyOfProtected(QStringLiteral("protegee.mdb"));
        ScriptedDialogs scripted;
        scripted.queueInput(QStringLiteral("Password")); // wrong: case counts
        scripted.queueInput(QStringLiteral("password"));
        BaseR source(tableDesign());
        source.setDatabaseName(path);
        const auto failure = source.openOnLoad();
        QVERIFY2(!failure, failure ? qPrintable(failure->message()) : "");
        QCOMPARE(source.state(), BaseR::State::CurrentRow);
        const auto asked = scripted.calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[0].text.contains(QStringLiteral("est protégée par un mot de passe")));
        QVERIFY(asked[1].text.startsWith(QStringLiteral("Mot de passe incorrect pour la base « protegee.mdb »")));

        // The other sheet opens the same file without asking.
        BaseR other(tableDesign());
        other.setDatabaseName(path);
        QVERIFY(!other.openOnLoad());
        QCOMPARE(scripted.calls(ScriptedDialogs::Kind::Input).size(), 2);
        QCOMPARE(scripted.unansweredCalls(), 0);
    }

    void cancelLeavesItClosed()
    {
        VELMOR_SKIP_WITHOUT_FIXTURE(kProtected);
        const QString path = copyOfProtected(QStringLiteral("fermee.mdb"));
        ScriptedDialogs scripted;
        scripted.queueInput(std::nullopt);
        BaseR source(tableDesign());
        source.setDatabaseName(path);
        const auto failure = source.openOnLoad();
        QVERIFY(failure);
        QCOMPARE(failure->code(), RecordSourceError::Code::NoDatabase);
        QVERIFY2(failure->message().contains(QStringLiteral("protégée par un mot de passe, qui n'a pas été donné")),
                 qPrintable(failure->message()));
        QCOMPARE(source.state(), BaseR::State::Closed);
    }
};

QTEST_MAIN(PasswordPromptTest)
#include "password_prompt_test.moc"
