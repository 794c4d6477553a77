#include "sync/SyncAccount.h"

#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "platform/Seams.h"

#include <algorithm>

namespace sync {
namespace {
const QString kSection = QString::fromUtf8("同步");

// One secret per account: the user at the server.
QString secretKey(const SyncAccount& a)
{
    return QStringLiteral("tolva-sync:") + a.user + QLatin1Char('@') + a.url;
}
} // namespace

bool SyncAccount::isSet() const
{
    return !url.isEmpty() && !user.isEmpty();
}

SyncAccount ReadSyncAccount()
{
    const SettingsFile file(SettingsFilePath());
    SyncAccount a;
    a.url = file.readString(kSection, QStringLiteral("Url"), QString(), 2048);
    a.user = file.readString(kSection, QStringLiteral("User"), QString(), 1024);
    a.calendar = file.readString(kSection, QStringLiteral("Calendar"), QString(), 2048);
    a.intervalMinutes = std::clamp(file.readInt(kSection, QStringLiteral("Interval"), 5), 1, 1440);
    a.allowPlainHttp = file.readInt(kSection, QStringLiteral("AllowHttp"), 0) != 0;
    return a;
}

bool WriteSyncAccount(const SyncAccount& a)
{
    SettingsFile file(SettingsFilePath());
    return file.writeString(kSection, QStringLiteral("Url"), a.url) &&
           file.writeString(kSection, QStringLiteral("User"), a.user) &&
           file.writeString(kSection, QStringLiteral("Calendar"), a.calendar) &&
           file.writeString(kSection, QStringLiteral("Interval"), QString::number(a.intervalMinutes)) &&
           file.writeString(kSection, QStringLiteral("AllowHttp"),
                            a.allowPlainHttp ? QStringLiteral("1") : QStringLiteral("0"));
}

SecretStore::Result ReadSyncPassword(const SyncAccount& a, QString& password, QString& error)
{
    return seams::secretStore().read(secretKey(a), password, error);
}

SecretStore::Result WriteSyncPassword(const SyncAccount& a, const QString& password, QString& error)
{
    return seams::secretStore().write(secretKey(a), password, error);
}

} // namespace sync
