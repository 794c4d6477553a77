#include "platform/DBusNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QVariantMap>
#include <utility>

namespace {
QDBusMessage serverCall(const QString& service, const char* method)
{
    return QDBusMessage::createMethodCall(service, QLatin1String(notifications::kPath),
                                          QLatin1String(notifications::kInterface), QLatin1String(method));
}
} // namespace

DBusNotifications::DBusNotifications()
    : DBusNotifications(QDBusConnection::sessionBus(), QLatin1String(notifications::kService))
{
}

DBusNotifications::DBusNotifications(const QDBusConnection& bus, const QString& service)
    : m_bus(bus), m_service(service)
{
    if (!m_bus.isConnected())
        return;
    m_watcher = new QDBusServiceWatcher(m_service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        // Another server may offer other capabilities, and gives its own ids:
        // the old one's notifications went with it.
        m_capabilities.reset();
        const auto gone = std::exchange(m_serverIds, {});
        for (auto it = gone.keyBegin(); it != gone.keyEnd(); ++it)
            emit closed(*it);
        if (!m_waiting.isEmpty())
            askCapabilities();
    });
    const QString path = QLatin1String(notifications::kPath);
    const QString iface = QLatin1String(notifications::kInterface);
    m_bus.connect(m_service, path, iface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvokedSlot(uint, QString)));
    m_bus.connect(m_service, path, iface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosedSlot(uint, uint)));
}

DBusNotifications::~DBusNotifications() = default;

int DBusNotifications::show(const Message& message)
{
    const int handle = ++m_lastHandle;
    if (!m_bus.isConnected())
        return handle;
    m_awaitingReply.insert(handle);
    if (m_capabilities) {
        send(handle, message);
        return handle;
    }
    const bool asking = !m_waiting.isEmpty();
    m_waiting.append({handle, message});
    if (!asking)
        askCapabilities();
    return handle;
}

void DBusNotifications::askCapabilities()
{
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(serverCall(m_service, "GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<QStringList> reply = *call;
        if (reply.isError()) {
            // No server: what waited is dropped; the next show asks again.
            for (const auto& waiting : std::as_const(m_waiting))
                forget(waiting.first);
            m_waiting.clear();
            return;
        }
        m_capabilities = reply.value();
        const auto waiting = std::exchange(m_waiting, {});
        for (const auto& [handle, message] : waiting)
            send(handle, message);
    });
}

void DBusNotifications::send(int handle, const Message& message)
{
    if (m_closeOnReply.remove(handle)) {
        // Closed before it was even sent.
        m_awaitingReply.remove(handle);
        return;
    }
    const bool actions = m_capabilities && m_capabilities->contains(QLatin1String("actions"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(message.urgency)));
    hints.insert(QStringLiteral("suppress-sound"), true);
    hints.insert(QStringLiteral("desktop-entry"), QString::fromUtf8(notifications::kDesktopEntry));
    QDBusMessage call = serverCall(m_service, "Notify");
    call << QString::fromUtf8(notifications::kAppName) << uint(0) << QString::fromUtf8(notifications::kIcon)
         << message.summary << message.body << (actions ? message.actions : QStringList()) << hints
         << int(message.urgency == Urgency::Critical ? 0 : -1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, handle](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<uint> reply = *w;
        m_awaitingReply.remove(handle);
        const bool closeNow = m_closeOnReply.remove(handle);
        if (reply.isError())
            return;
        const uint id = reply.value();
        if (closeNow) {
            QDBusMessage close = serverCall(m_service, "CloseNotification");
            close << id;
            m_bus.asyncCall(close);
            return;
        }
        m_serverIds.insert(handle, id);
    });
}

void DBusNotifications::close(int handle)
{
    if (m_awaitingReply.contains(handle)) {
        m_closeOnReply.insert(handle);
        return;
    }
    const auto it = m_serverIds.constFind(handle);
    if (it == m_serverIds.constEnd())
        return;
    QDBusMessage call = serverCall(m_service, "CloseNotification");
    call << it.value();
    m_serverIds.erase(it);
    m_bus.asyncCall(call);
}

void DBusNotifications::forget(int handle)
{
    m_awaitingReply.remove(handle);
    m_closeOnReply.remove(handle);
}

void DBusNotifications::onActionInvokedSlot(uint id, const QString& key)
{
    const int handle = m_serverIds.key(id, 0);
    if (handle != 0)
        emit actionInvoked(handle, key);
}

void DBusNotifications::onClosedSlot(uint id, uint /*reason*/)
{
    const int handle = m_serverIds.key(id, 0);
    if (handle == 0)
        return;
    m_serverIds.remove(handle);
    emit closed(handle);
}
