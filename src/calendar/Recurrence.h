#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

namespace calendar {

class WorkdayCalendar;

// Wall-clock date-times: QDateTime values whose timeSpec() is Qt::UTC, read as the local wall clock without a
// zone (floating). The rules count in wall time, as the reminder table stores its date and time; which
// instant a wall time means is the due check's business, not the rule's.
QDateTime wallTime(const QDate& date, const QTime& time);
// "yyyy-MM-dd HH:mm:ss" to a wall time; invalid when the text is not one.
QDateTime wallFromText(const QString& text);
QString wallText(const QDateTime& wall);
// An iCalendar local (floating) date-time, "20271231T235959", to a wall time; invalid otherwise.
QDateTime wallFromIcal(const QString& text);
// The local wall clock now.
QDateTime wallNow();

// A repeating reminder's series: an RFC 5545 RRULE expanded with libical, a lunar rule (RFC 7529
// RSCALE=CHINESE) expanded with liblunar-date, or the workdays of the official calendar. Its occurrences
// are the instances at or after the start; a start the rule does not give is not itself one.
class Recurrence
{
public:
    enum class Kind { None, Rule, Lunar, Workdays };

    Recurrence() = default;
    // Checks and reads `rrule` (with or without "RRULE:"); on a fault returns an invalid value and puts
    // a Chinese sentence for the editor and the command line into `error`.
    static Recurrence parse(const QString& rrule, const QDateTime& start, QString* error);
    // Every workday of `workdays` at the start's time of day, from the start on.
    static Recurrence workdays(const QDateTime& start, std::shared_ptr<const WorkdayCalendar> workdays);

    bool isValid() const { return m_kind != Kind::None; }
    Kind kind() const { return m_kind; }
    QDateTime start() const { return m_start; }
    // The rule as stored: upper case, without "RRULE:"; empty for workdays.
    QString rrule() const { return m_rrule; }
    // Whether the series ends (COUNT or UNTIL).
    bool isBounded() const;

    // The first occurrence strictly after `wall`; invalid when the series has ended.
    QDateTime nextAfter(const QDateTime& wall) const;
    // Up to `count` occurrences at or after `from`, in order.
    QList<QDateTime> occurrences(const QDateTime& from, int count) const;
    // For workdays: whether `day`'s year has no official arrangement, so that Monday to Friday stands in.
    bool isWorkdayFallback(const QDate& day) const;

    struct Impl;

private:
    Kind m_kind = Kind::None;
    QDateTime m_start;
    QString m_rrule;
    bool m_counted = false; // COUNT, now held as the moment of the last occurrence
    std::shared_ptr<const Impl> m_impl;
    std::shared_ptr<const WorkdayCalendar> m_workdays;
};

} // namespace calendar
