#include "platform/TimedatedClock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <cerrno>
#include <cstring>
#include <time.h>

namespace {
// The polkit agent may wait for the user to type a password.
constexpr int kCallTimeoutMs = 120 * 1000;

SystemClock::Result setDirectly(qint64 usecUtc)
{
    timespec ts{};
    ts.tv_sec = time_t(usecUtc / 1000000);
    long usec = long(usecUtc % 1000000);
    if (usec < 0) {
        usec += 1000000;
        ts.tv_sec -= 1;
    }
    ts.tv_nsec = usec * 1000;
    SystemClock::Result result;
    result.set = ::clock_settime(CLOCK_REALTIME, &ts) == 0;
    if (!result.set)
        result.reason = QString::fromLocal8Bit(std::strerror(errno));
    return result;
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

TimedatedClock::TimedatedClock()
    : m_bus(QDBusConnection::systemBus()), m_service(QLatin1String(timedated::kService)),
      m_watchers(std::make_unique<QObject>())
{
}

TimedatedClock::TimedatedClock(const QDBusConnection& bus, const QString& service)
    : m_bus(bus), m_service(service), m_directFallback(false), m_watchers(std::make_unique<QObject>())
{
}

TimedatedClock::~TimedatedClock() = default;

bool TimedatedClock::setUtc(const QDateTime& utc, Done done)
{
    if (m_pending)
        return false;
    m_pending = true;
    const qint64 usec = utc.toMSecsSinceEpoch() * 1000;
    if (!m_bus.isConnected()) {
        // Answered from the event loop all the same, as every other answer.
        QMetaObject::invokeMethod(
            m_watchers.get(),
            [this, done, usec] {
                Result result;
                if (m_directFallback)
                    result = setDirectly(usec);
                else
                    result.reason = QString::fromUtf8("无法连接到系统总线 (no system bus)");
                finish(done, result);
            },
            Qt::QueuedConnection);
        return true;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, QLatin1String(timedated::kPath),
                                       QLatin1String(timedated::kInterface), QStringLiteral("SetTime"));
    // Absolute time, and polkit may ask the user.
    call << qlonglong(usec) << false << true;
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), m_watchers.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_watchers.get(),
                     [this, done = std::move(done), usec](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         const QDBusPendingReply<> reply = *w;
                         Result result;
                         if (!reply.isError()) {
                             result.set = true;
                         } else if (m_directFallback && timedated::ServiceIsMissing(reply.error().name())) {
                             result = setDirectly(usec);
                         } else {
                             result.automaticSync =
                                 reply.error().name() == QLatin1String(timedated::kAutomaticSyncError);
                             result.reason =
                                 reply.error().name() + QLatin1String(": ") + reply.error().message();
                         }
                         finish(done, result);
                     });
    return true;
}

void TimedatedClock::finish(const Done& done, const Result& result)
{
    m_pending = false;
    if (done)
        done(result);
}
