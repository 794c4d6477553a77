#include "reminders/DueCheck.h"

#include "base/Constants.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

void DueCheckContext::appendDue(const QStringList& ids)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_dueIds += ids;
}

QStringList DueCheckContext::takeDue()
{
    std::lock_guard<std::mutex> lock(m_lock);
    QStringList ids;
    ids.swap(m_dueIds);
    return ids;
}

void DueCheckContext::clearDue()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_dueIds.clear();
}

TimerfdSecondWaiter::TimerfdSecondWaiter()
{
    m_timer = ::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TimerfdSecondWaiter::~TimerfdSecondWaiter()
{
    if (m_timer >= 0)
        ::close(m_timer);
    if (m_wake >= 0)
        ::close(m_wake);
}

void TimerfdSecondWaiter::waitForNextSecond()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    bool armed = false;
    if (m_timer >= 0) {
        itimerspec at{};
        at.it_value.tv_sec = now.tv_sec + 1;
        // Cancel-on-set: setting the clock wakes the wait, so the next pass sees
        // the new time at once instead of waiting for a second that may be far off.
        armed = ::timerfd_settime(m_timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &at, nullptr) == 0;
    }
    pollfd fds[2] = {{m_wake, POLLIN, 0}, {armed ? m_timer : -1, POLLIN, 0}};
    // Without a timer, sleep to just past the next second by the same clock.
    const int timeoutMs = armed ? -1 : int((1000000000L - now.tv_nsec) / 1000000L) + 1;
    for (;;) {
        const int r = ::poll(fds, 2, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        break;
    }
    if (fds[1].revents & POLLIN) {
        // Either the expiry count or ECANCELED for a clock that was set; both wake.
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_timer, &expirations, sizeof expirations);
    }
    // The wake eventfd is never drained: once interrupted, every wait returns at once.
}

void TimerfdSecondWaiter::interrupt()
{
    if (m_wake < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

DueCheck::DueCheck(StoreProvider store, std::unique_ptr<SecondWaiter> waiter, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_waiter(std::move(waiter))
{
    if (!m_waiter)
        m_waiter = std::make_unique<TimerfdSecondWaiter>();
}

DueCheck::~DueCheck()
{
    m_context.running.store(false);
    m_waiter->interrupt();
    join();
}

bool DueCheck::start()
{
    if (m_started || m_exitConfirmed)
        return false;
    m_started = true;
    m_context.running.store(true);
    m_context.clearDue();
    m_thread = std::thread(&DueCheck::threadMain, this);
    return true;
}

void DueCheck::requestStop()
{
    m_exitConfirmed = true;
    m_context.running.store(false);
    m_waiter->interrupt();
    if (!m_started) {
        // No worker will ever send the last message; post it ourselves.
        QMetaObject::invokeMethod(
            this, [this] { emit remindersDue(); }, Qt::QueuedConnection);
    }
}

void DueCheck::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void DueCheck::threadMain()
{
    while (m_context.running.load()) {
        runPass();
        if (!m_context.running.load())
            break;
        m_waiter->waitForNextSecond();
    }
    // The last message: on it the main window ends the program.
    emit remindersDue();
}

QString DueCheck::DueClause(const QDateTime& second)
{
    return QStringLiteral("where (date='%1' or date ='%2') and time ='%3'")
        .arg(reminders::FormatDate(second), QString::fromUtf8(reminders::kEveryDay),
             reminders::FormatTime(second));
}

QStringList DueCheck::FindDueIds(CAdoDatabase* db, const QDateTime& second)
{
    if (!db)
        return {};
    const QString table = QString::fromUtf8(tolva::kReminderTable);
    const QString clause = DueClause(second);
    QString message = clause;
    const int count = db->CountRows(table, clause, message);
    if (count <= 0)
        return {};
    RowSet rows;
    if (db->SelectRows(table, clause, {QStringLiteral("id")}, rows, count, message) != count)
        return {};
    QStringList ids;
    for (int i = 0; i < count && i < rows.size(); ++i)
        ids.append(rows.at(i).value(0));
    return ids;
}

QStringList DueCheck::runPass()
{
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());

    QList<QDateTime> seconds;
    if (!m_lastChecked.isValid()) {
        seconds.append(now);
    } else {
        const qint64 gap = m_lastChecked.secsTo(now);
        if (gap > 0 && gap <= kMaxCatchUpSeconds) {
            for (qint64 i = 1; i <= gap; ++i)
                seconds.append(m_lastChecked.addSecs(i));
        } else if (gap != 0) {
            // Set back (seconds recur) or far forwards (not caught up).
            seconds.append(now);
        }
    }
    if (seconds.isEmpty())
        return {};
    m_lastChecked = now;

    QStringList found;
    {
        // Held for this pass only: a release meanwhile frees nothing under us.
        const std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
        for (const QDateTime& s : seconds)
            found += FindDueIds(db.get(), s);
    }
    if (found.isEmpty())
        return found;
    m_context.appendDue(found);
    emit remindersDue();
    return found;
}
