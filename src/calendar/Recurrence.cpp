#include "calendar/Recurrence.h"

#include "calendar/LunarRule.h"
#include "calendar/WorkdayCalendar.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <libical/ical.h>

#include <functional>
#include <variant>

namespace calendar {

QDateTime wallTime(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC);
}

namespace {

// Date and time read apart: a wall time may not exist in the local zone (a spring-forward gap).
QDateTime wallFromParts(const QString& date, const QString& dateFormat, const QString& time,
                        const QString& timeFormat)
{
    const QDate d = QDate::fromString(date, dateFormat);
    const QTime t = QTime::fromString(time, timeFormat);
    return d.isValid() && t.isValid() ? wallTime(d, t) : QDateTime();
}

} // namespace

QDateTime wallFromText(const QString& text)
{
    if (text.size() != 19 || text.at(10) != QLatin1Char(' '))
        return QDateTime();
    return wallFromParts(text.left(10), QStringLiteral("yyyy-MM-dd"), text.mid(11),
                         QStringLiteral("HH:mm:ss"));
}

QString wallText(const QDateTime& wall)
{
    return wall.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime wallFromIcal(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{8}T\\d{6}$"));
    if (!form.match(text).hasMatch())
        return QDateTime();
    return wallFromParts(text.left(8), QStringLiteral("yyyyMMdd"), text.mid(9), QStringLiteral("HHmmss"));
}

QDateTime wallNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return wallTime(now.date(), now.time());
}

namespace {

// Beyond these years libical's expansion and liblunar-date's tables stop being useful.
constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2199;
constexpr int kMaxInterval = 1000;
constexpr int kMaxCount = 10000;

int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// A Gregorian rule for libical. The rule is completed with the parts RFC 5545 takes from the start
// (the weekday, the day of the month, the month, the time of day), so that it can be expanded from any
// start in the same phase of its INTERVAL: from just before the start, or from just before a later time.
struct GregorianRule
{
    icalrecurrencetype recur;
    icalrecurrencetype_frequency freq = ICAL_NO_RECURRENCE;
    QDateTime start;
    int interval = 1;
    int count = 0;
    QDateTime until;
    int weekStart = 1; // WKST as QDate::dayOfWeek()

    // libical 3.0.16 counts the weeks of a WEEKLY INTERVAL from Sunday whatever WKST says; it expands
    // every week here, and the weeks of the interval are kept by their distance from the start's week.
    bool inIntervalWeek(const QDate& d) const
    {
        const auto weekOf = [this](const QDate& day) {
            return day.addDays(-((day.dayOfWeek() - weekStart + 7) % 7));
        };
        return (weekOf(start.date()).daysTo(weekOf(d)) / 7) % interval == 0;
    }

    // The first moment of period `p` of the INTERVAL, counting the start's period as 0.
    QDateTime anchor(int p) const
    {
        const QDate s = start.date();
        QDate day;
        switch (freq) {
        case ICAL_DAILY_RECURRENCE:
            day = s.addDays(qint64(p) * interval);
            break;
        case ICAL_WEEKLY_RECURRENCE:
            day = s.addDays(qint64(p) * interval * 7);
            break;
        case ICAL_MONTHLY_RECURRENCE:
            day = QDate(s.year(), s.month(), 1).addMonths(p * interval);
            break;
        default:
            day = QDate(s.year() + p * interval, 1, 1);
            break;
        }
        return wallTime(day, QTime(0, 0));
    }

    // The period holding the day `d`.
    int periodOf(const QDate& d) const
    {
        const QDate s = start.date();
        switch (freq) {
        case ICAL_DAILY_RECURRENCE:
            return floorDiv(int(s.daysTo(d)), interval);
        case ICAL_WEEKLY_RECURRENCE:
            return floorDiv(int(s.daysTo(d)), 7 * interval);
        case ICAL_MONTHLY_RECURRENCE:
            return floorDiv((d.year() - s.year()) * 12 + d.month() - s.month(), interval);
        default:
            return floorDiv(d.year() - s.year(), interval);
        }
    }

    void expand(const QDateTime& from, const std::function<bool(const QDateTime&)>& visit) const
    {
        // Without COUNT nothing before `from` matters: begin one period before the one holding it.
        const int p = count == 0 && from > start ? std::max(-1, periodOf(from.date()) - 1) : -1;
        const QDateTime a = anchor(p);
        icaltimetype t = icaltime_null_time();
        t.year = a.date().year();
        t.month = a.date().month();
        t.day = a.date().day();
        icalrecur_iterator* it = icalrecur_iterator_new(recur, t);
        if (!it)
            return;
        int counted = 0;
        for (;;) {
            const icaltimetype n = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(n) || n.year > kLastYear)
                break;
            const QDateTime wall = wallTime(QDate(n.year, n.month, n.day), QTime(n.hour, n.minute, n.second));
            // The anchor itself comes first when it fits the rule's parts; it lies before the start.
            if (wall < start)
                continue;
            if (freq == ICAL_WEEKLY_RECURRENCE && interval > 1 && !inIntervalWeek(wall.date()))
                continue;
            if (until.isValid() && wall > until)
                break;
            if (count > 0 && ++counted > count)
                break;
            if (wall >= from && !visit(wall))
                break;
        }
        icalrecur_iterator_free(it);
    }
};

} // namespace

struct Recurrence::Impl
{
    std::variant<GregorianRule, LunarRule> rule;
};

namespace {

const QStringList kWeekdays = {QStringLiteral("MO"), QStringLiteral("TU"), QStringLiteral("WE"),
                               QStringLiteral("TH"), QStringLiteral("FR"), QStringLiteral("SA"),
                               QStringLiteral("SU")};

bool intList(const QString& value, int low, int high, bool negatives)
{
    for (const QString& item : value.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = item.toInt(&ok);
        if (!ok || n == 0 || qAbs(n) < low || qAbs(n) > high || (n < 0 && !negatives))
            return false;
    }
    return true;
}

// Checks the parts common to every rule and those of a Gregorian one; returns the fault, empty if none.
QString checkParts(const QHash<QString, QString>& parts, bool lunar)
{
    const QString freq = parts.value(QStringLiteral("FREQ"));
    if (freq.isEmpty())
        return QStringLiteral("重复规则缺少 FREQ（重复的频率）");
    if (freq == QStringLiteral("SECONDLY") || freq == QStringLiteral("MINUTELY") ||
        freq == QStringLiteral("HOURLY"))
        return QStringLiteral("提醒最多每天重复一次，不支持按秒、分钟或小时重复");
    if (!QStringList{QStringLiteral("DAILY"), QStringLiteral("WEEKLY"), QStringLiteral("MONTHLY"),
                     QStringLiteral("YEARLY")}
             .contains(freq))
        return QStringLiteral("FREQ 只能是 DAILY、WEEKLY、MONTHLY 或 YEARLY");
    if (parts.contains(QStringLiteral("INTERVAL")) &&
        !intList(parts.value(QStringLiteral("INTERVAL")), 1, kMaxInterval, false))
        return QStringLiteral("间隔（INTERVAL）须是 1 到 %1 之间的整数").arg(kMaxInterval);
    if (parts.contains(QStringLiteral("COUNT")) && parts.contains(QStringLiteral("UNTIL")))
        return QStringLiteral("次数（COUNT）和截止时间（UNTIL）只能用一个");
    if (parts.contains(QStringLiteral("COUNT")) &&
        !intList(parts.value(QStringLiteral("COUNT")), 1, kMaxCount, false))
        return QStringLiteral("次数（COUNT）须是 1 到 %1 之间的整数").arg(kMaxCount);
    if (parts.contains(QStringLiteral("UNTIL"))) {
        const QString until = parts.value(QStringLiteral("UNTIL"));
        if (until.endsWith(QLatin1Char('Z')))
            return QStringLiteral("截止时间（UNTIL）须是本地时间，不带 Z，如 20271231T235959");
        if (!wallFromIcal(until).isValid())
            return QStringLiteral("截止时间（UNTIL）须写到时刻，如 20271231T235959");
    }
    if (parts.contains(QStringLiteral("WKST")) && !kWeekdays.contains(parts.value(QStringLiteral("WKST"))))
        return QStringLiteral("一周的第一天（WKST）须是 MO、TU、WE、TH、FR、SA 或 SU");
    if (parts.contains(QStringLiteral("SKIP")) && !lunar)
        return QStringLiteral("SKIP 只用于农历规则（RSCALE=CHINESE）");
    if (lunar)
        return QString();

    const bool byPeriod = freq == QStringLiteral("MONTHLY") || freq == QStringLiteral("YEARLY");
    if (parts.contains(QStringLiteral("BYDAY"))) {
        static const QRegularExpression day(QStringLiteral("^([+-]?)(\\d{1,2})?(MO|TU|WE|TH|FR|SA|SU)$"));
        for (const QString& item : parts.value(QStringLiteral("BYDAY")).split(QLatin1Char(','))) {
            const auto m = day.match(item);
            if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(1) > 0))
                return QStringLiteral("星期（BYDAY）写法无效：%1").arg(item);
            if (m.capturedLength(2) > 0) {
                const int n = m.captured(2).toInt();
                if (!byPeriod)
                    return QStringLiteral("按天或按周重复时，星期（BYDAY）不能带序号：%1").arg(item);
                if (n < 1 || n > (freq == QStringLiteral("MONTHLY") ? 5 : 53))
                    return QStringLiteral("星期（BYDAY）的序号超出范围：%1").arg(item);
            }
        }
    }
    if (parts.contains(QStringLiteral("BYMONTHDAY"))) {
        const QString days = parts.value(QStringLiteral("BYMONTHDAY"));
        if (!intList(days, 1, 31, true))
            return QStringLiteral("日期（BYMONTHDAY）须是 1 到 31 或 -1 到 -31");
        if (freq == QStringLiteral("WEEKLY"))
            return QStringLiteral("按周重复时不能指定日期（BYMONTHDAY）");
        // libical ignores the days counted from a month's end when it repeats daily.
        if (freq == QStringLiteral("DAILY") && days.contains(QLatin1Char('-')))
            return QStringLiteral("按天重复时日期（BYMONTHDAY）不能是倒数的，请改用按月重复");
    }
    if (parts.contains(QStringLiteral("BYMONTH")) &&
        !intList(parts.value(QStringLiteral("BYMONTH")), 1, 12, false))
        return QStringLiteral("月份（BYMONTH）须是 1 到 12");
    if (parts.contains(QStringLiteral("BYSETPOS"))) {
        // libical ignores BYSETPOS for the other frequencies.
        if (!byPeriod)
            return QStringLiteral("只有按月或按年重复时才能用 BYSETPOS（第几个）");
        if (!intList(parts.value(QStringLiteral("BYSETPOS")), 1, 366, true))
            return QStringLiteral("BYSETPOS 须是 1 到 366 或 -1 到 -366");
    }
    // libical keeps the start's month instead of taking every month of the year.
    if (freq == QStringLiteral("YEARLY") && parts.contains(QStringLiteral("BYMONTHDAY")) &&
        !parts.contains(QStringLiteral("BYMONTH")))
        return QStringLiteral("每年重复并指定日期（BYMONTHDAY）时，须同时指定月份（BYMONTH）");
    return QString();
}

// The rule completed with what RFC 5545 takes from the start, as libical's text.
QString completedRule(const QHash<QString, QString>& parts, const QDateTime& start)
{
    const QString freq = parts.value(QStringLiteral("FREQ"));
    QHash<QString, QString> done = parts;
    done.remove(QStringLiteral("COUNT"));
    // libical searches to its own far limit for a rule that has no more instances: stop it at ours.
    done.insert(QStringLiteral("UNTIL"),
                parts.value(QStringLiteral("UNTIL"),
                            QStringLiteral("%1%2").arg(kLastYear).arg(QStringLiteral("1231T235959"))));
    if (freq == QStringLiteral("WEEKLY"))
        done.remove(QStringLiteral("INTERVAL"));
    const bool hasDay = parts.contains(QStringLiteral("BYDAY"));
    const bool hasMonthDay = parts.contains(QStringLiteral("BYMONTHDAY"));
    const QDate s = start.date();
    if (freq == QStringLiteral("WEEKLY") && !hasDay)
        done.insert(QStringLiteral("BYDAY"), kWeekdays.at(s.dayOfWeek() - 1));
    if (freq == QStringLiteral("MONTHLY") && !hasDay && !hasMonthDay)
        done.insert(QStringLiteral("BYMONTHDAY"), QString::number(s.day()));
    if (freq == QStringLiteral("YEARLY") && !hasDay && !hasMonthDay) {
        done.insert(QStringLiteral("BYMONTHDAY"), QString::number(s.day()));
        if (!parts.contains(QStringLiteral("BYMONTH")))
            done.insert(QStringLiteral("BYMONTH"), QString::number(s.month()));
    }
    done.insert(QStringLiteral("BYHOUR"), QString::number(start.time().hour()));
    done.insert(QStringLiteral("BYMINUTE"), QString::number(start.time().minute()));
    done.insert(QStringLiteral("BYSECOND"), QString::number(start.time().second()));
    QStringList text{QStringLiteral("FREQ=") + freq};
    done.remove(QStringLiteral("FREQ"));
    for (auto it = done.cbegin(); it != done.cend(); ++it)
        text << it.key() + QLatin1Char('=') + it.value();
    return text.join(QLatin1Char(';'));
}

} // namespace

Recurrence Recurrence::parse(const QString& rruleText, const QDateTime& start, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return Recurrence();
    };
    if (!start.isValid() || start.date().year() < kFirstYear || start.date().year() > kLastYear)
        return fail(QStringLiteral("开始时间须在 %1 年到 %2 年之间").arg(kFirstYear).arg(kLastYear));
    QString text = rruleText.trimmed().toUpper();
    if (text.startsWith(QStringLiteral("RRULE:")))
        text = text.mid(6);
    if (text.isEmpty())
        return fail(QStringLiteral("重复规则是空的"));

    static const QStringList known = {
        QStringLiteral("FREQ"),    QStringLiteral("INTERVAL"), QStringLiteral("COUNT"),
        QStringLiteral("UNTIL"),   QStringLiteral("BYDAY"),    QStringLiteral("BYMONTHDAY"),
        QStringLiteral("BYMONTH"), QStringLiteral("BYSETPOS"), QStringLiteral("WKST"),
        QStringLiteral("RSCALE"),  QStringLiteral("SKIP")};
    QHash<QString, QString> parts;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const int eq = part.indexOf(QLatin1Char('='));
        const QString name = part.left(eq);
        const QString value = eq < 0 ? QString() : part.mid(eq + 1);
        if (eq <= 0 || value.isEmpty())
            return fail(QStringLiteral("重复规则的写法无效：%1（应为 名称=值，用分号隔开）").arg(part));
        if (name == QStringLiteral("BYHOUR") || name == QStringLiteral("BYMINUTE") ||
            name == QStringLiteral("BYSECOND"))
            return fail(QStringLiteral("提醒每天最多一次，时刻取自开始时间，不支持 %1").arg(name));
        if (name == QStringLiteral("BYYEARDAY") || name == QStringLiteral("BYWEEKNO"))
            return fail(QStringLiteral("不支持按一年中的第几天或第几周重复（%1）").arg(name));
        if (!known.contains(name))
            return fail(QStringLiteral("重复规则里有不认识的部分：%1").arg(name));
        if (parts.contains(name))
            return fail(QStringLiteral("重复规则里 %1 出现了两次").arg(name));
        parts.insert(name, value);
    }
    const bool lunar = parts.contains(QStringLiteral("RSCALE"));
    if (lunar && parts.value(QStringLiteral("RSCALE")) != QStringLiteral("CHINESE"))
        return fail(QStringLiteral("只支持农历规则（RSCALE=CHINESE）"));
    const QString fault = checkParts(parts, lunar);
    if (!fault.isEmpty())
        return fail(fault);

    const auto impl = std::make_shared<Impl>();
    Recurrence r;
    if (lunar) {
        QString why;
        auto rule = LunarRule::fromParts(parts, start, &why);
        if (!rule)
            return fail(why);
        impl->rule = *rule;
        r.m_kind = Kind::Lunar;
    } else {
        GregorianRule rule;
        rule.recur = icalrecurrencetype_from_string(completedRule(parts, start).toLatin1().constData());
        if (rule.recur.freq == ICAL_NO_RECURRENCE)
            return fail(QStringLiteral("重复规则的写法无效"));
        rule.freq = rule.recur.freq;
        rule.start = start;
        rule.interval = parts.value(QStringLiteral("INTERVAL"), QStringLiteral("1")).toInt();
        rule.count = parts.value(QStringLiteral("COUNT")).toInt();
        rule.until = wallFromIcal(parts.value(QStringLiteral("UNTIL")));
        rule.weekStart = kWeekdays.indexOf(parts.value(QStringLiteral("WKST"), QStringLiteral("MO"))) + 1;
        impl->rule = rule;
        r.m_kind = Kind::Rule;
    }
    r.m_start = start;
    r.m_rrule = text;
    r.m_impl = impl;
    if (r.occurrences(start, 1).isEmpty())
        return fail(QStringLiteral("这条重复规则从开始时间起一次也不会发生"));
    // A series of COUNT occurrences is the series until its last one: knowing that moment once, a later
    // question need not count again from the start.
    const int count = parts.value(QStringLiteral("COUNT")).toInt();
    if (count > 0) {
        const QList<QDateTime> all = r.occurrences(start, count);
        if (auto* g = std::get_if<GregorianRule>(&impl->rule)) {
            g->count = 0;
            g->until = all.last();
        } else {
            std::get<LunarRule>(impl->rule).boundBy(all.last());
        }
        r.m_counted = true;
    }
    return r;
}

Recurrence Recurrence::workdays(const QDateTime& start, std::shared_ptr<const WorkdayCalendar> workdays)
{
    Recurrence r;
    if (!start.isValid() || !workdays)
        return r;
    r.m_kind = Kind::Workdays;
    r.m_start = start;
    r.m_workdays = std::move(workdays);
    return r;
}

bool Recurrence::isBounded() const
{
    if (!m_impl)
        return false;
    if (m_counted)
        return true;
    if (const auto* g = std::get_if<GregorianRule>(&m_impl->rule))
        return g->count > 0 || g->until.isValid();
    return std::get<LunarRule>(m_impl->rule).isBounded();
}

QList<QDateTime> Recurrence::occurrences(const QDateTime& from, int count) const
{
    QList<QDateTime> result;
    if (count <= 0 || !isValid())
        return result;
    if (m_kind == Kind::Workdays) {
        const QDateTime first = std::max(from, m_start);
        QDate day = first.date();
        if (first.time() > m_start.time())
            day = day.addDays(1);
        while (result.size() < count) {
            day = m_workdays->nextWorkday(day);
            if (!day.isValid() || day.year() > kLastYear)
                break;
            result << wallTime(day, m_start.time());
            day = day.addDays(1);
        }
        return result;
    }
    const auto visit = [&](const QDateTime& wall) {
        result << wall;
        return result.size() < count;
    };
    if (const auto* g = std::get_if<GregorianRule>(&m_impl->rule))
        g->expand(from, visit);
    else
        std::get<LunarRule>(m_impl->rule).expand(from, visit);
    return result;
}

QDateTime Recurrence::nextAfter(const QDateTime& wall) const
{
    // Occurrences fall on whole seconds: the next one is at or after the following whole second.
    const QDateTime second =
        wallTime(wall.date(), QTime(wall.time().hour(), wall.time().minute(), wall.time().second()));
    const QList<QDateTime> next = occurrences(second.addSecs(1), 1);
    return next.isEmpty() ? QDateTime() : next.first();
}

bool Recurrence::isWorkdayFallback(const QDate& day) const
{
    return m_kind == Kind::Workdays && !m_workdays->covers(day.year());
}

} // namespace calendar
