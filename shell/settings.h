// The per-user settings store: text values addressed by (application,
// section, key), kept as one INI file per application name in the user's
// configuration folder ($XDG_CONFIG_HOME/velmor/<application>.ini).
//
// Nothing is cached: every read goes to the file, every save writes it at
// once, so a value saved anywhere is seen by the next read everywhere.
#pragma once

#include <QString>
#include <optional>

namespace velmor::settings {

// Returns the stored text, or `defaultValue` when the application, section or
// key does not exist. Reading never creates anything.
QString read(const QString& application, const QString& section, const QString& key,
             const QString& defaultValue = QString());

// Stores `value`, replacing any earlier one. When the store cannot be written
// the user is told so in a message box and the program goes on.
void save(const QString& application, const QString& section, const QString& key,
          const QString& value);

// 1 -> "1", 0 -> "0".
QString fromInt(int value);

// Reads the text as a single-precision decimal number; empty text or text
// that is not a number gives nothing.
std::optional<float> toNumber(const QString& text);

} // namespace velmor::settings
