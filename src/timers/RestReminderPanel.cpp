#include "timers/RestReminderPanel.h"

#include "base/DialogTimers.h"
#include "timers/TimerField.h"
#include "widgets/UpDownControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

RestReminderPanel::RestReminderPanel(const Controls& controls, QWidget* owner, DialogTimers& timers)
    : QObject(owner), m_c(controls), m_owner(owner), m_timers(timers)
{
    timerfield::SetUp(m_c.minutesEdit, m_c.spin, RestReminder::kMinMinutes, RestReminder::kMaxMinutes);
    m_c.runningCheck->setEnabled(false);
    RestReminderView& view = *this;
    m_rest = std::make_unique<RestReminder>(view, owner);
    connect(m_c.startStopButton, &QPushButton::clicked, this, &RestReminderPanel::OnRestStartStop);
}

RestReminderPanel::~RestReminderPanel() = default;

void RestReminderPanel::setRestMinutes(int minutes)
{
    m_restMinutes = minutes;
    m_rest->setRestMinutes(minutes);
}

bool RestReminderPanel::readControls()
{
    return timerfield::Read(m_owner, m_c.minutesEdit, m_restMinutes);
}

void RestReminderPanel::OnRestStartStop()
{
    m_rest->OnRestStartStop();
}

void RestReminderPanel::RestTick()
{
    m_rest->RestTick();
}

QString RestReminderPanel::restIntervalText() const
{
    return m_c.minutesEdit->text();
}

void RestReminderPanel::setRestIntervalText(const QString& text)
{
    m_c.minutesEdit->setText(text);
}

void RestReminderPanel::focusRestInterval()
{
    m_c.minutesEdit->setFocus();
    m_c.minutesEdit->selectAll();
}

void RestReminderPanel::setRestIntervalEnabled(bool enabled)
{
    m_c.minutesEdit->setEnabled(enabled);
    m_c.spin->setEnabled(enabled);
}

void RestReminderPanel::setRestRunningChecked(bool checked)
{
    m_c.runningCheck->setChecked(checked);
}

QString RestReminderPanel::restButtonCaption() const
{
    return m_c.startStopButton->text();
}

void RestReminderPanel::setRestButtonCaption(const QString& caption)
{
    m_c.startStopButton->setText(caption);
}

void RestReminderPanel::setRestStatus(const QString& text)
{
    m_c.statusLabel->setText(text);
}

void RestReminderPanel::startRestTimer(int periodMs)
{
    m_timers.SetTimer(RestReminder::kTimerId, periodMs);
}

void RestReminderPanel::killRestTimer()
{
    m_timers.KillTimer(RestReminder::kTimerId);
}
