#include "shell/login_window.h"

#include "shell/dialogs.h"
#include "shell/look.h"
#include "shell/main_window.h"
#include "shell/settings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmor {

LoginWindow::LoginWindow(std::function<void(MainWindow&)> setUpMainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      setUpMainWindow_(std::move(setUpMainWindow)) {
    setObjectName(QStringLiteral("session"));
    setWindowTitle(QStringLiteral("Ouverture de session Velmor"));
    setFixedSize(twips(2610), twips(3030)); // 174 x 202 pixels

    const int width = twips(2610);

    nomutilisateur = new QLabel(QStringLiteral("Nom d'utilisateur :"), this);
    nomutilisateur->setObjectName(QStringLiteral("nomutilisateur"));
    nomutilisateur->setFont(windowFont(QStringLiteral("MS Sans Serif"), 12, true));
    nomutilisateur->setAlignment(Qt::AlignCenter);
    nomutilisateur->setGeometry(4, twips(480), width - 8, twips(375));

    entreesaisie = new QLineEdit(this);
    entreesaisie->setObjectName(QStringLiteral("entreesaisie"));
    const int boxWidth = twips(2055);
    entreesaisie->setGeometry((width - boxWidth) / 2, twips(1200), boxWidth, twips(375));

    okutilisateur = new QPushButton(QStringLiteral("ok"), this);
    okutilisateur->setObjectName(QStringLiteral("okutilisateur"));
    const int buttonWidth = twips(1095);
    okutilisateur->setGeometry((width - buttonWidth) / 2, twips(1920), buttonWidth, twips(495));
    okutilisateur->setDefault(true);

    // The label names the text box (for screen readers as well).
    nomutilisateur->setBuddy(entreesaisie);

    setTabOrder(entreesaisie, okutilisateur);
    entreesaisie->setFocus();
    connect(okutilisateur, &QPushButton::clicked, this, &LoginWindow::confirm);
}

LoginWindow::~LoginWindow() = default;

void LoginWindow::confirm() {
    const QString name = entreesaisie->text();
    if (name.isEmpty()) {
        dialogs().message(this, QStringLiteral("Veuillez entrer votre nom svp "),
                          applicationTitle());
        return;
    }
    settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("util"),
                   name);
    if (!mainWindow_) {
        mainWindow_ = std::make_unique<MainWindow>();
        if (setUpMainWindow_)
            setUpMainWindow_(*mainWindow_);
    }
    hide();
    mainWindow_->show();
}

void LoginWindow::keyPressEvent(QKeyEvent* event) {
    // The "ok" button is the window's default button: Enter anywhere in the
    // window confirms (the text box passes Enter on to its window).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        okutilisateur->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LoginWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed before a name was confirmed: nothing else exists, the program ends.
    if (!mainWindow_)
        QCoreApplication::exit(0);
}

} // namespace velmor
