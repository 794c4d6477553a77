#pragma once

#include "platform/Power.h"

#include <QDBusConnection>
#include <QString>

// Powers off through systemd-logind on the system bus. Never forced: logind
// honours block inhibitors (for privileged callers too, by the flag below) and
// polkit decides whether this user may power off, asking the user if needed.
// No bus, no logind, a refusal or an inhibitor all report failure.
class LogindPower final : public Power
{
public:
    // logind's flag SD_LOGIND_ROOT_CHECK_INHIBITORS.
    static constexpr quint64 kRootCheckInhibitors = quint64(1) << 0;

    LogindPower();
    // Another connection and service name standing for logind's.
    LogindPower(const QDBusConnection& bus, const QString& service);

    bool powerOff(QString* error) override;

private:
    QDBusConnection m_bus;
    QString m_service;
};

namespace logind {
inline constexpr const char kService[] = "org.freedesktop.login1";
inline constexpr const char kPath[] = "/org/freedesktop/login1";
inline constexpr const char kManager[] = "org.freedesktop.login1.Manager";
} // namespace logind
