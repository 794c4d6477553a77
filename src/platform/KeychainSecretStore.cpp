#include "platform/KeychainSecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QStringList>

#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("Tolva");

// A secret store answers on the session bus (running, or started on demand). Without a session
// bus at all QtKeychain only says "Unknown error".
bool storeOnTheBus()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QStringList names{QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd5"),
                            QStringLiteral("org.kde.kwalletd6")};
    for (const QString& name : names) {
        if (bus.interface()->isServiceRegistered(name))
            return true;
    }
    const QDBusReply<QStringList> activatable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
    if (!activatable.isValid())
        return false;
    for (const QString& name : names) {
        if (activatable.value().contains(name))
            return true;
    }
    return false;
}

// Runs the job to its end without blocking other threads' events, and maps its outcome.
SecretStore::Result wait(QKeychain::Job& job, QString& error)
{
    if (!storeOnTheBus())
        return SecretStore::Result::NoStore;
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    switch (job.error()) {
    case QKeychain::NoError:
        return SecretStore::Result::Ok;
    case QKeychain::EntryNotFound:
        return SecretStore::Result::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return SecretStore::Result::NoStore;
    default:
        break;
    }
    // libsecret without the service on the bus reports it only in the text.
    const QString text = job.errorString();
    if (text.contains(QLatin1String("org.freedesktop.secrets")) ||
        text.contains(QLatin1String("ServiceUnknown")) ||
        text.contains(QLatin1String("was not provided by any .service files")))
        return SecretStore::Result::NoStore;
    error = text;
    return SecretStore::Result::Failed;
}

} // namespace

SecretStore::Result KeychainSecretStore::read(const QString& key, QString& secret, QString& error)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    const Result result = wait(job, error);
    if (result == Result::Ok)
        secret = job.textData();
    return result;
}

SecretStore::Result KeychainSecretStore::write(const QString& key, const QString& secret, QString& error)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(key);
    job.setTextData(secret);
    return wait(job, error);
}

SecretStore::Result KeychainSecretStore::remove(const QString& key, QString& error)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(key);
    return wait(job, error);
}
