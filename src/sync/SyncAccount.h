#pragma once

#include "platform/SecretStore.h"

#include <QString>

// The sync's account: kept in Settings.ini, section "同步"; its password only
// in the desktop's secret store.
namespace sync {

struct SyncAccount
{
    QString url, user, calendar;
    int intervalMinutes = 5;
    bool allowPlainHttp = false;
    bool isSet() const;
};

SyncAccount ReadSyncAccount();
bool WriteSyncAccount(const SyncAccount& account);
SecretStore::Result ReadSyncPassword(const SyncAccount& a, QString& password, QString& error);
SecretStore::Result WriteSyncPassword(const SyncAccount& a, const QString& password, QString& error);

} // namespace sync
