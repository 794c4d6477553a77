#pragma once

#include "platform/Power.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class QDBusPendingCall;

// Powers off through systemd-logind on the system bus. Never forced: logind
// honours block inhibitors (for privileged callers too, by the flag below) and
// polkit decides whether this user may power off, asking the user if needed.
// No bus, no logind, a refusal or an inhibitor all report failure. The call
// is asynchronous: the event loop runs while polkit asks.
class LogindPower final : public Power
{
public:
    // logind's flag SD_LOGIND_ROOT_CHECK_INHIBITORS.
    static constexpr quint64 kRootCheckInhibitors = quint64(1) << 0;

    LogindPower();
    // Another connection and service name standing for logind's.
    LogindPower(const QDBusConnection& bus, const QString& service);
    ~LogindPower() override;

    bool powerOff(Done done) override;
    bool pending() const override { return m_pending; }

private:
    // Runs done with the answer of call; fallBack: an unknown method tries the
    // plain call of older logind versions.
    void await(const QDBusPendingCall& call, Done done, bool fallBack);
    void finish(const Done& done, bool accepted, const QString& reason);

    QDBusConnection m_bus;
    QString m_service;
    bool m_pending = false;
    // Parent of the watchers: going with this object, they never answer.
    std::unique_ptr<QObject> m_watchers;
};

namespace logind {
inline constexpr const char kService[] = "org.freedesktop.login1";
inline constexpr const char kPath[] = "/org/freedesktop/login1";
inline constexpr const char kManager[] = "org.freedesktop.login1.Manager";
// The reason of a refusal as the user reads it: a Chinese sentence for each
// refusal a user meets, then logind's own words with the error's name.
QString RefusalText(const QString& errorName, const QString& message);
} // namespace logind
