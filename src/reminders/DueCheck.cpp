#include "reminders/DueCheck.h"

#include "base/Constants.h"
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

// The seconds of a day from..to (both on that day) as a where-clause condition.
QString timeRange(const QDate& day, const QDateTime& from, const QDateTime& to)
{
    const QString first = day == from.date() ? reminders::FormatTime(from) : QStringLiteral("00:00:00");
    const QString last = day == to.date() ? reminders::FormatTime(to) : QStringLiteral("23:59:59");
    return QStringLiteral("time >='%1' and time <='%2'").arg(first, last);
}

QDateTime momentOf(const QDate& day, const QString& time)
{
    const QTime t = QTime::fromString(time, QLatin1String(reminders::kTimeFormat));
    return t.isValid() ? QDateTime(day, t) : QDateTime();
}

void byMoment(QList<DueRecord>& records)
{
    // Stable: within one second the records keep the store's newest-first order.
    std::stable_sort(records.begin(), records.end(),
                     [](const DueRecord& a, const DueRecord& b) { return a.moment < b.moment; });
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
        m_waiter->waitUntil(m_planned.isValid() ? m_planned : m_lastChecked.addSecs(1));
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
    RowSet rows;
    if (!countAndSelect(db, DueClause(second), {QStringLiteral("id")}, rows))
        return {};
    QStringList ids;
    for (const Row& row : rows)
        ids.append(row.value(0));
    return ids;
}

QList<DueRecord> DueCheck::FindDueBetween(CAdoDatabase* db, const QDateTime& from, const QDateTime& to,
                                          bool* ok)
{
    if (ok)
        *ok = true;
    QList<DueRecord> records;
    // One range of times per day of the gap, on the index over (time, date).
    for (QDate day = from.date(); day.isValid() && day <= to.date(); day = day.addDays(1)) {
        const QString clause = QStringLiteral("where (date='%1' or date ='%2') and ")
                                   .arg(day.toString(QLatin1String(reminders::kDateFormat)),
                                        QString::fromUtf8(reminders::kEveryDay)) +
                               timeRange(day, from, to);
        RowSet rows;
        if (!countAndSelect(db, clause,
                            {QStringLiteral("id"), QStringLiteral("time"), QStringLiteral("titile")}, rows)) {
            if (ok)
                *ok = false;
            continue;
        }
        for (const Row& row : rows) {
            const QDateTime moment = momentOf(day, row.value(1));
            if (moment.isValid() && moment >= from && moment <= to)
                records.append(DueRecord{row.value(0), moment, row.value(2)});
        }
    }
    byMoment(records);
    return records;
}

QDateTime DueCheck::FindNextDue(CAdoDatabase* db, const QDateTime& after)
{
    if (!db)
        return {};
    const QDate day = after.date();
    // The index over (time, date) walks the times after now in order and stops
    // at the first of this day or of every day.
    const QString clause =
        QStringLiteral("where id=(select id from %1 where (date='%2' or date ='%3') and time >'%4' "
                       "order by time limit 1)")
            .arg(table(), day.toString(QLatin1String(reminders::kDateFormat)),
                 QString::fromUtf8(reminders::kEveryDay), reminders::FormatTime(after));
    QString message = clause;
    RowSet rows;
    const int read = db->SelectRows(table(), clause, {QStringLiteral("time")}, rows, 1, message);
    if (read < 0)
        return {};
    if (read == 0)
        return QDateTime(day.addDays(1), QTime(0, 0));
    const QDateTime next = momentOf(day, rows.value(0).value(0));
    // A time that is no time of day: look again a second later, past it.
    return next.isValid() && next > after ? next : after.addSecs(1);
}

QStringList DueCheck::FindMissed(CAdoDatabase* db, const QDateTime& start)
{
    const QDateTime from = start.addSecs(-kMaxCatchUpSeconds);
    const QDateTime to = start.addSecs(-1);
    QList<DueRecord> records;
    for (QDate day = from.date(); db && day.isValid() && day <= to.date(); day = day.addDays(1)) {
        const QString date = day.toString(QLatin1String(reminders::kDateFormat));
        const QString clause = QStringLiteral("where date='%1' and use='%2' and ")
                                   .arg(date, QString::fromUtf8(reminders::kNotTaken)) +
                               timeRange(day, from, to);
        RowSet rows;
        if (!countAndSelect(db, clause,
                            {QStringLiteral("id"), QStringLiteral("time"), QStringLiteral("titile"),
                             QStringLiteral("insertdatatime")},
                            rows))
            continue;
        for (const Row& row : rows) {
            const QDateTime moment = momentOf(day, row.value(1));
            const QString recorded = row.value(3);
            // Recorded before it fell due (an unknown record time does not count);
            // a shutdown long past is never carried out.
            if (!moment.isValid() || moment < from || moment > to || recorded.isEmpty() ||
                recorded >= date + QLatin1Char(' ') + row.value(1) ||
                row.value(2) == QString::fromUtf8(shutdown::kSubject))
                continue;
            records.append(DueRecord{row.value(0), moment, row.value(2)});
        }
    }
    byMoment(records);
    QStringList ids;
    for (const DueRecord& r : records)
        ids.append(r.id);
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
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    QStringList found;
    {
        // Held for this pass only: a release meanwhile frees nothing under us.
        const std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
        if (db)
            m_waiter->watchFile(db->FilePath());

        if (!m_lastChecked.isValid() || now < m_lastChecked) {
            // The first pass, or the clock set back: the seconds from now on recur.
            found = FindDueIds(db.get(), now);
        } else if (now > m_lastChecked) {
            // The plan vouches for the seconds before it (every change since woke us).
            const QDateTime checked =
                m_planned.isValid() && m_planned > m_lastChecked ? m_planned.addSecs(-1) : m_lastChecked;
            const qint64 gap = checked.secsTo(now);
            if (gap <= 1) {
                found = FindDueIds(db.get(), now);
            } else {
                // Slept or jumped over seconds: each of them once, in order.
                const QDateTime from =
                    gap > kMaxCatchUpSeconds ? now.addSecs(1 - kMaxCatchUpSeconds) : checked.addSecs(1);
                const QString shutdownSubject = QString::fromUtf8(shutdown::kSubject);
                for (const DueRecord& r : FindDueBetween(db.get(), from, now)) {
                    if (gap > kShutdownCatchUpSeconds && r.moment < now && r.subject == shutdownSubject)
                        continue;
                    if (!found.contains(r.id))
                        found.append(r.id);
                }
            }
        }
        // Planned afresh at every pass: a wake-up may mean the records changed.
        m_planned = FindNextDue(db.get(), now);
        m_lastChecked = now;
    }
    {
        std::lock_guard<std::mutex> lock(m_plannedLock);
        m_plannedShown = m_planned;
    }
    handOver(found);
    return found;
}
