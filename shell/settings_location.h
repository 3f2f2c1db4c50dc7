// Where the settings store keeps its files.
#pragma once

#include <QString>

namespace velmor::settings {

// The folder that holds one INI file per application name:
// $XDG_CONFIG_HOME/velmor (~/.config/velmor) on Linux, the user's
// application-data folder plus "velmor" on Windows. Read anew at every call.
QString settingsFolder();

// The INI file of `application`, e.g. ".../velmor/option.ini".
QString settingsFile(const QString& application);

} // namespace velmor::settings
