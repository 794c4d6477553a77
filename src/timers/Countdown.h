#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class QObject;

// The controls of the group "倒数计时提醒" as the countdown sees them
// (CountdownPanel on the main window; a fake in the tests).
class CountdownView
{
public:
    enum Field { Hours, Minutes, Seconds }; // edits 1033, 1039, 1041

    virtual ~CountdownView() = default;

    virtual QString countdownFieldText(Field field) const = 0;
    virtual void setCountdownFieldText(Field field, const QString& text) = 0;
    virtual void focusCountdownField(Field field) = 0;
    virtual bool countdownShutdownChecked() const = 0; // check box 1038 "关机"
    virtual void setCountdownShutdownChecked(bool checked) = 0;
    virtual void setCountdownRunningChecked(bool checked) = 0; // hidden check box 1043
    // The three edits, their up-downs 1034, 1040, 1042 and check box 1038.
    virtual void setCountdownControlsEnabled(bool enabled) = 0;
    virtual QString countdownButtonCaption() const = 0; // button 1044
    virtual void setCountdownButtonCaption(const QString& caption) = 0;
    virtual void setCountdownStatus(const QString& text) = 0; // static 1035
    // Timer 6: every tick is to call Countdown::CountdownTick(). Started with
    // 1000 ms; each tick restarts it with the time left to the next whole second
    // of the count (about 1000 ms), so that late ticks do not shift the end.
    virtual void startCountdownTimer(int periodMs) = 0;
    virtual void killCountdownTimer() = 0;
};

// Counts down up to 24 h 60 min 60 s, then reminds with a looping sound and a
// box, or shuts the machine down with or without asking. Counts real elapsed
// seconds, so the end comes on time however late the ticks arrive.
class Countdown
{
public:
    static constexpr int kTimerId = 6;
    static constexpr int kPeriodMs = 1000;

    // owner: the window that owns the message boxes; shutDown: the one shutdown
    // operation of the program.
    Countdown(CountdownView& view, QObject* owner, std::function<void()> shutDown);

    void OnCountdownShutdownClicked(); // check box 1038
    void OnCountdownStartStop();       // button 1044
    void CountdownTick();              // each tick of timer 6

    // The duration fields, as loaded from the settings; shown in the controls.
    void setDuration(int hours, int minutes, int seconds);
    int countdownHours() const { return m_hours; }
    int countdownMinutes() const { return m_minutes; }
    int countdownSeconds() const { return m_seconds; }
    bool countdownRunning() const { return m_running; }
    bool countdownShutdown() const { return m_shutdown; }
    bool countdownPrompt() const { return m_prompt; }
    // Whole seconds since the start.
    int countdownTicks() const { return m_ticks; }

    static QString statusStopped();
    static QString statusRunning(int secondsLeft);

private:
    void CountdownEnd();
    void start();
    void stop();
    void readControls();
    void writeControls();
    int durationSeconds() const;

    CountdownView& m_view;
    QObject* m_owner;
    std::function<void()> m_shutDown;
    int m_hours = 12;
    int m_minutes = 30;
    int m_seconds = 30;
    int m_ticks = 0;
    bool m_running = false;
    bool m_shutdown = false;
    bool m_prompt = false;
    qint64 m_startMs = 0; // monotonic time of the start
};
