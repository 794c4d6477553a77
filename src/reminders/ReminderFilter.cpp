#include "reminders/ReminderFilter.h"

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
        // after today, which takes in every "Every Day" record.
        const QString d = FormatDate(now);
        return QStringLiteral("where date='%1' and time>='%2' or date >'%1'").arg(d, FormatTime(now));
    }
    default:
        return QString();
    }
}

QString PageWhereClause(const QString& filterClause, qint64 belowId)
{
    const QString below = QStringLiteral("id<") + QString::number(belowId);
    const QString clause = filterClause.trimmed();
    const QLatin1String where("where");
    if (!clause.startsWith(where, Qt::CaseInsensitive))
        return QStringLiteral("where ") + below;
    return QStringLiteral("where (") + clause.mid(where.size()).trimmed() + QStringLiteral(") and ") + below;
}

} // namespace reminders
