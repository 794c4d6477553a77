#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The desktop's notifications (freedesktop Desktop Notifications over D-Bus).
// A notification mirrors a popup, never replaces it: where no server answers,
// or it drops a call, nothing is reported and the popup works as before.
class Notifications : public QObject
{
    Q_OBJECT
public:
    enum class Urgency { Low = 0, Normal = 1, Critical = 2 };
    struct Message
    {
        QString summary;
        QString body;
        Urgency urgency = Urgency::Normal;
        // Pairs of action key and label; sent only to a server that lists
        // "actions" among its capabilities.
        QStringList actions;
    };

    using QObject::QObject;
    ~Notifications() override = default;
    // Sends a notification; returns its handle (never 0), valid even when no
    // server takes it.
    virtual int show(const Message& message) = 0;
    // Takes the notification of a handle away; an unknown or closed handle: nothing.
    virtual void close(int handle) = 0;

signals:
    // The user chose an action of the notification of `handle`.
    void actionInvoked(int handle, const QString& key);
    // The notification went away (dismissed, expired or closed), without an action.
    void closed(int handle);
};

class FakeNotifications final : public Notifications
{
    Q_OBJECT
public:
    using Notifications::Notifications;
    int show(const Message& message) override
    {
        const int handle = ++m_lastHandle;
        m_shown.append({handle, message});
        m_open.append(handle);
        return handle;
    }
    void close(int handle) override
    {
        if (m_open.removeAll(handle) > 0)
            m_closed.append(handle);
    }

    struct Shown
    {
        int handle = 0;
        Message message;
    };
    const QList<Shown>& shown() const { return m_shown; }
    QList<int> open() const { return m_open; }
    // Handles the program closed, in order.
    const QList<int>& closedByProgram() const { return m_closed; }
    // What a server does when the user clicks an action or dismisses a notification.
    void invoke(int handle, const QString& key)
    {
        m_open.removeAll(handle);
        emit actionInvoked(handle, key);
        emit closed(handle);
    }
    void dismiss(int handle)
    {
        m_open.removeAll(handle);
        emit closed(handle);
    }

private:
    QList<Shown> m_shown;
    QList<int> m_open;
    QList<int> m_closed;
    int m_lastHandle = 0;
};
