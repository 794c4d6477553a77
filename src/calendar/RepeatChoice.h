#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace calendar {

// What the editor's repeat chooser shows, and the rule text it stands for. A
// rule the chooser has no preset for is a custom choice that keeps its text as
// it was, so loading and storing a record never rewrites its rule.
struct RepeatChoice
{
    enum class Kind { None, EveryDay, Workdays, Weekly, Monthly, Yearly, Lunar, Custom };
    enum class Unit { Day, Week, Month };
    enum class End { Never, Until, Count };
    // A lunar date missing in a year: no occurrence, the day before, or the day after.
    enum class Skip { Omit, Backward, Forward };

    Kind kind = Kind::None;

    // Weekly: the days ticked, 1 (Monday) to 7 (Sunday), ascending.
    QList<int> weekdays;

    // Monthly: on day `monthDay`, or (byWeekday) on the `ordinal`-th `weekday`
    // of the month, ordinal -1 for the last one.
    bool byWeekday = false;
    int monthDay = 1;
    int ordinal = 1;
    int weekday = 1;

    // Lunar yearly: month 1..12 (leap: the leap month after it), day 1..30.
    int lunarMonth = 1;
    bool lunarLeap = false;
    int lunarDay = 1;
    Skip skip = Skip::Omit;

    // Custom: every `interval` units, until a day (inclusive) or `count` times.
    Unit unit = Unit::Day;
    int interval = 1;
    End end = End::Never;
    QDate until;
    int count = 1;
    // The rule as stored, for a custom choice read from a rule; empty for one
    // made from the fields above.
    QString text;

    // The choice a stored rule shows as. workdays: the record follows the
    // official calendar; everyDay: the record's date is "Every Day".
    static RepeatChoice fromRule(const QString& rrule, bool workdays, bool everyDay = false);
    // The presets' defaults taken from the day picked (weekday, day of month, lunar date).
    static RepeatChoice forDay(Kind kind, const QDate& day);

    // The RRULE text; empty for no repeat, every day and workdays.
    QString rule() const;
    // The custom fields as a rule, whatever `text` says.
    QString fieldsRule() const;
    // The choice in words, as the list says a rule (calendar::ruleWords), for a
    // series starting on `start`: 每周一、三、五, 农历每年八月十五.
    QString words(const QDate& start) const;

    bool operator==(const RepeatChoice& other) const { return rule() == other.rule() && kind == other.kind; }
};

} // namespace calendar
