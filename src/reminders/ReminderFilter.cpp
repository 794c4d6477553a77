#include "reminders/ReminderFilter.h"

#include "base/Constants.h"
#include "reminders/Repeat.h"

namespace reminders {

QString FormatDate(const QDateTime& t)
{
    return t.toString(QLatin1String(kDateFormat));
}

QString FormatTime(const QDateTime& t)
{
    return t.toString(QLatin1String(kTimeFormat));
}

QString FormatDateTime(const QDateTime& t)
{
    return t.toString(QLatin1String(kDateTimeFormat));
}

QDateTime WholeSeconds(const QDateTime& t)
{
    return t.addMSecs(-t.time().msec());
}

QStringList ListFields()
{
    return {QStringLiteral("titile"), QStringLiteral("text"), QStringLiteral("date"),
            QStringLiteral("time"),   QStringLiteral("use"),  QStringLiteral("insertdatatime"),
            QStringLiteral("id")};
}

QStringList InsertFields()
{
    QStringList fields = ListFields();
    fields.removeLast();
    return fields;
}

QString FilterWhereClause(int filterIndex, const QDateTime& now)
{
    switch (filterIndex) {
    case kFilterNotTaken:
        return QStringLiteral("where use='0'");
    case kFilterTaken:
        return QStringLiteral("where use='1'");
    case kFilterUpcoming: {
        // No parentheses: today's records from now on, or any date that sorts
        // after today, which takes in every "Every Day" record. A repeating
        // record holds its next occurrence, so those with occurrences left are
        // among them; one whose date has just passed (shown, not yet moved on)
        // still comes again unless its series ends, and a snoozed record comes
        // again at its snooze. Each part is found by an index (the ids are keys).
        const QString d = FormatDate(now);
        return QStringLiteral(
                   "where date='%1' and time>='%2' or date >'%1' or id in (select id from %3 union "
                   "select id from %4 where instr(rrule,'COUNT=')+instr(rrule,'UNTIL=')=0)")
            .arg(d, FormatTime(now), QLatin1String(repeat::kSnoozeTable), QLatin1String(repeat::kRuleTable));
    }
    default:
        return QString();
    }
}

QString PageWhereClause(const QString& filterClause, qint64 belowId, bool byFilter)
{
    const QString clause = filterClause.trimmed();
    const QLatin1String where("where");
    const bool filtered = clause.startsWith(where, Qt::CaseInsensitive);
    const QString below = belowId < 0 ? QString() : QStringLiteral("id<") + QString::number(belowId);
    if (filtered && byFilter) {
        const QString ids = QStringLiteral("where id in (select id from ") +
                            QString::fromLatin1(tolva::kReminderTable) + QLatin1Char(' ') + clause +
                            QLatin1Char(')');
        return below.isEmpty() ? ids : ids + QStringLiteral(" and ") + below;
    }
    if (below.isEmpty())
        return filtered ? clause : QString();
    if (!filtered)
        return QStringLiteral("where ") + below;
    // The filter's own "or" stays inside its parentheses.
    return QStringLiteral("where (") + clause.mid(where.size()).trimmed() + QStringLiteral(") and ") + below;
}

bool PagesByFilter(const QString& filterClause, int matching)
{
    return !filterClause.trimmed().isEmpty() && matching <= kPagesByFilterUpTo;
}

} // namespace reminders
