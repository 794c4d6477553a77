#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The editor's rules, apart from its controls.
namespace reminders {

// The six values of a record in InsertFields() order, as the editor composes
// them: the date part of reminderDate (or "Every Day"), the time part of
// reminderTime, use "1" when cancelled, and now as the record time.
QStringList ComposeRecordValues(const QString& subject, const QString& content, const QDateTime& reminderDate,
                                const QDateTime& reminderTime, bool everyDay, bool cancelReminder,
                                const QDateTime& now);

// A shutdown record is refused when neither picker's full date-time lies after
// now (whole seconds).
bool ShutdownTimeRefused(bool autoShutdown, const QDateTime& reminderDate, const QDateTime& reminderTime,
                         const QDateTime& now);

// The local date-time of a record's date ("YYYY-MM-DD") and time ("HH:MM:SS"),
// each part read as a decimal number and missing parts taken as 0, at the
// instant it falls due by the local wall clock (walltime::WallMoment). Invalid
// when the numbers make no real date and time.
QDateTime RecordDateTime(const QString& date, const QString& time);

// True for a record id as the table hands them out (decimal digits only), the
// only text the editor puts into its "where id=" clause.
bool IsRecordId(const QString& id);

} // namespace reminders
