#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"
#include "system/SettingsDlg.h"
#include "timesync/TimeSyncDlg.h"
#include "widgets/AboutDlg.h"

#include "app/ReminderApp.h"
#include "app/SyncSetup.h"
#include "base/Constants.h"
#include "base/DialogTimers.h"
#include "base/MainWindowIds.h"
#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/AlertDlg.h"
#include "reminders/DueCheck.h"
#include "reminders/DueQueue.h"
#include "reminders/RecordDeletion.h"
#include "reminders/ReminderFilter.h"
#include "reminders/ReminderList.h"
#include "reminders/ResumeWatch.h"
#include "store/AdoDatabase.h"
#include "sync/SyncRunner.h"
#include "timers/CountdownPanel.h"
#include "timers/RestReminderPanel.h"
#include "timers/Shutdown.h"
#include "ui_ReminderDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCursor>

namespace {

const char kListCaption[] = "共有%1条提醒记录";
const char kNoRecords[] = "没有记录！";
const char kWrongCount[] = "取出的数据数目不对！  ";
const char kClockPrefix[] = "现在时间：";

const char* const kWeekdays[7] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};

// How long after the start of a second the clock line is refreshed.
constexpr int kClockTickDelayMs = 10;

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

QString ClockLineText(const QDateTime& now)
{
    return u8(kClockPrefix) + now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           u8(kWeekdays[now.date().dayOfWeek() % 7]);
}

void ShowText(QWidget* owner, const char* text)
{
    ShowMessageBox(owner, u8(text));
}

bool g_dueWorkerEnabled = true;
bool g_resumeWatchEnabled = false;
bool g_syncEnabled = false;

} // namespace

void CReminderDlg::EnableResumeWatch()
{
    g_resumeWatchEnabled = true;
}

void CReminderDlg::EnableSync()
{
    g_syncEnabled = true;
}

void CReminderDlg::SetDueWorkerEnabledForTesting(bool enabled)
{
    g_dueWorkerEnabled = enabled;
}

CReminderDlg::CReminderDlg(bool showAllowed_, QWidget* parent, StoreProvider store)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      showAllowed(showAllowed_), appIcon(QString::fromLatin1(tolva::kIconResource)),
      m_ui(std::make_unique<Ui::CReminderDlg>())
{
    setStoreProvider(std::move(store));
    m_timers = new DialogTimers([this](int id) { OnTimer(id); }, this);
    m_dueCheck = std::make_unique<DueCheck>(storeProvider());
    // The worker signals from its own thread; the queue is only ever touched here.
    connect(m_dueCheck.get(), &DueCheck::remindersDue, this, &CReminderDlg::OnRemindersDue,
            Qt::QueuedConnection);
    setFont(windowFont());
    m_ui->setupUi(this);
    addRepeatControls();
    applyDialogUnits();
    setUpControls();
    setUpPanels();
    connectControls();
    OnInitDialog();
}

CReminderDlg::~CReminderDlg()
{
    m_timers->KillAll();
    if (m_syncLocalChanged)
        CSettingsDlg::SetSyncOpener({});
    // The worker reads the store through this window: end it first.
    m_dueCheck.reset();
}

void CReminderDlg::setStoreProvider(StoreProvider provider)
{
    std::lock_guard<std::mutex> lock(m_storeLock);
    m_storeProvider = provider ? std::move(provider) : StoreProvider(AppStore);
}

CReminderDlg::StoreProvider CReminderDlg::storeProvider() const
{
    return [this] { return store(); };
}

std::shared_ptr<CAdoDatabase> CReminderDlg::store() const
{
    StoreProvider provider;
    {
        std::lock_guard<std::mutex> lock(m_storeLock);
        provider = m_storeProvider;
    }
    auto db = provider();
    return db ? db : ClosedStore();
}

void CReminderDlg::setUpControls()
{
    setWindowTitle(u8(tolva::kMainWindowTitle));
    setWindowIcon(appIcon);
    setSizeGripEnabled(false);

    datePicker = m_ui->datePicker;
    recordList = m_ui->recordList;

    // Group boxes frame their controls from behind, never in front of them.
    for (QGroupBox* box :
         {m_ui->listGroup, m_ui->editorGroup, m_ui->restGroup, m_ui->countdownGroup, m_ui->systemGroup})
        box->lower();

    auto* filters = new QButtonGroup(this);
    filters->setObjectName(QStringLiteral("filterGroup"));
    filters->addButton(m_ui->filterAllRadio, reminders::kFilterAll);
    filters->addButton(m_ui->filterNotTakenRadio, reminders::kFilterNotTaken);
    filters->addButton(m_ui->filterTakenRadio, reminders::kFilterTaken);
    filters->addButton(m_ui->filterUpcomingRadio, reminders::kFilterUpcoming);

    m_listModel = new ReminderListModel(this);
    m_listModel->setStore(storeProvider());
    recordList->setModel(m_listModel);

    // The status line: pure red on whatever lies behind it.
    QPalette red = m_ui->statusLabel->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_ui->statusLabel->setPalette(red);
    m_ui->statusLabel->setAutoFillBackground(false);
}

void CReminderDlg::setUpPanels()
{
    EditorPanel::Controls editor;
    editor.subjectEdit = m_ui->subjectEdit;
    editor.contentEdit = m_ui->contentEdit;
    editor.addModifyButton = m_ui->addModifyButton;
    editor.datePicker = m_ui->datePicker;
    editor.timePicker = m_ui->timePicker;
    editor.cancelReminderCheck = m_ui->cancelReminderCheck;
    editor.recordIdEdit = m_ui->recordIdEdit;
    editor.refreshDeleteButton = m_ui->refreshDeleteButton;
    editor.autoShutdownCheck = m_ui->autoShutdownCheck;
    editor.everyDayCheck = m_ui->everyDayCheck;
    editor.repeatCombo = findChild<QComboBox*>(QStringLiteral("repeatCombo"));
    m_editor = new EditorPanel(editor, this, storeProvider());

    RestReminderPanel::Controls rest;
    rest.minutesEdit = m_ui->restMinutesEdit;
    rest.spin = m_ui->restSpin;
    rest.runningCheck = m_ui->restRunningCheck;
    rest.startStopButton = m_ui->restStartStopButton;
    rest.statusLabel = m_ui->restStatusLabel;
    m_restPanel = new RestReminderPanel(rest, this, *m_timers);

    CountdownPanel::Controls countdown;
    countdown.hoursEdit = m_ui->countdownHoursEdit;
    countdown.minutesEdit = m_ui->countdownMinutesEdit;
    countdown.secondsEdit = m_ui->countdownSecondsEdit;
    countdown.hourSpin = m_ui->hourSpin;
    countdown.minuteSpin = m_ui->minuteSpin;
    countdown.secondSpin = m_ui->secondSpin;
    countdown.shutdownCheck = m_ui->countdownShutdownCheck;
    countdown.runningCheck = m_ui->countdownRunningCheck;
    countdown.startStopButton = m_ui->countdownStartStopButton;
    countdown.statusLabel = m_ui->countdownStatusLabel;
    m_countdownPanel = new CountdownPanel(countdown, this, *m_timers);
}

RestReminder& CReminderDlg::rest() const
{
    return m_restPanel->rest();
}

Countdown& CReminderDlg::countdown() const
{
    return m_countdownPanel->countdown();
}

void CReminderDlg::connectControls()
{
    connect(m_ui->addModifyButton, &QPushButton::clicked, this, &CReminderDlg::OnAddOrModify);
    connect(m_editor, &EditorPanel::recordsChanged, this, &CReminderDlg::ApplyFilter);
    connect(m_editor, &EditorPanel::recordAdded, this, [this] {
        filterIndex = reminders::kFilterNotTaken;
        writeFilter();
        ApplyFilter();
    });
    connect(m_ui->autoShutdownCheck, &QCheckBox::clicked, this, &CReminderDlg::OnAutoShutdownClicked);
    connect(m_editor, &EditorPanel::deleteRequested, this, &CReminderDlg::DeleteSelectedRecord);
    connect(m_countdownPanel, &CountdownPanel::shutdownRequested, this,
            [this] { ShutDownSystem(CReminderApp::instance(), this); });
    for (QRadioButton* radio :
         {m_ui->filterAllRadio, m_ui->filterNotTakenRadio, m_ui->filterTakenRadio, m_ui->filterUpcomingRadio})
        connect(radio, &QRadioButton::clicked, this, &CReminderDlg::ApplyFilter);
    connect(recordList, &ReminderListView::listClicked, this, &CReminderDlg::OnListClick);
    connect(recordList, &ReminderListView::listRightClicked, this, &CReminderDlg::OnListRightClick);
    connect(m_ui->toTrayButton, &QPushButton::clicked, this, &CReminderDlg::OnToTray);
    connect(m_ui->aboutButton, &QPushButton::clicked, this, &CReminderDlg::OnAbout);
    connect(m_ui->settingsButton, &QPushButton::clicked, this, &CReminderDlg::OnSettings);
    connect(m_ui->timeSyncButton, &QPushButton::clicked, this, &CReminderDlg::OnTimeSync);
}

bool CReminderDlg::OnInitDialog()
{
    setWindowIcon(appIcon);

    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    m_editor->reminderDate = now;
    m_editor->reminderTime = now;
    m_editor->cancelReminder = false;
    m_editor->autoShutdown = false;
    filterIndex = reminders::kFilterAll;
    WriteControls();

    listFields = reminders::ListFields();
    LoadRecordList(QString(), 1);
    // A data file written by another program (the command line) or replaced
    // while the program runs is listed again, with the filter last applied: the
    // user may be typing in the other controls meanwhile, which are not read.
    const auto reload = [this] {
        LoadRecordList(
            reminders::FilterWhereClause(filterIndex, reminders::WholeSeconds(seams::clock().now())), 0);
    };
    if (g_syncEnabled) {
        sync::SyncRunner* runner = syncsetup::StartSync(
            this, {reload, [](const QStringList& uids) { CAlertDlg::CloseAcknowledgedElsewhere(uids); }});
        m_syncLocalChanged = [runner] { runner->localChanged(); };
        CSettingsDlg::SetSyncOpener([runner](QWidget* parent) { syncsetup::RunSyncDialog(parent, runner); });
    }
    // Every change of the data file (this window's, the due check's, the command line's) is
    // sent at the next debounced sync; the sync's own writes only make a quiet one.
    if (CReminderApp* app = CReminderApp::instance())
        app->WatchDataFile(this, [this, reload] {
            reload();
            if (m_syncLocalChanged)
                m_syncLocalChanged();
        });

    m_dueQueue.reset();

    const settings::DefaultTimes times = settings::ReadDefaultTimes();
    m_restPanel->setRestMinutes(times.restMinutes);
    m_countdownPanel->setDuration(times.countdownHours, times.countdownMinutes, times.countdownSeconds);

    // Timer 1 is armed only when the queue of due ids has work for it.
    m_timers->SetTimer(mainTimers::kStartDueCheck);
    if (!showAllowed)
        m_timers->SetTimer(mainTimers::kHiddenStart);
    refreshClockLine(); // timer 3 starts when the window shows

    AddTrayIcon();
    return true;
}

bool CReminderDlg::ReadControls()
{
    filterIndex = findChild<QButtonGroup*>(QStringLiteral("filterGroup"))->checkedId();
    m_editor->readChoices();
    return m_restPanel->readControls() && m_countdownPanel->readControls() && m_editor->readTexts();
}

void CReminderDlg::WriteControls()
{
    m_editor->writeControls();
    writeFilter();
}

void CReminderDlg::writeFilter()
{
    auto* filters = findChild<QButtonGroup*>(QStringLiteral("filterGroup"));
    filters->setExclusive(false);
    for (QAbstractButton* radio : filters->buttons())
        radio->setChecked(filters->id(radio) == filterIndex);
    filters->setExclusive(true);
}

void CReminderDlg::OnCommand(int commandId)
{
    switch (commandId) {
    case ids::kCmdDeleteRecord:
        DeleteSelectedRecord();
        break;
    case ids::kCmdAbout:
        OnAbout();
        break;
    case ids::kCmdShowMainWindow:
        OnShowMainWindow();
        break;
    case ids::kCmdExit:
        OnExitCommand();
        break;
    case ids::kCmdTimeSync:
        OnTimeSync();
        break;
    case ids::kCmdSettings:
        OnSettings();
        break;
    case ids::kCmdDeleteExpired:
        DeleteExpiredRecords();
        break;
    default:
        break;
    }
}

// --- Timers and the clock line ---

void CReminderDlg::OnTimer(int id)
{
    switch (id) {
    case ids::kTimerDueQueue:
        ShowNextDueReminder();
        break;
    case ids::kTimerStartDueCheck:
        StartDueCheck();
        break;
    case ids::kTimerClock:
        refreshClockLine();
        break;
    case ids::kTimerStatusClear:
        m_timers->KillTimer(ids::kTimerStatusClear);
        m_ui->statusLabel->setText(QString());
        break;
    case ids::kTimerRest:
        m_restPanel->RestTick();
        break;
    case ids::kTimerCountdown:
        m_countdownPanel->CountdownTick();
        break;
    case ids::kTimerHiddenStart:
        endHiddenStart();
        break;
    default:
        break;
    }
}

void CReminderDlg::refreshClockLine()
{
    const QDateTime now = seams::clock().now();
    // Repaints the line's own pixels only, and only when its text changes.
    m_ui->clockLabel->setText(ClockLineText(now));
    // Nobody reads the line of a hidden or minimised window: it stops waking
    // the program until the window shows again (showEvent, changeEvent).
    if (!isVisible() || isMinimized()) {
        m_timers->KillTimer(ids::kTimerClock);
        return;
    }
    // The next tick comes just after the next second begins: the line never lags
    // behind the clock by more than that, and the window wakes once a second.
    m_timers->SetTimer(mainTimers::kClock.id, 1000 - now.time().msec() + kClockTickDelayMs, true, true);
}

void CReminderDlg::endHiddenStart()
{
    m_timers->KillTimer(ids::kTimerHiddenStart);
    if (showAllowed)
        return;
    if (!TrayIcon::IsAvailable()) {
        // No notification area to live in: end minimised, reachable from the taskbar.
        showAllowed = true;
        showMinimized();
        return;
    }
    // The window was never shown, or shown by a later request: it ends hidden
    // either way, and from now on every show request shows it.
    if (isVisible())
        hideToTray();
    showAllowed = true;
}

// --- The list and its filters ---

void CReminderDlg::LoadRecordList(const QString& whereClause, int quiet)
{
    m_listModel->clear();
    const QString clause = whereClause.left(255);
    const QString table = QString::fromLatin1(tolva::kReminderTable);
    const auto db = store();

    QString message = clause;
    const int count = db->CountRows(table, clause, message);
    m_ui->statusLabel->setText(QString());
    if (count < 0) {
        ShowMessageBox(this, message);
        // A data file damaged while the program runs: the repair, once, then its list.
        if (CReminderApp* app = CReminderApp::instance();
            app && app->RepairIfDamaged() == CReminderApp::Recovery::Reopened)
            LoadRecordList(whereClause, quiet);
        return;
    }
    if (count == 0) {
        if (quiet != 1)
            m_ui->listGroup->setTitle(u8(kListCaption).arg(0));
        m_ui->statusLabel->setText(u8(kNoRecords));
        m_timers->SetTimer(mainTimers::kStatusClear);
        return;
    }

    // The first page now, the rest as the list scrolls; each page from the store
    // of the moment, which a reload may have replaced.
    const auto readPage = [this, table](const QString& where, RowSet& rows, int maxRows, QString& text) {
        return store()->SelectRows(table, where, listFields, rows, maxRows, text);
    };
    message = clause;
    const int read = m_listModel->load(readPage, clause, reminders::PagesByFilter(clause, count), message);
    if (read != std::min(count, int(ReminderListModel::kPageRows))) {
        m_listModel->clear();
        if (quiet != 1)
            ShowText(this, kWrongCount);
        return;
    }
    m_ui->listGroup->setTitle(u8(kListCaption).arg(count));
}

void CReminderDlg::ApplyFilter()
{
    // A refused number has been reported; the filter is read before the numbers
    // and the list is reloaded all the same.
    ReadControls();
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    LoadRecordList(reminders::FilterWhereClause(filterIndex, now), 0);
}

void CReminderDlg::OnListClick()
{
    const int row = recordList->FirstSelectedRow();
    if (row < 0) {
        // A click on empty space: back to add mode.
        ApplyFilter();
        m_editor->backToAddMode();
        return;
    }
    m_editor->loadRecord(m_listModel->rowValues(row));
}

void CReminderDlg::OnListRightClick()
{
    if (const int command = deletion::OnListRightClick(this, recordList->SelectedRowCount(), QCursor::pos()))
        OnCommand(command);
}

void CReminderDlg::OnAddOrModify()
{
    if (ReadControls())
        m_editor->storeRecord();
}

void CReminderDlg::OnAutoShutdownClicked()
{
    // A refused number has been reported; the editor's values are read before
    // the numbers, and the box does its part all the same.
    ReadControls();
    m_editor->applyAutoShutdown();
}

// --- The due-reminder queue ---

void CReminderDlg::StartDueCheck()
{
    m_timers->KillTimer(ids::kTimerStartDueCheck);
    if (g_dueWorkerEnabled) {
        // The timer's cancel-on-set notices a resume too; logind's signal only
        // makes it sooner where logind runs.
        if (m_dueCheck->start() && g_resumeWatchEnabled) {
            auto* resume = new ResumeWatch(QDBusConnection::systemBus(), this);
            connect(resume, &ResumeWatch::resumed, this, [this] { m_dueCheck->wake(); });
            connect(resume, &ResumeWatch::zoneChanged, this, [this] { m_dueCheck->wake(); });
        }
    } else if (!m_ending)
        m_dueCheck->context().running.store(true);
}

void CReminderDlg::OnRemindersDue()
{
    if (m_dueQueue.OnRemindersDue(m_dueCheck->context()) == DueQueue::Due::Exit) {
        EndMainWindow();
        return;
    }
    if (!m_dueQueue.pendingIds().isEmpty() && !m_dueQueue.alertShowing())
        m_timers->SetTimer(mainTimers::kDueQueue);
}

void CReminderDlg::ShowNextDueReminder()
{
    const bool shown = m_dueQueue.ShowNextDueReminder([this](const QString& id) {
        CAlertDlg popup(id);
        popup.setOwnerWindow(this);
        popup.store = storeProvider();
        popup.storeService = CReminderApp::instance();
        popup.dueQueue = &m_dueQueue;
        popup.reloadList = [this] { ApplyFilter(); };
        popup.DoModal();
    });
    // Ids that came while the popup was open wait for the next tick.
    if (shown && !m_dueQueue.pendingIds().isEmpty() && !m_ended)
        m_timers->SetTimer(mainTimers::kDueQueue);
}

// --- Deletion and the other dialogs ---

deletion::Editor CReminderDlg::deletionEditor()
{
    deletion::Editor editor;
    editor.backToAddMode = [this] {
        m_editor->backToAddMode();
        ApplyFilter();
    };
    editor.declined = [this] { m_editor->keepDeleteMode(); };
    return editor;
}

void CReminderDlg::DeleteSelectedRecord()
{
    const int row = recordList->FirstSelectedRow();
    QString id, subjectText;
    if (row >= 0) {
        const QStringList values = m_listModel->rowValues(row);
        id = values.value(6);
        subjectText = values.value(0);
    }
    deletion::DeleteSelectedRecord(this, id, subjectText, deletionEditor(), storeProvider());
}

void CReminderDlg::DeleteExpiredRecords()
{
    deletion::DeleteExpiredRecords(this, deletionEditor(), storeProvider());
}

void CReminderDlg::OnSettings()
{
    CSettingsDlg dlg;
    dlg.exec();
}

void CReminderDlg::OnAbout()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CReminderDlg::OnTimeSync()
{
    CTimeSyncDlg dlg(this);
    dlg.exec();
}

void CReminderDlg::OnShowMainWindow()
{
    // The tray feature (menu command 32776): one show request, in the normal state.
    showNormal();
    raise();
    activateWindow();
}

void CReminderDlg::AddTrayIcon()
{
    if (!m_tray) {
        m_tray = new TrayIcon(this);
        // Hidden by the same path as minimising, without asking the window
        // manager to iconify a dialog first.
        connect(m_tray, &TrayIcon::toggleMainWindowRequested, this,
                [this] { TrayIcon::ToggleWindow(this, [this] { hideToTray(); }); });
        connect(m_tray, &TrayIcon::menuCommand, this, &CReminderDlg::OnCommand);
    }
    m_tray->AddTrayIcon();
}

void CReminderDlg::RemoveTrayIcon()
{
    if (m_tray)
        m_tray->RemoveTrayIcon();
}
