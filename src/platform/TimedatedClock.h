#pragma once

#include "platform/SystemClock.h"

#include <QDBusConnection>
#include <QObject>
#include <memory>

// The machine's clock, set through systemd-timedated on the system bus, which
// asks the user through polkit when the program may not set it alone. The call
// is asynchronous: the event loop runs while polkit asks. Where timedated is
// not there, clock_settime() (needs CAP_SYS_TIME).
class TimedatedClock final : public SystemClock
{
public:
    TimedatedClock();
    // Another connection and service name standing for timedated's. Never
    // falls back to setting the clock directly: a stand-in that is not there
    // must not let a test set the machine's clock.
    TimedatedClock(const QDBusConnection& bus, const QString& service);
    ~TimedatedClock() override;

    bool setUtc(const QDateTime& utc, Done done) override;
    bool pending() const override { return m_pending; }

private:
    void finish(const Done& done, const Result& result);

    QDBusConnection m_bus;
    QString m_service;
    bool m_directFallback = true;
    bool m_pending = false;
    // Parent of the watchers: going with this object, they never answer.
    std::unique_ptr<QObject> m_watchers;
};

namespace timedated {
inline constexpr const char kService[] = "org.freedesktop.timedate1";
inline constexpr const char kPath[] = "/org/freedesktop/timedate1";
inline constexpr const char kInterface[] = "org.freedesktop.timedate1";
// timedated's refusal while NTP keeps the clock.
inline constexpr const char kAutomaticSyncError[] = "org.freedesktop.timedate1.AutomaticTimeSyncEnabled";

// True for the D-Bus errors that mean no timedated service exists to ask (as
// opposed to one that refused); those fall back to setting the clock directly.
bool ServiceIsMissing(const QString& errorName);
} // namespace timedated
