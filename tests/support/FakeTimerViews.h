#pragma once

#include "timers/Countdown.h"
#include "timers/RestReminder.h"
#include "timers/TimerText.h"

#include <QList>
#include <QString>

// What both timer groups of the main window show, as plain state: the
// start/stop caption, the status line, the enabled number fields, the running
// box and the group's window timer.
struct FakeTimerGroup
{
    explicit FakeTimerGroup(const char* stoppedStatus) : status(QString::fromUtf8(stoppedStatus)) {}

    QString caption = QString::fromUtf8(timertext::kStart);
    QString status;
    bool enabled = true;
    bool runningChecked = false;
    bool timerOn = false;
    int timerPeriod = 0;
    int timerStarts = 0;

    void startTimer(int periodMs)
    {
        timerOn = true;
        timerPeriod = periodMs;
        ++timerStarts;
    }
};

// The group "定时休息提醒".
class FakeRestView final : public RestReminderView, public FakeTimerGroup
{
public:
    FakeRestView() : FakeTimerGroup("您还没有开启提醒") {}

    QString intervalText = QStringLiteral("30");
    int focusCount = 0;

    QString restIntervalText() const override { return intervalText; }
    void setRestIntervalText(const QString& text) override { intervalText = text; }
    void focusRestInterval() override { ++focusCount; }
    void setRestIntervalEnabled(bool e) override { enabled = e; }
    void setRestRunningChecked(bool c) override { runningChecked = c; }
    QString restButtonCaption() const override { return caption; }
    void setRestButtonCaption(const QString& c) override { caption = c; }
    void setRestStatus(const QString& text) override { status = text; }
    void startRestTimer(int periodMs) override { startTimer(periodMs); }
    void killRestTimer() override { timerOn = false; }
};

// The group "倒数计时提醒".
class FakeCountdownView final : public CountdownView, public FakeTimerGroup
{
public:
    FakeCountdownView() : FakeTimerGroup("倒计时未开启") {}

    QString fields[3] = {QStringLiteral("12"), QStringLiteral("30"), QStringLiteral("30")};
    bool shutdownChecked = false;
    QList<Field> focused;

    void set(const QString& h, const QString& m, const QString& s)
    {
        fields[Hours] = h;
        fields[Minutes] = m;
        fields[Seconds] = s;
    }

    QString countdownFieldText(Field f) const override { return fields[f]; }
    void setCountdownFieldText(Field f, const QString& text) override { fields[f] = text; }
    void focusCountdownField(Field f) override { focused.append(f); }
    bool countdownShutdownChecked() const override { return shutdownChecked; }
    void setCountdownShutdownChecked(bool c) override { shutdownChecked = c; }
    void setCountdownRunningChecked(bool c) override { runningChecked = c; }
    void setCountdownControlsEnabled(bool e) override { enabled = e; }
    QString countdownButtonCaption() const override { return caption; }
    void setCountdownButtonCaption(const QString& c) override { caption = c; }
    void setCountdownStatus(const QString& text) override { status = text; }
    void startCountdownTimer(int periodMs) override { startTimer(periodMs); }
    void killCountdownTimer() override { timerOn = false; }
};
