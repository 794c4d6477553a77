#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Reminders as iCalendar (RFC 5545) sees them, and calendar text to and from them, through libical.
namespace calendar {

// One reminder as a VEVENT with its VALARM.
struct ReminderEvent
{
    QString uid, summary, description;
    QDateTime start;                  // DTSTART as a wall time (see calendar::wallTime) in tzid
    QString tzid;                     // IANA zone of DTSTART; empty: floating local time
    bool allDay = false;              // DTSTART;VALUE=DATE
    QString rrule;                    // RFC 5545 RRULE; for lunar series the RFC 7529 RSCALE text
    QString workdays;                 // "CN" for a workday series, else empty
    QList<QDateTime> rdates, exdates; // wall times in tzid
    qint64 alarmSeconds = 0;          // the alarm comes this long before each start (TRIGGER:-PT..)
    QDateTime acknowledged;           // UTC; ACKNOWLEDGED on the VALARM (RFC 9074); invalid: none
    bool cancelled = false;           // STATUS:CANCELLED
    QDateTime stamp;                  // UTC DTSTAMP/CREATED, from the record's insertdatatime (stable)
    bool simplified = false;          // reading: something was dropped or cut
};

struct CalendarRead
{
    QList<ReminderEvent> events;
    int skipped = 0;    // components that do not remind (no DISPLAY or AUDIO alarm)
    int simplified = 0; // events read with something dropped
    QString error;      // the text is not a calendar at all
};

// One VCALENDAR with the VTIMEZONEs the events use. Same events, same bytes.
QByteArray WriteCalendar(const QList<ReminderEvent>& events);
// Every VEVENT and VTODO of the text that reminds.
CalendarRead ReadCalendar(const QByteArray& text);

} // namespace calendar
