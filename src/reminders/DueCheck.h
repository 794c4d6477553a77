#pragma once

#include "reminders/DueWaiter.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CAdoDatabase;

// Hands the worker the store for one pass; null once the store is released.
using StoreProvider = std::function<std::shared_ptr<CAdoDatabase>()>;

// What the main window and the due-check worker share.
struct DueCheckContext
{
    // The worker loops while set; cleared by the exit confirmations.
    std::atomic<bool> running{false};

    // Record ids found due and not yet taken over by the main window.
    void appendDue(const QStringList& ids);
    QStringList takeDue();
    void clearDue();

private:
    std::mutex m_lock;
    QStringList m_dueIds;
};

// A record found due at a moment: the instant at which the local wall clock
// reaches its date (or the day checked for an every-day record) and time, or
// the `until` of its snooze.
struct DueRecord
{
    QString id;
    QDateTime moment;
    QString subject;
};

// The due-reminder check: a worker thread that checks every second once, in
// order, for the records due in it (not cancelled: use "0") and the snoozes
// ending in it, and hands their ids to the main window
// through the context and the remindersDue() signal. Between passes it sleeps
// until the next second at which a record can fall due; a write to the store,
// a change of the data file or of the local zone, midnight and a clock set
// wake it earlier. A zone change moves the wall clock as a clock set does:
// wall seconds skipped are caught up, wall seconds shown again fall due again.
class DueCheck : public QObject
{
    Q_OBJECT
public:
    // A gap (sleep, hibernation, a clock set forwards) is caught up for at most
    // this long before its end.
    static constexpr int kMaxCatchUpSeconds = 24 * 60 * 60;
    // After a longer gap, the shutdown records due in it are left alone: a
    // machine that has just woken up is never powered off for a time long past.
    static constexpr int kShutdownCatchUpSeconds = 60;

    // waiter: null for the real waiting (timerfd, file watch).
    explicit DueCheck(StoreProvider store, std::unique_ptr<DueWaiter> waiter = nullptr,
                      QObject* parent = nullptr);
    // Stops the worker and waits for it (never longer than its current pass).
    ~DueCheck() override;

    DueCheckContext& context() { return m_context; }

    // StartDueCheck: sets running, empties the found ids and starts the worker,
    // which first hands over the reminders missed while the program was not
    // running (runMissedPass), then checks second by second. After its start
    // and after every gap longer than kShutdownCatchUpSeconds it moves every
    // repeating record left in the past, other than those it handed over, to
    // its next occurrence (repeat::MoveStranded).
    // Does nothing and returns false once started, or once an exit was confirmed.
    bool start();
    // The exit confirmations: clear running and wake the worker, which finishes
    // its pass and signals one last time. Before the worker has started, the
    // last signal is posted at once, so the exit needs no worker.
    void requestStop();
    bool started() const { return m_started; }
    // Waits for the worker thread to end (after requestStop()).
    void join();
    // Thread-safe: the worker looks again at once (the machine has resumed, the
    // records may have changed). Writes through the store wake it by themselves.
    void wake();

    // One pass on the calling thread: checks every second not checked yet up to
    // now (a gap of up to kMaxCatchUpSeconds, in order), appends what it found
    // to the context and signals, and plans the next wake-up. Returns the ids
    // found. The worker calls it; tests call it directly instead of starting it.
    QStringList runPass();
    // The reminders missed while the program was not running (FindMissed at
    // now), appended to the context and signalled; then the series stranded
    // in the past move on. Later passes check the seconds from now on.
    // Returns the ids handed over.
    QStringList runMissedPass();
    // The second the worker sleeps until after the last pass; invalid before
    // the first pass and while the store cannot tell (then it looks each second).
    QDateTime plannedWake() const;

    // The where clause of the records not cancelled whose wall date (or "Every
    // Day") and time is that second's.
    static QString DueClause(const QDateTime& second);
    // The ids of the records due at that instant, newest first, then those
    // whose snooze ends then; empty on any failure (no store, a failed count,
    // a read of another size).
    static QStringList FindDueIds(CAdoDatabase* db, const QDateTime& second);
    // The records due, or whose snooze ends, in the seconds from..to (both
    // included, at most a day or so apart), in the order of their moments, the
    // newest record first within one second; each record once, at its first
    // moment. ok (if given) is cleared on a failure of the store.
    static QList<DueRecord> FindDueBetween(CAdoDatabase* db, const QDateTime& from, const QDateTime& to,
                                           bool* ok = nullptr);
    // The first instant after `after` at which a record of its wall day (or an
    // every-day record) falls due or a snooze ends; else the next wall
    // midnight. Invalid on a failure of the store.
    static QDateTime FindNextDue(CAdoDatabase* db, const QDateTime& after);
    // The dated, not cancelled (use "0") records other than shutdown records
    // whose moment lies in the kMaxCatchUpSeconds before start and that were
    // recorded before that moment, and the snoozes of such records that ended
    // then: ids, oldest first, each once.
    static QStringList FindMissed(CAdoDatabase* db, const QDateTime& start);

signals:
    // Stands for WM_REMINDERS_DUE; emitted on the worker thread, so connect it
    // queued. Carries nothing: the ids are in the context.
    void remindersDue();

private:
    void threadMain();
    void handOver(const QStringList& ids);
    void moveStranded(CAdoDatabase* db, qint64 wallNow, const QStringList& except);

    DueCheckContext m_context;
    StoreProvider m_store;
    std::unique_ptr<DueWaiter> m_waiter;
    std::thread m_thread;
    bool m_started = false;
    bool m_exitConfirmed = false;
    int m_writeListener = 0;
    // Only touched by whoever runs the passes (the worker once started); instants
    // in seconds since the epoch, -1 for none.
    qint64 m_lastChecked = -1; // the second of the last pass
    qint64 m_lastWall = 0;     // the wall reading then, in the zone of then
    qint64 m_planned = -1;     // no record could fall due after m_lastChecked and before this
    mutable std::mutex m_plannedLock;
    QDateTime m_plannedShown; // m_planned, for plannedWake() on other threads
};
