#include "app/SessionEnd.h"

#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "platform/LogindPower.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The self-pipe: the handler writes, the event loop reads.
int g_signalPipe[2] = {-1, -1};
std::atomic<bool> g_watched{false};

extern "C" void onEndSignal(int signal)
{
    // Async-signal-safe only: one write, errno kept for the interrupted code.
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

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

SessionEnd::~SessionEnd()
{
    if (!m_signals)
        return;
    for (int signal : kEndSignals)
        std::signal(signal, SIG_DFL);
    delete m_signals;
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
    g_watched.store(false);
}

bool SessionEnd::watchSignals(std::function<void()> end)
{
    if (m_signals || g_watched.exchange(true))
        return false;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_watched.store(false);
        return false;
    }
    m_end = end ? std::move(end) : [] { QCoreApplication::exit(0); };
    m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, &SessionEnd::onSignalPipe);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kEndSignals)
        ::sigaction(signal, &action, nullptr);
    return true;
}

void SessionEnd::onSignalPipe()
{
    char bytes[16];
    bool any = false;
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0)
        any = true;
    if (!any)
        return;
    OnQueryEndSession();
    m_end();
}

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
