#pragma once

#include <QObject>
#include <functional>
#include <map>

class QTimer;

// A window timer: its id, its period and whether its first tick ends it.
struct TimerSpec
{
    int id = 0;
    int periodMs = 0;
    bool oneShot = false;
};

// The main window's timers (ids in app/MainWindowIds.h).
namespace mainTimers {
// Not a poll: armed for a single tick whenever the queue of due ids gains an id
// or a popup closes, so an idle program never wakes up for it.
inline constexpr TimerSpec kDueQueue{1, 0, true};
inline constexpr TimerSpec kStartDueCheck{2, 500, true};
// Armed anew at each tick for just after the start of the next second, so the
// clock line changes as the second does, with one wake-up a second.
inline constexpr TimerSpec kClock{3, 1000, true};
inline constexpr TimerSpec kStatusClear{4, 1000, true};
inline constexpr TimerSpec kRest{5, 1000, false};
inline constexpr TimerSpec kCountdown{6, 1000, false};
inline constexpr TimerSpec kHiddenStart{7, 5000, true};
} // namespace mainTimers

// Window timers by id, each a QTimer, delivering every tick to one handler with
// the timer's id, as WM_TIMER does. Starting an id that runs restarts it with
// the new period. Ticks arrive on the thread that owns this object.
class DialogTimers : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(int id)>;

    explicit DialogTimers(Handler onTimer, QObject* parent = nullptr);
    ~DialogTimers() override;

    // precise: the tick comes at the millisecond asked for, not within the 5%
    // slack Qt allows a coarse timer.
    void SetTimer(int id, int periodMs, bool oneShot = false, bool precise = false);
    void SetTimer(const TimerSpec& timer) { SetTimer(timer.id, timer.periodMs, timer.oneShot); }
    void KillTimer(int id);
    void KillAll();

    bool IsRunning(int id) const;
    // The period the timer was last started with, or -1 when it never was.
    int Period(int id) const;
    bool IsOneShot(int id) const;
    bool IsPrecise(int id) const;

private:
    Handler m_onTimer;
    std::map<int, QTimer*> m_timers;
};
