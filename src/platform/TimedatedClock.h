#pragma once

#include "platform/SystemClock.h"

// The machine's clock, set through systemd-timedated on the system bus, which
// asks the user through polkit when the program may not set it alone. Where
// timedated is not there, clock_settime() (needs CAP_SYS_TIME).
class TimedatedClock final : public SystemClock
{
public:
    bool setUtc(const QDateTime& utc, QString* error) override;
};

namespace timedated {
// True for the D-Bus errors that mean no timedated service exists to ask (as
// opposed to one that refused); those fall back to setting the clock directly.
bool ServiceIsMissing(const QString& errorName);
} // namespace timedated
