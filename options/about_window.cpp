#include "options/about_window.h"

#include "shell/look.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmor {

namespace {

QLabel* centredLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

void makeBlue(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
}

} // namespace

aproposv2::aproposv2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("aproposv2"));
    setWindowTitle(QStringLiteral("a propos"));
    setAttribute(Qt::WA_DeleteOnClose); // the close box discards the window
    setAttribute(Qt::WA_QuitOnClose, false);

    propos = centredLabel(this, "propos", QStringLiteral("VELMOR"));
    propos->setFont(windowFont(QStringLiteral("Times New Roman"), 24, true));
    makeBlue(propos);

    Label4 = centredLabel(this, "Label4", QStringLiteral("V 2.0"));
    makeBlue(Label4);

    Label1 = centredLabel(this, "Label1", QStringLiteral("développé par"));
    Label1->setFont(windowFont(QStringLiteral("MS Sans Serif"), 8.25, true, true));

    Label2 = centredLabel(this, "Label2", QStringLiteral("l'équipe du projet Velmor"));
    Label2->setFont(windowFont(QStringLiteral("Courier New"), 9.75));
    Label3 = centredLabel(this, "Label3", QStringLiteral("velmor.example.org"));
    Label3->setFont(windowFont(QStringLiteral("Courier New"), 9.75));

    Command1 = new QPushButton(QStringLiteral("ok"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Command1, &QPushButton::clicked, this, &aproposv2::Command1_Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 20, 16, 16);
    layout->addWidget(propos);
    layout->addSpacing(6);
    layout->addWidget(Label4);
    layout->addStretch(1);
    layout->addWidget(Label1);
    layout->addSpacing(10);
    layout->addWidget(Label2);
    layout->addSpacing(4);
    layout->addWidget(Label3);
    layout->addStretch(1);
    layout->addWidget(Command1, 0, Qt::AlignHCenter);

    resize(343, 313);
}

aproposv2* aproposv2::showIn(QPointer<aproposv2>& slot) {
    if (!slot)
        slot = new aproposv2;
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

void aproposv2::Command1_Click() {
    hide();
}

} // namespace velmor
