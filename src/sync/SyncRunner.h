#pragma once

#include "sync/LocalCalendar.h"
#include "sync/SyncAccount.h"
#include "sync/SyncEngine.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class CAdoDatabase;
class QThread;

namespace sync {

class CalDavClient;

// Makes this machine's side of the sync over a store connection (reminders/
// implements it; sync/ cannot include it).
using LocalFactory = std::function<std::unique_ptr<LocalCalendar>(CAdoDatabase& db)>;

// Runs syncs on its own thread with its own connection to the data file, so the
// window, the popups and the due check go on while the server is slow or down.
// Syncs: at start(), every account interval, ~3 s after local changes, and on syncNow().
class SyncRunner : public QObject
{
    Q_OBJECT
public:
    explicit SyncRunner(LocalFactory localFactory, QObject* parent = nullptr);
    ~SyncRunner() override; // cancels a waiting request and joins the thread

    // Reads the account; syncs now when one is set and starts the interval timer.
    void start();
    // The account changed (settings dialog): timer and next syncs follow it.
    void reloadAccount();
    // A password for this run, for when no secret store answers.
    void setSessionPassword(const QString& password);

    void syncNow();         // one sync as soon as none runs
    void localChanged();    // debounced: one sync ~3 s after the last call
    bool isRunning() const; // a sync or a discovery is under way
    QString statusText() const;

    // Finds (or makes) the calendar for the settings dialog; answers with calendarsFound.
    void discover(const SyncAccount& account, const QString& password);

    void setDebounceMs(int ms); // tests

signals:
    void started();
    void finished(const sync::SyncReport& report);
    void statusChanged(const QString& text); // "上次同步：HH:mm:ss" or the error in Chinese
    // calendarUrl: the one to sync ("Tolva提醒"); calendars: display name and URL of the others.
    void calendarsFound(bool ok, const QString& calendarUrl, const QList<QPair<QString, QString>>& calendars,
                        const QString& error);

private:
    void runSync();
    void onFinished(const sync::SyncReport& report);
    void onCalendars(bool ok, const QString& calendarUrl, const QList<QPair<QString, QString>>& calendars,
                     const QString& error);

    class Worker;
    Worker* startedWorker();
    LocalFactory m_localFactory;
    QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
    QTimer m_interval, m_debounce;
    SyncAccount m_account;
    QString m_sessionPassword;
    QString m_status;
    bool m_running = false, m_pending = false;
    int m_discovering = 0;
};

// One sync of the data folder under its lock: finds the calendar when `calendar` is empty (and
// sets it), then runs the engine over `db` and `local`. `client` hears of the client in use
// (and of none at the end), so that another thread may cancel it. Blocks its caller.
SyncReport SyncOnce(CAdoDatabase& db, LocalCalendar& local, const SyncAccount& account,
                    const QString& password, QString& calendar,
                    const std::function<void(CalDavClient*)>& client = {});

// The status line's text for a sync's outcome at a local time.
QString SyncStatusText(const SyncReport& report, const QDateTime& at);

} // namespace sync

Q_DECLARE_METATYPE(sync::SyncReport)
