#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// This machine's side of the sync: the reminder table seen as iCalendar
// events. Calls run inside the sync's transactions on its own connection.
namespace sync {

struct LocalItem
{
    QString uid;
    QString id;      // the record's id
    QByteArray data; // a VCALENDAR with the record's one VEVENT, the same bytes for the same record
};

class LocalCalendar
{
public:
    enum class Applied {
        Stored,       // created or changed the record of the event's UID; `stored` holds it now
        NotAReminder, // no DISPLAY or AUDIO alarm: left alone, not shown
        Failed        // error says why
    };
    virtual ~LocalCalendar() = default;
    // Every record that travels (shutdown records never do).
    virtual bool items(QList<LocalItem>& out, QString& error) = 0;
    // The record of a UID, if it travels; false when there is none.
    virtual bool item(const QString& uid, LocalItem& out, QString& error) = 0;
    // Creates or changes the record of the event's UID from an event written
    // by any program, under the import rules. An acknowledgement newer than
    // the record's own acknowledges it here too.
    virtual Applied apply(const QByteArray& data, LocalItem& stored, QString& error) = 0;
    // Deletes the record of a UID; none there counts as deleted.
    virtual bool remove(const QString& uid, QString& error) = 0;
};

} // namespace sync
