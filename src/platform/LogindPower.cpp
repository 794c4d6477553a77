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

// The users' view of each refusal they can meet.
const char* meaningOf(const QString& errorName)
{
    static const struct
    {
        const char* name;
        const char* meaning;
    } known[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", "没有关机的权限"},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", "没有关机的权限"},
        {"org.freedesktop.DBus.Error.AuthFailed", "没有关机的权限"},
        {"org.freedesktop.login1.BlockedByInhibitor", "有程序正在阻止关机"},
        {"org.freedesktop.login1.OperationInProgress", "系统正在关机或休眠"},
        {"org.freedesktop.DBus.Error.NoReply", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.Timeout", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.TimedOut", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.ServiceUnknown", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.Disconnected", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.NoServer", "系统没有响应关机请求"},
        {"org.freedesktop.DBus.Error.UnknownMethod", "系统不支持关机请求"},
        {"org.freedesktop.DBus.Error.UnknownObject", "系统不支持关机请求"},
        {"org.freedesktop.DBus.Error.UnknownInterface", "系统不支持关机请求"},
    };
    for (const auto& k : known) {
        if (errorName == QLatin1String(k.name))
            return k.meaning;
    }
    return "系统拒绝了关机请求";
}
} // namespace

QString logind::RefusalText(const QString& errorName, const QString& message)
{
    QString text = QString::fromUtf8(meaningOf(errorName)) + QLatin1Char('\n');
    if (message.isEmpty())
        return text + errorName;
    return text + message + QLatin1String(" (") + errorName + QLatin1Char(')');
}

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
            [this, done] {
                finish(done, false,
                       QString::fromUtf8("系统没有响应关机请求\n无法连接到系统总线 (no system bus)"));
            },
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
                         finish(done, false,
                                logind::RefusalText(reply.error().name(), reply.error().message()));
                     });
}

void LogindPower::finish(const Done& done, bool accepted, const QString& reason)
{
    m_pending = false;
    if (done)
        done(accepted, reason);
}
