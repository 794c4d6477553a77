#pragma once

#include "reminders/Repeat.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class CAdoDatabase;

// Adding and changing a record together with its rule, as one transaction: the
// editor and the command line write through these, so a record never exists
// without the rule it was given, and two writers never interleave.
namespace reminders {

// A record's rule as the editor or the command line gives it; no rule: a dated
// or every-day record.
struct RuleDraft
{
    QString rrule;         // RFC 5545 / RFC 7529 text, or empty for workdays
    bool workdays = false; // follows the official calendar ("CN")
    QString tzid;          // the zone the series counts in (imported); empty: the local wall clock
    qint64 alarm = 0;      // seconds each occurrence falls due before its start (imported)
};

// Where a new or changed repeating record starts: the series from `start`
// (the date and time the user gave), checked. Fills `rule` (without its id)
// and `first`, the moment the record is to hold: when the first occurrence
// at or after the start falls due after now (start in the draft's zone). False, with a Chinese sentence in
// error, for a rule that cannot be read or a series with no occurrence after now.
bool PlanSeries(CAdoDatabase& db, const RuleDraft& draft, const QDateTime& start, const QDateTime& wallNow,
                repeat::Rule& rule, QDateTime& first, QString& error);

// Adds a record (values in InsertFields() order) and, when given, its rule
// (id filled in here), in one transaction. Returns the new id, or an empty
// text with message set.
QString AddRecord(CAdoDatabase& db, const QStringList& values, const std::optional<repeat::Rule>& rule,
                  QString& message);

// Changes a record's values and its rule in one transaction: `rule` replaces
// the rule it had, or, when empty, takes it away. A rule whose text, kind and
// zone are the ones stored, for a record whose date and time did not change,
// keeps its stored start, so COUNT still counts from the series' first
// occurrence. Returns 1, 0 when no such record exists, or a failure code with
// message set.
int ModifyRecord(CAdoDatabase& db, const QString& id, const QStringList& values,
                 const std::optional<repeat::Rule>& rule, QString& message);

} // namespace reminders
