// Renders the application's icon into a hicolor icon theme folder, one PNG
// per size, for the menu entry that the package installs:
//
//   velmor_menu_icons FOLDER SIZE...   writes FOLDER/SIZExSIZE/apps/velmor.png
#include "shell/look.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage : velmor_menu_icons DOSSIER TAILLE...\n", stderr);
        return 2;
    }
    const QString theme = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(theme).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) ||
            !velmor::applicationIconPicture(size).save(folder + QStringLiteral("/velmor.png"), "PNG")) {
            std::fprintf(stderr, "velmor_menu_icons : icône %s impossible à écrire dans %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
