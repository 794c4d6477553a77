#pragma once

#include "platform/Notifications.h"

#include <QDBusConnection>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <optional>

class QDBusServiceWatcher;

// Notifications through org.freedesktop.Notifications on the session bus.
// Every call is asynchronous: the interface thread never waits for the
// server. No bus, no server or an error reply: nothing shown, nothing reported.
class DBusNotifications final : public Notifications
{
    Q_OBJECT
public:
    DBusNotifications();
    // Another connection and service name standing for the desktop's.
    DBusNotifications(const QDBusConnection& bus, const QString& service);
    ~DBusNotifications() override;

    int show(const Message& message) override;
    void close(int handle) override;

private slots:
    // Slots by name: QDBusConnection::connect takes no member pointers.
    void onActionInvokedSlot(uint id, const QString& key);
    void onClosedSlot(uint id, uint reason);

private:
    void askCapabilities();
    void send(int handle, const Message& message);
    void forget(int handle);

    QDBusConnection m_bus;
    QString m_service;
    QDBusServiceWatcher* m_watcher = nullptr;
    // Cached until the name changes owner; empty until the answer comes.
    std::optional<QStringList> m_capabilities;
    // Messages waiting for the capabilities' answer.
    QList<QPair<int, Message>> m_waiting;
    QHash<int, uint> m_serverIds;
    QSet<int> m_awaitingReply;
    QSet<int> m_closeOnReply;
    int m_lastHandle = 0;
};

namespace notifications {
inline constexpr const char kService[] = "org.freedesktop.Notifications";
inline constexpr const char kPath[] = "/org/freedesktop/Notifications";
inline constexpr const char kInterface[] = "org.freedesktop.Notifications";
inline constexpr const char kAppName[] = "Tolva小精灵";
inline constexpr const char kIcon[] = "org.example.tolva";
inline constexpr const char kDesktopEntry[] = "org.example.tolva";
} // namespace notifications
