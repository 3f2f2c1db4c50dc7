#include "shell/settings.h"

#include "shell/dialogs.h"
#include "shell/settings_location.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cmath>

namespace velmor::settings {

namespace {

// "section/key" as QSettings addresses it. Slashes inside the names would
// open sub-groups; the store's names never contain any.
QString settingsKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

// The stored value as text, whatever QSettings made of the file's contents.
QString asText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    if (value.canConvert<QString>())
        return value.toString();
    return QString();
}

} // namespace

QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue) {
    const QString path = settingsFile(application);
    if (!QFileInfo(path).isFile())
        return defaultValue;
    const QSettings store(path, QSettings::IniFormat);
    const QString name = settingsKey(section, key);
    if (!store.contains(name))
        return defaultValue;
    return asText(store.value(name));
}

void save(const QString& application, const QString& section, const QString& key,
          const QString& value) {
    const QString path = settingsFile(application);
    // QSettings creates the folder itself, but only reports a failure through
    // status(); making it here first gives the same result with fewer surprises.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings::Status status;
    {
        QSettings store(path, QSettings::IniFormat);
        store.setValue(settingsKey(section, key), value);
        store.sync();
        status = store.status();
    }
    if (status != QSettings::NoError) {
        dialogs().message(
            nullptr,
            QStringLiteral("Impossible d'enregistrer le réglage « %1 » dans le fichier « %2 ».\n"
                           "Vérifiez que ce dossier existe et que vous avez le droit d'y écrire.\n"
                           "La valeur ne sera pas conservée après la fermeture de Velmor.")
                .arg(key, QDir::toNativeSeparators(path)),
            applicationTitle());
    }
}

QString fromInt(int value) {
    return QString::number(value);
}

std::optional<float> toNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    float number = trimmed.toFloat(&ok);
    if (!ok) {
        // The user's own decimal comma ("0,5") reads as well.
        number = QLocale::system().toFloat(trimmed, &ok);
        if (!ok)
            return std::nullopt;
    }
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

} // namespace velmor::settings
