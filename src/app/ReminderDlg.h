#pragma once

#include "reminders/DueQueue.h"
#include "reminders/RecordDeletion.h"
#include "timers/Countdown.h"
#include "timers/RestReminder.h"
#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

class CAdoDatabase;
class DialogTimers;
class DueCheck;
class QDateEdit;
class QEventLoop;
class QLineEdit;
class QTimeEdit;
class ReminderListModel;
class ReminderListView;
class TrayIcon;
class UpDownControl;

namespace Ui {
class CReminderDlg;
}

// The main window (dialog 102): the reminder list with its filters, the
// editor, the rest reminder, the countdown, the clock line and the timers. It
// owns the program's run-time state; the program ends when its modal run ends.
//
// The window never stays minimised: minimising hides it into the notification
// area. A hidden start (showAllowed false) swallows the first show requests
// until timer 7 ends it.
class CReminderDlg : public QDialog, private RestReminderView, private CountdownView
{
    Q_OBJECT
public:
    using StoreProvider = std::function<std::shared_ptr<CAdoDatabase>()>;

    // store: where the records live; empty for the application's store. It is
    // given here because the window loads its list while it is constructed.
    explicit CReminderDlg(bool showAllowed, QWidget* parent = nullptr, StoreProvider store = StoreProvider());
    ~CReminderDlg() override;

    // The modal run: shows the window (unless the hidden start holds it back)
    // and returns when the window ends; hiding it does not end it.
    int exec() override;
    // Ends the modal run with the result, without any question.
    void done(int result) override;

    // Where the records live from now on; empty for the application's store.
    // A null answer counts as a store that is not connected.
    void setStoreProvider(StoreProvider provider);

    // The controls by their dialog ids (app/MainWindowIds.h); null for an unknown id.
    QWidget* GetDlgItem(int id) const;
    QString GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const QString& text);

    // Bound values: read every control into its field, validating the numbers
    // and the text lengths; the first violation is reported, its control
    // focused, and the read stops there (false). Write shows every field.
    bool ReadControls();
    void WriteControls();

    // The timers of the window (ids 1 to 7).
    DialogTimers& timers() const { return *m_timers; }
    // The due-check worker, the queue of due ids and the two timer features.
    DueCheck& dueCheck() const { return *m_dueCheck; }
    const DueQueue& dueQueue() const { return m_dueQueue; }
    RestReminder& rest() const { return *m_rest; }
    Countdown& countdown() const { return *m_countdown; }

    // Tests run the worker's passes themselves: timer 2 then marks the check
    // as running without starting the thread.
    static void SetDueWorkerEnabledForTesting(bool enabled);

    // --- Bound fields and run-time state ---
    bool showAllowed;
    QStringList insertFields;
    QStringList listFields;
    QDateEdit* datePicker = nullptr;
    ReminderListView* recordList = nullptr;
    QDateTime reminderDate;
    QDateTime reminderTime;
    bool cancelReminder = false;
    bool everyDay = false;
    int filterIndex = -1;
    UpDownControl* restSpin = nullptr;
    UpDownControl* hourSpin = nullptr;
    UpDownControl* minuteSpin = nullptr;
    UpDownControl* secondSpin = nullptr;
    QString subject;
    QString content;
    bool autoShutdown = false;
    // The numbers of the two timer groups as last read; the features own them.
    int restMinutes = 30;
    int countdownHours = 12;
    int countdownMinutes = 30;
    int countdownSeconds = 30;
    bool closing = false;
    QIcon appIcon;
    // Show requests a hidden start still swallows.
    int showBudget = 2;

    static constexpr int kSubjectMaxBytes = 52;
    static constexpr int kContentMaxBytes = 256;

public slots:
    bool OnInitDialog();
    void OnTimer(int id);

    // Exit paths: Enter, Esc or the close box, and the tray menu's command.
    void OnOK();
    void OnCancel();
    void OnExitCommand();
    void OnToTray();

    // Menu commands of menu 129 (list context menu and tray menu).
    void OnCommand(int commandId);

    // The list and its filters.
    void LoadRecordList(const QString& whereClause, int quiet);
    void ApplyFilter();
    void OnListClick();
    void OnListRightClick();

    // The editor.
    void OnAddOrModify();
    void OnRefreshOrDelete();
    void ClearEditor();
    void ReturnToAddMode();

    // The due-reminder queue and the worker.
    void StartDueCheck();
    void OnRemindersDue();
    void ShowNextDueReminder();
    // The end of the program: stops timers 1 and 3, removes the tray icon and
    // ends the modal run, without a question.
    void EndMainWindow();

    void OnRestStartStop();
    void RestTick();
    void OnCountdownStartStop();
    void OnCountdownShutdownClicked();
    void CountdownTick();
    void OnAutoShutdownClicked();
    void DeleteSelectedRecord();
    void DeleteExpiredRecords();
    void OnSettings();
    void OnAbout();
    void OnTimeSync();
    void OnShowMainWindow();
    void AddTrayIcon();
    void RemoveTrayIcon();

protected:
    void setVisible(bool visible) override;
    void accept() override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::shared_ptr<CAdoDatabase> store() const;
    // The window's store for whoever reads it later, on any thread.
    StoreProvider storeProvider() const;
    void applyDialogUnits();
    void setUpControls();
    void connectControls();
    void refreshClockLine();
    void endHiddenStart();
    void hideToTray();
    void setEditsEnabled(bool enabled);
    void setAddModeCaptions();
    // Clears the worker's running flag after a confirmed exit.
    void stopDueCheck();
    deletion::Editor deletionEditor();

    // RestReminderView
    QString restIntervalText() const override;
    void setRestIntervalText(const QString& text) override;
    void focusRestInterval() override;
    void setRestIntervalEnabled(bool enabled) override;
    void setRestRunningChecked(bool checked) override;
    QString restButtonCaption() const override;
    void setRestButtonCaption(const QString& caption) override;
    void setRestStatus(const QString& text) override;
    void startRestTimer(int periodMs) override;
    void killRestTimer() override;

    // CountdownView
    QLineEdit* countdownEdit(Field field) const;
    QString countdownFieldText(Field field) const override;
    void setCountdownFieldText(Field field, const QString& text) override;
    void focusCountdownField(Field field) override;
    bool countdownShutdownChecked() const override;
    void setCountdownShutdownChecked(bool checked) override;
    void setCountdownRunningChecked(bool checked) override;
    void setCountdownControlsEnabled(bool enabled) override;
    QString countdownButtonCaption() const override;
    void setCountdownButtonCaption(const QString& caption) override;
    void setCountdownStatus(const QString& text) override;
    void startCountdownTimer(int periodMs) override;
    void killCountdownTimer() override;

    std::unique_ptr<Ui::CReminderDlg> m_ui;
    ReminderListModel* m_listModel = nullptr;
    DialogTimers* m_timers = nullptr;
    // Read by the worker thread too, hence the lock.
    mutable std::mutex m_storeLock;
    StoreProvider m_storeProvider;
    std::unique_ptr<DueCheck> m_dueCheck;
    DueQueue m_dueQueue;
    std::unique_ptr<RestReminder> m_rest;
    std::unique_ptr<Countdown> m_countdown;
    TrayIcon* m_tray = nullptr;
    QEventLoop* m_loop = nullptr;
    bool m_ending = false;
    bool m_ended = false;
    // The hidden time-of-day of the date picker and the hidden date of the time
    // picker: each picker holds a full date-time, but shows only half of it.
    QTime m_datePickerTime;
    QDate m_timePickerDate;
};
