#pragma once

#include "calendar/Recurrence.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class CAdoDatabase;

namespace calendar {
class WorkdayCalendar;
}

// Repeating reminders and snoozes, kept beside the reminder table and keyed by
// its id. A repeating record holds its next occurrence in its date and time, so
// the due check finds it as it finds any dated record; its rule says where it
// goes after that. A snooze makes a record fall due once more at its `until`.
// Times here are wall times (see calendar::wallTime), as the table stores them.
namespace repeat {

inline constexpr const char kRuleTable[] = "repeatrule";
inline constexpr const char kSnoozeTable[] = "snooze";
inline constexpr const char kHolidayTable[] = "holidays";
inline constexpr const char kUidTable[] = "recorduid";
// The `workdays` value of a reminder that follows the official holiday calendar.
inline constexpr const char kWorkdaysCN[] = "CN";

// A record's row of the rule table.
struct Rule
{
    QString id;
    QString dtstart;  // the first occurrence, "yyyy-MM-dd HH:mm:ss"
    QString rrule;    // RFC 5545 (RFC 7529 for lunar rules); empty for workdays
    QString workdays; // kWorkdaysCN or empty
    QString tzid;     // the zone an imported series counts in; empty: the local wall clock
    qint64 alarm = 0; // seconds each occurrence falls due before its start (an imported alarm)

    bool isWorkdays() const { return workdays == QLatin1String(kWorkdaysCN); }
    bool operator==(const Rule& other) const
    {
        return id == other.id && dtstart == other.dtstart && rrule == other.rrule &&
               workdays == other.workdays && tzid == other.tzid && alarm == other.alarm;
    }
};

// The rule of a record, if it has one. ok (if given) is cleared on a failure of the store.
std::optional<Rule> ReadRule(CAdoDatabase& db, const QString& id, bool* ok = nullptr);
// The rules of these records (those that have one), by id: one read for a page of the list.
QHash<QString, Rule> ReadRules(CAdoDatabase& db, const QStringList& ids);
// Writes a record's rule, replacing the one it had. Returns 1, or a failure code with message set.
int WriteRule(CAdoDatabase& db, const Rule& rule, QString& message);
// Takes a record's rule away (it becomes a dated record). Returns the rows removed or a failure code.
int RemoveRule(CAdoDatabase& db, const QString& id, QString& message);

// The official workdays: the arrangement shipped with the program, with the
// arrangements the user loaded merged over it in the order they were loaded.
std::shared_ptr<const calendar::WorkdayCalendar> Workdays(CAdoDatabase& db);
// Checks a holiday arrangement in the form of the shipped file and keeps it in
// the data file. Returns 1, or a failure code (kDataError) with message set
// (the parse error in Chinese for a malformed text).
int LoadHolidays(CAdoDatabase& db, const QString& text, QString& message);

// The series of a rule; invalid, with a Chinese sentence in error, when the rule cannot be read.
calendar::Recurrence SeriesOf(const Rule& rule, CAdoDatabase& db, QString* error = nullptr);
calendar::Recurrence SeriesOf(const Rule& rule, std::shared_ptr<const calendar::WorkdayCalendar> workdays,
                              QString* error = nullptr);
// The moment the first occurrence of the series falls due strictly after the
// local wall time `wall`, as a local wall time; invalid when the series has
// ended. A series with a zone of its own counts in that zone; one with an
// alarm falls due that long before each occurrence.
QDateTime NextAfter(const Rule& rule, const calendar::Recurrence& series, const QDateTime& wall);

// The next occurrence after `wallNow` of each of these records that has a rule
// and whose series goes on, by id: one read of the rules, and of the workday
// arrangements only when a workday rule is among them.
QHash<QString, QDateTime> NextOccurrences(CAdoDatabase& db, const QStringList& ids, const QDateTime& wallNow);

// Where a repeating record goes once an occurrence is done.
struct Move
{
    bool repeating = false; // the record has a rule
    bool ended = false;     // ...and no occurrence after now: left as it is
    QDateTime next;         // the occurrence it moved to
};
// Moves a repeating record to its first occurrence after `wallNow` (its date
// and time; use "0"). A record without a rule, or whose series has ended, is
// left as it is. Returns 1 on a move, 0 when nothing moved, or a failure code
// with message set.
int MoveToNext(CAdoDatabase& db, const QString& id, const QDateTime& wallNow, Move& move, QString& message);
// Moves every repeating record not cancelled whose date and time lie before
// `wallNow`, except those in `except` (handed over to be shown first), to its
// next occurrence: none stays stranded in the past after a gap. One
// transaction. Returns how many moved, or a failure code.
int MoveStranded(CAdoDatabase& db, const QDateTime& wallNow, const QStringList& except = {});

// Makes a record fall due again at `until` (replacing an earlier snooze).
int Snooze(CAdoDatabase& db, const QString& id, const QDateTime& until, QString& message);
// Ends a record's snooze, if it has one (its occurrence has been shown).
int EndSnooze(CAdoDatabase& db, const QString& id, QString& message);
// Until when a record is snoozed; nothing when it is not.
std::optional<QDateTime> SnoozedUntil(CAdoDatabase& db, const QString& id);
// The snoozes of these records, by id.
QHash<QString, QDateTime> SnoozesOf(CAdoDatabase& db, const QStringList& ids);

// The id other calendars know a record by (random, made when it was added).
QString UidOf(CAdoDatabase& db, const QString& id);

} // namespace repeat
