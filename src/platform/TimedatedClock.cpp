#include "platform/TimedatedClock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <cerrno>
#include <cstring>
#include <time.h>

namespace {
const char kService[] = "org.freedesktop.timedate1";
const char kPath[] = "/org/freedesktop/timedate1";
const char kInterface[] = "org.freedesktop.timedate1";
// The polkit agent may wait for the user to type a password.
constexpr int kCallTimeoutMs = 120 * 1000;

bool setDirectly(qint64 usecUtc, QString* error)
{
    timespec ts{};
    ts.tv_sec = time_t(usecUtc / 1000000);
    long usec = long(usecUtc % 1000000);
    if (usec < 0) {
        usec += 1000000;
        ts.tv_sec -= 1;
    }
    ts.tv_nsec = usec * 1000;
    if (::clock_settime(CLOCK_REALTIME, &ts) == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
} // namespace

bool timedated::ServiceIsMissing(const QString& errorName)
{
    static const char* const kMissing[] = {
        "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
        "org.freedesktop.DBus.Error.UnknownObject",  "org.freedesktop.DBus.Error.UnknownInterface",
        "org.freedesktop.DBus.Error.UnknownMethod",  "org.freedesktop.systemd1.NoSuchUnit",
        "org.freedesktop.systemd1.UnitMasked",
    };
    for (const char* name : kMissing) {
        if (errorName == QLatin1String(name))
            return true;
    }
    // The bus could not start the service.
    return errorName.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."));
}

bool TimedatedClock::setUtc(const QDateTime& utc, QString* error)
{
    const qint64 usec = utc.toMSecsSinceEpoch() * 1000;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                           QLatin1String(kInterface), QStringLiteral("SetTime"));
        // Absolute time, and polkit may ask the user.
        call << qlonglong(usec) << false << true;
        call.setInteractiveAuthorizationAllowed(true);
        // Blocking without an event loop: nothing of the dialog may run while
        // the clock is being set.
        const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        if (!timedated::ServiceIsMissing(reply.errorName())) {
            if (error)
                *error = reply.errorName() + QLatin1String(": ") + reply.errorMessage();
            return false;
        }
    }
    return setDirectly(usec, error);
}
