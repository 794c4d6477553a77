#include "calendar/RuleWords.h"

#include "calendar/LunarRule.h"
#include "calendar/Recurrence.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace calendar {
namespace {

const QStringList kWeekdays = {QStringLiteral("MO"), QStringLiteral("TU"), QStringLiteral("WE"),
                               QStringLiteral("TH"), QStringLiteral("FR"), QStringLiteral("SA"),
                               QStringLiteral("SU")};

// 一 to 十, then figures: 第二个, 倒数第三天.
QString numeral(int n)
{
    static const char* const names[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    return n >= 1 && n <= 10 ? QString::fromUtf8(names[n - 1]) : QString::number(n);
}

// How many periods: 两 for two (每两周), else as numeral() says.
QString countWord(int n)
{
    return n == 2 ? QStringLiteral("两") : numeral(n);
}

// 一 .. 日 for Monday (1) to Sunday (7).
QString dayName(int weekday)
{
    static const char* const names[] = {"一", "二", "三", "四", "五", "六", "日"};
    return QString::fromUtf8(names[weekday - 1]);
}

// 第二个, 最后一个, 倒数第二个.
QString ordinalWord(int n)
{
    if (n == -1)
        return QStringLiteral("最后一个");
    if (n < 0)
        return QStringLiteral("倒数第") + numeral(-n) + QStringLiteral("个");
    return QStringLiteral("第") + numeral(n) + QStringLiteral("个");
}

// 15日, 最后一天, 倒数第二天.
QString monthDayWord(int n)
{
    if (n == -1)
        return QStringLiteral("最后一天");
    if (n < 0)
        return QStringLiteral("倒数第") + numeral(-n) + QStringLiteral("天");
    return QString::number(n) + QStringLiteral("日");
}

struct ByDay
{
    int ordinal = 0; // 0: every such weekday
    int weekday = 0; // 1 Monday .. 7 Sunday
};

std::optional<QList<ByDay>> byDays(const QString& value)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?\\d{1,2})?(MO|TU|WE|TH|FR|SA|SU)$"));
    QList<ByDay> days;
    for (const QString& item : value.split(QLatin1Char(','))) {
        const auto m = form.match(item);
        if (!m.hasMatch())
            return std::nullopt;
        days.append({m.captured(1).toInt(), int(kWeekdays.indexOf(m.captured(2))) + 1});
    }
    return days;
}

std::optional<QList<int>> numbers(const QString& value)
{
    QList<int> list;
    for (const QString& item : value.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = item.toInt(&ok);
        if (!ok || n == 0)
            return std::nullopt;
        list.append(n);
    }
    return list;
}

// The rule's parts, or nothing when the text is not NAME=VALUE;... or names a part twice.
std::optional<QHash<QString, QString>> partsOf(const QString& rrule)
{
    QString text = rrule.trimmed().toUpper();
    if (text.startsWith(QStringLiteral("RRULE:")))
        text = text.mid(6);
    QHash<QString, QString> parts;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0 || eq == part.size() - 1 || parts.contains(part.left(eq)))
            return std::nullopt;
        parts.insert(part.left(eq), part.mid(eq + 1));
    }
    return parts;
}

// The weekdays of a weekly rule, or of a daily one limited to some weekdays: 一、三、五.
std::optional<QString> weekdayList(const QHash<QString, QString>& parts, const QDateTime& start)
{
    if (!parts.contains(QStringLiteral("BYDAY")))
        return dayName(start.date().dayOfWeek());
    const auto days = byDays(parts.value(QStringLiteral("BYDAY")));
    if (!days)
        return std::nullopt;
    QList<int> weekdays;
    for (const ByDay& d : *days) {
        if (d.ordinal != 0)
            return std::nullopt;
        if (!weekdays.contains(d.weekday))
            weekdays.append(d.weekday);
    }
    std::sort(weekdays.begin(), weekdays.end());
    QStringList names;
    for (const int d : weekdays)
        names << dayName(d);
    return names.join(QStringLiteral("、"));
}

// The days of a month: 15日、最后一天, 第二个星期一, 最后一个星期五 (BYDAY with BYSETPOS).
std::optional<QString> daysOfMonth(const QHash<QString, QString>& parts, int startDay)
{
    const bool hasDay = parts.contains(QStringLiteral("BYDAY"));
    const bool hasMonthDay = parts.contains(QStringLiteral("BYMONTHDAY"));
    if (hasDay && hasMonthDay)
        return std::nullopt;
    QStringList words;
    if (hasDay) {
        const auto days = byDays(parts.value(QStringLiteral("BYDAY")));
        if (!days)
            return std::nullopt;
        int setPos = 0;
        if (parts.contains(QStringLiteral("BYSETPOS"))) {
            // One weekday, the set position its ordinal: BYDAY=FR;BYSETPOS=-1.
            const auto pos = numbers(parts.value(QStringLiteral("BYSETPOS")));
            if (!pos || pos->size() != 1 || days->size() != 1 || days->first().ordinal != 0)
                return std::nullopt;
            setPos = pos->first();
        }
        for (const ByDay& d : *days) {
            const int ordinal = setPos != 0 ? setPos : d.ordinal;
            if (ordinal == 0)
                return std::nullopt;
            words << ordinalWord(ordinal) + QStringLiteral("星期") + dayName(d.weekday);
        }
    } else {
        if (parts.contains(QStringLiteral("BYSETPOS")))
            return std::nullopt;
        const auto days = hasMonthDay ? numbers(parts.value(QStringLiteral("BYMONTHDAY")))
                                      : std::optional<QList<int>>(QList<int>{startDay});
        if (!days)
            return std::nullopt;
        for (const int d : *days)
            words << monthDayWord(d);
    }
    return words.join(QStringLiteral("、"));
}

// 每 / 每两 ... of a period: 每周, 每两周的; `unit` is the period's word, `counted` its word after a number.
QString everyPeriod(int interval, const QString& unit, const QString& counted)
{
    if (interval == 1)
        return QStringLiteral("每") + unit;
    return QStringLiteral("每") + countWord(interval) + counted + QStringLiteral("的");
}

std::optional<QString> gregorianWords(const QHash<QString, QString>& parts, const QDateTime& start,
                                      int interval)
{
    const QString freq = parts.value(QStringLiteral("FREQ"));
    const bool hasMonth = parts.contains(QStringLiteral("BYMONTH"));
    const bool hasMonthDay = parts.contains(QStringLiteral("BYMONTHDAY"));
    const bool hasSetPos = parts.contains(QStringLiteral("BYSETPOS"));
    if (freq == QStringLiteral("DAILY")) {
        if (hasMonth || hasMonthDay || hasSetPos)
            return std::nullopt;
        if (!parts.contains(QStringLiteral("BYDAY")))
            return interval == 1 ? QStringLiteral("每天")
                                 : QStringLiteral("每") + countWord(interval) + QStringLiteral("天");
        // Every day of some weekdays is every week on them.
        const auto days = weekdayList(parts, start);
        if (!days || interval != 1)
            return std::nullopt;
        return QStringLiteral("每周") + *days;
    }
    if (freq == QStringLiteral("WEEKLY")) {
        const auto days = weekdayList(parts, start);
        if (!days || hasMonth || hasMonthDay || hasSetPos)
            return std::nullopt;
        return everyPeriod(interval, QStringLiteral("周"), QStringLiteral("周")) +
               (interval == 1 ? QString() : QStringLiteral("周")) + *days;
    }
    if (freq == QStringLiteral("MONTHLY")) {
        const auto days = daysOfMonth(parts, start.date().day());
        if (!days || hasMonth)
            return std::nullopt;
        return everyPeriod(interval, QStringLiteral("月"), QStringLiteral("个月")) + *days;
    }
    if (freq == QStringLiteral("YEARLY")) {
        int month = start.date().month();
        if (hasMonth) {
            const auto months = numbers(parts.value(QStringLiteral("BYMONTH")));
            if (!months || months->size() != 1)
                return std::nullopt;
            month = months->first();
        } else if (parts.contains(QStringLiteral("BYDAY"))) {
            // A weekday counted through the whole year: not said in these words.
            return std::nullopt;
        }
        const auto days = daysOfMonth(parts, start.date().day());
        if (!days)
            return std::nullopt;
        return everyPeriod(interval, QStringLiteral("年"), QStringLiteral("年")) + QString::number(month) +
               QStringLiteral("月") + *days;
    }
    return std::nullopt;
}

std::optional<QString> lunarWords(const QHash<QString, QString>& parts, const QDateTime& start, int interval)
{
    if (parts.value(QStringLiteral("RSCALE")) != QStringLiteral("CHINESE") ||
        parts.value(QStringLiteral("FREQ")) != QStringLiteral("YEARLY") ||
        parts.contains(QStringLiteral("BYDAY")) || parts.contains(QStringLiteral("BYSETPOS")))
        return std::nullopt;
    const auto startDay = LunarDay::fromSolar(start.date());
    if (!startDay)
        return std::nullopt;
    int month = startDay->month;
    bool leap = startDay->leap;
    int day = startDay->day;
    if (parts.contains(QStringLiteral("BYMONTH"))) {
        QString text = parts.value(QStringLiteral("BYMONTH"));
        leap = text.endsWith(QLatin1Char('L'));
        if (leap)
            text.chop(1);
        bool ok = false;
        month = text.toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (parts.contains(QStringLiteral("BYMONTHDAY"))) {
        bool ok = false;
        day = parts.value(QStringLiteral("BYMONTHDAY")).toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const QString name = LunarDay::name(month, leap, day);
    if (name.isEmpty())
        return std::nullopt;
    return QStringLiteral("农历") + everyPeriod(interval, QStringLiteral("年"), QStringLiteral("年")) + name;
}

// "，共10次" or "，至2027-12-31"; nothing for an endless series; no value for an UNTIL that is not a time.
std::optional<QString> endWords(const QHash<QString, QString>& parts)
{
    if (parts.contains(QStringLiteral("COUNT"))) {
        bool ok = false;
        const int count = parts.value(QStringLiteral("COUNT")).toInt(&ok);
        if (!ok || count < 1)
            return std::nullopt;
        return QStringLiteral("，共%1次").arg(count);
    }
    if (parts.contains(QStringLiteral("UNTIL"))) {
        const QDateTime until = wallFromIcal(parts.value(QStringLiteral("UNTIL")));
        if (!until.isValid())
            return std::nullopt;
        return QStringLiteral("，至") + until.toString(QStringLiteral("yyyy-MM-dd"));
    }
    return QString();
}

std::optional<QString> wordsOf(const QString& rrule, const QDateTime& start)
{
    static const QStringList known = {
        QStringLiteral("FREQ"),    QStringLiteral("INTERVAL"), QStringLiteral("COUNT"),
        QStringLiteral("UNTIL"),   QStringLiteral("BYDAY"),    QStringLiteral("BYMONTHDAY"),
        QStringLiteral("BYMONTH"), QStringLiteral("BYSETPOS"), QStringLiteral("WKST"),
        QStringLiteral("RSCALE"),  QStringLiteral("SKIP")};
    const auto parts = partsOf(rrule);
    if (!parts || !start.isValid())
        return std::nullopt;
    for (auto it = parts->cbegin(); it != parts->cend(); ++it) {
        if (!known.contains(it.key()))
            return std::nullopt;
    }
    bool ok = true;
    const int interval =
        parts->contains(QStringLiteral("INTERVAL")) ? parts->value(QStringLiteral("INTERVAL")).toInt(&ok) : 1;
    if (!ok || interval < 1)
        return std::nullopt;
    const auto end = endWords(*parts);
    if (!end)
        return std::nullopt;
    const bool lunar = parts->contains(QStringLiteral("RSCALE"));
    if (!lunar && parts->contains(QStringLiteral("SKIP")))
        return std::nullopt;
    const auto words = lunar ? lunarWords(*parts, start, interval) : gregorianWords(*parts, start, interval);
    if (!words)
        return std::nullopt;
    return *words + *end;
}

} // namespace

QString ruleWords(const QString& rrule, const QDateTime& start)
{
    const auto words = wordsOf(rrule, start);
    if (words)
        return *words;
    QString text = rrule.trimmed();
    if (text.startsWith(QStringLiteral("RRULE:"), Qt::CaseInsensitive))
        text = text.mid(6);
    return text;
}

QString workdayWords(int fallbackYear)
{
    if (fallbackYear > 0)
        return QStringLiteral("每个工作日（%1年无官方安排，按周一至周五）").arg(fallbackYear);
    return QStringLiteral("每个工作日（含调休）");
}

} // namespace calendar
