// The about window `aproposv2`: product name, version and credits; "ok"
// hides it.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velmor {

class aproposv2 : public QWidget {
    Q_OBJECT
public:
    explicit aproposv2(QWidget* parent = nullptr);

    // The menu entry "à propos de": shows the window held in `slot`, first
    // creating it when there is none (never opened, or discarded by its
    // close box). Returns the window shown.
    static aproposv2* showIn(QPointer<aproposv2>& slot);

    void Command1_Click(); // "ok": hide

    QLabel* propos;
    QLabel* Label4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* Command1;
};

} // namespace velmor
