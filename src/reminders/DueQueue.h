#pragma once

#include <QDateTime>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class CAdoDatabase;
struct DueCheckContext;

// A store that is never opened: every record operation answers with the
// not-connected result, as the application's store does once released.
std::shared_ptr<CAdoDatabase> ClosedStore();
// The program's store (the service the application object registered with
// SetProgramStore) for one call (keep it no longer), or ClosedStore() when
// there is none or it has been released. Usable as the due check's StoreProvider.
std::shared_ptr<CAdoDatabase> AppStore();

// Why writes to the store fail for the rest of the run: its data file or the
// folder that holds it (where the journal goes) cannot be written by this user,
// or lies on a read-only file system. Empty while both can be written.
QString ReadOnlyReason(const CAdoDatabase& db);
// The one text for a write the store refused: the read-only reason when there
// is one, else the store's own message.
QString RefusedWriteText(const CAdoDatabase& db, const QString& storeMessage);

// The moment at which a record with that date ("Every Day" or a day) and time
// fell due last, seen at now: for an every-day record, today's time of day, or
// yesterday's while today's is still to come. Invalid for no real moment.
QDateTime DueMoment(const QString& date, const QString& time, const QDateTime& now);

// The main window's queue of due reminder ids: one popup at a time, in the
// order found, and no id twice (neither queued twice nor queued while showing).
class DueQueue
{
public:
    enum class Due {
        Exit,   // the exit was confirmed and the worker is ending: end the program
        Queued, // the found ids have been taken over
    };

    // The handler of the worker's message. Exit: the caller stops timers 1 and 3,
    // removes the tray icon and ends the main window, without its own question.
    Due OnRemindersDue(DueCheckContext& context);

    // Runs the popup for a record id modally and returns when it has closed.
    using RunPopup = std::function<void(const QString& recordId)>;
    // Timer 1's tick: opens the popup for the head of the queue unless one is
    // open. The head leaves the queue only after its popup has returned.
    // Returns true when a popup was run.
    bool ShowNextDueReminder(const RunPopup& runPopup);

    // A popup acknowledged while the store could not record it: that
    // occurrence (the record at the moment it fell due) is not shown again in
    // this run, though the record is unchanged and the seconds may recur.
    void rememberAcknowledged(const QString& recordId, const QDateTime& dueMoment);
    bool wasAcknowledged(const QString& recordId, const QDateTime& dueMoment) const;

    const QStringList& pendingIds() const { return m_pendingIds; }
    bool alertShowing() const { return m_alertShowing; }
    // Empties the queue (the main window's initialisation).
    void reset();

private:
    QStringList m_pendingIds;
    bool m_alertShowing = false;
    QSet<QPair<QString, qint64>> m_acknowledged; // id, due moment in ms since the epoch
};
