#pragma once

#include "calendar/ICalendar.h"

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class CAdoDatabase;

// The reminder table as iCalendar events, and .ics files in and out.
namespace reminders {

// The event of a record; none for shutdown records and records that do not exist.
std::optional<calendar::ReminderEvent> EventOfRecord(CAdoDatabase& db, const QString& id);

// Every record's event with the record's id, in id order, read in one transaction; shutdown records
// left out. False with the store's message.
bool ReadAllEvents(CAdoDatabase& db, QList<QPair<QString, calendar::ReminderEvent>>& out, QString& error);

struct StoreOutcome
{
    enum Kind { Stored, Simplified, Skipped, Failed } kind = Failed;
    QString id;
    QString error;
};
// Writes an event as a record (and its rule) under the event's UID. An existing record with that UID is
// replaced when replaceExisting, else left alone (Skipped).
StoreOutcome StoreEvent(CAdoDatabase& db, const calendar::ReminderEvent& e, bool replaceExisting);

struct ExchangeCounts
{
    int imported = 0, simplified = 0, skipped = 0;
};
bool ExportCalendarFile(CAdoDatabase& db, const QString& path, int& count, QString& error);
bool ImportCalendarFile(CAdoDatabase& db, const QString& path, ExchangeCounts& counts, QString& error);
// The one message naming the three counts.
QString ImportSummaryText(const ExchangeCounts& counts);

} // namespace reminders
