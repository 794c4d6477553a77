#include "platform/SessionIdleMonitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <qguiapplication_platform.h>
#include <unistd.h>

// Last: Xlib's macros (Bool, None, Status) would clash with Qt's names.
#include <X11/extensions/scrnsaver.h>

namespace {
constexpr int kCallTimeoutMs = 5000;
// An idle time not answered again for this long is no longer known.
constexpr qint64 kStaleMs = 5 * SessionIdleMonitor::kRefreshMs;

const QString kSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kMutterService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kMutterPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const char* method)
{
    return QDBusMessage::createMethodCall(service, path, interface, QLatin1String(method));
}
} // namespace

SessionIdleMonitor::SessionIdleMonitor()
    : SessionIdleMonitor(QDBusConnection::sessionBus(), QDBusConnection::systemBus(),
                         QGuiApplication::platformName() == QLatin1String("xcb"))
{
}

SessionIdleMonitor::SessionIdleMonitor(const QDBusConnection& session, const QDBusConnection& system,
                                       bool x11)
    : m_session(session), m_system(system), m_watchers(std::make_unique<QObject>())
{
    if (x11) {
        qint64 idle = -1;
        bool on = false;
        m_x11 = true;
        m_x11 = x11Query(&idle, &on);
    }
    m_session.connect(kSaverService, kSaverPath, kSaverService, QStringLiteral("ActiveChanged"), this,
                      SLOT(onActiveChanged(bool)));
}

SessionIdleMonitor::~SessionIdleMonitor() = default;

qint64 SessionIdleMonitor::idleMs()
{
    refresh();
    return m_sampled.isValid() && m_sampled.elapsed() <= kStaleMs ? m_idle : -1;
}

bool SessionIdleMonitor::locked()
{
    refresh();
    return m_locked;
}

void SessionIdleMonitor::refresh()
{
    if (m_pending > 0 || (m_asked.isValid() && m_asked.elapsed() < kRefreshMs))
        return;
    m_asked.start();
    askIdle(ScreenSaver);
    askLock(ScreenSaver);
}

template <typename T, typename Then>
void SessionIdleMonitor::await(const QDBusPendingCall& pending, Then then, std::function<void()> next)
{
    ++m_pending;
    auto* watcher = new QDBusPendingCallWatcher(pending, m_watchers.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_watchers.get(),
                     [this, then, next](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         --m_pending;
                         const QDBusPendingReply<T> reply = *w;
                         if (reply.isError())
                             next();
                         else
                             then(reply.value());
                     });
}

void SessionIdleMonitor::askIdle(Source from)
{
    switch (from) {
    case ScreenSaver:
        // Milliseconds, as KDE's and the other desktops' services answer.
        await<uint>(
            m_session.asyncCall(call(kSaverService, kSaverPath, kSaverService, "GetSessionIdleTime"),
                                kCallTimeoutMs),
            [this](uint ms) { setIdle(ms); }, [this] { askIdle(Mutter); });
        return;
    case Mutter:
        await<qulonglong>(
            m_session.asyncCall(call(kMutterService, kMutterPath, kMutterService, "GetIdletime"),
                                kCallTimeoutMs),
            [this](qulonglong ms) { setIdle(qint64(ms)); }, [this] { askIdle(X11); });
        return;
    default: {
        qint64 idle = -1;
        bool on = false;
        if (m_x11 && x11Query(&idle, &on))
            setIdle(idle);
        else
            m_sampled.invalidate();
    }
    }
}

void SessionIdleMonitor::askLock(Source from)
{
    switch (from) {
    case ScreenSaver:
        await<bool>(
            m_session.asyncCall(call(kSaverService, kSaverPath, kSaverService, "GetActive"), kCallTimeoutMs),
            [this](bool active) { setLocked(active); }, [this] { askLock(Logind); });
        return;
    case Logind:
        if (!m_sessionPath.isEmpty()) {
            askLockedHint();
            return;
        }
        {
            const QByteArray id = qgetenv("XDG_SESSION_ID");
            QDBusMessage find = id.isEmpty()
                                    ? call(kLogindService, kLogindPath, kLogindManager, "GetSessionByPID")
                                    : call(kLogindService, kLogindPath, kLogindManager, "GetSession");
            if (id.isEmpty())
                find << uint(::getpid());
            else
                find << QString::fromLocal8Bit(id);
            await<QDBusObjectPath>(
                m_system.asyncCall(find, kCallTimeoutMs),
                [this](const QDBusObjectPath& path) {
                    m_sessionPath = path.path();
                    m_system.connect(kLogindService, m_sessionPath, kProperties,
                                     QStringLiteral("PropertiesChanged"), this,
                                     SLOT(onSessionProperties(QString, QVariantMap, QStringList)));
                    askLockedHint();
                },
                [this] { askLock(X11); });
        }
        return;
    default: {
        qint64 idle = -1;
        bool on = false;
        setLocked(m_x11 && x11Query(&idle, &on) && on);
    }
    }
}

void SessionIdleMonitor::askLockedHint()
{
    QDBusMessage get = call(kLogindService, m_sessionPath, kProperties, "Get");
    get << kLogindSession << QStringLiteral("LockedHint");
    await<QDBusVariant>(
        m_system.asyncCall(get, kCallTimeoutMs),
        [this](const QDBusVariant& v) { setLocked(v.variant().toBool()); }, [this] { askLock(X11); });
}

void SessionIdleMonitor::onActiveChanged(bool active)
{
    setLocked(active);
}

void SessionIdleMonitor::onSessionProperties(const QString& interface, const QVariantMap& changed,
                                             const QStringList& invalidated)
{
    Q_UNUSED(invalidated);
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (interface == kLogindSession && hint != changed.constEnd())
        setLocked(hint->toBool());
}

void SessionIdleMonitor::setIdle(qint64 ms)
{
    m_idle = ms;
    m_sampled.start();
}

void SessionIdleMonitor::setLocked(bool locked)
{
    if (m_locked == locked)
        return;
    m_locked = locked;
    emit lockedChanged(locked);
}

bool SessionIdleMonitor::x11Query(qint64* idle, bool* saverOn)
{
    if (!m_x11)
        return false;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    int event = 0;
    int error = 0;
    if (!display || !XScreenSaverQueryExtension(display, &event, &error))
        return false;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info)
        return false;
    const bool ok = XScreenSaverQueryInfo(display, DefaultRootWindow(display), info) != 0;
    if (ok) {
        *idle = qint64(info->idle);
        *saverOn = info->state == ScreenSaverOn;
    }
    XFree(info);
    return ok;
}
