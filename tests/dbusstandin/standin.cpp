// Plays systemd-logind's power-off and systemd-timedated's clock setting on
// the bus named by DBUS_SESSION_BUS_ADDRESS, answering each call after a chosen
// delay, as polkit does while it asks the user for a password.
//
//   tolva_dbusstandin [--delay-ms N] [--power-refuse NAME] [--clock-refuse NAME] [--ntp]
//
// --power-refuse / --clock-refuse: answer with that D-Bus error (message
// "refused by the stand-in"); --ntp: the NTP property is true, and SetTime is
// refused as timedated refuses it then. Prints "ready" once both names are
// owned, then one line per call received, e.g. "PowerOffWithFlags 1",
// "SetTime <usec> <relative> <interactive> <interactive-flag>".

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QTimer>
#include <cstdio>

namespace {
struct Options
{
    int delayMs = 0;
    QString powerRefusal;
    QString clockRefusal;
    bool ntp = false;
};

Options g_options;

void report(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Sends the answer to the call in hand after the delay.
void answerLater(const QDBusConnection& bus, const QDBusMessage& call, const QString& errorName)
{
    const QDBusMessage answer =
        errorName.isEmpty() ? call.createReply()
                            : call.createErrorReply(errorName, QStringLiteral("refused by the stand-in"));
    // Precise: a coarse timer may fire up to 5 % early, and the tests rely on
    // no answer coming before the delay is over.
    QTimer::singleShot(g_options.delayMs, Qt::PreciseTimer,
                       [bus, answer] { QDBusConnection(bus).send(answer); });
}

QString flag(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

class Logind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public slots:
    void PowerOffWithFlags(qulonglong flags)
    {
        report(QStringLiteral("PowerOffWithFlags %1 %2")
                   .arg(flags)
                   .arg(message().isInteractiveAuthorizationAllowed() ? "interactive" : "silent"));
        setDelayedReply(true);
        answerLater(connection(), message(), g_options.powerRefusal);
    }
};

class Timedated : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
    Q_PROPERTY(bool NTP READ ntp)
public:
    bool ntp() const { return g_options.ntp; }
public slots:
    void SetTime(qlonglong usecUtc, bool relative, bool interactive)
    {
        report(QStringLiteral("SetTime %1 %2 %3 %4")
                   .arg(usecUtc)
                   .arg(flag(relative), flag(interactive),
                        message().isInteractiveAuthorizationAllowed() ? "interactive" : "silent"));
        setDelayedReply(true);
        QString refusal = g_options.clockRefusal;
        if (g_options.ntp)
            refusal = QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled");
        answerLater(connection(), message(), refusal);
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--delay-ms")) {
            g_options.delayMs = next.toInt();
            ++i;
        } else if (a == QLatin1String("--power-refuse")) {
            g_options.powerRefusal = next;
            ++i;
        } else if (a == QLatin1String("--clock-refuse")) {
            g_options.clockRefusal = next;
            ++i;
        } else if (a == QLatin1String("--ntp")) {
            g_options.ntp = true;
        } else {
            std::fprintf(stderr, "tolva_dbusstandin: unknown argument %s\n", qPrintable(a));
            return 2;
        }
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "tolva_dbusstandin: no bus at DBUS_SESSION_BUS_ADDRESS\n");
        return 1;
    }
    Logind logind;
    Timedated timedated;
    const auto all = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind, all) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &timedated, all) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1")) ||
        !bus.registerService(QStringLiteral("org.freedesktop.timedate1"))) {
        std::fprintf(stderr, "tolva_dbusstandin: cannot take the names: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    report(QStringLiteral("ready"));
    return app.exec();
}

#include "standin.moc"
