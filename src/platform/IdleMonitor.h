#pragma once

#include <QObject>

// Whether the user is at the session: how long it has gone without input, and
// whether its screen is locked. Where no session service answers, the monitor
// knows nothing and callers behave as if the user were always there.
class IdleMonitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~IdleMonitor() override = default;
    // Milliseconds since the user's last input; -1 when unknown.
    virtual qint64 idleMs() = 0;
    // The screen is locked or the screen saver is on; false when unknown.
    virtual bool locked() = 0;

signals:
    void lockedChanged(bool locked);
};

class FakeIdleMonitor final : public IdleMonitor
{
    Q_OBJECT
public:
    using IdleMonitor::IdleMonitor;
    qint64 idleMs() override { return m_idleMs; }
    bool locked() override { return m_locked; }
    void setIdleMs(qint64 ms) { m_idleMs = ms; }
    void setLocked(bool locked)
    {
        if (m_locked == locked)
            return;
        m_locked = locked;
        emit lockedChanged(locked);
    }

private:
    qint64 m_idleMs = -1;
    bool m_locked = false;
};
