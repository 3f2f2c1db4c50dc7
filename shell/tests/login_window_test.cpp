// The login window `session`: its controls, the empty-name message, the name
// stored exactly as typed, and the way to the main window.
#include "shell/login_window.h"
#include "shell/look.h"
#include "shell/main_window.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace velmor;

namespace {

QString storedName(const QString& defaultValue = QStringLiteral("<aucun>")) {
    return settings::read(QStringLiteral("option"), QStringLiteral("option"),
                          QStringLiteral("util"), defaultValue);
}

const QString kEmptyNameMessage = QStringLiteral("Veuillez entrer votre nom svp ");

// Runs the event loop until the program is told to end; exec()'s result, or
// 42 when nothing ended it within five seconds.
int runUntilEnd() {
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    safety.start(5000);
    return QApplication::exec();
}

} // namespace

class LoginWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void windowAndControls() {
        SettingsSandbox sandbox;
        LoginWindow session;
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));

        QCOMPARE(session.objectName(), QStringLiteral("session"));
        QCOMPARE(session.windowTitle(), QStringLiteral("Ouverture de session Velmor"));
        QCOMPARE(session.minimumSize(), session.maximumSize());
        const Qt::WindowFlags flags = session.windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        QCOMPARE(session.findChild<QLabel*>(QStringLiteral("nomutilisateur")),
                 session.nomutilisateur);
        QCOMPARE(session.nomutilisateur->text(), QStringLiteral("Nom d'utilisateur :"));
        QCOMPARE(session.nomutilisateur->buddy(), session.entreesaisie);

        QCOMPARE(session.findChild<QLineEdit*>(QStringLiteral("entreesaisie")),
                 session.entreesaisie);
        QVERIFY(session.entreesaisie->text().isEmpty());
        QCOMPARE(session.findChild<QPushButton*>(QStringLiteral("okutilisateur")),
                 session.okutilisateur);
        QCOMPARE(session.okutilisateur->text(), QStringLiteral("ok"));
        QVERIFY(session.okutilisateur->isDefault());

        // Top to bottom, button centred under the text box.
        QVERIFY(session.nomutilisateur->geometry().bottom() <
                session.entreesaisie->geometry().top());
        QVERIFY(session.entreesaisie->geometry().bottom() <
                session.okutilisateur->geometry().top());
        QCOMPARE(session.okutilisateur->geometry().center().x(),
                 session.entreesaisie->geometry().center().x());
        for (QWidget* w : {static_cast<QWidget*>(session.nomutilisateur),
                           static_cast<QWidget*>(session.entreesaisie),
                           static_cast<QWidget*>(session.okutilisateur)})
            QVERIFY(session.rect().contains(w->geometry()));

        // The text box has the focus and comes first in the tab order.
        session.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&session));
        QCOMPARE(QApplication::focusWidget(), session.entreesaisie);
        QCOMPARE(session.entreesaisie->nextInFocusChain(), session.okutilisateur);

        // Nothing was read or written at start.
        QCOMPARE(storedName(), QStringLiteral("<aucun>"));
        QVERIFY(session.mainWindow() == nullptr);
    }

    void emptyNameIsRefusedEveryTime() {
        SettingsSandbox sandbox;
        settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("util"),
                       QStringLiteral("ancien"));
        ScriptedDialogs dialogs;
        LoginWindow session;
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));

        QTest::mouseClick(session.okutilisateur, Qt::LeftButton);
        QTest::keyClick(session.entreesaisie, Qt::Key_Return);
        QTest::keyClick(session.entreesaisie, Qt::Key_Enter);
        session.okutilisateur->click();

        QCOMPARE(dialogs.calls().size(), 4);
        for (const ScriptedDialogs::Call& call : dialogs.calls()) {
            QCOMPARE(call.kind, ScriptedDialogs::Kind::Message);
            QCOMPARE(call.text, kEmptyNameMessage);
            QCOMPARE(call.caption, QStringLiteral("velmor2"));
        }
        QCOMPARE(storedName(), QStringLiteral("ancien"));
        QVERIFY(session.isVisible());
        QVERIFY(session.mainWindow() == nullptr);

        // Typing a name afterwards works.
        QTest::keyClicks(session.entreesaisie, QStringLiteral("Jean"));
        QTest::keyClick(session.entreesaisie, Qt::Key_Return);
        QCOMPARE(storedName(), QStringLiteral("Jean"));
        QCOMPARE(dialogs.calls().size(), 4);
    }

    void confirmByClick() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        int setUps = 0;
        bool shownAtSetUp = true;
        LoginWindow session([&](MainWindow& window) {
            ++setUps;
            shownAtSetUp = window.isVisible();
        });
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));
        QTest::keyClicks(session.entreesaisie, QStringLiteral("Dupr"));
        session.entreesaisie->insert(QStringLiteral("é")); // keyClicks types ASCII only
        QTest::mouseClick(session.okutilisateur, Qt::LeftButton);

        QCOMPARE(storedName(), QStringLiteral("Dupré"));
        QCOMPARE(dialogs.calls().size(), 0);
        QVERIFY(!session.isVisible());
        MainWindow* main = session.mainWindow();
        QVERIFY(main != nullptr);
        QCOMPARE(setUps, 1);
        QVERIFY(!shownAtSetUp);
        QVERIFY(main->isVisible());
        QVERIFY(main->windowState() & Qt::WindowMaximized);
        QVERIFY(QTest::qWaitForWindowExposed(main));
    }

    void enterOnTheButtonConfirmsOnce() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        int setUps = 0;
        LoginWindow session([&](MainWindow&) { ++setUps; });
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));
        QTest::keyClick(session.okutilisateur, Qt::Key_Return);
        QCOMPARE(dialogs.messages(), QStringList{kEmptyNameMessage});
        session.entreesaisie->setText(QStringLiteral("Paul"));
        QTest::keyClick(session.okutilisateur, Qt::Key_Return);
        QCOMPARE(setUps, 1);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(storedName(), QStringLiteral("Paul"));
    }

    // Confirmed with Return, Enter (keypad) or "ok": stored exactly as typed,
    // and the main window set up once.
    void nameIsStoredAsTyped_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key"); // 0: click on "ok"
        QTest::newRow("one blank") << QStringLiteral(" ") << 0;
        QTest::newRow("blanks around") << QStringLiteral("  Jean Dupont  ") << int(Qt::Key_Return);
        QTest::newRow("accents") << QStringLiteral("Élodie Gaëlle Müller") << int(Qt::Key_Enter);
        QTest::newRow("apostrophe") << QStringLiteral("Jean d'Ormesson") << 0;
        QTest::newRow("case kept") << QStringLiteral("jEAN") << int(Qt::Key_Return);
        QTest::newRow("quotes and backslash") << QStringLiteral("\"Jo\" c:\\x") << 0;
    }

    void nameIsStoredAsTyped() {
        QFETCH(QString, name);
        QFETCH(int, key);
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        int setUps = 0;
        LoginWindow session([&](MainWindow&) { ++setUps; });
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));
        session.entreesaisie->setText(name);
        if (key)
            QTest::keyClick(session.entreesaisie, Qt::Key(key));
        else
            QTest::mouseClick(session.okutilisateur, Qt::LeftButton);
        QCOMPARE(dialogs.calls().size(), 0);
        QCOMPARE(storedName(), name);
        QCOMPARE(setUps, 1);
        QVERIFY(!session.isVisible());
        QVERIFY(session.mainWindow() && session.mainWindow()->isVisible());
    }

    void wholeRunFromLoginToQuitter() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        LoginWindow session;
        session.show();
        QTimer::singleShot(0, &session, [&session] {
            QTest::keyClick(session.entreesaisie, Qt::Key_Return); // refused
            QTest::keyClicks(session.entreesaisie, QStringLiteral("Jean"));
            QTest::keyClick(session.entreesaisie, Qt::Key_Return);
            QTimer::singleShot(0, &session, [&session] {
                QVERIFY(session.mainWindow() && session.mainWindow()->isVisible());
                QTest::mouseClick(session.mainWindow()->quitter, Qt::LeftButton);
            });
        });
        QCOMPARE(runUntilEnd(), 0);
        QCOMPARE(dialogs.messages(), QStringList{kEmptyNameMessage});
        QCOMPARE(storedName(), QStringLiteral("Jean"));
    }

    void closingBeforeConfirmingEndsTheProgram() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        LoginWindow session;
        session.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session));
        session.entreesaisie->setText(QStringLiteral("pas confirmé"));
        QTimer::singleShot(0, &session, [&session] { session.close(); });
        QCOMPARE(runUntilEnd(), 0);
        QCOMPARE(storedName(), QStringLiteral("<aucun>"));
        QVERIFY(session.mainWindow() == nullptr);
        QCOMPARE(dialogs.calls().size(), 0);
    }
};

QTEST_MAIN(LoginWindowTest)
#include "login_window_test.moc"
