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

#include <memory>

using namespace velmor;
using namespace velmor::testing;

namespace {

const QString kOption = QStringLiteral("option");

QString flag(const QString& key) {
    return settings::read(kOption, kOption, key, QStringLiteral("<absent>"));
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

// Every test starts from an empty store, scripted dialogs, a scratch folder,
// the two sheets on demand and the window (opened) wired to a toolbar.
class OptionsWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SettingsSandbox> sandbox;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<SheetsOnDemand> sheets;
    std::unique_ptr<Toolbar> toolbar;

    std::unique_ptr<Optionvelmor> openWindow() {
        auto w = std::make_unique<Optionvelmor>(toolbar->pret, toolbar->retour, sheets->lookup());
        w->open();
        return w;
    }
    void savePicture(const QString& name, const QColor& colour) {
        saveFlag(QStringLiteral("cheminimage"), writePicture(folder->path(), name, colour));
    }

private slots:
    void initTestCase() { installLook(*qApp); }
    void init() {
        sandbox = std::make_unique<SettingsSandbox>();
        dialogs = std::make_unique<ScriptedDialogs>();
        folder = std::make_unique<QTemporaryDir>();
        sheets = std::make_unique<SheetsOnDemand>();
        toolbar = std::make_unique<Toolbar>();
    }
    void cleanup() {
        toolbar.reset();
        sheets.reset();
        folder.reset();
        dialogs.reset();
        sandbox.reset();
    }

    // Each label names its box (keyboard, screen readers), in order from the
    // title down to "ok"; clicking a label still leaves its box alone.
    void controlsAndLayout() {
        auto w = openWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->objectName(), QStringLiteral("Optionvelmor"));
        QVERIFY(w->isWindow());
        const QList<QLabel*> labels = {w->option1, w->nomfeuillepret, w->nomfeuilleretour,
                                       w->affichepret, w->utilisationretour};
        const QStringList texts = {"image de fond d'ecran", "Nom de la feuille de prêt", "Nom de la feuille de retour",
                                   "Utilisation de la feuille de prêt", "Utilisation de la feuille de retour"};
        int previous = w->Label1->geometry().bottom();
        for (int i = 0; i < 5; ++i) {
            QCheckBox* box = boxes(*w)[i];
            QVERIFY(box->text().isEmpty()); // the text is a separate label
            QCOMPARE(labels[i]->text(), texts[i]);
            QCOMPARE(labels[i]->buddy(), box);
            QCOMPARE(box->accessibleName(), texts[i]);
            QVERIFY(box->geometry().top() > previous);
            previous = box->geometry().top();
        }
        QVERIFY(w->okoption->geometry().top() > w->Check5->geometry().bottom());
        QVERIFY(w->okoption->geometry().center().x() > w->width() / 2);
        QVERIFY(w->changer->geometry().left() > w->option1->geometry().left());
        QVERIFY(qAbs(w->changer->geometry().center().y() - w->Check1->geometry().center().y()) < 10);
        for (QWidget* child : w->findChildren<QWidget*>())
            QVERIFY2(w->rect().contains(child->geometry()), qPrintable(child->objectName()));

        QTest::mouseClick(w->nomfeuillepret, Qt::LeftButton);
        QVERIFY(w->Check2->isChecked());
        QTest::mouseClick(w->Check2, Qt::LeftButton);
        QVERIFY(!w->Check2->isChecked());
    }

    // Opening sets each box from its own flag alone: missing 1, "1" and
    // "1.0" check it, "0" and texts that are no number clear it, another
    // number leaves it as it was (an unconfirmed change is dropped only
    // when the flag says so). Opening stores nothing and creates no sheet.
    void boxesReadTheStore_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("expected");
        QTest::newRow("missing") << QString() << false << true;
        QTest::newRow("0") << QStringLiteral("0") << true << false;
        QTest::newRow("1") << QStringLiteral("1") << false << true;
        QTest::newRow("1.0") << QStringLiteral("1.0") << false << true;
        QTest::newRow("2, checked") << QStringLiteral("2") << true << true;
        QTest::newRow("2, cleared") << QStringLiteral("2") << false << false;
        QTest::newRow("abc") << QStringLiteral("abc") << true << false;
        QTest::newRow("empty") << QStringLiteral("") << true << false;
    }
    void boxesReadTheStore() {
        QFETCH(QString, stored);
        QFETCH(bool, before);
        QFETCH(bool, expected);
        for (int i = 0; i < 5; ++i) {
            SettingsSandbox fresh;
            auto w = openWindow();
            boxes(*w)[i]->setChecked(before);
            if (!stored.isNull())
                saveFlag(kFlagKeys[i], stored);
            w->open();
            for (int j = 0; j < 5; ++j)
                QCOMPARE(boxes(*w)[j]->isChecked(), j == i ? expected : true);
            for (int j = 0; j < 5; ++j)
                QCOMPARE(flag(kFlagKeys[j]), j == i && !stored.isNull() ? stored : QStringLiteral("<absent>"));
        }
        QCOMPARE(sheets->created, 0);
    }

    // "ok" stores every flag, sets the toolbar buttons at once (the others
    // keep their place), hides the window; the boxes keep their state.
    void okSavesTheFlagsAndSetsTheButtons() {
        auto w = openWindow();
        const QRect retourPlace = toolbar->retour->geometry();
        w->Check1->setChecked(false);
        w->Check4->setChecked(false);
        QTest::mouseClick(w->okoption, Qt::LeftButton);
        QCOMPARE(QStringList({flag(kFlagKeys[0]), flag(kFlagKeys[1]), flag(kFlagKeys[2]), flag(kFlagKeys[3]),
                              flag(kFlagKeys[4])}),
                 QStringList({"0", "1", "1", "0", "1"}));
        QVERIFY(!w->isVisible());
        QVERIFY(toolbar->pret->isHidden());
        QVERIFY(!toolbar->retour->isHidden());
        QCOMPARE(toolbar->retour->geometry(), retourPlace);
        w->open();
        QVERIFY(w->isVisible());
        QVERIFY(!w->Check1->isChecked() && !w->Check4->isChecked() && w->Check5->isChecked());

        w->Check4->setChecked(true);
        w->Check5->setChecked(false);
        w->okoption_Click();
        w->okoption_Click(); // twice: the same
        QVERIFY(!toolbar->pret->isHidden());
        QVERIFY(toolbar->retour->isHidden());
        QCOMPARE(flag(kFlagKeys[3]), QStringLiteral("1"));
        QCOMPARE(flag(kFlagKeys[0]), QStringLiteral("0"));
    }

    // "ok" loads the stored picture into the sheet the marker names only,
    // creating that sheet (hidden, not loaded) when it does not exist yet.
    void okLoadsThePictureIntoTheMarkedSheet_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("existing");
        QTest::newRow("retour") << QStringLiteral("0") << QStringLiteral("rouge.jpg") << true;
        QTest::newRow("prêt") << QStringLiteral("1") << QStringLiteral("rouge.bmp") << true;
        QTest::newRow("prêt, pas encore créée") << QStringLiteral("1") << QStringLiteral("rouge.jpg") << false;
    }
    void okLoadsThePictureIntoTheMarkedSheet() {
        QFETCH(QString, marker);
        QFETCH(QString, file);
        QFETCH(bool, existing);
        savePicture(file, Qt::red);
        saveMarker(marker);
        if (existing) {
            sheets->lookup()(SheetHost::Sheet::Return, true);
            sheets->lookup()(SheetHost::Sheet::Loan, true);
        }
        openWindow()->okoption_Click();
        const bool loan = marker == QStringLiteral("1");
        RecordSheet* marked = loan ? sheets->loanSheet() : sheets->returnSheet();
        RecordSheet* other = loan ? sheets->returnSheet() : sheets->loanSheet();
        QVERIFY(marked);
        QVERIFY(showsColour(marked, Qt::red));
        if (existing) {
            QVERIFY(showsBuiltPicture(other));
        } else {
            QCOMPARE(sheets->created, 1);
            QVERIFY(!other);
            QVERIFY(marked->isHidden());
            QVERIFY(!marked->isLoaded()); // its load step waits for "Prêt"
        }
    }

    void okWithTheImageBoxClearedHidesTheCurrentSheetsImageOnly() {
        savePicture(QStringLiteral("bleu.png"), Qt::blue);
        saveMarker(QStringLiteral("1"));
        auto* loan = sheets->lookup()(SheetHost::Sheet::Loan, true);
        auto* ret = sheets->lookup()(SheetHost::Sheet::Return, true);
        loan->show();
        ret->show();
        auto w = openWindow();
        w->Check1->setChecked(false);
        w->okoption_Click();
        QVERIFY(loan->backgroundImage()->isHidden());
        QVERIFY(!ret->backgroundImage()->isHidden());
        QVERIFY(showsBuiltPicture(loan));

        // Checking it again loads the picture but does not show the image.
        w->open();
        w->Check1->setChecked(true);
        w->okoption_Click();
        QVERIFY(showsColour(loan, Qt::blue));
        QVERIFY(loan->backgroundImage()->isHidden());
    }

    // A picture path that is not stored, not a picture or not there leaves
    // the sheet's own picture; a marker naming no sheet changes no sheet,
    // while the flags and buttons are done all the same.
    void okWithoutAUsablePictureOrMarker_data() {
        QTest::addColumn<QString>("marker"); // null: not stored
        QTest::addColumn<QString>("picture"); // null: not stored
        QTest::newRow("sans image") << QStringLiteral("0") << QString();
        QTest::newRow("pas une image") << QStringLiteral("0") << QStringLiteral("faux.jpg");
        QTest::newRow("image absente") << QStringLiteral("0") << QStringLiteral("absente.jpg");
        QTest::newRow("marqueur absent") << QString() << QString();
        QTest::newRow("marqueur vide") << QStringLiteral("") << QString();
        QTest::newRow("marqueur texte") << QStringLiteral("pret") << QString();
        QTest::newRow("marqueur 2") << QStringLiteral("2") << QString();
        QTest::newRow("marqueur -1") << QStringLiteral("-1") << QString();
    }
    void okWithoutAUsablePictureOrMarker() {
        QFETCH(QString, marker);
        QFETCH(QString, picture);
        if (!marker.isNull())
            saveMarker(marker);
        if (!picture.isNull()) {
            const QString path = QDir(folder->path()).filePath(picture);
            QFile file(path);
            if (picture == QStringLiteral("faux.jpg")) {
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("pas une image");
                file.close();
            }
            saveFlag(QStringLiteral("cheminimage"), path);
        }
        auto w = openWindow();
        w->Check5->setChecked(false);
        w->okoption_Click();
        QVERIFY(!w->isVisible());
        QCOMPARE(flag(kFlagKeys[4]), QStringLiteral("0"));
        QVERIFY(toolbar->retour->isHidden());
        if (marker == QStringLiteral("0")) {
            QVERIFY(showsBuiltPicture(sheets->returnSheet()));
            if (picture.isNull())
                QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("<absent>"));
        } else {
            QCOMPARE(sheets->created, 0);
        }
    }

    // "Changer" hands the filter to the dialog and stores the file picked;
    // the dialog starts from the file picked last; nothing is shown yet.
    void changerHandsTheFilterToTheDialog() {
        auto w = openWindow();
        dialogs->queueOpenFile(QStringLiteral("/images/fond.jpg"));
        QTest::mouseClick(w->changer, Qt::LeftButton);
        const auto calls = dialogs->calls(ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].filter, QStringLiteral("Tous les fichiers (*.*);;Fichiers jpg(*.jpg);;"
                                                 "Fichiers Bitmap (*.bmp)"));
        QCOMPARE(calls[0].selectedFilter, QStringLiteral("Fichiers jpg(*.jpg)"));
        QCOMPARE(calls[0].parent, w.get());
        QVERIFY(calls[0].startPath.isEmpty());
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("/images/fond.jpg"));
        QCOMPARE(sheets->created, 0);

        dialogs->queueOpenFile(QStringLiteral("/images/autre.bmp"));
        w->changer_Click();
        QCOMPARE(dialogs->calls(ScriptedDialogs::Kind::OpenFile).at(1).startPath,
                 QStringLiteral("/images/fond.jpg"));
        QCOMPARE(flag(QStringLiteral("cheminimage")), QStringLiteral("/images/autre.bmp"));
        QCOMPARE(dialogs->unansweredCalls(), 0);
    }

    // Cancelled, "Changer" keeps the earlier path, or stores the default
    // picture when there was none.
    void changerCancelled_data() {
        QTest::addColumn<QString>("earlier");
        QTest::newRow("sans chemin") << QString();
        QTest::newRow("avec chemin") << QStringLiteral("C:\\images\\été.jpg");
    }
    void changerCancelled() {
        QFETCH(QString, earlier);
        if (!earlier.isNull())
            saveFlag(QStringLiteral("cheminimage"), earlier);
        auto w = openWindow();
        dialogs->queueOpenFile(std::nullopt);
        w->changer_Click();
        QCOMPARE(flag(QStringLiteral("cheminimage")), earlier.isNull() ? paths::defaultSheetImage() : earlier);
        QVERIFY(paths::defaultSheetImage().endsWith(QStringLiteral("velmor2.jpg")));
        QVERIFY(dialogs->messages().isEmpty());
    }

    void changerThenOkShowsTheNewPicture() {
        saveMarker(QStringLiteral("0"));
        auto* ret = sheets->lookup()(SheetHost::Sheet::Return, true);
        ret->show();
        auto w = openWindow();
        dialogs->queueOpenFile(writePicture(folder->path(), QStringLiteral("choisie.jpg"), Qt::yellow));
        w->changer_Click();
        QVERIFY(showsBuiltPicture(ret));
        w->okoption_Click();
        QVERIFY(showsColour(ret, Qt::yellow));
        QVERIFY(ret->backgroundImage()->isVisible());
    }

    void menusKeepOneWindowAndRecreateItAfterClose() {
        QWidget mainWindow;
        CommonDialog commonDialog;
        QAction option(QStringLiteral("option"));
        OptionsMenus* menus = installOptions(&mainWindow, commonDialog, &option, nullptr, nullptr,
                                             toolbar->pret, toolbar->retour, sheets->lookup());
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
        QCOMPARE(flag(kFlagKeys[2]), QStringLiteral("1"));
        option.trigger();
        QVERIFY(menus->optionsWindow());
        QVERIFY(menus->optionsWindow()->Check3->isChecked());
        QVERIFY(!menus->optionsWindow()->Check2->isChecked());
    }
};

QTEST_MAIN(OptionsWindowTest)
#include "options_window_test.moc"
