#include "server/server_address.h"

#include <QUrl>

namespace velmor::server {

namespace {
const QString scheme = QStringLiteral("postgresql://");
}

QString ServerAddress::display() const
{
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

bool isServerAddress(const QString& text)
{
    return text.trimmed().startsWith(scheme, Qt::CaseInsensitive);
}

std::optional<ServerAddress> parseServerAddress(const QString& text)
{
    if (!isServerAddress(text))
        return std::nullopt;
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    ServerAddress address;
    address.host = url.host();
    address.port = url.port(5432);
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    address.database = url.path(QUrl::FullyDecoded).mid(1);
    if (address.user.isEmpty() || address.database.isEmpty() || address.database.contains(QLatin1Char('/')))
        return std::nullopt;
    return address;
}

} // namespace velmor::server
