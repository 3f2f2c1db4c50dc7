// For tests: points the settings store at a fresh, empty folder for as long
// as the object lives (through XDG_CONFIG_HOME), then puts the old one back.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace velmor {

class SettingsSandbox {
public:
    SettingsSandbox();
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    // The folder standing in for the user's configuration folder.
    QString configHome() const { return dir_.path(); }
    // Replaces the INI file of `application` by `contents` (as a user
    // editing it by hand would).
    void writeRaw(const QString& application, const QByteArray& contents) const;
    QByteArray readRaw(const QString& application) const;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

} // namespace velmor
