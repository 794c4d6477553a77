#include "platform/LogindPower.h"

#include <QDBusMessage>

namespace {
// polkit may wait for the user to type a password.
constexpr int kCallTimeoutMs = 120 * 1000;

QDBusMessage managerCall(const QString& service, const char* method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QLatin1String(logind::kPath), QLatin1String(logind::kManager), QLatin1String(method));
    call.setInteractiveAuthorizationAllowed(true);
    return call;
}

QString describe(const QDBusMessage& reply)
{
    return reply.errorName() + QLatin1String(": ") + reply.errorMessage();
}
} // namespace

LogindPower::LogindPower() : LogindPower(QDBusConnection::systemBus(), QLatin1String(logind::kService)) {}

LogindPower::LogindPower(const QDBusConnection& bus, const QString& service) : m_bus(bus), m_service(service)
{
}

bool LogindPower::powerOff(QString* error)
{
    if (!m_bus.isConnected()) {
        if (error)
            *error = QStringLiteral("no system bus");
        return false;
    }
    QDBusMessage call = managerCall(m_service, "PowerOffWithFlags");
    call << qulonglong(kRootCheckInhibitors);
    QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage &&
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
        // logind before version 246: the plain call, which checks inhibitors
        // for unprivileged callers only.
        QDBusMessage plain = managerCall(m_service, "PowerOff");
        plain << true;
        reply = m_bus.call(plain, QDBus::Block, kCallTimeoutMs);
    }
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = describe(reply);
    return false;
}
