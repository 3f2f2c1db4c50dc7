// Renders the windows of the shell to PNG files:
//   velmor_screenshots <folder>
// writes login-window.png, main-window.png (the main window right after
// login, with no sheet open) and options-window.png. Meant to run with QT_QPA_PLATFORM=offscreen or
// under a virtual X server, with a throwaway XDG_CONFIG_HOME.
#include "app/wiring.h"
#include "options/options_wiring.h"
#include "shell/login_window.h"
#include "shell/look.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    velmor::installLook(app);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    velmor::LoginWindow session(&velmor::app::setUpMainWindow);
    session.show();
    QCoreApplication::processEvents();
    if (!session.grab().save(QDir(folder).filePath(QStringLiteral("login-window.png"))))
        return 1;

    session.entreesaisie->setText(QStringLiteral("Dupré"));
    session.confirm();
    velmor::MainWindow* main = session.mainWindow();
    if (!main)
        return 1;
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    if (!main->grab().save(QDir(folder).filePath(QStringLiteral("main-window.png"))))
        return 1;
    std::printf("main window %dx%d\n", main->width(), main->height());

    auto* options = main->findChild<velmor::OptionsMenus*>();
    if (!options)
        return 1;
    options->openOptions();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    if (!options->optionsWindow()->grab().save(
            QDir(folder).filePath(QStringLiteral("options-window.png"))))
        return 1;
    return 0;
}
