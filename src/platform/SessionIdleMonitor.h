#pragma once

#include "platform/IdleMonitor.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>

class QDBusPendingCall;

// The session's idle time and lock, from the first source that answers: the
// freedesktop ScreenSaver service, GNOME's Mutter IdleMonitor, logind's
// LockedHint, and on X11 the screen-saver extension. Every D-Bus call is
// asynchronous: the values are cached and asked for again every few seconds
// while someone reads them, and on the services' signals.
class SessionIdleMonitor final : public IdleMonitor
{
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 2000;

    SessionIdleMonitor();
    // Other buses standing for the session's and the system's; x11: whether the
    // X11 extension may be asked (only where the platform is xcb).
    SessionIdleMonitor(const QDBusConnection& session, const QDBusConnection& system, bool x11);
    ~SessionIdleMonitor() override;

    qint64 idleMs() override;
    bool locked() override;

private Q_SLOTS:
    void onActiveChanged(bool active);
    void onSessionProperties(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    enum Source { ScreenSaver, Mutter, Logind, X11, None };
    void refresh();
    void askIdle(Source from);
    void askLock(Source from);
    void askLockedHint();
    // Runs then with the reply, or tries next on an error.
    template <typename T, typename Then>
    void await(const QDBusPendingCall& call, Then then, std::function<void()> next);
    void setIdle(qint64 ms);
    void setLocked(bool locked);
    bool x11Query(qint64* idle, bool* saverOn);

    QDBusConnection m_session;
    QDBusConnection m_system;
    bool m_x11 = false;
    QString m_sessionPath; // logind's object of this session, once found
    qint64 m_idle = -1;
    bool m_locked = false;
    QElapsedTimer m_sampled; // since the idle time was last answered
    QElapsedTimer m_asked;   // since the last refresh began
    int m_pending = 0;
    std::unique_ptr<QObject> m_watchers; // going with this object, they never answer
};
