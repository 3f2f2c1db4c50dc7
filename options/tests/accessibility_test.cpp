// What screen readers and the keyboard see of the windows with labelled
// controls: every control the user types into or ticks has a name, its own
// or the text of the label whose buddy it is.
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

#include <memory>

using namespace velmor;

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installLook(*qApp); }

    void everyControlIsNamed_data() {
        QTest::addColumn<int>("window");
        QTest::newRow("Optionvelmor") << 0;
        QTest::newRow("login") << 1;
        QTest::newRow("retour") << 2;
        QTest::newRow("Pretmat") << 3;
    }
    void everyControlIsNamed() {
        QFETCH(int, window);
        QWidget toolbar;
        std::unique_ptr<QWidget> shown;
        if (window == 0)
            shown = std::make_unique<Optionvelmor>(new QPushButton(&toolbar), new QPushButton(&toolbar),
                                                   SheetLookup{});
        else if (window == 1)
            shown = std::make_unique<LoginWindow>();
        else if (window == 2)
            shown = std::make_unique<retour>();
        else
            shown = std::make_unique<Pretmat>();

        QList<QWidget*> controls;
        for (QLineEdit* edit : shown->findChildren<QLineEdit*>())
            controls << edit;
        for (QCheckBox* box : shown->findChildren<QCheckBox*>())
            controls << box;
        QVERIFY(!controls.isEmpty());
        for (QWidget* control : controls) {
            QString name = control->accessibleName();
            for (const QLabel* label : shown->findChildren<QLabel*>())
                if (label->buddy() == control)
                    name += label->text();
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(control->objectName()));
        }
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
