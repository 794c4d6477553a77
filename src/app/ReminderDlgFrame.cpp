#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"

#include "app/ReminderApp.h"
#include "base/DialogTimers.h"
#include "base/MainWindowIds.h"
#include "platform/MessageBoxes.h"
#include "reminders/DueCheck.h"
#include "ui_ReminderDlg.h"
#include "widgets/ClockLabel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPointer>

// The frame of the main window: its font and dialog units, its controls by
// dialog id, the modal run, showing and hiding, and the exit paths.

namespace {

const char kExitQuestion[] = "真的要退出吗？  ";
const char kCloseQuestion[] = "\n 确定要关闭Tolva小精灵吗？  ";
const char kFriendlyCaption[] = "友情提示";

// Dialog units of the window, 321 x 409, and its font.
constexpr int kDialogWidthDlu = 321;
constexpr int kDialogHeightDlu = 409;
constexpr int kDialogFontPoints = 9;

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
    {ids::kIdcRepeat, "repeatCombo"},
};

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// The window's font: 宋体 where it exists, else an installed CJK font of the
// same plain style.
QFont WindowFont()
{
    QFont font;
    font.setFamilies({u8("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Sans SC"), QStringLiteral("Droid Sans Fallback")});
    font.setPointSize(kDialogFontPoints);
    return font;
}

// Dialog base units of a font, as the forms' dialog-unit geometry needs them:
// the average width of the 52 Latin letters (rounded) and the character height.
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

} // namespace

QFont CReminderDlg::windowFont()
{
    return WindowFont();
}

// The repeat chooser, in dialog units like the form: in the editor group, beside
// the clock line, which gives up the right half of its row (its text ends
// well before it) and keeps its place.
void CReminderDlg::addRepeatControls()
{
    QWidget* clock = findChild<QWidget*>(QStringLiteral("clockLabel"));
    clock->setGeometry(14, 268, 152, 10);
    auto* label = new QLabel(u8("重复："), this);
    label->setObjectName(QStringLiteral("repeatLabel"));
    label->setGeometry(172, 269, 24, 9);
    auto* combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("repeatCombo"));
    combo->setGeometry(196, 266, 112, 13);
    label->setBuddy(combo);
    setTabOrder(findChild<QWidget*>(QStringLiteral("everyDayCheck")), combo);
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
    if (auto* c = qobject_cast<ClockLabel*>(w))
        return c->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
        return s->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
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
    else if (auto* c = qobject_cast<ClockLabel*>(w))
        c->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
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

void CReminderDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    refreshClockLine();
}

void CReminderDlg::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    refreshClockLine();
}

void CReminderDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !m_ended)
        refreshClockLine();
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
