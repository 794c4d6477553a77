#include "reminders/ReminderEditor.h"

#include "base/WallTime.h"
#include "reminders/ReminderFilter.h"

namespace reminders {

namespace {
// Splits at the separator and reads up to three parts as atoi does: leading
// digits only, 0 when there are none or the part is missing.
void splitNumbers(const QString& text, QChar separator, int out[3])
{
    const QStringList parts = text.split(separator);
    for (int i = 0; i < 3; ++i) {
        out[i] = 0;
        if (i >= parts.size())
            continue;
        const QString part = parts.at(i).trimmed();
        int value = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9') || value > 99999)
                break;
            value = value * 10 + (c.unicode() - '0');
        }
        out[i] = value;
    }
}
} // namespace

QStringList ComposeRecordValues(const QString& subject, const QString& content, const QDateTime& reminderDate,
                                const QDateTime& reminderTime, bool everyDay, bool cancelReminder,
                                const QDateTime& now)
{
    return {subject,
            content,
            everyDay ? QString::fromLatin1(kEveryDay) : FormatDate(reminderDate),
            FormatTime(reminderTime),
            QString::fromLatin1(cancelReminder ? kTaken : kNotTaken),
            FormatDateTime(now)};
}

bool ShutdownTimeRefused(bool autoShutdown, const QDateTime& reminderDate, const QDateTime& reminderTime,
                         const QDateTime& now)
{
    if (!autoShutdown)
        return false;
    const QDateTime n = WholeSeconds(now);
    return WholeSeconds(reminderTime) <= n && WholeSeconds(reminderDate) <= n;
}

QDateTime RecordDateTime(const QString& date, const QString& time)
{
    int d[3], t[3];
    splitNumbers(date, QLatin1Char('-'), d);
    splitNumbers(time, QLatin1Char(':'), t);
    const QDate day(d[0], d[1], d[2]);
    const QTime clock(t[0], t[1], t[2]);
    if (!day.isValid() || !clock.isValid())
        return QDateTime();
    return walltime::WallMoment(day, clock);
}

bool IsRecordId(const QString& id)
{
    if (id.isEmpty() || id.size() > 18)
        return false;
    for (const QChar c : id) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace reminders
