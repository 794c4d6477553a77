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

// Sentences that the editor asks as questions and the command line states as refusals.
#define TOLVA_MOMENT_PASSED "提醒时间已经过去，这条提醒不会再弹出"
#define TOLVA_SHUTDOWN_PAIR "主题“关机”、内容“%1”是自动关机提醒的标记：到了提醒时间，这条提醒会关闭计算机。"

const char* EnterSubjectText()
{
    return "请输入主题！  ";
}

const char* EnterContentText()
{
    return "请输入内容！  ";
}

const char* ShutdownInPastText()
{
    return "自动关机时间不能早于当前时间袄！  ";
}

const char* TextTooLongText()
{
    return "请输入不超过 %1 个字节的文字。";
}

const char* VanishedText()
{
    return "晕！该记录貌似被蒸发了！  ";
}

const char* MomentPassedText()
{
    return TOLVA_MOMENT_PASSED "，仍然添加吗？  ";
}

const char* MomentPassedRefusedText()
{
    return TOLVA_MOMENT_PASSED "。  ";
}

const char* ShutdownPairText()
{
    return TOLVA_SHUTDOWN_PAIR "\n\n仍然保存吗？  ";
}

const char* ShutdownPairRefusedText()
{
    return TOLVA_SHUTDOWN_PAIR "要保存自动关机提醒，请加上 --shutdown ask 或 --shutdown direct。  ";
}

#undef TOLVA_MOMENT_PASSED
#undef TOLVA_SHUTDOWN_PAIR

} // namespace reminders
