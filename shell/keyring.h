// Passwords kept in the platform's keyring through QtKeychain: the Secret
// Service on Linux (GNOME Keyring, KWallet), the Credential Manager on
// Windows, the Keychain on macOS. Entries are filed under the service
// "velmor", keyed by what they open (a server's address). Nothing is ever
// written in clear text: where no keyring answers (no session bus, no
// keyring service, as on a headless machine), storing fails and says so.
#pragma once

#include <QString>
#include <optional>

namespace velmor::keyring {

// Stores `password` under `key`. Returns an empty text on success, else the
// keyring's reason, as it gives it.
QString store(const QString& key, const QString& password);

// The password stored under `key`; nothing when there is none or no keyring
// answers.
std::optional<QString> find(const QString& key);

// Removes the password stored under `key`, if any.
void forget(const QString& key);

} // namespace velmor::keyring
