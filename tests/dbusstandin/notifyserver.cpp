// Plays a desktop notification server (org.freedesktop.Notifications) on the
// bus named by DBUS_SESSION_BUS_ADDRESS.
//
//   tolva_notifystandin [--no-actions] [--drop] [--delay-ms N]
//
// --no-actions: the capabilities leave "actions" out; --drop: no call is ever
// answered, as a hung server; --delay-ms: every answer comes that late.
// Prints "ready" once the name is owned, then one line per call received:
//   GetCapabilities
//   Notify app=… replaces=… icon=… summary=… body=… actions=a|b expire=… hints=k:type:v,…
//   CloseNotification <id>
// (line breaks inside a text are printed as "\n"). Told on stdin, one line each:
//   action <id> <key>      emits ActionInvoked(id, key)
//   closed <id> <reason>   emits NotificationClosed(id, reason)

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>
#include <unistd.h>

namespace {
struct Options
{
    bool actions = true;
    bool drop = false;
    int delayMs = 0;
};

Options g_options;

void report(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

// The hints by name, each with the type it came in: the urgency must be a byte.
QString describe(const QVariantMap& hints)
{
    QStringList parts;
    for (auto it = hints.constBegin(); it != hints.constEnd(); ++it) {
        const QVariant& v = it.value();
        const QString value = v.typeId() == QMetaType::UChar ? QString::number(v.value<uchar>())
                              : v.typeId() == QMetaType::Bool
                                  ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                  : oneLine(v.toString());
        parts << it.key() + QLatin1Char(':') + QLatin1String(v.typeName()) + QLatin1Char(':') + value;
    }
    return parts.join(QLatin1Char(','));
}
} // namespace

class NotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    QStringList GetCapabilities()
    {
        report(QStringLiteral("GetCapabilities"));
        QStringList caps{QStringLiteral("body"), QStringLiteral("persistence")};
        if (g_options.actions)
            caps.prepend(QStringLiteral("actions"));
        answer(QVariant(caps));
        return {};
    }

    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire)
    {
        report(QStringLiteral("Notify app=%1 replaces=%2 icon=%3 summary=%4 body=%5 actions=%6 expire=%7 "
                              "hints=%8")
                   .arg(appName)
                   .arg(replacesId)
                   .arg(icon, oneLine(summary), oneLine(body), actions.join(QLatin1Char('|')))
                   .arg(expire)
                   .arg(describe(hints)));
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        m_open.insert(id);
        answer(QVariant(id));
        return 0;
    }

    void CloseNotification(uint id)
    {
        report(QStringLiteral("CloseNotification %1").arg(id));
        answer(QVariant());
        // As servers do: a closed notification says so, with reason 3.
        if (m_open.remove(id))
            emit NotificationClosed(id, 3);
    }

    // One command read from stdin.
    void obey(const QString& line)
    {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() != 3) {
            std::fprintf(stderr, "tolva_notifystandin: cannot do \"%s\"\n", qPrintable(line));
            return;
        }
        const uint id = words[1].toUInt();
        if (words[0] == QLatin1String("action")) {
            emit ActionInvoked(id, words[2]);
        } else if (words[0] == QLatin1String("closed")) {
            m_open.remove(id);
            emit NotificationClosed(id, words[2].toUInt());
        }
    }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    // Answers the call in hand late, or never when told to drop it.
    void answer(const QVariant& value)
    {
        setDelayedReply(true);
        if (g_options.drop)
            return;
        QDBusMessage reply = message().createReply();
        if (value.isValid())
            reply << value;
        const QDBusConnection bus = connection();
        QTimer::singleShot(g_options.delayMs, Qt::PreciseTimer,
                           [bus, reply] { QDBusConnection(bus).send(reply); });
    }

    uint m_lastId = 0;
    QSet<uint> m_open;
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--no-actions")) {
            g_options.actions = false;
        } else if (a == QLatin1String("--drop")) {
            g_options.drop = true;
        } else if (a == QLatin1String("--delay-ms") && i + 1 < args.size()) {
            g_options.delayMs = args[++i].toInt();
        } else {
            std::fprintf(stderr, "tolva_notifystandin: unknown argument %s\n", qPrintable(a));
            return 2;
        }
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "tolva_notifystandin: no bus at DBUS_SESSION_BUS_ADDRESS\n");
        return 1;
    }
    NotificationServer server;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "tolva_notifystandin: cannot take the name: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }

    // Commands come on stdin; its end (the test went away) ends the server.
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &server, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            server.obey(QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });
    report(QStringLiteral("ready"));
    return app.exec();
}

#include "notifyserver.moc"
