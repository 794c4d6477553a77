#include "app/SyncSetup.h"

#include "reminders/SyncedReminders.h"
#include "sync/SyncRunner.h"
#include "system/SyncDlg.h"

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

void RunSyncDialog(QWidget* parent, sync::SyncRunner* runner)
{
    CSyncDlg dlg(parent);
    if (!runner->statusText().isEmpty())
        dlg.setStatus(runner->statusText());
    dlg.setRunning(runner->isRunning());
    QObject::connect(&dlg, &CSyncDlg::discoverRequested, runner, &sync::SyncRunner::discover);
    QObject::connect(&dlg, &CSyncDlg::syncRequested, runner, &sync::SyncRunner::syncNow);
    QObject::connect(&dlg, &CSyncDlg::passwordForRun, runner, &sync::SyncRunner::setSessionPassword);
    QObject::connect(&dlg, &CSyncDlg::accountSaved, runner, &sync::SyncRunner::reloadAccount);
    QObject::connect(runner, &sync::SyncRunner::statusChanged, &dlg, [&dlg, runner](const QString& text) {
        dlg.setStatus(text);
        dlg.setRunning(runner->isRunning()); // "正在同步…" is shown while the buttons stay disabled
    });
    QObject::connect(runner, &sync::SyncRunner::calendarsFound, &dlg,
                     [&dlg](bool ok, const QString& calendarUrl, const QList<QPair<QString, QString>>& others,
                            const QString& error) {
                         if (!ok) {
                             dlg.setStatus(error);
                             return;
                         }
                         QList<SyncCalendarChoice> choices{{calendarUrl, QStringLiteral("Tolva提醒")}};
                         for (const auto& [name, url] : others)
                             choices.append({url, name});
                         dlg.setCalendars(choices);
                     });
    dlg.exec();
}

} // namespace syncsetup
