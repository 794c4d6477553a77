#include "app/SyncSetup.h"

#include "reminders/SyncedReminders.h"
#include "sync/SyncRunner.h"

namespace syncsetup {

sync::SyncRunner* StartSync(QObject* parent, const Hooks& hooks)
{
    auto* runner = new sync::SyncRunner(
        [](CAdoDatabase& db) { return std::make_unique<reminders::SyncedReminders>(db); }, parent);
    QObject::connect(runner, &sync::SyncRunner::finished, runner, [hooks](const sync::SyncReport& report) {
        if (report.received + report.deletedHere + report.conflicts > 0 && hooks.reloadList)
            hooks.reloadList();
        if (!report.acknowledgedUids.isEmpty() && hooks.closeAlerts)
            hooks.closeAlerts(report.acknowledgedUids);
    });
    runner->start();
    return runner;
}

} // namespace syncsetup
