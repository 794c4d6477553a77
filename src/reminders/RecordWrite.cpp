#include "reminders/RecordWrite.h"

#include "base/Constants.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"

namespace reminders {

namespace {

QString table()
{
    return QString::fromLatin1(tolva::kReminderTable);
}

} // namespace

bool PlanSeries(CAdoDatabase& db, const RuleDraft& draft, const QDateTime& start, const QDateTime& wallNow,
                repeat::Rule& rule, QDateTime& first, QString& error)
{
    rule = repeat::Rule();
    rule.dtstart = FormatDateTime(start);
    if (draft.workdays)
        rule.workdays = QString::fromLatin1(repeat::kWorkdaysCN);
    else
        rule.rrule = draft.rrule;
    rule.tzid = draft.tzid;
    rule.alarm = draft.alarm;
    const calendar::Recurrence series = repeat::SeriesOf(rule, db, &error);
    if (!series.isValid())
        return false;
    // Stored as the parser wrote it (upper case, without "RRULE:").
    rule.rrule = series.rrule();
    // Every occurrence of the series lies at or after its start.
    first = repeat::NextAfter(rule, series, wallNow);
    if (!first.isValid()) {
        error = QString::fromUtf8("这个重复规则以后再没有提醒的时间了。  ");
        return false;
    }
    return true;
}

QString AddRecord(CAdoDatabase& db, const QStringList& values, const std::optional<repeat::Rule>& rule,
                  QString& message)
{
    QString id;
    const int added = db.RunInTransaction(
        [&](QString& m) {
            const int inserted = db.InsertRows(table(), InsertFields(), RowSet{values}, 1, m);
            if (inserted != 1)
                return inserted < 0 ? inserted : int(store::kDataError);
            id = QString::number(db.LastInsertId());
            if (!rule)
                return 1;
            repeat::Rule stored = *rule;
            stored.id = id;
            return repeat::WriteRule(db, stored, m);
        },
        message);
    return added == 1 ? id : QString();
}

int ModifyRecord(CAdoDatabase& db, const QString& id, const QStringList& values,
                 const std::optional<repeat::Rule>& rule, QString& message)
{
    if (!IsRecordId(id))
        return 0;
    const QString clause = QStringLiteral("where id=") + id;
    return db.RunInTransaction(
        [&](QString& m) {
            RowSet before;
            m = clause;
            const int found = db.SelectRows(table(), clause, {QStringLiteral("date"), QStringLiteral("time")},
                                            before, 1, m);
            if (found <= 0)
                return found;
            bool ok = true;
            const std::optional<repeat::Rule> old = repeat::ReadRule(db, id, &ok);
            if (!ok)
                return int(store::kDataError);
            m = clause;
            const int changed = db.UpdateRows(table(), clause, InsertFields(), values, 1, m);
            if (changed != 1)
                return changed;
            if (!rule)
                return old ? (repeat::RemoveRule(db, id, m) < 0 ? int(store::kDataError) : 1) : 1;
            repeat::Rule stored = *rule;
            stored.id = id;
            const bool sameWhen =
                before.first().value(0) == values.value(2) && before.first().value(1) == values.value(3);
            if (old && sameWhen && old->rrule == stored.rrule && old->workdays == stored.workdays &&
                old->tzid == stored.tzid && old->alarm == stored.alarm)
                stored.dtstart = old->dtstart;
            return repeat::WriteRule(db, stored, m);
        },
        message);
}

} // namespace reminders
