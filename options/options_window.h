// The options window `Optionvelmor`: the background picture of the record
// sheets and five display choices, each kept as a "1"/"0" flag in the
// settings store (application and section `option`).
#pragma once

#include "options/sheet_lookup.h"
#include "shell/common_dialog.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QCheckBox;
class QSpinBox;
class QLabel;
class QPushButton;

namespace velmor {

class Optionvelmor : public QWidget {
    Q_OBJECT
public:
    // `pretButton` and `retourButton` are the main window's "Prêt" and
    // "Retour" toolbar buttons, whose visibility "ok" sets; `sheets` reaches
    // the record sheets. The window is a top-level window of its own.
    Optionvelmor(QWidget* pretButton, QWidget* retourButton, SheetLookup sheets,
                 QWidget* parent = nullptr);

    // The menu entry "option": sets the boxes from the store, then shows the
    // window (not modal) in front.
    void open();
    // Sets each box from its flag: 1 checks it, 0 clears it, anything else
    // (another number, a text that is no number) leaves it as it is.
    void readFlags();

    // "Changer": choose the background picture (saved as `cheminimage`).
    void changer_Click();
    // "ok": save the flags, show or hide "Prêt" and "Retour", apply the
    // picture choice to the current sheet, hide the window.
    void okoption_Click();

    // Controls.
    QLabel* Label1;
    QCheckBox* Check1;
    QLabel* option1;
    QPushButton* changer;
    QCheckBox* Check2;
    QLabel* nomfeuillepret;
    QCheckBox* Check3;
    QLabel* nomfeuilleretour;
    QCheckBox* Check4;
    QLabel* affichepret;
    QCheckBox* Check5;
    QLabel* utilisationretour;
    // Days after which an outstanding row stands out in the lists
    // (`joursencours`).
    QSpinBox* joursEnCours;
    QLabel* joursEnCoursLabel;
    QPushButton* okoption;
    // The window's own file dialog, used by "Changer"; it starts from the
    // file picked last while this window exists.
    CommonDialog CommonDialog1;

private:
    void applyPicture();

    QPointer<QWidget> pretButton_;
    QPointer<QWidget> retourButton_;
    SheetLookup sheets_;
};

} // namespace velmor
