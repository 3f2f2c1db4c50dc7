#include "shell/paths.h"

#include "shell/settings.h"

#include <QDir>

namespace velmor::paths {

namespace {

QString inDefaultFolder(const QString& fileName) {
#ifdef Q_OS_WIN
    return defaultFolder() + QLatin1Char('\\') + fileName;
#else
    return defaultFolder() + QLatin1Char('/') + fileName;
#endif
}

} // namespace

QString defaultFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\velmor");
#else
    return QDir::homePath() + QStringLiteral("/velmor");
#endif
}

QString defaultDatabase() {
    return inDefaultFolder(QStringLiteral("velmor2001.mdb"));
}

QString databaseInUse() {
    const QString app = QStringLiteral("option");
    const QString server = settings::read(app, app, QStringLiteral("serveur"));
    if (!server.trimmed().isEmpty())
        return server.trimmed();
    return settings::read(app, app, QStringLiteral("cheminbase"), defaultDatabase());
}

QString defaultSheetImage() {
    return inDefaultFolder(QStringLiteral("velmor2.jpg"));
}

QString defaultOptionsOkImage() {
    return inDefaultFolder(QStringLiteral("velmor.jpeg"));
}

} // namespace velmor::paths
