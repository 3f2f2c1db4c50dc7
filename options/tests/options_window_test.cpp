// The options window `Optionvelmor`: its controls, the boxes read from the
// store, "Changer" and its picture dialog, "ok" with the flags, the toolbar
// buttons and the picture of the current sheet.
#include "options/options_window.h"
#include "options/options_wiring.h"
#include "shell/look.h"
#include "shell/paths.h"
#include "testkit/scripted_dialogs.h"
#include "shell/settings.h"
#include "testkit/settings_sandbox.h"
#include "sheets_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace velmor;
using namespace velmor::testing;

namespace {

const QString kOption = QStringLiteral("option");

QString flag(const QString& key, const QString& defaultValue = QStringLiteral("<absent>")) {
    return settings::read(kOption, kOption, key, defaultValue);
}

void saveFlag(const QString& key, const QString& value) {
    settings::save(kOption, kOption, key, value);
}

QList<QCheckBox*> boxes(const Optionvelmor& w) {
    return {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5};
}

const QStringList kFlagKeys = {QStringLiteral("optionimage"), QStringLiteral("nomfeuillepret"),
                               QStringLiteral("nomfeuilleretour"), QStringLiteral("affichepret"),
                               QStringLiteral("afficheretour")};

// Two buttons standing in for the main window's "Prêt" and "Retour".
struct Toolbar {
    QWidget bar;
    QPushButton* pret = new QPushButton(QStringLiteral("Prêt"), &bar);
    QPushButton* retour = new QPushButton(QStringLiteral("Retour"), &bar);
    Toolbar() { bar.show(); }
};

} // namespace

class OptionsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void windowAndControls() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        QCOMPARE(w.objectName(), QStringLiteral("Optionvelmor"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Option"));
        QVERIFY(w.isWindow());
        QVERIFY(w.parentWidget() == nullptr);
        QCOMPARE(w.Label1->text(), QStringLiteral("OPTION de VELMOR v 2.00"));

        const QList<QLabel*> labels = {w.option1, w.nomfeuillepret, w.nomfeuilleretour,
                                       w.affichepret, w.utilisationretour};
        const QStringList texts = {QStringLiteral("image de fond d'ecran"),
                                   QStringLiteral("Nom de la feuille de prêt"),
                                   QStringLiteral("Nom de la feuille de retour"),
                                   QStringLiteral("Utilisation de la feuille de prêt"),
                                   QStringLiteral("Utilisation de la feuille de retour")};
        const QStringList labelNames = {QStringLiteral("option1"), QStringLiteral("nomfeuillepret"),
                                        QStringLiteral("nomfeuilleretour"),
                                        QStringLiteral("affichepret"),
                                        QStringLiteral("utilisationretour")};
        for (int i = 0; i < 5; ++i) {
            QCheckBox* box = boxes(w)[i];
            QCOMPARE(box->objectName(), QStringLiteral("Check%1").arg(i + 1));
            QVERIFY(box->text().isEmpty()); // the text is a separate label
            QCOMPARE(labels[i]->objectName(), labelNames[i]);
            QCOMPARE(labels[i]->text(), texts[i]);
            // The label names its box (keyboard, screen readers); clicking
            // it still leaves the box alone.
            QVERIFY(labels[i]->buddy() == box);
            QCOMPARE(box->accessibleName(), texts[i]);
        }
        QCOMPARE(w.changer->text(), QStringLiteral("Changer"));
        QCOMPARE(w.okoption->text(), QStringLiteral("ok"));
        QCOMPARE(w.okoption->objectName(), QStringLiteral("okoption"));
        QCOMPARE(w.changer->objectName(), QStringLiteral("changer"));
    }

    void layoutInOrder() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Title on top, then the five rows, "ok" at the bottom right.
        int previous = w.Label1->geometry().bottom();
        for (QCheckBox* box : boxes(w)) {
            QVERIFY(box->geometry().top() > previous);
            previous = box->geometry().top();
        }
        QVERIFY(w.okoption->geometry().top() > w.Check5->geometry().bottom());
        QVERIFY(w.okoption->geometry().center().x() > w.width() / 2);
        QVERIFY(w.changer->geometry().left() > w.option1->geometry().left());
        QVERIFY(qAbs(w.changer->geometry().center().y() - w.Check1->geometry().center().y()) < 10);
        // Everything fits in the window.
        for (QWidget* child : w.findChildren<QWidget*>())
            QVERIFY2(w.rect().contains(child->geometry()), qPrintable(child->objectName()));
    }

    void clickingALabelLeavesItsBox() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.nomfeuillepret, Qt::LeftButton);
        QVERIFY(w.Check2->isChecked());
        QTest::mouseClick(w.Check2, Qt::LeftButton);
        QVERIFY(!w.Check2->isChecked());
    }

    void freshUserHasAllBoxesChecked() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        for (QCheckBox* box : boxes(w))
            QVERIFY(box->isChecked());
        QVERIFY(w.isVisible());
        // Opening reads only: nothing was stored.
        for (const QString& key : kFlagKeys)
            QCOMPARE(flag(key), QStringLiteral("<absent>"));
        QCOMPARE(sheets.created, 0);
    }

    void boxesFollowTheStore() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        saveFlag(QStringLiteral("optionimage"), QStringLiteral("0"));
        saveFlag(QStringLiteral("nomfeuillepret"), QStringLiteral("1"));
        saveFlag(QStringLiteral("nomfeuilleretour"), QStringLiteral("0"));
        saveFlag(QStringLiteral("affichepret"), QStringLiteral("0"));
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        QVERIFY(!w.Check1->isChecked());
        QVERIFY(w.Check2->isChecked());
        QVERIFY(!w.Check3->isChecked());
        QVERIFY(!w.Check4->isChecked());
        QVERIFY(w.Check5->isChecked()); // missing key: default 1
    }

    void unusualFlagTexts() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        QVERIFY(w.Check1->isChecked());
        // Another number leaves a box as it was; a text that is no number
        // reads as 0, as the sheets read it.
        saveFlag(QStringLiteral("optionimage"), QStringLiteral("2"));
        saveFlag(QStringLiteral("nomfeuillepret"), QStringLiteral("abc"));
        saveFlag(QStringLiteral("nomfeuilleretour"), QString());
        saveFlag(QStringLiteral("affichepret"), QStringLiteral("1.0"));
        w.Check4->setChecked(false);
        w.open();
        QVERIFY(w.Check1->isChecked());
        QVERIFY(!w.Check2->isChecked());
        QVERIFY(!w.Check3->isChecked());
        QVERIFY(w.Check4->isChecked());
        w.Check1->setChecked(false);
        w.open();
        QVERIFY(!w.Check1->isChecked()); // "2" again: unchanged
    }

    void reopeningDropsUnconfirmedChanges() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        w.Check3->setChecked(false);
        w.open();
        QVERIFY(w.Check3->isChecked());
    }

    void okSavesTheFlagsAndHides() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Toolbar toolbar;
        Optionvelmor w(toolbar.pret, toolbar.retour, sheets.lookup());
        w.open();
        w.Check1->setChecked(false);
        w.Check4->setChecked(false);
        QTest::mouseClick(w.okoption, Qt::LeftButton);
        QCOMPARE(flag(QStringLiteral("optionimage")), QStringLiteral("0"));
        QCOMPARE(flag(QStringLiteral("optionimage"), QStringLiteral("1")), QStringLiteral("0"));
        QCOMPARE(flag(QStringLiteral("nomfeuillepret")), QStringLiteral("1"));
        QCOMPARE(flag(QStringLiteral("nomfeuilleretour")), QStringLiteral("1"));
        QCOMPARE(flag(QStringLiteral("affichepret")), QStringLiteral("0"));
        QCOMPARE(flag(QStringLiteral("afficheretour")), QStringLiteral("1"));
        QVERIFY(!w.isVisible());
        // The boxes keep their state, and the same window opens again.
        QVERIFY(!w.Check1->isChecked());
        w.open();
        QVERIFY(w.isVisible());
        QVERIFY(!w.Check1->isChecked());
        QVERIFY(!w.Check4->isChecked());
        QVERIFY(w.Check5->isChecked());

        // "ok" twice: same values.
        w.okoption_Click();
        w.okoption_Click();
        QCOMPARE(flag(QStringLiteral("affichepret")), QStringLiteral("0"));
        QCOMPARE(flag(QStringLiteral("optionimage")), QStringLiteral("0"));
    }

    void okShowsOrHidesTheToolbarButtonsAtOnce() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Toolbar toolbar;
        const QRect retourPlace = toolbar.retour->geometry();
        Optionvelmor w(toolbar.pret, toolbar.retour, sheets.lookup());
        w.open();
        w.Check4->setChecked(false);
        w.okoption_Click();
        QVERIFY(toolbar.pret->isHidden());
        QVERIFY(!toolbar.retour->isHidden());
        QCOMPARE(toolbar.retour->geometry(), retourPlace);

        w.open();
        w.Check4->setChecked(true);
        w.Check5->setChecked(false);
        w.okoption_Click();
        QVERIFY(!toolbar.pret->isHidden());
        QVERIFY(toolbar.retour->isHidden());

        // A new toolbar (the next run's main window) shows both buttons until
        // "ok" is pressed again; the window shows the stored choice.
        Toolbar next;
        QVERIFY(!next.pret->isHidden());
        QVERIFY(!next.retour->isHidden());
        Optionvelmor again(next.pret, next.retour, sheets.lookup());
        again.open();
        QVERIFY(again.Check4->isChecked());
        QVERIFY(!again.Check5->isChecked());
        QVERIFY(!next.retour->isHidden());
    }

    // "ok" loads the stored picture into the sheet the marker names only.
    void okLoadsThePictureIntoTheMarkedSheet_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("file");
        QTest::newRow("retour") << QStringLiteral("0") << QStringLiteral("rouge.jpg");
        QTest::newRow("prêt") << QStringLiteral("1") << QStringLiteral("rouge.bmp");
    }
    void okLoadsThePictureIntoTheMarkedSheet() {
        QFETCH(QString, marker);
        QFETCH(QString, file);
        SettingsSandbox sandbox;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        settings::save(kOption, kOption, QStringLiteral("cheminimage"),
                       writePicture(folder.path(), file, Qt::red));
        saveMarker(marker);
        sheets.lookup()(SheetHost::Sheet::Return, true);
        sheets.lookup()(SheetHost::Sheet::Loan, true);
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        w.okoption_Click();
        const bool loan = marker == QStringLiteral("1");
        QVERIFY(showsColour(loan ? sheets.loanSheet() : sheets.returnSheet(), Qt::red));
        QVERIFY(showsBuiltPicture(loan ? sheets.returnSheet() : sheets.loanSheet()));
    }

    void okWithTheImageBoxClearedHidesTheCurrentSheetsImageOnly() {
        SettingsSandbox sandbox;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        settings::save(kOption, kOption, QStringLiteral("cheminimage"),
                       writePicture(folder.path(), QStringLiteral("bleu.png"), Qt::blue));
        saveMarker(QStringLiteral("1"));
        auto* loan = sheets.lookup()(SheetHost::Sheet::Loan, true);
        auto* ret = sheets.lookup()(SheetHost::Sheet::Return, true);
        loan->show();
        ret->show();
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        w.Check1->setChecked(false);
        w.okoption_Click();
        QVERIFY(loan->backgroundImage()->isHidden());
        QVERIFY(!ret->backgroundImage()->isHidden());
        QVERIFY(showsBuiltPicture(sheets.loanSheet()));

        // Checking it again loads the picture but does not show the image.
        w.open();
        w.Check1->setChecked(true);
        w.okoption_Click();
        QVERIFY(showsColour(sheets.loanSheet(), Qt::blue));
        QVERIFY(loan->backgroundImage()->isHidden());
    }

    void okWithoutAStoredPictureUsesItsOwnDefault() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("0"));
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        w.okoption_Click();
        QVERIFY(sheets.returnSheet());
        QVERIFY(showsBuiltPicture(sheets.returnSheet())); // no such file here
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("<absent>"));
    }

    void okCreatesTheSheetTheMarkerNames() {
        // The marker was left by an earlier run; that sheet was not opened
        // in this one.
        SettingsSandbox sandbox;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        const QString blue = writePicture(folder.path(), QStringLiteral("bleu.jpg"), Qt::blue);
        settings::save(kOption, kOption, QStringLiteral("cheminimage"), blue);
        saveMarker(QStringLiteral("1"));
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        w.okoption_Click();
        QCOMPARE(sheets.created, 1);
        QVERIFY(sheets.loanSheet());
        QVERIFY(!sheets.returnSheet());
        QVERIFY(showsColour(sheets.loanSheet(), Qt::blue));
        QVERIFY(sheets.loanSheet()->isHidden());   // created, not shown
        QVERIFY(!sheets.loanSheet()->isLoaded()); // its load step waits for "Prêt"
        QVERIFY(!w.isVisible());
    }

    void okWithoutAUsableMarkerChangesNoSheet_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<bool>("store");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("text") << QStringLiteral("pret") << true;
        QTest::newRow("two") << QStringLiteral("2") << true;
        QTest::newRow("minus one") << QStringLiteral("-1") << true;
    }

    void okWithoutAUsableMarkerChangesNoSheet() {
        QFETCH(QString, marker);
        QFETCH(bool, store);
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Toolbar toolbar;
        if (store)
            saveMarker(marker);
        Optionvelmor w(toolbar.pret, toolbar.retour, sheets.lookup());
        w.open();
        w.Check5->setChecked(false);
        w.okoption_Click();
        QCOMPARE(sheets.created, 0);
        // The flags and the buttons were done all the same.
        QCOMPARE(flag(QStringLiteral("afficheretour")), QStringLiteral("0"));
        QVERIFY(toolbar.retour->isHidden());
        QVERIFY(!w.isVisible());
    }

    void okWithAnUnreadablePictureKeepsTheSheetsPicture() {
        SettingsSandbox sandbox;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        const QString notAPicture = QDir(folder.path()).filePath(QStringLiteral("faux.jpg"));
        QFile file(notAPicture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("pas une image");
        file.close();
        saveMarker(QStringLiteral("0"));
        auto* ret = sheets.lookup()(SheetHost::Sheet::Return, true);
        const QImage before = ret->backgroundImage()->pixmap().toImage();
        for (const QString& path :
             {notAPicture, QDir(folder.path()).filePath(QStringLiteral("absente.jpg"))}) {
            settings::save(kOption, kOption, QStringLiteral("cheminimage"), path);
            Optionvelmor w(nullptr, nullptr, sheets.lookup());
            w.open();
            w.okoption_Click();
            QVERIFY(!w.isVisible());
            QCOMPARE(ret->backgroundImage()->pixmap().toImage(), before);
        }
    }

    void changerHandsTheFilterToTheDialog() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        dialogs.queueOpenFile(QStringLiteral("/images/fond.jpg"));
        QTest::mouseClick(w.changer, Qt::LeftButton);
        const auto calls = dialogs.calls(ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].filter, QStringLiteral("Tous les fichiers (*.*);;Fichiers jpg(*.jpg);;"
                                                 "Fichiers Bitmap (*.bmp)"));
        QCOMPARE(calls[0].selectedFilter, QStringLiteral("Fichiers jpg(*.jpg)"));
        QCOMPARE(calls[0].parent, &w);
        QVERIFY(calls[0].startPath.isEmpty());
        QCOMPARE(w.CommonDialog1.filter(),
                 QStringLiteral("Tous les fichiers (*.*)|*.*|Fichiers jpg(*.jpg)|*.jpg|"
                                "Fichiers Bitmap (*.bmp)|*.bmp"));
        QCOMPARE(w.CommonDialog1.filterIndex(), 2);
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("/images/fond.jpg"));
        // "Changer" shows nothing yet.
        QCOMPARE(sheets.created, 0);

        // The dialog starts from the file picked last.
        dialogs.queueOpenFile(QStringLiteral("/images/autre.bmp"));
        w.changer_Click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::OpenFile).at(1).startPath,
                 QStringLiteral("/images/fond.jpg"));
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("/images/autre.bmp"));
        QCOMPARE(dialogs.unansweredCalls(), 0);
    }

    void changerCancelledWithoutAnEarlierPathStoresTheDefault() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        dialogs.queueOpenFile(std::nullopt);
        w.changer_Click();
        QCOMPARE(flag(QStringLiteral("cheminimage")), paths::defaultSheetImage());
        QVERIFY(paths::defaultSheetImage().endsWith(QStringLiteral("velmor2.jpg")));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void changerCancelledAfterAnEarlierPathKeepsIt() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        SheetsOnDemand sheets;
        settings::save(kOption, kOption, QStringLiteral("cheminimage"),
                       QStringLiteral("C:\\images\\été.jpg"));
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        dialogs.queueOpenFile(std::nullopt);
        w.changer_Click();
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("C:\\images\\été.jpg"));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void changerThenOkShowsTheNewPicture() {
        SettingsSandbox sandbox;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        SheetsOnDemand sheets;
        saveMarker(QStringLiteral("0"));
        auto* ret = sheets.lookup()(SheetHost::Sheet::Return, true);
        ret->show();
        const QString picked =
            writePicture(folder.path(), QStringLiteral("choisie.jpg"), Qt::yellow);
        Optionvelmor w(nullptr, nullptr, sheets.lookup());
        w.open();
        dialogs.queueOpenFile(picked);
        w.changer_Click();
        QVERIFY(showsBuiltPicture(sheets.returnSheet()));
        w.okoption_Click();
        QVERIFY(showsColour(sheets.returnSheet(), Qt::yellow));
        QVERIFY(ret->backgroundImage()->isVisible());
    }

    void menusKeepOneWindowAndRecreateItAfterClose() {
        SettingsSandbox sandbox;
        SheetsOnDemand sheets;
        Toolbar toolbar;
        QWidget mainWindow;
        CommonDialog commonDialog;
        QAction option(QStringLiteral("option"));
        OptionsMenus* menus = installOptions(&mainWindow, commonDialog, &option, nullptr, nullptr,
                                             toolbar.pret, toolbar.retour, sheets.lookup());
        QVERIFY(!menus->optionsWindow());
        option.trigger();
        QPointer<Optionvelmor> first = menus->optionsWindow();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        first->Check2->setChecked(false);
        first->okoption_Click();
        option.trigger();
        QCOMPARE(menus->optionsWindow(), first.data());
        QVERIFY(!first->Check2->isChecked());
        option.trigger(); // already open: same window, boxes read again
        QCOMPARE(menus->optionsWindow(), first.data());
        int windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            windows += qobject_cast<Optionvelmor*>(top) != nullptr;
        QCOMPARE(windows, 1);

        // The close box discards it without saving.
        first->Check3->setChecked(false);
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());
        QCOMPARE(flag(QStringLiteral("nomfeuilleretour")), QStringLiteral("1"));
        option.trigger();
        QVERIFY(menus->optionsWindow());
        QVERIFY(menus->optionsWindow()->Check3->isChecked());
        QVERIFY(!menus->optionsWindow()->Check2->isChecked());
    }
};

QTEST_MAIN(OptionsWindowTest)
#include "options_window_test.moc"
