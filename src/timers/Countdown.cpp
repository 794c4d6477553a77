#include "timers/Countdown.h"

#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Notifications.h"
#include "platform/Seams.h"
#include "platform/Sound.h"
#include "timers/TimerText.h"

#include <utility>

namespace {
const QString kPromptQuestion = QStringLiteral("\n 关机前是否需要进行提示？  ");
const QString kPromptCaption = QStringLiteral("Tolva提示");
const QString kEndText = QStringLiteral("\n 您设定的时间到啦！别忘了去做您想做的事情袄！  ");
const QString kEndShutdownQuestion = QStringLiteral("\n 您设定的关机时间已经到啦！是否现在就直接关机？  ");
const QString kEndCaption = QStringLiteral("倒计时提醒");

struct FieldRule
{
    CountdownView::Field field;
    int max;
    const char* message;
    const char* defaultText;
};

// Checked in this order; only the first failure is reported.
constexpr FieldRule kRules[] = {
    {CountdownView::Hours, 24, "建议设定在 0 至 24 小时之间！  ", "12"},
    {CountdownView::Minutes, 60, "建议设定在 0 至 60 分钟之间！  ", "30"},
    {CountdownView::Seconds, 60, "建议设定在 0 至 60 秒之间！  ", "30"},
};

MbResult askYesNo(QObject* owner, const QString& text, const QString& caption)
{
    return ShowMessageBox(owner, text, caption, MbButtons::YesNo, MbIcon::None, MbResult::No, true);
}

// The end's box, mirrored on the desktop's notifications while it is open.
MbResult askAtEnd(QObject* owner, const QString& text)
{
    if (!settings::ReadSwitch(settings::kKeyNotify))
        return askYesNo(owner, text, kEndCaption);
    Notifications& desktop = seams::notifications();
    Notifications::Message message;
    message.summary = kEndCaption;
    message.body = text.trimmed();
    const int handle = desktop.show(message);
    const MbResult answer = askYesNo(owner, text, kEndCaption);
    desktop.close(handle);
    return answer;
}
} // namespace

Countdown::Countdown(CountdownView& view, QObject* owner, std::function<void()> shutDown)
    : m_view(view), m_owner(owner), m_shutDown(std::move(shutDown))
{
}

QString Countdown::statusStopped()
{
    return QStringLiteral("倒计时未开启");
}

QString Countdown::statusRunning(int secondsLeft)
{
    return QStringLiteral("剩余%1分钟%2秒").arg(secondsLeft / 60).arg(secondsLeft % 60);
}

void Countdown::setDuration(int hours, int minutes, int seconds)
{
    m_hours = hours;
    m_minutes = minutes;
    m_seconds = seconds;
    writeControls();
}

void Countdown::readControls()
{
    m_hours = timertext::ReadFieldNumber(m_view.countdownFieldText(CountdownView::Hours));
    m_minutes = timertext::ReadFieldNumber(m_view.countdownFieldText(CountdownView::Minutes));
    m_seconds = timertext::ReadFieldNumber(m_view.countdownFieldText(CountdownView::Seconds));
    m_shutdown = m_view.countdownShutdownChecked();
}

void Countdown::writeControls()
{
    m_view.setCountdownFieldText(CountdownView::Hours, QString::number(m_hours));
    m_view.setCountdownFieldText(CountdownView::Minutes, QString::number(m_minutes));
    m_view.setCountdownFieldText(CountdownView::Seconds, QString::number(m_seconds));
    m_view.setCountdownShutdownChecked(m_shutdown);
    m_view.setCountdownRunningChecked(m_running);
}

int Countdown::durationSeconds() const
{
    return m_seconds + 60 * (m_minutes + 60 * m_hours);
}

void Countdown::OnCountdownShutdownClicked()
{
    m_shutdown = m_view.countdownShutdownChecked();
    // Unticking keeps the old answer; it only matters while the box is ticked.
    if (m_shutdown)
        m_prompt = askYesNo(m_owner, kPromptQuestion, kPromptCaption) == MbResult::Yes;
}

void Countdown::OnCountdownStartStop()
{
    for (const FieldRule& rule : kRules) {
        const int value = timertext::ReadFieldNumber(m_view.countdownFieldText(rule.field));
        if (value < 0 || value > rule.max) {
            ShowMessageBox(m_owner, QString::fromUtf8(rule.message));
            m_view.setCountdownFieldText(rule.field, QString::fromUtf8(rule.defaultText));
            m_view.focusCountdownField(rule.field);
            return;
        }
    }
    readControls();

    const QString caption = m_view.countdownButtonCaption();
    if (caption == QString::fromUtf8(timertext::kStart))
        start();
    else if (caption == QString::fromUtf8(timertext::kStop))
        stop();
    writeControls();
}

void Countdown::start()
{
    m_view.startCountdownTimer(kPeriodMs);
    m_running = true;
    m_ticks = 0;
    m_startMs = seams::clock().monotonicMs();
    m_view.setCountdownButtonCaption(QString::fromUtf8(timertext::kStop));
    m_view.setCountdownControlsEnabled(false);
    settings::WriteCountdown(m_hours, m_minutes, m_seconds);
}

void Countdown::stop()
{
    m_view.killCountdownTimer();
    m_running = false;
    m_view.setCountdownButtonCaption(QString::fromUtf8(timertext::kStart));
    m_view.setCountdownControlsEnabled(true);
    m_view.setCountdownStatus(statusStopped());
}

void Countdown::CountdownTick()
{
    if (!m_running)
        return;
    // The seconds really gone by since the start, however many ticks arrived.
    const qint64 sinceStartMs = seams::clock().monotonicMs() - m_startMs;
    m_ticks = timertext::WholeSecondsBetween(0, sinceStartMs);
    const int remaining = durationSeconds() - m_ticks;
    m_view.setCountdownStatus(statusRunning(qMax(remaining, 0)));
    // Nothing ends before a whole second has passed: a duration of 0 ends one
    // second after the start, as the first tick would have it.
    if (remaining > 0 || m_ticks == 0) {
        // Aim the next tick at the next whole second: under load the ticks fall
        // behind the start's phase, and the end would come up to a second late.
        m_view.startCountdownTimer(int(qint64(m_ticks + 1) * 1000 - sinceStartMs));
        return;
    }
    // The fields cannot have changed while running (their controls are disabled),
    // so this is what the button does; stopping first means no tick reaches the
    // end's box.
    stop();
    writeControls();
    CountdownEnd();
}

void Countdown::CountdownEnd()
{
    Sound& sound = seams::sound();
    if (!m_shutdown) {
        const int play = sound.play(kWaveReminder, true);
        askAtEnd(m_owner, kEndText);
        sound.stop(play);
    } else if (m_prompt) {
        const int play = sound.play(kWaveReminder, true);
        const MbResult answer = askAtEnd(m_owner, kEndShutdownQuestion);
        sound.stop(play);
        if (answer == MbResult::Yes && m_shutDown)
            m_shutDown();
    } else if (m_shutDown) {
        m_shutDown();
    }
}
