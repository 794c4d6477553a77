#include "app/ReminderApp.h"
#include "app/SessionEnd.h"
#include "platform/LogindPower.h"
#include "platform/Seams.h"
#include "reminders/DueQueue.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"
#include "timers/Shutdown.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDBusUnixFileDescriptor>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {
const QString kQuestion = QString::fromUtf8("\n 关机前是否需要进行提示？  ");

// Stands for logind's Manager object, on a private peer-to-peer connection:
// records the calls and answers as told.
class FakeLogind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogind() override
    {
        if (m_inhibitRead >= 0)
            ::close(m_inhibitRead);
    }

    // Told before the calls come in.
    bool knowsFlags = true; // false: logind before PowerOffWithFlags
    QString refuseWith;     // an error name to answer power-off with
    bool grantInhibitor = true;

    QStringList calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    QStringList interactive()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_interactive;
    }
    // True once every copy of the inhibitor handed out has been closed.
    bool inhibitorClosed()
    {
        if (m_inhibitRead < 0)
            return false;
        pollfd p{m_inhibitRead, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            return false;
        char c;
        return ::read(m_inhibitRead, &c, 1) == 0;
    }

public slots:
    void PowerOffWithFlags(qulonglong flags)
    {
        record(QStringLiteral("PowerOffWithFlags %1").arg(flags));
        if (!knowsFlags) {
            sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("no such method"));
            return;
        }
        refuseIfTold();
    }
    void PowerOff(bool interactiveArg)
    {
        record(QStringLiteral("PowerOff %1").arg(interactiveArg ? "true" : "false"));
        refuseIfTold();
    }
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        record(QStringList{"Inhibit", what, who, why, mode}.join('|'));
        if (!grantInhibitor) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not you"));
            return QDBusUnixFileDescriptor();
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return QDBusUnixFileDescriptor();
        m_inhibitRead = fds[0];
        QDBusUnixFileDescriptor handed(fds[1]); // keeps a copy of its own
        ::close(fds[1]);
        return handed;
    }

signals:
    void PrepareForShutdown(bool start);

private:
    void record(const QString& call)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.append(call);
        m_interactive.append(message().isInteractiveAuthorizationAllowed() ? "interactive" : "silent");
    }
    void refuseIfTold()
    {
        if (!refuseWith.isEmpty())
            sendErrorReply(refuseWith, QStringLiteral("refused"));
    }

    std::mutex m_mutex;
    QStringList m_calls;
    QStringList m_interactive;
    int m_inhibitRead = -1;
};

// A peer-to-peer D-Bus server on its own thread (the code under test makes
// blocking calls), serving a FakeLogind at logind's object path.
class FakeBus
{
public:
    FakeBus()
    {
        m_anchor.moveToThread(&m_thread);
        m_thread.start();
        // An abstract socket: nothing on disk, gone with the server.
        m_address = QStringLiteral("unix:abstract=tolva-test-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++s_count);
        QMetaObject::invokeMethod(
            &m_anchor,
            [this] {
                m_server = new QDBusServer(m_address);
                m_logind = new FakeLogind;
                QObject::connect(m_server, &QDBusServer::newConnection, [this](const QDBusConnection& c) {
                    QDBusConnection peer(c);
                    peer.registerObject(QLatin1String(logind::kPath), m_logind,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
                });
            },
            Qt::BlockingQueuedConnection);
        m_client = QDBusConnection::connectToPeer(m_address, QStringLiteral("fake-logind-%1").arg(s_count));
    }
    ~FakeBus()
    {
        QDBusConnection::disconnectFromPeer(m_client.name());
        QMetaObject::invokeMethod(
            &m_anchor,
            [this] {
                delete m_server;
                delete m_logind;
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    FakeBus(const FakeBus&) = delete;
    FakeBus& operator=(const FakeBus&) = delete;

    QDBusConnection& client() { return m_client; }
    FakeLogind& logind() { return *m_logind; }
    // Emits PrepareForShutdown on the server's thread.
    void prepareForShutdown(bool start)
    {
        QMetaObject::invokeMethod(
            m_logind, [this, start] { emit m_logind->PrepareForShutdown(start); },
            Qt::BlockingQueuedConnection);
    }

private:
    static inline int s_count = 0;
    QThread m_thread;
    QObject m_anchor; // lives on the server's thread
    QString m_address;
    QDBusServer* m_server = nullptr;
    FakeLogind* m_logind = nullptr;
    QDBusConnection m_client{QString()};
};

struct PowerAnswer
{
    bool came = false;
    bool accepted = false;
    QString reason;
};

// Asks and waits for the answer, which comes through the event loop.
PowerAnswer powerOffAndWait(Power& power)
{
    PowerAnswer answer;
    const bool sent = power.powerOff([&](bool accepted, const QString& reason) {
        answer.came = true;
        answer.accepted = accepted;
        answer.reason = reason;
    });
    if (sent && !answer.came)
        (void)QTest::qWaitFor([&] { return answer.came; }, 10000);
    return answer;
}

// Fake seams, a temporary program folder and the application with its store open.
struct Rig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    CReminderApp app;

    Rig()
    {
        app.createStore();
        QString message;
        if (app.database()->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(),
                                 QString(), message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    // What a store user meets now.
    int countNow()
    {
        QString message;
        return AppStore()->CountRows(QStringLiteral("recordmsg"), QString(), message);
    }
};
} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT

private slots:
    // The store stays while the system decides, and goes once it says yes; no
    // second request goes out meanwhile. What waited for the yes (the popup's
    // deletion of its record) still finds the store.
    void shutdownReleasesTheStoreOnceAccepted()
    {
        Rig rig;
        rig.fakes.power.setHold(true);
        QList<bool> answers;
        int countInAnswer = -100;
        QVERIFY(ShutDownSystem(&rig.app, nullptr, [&](bool accepted) {
            answers << accepted;
            countInAnswer = rig.countNow();
        }));
        QCOMPARE(rig.fakes.power.requests(), 1);
        QCOMPARE(rig.countNow(), 0);
        QVERIFY(!ShutDownSystem(&rig.app, nullptr));
        QCOMPARE(rig.fakes.power.requests(), 1);
        QVERIFY(answers.isEmpty());

        rig.fakes.power.release();
        QCOMPARE(answers, QList<bool>{true});
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
        QCOMPARE(countInAnswer, 0);
        QCOMPARE(rig.countNow(), store::kNotConnected);
    }

    void refusedShutdownSaysWhyAndKeepsTheStore()
    {
        Rig rig;
        rig.fakes.power.setAccept(false);
        QList<bool> answers;
        QVERIFY(ShutDownSystem(&rig.app, nullptr, [&](bool accepted) { answers << accepted; }));
        QCOMPARE(answers, QList<bool>{false});
        QCOMPARE(rig.fakes.power.requests(), 1);
        QCOMPARE(rig.fakes.boxes.texts(), QStringList{"ExitWindowsEx\n" + FakePower::refusal()});
        QCOMPARE(rig.fakes.boxes.shown().first().buttons, MbButtons::Ok);
        QVERIFY(rig.fakes.boxes.shown().first().caption.isEmpty());
        // Reminders still fall due: the store answers.
        QCOMPARE(rig.countNow(), 0);

        // And the user may try again.
        QVERIFY(ShutDownSystem(&rig.app, nullptr));
        QCOMPARE(rig.fakes.power.requests(), 2);
        QCOMPARE(rig.fakes.boxes.shown().size(), 2);
    }

    // The popup closes at once; the refusal comes later and must not use it.
    void refusalAfterTheOwnerHasGone()
    {
        FakeSeams fakes;
        fakes.power.setHold(true);
        fakes.power.setAccept(false);
        auto owner = std::make_unique<QWidget>();
        QVERIFY(ShutDownSystem(nullptr, owner.get()));
        owner.reset();
        fakes.power.release();
        QCOMPARE(fakes.boxes.shown().size(), 1);
        QVERIFY(!fakes.boxes.shown().first().owner);
    }

    void shutdownWithoutAStoreStillAsks()
    {
        FakeSeams fakes;
        QVERIFY(ShutDownSystem(nullptr));
        QCOMPARE(fakes.power.requests(), 1);
    }

    void autoShutdownBoxFillsOrClearsTheEditor_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("content"); // empty: the editor is cleared instead
        QTest::newRow("ticked, prompt first") << true << int(MbResult::Yes) << QString::fromUtf8("需要提示");
        QTest::newRow("ticked, shut down directly")
            << true << int(MbResult::No) << QString::fromUtf8("直接关机");
        QTest::newRow("unticked") << false << 0 << QString();
    }
    void autoShutdownBoxFillsOrClearsTheEditor()
    {
        QFETCH(bool, ticked);
        QFETCH(int, answer);
        QFETCH(QString, content);
        FakeSeams fakes;
        fakes.boxes.answerNext(MbResult(answer));
        const AutoShutdownEdit edit = OnAutoShutdownClicked(nullptr, ticked);
        QCOMPARE(edit.fillTexts, ticked);
        QCOMPARE(edit.clearEditor, !ticked);
        QCOMPARE(edit.editsEnabled, !ticked);
        if (!ticked) {
            QVERIFY(fakes.boxes.shown().isEmpty());
            return;
        }
        QCOMPARE(fakes.boxes.texts(), QStringList{kQuestion});
        const MessageBoxRequest& box = fakes.boxes.shown().first();
        QCOMPARE(box.caption, QString::fromUtf8("Tolva提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(edit.subject, QString::fromUtf8("关机"));
        QCOMPARE(edit.content, content);
    }

    void endOfSessionReleasesTheStoreAndSaysYes()
    {
        Rig rig;
        SessionEnd session;
        QVERIFY(session.OnQueryEndSession());
        QVERIFY(!rig.app.database());
        QCOMPARE(rig.countNow(), store::kNotConnected);
        QVERIFY(session.OnQueryEndSession()); // twice is harmless
    }

    void applicationQuitReleasesTheStore()
    {
        int releases = 0;
        SessionEnd session([&] { ++releases; });
        session.watchApplication(qGuiApp);
        QVERIFY(QMetaObject::invokeMethod(qGuiApp, "aboutToQuit", Qt::DirectConnection));
        QCOMPARE(releases, 1);
    }

    void logindPowerOffHonoursInhibitorsForRootToo()
    {
        FakeBus bus;
        QVERIFY(bus.client().isConnected());
        LogindPower power(bus.client(), QLatin1String(logind::kService));
        const PowerAnswer answer = powerOffAndWait(power);
        QVERIFY(answer.came);
        QVERIFY(answer.accepted);
        QCOMPARE(bus.logind().calls(), QStringList{"PowerOffWithFlags 1"});
        // polkit may ask the user; nothing is forced.
        QCOMPARE(bus.logind().interactive(), QStringList{"interactive"});
        QVERIFY(!power.pending());
    }

    void olderLogindGetsThePlainInteractiveCall()
    {
        FakeBus bus;
        bus.logind().knowsFlags = false;
        LogindPower power(bus.client(), QLatin1String(logind::kService));
        QVERIFY(powerOffAndWait(power).accepted);
        QCOMPARE(bus.logind().calls(), (QStringList{"PowerOffWithFlags 1", "PowerOff true"}));
    }

    // Each refusal a user meets says why in Chinese, with logind's words and the
    // error's name under it.
    void refusalOrInhibitorIsAFailure_data()
    {
        QTest::addColumn<bool>("knowsFlags");
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("meaning");
        const QString denied = QString::fromUtf8("没有关机的权限");
        const QString noAnswer = QString::fromUtf8("系统没有响应关机请求");
        QTest::newRow("not allowed") << true << "org.freedesktop.DBus.Error.AccessDenied" << denied;
        QTest::newRow("blocked by an inhibitor")
            << true << "org.freedesktop.login1.BlockedByInhibitor" << QString::fromUtf8("有程序正在阻止关机");
        QTest::newRow("older logind, interactive auth refused")
            << false << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" << denied;
        QTest::newRow("no reply in time") << true << "org.freedesktop.DBus.Error.NoReply" << noAnswer;
        QTest::newRow("the service is not there")
            << true << "org.freedesktop.DBus.Error.ServiceUnknown" << noAnswer;
        QTest::newRow("a shutdown or sleep already under way")
            << true << "org.freedesktop.login1.OperationInProgress"
            << QString::fromUtf8("系统正在关机或休眠");
        QTest::newRow("a refusal never met before")
            << true << "org.example.Strange" << QString::fromUtf8("系统拒绝了关机请求");
    }
    void refusalOrInhibitorIsAFailure()
    {
        QFETCH(bool, knowsFlags);
        QFETCH(QString, errorName);
        QFETCH(QString, meaning);
        FakeBus bus;
        bus.logind().knowsFlags = knowsFlags;
        bus.logind().refuseWith = errorName;
        LogindPower power(bus.client(), QLatin1String(logind::kService));
        const PowerAnswer answer = powerOffAndWait(power);
        QVERIFY(answer.came);
        QVERIFY(!answer.accepted);
        QCOMPARE(answer.reason, meaning + "\nrefused (" + errorName + ")");
        QCOMPARE(bus.logind().calls().size(), knowsFlags ? 1 : 2);
    }

    // The box keeps its first line and puts the reason under it.
    void refusedByTheSystemTheBoxSaysWhyInChinese()
    {
        Rig rig;
        FakeBus bus;
        bus.logind().refuseWith = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
        LogindPower power(bus.client(), QLatin1String(logind::kService));
        seams::setPower(&power);
        bool answered = false;
        QVERIFY(ShutDownSystem(&rig.app, nullptr, [&](bool) { answered = true; }));
        QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
        seams::setPower(&rig.fakes.power);
        QCOMPARE(rig.fakes.boxes.texts(),
                 QStringList{QString::fromUtf8("ExitWindowsEx\n没有关机的权限\n"
                                               "refused (org.freedesktop.DBus.Error.AccessDenied)")});
        QCOMPARE(rig.countNow(), 0);
    }

    void noBusIsAFailure()
    {
        LogindPower power(QDBusConnection(QStringLiteral("never-connected")), QString());
        const PowerAnswer answer = powerOffAndWait(power);
        QVERIFY(answer.came);
        QVERIFY(!answer.accepted);
        QVERIFY(!answer.reason.isEmpty());
    }

    void shutdownElsewhereReleasesTheStoreThenTheInhibitor()
    {
        FakeBus bus;
        int releases = 0;
        SessionEnd session([&] { ++releases; });
        QVERIFY(session.watchLogind(bus.client(), QString()));
        QVERIFY(session.holdsInhibitor());
        const QStringList calls = bus.logind().calls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.first().section('|', 0, 2),
                 QString::fromUtf8("Inhibit|shutdown|") + QString::fromUtf8("Tolva小精灵"));
        QVERIFY(calls.first().endsWith("|delay"));
        QVERIFY(!bus.logind().inhibitorClosed());

        // A shutdown that was called off changes nothing.
        bus.prepareForShutdown(false);
        QTest::qWait(50);
        QCOMPARE(releases, 0);
        QVERIFY(session.holdsInhibitor());

        bus.prepareForShutdown(true);
        QTRY_COMPARE(releases, 1);
        QVERIFY(!session.holdsInhibitor());
        QTRY_VERIFY(bus.logind().inhibitorClosed());
    }

    void noInhibitorWithoutLogind()
    {
        FakeBus bus;
        bus.logind().grantInhibitor = false;
        SessionEnd session([] {});
        QVERIFY(!session.watchLogind(bus.client(), QString()));
        QVERIFY(!session.holdsInhibitor());
        QVERIFY(!session.watchLogind(QDBusConnection(QStringLiteral("never-connected")), QString()));
    }

    void endSignalsReleaseTheStoreAndEndTheProgram_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void endSignalsReleaseTheStoreAndEndTheProgram()
    {
        QFETCH(int, signal);
        int releases = 0;
        QEventLoop modalRun; // the main window's
        SessionEnd session([&] { ++releases; });
        QVERIFY(session.watchSignals([&] {
            QCOMPARE(releases, 1); // released first
            modalRun.exit(7);
        }));
        // Only one object handles them.
        SessionEnd other([] {});
        QVERIFY(!other.watchSignals());
        QTimer::singleShot(0, [signal] { ::raise(signal); });
        QTimer::singleShot(5000, &modalRun, [&] { modalRun.exit(1); });
        QCOMPARE(modalRun.exec(), 7);
        QCOMPARE(releases, 1);
    }

    // Last: the program's own ending leaves every event loop of this thread.
    void endSignalLeavesEveryEventLoop()
    {
        int releases = 0;
        SessionEnd session([&] { ++releases; });
        QVERIFY(session.watchSignals());
        QEventLoop modalRun;
        int inner = -1;
        QTimer::singleShot(0, [&] {
            QEventLoop box; // a message box over the main window
            QTimer::singleShot(0, [] { ::raise(SIGTERM); });
            QTimer::singleShot(5000, &box, [&] { box.exit(1); });
            inner = box.exec();
        });
        QTimer::singleShot(6000, &modalRun, [&] { modalRun.exit(1); });
        QCOMPARE(modalRun.exec(), 0);
        QCOMPARE(inner, 0);
        QCOMPARE(releases, 1);
    }
};

QTEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
