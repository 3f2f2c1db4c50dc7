#include "testkit/settings_sandbox.h"

#include "shell/settings_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmor {

SettingsSandbox::SettingsSandbox()
    : previous_(qgetenv("XDG_CONFIG_HOME")),
      hadPrevious_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
}

SettingsSandbox::~SettingsSandbox() {
    if (hadPrevious_)
        qputenv("XDG_CONFIG_HOME", previous_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

void SettingsSandbox::writeRaw(const QString& application, const QByteArray& contents) const {
    const QString path = settings::settingsFile(application);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

QByteArray SettingsSandbox::readRaw(const QString& application) const {
    QFile file(settings::settingsFile(application));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace velmor
