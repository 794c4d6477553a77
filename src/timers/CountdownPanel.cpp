#include "timers/CountdownPanel.h"

#include "base/DialogTimers.h"
#include "timers/TimerField.h"
#include "widgets/UpDownControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CountdownPanel::CountdownPanel(const Controls& controls, QWidget* owner, DialogTimers& timers)
    : QObject(owner), m_c(controls), m_owner(owner), m_timers(timers)
{
    timerfield::SetUp(m_c.hoursEdit, m_c.hourSpin, 0, 24);
    timerfield::SetUp(m_c.minutesEdit, m_c.minuteSpin, 0, 60);
    timerfield::SetUp(m_c.secondsEdit, m_c.secondSpin, 0, 60);
    m_c.runningCheck->hide();
    m_c.runningCheck->setEnabled(false);
    CountdownView& view = *this;
    m_countdown = std::make_unique<Countdown>(view, owner, [this] { emit shutdownRequested(); });
    connect(m_c.startStopButton, &QPushButton::clicked, this, &CountdownPanel::OnCountdownStartStop);
    connect(m_c.shutdownCheck, &QCheckBox::clicked, this, &CountdownPanel::OnCountdownShutdownClicked);
}

CountdownPanel::~CountdownPanel() = default;

void CountdownPanel::setDuration(int hours, int minutes, int seconds)
{
    m_fields[Hours] = hours;
    m_fields[Minutes] = minutes;
    m_fields[Seconds] = seconds;
    m_countdown->setDuration(hours, minutes, seconds);
}

bool CountdownPanel::readControls()
{
    for (const Field f : {Hours, Minutes, Seconds}) {
        if (!timerfield::Read(m_owner, countdownEdit(f), m_fields[f]))
            return false;
    }
    return true;
}

void CountdownPanel::OnCountdownStartStop()
{
    m_countdown->OnCountdownStartStop();
}

void CountdownPanel::OnCountdownShutdownClicked()
{
    m_countdown->OnCountdownShutdownClicked();
}

void CountdownPanel::CountdownTick()
{
    m_countdown->CountdownTick();
}

QLineEdit* CountdownPanel::countdownEdit(Field field) const
{
    switch (field) {
    case Hours:
        return m_c.hoursEdit;
    case Minutes:
        return m_c.minutesEdit;
    case Seconds:
        break;
    }
    return m_c.secondsEdit;
}

QString CountdownPanel::countdownFieldText(Field field) const
{
    return countdownEdit(field)->text();
}

void CountdownPanel::setCountdownFieldText(Field field, const QString& text)
{
    QLineEdit* edit = countdownEdit(field);
    if (edit->text() != text)
        edit->setText(text);
}

void CountdownPanel::focusCountdownField(Field field)
{
    QLineEdit* edit = countdownEdit(field);
    edit->setFocus();
    edit->selectAll();
}

bool CountdownPanel::countdownShutdownChecked() const
{
    return m_c.shutdownCheck->isChecked();
}

void CountdownPanel::setCountdownShutdownChecked(bool checked)
{
    m_c.shutdownCheck->setChecked(checked);
}

void CountdownPanel::setCountdownRunningChecked(bool checked)
{
    m_c.runningCheck->setChecked(checked);
}

void CountdownPanel::setCountdownControlsEnabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(m_c.hoursEdit), static_cast<QWidget*>(m_c.hourSpin),
                       static_cast<QWidget*>(m_c.minutesEdit), static_cast<QWidget*>(m_c.minuteSpin),
                       static_cast<QWidget*>(m_c.secondsEdit), static_cast<QWidget*>(m_c.secondSpin),
                       static_cast<QWidget*>(m_c.shutdownCheck)})
        w->setEnabled(enabled);
}

QString CountdownPanel::countdownButtonCaption() const
{
    return m_c.startStopButton->text();
}

void CountdownPanel::setCountdownButtonCaption(const QString& caption)
{
    m_c.startStopButton->setText(caption);
}

void CountdownPanel::setCountdownStatus(const QString& text)
{
    m_c.statusLabel->setText(text);
}

void CountdownPanel::startCountdownTimer(int periodMs)
{
    // Each tick re-aims the timer at the next whole second of the count.
    m_timers.SetTimer(Countdown::kTimerId, periodMs, false, true);
}

void CountdownPanel::killCountdownTimer()
{
    m_timers.KillTimer(Countdown::kTimerId);
}
