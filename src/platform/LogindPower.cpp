#include "platform/LogindPower.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

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

// logind's own words, e.g. "Operation inhibited by ...", with the error's name.
QString describe(const QDBusError& error)
{
    if (error.message().isEmpty())
        return error.name();
    return error.message() + QLatin1String(" (") + error.name() + QLatin1Char(')');
}
} // namespace

LogindPower::LogindPower() : LogindPower(QDBusConnection::systemBus(), QLatin1String(logind::kService)) {}

LogindPower::LogindPower(const QDBusConnection& bus, const QString& service)
    : m_bus(bus), m_service(service), m_watchers(std::make_unique<QObject>())
{
}

LogindPower::~LogindPower() = default;

bool LogindPower::powerOff(Done done)
{
    if (m_pending)
        return false;
    m_pending = true;
    if (!m_bus.isConnected()) {
        // Answered from the event loop all the same, as every other answer.
        QMetaObject::invokeMethod(
            m_watchers.get(),
            [this, done] { finish(done, false, QString::fromUtf8("无法连接到系统总线 (no system bus)")); },
            Qt::QueuedConnection);
        return true;
    }
    QDBusMessage call = managerCall(m_service, "PowerOffWithFlags");
    call << qulonglong(kRootCheckInhibitors);
    await(m_bus.asyncCall(call, kCallTimeoutMs), std::move(done), true);
    return true;
}

void LogindPower::await(const QDBusPendingCall& call, Done done, bool fallBack)
{
    auto* watcher = new QDBusPendingCallWatcher(call, m_watchers.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_watchers.get(),
                     [this, done = std::move(done), fallBack](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         const QDBusPendingReply<> reply = *w;
                         if (!reply.isError()) {
                             finish(done, true, QString());
                             return;
                         }
                         if (fallBack && reply.error().type() == QDBusError::UnknownMethod) {
                             // logind before version 246: the plain call, which
                             // checks inhibitors for unprivileged callers only.
                             QDBusMessage plain = managerCall(m_service, "PowerOff");
                             plain << true;
                             await(m_bus.asyncCall(plain, kCallTimeoutMs), done, false);
                             return;
                         }
                         finish(done, false, describe(reply.error()));
                     });
}

void LogindPower::finish(const Done& done, bool accepted, const QString& reason)
{
    m_pending = false;
    if (done)
        done(accepted, reason);
}
