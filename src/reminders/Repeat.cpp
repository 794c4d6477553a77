#include "reminders/Repeat.h"

#include "base/Constants.h"
#include "calendar/WorkdayCalendar.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"

#include <QTimeZone>

namespace repeat {

namespace {

QString name(const char* table)
{
    return QString::fromLatin1(table);
}

bool isKey(const QString& id)
{
    return reminders::IsRecordId(id);
}

// "where id in (1,2,3)" over the ids that can name a record; empty when none can.
QString idsClause(const QStringList& ids)
{
    QStringList keys;
    for (const QString& id : ids) {
        if (isKey(id))
            keys << id;
    }
    return keys.isEmpty() ? QString()
                          : QStringLiteral("where id in (") + keys.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString idClause(const QString& id)
{
    return QStringLiteral("where id=") + id;
}

// A record's row of one of the tables beside it: the rows removed, or a failure code.
int deleteRowOf(CAdoDatabase& db, const char* table, const QString& id, QString& message)
{
    if (!isKey(id))
        return 0;
    message = idClause(id);
    return db.DeleteRows(name(table), idClause(id), 1, message);
}

const QStringList& ruleFields()
{
    static const QStringList f{QStringLiteral("id"),    QStringLiteral("dtstart"),
                               QStringLiteral("rrule"), QStringLiteral("workdays"),
                               QStringLiteral("tzid"),  QStringLiteral("alarm")};
    return f;
}

Rule ruleOf(const Row& row)
{
    return Rule{row.value(0), row.value(1), row.value(2),
                row.value(3), row.value(4), row.value(5).toLongLong()};
}

const calendar::WorkdayCalendar& shippedWorkdays()
{
    static const calendar::WorkdayCalendar shipped = calendar::WorkdayCalendar::shipped();
    return shipped;
}

// Moves one record (inside a transaction or not): its date and time to `next`, not cancelled.
int writeMove(CAdoDatabase& db, const QString& id, const QDateTime& next, QString& message)
{
    message = idClause(id);
    return db.UpdateRows(
        name(tolva::kReminderTable), idClause(id),
        {QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("use")},
        {reminders::FormatDate(next), reminders::FormatTime(next), QString::fromLatin1(reminders::kNotTaken)},
        1, message);
}

} // namespace

std::optional<Rule> ReadRule(CAdoDatabase& db, const QString& id, bool* ok)
{
    if (ok)
        *ok = true;
    if (!isKey(id))
        return std::nullopt;
    RowSet rows;
    QString message = idClause(id);
    const int read = db.SelectRows(name(kRuleTable), idClause(id), ruleFields(), rows, 1, message);
    if (read < 0 && ok)
        *ok = false;
    if (read != 1)
        return std::nullopt;
    return ruleOf(rows.first());
}

QHash<QString, Rule> ReadRules(CAdoDatabase& db, const QStringList& ids)
{
    QHash<QString, Rule> rules;
    const QString where = idsClause(ids);
    if (where.isEmpty())
        return rules;
    RowSet rows;
    QString message = where;
    const int read = db.SelectRows(name(kRuleTable), where, ruleFields(), rows, int(ids.size()), message);
    for (int i = 0; i < read; ++i)
        rules.insert(rows.at(i).value(0), ruleOf(rows.at(i)));
    return rules;
}

int WriteRule(CAdoDatabase& db, const Rule& rule, QString& message)
{
    if (!isKey(rule.id)) {
        message = QStringLiteral("invalid record id: \"") + rule.id + QLatin1Char('"');
        return store::kDataError;
    }
    return db.RunInTransaction(
        [&](QString& m) {
            m = idClause(rule.id);
            if (db.DeleteRows(name(kRuleTable), idClause(rule.id), 1, m) < 0)
                return int(store::kDataError);
            // Empty values would go in as NULL, which the table refuses: the
            // text columns hold '' for "none".
            const Row row{rule.id,       rule.dtstart, rule.rrule,
                          rule.workdays, rule.tzid,    QString::number(rule.alarm)};
            const QStringList fields = ruleFields();
            QStringList given;
            Row values;
            for (int i = 0; i < fields.size(); ++i) {
                if (!row.at(i).isEmpty()) {
                    given << fields.at(i);
                    values << row.at(i);
                }
            }
            return db.InsertRows(name(kRuleTable), given, RowSet{values}, 1, m);
        },
        message);
}

int RemoveRule(CAdoDatabase& db, const QString& id, QString& message)
{
    return deleteRowOf(db, kRuleTable, id, message);
}

std::shared_ptr<const calendar::WorkdayCalendar> Workdays(CAdoDatabase& db)
{
    auto workdays = std::make_shared<calendar::WorkdayCalendar>(shippedWorkdays());
    RowSet rows;
    QString message;
    const int read =
        db.SelectRows(name(kHolidayTable), QString(), {QStringLiteral("text")}, rows, 1000, message);
    // Read newest first; merged oldest first, so that the newest load wins.
    for (int i = read - 1; i >= 0; --i) {
        calendar::WorkdayCalendar loaded;
        if (loaded.parse(rows.at(i).value(0), nullptr))
            workdays->merge(loaded);
    }
    return workdays;
}

int LoadHolidays(CAdoDatabase& db, const QString& text, QString& message)
{
    calendar::WorkdayCalendar loaded;
    if (!loaded.parse(text, &message))
        return store::kDataError;
    if (loaded.coveredYears().isEmpty()) {
        message = QString::fromUtf8("节假日安排里没有任何一年（每年以 [YYYY] 一行开始）");
        return store::kDataError;
    }
    const QString now = reminders::FormatDateTime(reminders::WholeSeconds(QDateTime::currentDateTime()));
    return db.InsertRows(name(kHolidayTable), {QStringLiteral("loaded"), QStringLiteral("text")},
                         RowSet{{now, text}}, 1, message);
}

calendar::Recurrence SeriesOf(const Rule& rule, CAdoDatabase& db, QString* error)
{
    return SeriesOf(rule, rule.isWorkdays() ? Workdays(db) : nullptr, error);
}

calendar::Recurrence SeriesOf(const Rule& rule, std::shared_ptr<const calendar::WorkdayCalendar> workdays,
                              QString* error)
{
    const QDateTime start = calendar::wallFromText(rule.dtstart);
    if (!start.isValid()) {
        if (error)
            *error = QString::fromUtf8("重复规则的开始时间无效：") + rule.dtstart;
        return {};
    }
    if (rule.isWorkdays()) {
        if (!workdays)
            workdays = std::make_shared<calendar::WorkdayCalendar>(shippedWorkdays());
        return calendar::Recurrence::workdays(start, std::move(workdays));
    }
    return calendar::Recurrence::parse(rule.rrule, start, error);
}

QDateTime NextAfter(const Rule& rule, const calendar::Recurrence& series, const QDateTime& wall)
{
    if (!series.isValid())
        return {};
    // Due `alarm` before each occurrence: the first occurrence after wall + alarm.
    const QDateTime after = wall.addSecs(rule.alarm);
    const QTimeZone zone(rule.tzid.toUtf8());
    if (rule.tzid.isEmpty() || !zone.isValid()) {
        const QDateTime next = series.nextAfter(after);
        return next.isValid() ? next.addSecs(-rule.alarm) : QDateTime();
    }
    // The series counts in its own zone: now as that zone's wall clock shows
    // it, and the occurrence back as the local wall clock shows it.
    const QDateTime localNow(after.date(), after.time(), Qt::LocalTime);
    const QDateTime there = localNow.toTimeZone(zone);
    const QDateTime next = series.nextAfter(calendar::wallTime(there.date(), there.time()));
    if (!next.isValid())
        return {};
    const QDateTime here = QDateTime(next.date(), next.time(), zone).toLocalTime();
    return calendar::wallTime(here.date(), here.time()).addSecs(-rule.alarm);
}

int MoveToNext(CAdoDatabase& db, const QString& id, const QDateTime& wallNow, Move& move, QString& message)
{
    move = Move();
    bool ok = true;
    const std::optional<Rule> rule = ReadRule(db, id, &ok);
    if (!ok) {
        message = QString::fromUtf8("读取重复规则失败");
        return store::kDataError;
    }
    if (!rule)
        return 0;
    move.repeating = true;
    move.next = NextAfter(*rule, SeriesOf(*rule, db), wallNow);
    if (!move.next.isValid()) {
        move.ended = true;
        return 0;
    }
    return writeMove(db, id, move.next, message);
}

QHash<QString, QDateTime> NextOccurrences(CAdoDatabase& db, const QStringList& ids, const QDateTime& wallNow)
{
    QHash<QString, QDateTime> next;
    std::shared_ptr<const calendar::WorkdayCalendar> workdays;
    for (const Rule& rule : ReadRules(db, ids)) {
        if (rule.isWorkdays() && !workdays)
            workdays = Workdays(db);
        const QDateTime occurrence = NextAfter(rule, SeriesOf(rule, workdays), wallNow);
        if (occurrence.isValid())
            next.insert(rule.id, occurrence);
    }
    return next;
}

int MoveStranded(CAdoDatabase& db, const QDateTime& wallNow, const QStringList& except)
{
    const QString date = reminders::FormatDate(wallNow);
    const QString time = reminders::FormatTime(wallNow);
    // Dated, not cancelled, before now, with a rule.
    const QString where =
        QStringLiteral("where use='0' and (date<'%1' or (date='%1' and time<'%2')) and date<>'%3' and "
                       "id in (select id from %4)")
            .arg(date, time, QString::fromLatin1(reminders::kEveryDay), name(kRuleTable));
    QString message = where;
    const int count = db.CountRows(name(tolva::kReminderTable), where, message);
    if (count <= 0)
        return count;
    RowSet rows;
    message = where;
    if (db.SelectRows(name(tolva::kReminderTable), where,
                      {QStringLiteral("id"), QStringLiteral("date"), QStringLiteral("time")}, rows, count,
                      message) < 0)
        return store::kDataError;
    QHash<QString, Row> stranded;
    for (const Row& row : rows) {
        if (!except.contains(row.value(0)))
            stranded.insert(row.value(0), row);
    }
    if (stranded.isEmpty())
        return 0;
    // The occurrences are found without holding the store (many series take a
    // while); each is written only where its record still is as it was read.
    // An ended series stays where it is, as a dated record does.
    const QHash<QString, QDateTime> moves = NextOccurrences(db, stranded.keys(), wallNow);
    return db.RunInTransaction(
        [&](QString& m) {
            int moved = 0;
            for (auto move = moves.cbegin(); move != moves.cend(); ++move) {
                const QString& id = move.key();
                const QDateTime& next = move.value();
                const Row& was = stranded.value(id);
                const QString unchanged = idClause(id) + QStringLiteral(" and use='0' and date=") +
                                          reminders::SqlQuoted(was.value(1)) + QStringLiteral(" and time=") +
                                          reminders::SqlQuoted(was.value(2));
                m = unchanged;
                const int written = db.UpdateRows(
                    name(tolva::kReminderTable), unchanged, {QStringLiteral("date"), QStringLiteral("time")},
                    {reminders::FormatDate(next), reminders::FormatTime(next)}, 1, m);
                if (written < 0)
                    return written;
                moved += written;
            }
            return moved;
        },
        message);
}

int Snooze(CAdoDatabase& db, const QString& id, const QDateTime& until, QString& message)
{
    if (!isKey(id)) {
        message = QStringLiteral("invalid record id: \"") + id + QLatin1Char('"');
        return store::kDataError;
    }
    return db.RunInTransaction(
        [&](QString& m) {
            m = idClause(id);
            if (db.DeleteRows(name(kSnoozeTable), idClause(id), 1, m) < 0)
                return int(store::kDataError);
            return db.InsertRows(name(kSnoozeTable), {QStringLiteral("id"), QStringLiteral("until")},
                                 RowSet{{id, reminders::FormatDateTime(until)}}, 1, m);
        },
        message);
}

int EndSnooze(CAdoDatabase& db, const QString& id, QString& message)
{
    return deleteRowOf(db, kSnoozeTable, id, message);
}

std::optional<QDateTime> SnoozedUntil(CAdoDatabase& db, const QString& id)
{
    const QHash<QString, QDateTime> snoozes = SnoozesOf(db, {id});
    if (!snoozes.contains(id))
        return std::nullopt;
    return snoozes.value(id);
}

QHash<QString, QDateTime> SnoozesOf(CAdoDatabase& db, const QStringList& ids)
{
    QHash<QString, QDateTime> snoozes;
    const QString where = idsClause(ids);
    if (where.isEmpty())
        return snoozes;
    RowSet rows;
    QString message = where;
    const int read = db.SelectRows(name(kSnoozeTable), where, {QStringLiteral("id"), QStringLiteral("until")},
                                   rows, int(ids.size()), message);
    for (int i = 0; i < read; ++i) {
        const QDateTime until = calendar::wallFromText(rows.at(i).value(1));
        if (until.isValid())
            snoozes.insert(rows.at(i).value(0), until);
    }
    return snoozes;
}

QString UidOf(CAdoDatabase& db, const QString& id)
{
    if (!isKey(id))
        return {};
    RowSet rows;
    QString message = idClause(id);
    if (db.SelectRows(name(kUidTable), idClause(id), {QStringLiteral("uid")}, rows, 1, message) != 1)
        return {};
    return rows.first().value(0);
}

} // namespace repeat
