#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"
#include "system/SettingsDlg.h"
#include "timesync/TimeSyncDlg.h"
#include "widgets/AboutDlg.h"

#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "base/DialogTimers.h"
#include "base/Gbk.h"
#include "base/MainWindowIds.h"
#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/AlertDlg.h"
#include "reminders/DueCheck.h"
#include "reminders/DueQueue.h"
#include "reminders/RecordDeletion.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/ReminderList.h"
#include "store/AdoDatabase.h"
#include "timers/Shutdown.h"
#include "ui_ReminderDlg.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/UpDownControl.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QRegularExpressionValidator>

namespace {

const char kExitQuestion[] = "真的要退出吗？  ";
const char kCloseQuestion[] = "\n 确定要关闭Tolva小精灵吗？  ";
const char kFriendlyCaption[] = "友情提示";
const char kListCaption[] = "共有%1条提醒记录";
const char kNoRecords[] = "没有记录！";
const char kWrongCount[] = "取出的数据数目不对！  ";
const char kEnterSubject[] = "请输入主题！  ";
const char kEnterContent[] = "请输入内容！  ";
const char kShutdownInPast[] = "自动关机时间不能早于当前时间袄！  ";
const char kAdded[] = "添加成功！  ";
const char kModified[] = "修改成功！  ";
const char kVanished[] = "晕！该记录貌似被蒸发了！  ";
const char kEnterInteger[] = "请输入一个整数。";
const char kTextTooLong[] = "请输入不超过 %1 个字节的文字。";
const char kClockPrefix[] = "现在时间：";

const char kAddCaption[] = "添  加";
const char kModifyCaption[] = "修  改";
const char kRefreshCaption[] = "刷  新";
const char kDeleteCaption[] = "删  除";

const char* const kWeekdays[7] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};

// Dialog units of the window, 321 x 409, and its font.
constexpr int kDialogWidthDlu = 321;
constexpr int kDialogHeightDlu = 409;
constexpr int kDialogFontPoints = 9;
// How long after the start of a second the clock line is refreshed.
constexpr int kClockTickDelayMs = 10;

struct ControlName
{
    int id;
    const char* name;
};

const ControlName kControlNames[] = {
    {ids::kIdcSubject, "subjectEdit"},
    {ids::kIdcContent, "contentEdit"},
    {ids::kIdcAddModify, "addModifyButton"},
    {ids::kIdcDatePicker, "datePicker"},
    {ids::kIdcTimePicker, "timePicker"},
    {ids::kIdcCancelReminder, "cancelReminderCheck"},
    {ids::kIdcFilterAll, "filterAllRadio"},
    {ids::kIdcFilterNotTaken, "filterNotTakenRadio"},
    {ids::kIdcFilterTaken, "filterTakenRadio"},
    {ids::kIdcFilterUpcoming, "filterUpcomingRadio"},
    {ids::kIdcListGroup, "listGroup"},
    {ids::kIdcRecordList, "recordList"},
    {ids::kIdcEditorGroup, "editorGroup"},
    {ids::kIdcRecordId, "recordIdEdit"},
    {ids::kIdcClockLine, "clockLabel"},
    {ids::kIdcRefreshDelete, "refreshDeleteButton"},
    {ids::kIdcStatusLine, "statusLabel"},
    {ids::kIdcRestGroup, "restGroup"},
    {ids::kIdcRestMinutes, "restMinutesEdit"},
    {ids::kIdcRestSpin, "restSpin"},
    {ids::kIdcRestRunning, "restRunningCheck"},
    {ids::kIdcRestStartStop, "restStartStopButton"},
    {ids::kIdcRestStatus, "restStatusLabel"},
    {ids::kIdcCountdownGroup, "countdownGroup"},
    {ids::kIdcCountdownHours, "countdownHoursEdit"},
    {ids::kIdcCountdownMinutes, "countdownMinutesEdit"},
    {ids::kIdcCountdownSeconds, "countdownSecondsEdit"},
    {ids::kIdcHourSpin, "hourSpin"},
    {ids::kIdcMinuteSpin, "minuteSpin"},
    {ids::kIdcSecondSpin, "secondSpin"},
    {ids::kIdcCountdownRunning, "countdownRunningCheck"},
    {ids::kIdcCountdownStartStop, "countdownStartStopButton"},
    {ids::kIdcCountdownStatus, "countdownStatusLabel"},
    {ids::kIdcAutoShutdown, "autoShutdownCheck"},
    {ids::kIdcCountdownShutdown, "countdownShutdownCheck"},
    {ids::kIdcSettings, "settingsButton"},
    {ids::kIdcAbout, "aboutButton"},
    {ids::kIdcToTray, "toTrayButton"},
    {ids::kIdcTimeSync, "timeSyncButton"},
    {ids::kIdcEveryDay, "everyDayCheck"},
};

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// The window's font: 宋体 where it exists, else an installed CJK font of the
// same plain style.
QFont DialogFont()
{
    QFont font;
    font.setFamilies({u8("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Sans SC"), QStringLiteral("Droid Sans Fallback")});
    font.setPointSize(kDialogFontPoints);
    return font;
}

// Dialog base units of a font, as Windows computes them: the average width of
// the 52 Latin letters (rounded) and the character height.
QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int letters =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize(qMax(1, (letters / 26 + 1) / 2), qMax(1, fm.height()));
}

int MulDiv(int value, int numerator, int denominator)
{
    const qint64 product = qint64(value) * numerator;
    return int((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
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

} // namespace

void CReminderDlg::SetDueWorkerEnabledForTesting(bool enabled)
{
    g_dueWorkerEnabled = enabled;
}

CReminderDlg::CReminderDlg(bool showAllowed_, QWidget* parent, StoreProvider store)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      showAllowed(showAllowed_), appIcon(QStringLiteral(":/icon128.svg")),
      m_ui(std::make_unique<Ui::CReminderDlg>())
{
    setStoreProvider(std::move(store));
    m_timers = new DialogTimers([this](int id) { OnTimer(id); }, this);
    m_dueCheck = std::make_unique<DueCheck>(storeProvider());
    // The worker signals from its own thread; the queue is only ever touched here.
    connect(m_dueCheck.get(), &DueCheck::remindersDue, this, &CReminderDlg::OnRemindersDue,
            Qt::QueuedConnection);
    setFont(DialogFont());
    m_ui->setupUi(this);
    applyDialogUnits();
    setUpControls();
    // The views are private bases: converted here, where they are accessible.
    RestReminderView& restView = *this;
    CountdownView& countdownView = *this;
    m_rest = std::make_unique<RestReminder>(restView, this);
    m_countdown = std::make_unique<Countdown>(countdownView, this, [this] { ShutDownSystem(this); });
    connectControls();
    OnInitDialog();
}

CReminderDlg::~CReminderDlg()
{
    m_timers->KillAll();
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

// The form is drawn in dialog units; the real pixels follow the font.
void CReminderDlg::applyDialogUnits()
{
    const QSize base = DialogBaseUnits(font());
    const auto x = [&](int v) { return MulDiv(v, base.width(), 4); };
    const auto y = [&](int v) { return MulDiv(v, base.height(), 8); };
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect r = child->geometry();
        const int left = x(r.x()), top = y(r.y());
        child->setGeometry(left, top, x(r.x() + r.width()) - left, y(r.y() + r.height()) - top);
    }
    setFixedSize(x(kDialogWidthDlu), y(kDialogHeightDlu));
}

void CReminderDlg::setUpControls()
{
    setWindowTitle(u8(tolva::kMainWindowTitle));
    setWindowIcon(appIcon);
    setSizeGripEnabled(false);

    datePicker = m_ui->datePicker;
    recordList = m_ui->recordList;
    restSpin = m_ui->restSpin;
    hourSpin = m_ui->hourSpin;
    minuteSpin = m_ui->minuteSpin;
    secondSpin = m_ui->secondSpin;

    // Group boxes frame their controls from behind, never in front of them.
    for (QGroupBox* box :
         {m_ui->listGroup, m_ui->editorGroup, m_ui->restGroup, m_ui->countdownGroup, m_ui->systemGroup})
        box->lower();

    m_ui->subjectEdit->setMaxBytes(kSubjectMaxBytes);
    m_ui->contentEdit->setMaxBytes(kContentMaxBytes);

    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    struct Buddy
    {
        QLineEdit* edit;
        UpDownControl* spin;
    };
    for (const Buddy& b :
         {Buddy{m_ui->restMinutesEdit, restSpin}, Buddy{m_ui->countdownHoursEdit, hourSpin},
          Buddy{m_ui->countdownMinutesEdit, minuteSpin}, Buddy{m_ui->countdownSecondsEdit, secondSpin}}) {
        b.edit->setValidator(new QRegularExpressionValidator(digits, b.edit));
        b.spin->setBuddy(b.edit);
    }

    datePicker->setLocale(QLocale());
    datePicker->setDisplayFormat(u8("yyyy年MM月dd日 dddd"));
    datePicker->setCalendarPopup(false);
    m_ui->timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    auto* filters = new QButtonGroup(this);
    filters->setObjectName(QStringLiteral("filterGroup"));
    filters->addButton(m_ui->filterAllRadio, reminders::kFilterAll);
    filters->addButton(m_ui->filterNotTakenRadio, reminders::kFilterNotTaken);
    filters->addButton(m_ui->filterTakenRadio, reminders::kFilterTaken);
    filters->addButton(m_ui->filterUpcomingRadio, reminders::kFilterUpcoming);

    m_listModel = new ReminderListModel(this);
    recordList->setModel(m_listModel);

    // The status line: pure red on whatever lies behind it.
    QPalette red = m_ui->statusLabel->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_ui->statusLabel->setPalette(red);
    m_ui->statusLabel->setAutoFillBackground(false);

    m_ui->cancelReminderCheck->hide();
    m_ui->recordIdEdit->hide();
    m_ui->countdownRunningCheck->hide();
    m_ui->countdownRunningCheck->setEnabled(false);
    m_ui->restRunningCheck->setEnabled(false);
}

void CReminderDlg::connectControls()
{
    connect(m_ui->addModifyButton, &QPushButton::clicked, this, &CReminderDlg::OnAddOrModify);
    connect(m_ui->refreshDeleteButton, &QPushButton::clicked, this, &CReminderDlg::OnRefreshOrDelete);
    for (QRadioButton* radio :
         {m_ui->filterAllRadio, m_ui->filterNotTakenRadio, m_ui->filterTakenRadio, m_ui->filterUpcomingRadio})
        connect(radio, &QRadioButton::clicked, this, &CReminderDlg::ApplyFilter);
    connect(recordList, &ReminderListView::listClicked, this, &CReminderDlg::OnListClick);
    connect(recordList, &ReminderListView::listRightClicked, this, &CReminderDlg::OnListRightClick);
    connect(m_ui->restStartStopButton, &QPushButton::clicked, this, &CReminderDlg::OnRestStartStop);
    connect(m_ui->countdownStartStopButton, &QPushButton::clicked, this, &CReminderDlg::OnCountdownStartStop);
    connect(m_ui->autoShutdownCheck, &QCheckBox::clicked, this, &CReminderDlg::OnAutoShutdownClicked);
    connect(m_ui->countdownShutdownCheck, &QCheckBox::clicked, this,
            &CReminderDlg::OnCountdownShutdownClicked);
    connect(m_ui->toTrayButton, &QPushButton::clicked, this, &CReminderDlg::OnToTray);
    connect(m_ui->aboutButton, &QPushButton::clicked, this, &CReminderDlg::OnAbout);
    connect(m_ui->settingsButton, &QPushButton::clicked, this, &CReminderDlg::OnSettings);
    connect(m_ui->timeSyncButton, &QPushButton::clicked, this, &CReminderDlg::OnTimeSync);
}

bool CReminderDlg::OnInitDialog()
{
    setWindowIcon(appIcon);

    restSpin->setRange(1, 180);
    hourSpin->setRange(0, 24);
    minuteSpin->setRange(0, 60);
    secondSpin->setRange(0, 60);

    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    reminderDate = now;
    reminderTime = now;

    cancelReminder = false;
    autoShutdown = false;
    filterIndex = reminders::kFilterAll;
    WriteControls();

    insertFields = reminders::InsertFields();
    listFields = reminders::ListFields();
    LoadRecordList(QString(), 1);

    m_dueQueue.reset();

    const settings::DefaultTimes times = settings::ReadDefaultTimes();
    restMinutes = times.restMinutes;
    countdownHours = times.countdownHours;
    countdownMinutes = times.countdownMinutes;
    countdownSeconds = times.countdownSeconds;
    m_rest->setRestMinutes(restMinutes);
    m_countdown->setDuration(countdownHours, countdownMinutes, countdownSeconds);

    // Timer 1 is armed only when the queue of due ids has work for it.
    m_timers->SetTimer(mainTimers::kStartDueCheck);
    if (!showAllowed)
        m_timers->SetTimer(mainTimers::kHiddenStart);
    refreshClockLine(); // also starts timer 3

    AddTrayIcon();
    return true;
}

QWidget* CReminderDlg::GetDlgItem(int id) const
{
    for (const ControlName& c : kControlNames) {
        if (c.id == id)
            return findChild<QWidget*>(QLatin1String(c.name));
    }
    return nullptr;
}

QString CReminderDlg::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w))
        return t->toPlainText();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
        return s->text();
    return QString();
}

void CReminderDlg::SetDlgItemText(int id, const QString& text)
{
    QWidget* w = GetDlgItem(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* t = qobject_cast<QPlainTextEdit*>(w))
        t->setPlainText(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
}

bool CReminderDlg::ReadControls()
{
    reminderDate = QDateTime(datePicker->date(), m_datePickerTime);
    reminderTime = QDateTime(m_timePickerDate, m_ui->timePicker->time());
    cancelReminder = m_ui->cancelReminderCheck->isChecked();
    everyDay = m_ui->everyDayCheck->isChecked();
    autoShutdown = m_ui->autoShutdownCheck->isChecked();
    filterIndex = findChild<QButtonGroup*>(QStringLiteral("filterGroup"))->checkedId();

    struct IntField
    {
        QLineEdit* edit;
        int* value;
    };
    for (const IntField& f :
         {IntField{m_ui->restMinutesEdit, &restMinutes}, IntField{m_ui->countdownHoursEdit, &countdownHours},
          IntField{m_ui->countdownMinutesEdit, &countdownMinutes},
          IntField{m_ui->countdownSecondsEdit, &countdownSeconds}}) {
        bool ok = false;
        const int value = f.edit->text().trimmed().toInt(&ok, 10);
        if (!ok) {
            ShowMessageBox(this, u8(kEnterInteger), QString(), MbButtons::Ok, MbIcon::Warning);
            f.edit->setFocus();
            f.edit->selectAll();
            return false;
        }
        *f.value = value;
    }

    struct TextField
    {
        QWidget* edit;
        QString text;
        int maxBytes;
        QString* value;
    };
    for (const TextField& f :
         {TextField{m_ui->subjectEdit, m_ui->subjectEdit->text(), kSubjectMaxBytes, &subject},
          TextField{m_ui->contentEdit, m_ui->contentEdit->toPlainText(), kContentMaxBytes, &content}}) {
        if (gbk::byteLength(f.text) > f.maxBytes) {
            ShowMessageBox(this, u8(kTextTooLong).arg(f.maxBytes), QString(), MbButtons::Ok, MbIcon::Warning);
            f.edit->setFocus();
            return false;
        }
        *f.value = f.text;
    }
    return true;
}

void CReminderDlg::WriteControls()
{
    m_datePickerTime = reminderDate.time();
    datePicker->setDate(reminderDate.date());
    m_timePickerDate = reminderTime.date();
    m_ui->timePicker->setTime(reminderTime.time());

    m_ui->cancelReminderCheck->setChecked(cancelReminder);
    m_ui->everyDayCheck->setChecked(everyDay);
    m_ui->autoShutdownCheck->setChecked(autoShutdown);

    auto* filters = findChild<QButtonGroup*>(QStringLiteral("filterGroup"));
    filters->setExclusive(false);
    for (QAbstractButton* radio : filters->buttons())
        radio->setChecked(filters->id(radio) == filterIndex);
    filters->setExclusive(true);
    // The rest and countdown groups belong to their features, which write them.

    // Unchanged texts are left alone, so the cursor stays where the user put it.
    if (m_ui->subjectEdit->text() != subject)
        m_ui->subjectEdit->setText(subject);
    if (m_ui->contentEdit->toPlainText() != content)
        m_ui->contentEdit->setPlainText(content);
}

// --- Modal run, showing and hiding ---

int CReminderDlg::exec()
{
    if (m_loop)
        return -1;
    if (m_ending)
        return result();
    setResult(0);
    show();
    QPointer<CReminderDlg> guard(this);
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    if (!guard)
        return Rejected;
    m_loop = nullptr;
    return result();
}

void CReminderDlg::done(int r)
{
    m_ending = true;
    setResult(r);
    hide();
    if (m_loop)
        m_loop->exit();
    emit finished(r);
    if (r == Accepted)
        emit accepted();
    else if (r == Rejected)
        emit rejected();
}

void CReminderDlg::setVisible(bool visible)
{
    // A hidden start holds back the window's first show requests.
    if (visible && !isVisible() && !m_ending && !showAllowed && showBudget > 0) {
        --showBudget;
        return;
    }
    QDialog::setVisible(visible);
}

void CReminderDlg::hideToTray()
{
    // Without a notification area a hidden window could never come back.
    if (!TrayIcon::IsAvailable()) {
        if (!isMinimized())
            showMinimized();
        return;
    }
    hide();
    // Shown again from the tray, the window comes back in its normal state.
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void CReminderDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Once the minimise has run its course (showMinimized() shows the window
    // after changing its state), the window hides instead.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if ((windowState() & Qt::WindowMinimized) && isVisible())
                    hideToTray();
            },
            Qt::QueuedConnection);
    }
}

bool CReminderDlg::event(QEvent* event)
{
    // The help request is answered as handled; there is no help to show.
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::EnterWhatsThisMode) {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

void CReminderDlg::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && mods == Qt::NoModifier) {
        // No button is a default button: Enter presses the focused button, or
        // else it is the OK command.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled())
                button->click();
            return;
        }
        OnOK();
        return;
    }
    if (event->matches(QKeySequence::Cancel)) {
        OnCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CReminderDlg::accept()
{
    OnOK();
}

void CReminderDlg::reject()
{
    OnCancel();
}

void CReminderDlg::closeEvent(QCloseEvent* event)
{
    if (m_ending) {
        event->accept();
        return;
    }
    // A close request is the cancel command; the window ends, if at all,
    // through the exit path.
    event->ignore();
    OnCancel();
}

void CReminderDlg::OnToTray()
{
    hideToTray();
}

void CReminderDlg::OnOK()
{
    if (ShowMessageBox(this, u8(kExitQuestion), QString(), MbButtons::YesNo, MbIcon::None, MbResult::No,
                       true) == MbResult::Yes)
        stopDueCheck();
}

void CReminderDlg::OnCancel()
{
    closing = true;
    const MbResult answer = ShowMessageBox(this, u8(kCloseQuestion), u8(kFriendlyCaption), MbButtons::YesNo,
                                           MbIcon::None, MbResult::No, true);
    if (answer == MbResult::Yes) {
        stopDueCheck();
        if (CReminderApp* app = CReminderApp::instance())
            app->ReleaseStore();
        return;
    }
    closing = false;
    if (isVisible())
        hideToTray();
}

void CReminderDlg::OnExitCommand()
{
    if (closing)
        return;
    close();
}

void CReminderDlg::stopDueCheck()
{
    // A running worker finishes its pass and its last message ends the window
    // (OnRemindersDue). Before it has started there is nothing to wait for.
    const bool started = m_dueCheck->started();
    m_dueCheck->requestStop();
    if (!started)
        EndMainWindow();
}

void CReminderDlg::EndMainWindow()
{
    if (m_ended)
        return;
    m_ended = true;
    m_timers->KillTimer(ids::kTimerDueQueue);
    m_timers->KillTimer(ids::kTimerClock);
    RemoveTrayIcon();
    done(Rejected);
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
        RestTick();
        break;
    case ids::kTimerCountdown:
        CountdownTick();
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
    const QString text = ClockLineText(now);
    if (m_ui->clockLabel->text() != text)
        m_ui->clockLabel->setText(text);
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
        return;
    }
    if (count == 0) {
        if (quiet != 1)
            m_ui->listGroup->setTitle(u8(kListCaption).arg(0));
        m_ui->statusLabel->setText(u8(kNoRecords));
        m_timers->SetTimer(mainTimers::kStatusClear);
        return;
    }

    RowSet rows;
    rows.reserve(count);
    message = clause;
    const int read = db->SelectRows(table, clause, listFields, rows, count, message);
    if (read != count) {
        if (quiet != 1)
            ShowText(this, kWrongCount);
        return;
    }
    m_listModel->setRows(std::move(rows));
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
        m_ui->autoShutdownCheck->show();
        if (autoShutdown) {
            autoShutdown = false;
            setEditsEnabled(true);
        }
        ClearEditor();
        setAddModeCaptions();
        return;
    }

    const QStringList values = m_listModel->rowValues(row);
    m_ui->recordIdEdit->setText(values.at(6));
    subject = values.at(0);
    content = values.at(1);
    m_ui->autoShutdownCheck->hide();
    autoShutdown = values.at(0) == u8(shutdown::kSubject);
    setEditsEnabled(!autoShutdown);

    QString date = values.at(2);
    everyDay = date == QLatin1String(reminders::kEveryDay);
    if (everyDay)
        date = reminders::FormatDate(seams::clock().now());
    // A date or time that makes no real moment leaves the pickers as they are.
    const QDateTime when = reminders::RecordDateTime(date, values.at(3));
    if (when.isValid()) {
        reminderDate = when;
        reminderTime = when;
    }
    cancelReminder = values.at(4) == QLatin1String(reminders::kTaken);

    WriteControls();
    m_ui->refreshDeleteButton->setText(u8(kDeleteCaption));
    m_ui->addModifyButton->setText(u8(kModifyCaption));
    m_ui->cancelReminderCheck->show();
}

void CReminderDlg::OnListRightClick()
{
    if (const int command = deletion::OnListRightClick(this, recordList->SelectedRowCount(), QCursor::pos()))
        OnCommand(command);
}

// --- The editor ---

void CReminderDlg::setEditsEnabled(bool enabled)
{
    m_ui->subjectEdit->setEnabled(enabled);
    m_ui->contentEdit->setEnabled(enabled);
}

void CReminderDlg::setAddModeCaptions()
{
    m_ui->addModifyButton->setText(u8(kAddCaption));
    m_ui->refreshDeleteButton->setText(u8(kRefreshCaption));
}

void CReminderDlg::ClearEditor()
{
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    reminderDate = now;
    reminderTime = now;
    subject.clear();
    content.clear();
    cancelReminder = false;
    everyDay = false;
    m_ui->cancelReminderCheck->hide();
    WriteControls();
}

void CReminderDlg::ReturnToAddMode()
{
    ApplyFilter();
    if (autoShutdown)
        setEditsEnabled(true);
    ClearEditor();
    setAddModeCaptions();
}

void CReminderDlg::OnRefreshOrDelete()
{
    const QString caption = m_ui->refreshDeleteButton->text();
    if (caption == u8(kRefreshCaption)) {
        ReturnToAddMode();
        autoShutdown = false;
        WriteControls();
    } else if (caption == u8(kDeleteCaption)) {
        DeleteSelectedRecord();
    }
}

void CReminderDlg::OnAddOrModify()
{
    if (!ReadControls())
        return;
    if (subject.isEmpty()) {
        ShowText(this, kEnterSubject);
        m_ui->subjectEdit->setFocus();
        return;
    }
    if (content.isEmpty()) {
        ShowText(this, kEnterContent);
        m_ui->contentEdit->setFocus();
        return;
    }

    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    const QStringList values = reminders::ComposeRecordValues(subject, content, reminderDate, reminderTime,
                                                              everyDay, cancelReminder, now);
    const QString caption = m_ui->addModifyButton->text();

    if (reminders::ShutdownTimeRefused(autoShutdown, reminderDate, reminderTime, now)) {
        ShowText(this, kShutdownInPast);
        return;
    }

    const QString table = QString::fromLatin1(tolva::kReminderTable);
    if (caption == u8(kAddCaption)) {
        QString message;
        if (store()->InsertRows(table, insertFields, RowSet{values}, 1, message) != 1) {
            ShowMessageBox(this, message);
            return;
        }
        filterIndex = reminders::kFilterNotTaken;
        WriteControls();
        ApplyFilter();
        ShowText(this, kAdded);
        if (autoShutdown)
            setEditsEnabled(true);
        autoShutdown = false;
        ClearEditor();
        return;
    }

    if (caption == u8(kModifyCaption)) {
        const QString id = m_ui->recordIdEdit->text();
        int changed = 0;
        // Only a number goes into the clause; anything else cannot name a record.
        if (reminders::IsRecordId(id)) {
            const QString clause = QStringLiteral("where id=%1").arg(id);
            QString message = clause;
            changed = store()->UpdateRows(table, clause, insertFields, values, 1, message);
        }
        if (changed == 1) {
            ApplyFilter();
            ShowText(this, kModified);
            if (autoShutdown)
                setEditsEnabled(true);
            m_ui->autoShutdownCheck->show();
            setAddModeCaptions();
            autoShutdown = false;
            ClearEditor();
        } else {
            ShowText(this, kVanished);
            ReturnToAddMode();
            autoShutdown = false;
            WriteControls();
            m_ui->autoShutdownCheck->show();
        }
    }
}

// --- The due-reminder queue ---

void CReminderDlg::StartDueCheck()
{
    m_timers->KillTimer(ids::kTimerStartDueCheck);
    if (g_dueWorkerEnabled)
        m_dueCheck->start();
    else if (!m_ending)
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
        popup.store = storeProvider();
        popup.reloadList = [this] { ApplyFilter(); };
        popup.DoModal();
    });
    // Ids that came while the popup was open wait for the next tick.
    if (shown && !m_dueQueue.pendingIds().isEmpty() && !m_ended)
        m_timers->SetTimer(mainTimers::kDueQueue);
}

// --- Rest reminder and countdown ---

void CReminderDlg::OnRestStartStop()
{
    m_rest->OnRestStartStop();
}

void CReminderDlg::RestTick()
{
    m_rest->RestTick();
}

void CReminderDlg::OnCountdownStartStop()
{
    m_countdown->OnCountdownStartStop();
}

void CReminderDlg::OnCountdownShutdownClicked()
{
    m_countdown->OnCountdownShutdownClicked();
}

void CReminderDlg::CountdownTick()
{
    m_countdown->CountdownTick();
}

QString CReminderDlg::restIntervalText() const
{
    return m_ui->restMinutesEdit->text();
}

void CReminderDlg::setRestIntervalText(const QString& text)
{
    m_ui->restMinutesEdit->setText(text);
}

void CReminderDlg::focusRestInterval()
{
    m_ui->restMinutesEdit->setFocus();
    m_ui->restMinutesEdit->selectAll();
}

void CReminderDlg::setRestIntervalEnabled(bool enabled)
{
    m_ui->restMinutesEdit->setEnabled(enabled);
    restSpin->setEnabled(enabled);
}

void CReminderDlg::setRestRunningChecked(bool checked)
{
    m_ui->restRunningCheck->setChecked(checked);
}

QString CReminderDlg::restButtonCaption() const
{
    return m_ui->restStartStopButton->text();
}

void CReminderDlg::setRestButtonCaption(const QString& caption)
{
    m_ui->restStartStopButton->setText(caption);
}

void CReminderDlg::setRestStatus(const QString& text)
{
    m_ui->restStatusLabel->setText(text);
}

void CReminderDlg::startRestTimer(int periodMs)
{
    m_timers->SetTimer(ids::kTimerRest, periodMs);
}

void CReminderDlg::killRestTimer()
{
    m_timers->KillTimer(ids::kTimerRest);
}

QLineEdit* CReminderDlg::countdownEdit(Field field) const
{
    switch (field) {
    case Hours:
        return m_ui->countdownHoursEdit;
    case Minutes:
        return m_ui->countdownMinutesEdit;
    case Seconds:
        break;
    }
    return m_ui->countdownSecondsEdit;
}

QString CReminderDlg::countdownFieldText(Field field) const
{
    return countdownEdit(field)->text();
}

void CReminderDlg::setCountdownFieldText(Field field, const QString& text)
{
    QLineEdit* edit = countdownEdit(field);
    if (edit->text() != text)
        edit->setText(text);
}

void CReminderDlg::focusCountdownField(Field field)
{
    QLineEdit* edit = countdownEdit(field);
    edit->setFocus();
    edit->selectAll();
}

bool CReminderDlg::countdownShutdownChecked() const
{
    return m_ui->countdownShutdownCheck->isChecked();
}

void CReminderDlg::setCountdownShutdownChecked(bool checked)
{
    m_ui->countdownShutdownCheck->setChecked(checked);
}

void CReminderDlg::setCountdownRunningChecked(bool checked)
{
    m_ui->countdownRunningCheck->setChecked(checked);
}

void CReminderDlg::setCountdownControlsEnabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(m_ui->countdownHoursEdit), static_cast<QWidget*>(hourSpin),
                       static_cast<QWidget*>(m_ui->countdownMinutesEdit), static_cast<QWidget*>(minuteSpin),
                       static_cast<QWidget*>(m_ui->countdownSecondsEdit), static_cast<QWidget*>(secondSpin),
                       static_cast<QWidget*>(m_ui->countdownShutdownCheck)})
        w->setEnabled(enabled);
}

QString CReminderDlg::countdownButtonCaption() const
{
    return m_ui->countdownStartStopButton->text();
}

void CReminderDlg::setCountdownButtonCaption(const QString& caption)
{
    m_ui->countdownStartStopButton->setText(caption);
}

void CReminderDlg::setCountdownStatus(const QString& text)
{
    m_ui->countdownStatusLabel->setText(text);
}

void CReminderDlg::startCountdownTimer(int periodMs)
{
    // Each tick re-aims the timer at the next whole second of the count.
    m_timers->SetTimer(ids::kTimerCountdown, periodMs, false, true);
}

void CReminderDlg::killCountdownTimer()
{
    m_timers->KillTimer(ids::kTimerCountdown);
}

// --- Automatic shutdown and deletion ---

void CReminderDlg::OnAutoShutdownClicked()
{
    autoShutdown = m_ui->autoShutdownCheck->isChecked();
    const AutoShutdownEdit edit = ::OnAutoShutdownClicked(this, autoShutdown);
    if (edit.clearEditor)
        ClearEditor();
    if (edit.fillTexts) {
        subject = edit.subject;
        content = edit.content;
        WriteControls();
    }
    setEditsEnabled(edit.editsEnabled);
}

deletion::Editor CReminderDlg::deletionEditor()
{
    deletion::Editor editor;
    editor.backToAddMode = [this] {
        if (autoShutdown)
            setEditsEnabled(true);
        m_ui->autoShutdownCheck->show();
        autoShutdown = false;
        ClearEditor();
        setAddModeCaptions();
        ApplyFilter();
    };
    editor.declined = [this] { m_ui->refreshDeleteButton->setText(u8(kDeleteCaption)); };
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
        connect(m_tray, &TrayIcon::toggleMainWindowRequested, this, [this] { TrayIcon::ToggleWindow(this); });
        connect(m_tray, &TrayIcon::menuCommand, this, &CReminderDlg::OnCommand);
    }
    m_tray->AddTrayIcon();
}

void CReminderDlg::RemoveTrayIcon()
{
    if (m_tray)
        m_tray->RemoveTrayIcon();
}
