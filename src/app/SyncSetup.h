#pragma once

#include <QStringList>

#include <functional>

class QObject;
class QWidget;

namespace sync {
class SyncRunner;
}

// The sync in the running program: a runner whose local side is the reminder table.
namespace syncsetup {

struct Hooks
{
    std::function<void()> reloadList;                         // the list shows what a sync brought
    std::function<void(const QStringList& uids)> closeAlerts; // acknowledged elsewhere: their popups close
};

// Makes the runner (owned by parent), connects the hooks and starts it: a sync at
// start when an account is set, then every interval.
sync::SyncRunner* StartSync(QObject* parent, const Hooks& hooks);

// 同步设置 over a runner: the dialog asks it by signals, it answers with its status and the
// calendars found. Returns when the dialog closes.
void RunSyncDialog(QWidget* parent, sync::SyncRunner* runner);

} // namespace syncsetup
