#include "sync/SyncAccount.h"

#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "platform/Seams.h"

namespace sync {

namespace {

const QString kUrl = QStringLiteral("Url");
const QString kUser = QStringLiteral("User");
const QString kCalendar = QStringLiteral("Calendar");
const QString kInterval = QStringLiteral("Interval");
const QString kAllowHttp = QStringLiteral("AllowHttp");

// Addresses and calendar URLs run longer than the private-profile default buffer.
constexpr int kLongValue = 2048;

QString section()
{
    return QString::fromUtf8(kSectionSync);
}

// One secret per address and user, so a second account never reads the first one's password.
QString secretKey(const SyncAccount& a)
{
    return QStringLiteral("tolva-sync %1 %2").arg(a.user, a.url);
}

} // namespace

bool SyncAccount::isSet() const
{
    return !url.trimmed().isEmpty() && !user.isEmpty();
}

SyncAccount ReadSyncAccount()
{
    const SettingsFile file(SettingsFilePath());
    SyncAccount a;
    a.url = file.readString(section(), kUrl, QString(), kLongValue).trimmed();
    a.user = file.readString(section(), kUser, QString(), kLongValue);
    a.calendar = file.readString(section(), kCalendar, QString(), kLongValue).trimmed();
    const int minutes = file.readInt(section(), kInterval, 5);
    a.intervalMinutes = minutes >= 1 && minutes <= 1440 ? minutes : 5;
    a.allowPlainHttp = file.readString(section(), kAllowHttp, QString::fromUtf8(settings::kValueFalse)) ==
                       QString::fromUtf8(settings::kValueTrue);
    return a;
}

bool WriteSyncAccount(const SyncAccount& a)
{
    SettingsFile file(SettingsFilePath());
    const QString flag = QString::fromUtf8(a.allowPlainHttp ? settings::kValueTrue : settings::kValueFalse);
    return file.writeString(section(), kUrl, a.url) && file.writeString(section(), kUser, a.user) &&
           file.writeString(section(), kCalendar, a.calendar) &&
           file.writeString(section(), kInterval, QString::number(a.intervalMinutes)) &&
           file.writeString(section(), kAllowHttp, flag);
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
