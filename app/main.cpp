// Velmor: starts with the login window; the rest follows from it.
#include "app/wiring.h"
#include "shell/login_window.h"
#include "shell/look.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmor"));
    velmor::installLook(app);

    velmor::LoginWindow session(&velmor::app::setUpMainWindow);
    session.show();
    return QApplication::exec();
}
