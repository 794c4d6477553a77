#include "reminders/SyncedReminders.h"

#include "base/Constants.h"
#include "reminders/CalendarExchange.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"

#include <climits>

namespace reminders {

namespace {

const QString kUidTable = QStringLiteral("recorduid");

// The (id, uid) pairs of the clause; false with the store's message on failure.
bool uidRows(CAdoDatabase& db, const QString& where, RowSet& rows, QString& error)
{
    QString message = where;
    if (db.SelectRows(kUidTable, where, {QStringLiteral("id"), QStringLiteral("uid")}, rows, INT_MAX,
                      message) < 0) {
        error = message;
        return false;
    }
    return true;
}

// The item of a record, or false for one that does not travel (a shutdown record).
bool itemOf(CAdoDatabase& db, const QString& id, const QString& uid, sync::LocalItem& out)
{
    const std::optional<calendar::ReminderEvent> event = EventOfRecord(db, id);
    if (!event)
        return false;
    out = sync::LocalItem{uid, id, calendar::WriteCalendar({*event})};
    return true;
}

} // namespace

SyncedReminders::SyncedReminders(CAdoDatabase& db) : m_db(db) {}

bool SyncedReminders::items(QList<sync::LocalItem>& out, QString& error)
{
    // The whole table in one read: a sync with nothing to do is mostly this.
    QList<QPair<QString, calendar::ReminderEvent>> events;
    if (!ReadAllEvents(m_db, events, error))
        return false;
    out.reserve(out.size() + events.size());
    for (const auto& [id, event] : events) {
        if (!event.uid.isEmpty())
            out.append(sync::LocalItem{event.uid, id, calendar::WriteCalendar({event})});
    }
    return true;
}

bool SyncedReminders::item(const QString& uid, sync::LocalItem& out, QString& error)
{
    RowSet rows;
    if (!uidRows(m_db, QStringLiteral("where uid = ") + SqlQuoted(uid), rows, error) || rows.isEmpty() ||
        rows[0].size() != 2)
        return false;
    return itemOf(m_db, rows[0][0], rows[0][1], out);
}

sync::LocalCalendar::Applied SyncedReminders::apply(const QByteArray& data, sync::LocalItem& stored,
                                                    QString& error)
{
    const calendar::CalendarRead read = calendar::ReadCalendar(data);
    if (!read.error.isEmpty()) {
        error = read.error;
        return Applied::Failed;
    }
    if (read.events.isEmpty())
        return Applied::NotAReminder;
    const calendar::ReminderEvent& event = read.events.first();
    const StoreOutcome outcome = StoreEvent(m_db, event, true);
    if (outcome.kind == StoreOutcome::Failed) {
        error = outcome.error;
        return Applied::Failed;
    }
    if (outcome.kind == StoreOutcome::Skipped || !item(event.uid, stored, error)) {
        // Stored as something that does not travel (a shutdown pair becomes an ordinary
        // reminder, so this is a fault of the store): say so rather than lose track.
        if (error.isEmpty())
            error = QStringLiteral("无法保存提醒：") + event.summary;
        return Applied::Failed;
    }
    return Applied::Stored;
}

bool SyncedReminders::remove(const QString& uid, QString& error)
{
    RowSet rows;
    if (!uidRows(m_db, QStringLiteral("where uid = ") + SqlQuoted(uid), rows, error))
        return false;
    for (const QStringList& row : rows) {
        QString message = QStringLiteral("where id = ") + SqlQuoted(row.value(0));
        // The trigger on the reminder table takes its rule, snooze, UID and acknowledgement with it.
        if (m_db.DeleteRows(QString::fromUtf8(tolva::kReminderTable), message, 1, message) < 0) {
            error = message;
            return false;
        }
    }
    return true;
}

} // namespace reminders
