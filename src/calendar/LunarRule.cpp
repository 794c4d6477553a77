#include "calendar/LunarRule.h"

#include "calendar/Recurrence.h"

#include <QStringList>

#include <lunar-date/lunar-date.h>

namespace calendar {
namespace {

constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2099;

// One liblunar-date object per thread: making one reads its holiday tables.
struct LunarHandle
{
    ::LunarDate* date = lunar_date_new();
    ~LunarHandle() { lunar_date_free(date); }
    static LunarHandle& forThread()
    {
        thread_local LunarHandle handle;
        return handle;
    }
    QString format(const char* pattern) const
    {
        gchar* text = lunar_date_strftime(date, pattern);
        const QString result = QString::fromUtf8(text);
        g_free(text);
        return result;
    }
};

int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

std::optional<LunarDay> LunarDay::fromSolar(const QDate& day)
{
    if (!day.isValid() || day.year() < kFirstYear || day.year() > kLastYear + 1)
        return std::nullopt;
    LunarHandle& h = LunarHandle::forThread();
    GError* error = nullptr;
    lunar_date_set_solar_date(h.date, GDateYear(day.year()), GDateMonth(day.month()), GDateDay(day.day()), 0,
                              &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    // "%(nian) %(yue) %(ri)": the lunar year, month (a leap month marked "*") and day in figures.
    const QStringList fields = h.format("%(nian) %(yue) %(ri)").split(QLatin1Char(' '));
    if (fields.size() != 3)
        return std::nullopt;
    LunarDay result;
    result.year = fields.at(0).toInt();
    result.leap = fields.at(1).startsWith(QLatin1Char('*'));
    result.month = QString(fields.at(1)).remove(QLatin1Char('*')).toInt();
    result.day = fields.at(2).toInt();
    if (result.year < kFirstYear || result.year > kLastYear)
        return std::nullopt;
    return result;
}

QDate LunarDay::toSolar() const
{
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 || day > 30)
        return QDate();
    LunarHandle& h = LunarHandle::forThread();
    GError* error = nullptr;
    lunar_date_set_lunar_date(h.date, GDateYear(year), GDateMonth(month), GDateDay(day), 0, leap, &error);
    if (error) {
        g_error_free(error);
        return QDate();
    }
    const QStringList fields = h.format("%(year) %(month) %(day)").split(QLatin1Char(' '));
    if (fields.size() != 3)
        return QDate();
    return QDate(fields.at(0).toInt(), fields.at(1).toInt(), fields.at(2).toInt());
}

QString LunarDay::name(int month, bool leap, int day)
{
    static const char* const months[] = {"正", "二", "三", "四", "五", "六",
                                         "七", "八", "九", "十", "冬", "腊"};
    static const char* const digits[] = {"", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    if (month < 1 || month > 12 || day < 1 || day > 30)
        return QString();
    QString text = leap ? QStringLiteral("闰") : QString();
    text += QString::fromUtf8(months[month - 1]) + QStringLiteral("月");
    if (day <= 10)
        text += QStringLiteral("初") + QString::fromUtf8(digits[day]);
    else if (day < 20)
        text += QStringLiteral("十") + QString::fromUtf8(digits[day - 10]);
    else if (day == 20)
        text += QStringLiteral("二十");
    else if (day < 30)
        text += QStringLiteral("廿") + QString::fromUtf8(digits[day - 20]);
    else
        text += QStringLiteral("三十");
    return text;
}

std::optional<LunarRule> LunarRule::fromParts(const QHash<QString, QString>& parts, const QDateTime& start,
                                              QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<LunarRule> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (parts.value(QStringLiteral("FREQ")) != QStringLiteral("YEARLY"))
        return fail(QStringLiteral("农历规则只支持每年重复（FREQ=YEARLY）"));
    for (const char* name : {"BYDAY", "BYSETPOS"}) {
        if (parts.contains(QLatin1String(name)))
            return fail(QStringLiteral("农历规则只支持每年的某月某日（BYMONTH、BYMONTHDAY），不支持 %1")
                            .arg(QLatin1String(name)));
    }
    const auto startDay = LunarDay::fromSolar(start.date());
    if (!startDay)
        return fail(QStringLiteral("农历规则的开始日期须在 1900 年到 2099 年之间"));

    LunarRule rule;
    rule.m_start = start;
    rule.m_startYear = startDay->year;
    rule.m_month = startDay->month;
    rule.m_leap = startDay->leap;
    rule.m_day = startDay->day;
    if (parts.contains(QStringLiteral("BYMONTH"))) {
        QString month = parts.value(QStringLiteral("BYMONTH"));
        rule.m_leap = month.endsWith(QLatin1Char('L'));
        if (rule.m_leap)
            month.chop(1);
        bool ok = false;
        rule.m_month = month.toInt(&ok);
        if (!ok || rule.m_month < 1 || rule.m_month > 12)
            return fail(QStringLiteral("农历月份（BYMONTH）须是 1 到 12 之间的一个月，闰月写作如 6L"));
    }
    if (parts.contains(QStringLiteral("BYMONTHDAY"))) {
        bool ok = false;
        rule.m_day = parts.value(QStringLiteral("BYMONTHDAY")).toInt(&ok);
        if (!ok || rule.m_day < 1 || rule.m_day > 30)
            return fail(QStringLiteral("农历日期（BYMONTHDAY）须是 1 到 30 之间的一天"));
    }
    const QString skip = parts.value(QStringLiteral("SKIP"), QStringLiteral("OMIT"));
    if (skip == QStringLiteral("BACKWARD"))
        rule.m_skip = Skip::Backward;
    else if (skip == QStringLiteral("FORWARD"))
        rule.m_skip = Skip::Forward;
    else if (skip != QStringLiteral("OMIT"))
        return fail(QStringLiteral("SKIP 只能是 OMIT、BACKWARD 或 FORWARD"));
    rule.m_interval = parts.value(QStringLiteral("INTERVAL"), QStringLiteral("1")).toInt();
    rule.m_count = parts.value(QStringLiteral("COUNT")).toInt();
    if (parts.contains(QStringLiteral("UNTIL")))
        rule.m_until = wallFromIcal(parts.value(QStringLiteral("UNTIL")));
    return rule;
}

QDate LunarRule::dayInYear(int year) const
{
    LunarDay wanted{year, m_month, m_leap, m_day};
    if (m_leap && !LunarDay{year, m_month, true, 1}.toSolar().isValid()) {
        // The year has no such leap month: the month itself, the next one, or none.
        if (m_skip == Skip::Omit)
            return QDate();
        wanted.leap = false;
        if (m_skip == Skip::Forward && ++wanted.month > 12) {
            wanted.month = 1;
            ++wanted.year;
        }
    }
    const QDate day = wanted.toSolar();
    if (day.isValid() || wanted.day != 30)
        return day;
    // A 29-day month: its last day, the day after it, or none.
    if (m_skip == Skip::Omit)
        return QDate();
    const QDate last = LunarDay{wanted.year, wanted.month, wanted.leap, 29}.toSolar();
    if (!last.isValid())
        return QDate();
    return m_skip == Skip::Backward ? last : last.addDays(1);
}

void LunarRule::expand(const QDateTime& from, const std::function<bool(const QDateTime&)>& visit) const
{
    int k = 0;
    if (m_count == 0 && from > m_start) {
        const auto fromDay = LunarDay::fromSolar(from.date());
        if (!fromDay)
            return;
        // The period before the one holding `from`: a FORWARD day may spill into the following year.
        k = std::max(0, floorDiv(fromDay->year - 1 - m_startYear, m_interval));
    }
    int counted = 0;
    for (int year = m_startYear + k * m_interval; year <= kLastYear; year += m_interval) {
        const QDate day = dayInYear(year);
        if (!day.isValid())
            continue;
        const QDateTime wall = wallTime(day, m_start.time());
        if (wall < m_start)
            continue;
        if (m_until.isValid() && wall > m_until)
            return;
        if (m_count > 0 && ++counted > m_count)
            return;
        if (wall >= from && !visit(wall))
            return;
    }
}

} // namespace calendar
