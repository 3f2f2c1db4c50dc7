#include "shell/keyring.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace velmor::keyring {

namespace {

const QString service = QStringLiteral("velmor");

// Runs `job` to its end (the keyring may ask the user to unlock it first).
void run(QKeychain::Job& job, const QString& key)
{
    job.setAutoDelete(false);
    job.setKey(key);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

} // namespace

QString store(const QString& key, const QString& password)
{
    QKeychain::WritePasswordJob job(service);
    job.setInsecureFallback(false);
    job.setTextData(password);
    run(job, key);
    return job.error() == QKeychain::NoError ? QString() : job.errorString();
}

std::optional<QString> find(const QString& key)
{
    QKeychain::ReadPasswordJob job(service);
    job.setInsecureFallback(false);
    run(job, key);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

void forget(const QString& key)
{
    QKeychain::DeletePasswordJob job(service);
    job.setInsecureFallback(false);
    run(job, key);
}

} // namespace velmor::keyring
