#include "reminders/DueCheck.h"

#include "base/Constants.h"
#include "base/WallTime.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "store/StoreWrites.h"
#include "timers/Shutdown.h"

#include <algorithm>
#include <pthread.h>

namespace {

const QString& table()
{
    static const QString t = QString::fromUtf8(tolva::kReminderTable);
    return t;
}

// Count, then read the fields of exactly that many records; false on a failure
// or a read of another size (the records changed in between).
bool countAndSelect(CAdoDatabase* db, const QString& clause, const QStringList& fields, RowSet& rows)
{
    if (!db)
        return false;
    QString message = clause;
    const int count = db->CountRows(table(), clause, message);
    if (count < 0)
        return false;
    if (count == 0)
        return true;
    return db->SelectRows(table(), clause, fields, rows, count, message) == count;
}

// The times of a day from..to (wall date-times, both included) as a
// where-clause condition.
QString timeRange(const QDate& day, const QDateTime& from, const QDateTime& to)
{
    const QString first = day == from.date() ? reminders::FormatTime(from) : QStringLiteral("00:00:00");
    const QString last = day == to.date() ? reminders::FormatTime(to) : QStringLiteral("23:59:59");
    return QStringLiteral("time >='%1' and time <='%2'").arg(first, last);
}

// The instant at which a record's time on that day falls due; -1 for a text that
// is no time of day.
qint64 dueOf(const QDate& day, const QString& time)
{
    const QTime t = QTime::fromString(time, QLatin1String(reminders::kTimeFormat));
    return t.isValid() ? walltime::DueInstant(walltime::Wall(day, t)) : -1;
}

qint64 secondsOf(const QDateTime& t)
{
    return t.toMSecsSinceEpoch() / 1000 - (t.toMSecsSinceEpoch() % 1000 < 0 ? 1 : 0);
}

// In UTC: a local date-time keeps its wall reading, not its instant, when the
// zone changes.
QDateTime instant(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// The first `limit` times of that day's and every day's records from the bound
// on (">='08:00:00'"), on the index over (time, date), in order. -1 on a failure.
int nextTimes(CAdoDatabase* db, const QDate& day, const QString& bound, int limit, RowSet& rows)
{
    const QString clause =
        QStringLiteral("where id in (select id from %1 where (date='%2' or date ='%3') and time %4 "
                       "order by time limit %5)")
            .arg(table(), day.toString(QLatin1String(reminders::kDateFormat)),
                 QString::fromUtf8(reminders::kEveryDay), bound, QString::number(limit));
    QString message = clause;
    const int read = db->SelectRows(table(), clause, {QStringLiteral("time")}, rows, limit, message);
    // The store hands rows out newest first.
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.value(0) < b.value(0); });
    return read;
}

struct Found
{
    DueRecord record;
    QString wall; // its wall date and time, "YYYY-MM-DD HH:MM:SS"
    QString recorded;
};

// The records matching `which` (a condition on the date with %1 for the day)
// that fall due in the instants from..to, both included. Each wall day that
// can hold one is asked for its range of times, on the index over (time, date).
QList<Found> dueIn(CAdoDatabase* db, qint64 from, qint64 to, const QString& which, bool* ok)
{
    QList<Found> found;
    const walltime::WallSpan span = walltime::WallsDueIn(from, to);
    const QDateTime first = walltime::WallDateTime(span.first);
    const QDateTime last = walltime::WallDateTime(span.last);
    for (QDate day = first.date(); db && day.isValid() && day <= last.date(); day = day.addDays(1)) {
        const QString clause = QStringLiteral("where ") +
                               which.arg(day.toString(QLatin1String(reminders::kDateFormat))) +
                               QStringLiteral(" and ") + timeRange(day, first, last);
        RowSet rows;
        if (!countAndSelect(db, clause,
                            {QStringLiteral("id"), QStringLiteral("time"), QStringLiteral("titile"),
                             QStringLiteral("insertdatatime")},
                            rows)) {
            if (ok)
                *ok = false;
            continue;
        }
        for (const Row& row : rows) {
            const qint64 due = dueOf(day, row.value(1));
            if (due >= from && due <= to)
                found.append(Found{DueRecord{row.value(0), instant(due), row.value(2)},
                                   day.toString(QLatin1String(reminders::kDateFormat)) + QLatin1Char(' ') +
                                       row.value(1),
                                   row.value(3)});
        }
    }
    // Stable: within one second the records keep the store's newest-first order.
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.record.moment < b.record.moment; });
    return found;
}

} // namespace

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

DueCheck::DueCheck(StoreProvider store, std::unique_ptr<DueWaiter> waiter, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_waiter(std::move(waiter))
{
    if (!m_waiter)
        m_waiter = std::make_unique<TimerfdDueWaiter>();
}

DueCheck::~DueCheck()
{
    if (m_writeListener)
        store::RemoveWriteListener(m_writeListener);
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
    // A record added or changed by this program may fall due before the second
    // the worker sleeps until.
    m_writeListener = store::AddWriteListener([this] { m_waiter->wake(); });
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

void DueCheck::wake()
{
    m_waiter->wake();
}

QDateTime DueCheck::plannedWake() const
{
    std::lock_guard<std::mutex> lock(m_plannedLock);
    return m_plannedShown;
}

void DueCheck::threadMain()
{
    // Named, so that its wake-ups can be told from the main thread's.
    ::pthread_setname_np(::pthread_self(), "tolva-duecheck");
    if (m_context.running.load())
        runMissedPass();
    while (m_context.running.load()) {
        runPass();
        if (!m_context.running.load())
            break;
        // Without a plan (no store, a failed query) look again each second.
        m_waiter->waitUntil(instant(m_planned >= 0 ? m_planned : m_lastChecked + 1));
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
    bool ok = true;
    const QList<DueRecord> records = FindDueBetween(db, second, second, &ok);
    QStringList ids;
    for (const DueRecord& r : records)
        ids.append(r.id);
    return ok ? ids : QStringList();
}

QList<DueRecord> DueCheck::FindDueBetween(CAdoDatabase* db, const QDateTime& from, const QDateTime& to,
                                          bool* ok)
{
    if (ok)
        *ok = db != nullptr;
    const QString which = QStringLiteral("(date='%1' or date ='") + QString::fromUtf8(reminders::kEveryDay) +
                          QStringLiteral("')");
    QList<DueRecord> records;
    for (const Found& f : dueIn(db, secondsOf(from), secondsOf(to), which, ok))
        records.append(f.record);
    return records;
}

QDateTime DueCheck::FindNextDue(CAdoDatabase* db, const QDateTime& after)
{
    if (!db)
        return {};
    const qint64 now = secondsOf(after);
    // A record due after now reads at least now plus the lowest offset near; on
    // a day without a step, the first such reading is the next to fall due.
    const walltime::WallSpan span = walltime::WallsDueIn(now, now);
    const qint64 highest = span.last - now;
    const bool step = span.first != span.last;
    const QDateTime from = walltime::WallDateTime(span.first + 1);
    const QDate today = walltime::WallDateTime(walltime::WallAt(now)).date();
    const int limit = step ? 1000 : 1;
    qint64 best = walltime::DueInstant(walltime::Wall(today.addDays(1), QTime(0, 0)));
    for (QDate day = from.date(); day <= today; day = day.addDays(1)) {
        QString bound = QStringLiteral(">='") +
                        (day == from.date() ? reminders::FormatTime(from) : QStringLiteral("00:00:00")) +
                        QLatin1Char('\'');
        // Texts that are no time of day never fall due; they are stepped over,
        // a few at a time.
        for (int round = 0; round < 8; ++round) {
            RowSet rows;
            const int read = nextTimes(db, day, bound, limit, rows);
            if (read < 0)
                return {};
            qint64 lastWall = -1;
            for (const Row& row : rows) {
                const QTime t = QTime::fromString(row.value(0), QLatin1String(reminders::kTimeFormat));
                if (!t.isValid())
                    continue;
                lastWall = walltime::Wall(day, t);
                // No later reading falls due before this one's earliest possible instant.
                if (lastWall - highest >= best)
                    break;
                const qint64 due = walltime::DueInstant(lastWall);
                if (due > now)
                    best = std::min(best, due);
            }
            if (read < limit)
                break;
            if (lastWall >= 0) {
                // More readings than were read near a step: wake when the next could be due.
                if (step)
                    best = std::min(best, std::max(now + 1, lastWall - highest));
                break;
            }
            QString text = rows.last().value(0);
            bound = QStringLiteral(">'") + text.replace(QLatin1Char('\''), QStringLiteral("''")) +
                    QLatin1Char('\'');
            if (round == 7)
                best = std::min(best, now + 1);
        }
    }
    return instant(best);
}

QStringList DueCheck::FindMissed(CAdoDatabase* db, const QDateTime& start)
{
    const qint64 end = secondsOf(start) - 1;
    const QString which =
        QStringLiteral("date='%1' and use='") + QString::fromUtf8(reminders::kNotTaken) + QStringLiteral("'");
    QStringList ids;
    for (const Found& f : dueIn(db, end + 1 - kMaxCatchUpSeconds, end, which, nullptr)) {
        // Recorded before its wall date and time (an unknown record time does
        // not count); a shutdown long past is never carried out.
        if (f.recorded.isEmpty() || f.recorded >= f.wall ||
            f.record.subject == QString::fromUtf8(shutdown::kSubject))
            continue;
        ids.append(f.record.id);
    }
    return ids;
}

void DueCheck::handOver(const QStringList& ids)
{
    if (ids.isEmpty())
        return;
    m_context.appendDue(ids);
    emit remindersDue();
}

QStringList DueCheck::runMissedPass()
{
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    QStringList found;
    {
        const std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
        found = FindMissed(db.get(), now);
    }
    handOver(found);
    return found;
}

QStringList DueCheck::runPass()
{
    // A zone changed since the last pass (TZ, /etc/localtime) counts from here on.
    walltime::RefreshZone();
    const qint64 now = secondsOf(seams::clock().now());
    const qint64 wallNow = walltime::WallAt(now);
    QStringList found;
    {
        // Held for this pass only: a release meanwhile frees nothing under us.
        const std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
        if (db)
            m_waiter->watchFile(db->FilePath());

        // The last instant whose records were handed over, as the wall clock now
        // runs. After a zone change it is the instant at which today's zone shows
        // the wall second last checked (the plan, made in the old zone, vouches
        // for nothing); when that is still ahead, the wall clock went back.
        bool recur = m_lastChecked < 0 || now < m_lastChecked;
        qint64 checked = now;
        if (!recur && walltime::WallAt(m_lastChecked) != m_lastWall) {
            checked = walltime::DueInstant(m_lastWall);
            recur = checked >= now;
        } else if (!recur && now > m_lastChecked) {
            // The plan vouches for the seconds before it (every change since woke
            // us); the current second is looked at anyway.
            checked = std::min(m_planned > m_lastChecked ? m_planned - 1 : m_lastChecked, now - 1);
        }
        const qint64 gap = now - checked;
        if (recur) {
            // The first pass, the clock set back or a zone to the west: the
            // seconds from now on fall due again.
            found = FindDueIds(db.get(), instant(now));
        } else if (gap > 0) {
            // Slept or jumped over seconds: each of them once, in order.
            const qint64 from = gap > kMaxCatchUpSeconds ? now + 1 - kMaxCatchUpSeconds : checked + 1;
            const QString shutdownSubject = QString::fromUtf8(shutdown::kSubject);
            for (const DueRecord& r : FindDueBetween(db.get(), instant(from), instant(now))) {
                if (gap > kShutdownCatchUpSeconds && secondsOf(r.moment) < now &&
                    r.subject == shutdownSubject)
                    continue;
                if (!found.contains(r.id))
                    found.append(r.id);
            }
        }
        // Planned afresh at every pass: a wake-up may mean the records changed.
        const QDateTime next = FindNextDue(db.get(), instant(now));
        m_planned = next.isValid() ? secondsOf(next) : -1;
        m_lastChecked = now;
        m_lastWall = wallNow;
    }
    {
        std::lock_guard<std::mutex> lock(m_plannedLock);
        m_plannedShown = m_planned >= 0 ? instant(m_planned) : QDateTime();
    }
    handOver(found);
    return found;
}
