#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace calendar {

// A date of the Chinese calendar, as liblunar-date counts it (lunar years 1900 to 2099).
struct LunarDay
{
    int year = 0;
    int month = 0; // 1..12
    bool leap = false;
    int day = 0; // 1..30

    // The lunar date of a Gregorian day; nothing outside the table's range.
    static std::optional<LunarDay> fromSolar(const QDate& day);
    // The Gregorian day of this lunar date; invalid when the year lacks the leap month or the day.
    QDate toSolar() const;
    // 八月十五, 闰六月初一, 腊月三十.
    static QString name(int month, bool leap, int day);
};

// A yearly lunar rule written as RFC 7529: RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8 (or 8L for the leap
// month);BYMONTHDAY=15, with SKIP=OMIT|BACKWARD|FORWARD for a year that lacks the leap month or the 30th,
// INTERVAL, and COUNT or UNTIL. Missing month or day come from the start's lunar date.
class LunarRule
{
public:
    enum class Skip { Omit, Backward, Forward };

    // `parts`: the rule's NAME=VALUE parts, upper case, already checked for unknown names.
    static std::optional<LunarRule> fromParts(const QHash<QString, QString>& parts, const QDateTime& start,
                                              QString* error);

    int month() const { return m_month; }
    bool leap() const { return m_leap; }
    int day() const { return m_day; }
    Skip skip() const { return m_skip; }
    bool isBounded() const { return m_count > 0 || m_until.isValid(); }

    // Ends the series at `last` (its COUNT-th occurrence) instead of counting.
    void boundBy(const QDateTime& last)
    {
        m_count = 0;
        m_until = last;
    }
    // The Gregorian day of this rule in lunar year `year`, after SKIP; invalid when omitted.
    QDate dayInYear(int year) const;
    // Visits the occurrences in order, from the first at or after `from`, until `visit` returns false.
    void expand(const QDateTime& from, const std::function<bool(const QDateTime&)>& visit) const;

private:
    QDateTime m_start;
    int m_startYear = 0; // the start's lunar year: the first period
    int m_month = 0;
    bool m_leap = false;
    int m_day = 0;
    Skip m_skip = Skip::Omit;
    int m_interval = 1;
    int m_count = 0;
    QDateTime m_until;
};

} // namespace calendar
