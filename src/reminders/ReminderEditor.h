#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The editor's rules, apart from its controls.
namespace reminders {

// The longest subject and content a record takes, in GBK bytes: the editor's
// limits, which imported texts are cut to as well.
inline constexpr int kSubjectMaxBytes = 52;
inline constexpr int kContentMaxBytes = 256;

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

// The editor's messages, which the command line gives for the same refusals.
const char* EnterSubjectText();
const char* EnterContentText();
const char* ShutdownInPastText();
// %1: the edit's limit in GBK bytes.
const char* TextTooLongText();
const char* VanishedText();
// A dated record whose moment has passed: the editor's question, and the
// refusal where nobody can be asked.
const char* MomentPassedText();
const char* MomentPassedRefusedText();
// The shutdown record's texts typed by hand (%1: the content): the editor's
// question, and the refusal where nobody can be asked.
const char* ShutdownPairText();
const char* ShutdownPairRefusedText();

} // namespace reminders
