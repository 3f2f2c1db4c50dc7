// The main window `parent`: toolbar, menus, status bar, document area, and
// the ways out of the program.
#include "shell/look.h"
#include "shell/main_window.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace velmor;

namespace {

// Runs the event loop until the program is told to end; returns exec()'s
// result, or 42 when nothing ended it within five seconds.
int runUntilEnd(const std::function<void()>& action) {
    QTimer::singleShot(0, qApp, action);
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    safety.start(5000);
    return QApplication::exec();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void frame() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.objectName(), QStringLiteral("parent"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Velmor V2.0"));
        QVERIFY(window.windowState() & Qt::WindowMaximized);
        QVERIFY(window.mdiArea != nullptr);
        QVERIFY(window.mdiArea->subWindowList().isEmpty());
        // The document area lies between the toolbar and the status bar.
        QVERIFY(window.mdiArea->width() > 0 && window.mdiArea->height() > 0);
        const QPoint areaTop = window.mdiArea->mapTo(&window, QPoint(0, 0));
        const QPoint barBottom =
            window.Toolbar1->mapTo(&window, QPoint(0, window.Toolbar1->height()));
        QVERIFY(areaTop.y() >= barBottom.y());
        QVERIFY(window.statusBar1->mapTo(&window, QPoint(0, 0)).y() >=
                areaTop.y() + window.mdiArea->height());
    }

    void toolbar() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.Toolbar1->objectName(), QStringLiteral("Toolbar1"));

        struct Expected {
            const char* name;
            const char* caption;
            const char* toolTip;
        };
        const Expected expected[] = {
            {"quitter", "Quitter", "Quitter le programme"},
            {"Command2", "Prêt", "accès à la feuille de prêt"},
            {"Command3", "Retour", "accès à la feuille de retour"},
            {"Command4", "Voir", "Accéder à toute la base"},
            {"Command1", "Nouveau", "Nouvelle entrée"},
            {"Command5", "Effacer", "Supprimer l'enregistrement en cours"},
            {"Command6", "Enregistrer", "Enregistrer la saisie"},
            {"Command7", "Rechercher", "Recherche d'un client par son nom"},
            {"Command8", "En Cours", "Recherche des matériels non retournés"},
        };
        const QList<QPushButton*> buttons = window.toolbarButtons();
        QCOMPARE(buttons.size(), 9);
        QList<int> gaps;
        for (int i = 0; i < 9; ++i) {
            QPushButton* b = buttons.at(i);
            QCOMPARE(b->objectName(), QString::fromLatin1(expected[i].name));
            QCOMPARE(window.findChild<QPushButton*>(b->objectName()), b);
            QCOMPARE(b->text(), QString::fromUtf8(expected[i].caption));
            QCOMPARE(b->toolTip(), QString::fromUtf8(expected[i].toolTip));
            QCOMPARE(b->parentWidget(), window.Toolbar1);
            QVERIFY(b->isVisible() && b->isEnabled());
            if (i > 0) {
                const QPushButton* before = buttons.at(i - 1);
                gaps.append(b->x() - (before->x() + before->width()));
                QVERIFY(gaps.last() >= 0);
                // Tab order follows the toolbar order.
                QCOMPARE(before->nextInFocusChain(), b);
            }
        }
        // The gap between "Retour" and "Voir" is wider than all others.
        const int wide = gaps.at(2);
        for (int i = 0; i < gaps.size(); ++i) {
            if (i != 2)
                QVERIFY2(gaps.at(i) < wide, qPrintable(QString::number(i)));
        }
        // The captions fit their buttons.
        for (QPushButton* b : buttons)
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width(),
                     qPrintable(b->text()));
    }

    void hidingPretKeepsTheOtherButtonsInPlace() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<QRect> before;
        for (QPushButton* b : window.toolbarButtons())
            before.append(b->geometry());
        window.Command2->hide();
        window.Command3->hide();
        QCoreApplication::processEvents();
        const QList<QPushButton*> buttons = window.toolbarButtons();
        for (int i = 0; i < buttons.size(); ++i)
            QCOMPARE(buttons.at(i)->geometry(), before.at(i));
        window.Command2->show();
        QCOMPARE(window.Command2->geometry(), before.at(1));
    }

    void menus() {
        MainWindow window;
        const QList<QAction*> top = window.menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top.at(0)->text(), QStringLiteral("Fichier"));
        QCOMPARE(top.at(1)->text(), QStringLiteral("option"));
        QCOMPARE(top.at(2)->text(), QStringLiteral("?"));
        QCOMPARE(top.at(0)->menu(), window.Fichier);
        QCOMPARE(top.at(1)->menu(), window.option2);
        QCOMPARE(top.at(2)->menu(), window.apropos);

        auto entries = [](QMenu* menu) {
            QStringList result;
            for (QAction* a : menu->actions()) {
                result.append(a->objectName() + QLatin1Char('=') + a->text());
                if (a->isSeparator() || !a->shortcut().isEmpty() || !a->isEnabled())
                    result.append(QStringLiteral("<unexpected>"));
            }
            return result;
        };
        QCOMPARE(entries(window.Fichier), (QStringList{QStringLiteral("ouvrir=Ouvrir une Base"),
                                                       QStringLiteral("serveur=Se connecter à un serveur…"),
                                                       QStringLiteral("compacter=Compacter la base"),
                                                       QStringLiteral("Imprimer=Imprimer"),
                                                       QStringLiteral("quittersur=Quitter")}));
        QCOMPARE(entries(window.option2), QStringList{QStringLiteral("option=option")});
        QCOMPARE(entries(window.apropos), QStringList{QStringLiteral("commentaire=à propos de")});
    }

    // Text, date and time panels in that order; the date and the time
    // (hours and minutes only) with the sheets' regional settings (the
    // default locale), not the system's.
    void statusBar() {
        const QLocale before;
        const QLocale germany(QLocale::German, QLocale::Germany);
        QLocale::setDefault(germany);
        MainWindow window;
        const QString date = window.statusBar1->datePanel->text();
        const QString time = window.statusBar1->timePanel->text();
        QLocale::setDefault(before);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        StatusBar1* bar = window.statusBar1;
        QCOMPARE(window.statusBar(), bar);
        QCOMPARE(bar->objectName(), QStringLiteral("StatusBar1"));
        QCOMPARE(bar->textPanel->text(), QStringLiteral("Velmor v2.00"));
        QVERIFY(bar->textPanel->x() < bar->datePanel->x());
        QVERIFY(bar->datePanel->x() < bar->timePanel->x());
        QCOMPARE(date, germany.toString(QDate::currentDate(), QLocale::ShortFormat));
        const QString format = StatusBar1::timeFormat(germany);
        QVERIFY2(!format.contains(QLatin1Char('s')), qPrintable(format));
        QVERIFY(format.contains(QLatin1Char('m')));
        const QTime now = QTime::currentTime();
        QVERIFY2(time == germany.toString(now, format) || time == germany.toString(now.addSecs(-60), format),
                 qPrintable(time));
    }

    void statusBarKeepsItselfCurrent() {
        MainWindow window;
        window.show();
        StatusBar1* bar = window.statusBar1;
        const QString date = bar->datePanel->text();
        bar->datePanel->setText(QStringLiteral("périmé"));
        bar->timePanel->setText(QStringLiteral("périmé"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->datePanel->text() != QStringLiteral("périmé"), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(bar->timePanel->text() != QStringLiteral("périmé"), 3000);
        QCOMPARE(bar->textPanel->text(), QStringLiteral("Velmor v2.00"));
    }

    // "Quitter", the menu's "Quitter" and the close box end the program,
    // whatever other windows are open or hidden, without closing them.
    void waysOut_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("bouton Quitter") << 0;
        QTest::newRow("menu Quitter") << 1;
        QTest::newRow("case de fermeture") << 2;
    }
    void waysOut() {
        QFETCH(int, way);
        MainWindow window;
        QList<MainWindow::QuitReason> reasons;
        window.setBeforeQuit([&](MainWindow::QuitReason r) { reasons.append(r); });
        window.show();
        QWidget other;
        other.show();
        QWidget hidden;
        hidden.show();
        hidden.hide();
        QCOMPARE(runUntilEnd([&] {
                     if (way == 0)
                         QTest::mouseClick(window.quitter, Qt::LeftButton);
                     else if (way == 1)
                         window.quittersur->trigger();
                     else
                         window.close();
                 }),
                 0);
        QCOMPARE(reasons, QList<MainWindow::QuitReason>{way == 2 ? MainWindow::QuitReason::CloseBox
                                                                  : MainWindow::QuitReason::Command});
        QVERIFY(other.isVisible());
    }

    void otherButtonsDoNothingByThemselves() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        MainWindow window;
        window.show();
        for (QPushButton* b : window.toolbarButtons()) {
            if (b != window.quitter)
                b->click();
        }
        window.Imprimer->trigger();
        window.option->trigger();
        window.commentaire->trigger();
        QCOMPARE(dialogs.calls().size(), 0);
        QVERIFY(window.isVisible());
        QVERIFY(window.mdiArea->subWindowList().isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
