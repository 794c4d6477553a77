#pragma once

#include "platform/SecretStore.h"

#include <QString>

// The sync's account: the server's address, user and calendar in Settings.ini
// (section "同步"); the password only in the desktop's secret store.
namespace sync {

struct SyncAccount
{
    QString url, user, calendar; // calendar: the collection found at setup; empty: find it at the next sync
    int intervalMinutes = 5;     // 1 to 1440
    bool allowPlainHttp = false; // the user confirmed plain http beyond this machine
    bool isSet() const;          // an address and a user are there
};

inline constexpr const char kSectionSync[] = "同步";

SyncAccount ReadSyncAccount();
bool WriteSyncAccount(const SyncAccount& account);
// The password of this address and user in seams::secretStore().
SecretStore::Result ReadSyncPassword(const SyncAccount& a, QString& password, QString& error);
SecretStore::Result WriteSyncPassword(const SyncAccount& a, const QString& password, QString& error);

} // namespace sync
