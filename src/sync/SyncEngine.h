#pragma once

#include "sync/LocalCalendar.h"
#include "sync/RemoteCalendar.h"

#include <QLockFile>
#include <QString>
#include <QStringList>

class CAdoDatabase;

// Two-way sync of the reminders with one calendar collection. Each side is
// compared now with the state both had at the last sync (the status table),
// never with each other; the status of a local change is written in the same
// transaction as the change.
namespace sync {

struct SyncReport
{
    bool ok = false;
    int sent = 0, received = 0, deletedHere = 0, deletedThere = 0, conflicts = 0, requests = 0;
    RemoteError error;
    QString localError;
    QStringList acknowledgedUids; // acknowledged elsewhere: their popups close here
};

class SyncEngine
{
public:
    SyncEngine(CAdoDatabase& db, LocalCalendar& local, RemoteCalendar& remote, const QString& collectionUrl);
    SyncReport run();

private:
    CAdoDatabase& m_db;
    LocalCalendar& m_local;
    RemoteCalendar& m_remote;
    QString m_collectionUrl;
};

// False for an event another program made (its PRODID on the server); true
// for ours and for one the server has never had.
bool MadeHere(CAdoDatabase& db, const QString& uid);
// True when the event has a status row: the server has (or had) it.
bool IsSynced(CAdoDatabase& db, const QString& uid);

// One sync per data folder at a time: "sync.lock" beside the data file. Taken
// without waiting; a lock left by a dead process is taken over.
class SyncLock
{
public:
    explicit SyncLock(const QString& dataFolder);
    bool tryLock();
    void unlock();

private:
    QLockFile m_file;
};

} // namespace sync
