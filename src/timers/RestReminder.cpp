#include "timers/RestReminder.h"

#include "base/Constants.h"
#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/IdleMonitor.h"
#include "platform/MessageBoxes.h"
#include "platform/Notifications.h"
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

QString RestReminder::statusBack(int minutesAway)
{
    return QStringLiteral("您离开了%1分钟，已重新开始计时").arg(minutesAway);
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
        restartAt(seams::clock().monotonicMs());
        m_lockedSinceMs = -1;
        m_away = false;
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
    const qint64 now = seams::clock().monotonicMs();
    const bool away = followPresence(now);
    // The seconds really gone by, not the ticks seen: ticks come late or merge
    // when the machine is busy.
    m_restTicks = timertext::WholeSecondsBetween(m_intervalStartMs, now);
    const int remaining = m_restMinutes - m_restTicks / 60;
    m_holdBackStatus = m_holdBackStatus && m_restTicks < 60;
    if (!m_holdBackStatus)
        m_view.setRestStatus(statusRunning(qMax(remaining, 0))); // below 0 after a long hold
    // A box shown to an empty chair would wait there: the break is asked for
    // when the user is back, or the count starts again if the absence was one.
    if (remaining > 0 || away)
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

void RestReminder::restartAt(qint64 nowMs)
{
    m_intervalStartMs = nowMs;
    m_restTicks = 0;
    m_absenceMs = 0;
    m_holdBackStatus = false;
}

bool RestReminder::followPresence(qint64 nowMs)
{
    if (!settings::ReadSwitch(settings::kKeyIdleReset)) {
        m_lockedSinceMs = -1;
        m_away = false;
        return false;
    }
    IdleMonitor& monitor = seams::idleMonitor();
    const bool locked = monitor.locked();
    const qint64 idle = monitor.idleMs(); // -1 when unknown
    if (idle < 0 && !locked && !m_away && m_lockedSinceMs < 0)
        return false; // nothing known: counting as without a monitor
    if (locked && m_lockedSinceMs < 0)
        m_lockedSinceMs = nowMs;
    // Until now, also on the tick that sees the unlock.
    const qint64 lockedFor = m_lockedSinceMs < 0 ? 0 : nowMs - m_lockedSinceMs;
    if (!locked)
        m_lockedSinceMs = -1;
    const qint64 absence = qMax(idle, locked ? lockedFor : 0);
    if (m_away)
        m_absenceMs = qMax(m_absenceMs, qMax(absence, lockedFor));

    const qint64 thresholdMs = qint64(qMin(m_restMinutes, settings::ReadIdleMinutes())) * 60 * 1000;
    if (absence >= thresholdMs || locked) {
        if (absence >= thresholdMs && !m_away) {
            m_away = true;
            m_absenceMs = absence;
        }
        return true;
    }
    if (!m_away)
        return false;
    // Back after an absence as long as a break: the count starts again.
    m_away = false;
    const int minutes = int((m_absenceMs + 30 * 1000) / (60 * 1000));
    restartAt(nowMs);
    m_holdBackStatus = true;
    m_view.setRestStatus(statusBack(minutes));
    return false;
}

void RestReminder::RestAlert()
{
    Sound& sound = seams::sound();
    const int play = sound.play(kWaveRest, false);
    // The desktop's notification carries the alert where the box opens behind other windows.
    int notification = 0;
    if (settings::ReadSwitch(settings::kKeyNotify)) {
        Notifications::Message message;
        message.summary = QString::fromUtf8(tolva::kProgramTitle);
        message.body = kAlertText.trimmed();
        message.urgency = Notifications::Urgency::Normal;
        notification = seams::notifications().show(message);
    }
    const MbResult answer = ShowMessageBox(m_owner, kAlertText, kAlertCaption, MbButtons::YesNo, MbIcon::None,
                                           MbResult::No, true);
    if (notification != 0)
        seams::notifications().close(notification);
    sound.stop(play);
    // A screen saver that did not start is said, or Yes would seem to do nothing.
    if (answer == MbResult::Yes && !seams::shell().startScreenSaver())
        ShowMessageBox(m_owner, kScreenSaverFailed);
}
