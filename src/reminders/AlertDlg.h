#pragma once

#include "reminders/DueCheck.h"

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class DueQueue;
class QMenu;
class StoreService;

namespace Ui {
class AlertDlg;
}

// Dialog 130, the reminder popup: shows one due record, plays the looping
// reminder sound and, when acknowledged, deletes the record or keeps it: a
// dated record is marked used, an every-day one stays as it is, a repeating
// one moves to its next occurrence. "稍后提醒" makes it fall due again later.
// A shutdown record ("关机") triggers the shutdown instead: one asks first, the
// other shuts down at once without waiting for the user.
class CAlertDlg : public QDialog
{
    Q_OBJECT
public:
    // No parent: the popup must show while the main window hides in the tray;
    // its modal run blocks the whole application.
    explicit CAlertDlg(const QString& recordId, QWidget* parent = nullptr);
    ~CAlertDlg() override;

    // Opens the popup for a record and returns when it has closed.
    static void ShowReminder(const QString& recordId, std::function<void()> reloadList);

    // OnInitDialog, then the modal loop unless the popup has already closed itself.
    int DoModal();
    // Modal to the main window only, as a dialog is to its owner: the window's
    // input waits for the popup, while the notification-area icon (a window of
    // its own) and its menu stay usable.
    void setOwnerWindow(QWidget* owner);

    // Reads the record and prepares the popup. Returns false when the popup has
    // already been closed (the direct-shutdown record).
    bool OnInitDialog();
    // The acknowledgement: every way of closing the popup runs it.
    void OnOK();
    void LoadDeleteChoice();
    void OnChooseDelete(); // radio "删除信息"
    void OnChooseKeep();   // radio "保留信息"
    // "稍后提醒": the record falls due again this many minutes from now, and the
    // popup closes. A repeating record's series moves on as well.
    void OnSnooze(int minutes);
    // The occurrence was acknowledged on another machine (a sync brought it): the
    // popup closes without writing anything, the sync has already moved the record.
    void CloseAcknowledgedElsewhere();
    // Closes the open popups whose records answer to one of these uids.
    static void CloseAcknowledgedElsewhere(const QStringList& uids);
    // The lengths the snooze menu offers before "自定义…", in minutes.
    static constexpr int kSnoozeChoices[] = {5, 10, 30, 60};
    static constexpr int kSnoozeMaxMinutes = 24 * 60;

    // The main window's list reload with its current filter.
    std::function<void()> reloadList;
    // Where the record lives; the application's store unless a test says otherwise.
    StoreProvider store;
    // What a shutdown that the system accepts releases (null: nothing).
    StoreService* storeService = nullptr;
    // Remembers the occurrences acknowledged while the store could not record
    // them; such an occurrence closes at once, unseen (null: nothing remembered).
    DueQueue* dueQueue = nullptr;

    QString recordId;
    // When the record shown fell due (invalid until read).
    QDateTime dueMoment;
    bool deleteRecord = false;
    bool shutdownNow = false;
    bool everyDayRecord = false;
    // The record has a rule with occurrences after this one: kept by default.
    bool repeatingRecord = false;
    // The record is shown for its snooze, which fell due at dueMoment.
    bool snoozeDue = false;

    // True once the popup has closed by an acknowledgement (or gave up after one).
    bool closed() const { return m_closed; }

protected:
    void accept() override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // For one call: the store, or one that answers "not connected".
    std::shared_ptr<CAdoDatabase> database() const;
    void readChecks();
    // The keeping of an acknowledged record, one transaction: a repeating one
    // moves to its next occurrence, an every-day one stays, a dated one is
    // marked used; a snooze that fell due ends. Returns the records kept.
    int keepRecord(CAdoDatabase& db, QString& message);
    // A one-time shutdown record: the shutdown is asked for, and the record
    // goes once the system has said yes. False, with nothing asked, when the
    // record cannot be deleted; refusal then holds why, if the store refused.
    bool shutDownThenDelete(QString* refusal);
    void askSnoozeLength();
    void writeChecks();
    // After a failed acknowledgement: stay open for another try only while one
    // can still succeed, so the user is never stuck with a looping sound. A store
    // that cannot be written lets the popup go and the occurrence is remembered.
    void acknowledgementFailed();
    // The where clause for the record; only digits ever name one.
    QString clause() const;
    bool idUsable() const;
    // True for a key that reaches the popup in its first second after it
    // appeared (on the monotonic clock), or repeats from a key held since then.
    bool swallowKey(const QKeyEvent* event);
    void finish(bool reload);
    // Mirrors the popup on the desktop's notifications, unless switched off.
    void notify();
    void onNotificationAction(int handle, const QString& key);

    std::unique_ptr<Ui::AlertDlg> m_ui;
    QMenu* m_snoozeMenu = nullptr;
    bool m_deleteFailed = false;
    bool m_updateFailed = false;
    qint64 m_shownAtMs = -1; // monotonic; -1 until the popup first appears
    QSet<int> m_swallowedKeys;
    int m_soundPlay = 0;    // the handle of the looping reminder sound
    int m_notification = 0; // the handle of the popup's notification; 0: none
    bool m_closed = false;
};
