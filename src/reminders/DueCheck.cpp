#include "reminders/DueCheck.h"

#include "base/Constants.h"
#include "base/WallTime.h"
#include "calendar/Recurrence.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "store/StoreWrites.h"
#include "timers/Shutdown.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <functional>
#include <pthread.h>

namespace {

const QString& table()
{
    static const QString t = QString::fromUtf8(tolva::kReminderTable);
    return t;
}

const QString& snoozeTable()
{
    static const QString t = QString::fromLatin1(repeat::kSnoozeTable);
    return t;
}

// Count, then read the fields of exactly that many rows; false on a failure or
// a read of another size (the rows changed in between).
bool countAndSelect(CAdoDatabase* db, const QString& from, const QString& clause, const QStringList& fields,
                    RowSet& rows)
{
    if (!db)
        return false;
    QString message = clause;
    const int count = db->CountRows(from, clause, message);
    if (count < 0)
        return false;
    if (count == 0)
        return true;
    return db->SelectRows(from, clause, fields, rows, count, message) == count;
}

// The records not cancelled of that wall day (or of every day) whose time meets
// the condition. Selected by key through a subquery: on its own, the store's
// newest-first order would lead SQLite to the index over `use` alone.
QString dueWhere(const QString& date, const QString& timeCondition)
{
    return QStringLiteral(
               "where id in (select id from %1 where use='%2' and (date='%3' or date ='%4') and %5)")
        .arg(table(), QString::fromLatin1(reminders::kNotTaken), date,
             QString::fromUtf8(reminders::kEveryDay), timeCondition);
}

// The times of a day from..to (wall date-times, both included) as a
// where-clause condition.
QString timeRange(const QDate& day, const QDateTime& from, const QDateTime& to)
{
    const QString first = day == from.date() ? reminders::FormatTime(from) : QStringLiteral("00:00:00");
    const QString last = day == to.date() ? reminders::FormatTime(to) : QStringLiteral("23:59:59");
    return QStringLiteral("time >='%1' and time <='%2'").arg(first, last);
}

// The wall reading of a stored text ("HH:mm:ss" on that day, or a whole
// "yyyy-MM-dd HH:mm:ss"); -1 for a text that is no such thing.
qint64 wallOfTime(const QDate& day, const QString& time)
{
    const QTime t = QTime::fromString(time, QLatin1String(reminders::kTimeFormat));
    return t.isValid() ? walltime::Wall(day, t) : -1;
}

qint64 wallOfText(const QString& text)
{
    // Read apart from the local zone: the reading may be one the clock skips.
    const QDateTime t = calendar::wallFromText(text);
    return t.isValid() ? walltime::Wall(t.date(), t.time()) : -1;
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

// The first `limit` stored texts of a column from the bound on (">='08:00:00'"),
// in order, of the rows `inner` ("select id from ... where ... and %1") picks by
// that bound on its index. -1 on a failure.
int firstTexts(CAdoDatabase* db, const QString& from, const QString& column, const QString& inner,
               const QString& bound, int limit, QStringList& texts)
{
    const QString clause = QStringLiteral("where id in (%1 order by %2 limit %3)")
                               .arg(inner.arg(column + bound), column, QString::number(limit));
    RowSet rows;
    QString message = clause;
    const int read = db->SelectRows(from, clause, {column}, rows, limit, message);
    for (const Row& row : rows)
        texts.append(row.value(0));
    // The store hands rows out newest first.
    std::sort(texts.begin(), texts.end());
    return read;
}

// Walks the readings that `inner` gives in wall order from `bound` on, and
// lowers `best` to the first instant after now at which one falls due. highest:
// the largest amount by which a reading now runs ahead of its instant; step: a
// daylight-saving step is near, so that order of readings is not order of
// instants. False on a failure of the store.
bool lowerToNext(CAdoDatabase* db, const QString& from, const QString& column, const QString& inner,
                 const std::function<qint64(const QString&)>& wallOf, QString bound, qint64 now,
                 qint64 highest, bool step, qint64& best)
{
    const int limit = step ? 1000 : 1;
    // Texts that are no reading never fall due; they are stepped over, a few at a time.
    for (int round = 0; round < 8; ++round) {
        QStringList texts;
        const int read = firstTexts(db, from, column, inner, bound, limit, texts);
        if (read < 0)
            return false;
        qint64 lastWall = -1;
        for (const QString& text : texts) {
            const qint64 wall = wallOf(text);
            if (wall < 0)
                continue;
            lastWall = wall;
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
        bound = QStringLiteral(">") + reminders::SqlQuoted(texts.last());
        if (round == 7)
            best = std::min(best, now + 1);
    }
    return true;
}

struct Found
{
    DueRecord record;
    QString wall; // its wall date and time, "YYYY-MM-DD HH:MM:SS"
    QString recorded;
};

// Stable: within one second the records keep the store's newest-first order.
void sortByMoment(QList<Found>& found)
{
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.record.moment < b.record.moment; });
}

// The records matching `which` (a where clause with %1 for the day and %2 for
// the condition on the time) that fall due in the instants from..to, both
// included. Each wall day that can hold one is asked for its range of times.
QList<Found> dueIn(CAdoDatabase* db, qint64 from, qint64 to, const QString& which, bool* ok)
{
    QList<Found> found;
    const walltime::WallSpan span = walltime::WallsDueIn(from, to);
    const QDateTime first = walltime::WallDateTime(span.first);
    const QDateTime last = walltime::WallDateTime(span.last);
    for (QDate day = first.date(); db && day.isValid() && day <= last.date(); day = day.addDays(1)) {
        const QString date = day.toString(QLatin1String(reminders::kDateFormat));
        RowSet rows;
        if (!countAndSelect(db, table(), which.arg(date, timeRange(day, first, last)),
                            {QStringLiteral("id"), QStringLiteral("time"), QStringLiteral("titile"),
                             QStringLiteral("insertdatatime")},
                            rows)) {
            if (ok)
                *ok = false;
            continue;
        }
        for (const Row& row : rows) {
            const qint64 wall = wallOfTime(day, row.value(1));
            const qint64 due = wall < 0 ? -1 : walltime::DueInstant(wall);
            if (due >= from && due <= to)
                found.append(Found{DueRecord{row.value(0), instant(due), row.value(2)},
                                   date + QLatin1Char(' ') + row.value(1), row.value(3)});
        }
    }
    sortByMoment(found);
    return found;
}

// The snoozes of records not cancelled that fall due in the instants from..to,
// both included, on the index over `until`.
QList<Found> snoozesIn(CAdoDatabase* db, qint64 from, qint64 to, bool* ok)
{
    QList<Found> found;
    const walltime::WallSpan span = walltime::WallsDueIn(from, to);
    RowSet rows;
    if (!countAndSelect(db, snoozeTable(),
                        QStringLiteral("where until >='%1' and until <='%2'")
                            .arg(reminders::FormatDateTime(walltime::WallDateTime(span.first)),
                                 reminders::FormatDateTime(walltime::WallDateTime(span.last))),
                        {QStringLiteral("id"), QStringLiteral("until")}, rows)) {
        if (ok)
            *ok = false;
        return found;
    }
    QHash<QString, QPair<qint64, QString>> dueOf; // id: its instant and its wall text
    QStringList ids;
    for (const Row& row : rows) {
        const qint64 wall = wallOfText(row.value(1));
        const qint64 due = wall < 0 ? -1 : walltime::DueInstant(wall);
        if (due >= from && due <= to && row.value(0).toLongLong() > 0) {
            dueOf.insert(row.value(0), {due, row.value(1)});
            ids.append(row.value(0));
        }
    }
    if (ids.isEmpty())
        return found;
    RowSet records;
    if (!countAndSelect(db, table(),
                        QStringLiteral("where use='%1' and id in (%2)")
                            .arg(QString::fromLatin1(reminders::kNotTaken), ids.join(QLatin1Char(','))),
                        {QStringLiteral("id"), QStringLiteral("titile")}, records)) {
        if (ok)
            *ok = false;
        return found;
    }
    for (const Row& row : records) {
        const QPair<qint64, QString> due = dueOf.value(row.value(0));
        found.append(Found{DueRecord{row.value(0), instant(due.first), row.value(1)}, due.second, QString()});
    }
    sortByMoment(found);
    return found;
}

// Records first, then snoozes, ordered by their moments; each record once, at
// its first moment.
QList<Found> merged(QList<Found> records, const QList<Found>& snoozes)
{
    records += snoozes;
    sortByMoment(records);
    QList<Found> once;
    QSet<QString> seen;
    for (const Found& f : records) {
        if (!seen.contains(f.record.id)) {
            seen.insert(f.record.id);
            once.append(f);
        }
    }
    return once;
}

// Set on the worker's thread while it moves stranded series: its own write
// needs no wake-up.
thread_local bool tMovingStranded = false;

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
    m_writeListener = store::AddWriteListener([this] {
        if (!tMovingStranded)
            m_waiter->wake();
    });
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
    return dueWhere(reminders::FormatDate(second),
                    QStringLiteral("time ='%1'").arg(reminders::FormatTime(second)));
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
    const qint64 first = secondsOf(from);
    const qint64 last = secondsOf(to);
    const QString which = dueWhere(QStringLiteral("%1"), QStringLiteral("%2"));
    QList<DueRecord> records;
    for (const Found& f : merged(dueIn(db, first, last, which, ok), snoozesIn(db, first, last, ok)))
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
    qint64 best = walltime::DueInstant(walltime::Wall(today.addDays(1), QTime(0, 0)));
    const QString notCancelled =
        QStringLiteral("use='") + QString::fromLatin1(reminders::kNotTaken) + QLatin1Char('\'');
    // That day's records and every day's, each on the index over (use, date, time).
    for (QDate day = from.date(); day <= today; day = day.addDays(1)) {
        const QString bound =
            QStringLiteral(">=") + reminders::SqlQuoted(day == from.date() ? reminders::FormatTime(from)
                                                                           : QStringLiteral("00:00:00"));
        for (const QString& date :
             {day.toString(QLatin1String(reminders::kDateFormat)), QString::fromUtf8(reminders::kEveryDay)}) {
            const QString inner = QStringLiteral("select id from ") + table() + QStringLiteral(" where ") +
                                  notCancelled + QStringLiteral(" and date=") + reminders::SqlQuoted(date) +
                                  QStringLiteral(" and %1");
            const auto wallOf = [day](const QString& time) { return wallOfTime(day, time); };
            if (!lowerToNext(db, table(), QStringLiteral("time"), inner, wallOf, bound, now, highest, step,
                             best))
                return {};
        }
    }
    // The nearest snooze of a record not cancelled, on the index over `until`.
    const QString inner = QStringLiteral("select id from ") + snoozeTable() +
                          QStringLiteral(" s where %1 and exists (select 1 from ") + table() +
                          QStringLiteral(" r where r.id=s.id and r.") + notCancelled + QLatin1Char(')');
    if (!lowerToNext(db, snoozeTable(), QStringLiteral("until"), inner, wallOfText,
                     QStringLiteral(">=") + reminders::SqlQuoted(reminders::FormatDateTime(from)), now,
                     highest, step, best))
        return {};
    return instant(best);
}

QStringList DueCheck::FindMissed(CAdoDatabase* db, const QDateTime& start)
{
    const qint64 last = secondsOf(start) - 1;
    const qint64 first = last + 1 - kMaxCatchUpSeconds;
    // A snoozed record's own moment has been shown: only its snooze is still to come.
    const QString which = QStringLiteral("where id in (select id from ") + table() +
                          QStringLiteral(" where use='") + QString::fromLatin1(reminders::kNotTaken) +
                          QStringLiteral("' and date='%1' and %2 and id not in (select id from ") +
                          QString::fromLatin1(repeat::kSnoozeTable) + QStringLiteral("))");
    const QString shutdownSubject = QString::fromUtf8(shutdown::kSubject);
    QList<Found> records;
    for (const Found& f : dueIn(db, first, last, which, nullptr)) {
        // Recorded before its wall date and time (an unknown record time does
        // not count); a shutdown long past is never carried out.
        if (!f.recorded.isEmpty() && f.recorded < f.wall && f.record.subject != shutdownSubject)
            records.append(f);
    }
    QList<Found> snoozes;
    for (const Found& f : snoozesIn(db, first, last, nullptr)) {
        if (f.record.subject != shutdownSubject)
            snoozes.append(f);
    }
    QStringList ids;
    for (const Found& f : merged(records, snoozes))
        ids.append(f.record.id);
    return ids;
}

void DueCheck::handOver(const QStringList& ids)
{
    if (ids.isEmpty())
        return;
    m_context.appendDue(ids);
    emit remindersDue();
}

void DueCheck::moveStranded(CAdoDatabase* db, qint64 wallNow, const QStringList& except)
{
    if (!db)
        return;
    // The worker's own write changes nothing it has yet to plan: it plans after this.
    tMovingStranded = true;
    repeat::MoveStranded(*db, walltime::WallDateTime(wallNow), except);
    tMovingStranded = false;
}

QStringList DueCheck::runMissedPass()
{
    walltime::RefreshZone();
    const qint64 now = secondsOf(seams::clock().now());
    QStringList found;
    {
        const std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
        found = FindMissed(db.get(), instant(now));
        // What is handed over moves on once it has been shown.
        moveStranded(db.get(), walltime::WallAt(now), found);
    }
    // The passes go on from the second this one ended before.
    m_lastChecked = now - 1;
    m_lastWall = walltime::WallAt(m_lastChecked);
    m_planned = -1;
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
            // Series whose occurrence the catch-up left behind (too old, a
            // shutdown not carried out) move on; in a shorter gap none is left.
            if (gap > kShutdownCatchUpSeconds)
                moveStranded(db.get(), wallNow, found);
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
