#include "sheets/server_choice.h"

#include "sheets/record_source.h"
#include "server/server_address.h"
#include "server/server_database.h"
#include "shell/dialogs.h"
#include "shell/keyring.h"
#include "shell/settings.h"

#include "jet/status.h"

namespace velmor {

namespace {

const QString app = QStringLiteral("option");
const QString serverKey = QStringLiteral("serveur");
const QString rememberKey = QStringLiteral("memomotdepasse");
const QString title = QStringLiteral("Se connecter à un serveur");

// "le serveur … est injoignable" as a sentence of its own.
QString sentence(const char* reason)
{
    QString text = QString::fromUtf8(reason);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}

// The box's first values: the server in use, if any.
ServerLogin inUse()
{
    ServerLogin login;
    if (const auto a = server::parseServerAddress(settings::read(app, app, serverKey))) {
        login.host = a->host;
        login.port = a->port;
        login.database = a->database;
        login.user = a->user;
        login.rememberPassword = settings::read(app, app, rememberKey) == QLatin1String("1");
    }
    return login;
}

} // namespace

bool chooseServer(QWidget* parent)
{
    ServerLogin login = inUse();
    server::ServerAddress address;
    for (;;) {
        const std::optional<ServerLogin> typed = dialogs().serverLogin(parent, login);
        if (!typed)
            return false;
        login = *typed;
        address = server::ServerAddress{login.host, login.port, login.database, login.user, login.password};
        try {
            server::ServerDatabase::connect(address);
            break;
        } catch (const jet::Error& e) {
            dialogs().message(parent, QStringLiteral("La connexion a échoué.\n\n%1").arg(sentence(e.what())), title);
        }
    }
    const QString key = address.display();
    const bool wasRemembered = settings::read(app, app, rememberKey) == QLatin1String("1");
    settings::save(app, app, serverKey, key);
    usePasswordThisRun(key, login.password);
    QString remembered = QStringLiteral("0");
    if (login.rememberPassword && !login.password.isEmpty()) {
        const QString failure = keyring::store(key, login.password);
        if (failure.isEmpty())
            remembered = QStringLiteral("1");
        else
            dialogs().message(parent,
                              QStringLiteral("Le mot de passe n'a pas été mémorisé : aucun trousseau de clés ne "
                                             "répond sur ce poste (%1).\nIl sera demandé une fois par séance, à la "
                                             "première ouverture d'une fiche.")
                                  .arg(failure),
                              title);
    } else if (wasRemembered) {
        keyring::forget(key);
    }
    settings::save(app, app, rememberKey, remembered);
    dialogs().message(parent,
                      QStringLiteral("Connexion réussie. Les fiches et les listes ouvertes désormais travaillent sur "
                                     "la base « %1 » du serveur %2.")
                          .arg(login.database, login.host),
                      title);
    return true;
}

std::optional<QString> rememberedPassword(const QString& address)
{
    if (settings::read(app, app, rememberKey) != QLatin1String("1") ||
        settings::read(app, app, serverKey).trimmed() != address)
        return std::nullopt;
    return keyring::find(address);
}

} // namespace velmor
