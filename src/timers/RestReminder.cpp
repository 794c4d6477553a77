#include "timers/RestReminder.h"

#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "timers/TimerText.h"

namespace {
const QString kRangeMessage = QStringLiteral("建议您的休息间隔时间，设定在 1 至 180 分钟之间！  ");
const QString kDefaultIntervalText = QStringLiteral("30");
const QString kAlertText = QStringLiteral("\n 您该休息一会儿了，放松一下吧！  ");
const QString kAlertCaption = QStringLiteral("友情提示");
const QString kScreenSaverFailed = QStringLiteral("\n 屏幕保护程序启动失败！\n 请确认已安装 xdg-utils 和 "
                                                  "x11-xserver-utils，或在桌面设置中启用屏幕保护。  ");
} // namespace

RestReminder::RestReminder(RestReminderView& view, QObject* owner) : m_view(view), m_owner(owner) {}

QString RestReminder::statusStopped()
{
    return QStringLiteral("您还没有开启提醒");
}

QString RestReminder::statusRunning(int minutesLeft)
{
    return QStringLiteral("距离休息还有%1分钟").arg(minutesLeft);
}

void RestReminder::setRestMinutes(int minutes)
{
    m_restMinutes = minutes;
    writeControls();
}

void RestReminder::writeControls()
{
    m_view.setRestIntervalText(QString::number(m_restMinutes));
    m_view.setRestRunningChecked(m_restRunning);
}

void RestReminder::OnRestStartStop()
{
    const int minutes = timertext::ReadFieldNumber(m_view.restIntervalText());
    if (minutes < kMinMinutes || minutes > kMaxMinutes) {
        ShowMessageBox(m_owner, kRangeMessage);
        m_view.setRestIntervalText(kDefaultIntervalText);
        m_view.focusRestInterval();
        return;
    }
    m_restMinutes = minutes;

    const QString caption = m_view.restButtonCaption();
    if (caption == QString::fromUtf8(timertext::kStart)) {
        m_view.startRestTimer(kPeriodMs);
        m_restRunning = true;
        m_restTicks = 0;
        m_intervalStartMs = seams::clock().monotonicMs();
        m_view.setRestButtonCaption(QString::fromUtf8(timertext::kStop));
        m_view.setRestIntervalEnabled(false);
        settings::WriteRestMinutes(m_restMinutes);
    } else if (caption == QString::fromUtf8(timertext::kStop)) {
        m_view.killRestTimer();
        m_restRunning = false;
        m_view.setRestButtonCaption(QString::fromUtf8(timertext::kStart));
        m_view.setRestIntervalEnabled(true);
        m_view.setRestStatus(statusStopped());
    }
    writeControls();
}

void RestReminder::RestTick()
{
    if (!m_restRunning)
        return;
    // The seconds really gone by, not the ticks seen: ticks come late or merge
    // when the machine is busy.
    m_restTicks = timertext::WholeSecondsBetween(m_intervalStartMs, seams::clock().monotonicMs());
    const int remaining = m_restMinutes - m_restTicks / 60;
    m_view.setRestStatus(statusRunning(qMax(remaining, 0))); // below 0 after a long hold
    if (remaining > 0)
        return;

    // The next interval begins where this one was due to end, so a late tick
    // does not push every later break back; intervals missed whole (the loop
    // was held for longer than one) give one alert, not a burst of them.
    const int interval = m_restMinutes * 60;
    const int overshoot = m_restTicks % interval;
    m_intervalStartMs += qint64(m_restTicks - overshoot) * 1000;
    m_restTicks = overshoot;

    // The status already shows 0 and nothing is touched after the box: it runs a
    // nested loop in which later ticks (or a stop) update the controls, and one
    // left open past the next interval gets another box on top of it.
    RestAlert();
}

void RestReminder::RestAlert()
{
    Sound& sound = seams::sound();
    const int play = sound.play(kWaveRest, false);
    const MbResult answer = ShowMessageBox(m_owner, kAlertText, kAlertCaption, MbButtons::YesNo, MbIcon::None,
                                           MbResult::No, true);
    sound.stop(play);
    // A screen saver that did not start is said, or Yes would seem to do nothing.
    if (answer == MbResult::Yes && !seams::shell().startScreenSaver())
        ShowMessageBox(m_owner, kScreenSaverFailed);
}
