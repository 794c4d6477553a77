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
        // Today's records from now on, and any date that sorts after today,
        // which takes in every "Every Day" record and every repeating record
        // (it holds its next occurrence; one whose series has ended keeps its
        // last, now past). A record snoozed until today or later comes again
        // whatever its date: the range on the date index reaches back to the
        // earliest such record (snoozes are few and recent). An "or" beside the
        // range instead would make the store gather and sort every matching id.
        // The window cuts a clause at 255 characters: this one stays below.
        const QString d = FormatDate(now);
        const QString snoozed =
            QStringLiteral("select id from %1 where until>='%2'").arg(QLatin1String(repeat::kSnoozeTable), d);
        return QStringLiteral(
                   "where date>=ifnull(min('%1',(select min(date) from %2 where id in (%3))),'%1') "
                   "and ((date,time)>=('%1','%4') or id in (%3))")
            .arg(d, QLatin1String(tolva::kReminderTable), snoozed, FormatTime(now));
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
