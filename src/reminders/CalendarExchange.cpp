#include "reminders/CalendarExchange.h"

#include "base/Constants.h"
#include "base/Gbk.h"
#include "base/SettingsFile.h"
#include "calendar/Recurrence.h"
#include "calendar/WorkdayCalendar.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "timers/Shutdown.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QTimeZone>

#include <algorithm>

namespace reminders {

namespace {

// A lunar series travels as its dates for at least this many years.
constexpr int kLunarYears = 11;
constexpr char kAckTable[] = "recordack";
constexpr char kAckFormat[] = "yyyy-MM-ddTHH:mm:ssZ";
constexpr char kImportedShutdown[] = "关机（导入）";

QString u8(const char* s)
{
    return QString::fromUtf8(s);
}

QString table()
{
    return QString::fromLatin1(tolva::kReminderTable);
}

QString idClause(const QString& id)
{
    return QStringLiteral("where id=") + id;
}

QDateTime localWallNow()
{
    const QDateTime now = WholeSeconds(seams::clock().now());
    return calendar::wallTime(now.date(), now.time());
}

// A local wall time as the instant it names, in UTC.
QDateTime utcOfLocalWall(const QDateTime& wall)
{
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime).toUTC();
}

QDateTime localWallOfUtc(const QDateTime& utc)
{
    const QDateTime local = utc.toLocalTime();
    return calendar::wallTime(local.date(), local.time());
}

// A wall time in a zone as the local wall clock shows it.
QDateTime localWallOfZoned(const QDateTime& wall, const QString& tzid)
{
    const QTimeZone zone(tzid.toUtf8());
    if (tzid.isEmpty() || !zone.isValid())
        return wall;
    const QDateTime local = QDateTime(wall.date(), wall.time(), zone).toLocalTime();
    return calendar::wallTime(local.date(), local.time());
}

bool isShutdownPair(const QString& subject, const QString& content)
{
    return subject == u8(shutdown::kSubject) &&
           (content == u8(shutdown::kDirect) || content == u8(shutdown::kPrompt));
}

QDateTime ackOfText(const QString& text)
{
    if (text.isEmpty())
        return {};
    QDateTime at = QDateTime::fromString(text, QLatin1String(kAckFormat));
    at.setTimeSpec(Qt::UTC);
    return at;
}

// When the record was last acknowledged; invalid when never.
QDateTime acknowledgedAt(CAdoDatabase& db, const QString& id)
{
    RowSet rows;
    QString message = idClause(id);
    if (db.SelectRows(u8(kAckTable), idClause(id), {QStringLiteral("at")}, rows, 1, message) != 1)
        return {};
    return ackOfText(rows.first().value(0));
}

// The given fields of every row of a table keyed by record id, by id; nothing on a failure.
std::optional<QHash<QString, Row>> rowsById(CAdoDatabase& db, const char* name, const QStringList& fields,
                                            QString& message)
{
    const QString t = u8(name);
    const int total = db.CountRows(t, QString(), message);
    RowSet rows;
    if (total < 0 || (total > 0 && db.SelectRows(t, QString(), QStringList{QStringLiteral("id")} + fields,
                                                 rows, total, message) < 0))
        return std::nullopt;
    QHash<QString, Row> byId;
    byId.reserve(rows.size());
    for (const Row& row : rows)
        byId.insert(row.value(0), row.mid(1));
    return byId;
}

int writeAcknowledged(CAdoDatabase& db, const QString& id, const QDateTime& at, QString& message)
{
    message = idClause(id);
    if (db.DeleteRows(u8(kAckTable), idClause(id), 1, message) < 0)
        return store::kDataError;
    return db.InsertRows(u8(kAckTable), {QStringLiteral("id"), QStringLiteral("at")},
                         RowSet{{id, at.toUTC().toString(QLatin1String(kAckFormat))}}, 1, message);
}

// The days the official calendar moves off or onto Monday to Friday, in the
// years it has arrangements for, from the series' start on.
void addWorkdayExceptions(const calendar::WorkdayCalendar& workdays, calendar::ReminderEvent& e)
{
    for (const int year : workdays.coveredYears()) {
        for (QDate day(year, 1, 1); day.year() == year; day = day.addDays(1)) {
            if (day < e.start.date())
                continue;
            const bool weekday = day.dayOfWeek() <= 5;
            const bool worked = workdays.isWorkday(day);
            if (weekday && !worked)
                e.exdates << calendar::wallTime(day, e.start.time());
            else if (!weekday && worked)
                e.rdates << calendar::wallTime(day, e.start.time());
        }
    }
}

// Cuts a text to the editor's limit at a character boundary, ending it with "…".
QString fitted(const QString& text, int maxBytes, bool& cut)
{
    if (gbk::byteLength(text) <= maxBytes)
        return text;
    cut = true;
    const QString ellipsis = QStringLiteral("…");
    return gbk::truncateToBytes(text, maxBytes - gbk::byteLength(ellipsis)) + ellipsis;
}

// The record of a UID; empty when none has it.
QString recordOfUid(CAdoDatabase& db, const QString& uid, bool& ok)
{
    ok = true;
    if (uid.isEmpty())
        return {};
    RowSet rows;
    const QString where = QStringLiteral("where uid=") + SqlQuoted(uid);
    QString message = where;
    const int read = db.SelectRows(u8(repeat::kUidTable), where, {QStringLiteral("id")}, rows, 1, message);
    if (read < 0)
        ok = false;
    return read == 1 ? rows.first().value(0) : QString();
}

// What the table holds about one record, read one record or a whole table at a time.
struct RecordParts
{
    Row record; // InsertFields() order
    QString uid;
    const repeat::Rule* rule = nullptr;
    QDateTime acknowledged;
};

std::optional<calendar::ReminderEvent>
eventOf(const RecordParts& parts, const std::shared_ptr<const calendar::WorkdayCalendar>& workdays,
        const QDateTime& now)
{
    const Row& r = parts.record;
    const QString subject = r.value(0), content = r.value(1), date = r.value(2), time = r.value(3);
    if (isShutdownPair(subject, content))
        return std::nullopt;
    calendar::ReminderEvent e;
    e.uid = parts.uid;
    e.summary = subject;
    e.description = content;
    const QDateTime inserted = calendar::wallFromText(r.value(5));
    if (inserted.isValid())
        e.stamp = utcOfLocalWall(inserted);
    e.acknowledged = parts.acknowledged;
    const bool everyDay = date == QLatin1String(kEveryDay);
    const repeat::Rule* rule = everyDay ? nullptr : parts.rule;
    const QDateTime held = calendar::wallFromText(date + QLatin1Char(' ') + time);
    if (everyDay) {
        // From the day it was added: the same start on every export.
        const QDate from = inserted.isValid() ? inserted.date() : QDate(2000, 1, 1);
        e.start = calendar::wallTime(from, QTime::fromString(time, QLatin1String(kTimeFormat)));
        e.rrule = QStringLiteral("FREQ=DAILY");
    } else if (rule) {
        const calendar::Recurrence series = repeat::SeriesOf(*rule, workdays);
        e.tzid = rule->tzid;
        e.workdays = rule->workdays;
        e.alarmSeconds = rule->alarm;
        e.start = calendar::wallFromText(rule->dtstart);
        // DTSTART is an occurrence for every reader: the series' first.
        if (series.isValid()) {
            const QList<QDateTime> first = series.occurrences(e.start, 1);
            if (!first.isEmpty())
                e.start = first.first();
        }
        if (rule->isWorkdays()) {
            e.rrule = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
            if (workdays)
                addWorkdayExceptions(*workdays, e);
        } else {
            e.rrule = rule->rrule;
        }
        if (series.kind() == calendar::Recurrence::Kind::Lunar) {
            const QDateTime yearStart = calendar::wallTime(QDate(now.date().year(), 1, 1), QTime(0, 0));
            const QDateTime from = std::max(e.start, yearStart);
            const QDateTime until = from.addYears(kLunarYears);
            for (QDateTime at = series.occurrences(from, 1).value(0); at.isValid() && at <= until;
                 at = series.nextAfter(at))
                e.rdates << at;
        }
    } else {
        if (!held.isValid())
            return std::nullopt;
        e.start = held;
    }
    // "1" is also a dated record shown and kept: done, not cancelled.
    e.cancelled = r.value(4) == QLatin1String(kTaken) && (everyDay || rule || held > now);
    return e;
}

} // namespace

std::optional<calendar::ReminderEvent> EventOfRecord(CAdoDatabase& db, const QString& id)
{
    if (!IsRecordId(id))
        return std::nullopt;
    RowSet rows;
    QString message = idClause(id);
    if (db.SelectRows(table(), idClause(id), InsertFields(), rows, 1, message) != 1)
        return std::nullopt;
    const std::optional<repeat::Rule> rule = repeat::ReadRule(db, id);
    RecordParts parts{rows.first(), repeat::UidOf(db, id), rule ? &*rule : nullptr, acknowledgedAt(db, id)};
    std::shared_ptr<const calendar::WorkdayCalendar> workdays;
    if (rule && rule->isWorkdays())
        workdays = repeat::Workdays(db);
    return eventOf(parts, workdays, localWallNow());
}

namespace {

// Writes the event as a new record, or over the record `existing`.
StoreOutcome storeAs(CAdoDatabase& db, const calendar::ReminderEvent& e, const QString& existing)
{
    StoreOutcome out;
    if (!e.start.isValid()) {
        out.error = u8("事件没有有效的开始时间");
        return out;
    }
    bool simplified = e.simplified;
    QString subject = e.summary.trimmed();
    QString content = e.description;
    if (subject.isEmpty())
        subject = content.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (content.isEmpty())
        content = subject;
    if (isShutdownPair(subject, content)) {
        subject = u8(kImportedShutdown);
        simplified = true;
    }
    subject = fitted(subject, kSubjectMaxBytes, simplified);
    content = fitted(content, kContentMaxBytes, simplified);

    QDateTime start = e.start;
    if (e.allDay)
        start = calendar::wallTime(start.date(),
                                   QTime::fromString(settings::ReadAllDayTime(), QLatin1String(kTimeFormat)));
    const QString tzid = e.allDay ? QString() : e.tzid;
    const QDateTime now = localWallNow();

    std::optional<repeat::Rule> rule;
    QDateTime due;
    const bool workdays = e.workdays == QLatin1String(repeat::kWorkdaysCN);
    const QDateTime inserted = e.stamp.isValid() ? localWallOfUtc(e.stamp) : now;
    // Daily from the day it was made, in local time: an every-day record, as exported.
    const bool everyDay = e.rrule == QLatin1String("FREQ=DAILY") && tzid.isEmpty() && e.alarmSeconds == 0 &&
                          !e.allDay && e.rdates.isEmpty() && e.exdates.isEmpty() && !workdays &&
                          e.stamp.isValid() && start.date() == inserted.date();
    if (everyDay) {
        due = start;
    } else if (!e.rrule.isEmpty() || workdays) {
        RuleDraft draft;
        draft.rrule = workdays ? QString() : e.rrule;
        draft.workdays = workdays;
        draft.tzid = tzid;
        draft.alarm = e.alarmSeconds;
        repeat::Rule planned;
        QString error;
        if (PlanSeries(db, draft, start, now, planned, due, error)) {
            rule = planned;
            // Our own lunar and workday series carry their dates for other readers only.
            const bool ours = workdays || e.rrule.contains(QLatin1String("RSCALE"), Qt::CaseInsensitive);
            if (!ours && (!e.rdates.isEmpty() || !e.exdates.isEmpty()))
                simplified = true;
        } else {
            // A rule we cannot follow, or a series that has ended: its first occurrence only.
            simplified = true;
        }
    }
    if (!rule && !everyDay)
        due = localWallOfZoned(start, tzid).addSecs(-e.alarmSeconds);

    // A one-off whose moment has passed is done, as one shown and kept.
    const bool oneOff = !rule && !everyDay;
    const bool done = oneOff && due <= now;
    const QString use = u8(e.cancelled || done ? kTaken : kNotTaken);
    const QStringList values{subject,         content, everyDay ? u8(kEveryDay) : FormatDate(due),
                             FormatTime(due), use,     FormatDateTime(inserted)};

    QString message;
    const int written = db.RunInTransaction(
        [&](QString& m) {
            QString id = existing;
            if (id.isEmpty()) {
                id = AddRecord(db, values, rule, m);
                if (id.isEmpty())
                    return int(store::kDataError);
                if (!e.uid.isEmpty()) {
                    m = idClause(id);
                    if (db.UpdateRows(u8(repeat::kUidTable), idClause(id), {QStringLiteral("uid")}, {e.uid},
                                      1, m) != 1)
                        return int(store::kDataError);
                }
            } else if (const int changed = ModifyRecord(db, id, values, rule, m); changed != 1) {
                return changed < 0 ? changed : int(store::kDataError);
            }
            out.id = id;
            // An acknowledgement made elsewhere, newer than ours, acknowledges here too.
            if (e.acknowledged.isValid()) {
                const QDateTime ours = acknowledgedAt(db, id);
                if (!ours.isValid() || e.acknowledged > ours) {
                    if (writeAcknowledged(db, id, e.acknowledged, m) != 1)
                        return int(store::kDataError);
                    const QDateTime ackWall = localWallOfUtc(e.acknowledged);
                    if (rule && ackWall >= due) {
                        repeat::Move move;
                        if (repeat::MoveToNext(db, id, ackWall, move, m) < 0)
                            return int(store::kDataError);
                    } else if (oneOff) {
                        m = idClause(id);
                        if (db.UpdateRows(table(), idClause(id), {QStringLiteral("use")}, {u8(kTaken)}, 1,
                                          m) != 1)
                            return int(store::kDataError);
                    }
                }
            }
            return 1;
        },
        message);
    if (written != 1) {
        out.kind = StoreOutcome::Failed;
        out.error = message.isEmpty() ? u8("写入提醒失败") : message;
        out.id.clear();
        return out;
    }
    out.kind = simplified ? StoreOutcome::Simplified : StoreOutcome::Stored;
    return out;
}

} // namespace

StoreOutcome StoreEvent(CAdoDatabase& db, const calendar::ReminderEvent& e, bool replaceExisting)
{
    bool ok = true;
    const QString existing = recordOfUid(db, e.uid, ok);
    if (!ok)
        return StoreOutcome{StoreOutcome::Failed, QString(), u8("读取提醒失败")};
    if (!existing.isEmpty() && !replaceExisting)
        return StoreOutcome{StoreOutcome::Skipped, existing, QString()};
    return storeAs(db, e, existing);
}

bool ReadAllEvents(CAdoDatabase& db, QList<QPair<QString, calendar::ReminderEvent>>& out, QString& error)
{
    out.clear();
    // The whole table at once, in one transaction: the same state throughout.
    QString message;
    const int read = db.RunInTransaction(
        [&](QString& m) {
            const int total = db.CountRows(table(), QString(), m);
            if (total <= 0)
                return total;
            const std::optional<QHash<QString, Row>> records =
                rowsById(db, tolva::kReminderTable, InsertFields(), m);
            const std::optional<QHash<QString, Row>> uids =
                rowsById(db, repeat::kUidTable, {QStringLiteral("uid")}, m);
            const std::optional<QHash<QString, Row>> acks =
                rowsById(db, kAckTable, {QStringLiteral("at")}, m);
            if (!records || !uids || !acks)
                return int(store::kDataError);
            QList<qint64> ids;
            for (auto it = records->cbegin(); it != records->cend(); ++it)
                ids << it.key().toLongLong();
            std::sort(ids.begin(), ids.end());
            QStringList keys;
            for (const qint64 id : ids)
                keys << QString::number(id);
            const QHash<QString, repeat::Rule> rules = repeat::ReadRules(db, keys);
            std::shared_ptr<const calendar::WorkdayCalendar> workdays;
            for (const repeat::Rule& rule : rules) {
                if (rule.isWorkdays()) {
                    workdays = repeat::Workdays(db);
                    break;
                }
            }
            const QDateTime now = localWallNow();
            for (const QString& id : keys) {
                const auto rule = rules.constFind(id);
                const RecordParts parts{records->value(id), uids->value(id).value(0),
                                        rule == rules.cend() ? nullptr : &*rule,
                                        ackOfText(acks->value(id).value(0))};
                if (std::optional<calendar::ReminderEvent> e = eventOf(parts, workdays, now))
                    out << qMakePair(id, *e);
            }
            return 1;
        },
        message);
    if (read < 0) {
        out.clear();
        error = message;
        return false;
    }
    return true;
}

bool ExportCalendarFile(CAdoDatabase& db, const QString& path, int& count, QString& error)
{
    count = 0;
    QList<QPair<QString, calendar::ReminderEvent>> read;
    QString message;
    if (!ReadAllEvents(db, read, message)) {
        error = u8("读取提醒失败：") + message;
        return false;
    }
    QList<calendar::ReminderEvent> events;
    events.reserve(read.size());
    for (const auto& [id, event] : read)
        events << event;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = u8("无法写入文件“%1”：%2").arg(path, file.errorString());
        return false;
    }
    file.write(calendar::WriteCalendar(events));
    if (!file.commit()) {
        error = u8("无法写入文件“%1”：%2").arg(path, file.errorString());
        return false;
    }
    count = int(events.size());
    return true;
}

bool ImportCalendarFile(CAdoDatabase& db, const QString& path, ExchangeCounts& counts, QString& error)
{
    counts = ExchangeCounts();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = u8("无法读取文件“%1”：%2").arg(path, file.errorString());
        return false;
    }
    const calendar::CalendarRead read = calendar::ReadCalendar(file.readAll());
    if (!read.error.isEmpty()) {
        error = u8("“%1”%2").arg(path, read.error);
        return false;
    }
    ExchangeCounts found;
    found.skipped = read.skipped;
    QString message;
    // One transaction: quick for many events, and all or nothing.
    const int stored = db.RunInTransaction(
        [&](QString& m) {
            // The UIDs there are, read once: an event whose UID is among them is left alone.
            const std::optional<QHash<QString, Row>> uids =
                rowsById(db, repeat::kUidTable, {QStringLiteral("uid")}, m);
            if (!uids)
                return int(store::kDataError);
            QSet<QString> known;
            known.reserve(uids->size() + read.events.size());
            for (const Row& uid : *uids)
                known.insert(uid.value(0));
            for (const calendar::ReminderEvent& e : read.events) {
                const bool there = !e.uid.isEmpty() && known.contains(e.uid);
                const StoreOutcome outcome = there ? StoreOutcome{StoreOutcome::Skipped, QString(), QString()}
                                                   : storeAs(db, e, QString());
                known.insert(e.uid);
                switch (outcome.kind) {
                case StoreOutcome::Simplified:
                    ++found.simplified;
                    ++found.imported;
                    break;
                case StoreOutcome::Stored:
                    ++found.imported;
                    break;
                case StoreOutcome::Skipped:
                    ++found.skipped;
                    break;
                case StoreOutcome::Failed:
                    m = outcome.error;
                    return int(store::kDataError);
                }
            }
            return 1;
        },
        message);
    if (stored != 1) {
        error = u8("导入失败：") + message;
        return false;
    }
    counts = found;
    return true;
}

QString ImportSummaryText(const ExchangeCounts& counts)
{
    return u8("导入了 %1 个提醒，其中 %2 个有所简化；跳过了 %3 个（没有提醒或已经导入过）。")
        .arg(counts.imported)
        .arg(counts.simplified)
        .arg(counts.skipped);
}

} // namespace reminders
