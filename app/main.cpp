// Velmor: starts with the login window; the rest follows from it.
#include "app/wiring.h"
#include "shell/login_window.h"
#include "shell/look.h"
#include "velmor/version.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Answered before any window system is needed (from a terminal, by a package check).
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("velmor " VELMOR_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmor"));
    QApplication::setApplicationVersion(QStringLiteral(VELMOR_VERSION));
    velmor::installLook(app);

    velmor::LoginWindow session(&velmor::app::setUpMainWindow);
    session.show();
    return QApplication::exec();
}
