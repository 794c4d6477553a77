#pragma once

#include "reminders/DueQueue.h"
#include "reminders/EditorPanel.h"
#include "reminders/RecordDeletion.h"
#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

class CAdoDatabase;
class Countdown;
class CountdownPanel;
class DialogTimers;
class DueCheck;
class QDateEdit;
class QEventLoop;
class ReminderListModel;
class ReminderListView;
class RestReminder;
class RestReminderPanel;
class TrayIcon;

namespace Ui {
class CReminderDlg;
}

// The main window (dialog 102): its frame, exit paths, tray icon, timers and
// clock line, the reminder list with its filters and the due-reminder popups.
// The editor, the rest reminder and the countdown are panels it owns and
// wires. The program ends when its modal run ends.
//
// The window never stays minimised: minimising hides it into the notification
// area. A hidden start (showAllowed false) swallows the first show requests
// until timer 7 ends it.
class CReminderDlg : public QDialog
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

    // Bound values: read every control into its field (the filter, the
    // editor's choices, the timer groups' numbers, the editor's texts),
    // validating the numbers and the text lengths; the first violation is
    // reported, its control focused, and the read stops there (false). Write
    // shows the filter and the editor; the timer groups write themselves.
    bool ReadControls();
    void WriteControls();

    // The timers of the window (ids 1 to 7).
    DialogTimers& timers() const { return *m_timers; }
    // The due-check worker, the queue of due ids, the panels and the two timer features.
    DueCheck& dueCheck() const { return *m_dueCheck; }
    const DueQueue& dueQueue() const { return m_dueQueue; }
    EditorPanel& editor() const { return *m_editor; }
    RestReminderPanel& restPanel() const { return *m_restPanel; }
    CountdownPanel& countdownPanel() const { return *m_countdownPanel; }
    RestReminder& rest() const;
    Countdown& countdown() const;

    // Tests run the worker's passes themselves: timer 2 then marks the check
    // as running without starting the thread.
    static void SetDueWorkerEnabledForTesting(bool enabled);
    // The program (never a test) also wakes the worker at logind's resume
    // signal on the system bus.
    static void EnableResumeWatch();
    // The program (never a test) syncs with the account in Settings.ini: at start, every
    // interval and after every change of the data file; 常规设置's "同步…" opens its settings.
    static void EnableSync();

    // --- Bound fields and run-time state ---
    bool showAllowed;
    QStringList listFields;
    QDateEdit* datePicker = nullptr;
    ReminderListView* recordList = nullptr;
    int filterIndex = -1;
    bool closing = false;
    QIcon appIcon;
    // Show requests a hidden start still swallows.
    int showBudget = 2;

    static constexpr int kSubjectMaxBytes = EditorPanel::kSubjectMaxBytes;
    static constexpr int kContentMaxBytes = EditorPanel::kContentMaxBytes;

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

    // The editor's add or modify button: every control is read first.
    void OnAddOrModify();
    // The editor's 自动关机 box: every control is read first, so that the
    // editor keeps what the user picked.
    void OnAutoShutdownClicked();

    // The due-reminder queue and the worker.
    void StartDueCheck();
    void OnRemindersDue();
    void ShowNextDueReminder();
    // The end of the program: stops timers 1 and 3, removes the tray icon and
    // ends the modal run, without a question.
    void EndMainWindow();

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
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::shared_ptr<CAdoDatabase> store() const;
    // The window's store for whoever reads it later, on any thread.
    StoreProvider storeProvider() const;
    static QFont windowFont();
    void addRepeatControls();
    void applyDialogUnits();
    void setUpControls();
    void connectControls();
    void refreshClockLine();
    void endHiddenStart();
    void hideToTray();
    // Clears the worker's running flag after a confirmed exit.
    void stopDueCheck();
    deletion::Editor deletionEditor();

    void setUpPanels();
    void writeFilter();

    std::unique_ptr<Ui::CReminderDlg> m_ui;
    ReminderListModel* m_listModel = nullptr;
    DialogTimers* m_timers = nullptr;
    // Read by the worker thread too, hence the lock.
    mutable std::mutex m_storeLock;
    StoreProvider m_storeProvider;
    std::unique_ptr<DueCheck> m_dueCheck;
    DueQueue m_dueQueue;
    EditorPanel* m_editor = nullptr;
    RestReminderPanel* m_restPanel = nullptr;
    CountdownPanel* m_countdownPanel = nullptr;
    TrayIcon* m_tray = nullptr;
    // Tells the sync's runner of a change of the data file; empty while the sync is not enabled.
    // (No sync:: name here: unistd.h's sync() would clash with it where both are included.)
    std::function<void()> m_syncLocalChanged;
    QEventLoop* m_loop = nullptr;
    bool m_ending = false;
    bool m_ended = false;
};
