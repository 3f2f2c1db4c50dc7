// What screen readers and the keyboard see of the windows with labelled
// controls: the options window, the login window and both record sheets.
// Every label that names a control has that control as its buddy, and every
// control the user types into or ticks has a name (its own, or its label's).
// Nothing of this changes what the windows show.
#include "options/options_window.h"
#include "sheets/pretmat.h"
#include "sheets/retour.h"
#include "shell/login_window.h"
#include "shell/look.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace velmor;

namespace {

// Whether some label of `window` has `control` as its buddy, and its text.
QString buddyText(const QWidget& window, const QWidget* control) {
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy() == control)
            return label->text();
    return QString();
}

// Every line edit and check box of `window` has an accessible name or a
// label whose buddy it is.
void everyControlIsNamed(const QWidget& window) {
    QList<QWidget*> controls;
    for (QLineEdit* edit : window.findChildren<QLineEdit*>())
        controls << edit;
    for (QCheckBox* box : window.findChildren<QCheckBox*>())
        controls << box;
    QVERIFY(!controls.isEmpty());
    for (QWidget* control : controls) {
        const bool named = !control->accessibleName().trimmed().isEmpty() ||
                           !buddyText(window, control).trimmed().isEmpty();
        QVERIFY2(named, qPrintable(window.objectName() + QLatin1Char('/') + control->objectName()));
    }
}

// Each label names its control: same window, buddy set.
void labelsAreBuddies(const QList<std::pair<QLabel*, QWidget*>>& pairs) {
    for (const auto& [label, control] : pairs) {
        QVERIFY(label && control);
        QVERIFY2(label->buddy() == control,
                 qPrintable(label->objectName() + QStringLiteral(" -> ") + control->objectName()));
    }
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void optionsWindow() {
        QWidget toolbar;
        auto* pret = new QPushButton(QStringLiteral("Prêt"), &toolbar);
        auto* retourButton = new QPushButton(QStringLiteral("Retour"), &toolbar);
        Optionvelmor window(pret, retourButton, {});
        labelsAreBuddies({{window.option1, window.Check1},
                          {window.nomfeuillepret, window.Check2},
                          {window.nomfeuilleretour, window.Check3},
                          {window.affichepret, window.Check4},
                          {window.utilisationretour, window.Check5}});
        // The boxes keep no text of their own; their accessible name is
        // their label's text.
        const std::pair<QCheckBox*, QLabel*> boxes[] = {{window.Check1, window.option1},
                                                        {window.Check2, window.nomfeuillepret},
                                                        {window.Check3, window.nomfeuilleretour},
                                                        {window.Check4, window.affichepret},
                                                        {window.Check5, window.utilisationretour}};
        for (const auto& [box, label] : boxes) {
            QCOMPARE(box->text(), QString());
            QCOMPARE(box->accessibleName(), label->text());
        }
        everyControlIsNamed(window);

        // Clicking a label still leaves its box alone.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const bool before = window.Check2->isChecked();
        QTest::mouseClick(window.nomfeuillepret, Qt::LeftButton);
        QCOMPARE(window.Check2->isChecked(), before);
        window.close();
    }

    void loginWindow() {
        LoginWindow session;
        labelsAreBuddies({{session.nomutilisateur, session.entreesaisie}});
        QCOMPARE(buddyText(session, session.entreesaisie), QStringLiteral("Nom d'utilisateur :"));
        everyControlIsNamed(session);
    }

    void returnSheet() {
        retour sheet;
        labelsAreBuddies({{sheet.emetteur1, sheet.emetteurS2},
                          {sheet.accord1, sheet.accordS1},
                          {sheet.dataacc1, sheet.dateaccordS1},
                          {sheet.client1, sheet.clientS1},
                          {sheet.materiel1, sheet.materielS1},
                          {sheet.motif1, sheet.motifretour1},
                          {sheet.date1, sheet.datereceptionS1},
                          {sheet.parqui1, sheet.parquiS1},
                          {sheet.dateretour1, sheet.dateretourS1},
                          {sheet.reparation1, sheet.reparationS1},
                          {sheet.intervqui1, sheet.intervquiS1}});
        everyControlIsNamed(sheet);
    }

    void loanSheet() {
        Pretmat sheet;
        labelsAreBuddies({{sheet.emetteur2, sheet.emetteurS2},
                          {sheet.numaccord2, sheet.numaccordS2},
                          {sheet.dateaccord2, sheet.dateaccordS2},
                          {sheet.client2, sheet.clientS2},
                          {sheet.materiel2, sheet.materielS2},
                          {sheet.motif2, sheet.motifS2},
                          {sheet.daterecep2, sheet.parqiuS2},
                          {sheet.dateenvoip, sheet.dateenvoiS2},
                          {sheet.Label1, sheet.retourmatkcS2},
                          {sheet.Label2, sheet.dateretourhsS2},
                          {sheet.rdz2, sheet.rdzS2}});
        everyControlIsNamed(sheet);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
