#include "app/SessionEnd.h"

#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "platform/LogindPower.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QSessionManager>

SessionEnd::SessionEnd(std::function<void()> releaseStore, QObject* parent)
    : QObject(parent), m_release(std::move(releaseStore))
{
    if (!m_release) {
        m_release = [] {
            if (CReminderApp* app = CReminderApp::instance())
                app->ReleaseStore();
        };
    }
}

SessionEnd::~SessionEnd() = default;

void SessionEnd::watchApplication(QGuiApplication* app)
{
    // Never cancelling the request is the "yes" of the session manager.
    connect(app, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { OnQueryEndSession(); });
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { m_release(); });
}

bool SessionEnd::watchLogind()
{
    return watchLogind(QDBusConnection::systemBus(), QLatin1String(logind::kService));
}

bool SessionEnd::watchLogind(const QDBusConnection& bus, const QString& service)
{
    if (!bus.isConnected())
        return false;
    QDBusConnection connection(bus);
    connection.connect(service, QLatin1String(logind::kPath), QLatin1String(logind::kManager),
                       QStringLiteral("PrepareForShutdown"), this, SLOT(onPrepareForShutdown(bool)));
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QLatin1String(logind::kPath), QLatin1String(logind::kManager), QStringLiteral("Inhibit"));
    call << QStringLiteral("shutdown") << QString::fromUtf8(tolva::kProgramTitle)
         << QString::fromUtf8("关机前保存提醒数据") << QStringLiteral("delay");
    const QDBusMessage reply = connection.call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    m_inhibitor = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().first());
    return m_inhibitor.isValid();
}

bool SessionEnd::OnQueryEndSession()
{
    m_release();
    return true;
}

void SessionEnd::onPrepareForShutdown(bool starting)
{
    if (!starting)
        return;
    OnQueryEndSession();
    // Closing the inhibitor tells logind we are done; the shutdown goes on.
    m_inhibitor = QDBusUnixFileDescriptor();
}
