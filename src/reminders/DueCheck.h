#pragma once

#include <QDateTime>
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

// How the worker waits for the next second of the wall clock.
class SecondWaiter
{
public:
    virtual ~SecondWaiter() = default;
    // Blocks until a new second of the wall clock begins, the clock is set, or
    // interrupt() has been called (then it returns at once, now and ever after).
    virtual void waitForNextSecond() = 0;
    // Thread-safe; makes the current and every later wait return at once.
    virtual void interrupt() = 0;
};

// A timerfd on CLOCK_REALTIME armed for the start of the next second, which
// also wakes when the clock is set; interrupted through an eventfd.
class TimerfdSecondWaiter final : public SecondWaiter
{
public:
    TimerfdSecondWaiter();
    ~TimerfdSecondWaiter() override;
    TimerfdSecondWaiter(const TimerfdSecondWaiter&) = delete;
    TimerfdSecondWaiter& operator=(const TimerfdSecondWaiter&) = delete;

    void waitForNextSecond() override;
    void interrupt() override;

private:
    int m_timer = -1;
    int m_wake = -1;
};

// The due-reminder check: a worker thread that, at every new second, looks for
// the records due in each second not yet checked and hands their ids to the
// main window through the context and the remindersDue() signal.
class DueCheck : public QObject
{
    Q_OBJECT
public:
    // Seconds a pass catches up after a late wake-up (load, a slow query, a small
    // clock step forwards). A larger jump forwards is not caught up.
    static constexpr int kMaxCatchUpSeconds = 60;

    // waiter: null for the real timerfd waiting.
    explicit DueCheck(StoreProvider store, std::unique_ptr<SecondWaiter> waiter = nullptr,
                      QObject* parent = nullptr);
    // Stops the worker and waits for it (never longer than its current pass).
    ~DueCheck() override;

    DueCheckContext& context() { return m_context; }

    // StartDueCheck: sets running, empties the found ids and starts the worker.
    // Does nothing and returns false once started, or once an exit was confirmed.
    bool start();
    // The exit confirmations: clear running and wake the worker, which finishes
    // its pass and signals one last time. Before the worker has started, the
    // last signal is posted at once, so the exit needs no worker.
    void requestStop();
    bool started() const { return m_started; }
    // Waits for the worker thread to end (after requestStop()).
    void join();

    // One pass on the calling thread: checks every second since the last pass
    // that has not been checked yet, appends what it found to the context and
    // signals. Returns the ids found. The worker calls it; tests call it directly
    // instead of starting the worker.
    QStringList runPass();

    // The where clause of the records due in that second of that day.
    static QString DueClause(const QDateTime& second);
    // The ids of the records due in that second, newest first; empty on any
    // failure (no store, a failed count, a read of another size).
    static QStringList FindDueIds(CAdoDatabase* db, const QDateTime& second);

signals:
    // Stands for WM_REMINDERS_DUE; emitted on the worker thread, so connect it
    // queued. Carries nothing: the ids are in the context.
    void remindersDue();

private:
    void threadMain();

    DueCheckContext m_context;
    StoreProvider m_store;
    std::unique_ptr<SecondWaiter> m_waiter;
    std::thread m_thread;
    bool m_started = false;
    bool m_exitConfirmed = false;
    // Only touched by whoever runs the passes (the worker once started).
    QDateTime m_lastChecked;
};
