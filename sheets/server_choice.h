// "Se connecter à un serveur…": the choice of a PostgreSQL server on which
// the sheets and lists work, in place of the database file.
//
// The choice is kept in the settings (option.ini, section [option]):
// `serveur`, the server's address postgresql://USER@HOST:PORT/BASE, without
// the password (empty: the file `cheminbase` is used, see shell/paths.h);
// `memomotdepasse`, "1" when the password is kept in the platform's keyring
// (shell/keyring.h) under that address. The password itself is never
// written in the settings.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace velmor {

// Shows the box, filled with the server in use, tries the connection and,
// once it works, stores the choice (and the password in the keyring when
// the user asked for it and a keyring answers; if none does, says so and
// keeps the password for this run only). A connection that fails is told
// in French and the box comes back with what was typed; "Annuler" changes
// nothing. Returns whether a server was chosen.
bool chooseServer(QWidget* parent);

// The password of `address` kept in the keyring, when the user asked for it.
std::optional<QString> rememberedPassword(const QString& address);

} // namespace velmor
