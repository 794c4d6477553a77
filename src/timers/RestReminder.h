#pragma once

#include <QString>
#include <QtGlobal>

class QObject;

// The controls of the group "定时休息提醒" as the rest reminder sees them
// (RestReminderPanel on the main window; a fake in the tests).
class RestReminderView
{
public:
    virtual ~RestReminderView() = default;

    virtual QString restIntervalText() const = 0; // edit 1027
    virtual void setRestIntervalText(const QString& text) = 0;
    virtual void focusRestInterval() = 0;
    virtual void setRestIntervalEnabled(bool enabled) = 0; // edit 1027 and up-down 1032
    virtual void setRestRunningChecked(bool checked) = 0;  // check box 1029
    virtual QString restButtonCaption() const = 0;         // button 1030
    virtual void setRestButtonCaption(const QString& caption) = 0;
    virtual void setRestStatus(const QString& text) = 0; // static 1031
    // Timer 5: every tick is to call RestReminder::RestTick().
    virtual void startRestTimer(int periodMs) = 0;
    virtual void killRestTimer() = 0;
};

// A break every N minutes (1 to 180): a sound, a question, and on Yes the
// screen saver. Counts real elapsed seconds, so a busy machine or a box that
// holds the event loop does not stretch the interval.
class RestReminder
{
public:
    static constexpr int kTimerId = 5;
    static constexpr int kPeriodMs = 1000;
    static constexpr int kMinMinutes = 1;
    static constexpr int kMaxMinutes = 180;

    // owner: the window that owns the message boxes.
    RestReminder(RestReminderView& view, QObject* owner);

    void OnRestStartStop(); // button 1030
    void RestTick();        // each tick of timer 5

    // The interval field's value, as loaded from the settings; shown in the controls.
    void setRestMinutes(int minutes);
    int restMinutes() const { return m_restMinutes; }
    bool restRunning() const { return m_restRunning; }
    // Whole seconds since the start or since the last alert.
    int restTicks() const { return m_restTicks; }

    static QString statusStopped();
    static QString statusRunning(int minutesLeft);
    static QString statusBack(int minutesAway);

private:
    // Follows the session's idle time and lock; true while the user is away
    // and the count waits for the return.
    bool followPresence(qint64 nowMs);
    void restartAt(qint64 nowMs);
    void RestAlert();
    void writeControls();

    RestReminderView& m_view;
    QObject* m_owner;
    int m_restMinutes = 30;
    bool m_restRunning = false;
    int m_restTicks = 0;
    qint64 m_intervalStartMs = 0;  // monotonic time the current interval began
    qint64 m_lockedSinceMs = -1;   // monotonic time the lock was first seen; -1: not locked
    qint64 m_absenceMs = 0;        // the longest absence seen in the current away spell
    bool m_away = false;           // away for at least the threshold
    bool m_holdBackStatus = false; // the return's status stays until the next minute
};
