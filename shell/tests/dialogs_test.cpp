// The on-screen dialogs behind the dialog seam (answered here by a timer, so
// nothing blocks).
#include "shell/look.h"
#include "shell/native_dialogs.h"
#include "shell/server_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace velmor;

namespace {

// Calls `inspect` on the modal dialog as soon as one is open. Whatever modal
// dialog is still open shortly after that (because a check in `inspect`
// failed, or a warning came up on top) is closed, so a test never hangs.
void whenModal(std::function<void(QWidget*)> inspect) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    auto ticksAfter = std::make_shared<int>(-1);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect, ticksAfter] {
        QWidget* modal = QApplication::activeModalWidget();
        if (*ticksAfter < 0) {
            if (!modal)
                return;
            *ticksAfter = 0;
            inspect(modal);
            return;
        }
        if (!modal || ++*ticksAfter > 500) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (*ticksAfter > 50) {
            qWarning("a dialog stayed open: closing it");
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    timer->start();
}

QStringList buttonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts.append(b->text().remove(QLatin1Char('&')));
    texts.sort();
    return texts;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void nativeDialogsAreInUseByDefault() {
        QCOMPARE(&dialogs(), static_cast<Dialogs*>(&nativeDialogs()));
        QCOMPARE(applicationTitle(), QStringLiteral("velmor2"));
    }

    void nativeMessageBox() {
        QString title, text;
        QStringList buttons;
        int icon = -1;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            buttons = buttonTexts(box);
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        nativeDialogs().message(nullptr, QStringLiteral("Veuillez entrer votre nom svp "),
                                QString());
        QCOMPARE(title, QStringLiteral("velmor2"));
        QCOMPARE(text, QStringLiteral("Veuillez entrer votre nom svp "));
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(icon, int(QMessageBox::NoIcon));
    }

    void nativeYesNo() {
        QStringList buttons;
        bool yesIsDefault = false;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            buttons = buttonTexts(box);
            yesIsDefault = static_cast<QAbstractButton*>(box->defaultButton()) ==
                           box->button(QMessageBox::Yes);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("Suppression"));
            box->defaultButton()->click();
        });
        QVERIFY(nativeDialogs().askYesNo(nullptr, QStringLiteral("Effacer ?"),
                                         QStringLiteral("Suppression"), true));
        QVERIFY(yesIsDefault);
        // Qt's own texts are in French.
        QCOMPARE(buttons, (QStringList{QStringLiteral("Non"), QStringLiteral("Oui")}));

        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()),
                     box->button(QMessageBox::No));
            box->defaultButton()->click();
        });
        QVERIFY(!nativeDialogs().askYesNo(nullptr, QStringLiteral("Effacer ?"), QString(), false));
    }

    void choiceBoxes() {
        const QStringList choices{QStringLiteral("Garder"), QStringLiteral("Reprendre"),
                                  QStringLiteral("Annuler")};
        // On screen: the buttons in order, the default one, Escape answers the escape button.
        QStringList shown;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("velmor2"));
            shown = buttonTexts(box);
            QCOMPARE(box->defaultButton()->text(), QStringLiteral("Reprendre"));
            box->buttons().at(box->buttons().indexOf(box->defaultButton()))->click();
        });
        QCOMPARE(nativeDialogs().choose(nullptr, QStringLiteral("Conflit"), QString(), choices, 1, 2), 1);
        QStringList sorted = choices;
        sorted.sort();
        QCOMPARE(shown, sorted);
        whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(nativeDialogs().choose(nullptr, QStringLiteral("Conflit"), QString(), choices, 1, 2), 2);
    }

    // "Réessayer" is the default; Escape answers "Annuler".
    void nativeRetry() {
        for (const bool retry : {true, false}) {
            QStringList buttons;
            whenModal([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                buttons = buttonTexts(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("velmor2"));
                if (retry)
                    box->defaultButton()->click();
                else
                    QTest::keyClick(box, Qt::Key_Escape);
            });
            QCOMPARE(nativeDialogs().askRetry(nullptr, QStringLiteral("Base occupée"), QString()), retry);
            QCOMPARE(buttons, (QStringList{QStringLiteral("Annuler"), QStringLiteral("Réessayer")}));
        }
    }

    void nativeInputBox() {
        whenModal([](QWidget* w) {
            auto* box = qobject_cast<QInputDialog*>(w);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("velmor2"));
            QCOMPARE(box->labelText(), QStringLiteral("Nom du client ?"));
            QCOMPARE(box->textValue(), QStringLiteral("défaut"));
            box->setTextValue(QStringLiteral("Crédit Agricole"));
            static_cast<QDialog*>(box)->accept();
        });
        QCOMPARE(nativeDialogs().input(nullptr, QStringLiteral("Nom du client ?"), QString(),
                                       QStringLiteral("défaut")),
                 std::optional<QString>(QStringLiteral("Crédit Agricole")));

        whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
        QCOMPARE(nativeDialogs().input(nullptr, QStringLiteral("?"), QString(), QString()),
                 std::optional<QString>());
    }

    // The server box: filled with what it proposes, the password hidden,
    // "Se connecter" only once address, database and user are given.
    void nativeServerBox() {
        const ServerLogin proposed{QStringLiteral("srv"), 5433, QStringLiteral("velmor"), QStringLiteral("anne"),
                                   QString(), true};
        whenModal([](QWidget* w) {
            auto* box = qobject_cast<ServerDialog*>(w);
            QVERIFY(box);
            QCOMPARE(box->motdepasse->echoMode(), QLineEdit::Password);
            QVERIFY(box->connecter->isEnabled());
            box->serveur->clear();
            QVERIFY(!box->connecter->isEnabled());
            QTest::keyClicks(box->serveur, QStringLiteral(" poste-central "));
            QTest::keyClicks(box->motdepasse, QStringLiteral("s3cret "));
            box->memoriser->setChecked(false);
            box->connecter->click();
        });
        const std::optional<ServerLogin> got = nativeDialogs().serverLogin(nullptr, proposed);
        QVERIFY(got);
        QCOMPARE(QStringList({got->host, QString::number(got->port), got->database, got->user, got->password}),
                 QStringList({"poste-central", "5433", "velmor", "anne", "s3cret "}));
        QVERIFY(!got->rememberPassword);
        whenModal([](QWidget* w) { qobject_cast<ServerDialog*>(w)->annuler->click(); });
        QVERIFY(!nativeDialogs().serverLogin(nullptr, proposed));
    }

    void nativeOpenDialogShowsTheFilterAndItsSelection() {
        QTemporaryDir dir;
        const QString filter = QStringLiteral("Tous les fichiers (*.*);;fichiers Access(*.mdb);;"
                                              "Base Velmor v2.00(velmor2001.mdb)");
        QStringList filters;
        QString selected;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QFileDialog*>(w);
            QVERIFY(box);
            filters = box->nameFilters();
            selected = box->selectedNameFilter();
            box->reject();
        });
        QCOMPARE(nativeDialogs().openFile(nullptr, QString(), filter,
                                          QStringLiteral("Base Velmor v2.00(velmor2001.mdb)"),
                                          dir.filePath(QStringLiteral("velmor2001.mdb"))),
                 std::optional<QString>());
        QCOMPARE(filters, filter.split(QStringLiteral(";;")));
        QCOMPARE(selected, QStringLiteral("Base Velmor v2.00(velmor2001.mdb)"));
    }

    void nativePrintDialogCancel() {
        QString title;
        whenModal([&](QWidget* w) {
            title = w->windowTitle();
            qobject_cast<QDialog*>(w)->reject();
        });
        QPrinter printer;
        QVERIFY(!nativeDialogs().print(nullptr, printer));
        QVERIFY(!title.isEmpty());
    }

    void nativeOpenDialogReturnsTheFullPath() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("sans extension")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString filter = QStringLiteral("Tous les fichiers (*.*);;fichiers Access(*.mdb)");
        QStringList modelFilters;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QFileDialog*>(w);
            QVERIFY(box);
            // "*.*" lists every file, names without a dot included.
            if (auto* model = box->findChild<QFileSystemModel*>())
                modelFilters = model->nameFilters();
            box->selectFile(file.fileName());
            static_cast<QDialog*>(box)->accept();
        });
        const std::optional<QString> picked = nativeDialogs().openFile(
            nullptr, QString(), filter, QStringLiteral("Tous les fichiers (*.*)"), QString());
        QCOMPARE(picked, std::optional<QString>(QDir::toNativeSeparators(file.fileName())));
#ifndef Q_OS_WIN
        QCOMPARE(modelFilters, QStringList{QStringLiteral("*")});
#endif
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
