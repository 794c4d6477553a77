#include "platform/SessionIdleMonitor.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The real idle monitor against stand-ins for the session's services, played by
// this test on a dbus-daemon of its own: a wrong name, path or signature gets
// no answer from them, as it would get none from the real ones.
namespace {
const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/c7");

class ScreenSaverStandIn : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    uint idle = 0;
    bool active = false;
    bool answersIdle = true; // GNOME's proxy of this service does not
public Q_SLOTS:
    bool GetActive() { return active; }
    uint GetSessionIdleTime()
    {
        if (!answersIdle)
            sendErrorReply(QDBusError::NotSupported, QStringLiteral("not supported"));
        return idle;
    }
Q_SIGNALS:
    void ActiveChanged(bool active);
};

class MutterStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    qulonglong idle = 0;
public Q_SLOTS:
    qulonglong GetIdletime() { return idle; }
};

class LogindStandIn : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public Q_SLOTS:
    QDBusObjectPath GetSession(const QString& id)
    {
        if (id != QLatin1String("c7"))
            sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), id);
        return QDBusObjectPath(kSessionPath);
    }
};

class SessionStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ lockedHint)
public:
    bool locked = false;
    bool lockedHint() const { return locked; }
};

constexpr auto kExport = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                         QDBusConnection::ExportAllProperties;

// A dbus-daemon on a socket in a temporary folder, the stand-ins on one
// connection to it, the monitor on another.
struct Bus
{
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    QDBusConnection services{QString()};
    QDBusConnection client{QString()};
    ScreenSaverStandIn saver;
    MutterStandIn mutter;
    LogindStandIn logind;
    SessionStandIn session;

    bool start()
    {
        address = QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("bus"));
        daemon.setProgram(QStringLiteral(TOLVA_DBUS_DAEMON));
        daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                             QStringLiteral("--print-address"), QStringLiteral("--address=") + address});
        daemon.setStandardErrorFile(QProcess::nullDevice());
        daemon.start();
        if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000))
            return false;
        services = QDBusConnection::connectToBus(address, QStringLiteral("idle-standins"));
        client = QDBusConnection::connectToBus(address, QStringLiteral("idle-client"));
        return services.isConnected() && client.isConnected();
    }
    bool offer(const QString& service, const QString& path, QObject* object)
    {
        return services.registerObject(path, object, kExport) && services.registerService(service);
    }
    ~Bus()
    {
        QDBusConnection::disconnectFromBus(client.name());
        QDBusConnection::disconnectFromBus(services.name());
        daemon.terminate();
        daemon.waitForFinished();
    }
};
} // namespace

class TestIdleMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral(TOLVA_DBUS_DAEMON)))
            QSKIP("dbus-daemon is not installed");
        qputenv("XDG_SESSION_ID", "c7");
    }

    void firstSourceThatAnswersWins_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<bool>("saverAnswersIdle");
        QTest::addColumn<qint64>("idle");
        QTest::addColumn<bool>("locked");
        QTest::newRow("the ScreenSaver service answers both")
            << QStringList{"saver", "mutter", "logind"} << true << qint64(42000) << true;
        QTest::newRow("GNOME: Mutter's idle time and logind's lock")
            << QStringList{"mutter", "logind"} << true << qint64(61000) << true;
        QTest::newRow("a ScreenSaver service without the idle time gives way to Mutter")
            << QStringList{"saver", "mutter"} << false << qint64(61000) << false;
        QTest::newRow("nothing answers: nothing known") << QStringList{} << true << qint64(-1) << false;
    }
    void firstSourceThatAnswersWins()
    {
        QFETCH(QStringList, offered);
        QFETCH(bool, saverAnswersIdle);
        QFETCH(qint64, idle);
        QFETCH(bool, locked);
        Bus bus;
        QVERIFY(bus.start());
        bus.saver.idle = 42000;
        bus.saver.active = false;
        bus.saver.answersIdle = saverAnswersIdle;
        bus.mutter.idle = 61000;
        bus.session.locked = true;
        if (offered.contains("saver")) {
            bus.saver.active = true;
            QVERIFY(bus.offer("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", &bus.saver));
        }
        if (offered.contains("mutter"))
            QVERIFY(
                bus.offer("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", &bus.mutter));
        if (offered.contains("logind")) {
            QVERIFY(bus.services.registerObject(kSessionPath, &bus.session, kExport));
            QVERIFY(bus.offer("org.freedesktop.login1", "/org/freedesktop/login1", &bus.logind));
        }
        if (!saverAnswersIdle)
            bus.saver.active = false;

        SessionIdleMonitor monitor(bus.client, bus.client, false);
        QCOMPARE(monitor.idleMs(), qint64(-1)); // not asked yet: the call does not wait
        QTRY_COMPARE(monitor.idleMs(), idle);
        QTRY_COMPARE(monitor.locked(), locked);
        // Unanswered calls would leave it unknown; a second look agrees.
        QTest::qWait(300);
        QCOMPARE(monitor.idleMs(), idle);
        QCOMPARE(monitor.locked(), locked);
    }

    // The services' signals reach the lock at once.
    void lockFollowsTheSignals()
    {
        Bus bus;
        QVERIFY(bus.start());
        QVERIFY(bus.offer("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", &bus.saver));
        SessionIdleMonitor monitor(bus.client, bus.client, false);
        QSignalSpy changes(&monitor, &IdleMonitor::lockedChanged);
        QTRY_VERIFY(monitor.idleMs() == 0);
        QVERIFY(!monitor.locked());
        emit bus.saver.ActiveChanged(true);
        QTRY_COMPARE(changes.size(), 1);
        QVERIFY(monitor.locked());
        emit bus.saver.ActiveChanged(false);
        QTRY_COMPARE(changes.size(), 2);
        QVERIFY(!monitor.locked());
    }

    void lockFollowsLogind()
    {
        Bus bus;
        QVERIFY(bus.start());
        QVERIFY(bus.services.registerObject(kSessionPath, &bus.session, kExport));
        QVERIFY(bus.offer("org.freedesktop.login1", "/org/freedesktop/login1", &bus.logind));
        SessionIdleMonitor monitor(bus.client, bus.client, false);
        QSignalSpy changes(&monitor, &IdleMonitor::lockedChanged);
        monitor.locked();
        QTest::qWait(500);
        QVERIFY(!monitor.locked());
        bus.session.locked = true;
        QDBusMessage signal =
            QDBusMessage::createSignal(kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.freedesktop.login1.Session") << QVariantMap{{"LockedHint", true}}
               << QStringList{};
        QVERIFY(bus.services.send(signal));
        QTRY_COMPARE(changes.size(), 1);
        QVERIFY(monitor.locked());
    }
};

QTEST_GUILESS_MAIN(TestIdleMonitor)
#include "tst_idlemonitor.moc"
