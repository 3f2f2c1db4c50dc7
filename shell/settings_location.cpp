#include "shell/settings_location.h"

#include <QDir>
#include <QStandardPaths>

namespace velmor::settings {

QString settingsFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("velmor"));
}

QString settingsFile(const QString& application) {
    return QDir(settingsFolder()).filePath(application + QStringLiteral(".ini"));
}

} // namespace velmor::settings
