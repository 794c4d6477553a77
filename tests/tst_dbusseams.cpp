#include "platform/LogindPower.h"
#include "platform/Seams.h"
#include "platform/TimedatedClock.h"
#include "reminders/ReminderFilter.h"
#include "store/StoreService.h"
#include "support/MainWindowTesting.h"
#include "support/TestSupport.h"
#include "timers/Shutdown.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

// The real power-off and clock seams against a private dbus-daemon, on which a
// stand-in plays logind and timedated and answers late, as polkit does while
// it asks the user for a password. Never the machine's own system bus.
namespace {
constexpr int kDelayMs = 1000;
const QString kBlocked = QStringLiteral("org.freedesktop.login1.BlockedByInhibitor");
const QString kBlockedMeaning = QString::fromUtf8("有程序正在阻止关机");

// Counts the releases of a store that is never opened.
class CountingStore final : public StoreService
{
public:
    int releases = 0;
    std::shared_ptr<CAdoDatabase> database() const override { return nullptr; }
    void ReleaseStore() override { ++releases; }
};

// A bus of the test's own: the session configuration of dbus-daemon, on a
// socket in a temporary folder.
class PrivateBus
{
public:
    bool start()
    {
        if (!m_dir.isValid())
            return false;
        m_address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
        m_daemon.setProgram(QStringLiteral(TOLVA_DBUS_DAEMON));
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address"), QStringLiteral("--address=") + m_address});
        // It says it cannot raise its file limit; that is no concern here.
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start();
        // Listening once it has printed its address.
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
            return false;
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("tolva-private-bus"));
        return m_bus.isConnected();
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(m_bus.name());
        stopStandIn();
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Starts the stand-in with these options and waits until it owns its names.
    bool startStandIn(const QStringList& options)
    {
        stopStandIn();
        m_standIn = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_standIn->setProcessEnvironment(env);
        m_standIn->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_standIn->start(QStringLiteral(TOLVA_DBUS_STANDIN), options);
        if (!m_standIn->waitForStarted())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!m_output.contains("ready\n") && waited.elapsed() < 10000) {
            m_standIn->waitForReadyRead(100);
            m_output += m_standIn->readAllStandardOutput();
        }
        return m_output.contains("ready\n");
    }
    // The calls the stand-in has received, one line each.
    QStringList calls()
    {
        if (m_standIn)
            m_output += m_standIn->readAllStandardOutput();
        QStringList lines = QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.removeAll(QStringLiteral("ready"));
        return lines;
    }

    QDBusConnection& bus() { return m_bus; }
    QString address() const { return m_address; }

private:
    void stopStandIn()
    {
        if (m_standIn) {
            m_standIn->kill();
            m_standIn->waitForFinished();
            m_standIn.reset();
        }
        m_output.clear();
    }

    QTemporaryDir m_dir;
    QString m_address;
    QProcess m_daemon;
    std::unique_ptr<QProcess> m_standIn;
    QByteArray m_output;
    QDBusConnection m_bus{QString()};
};

// Ticks while the answer is awaited: the event loop must go on.
struct Ticker
{
    QTimer timer;
    int ticks = 0;
    Ticker()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start(50);
    }
};
} // namespace

class TestDbusSeams : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateBus> m_bus;

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral(TOLVA_DBUS_DAEMON)))
            QSKIP("dbus-daemon is not installed");
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->start());
        // Whatever might still reach for the system bus finds this one.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus->address().toUtf8());
    }

    void cleanupTestCase() { m_bus.reset(); }

    // The power-off waits for polkit without holding the program, no second
    // request goes out, and the refusal's reason reaches the caller.
    void powerOffAnswersLateWithoutBlocking()
    {
        QVERIFY(m_bus->startStandIn({"--delay-ms", QString::number(kDelayMs), "--power-refuse", kBlocked}));
        LogindPower power(m_bus->bus(), QLatin1String(logind::kService));
        Ticker ticker;
        bool came = false, accepted = true;
        QString reason;
        QElapsedTimer sent;
        sent.start();
        QVERIFY(power.powerOff([&](bool a, const QString& r) {
            came = true;
            accepted = a;
            reason = r;
        }));
        // Back at once, the answer still to come.
        QVERIFY(sent.elapsed() < kDelayMs / 2);
        QVERIFY(!came);
        QVERIFY(power.pending());
        QVERIFY(!power.powerOff([](bool, const QString&) { QFAIL("a second request was answered"); }));

        QTRY_VERIFY_WITH_TIMEOUT(came, 10000);
        QVERIFY(sent.elapsed() >= kDelayMs - 100);
        // Ticking all the while: about one tick each 50 ms.
        QVERIFY2(ticker.ticks >= kDelayMs / 50 / 2, qPrintable(QString::number(ticker.ticks)));
        QVERIFY(!accepted);
        QCOMPARE(reason, kBlockedMeaning + "\nrefused by the stand-in (" + kBlocked + ")");
        QVERIFY(!power.pending());
        QCOMPARE(m_bus->calls(), QStringList{"PowerOffWithFlags 1 interactive"});
    }

    // The shutdown operation on the real seam: the store stays while the
    // system decides and after it refuses; it goes once the system accepts.
    void shutdownKeepsTheStoreUntilAccepted_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::newRow("refused") << kBlocked;
        QTest::newRow("accepted") << QString();
    }
    void shutdownKeepsTheStoreUntilAccepted()
    {
        QFETCH(QString, refusal);
        QStringList options{"--delay-ms", QString::number(kDelayMs)};
        if (!refusal.isEmpty())
            options << "--power-refuse" << refusal;
        QVERIFY(m_bus->startStandIn(options));
        FakeSeams fakes;
        LogindPower power(m_bus->bus(), QLatin1String(logind::kService));
        seams::setPower(&power);
        CountingStore store;
        Ticker ticker;
        int answers = 0;
        QVERIFY(ShutDownSystem(&store, nullptr, [&](bool) { ++answers; }));
        QVERIFY(!ShutDownSystem(&store, nullptr)); // the countdown's end, say
        QTest::qWait(kDelayMs / 2);
        QCOMPARE(store.releases, 0);
        QVERIFY(ticker.ticks > 0);
        QTRY_COMPARE_WITH_TIMEOUT(answers, 1, 10000);
        seams::setPower(&fakes.power);
        QCOMPARE(m_bus->calls().size(), 1);
        if (refusal.isEmpty()) {
            QCOMPARE(store.releases, 1);
            QVERIFY(fakes.boxes.shown().isEmpty());
        } else {
            QCOMPARE(store.releases, 0);
            QCOMPARE(fakes.boxes.texts(), QStringList{"ExitWindowsEx\n" + kBlockedMeaning +
                                                      "\nrefused by the stand-in (" + refusal + ")"});
        }
    }

    // The whole program while logind decides: a direct-shutdown record falls
    // due and its popup asks for the power-off; an ordinary reminder due two
    // seconds later pops up at its second and the clock line goes on, before
    // the answer. After the refusal the store is still held and reminders
    // still fall due. On the real clock, as the worker waits in real time.
    void mainWindowRunsOnWhileLogindDecides()
    {
        using mainwindowtest::u;
        constexpr int kAnswerMs = 3000;
        constexpr int kOrdinaryAfterSecs = 2; // due before the answer comes
        QVERIFY(m_bus->startStandIn({"--delay-ms", QString::number(kAnswerMs), "--power-refuse", kBlocked}));
        mainwindowtest::Env env;
        SystemLocalClock real;
        seams::setClock(&real);
        LogindPower power(m_bus->bus(), QLatin1String(logind::kService));
        seams::setPower(&power);
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative),
                                      QString(), QString(), message),
                 store::kConnected);

        auto insertAt = [&](const QString& subject, const QString& content, const QDateTime& at) {
            return env.insert(subject, content, at.date().toString(QLatin1String(reminders::kDateFormat)),
                              at.time().toString(QLatin1String(reminders::kTimeFormat)));
        };
        const QDateTime shutdownAt = reminders::WholeSeconds(real.now()).addSecs(3);
        const QDateTime ordinaryAt = shutdownAt.addSecs(kOrdinaryAfterSecs);
        const QString shutdownId = insertAt(u(shutdown::kSubject), u(shutdown::kDirect), shutdownAt);
        const QString ordinaryId = insertAt(u("开会"), u("三楼"), ordinaryAt);

        // What each popup meets when it appears.
        struct Seen
        {
            QDateTime at;
            bool logindPending = false;
            int boxes = 0;
        };
        QMap<QString, Seen> seen;
        PopupAcknowledger user([&](CAlertDlg* popup) {
            seen.insert(popup->recordId, {real.now(), power.pending(), int(env.fakes.boxes.shown().size())});
            return true;
        });

        TrayIcon::SetAvailableForTesting(true);
        const auto restore = qScopeGuard([&env] {
            seams::setPower(&env.fakes.power);
            TrayIcon::SetAvailableForTesting(std::nullopt);
        });
        CReminderDlg::SetDueWorkerEnabledForTesting(true);
        CReminderDlg dlg(true, nullptr, [&app] { return app.database(); });
        dlg.OnTimer(ids::kTimerStartDueCheck);
        CReminderDlg::SetDueWorkerEnabledForTesting(false);
        QVERIFY(dlg.dueCheck().started());
        QVERIFY(mainwindowtest::showAndWait(dlg));

        // The clock lines shown while the power-off waits for its answer.
        QSet<QString> clockLines;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] {
            if (power.pending())
                clockLines.insert(dlg.GetDlgItemText(ids::kIdcClockLine));
        });
        sampler.start(50);

        // The direct-shutdown popup asks logind; its record waits for the answer.
        QTRY_COMPARE_WITH_TIMEOUT(m_bus->calls(), QStringList{"PowerOffWithFlags 1 interactive"}, 8000);
        QTRY_VERIFY(power.pending());
        QCOMPARE(mainwindowtest::Query(env.folder.databaseFile(),
                                       "select count(*) from recordmsg where id=" + shutdownId),
                 QList<QStringList>{{"1"}});

        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(ordinaryId), 8000);
        const Seen ordinary = seen.value(ordinaryId);
        QCOMPARE(reminders::WholeSeconds(ordinary.at), ordinaryAt);
        QVERIFY(ordinary.logindPending);
        QCOMPARE(ordinary.boxes, 0);

        const QString refusal =
            "ExitWindowsEx\n" + kBlockedMeaning + "\nrefused by the stand-in (" + kBlocked + ")";
        QTRY_COMPARE_WITH_TIMEOUT(env.fakes.boxes.texts(), QStringList{refusal}, 8000);
        QVERIFY(!power.pending());
        // Refused: nothing shut down, so the record is kept.
        QCOMPARE(mainwindowtest::Query(env.folder.databaseFile(),
                                       "select count(*) from recordmsg where id=" + shutdownId),
                 QList<QStringList>{{"1"}});
        // About three seconds of waiting: the line moved with them.
        QVERIFY2(clockLines.size() >= 2, qPrintable(QStringList(clockLines.values()).join(" | ")));
        for (const QString& line : std::as_const(clockLines))
            QVERIFY2(line.startsWith(u("现在时间：")), qPrintable(line));
        QVERIFY(app.database());
        QVERIFY(app.database()->IsConnected());

        // Refused, the program goes on: the next reminder falls due as ever.
        const QDateTime furtherAt = reminders::WholeSeconds(real.now()).addSecs(2);
        const QString furtherId = insertAt(u("午饭"), u("食堂"), furtherAt);
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(furtherId), 8000);
        QCOMPARE(reminders::WholeSeconds(seen.value(furtherId).at), furtherAt);
        QCOMPARE(m_bus->calls().size(), 1);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{refusal});
    }

    void clockSettingAnswersLateWithoutBlocking_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("set");
        QTest::addColumn<bool>("automaticSync");
        QTest::newRow("set") << QStringList{} << true << false;
        QTest::newRow("automatic synchronisation on") << QStringList{"--ntp"} << false << true;
        QTest::newRow("not allowed") << QStringList{"--clock-refuse",
                                                    "org.freedesktop.DBus.Error.AccessDenied"}
                                     << false << false;
    }
    void clockSettingAnswersLateWithoutBlocking()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, set);
        QFETCH(bool, automaticSync);
        QVERIFY(m_bus->startStandIn(QStringList{"--delay-ms", QString::number(kDelayMs)} + options));
        TimedatedClock clock(m_bus->bus(), QLatin1String(timedated::kService));
        const QDateTime utc(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc());
        Ticker ticker;
        bool came = false;
        SystemClock::Result result;
        QElapsedTimer sent;
        sent.start();
        QVERIFY(clock.setUtc(utc, [&](const SystemClock::Result& r) {
            came = true;
            result = r;
        }));
        QVERIFY(sent.elapsed() < kDelayMs / 2);
        QVERIFY(clock.pending());
        QVERIFY(
            !clock.setUtc(utc, [](const SystemClock::Result&) { QFAIL("a second setting was answered"); }));

        QTRY_VERIFY_WITH_TIMEOUT(came, 10000);
        QVERIFY(sent.elapsed() >= kDelayMs - 100);
        QVERIFY2(ticker.ticks >= kDelayMs / 50 / 2, qPrintable(QString::number(ticker.ticks)));
        QCOMPARE(result.set, set);
        QCOMPARE(result.automaticSync, automaticSync);
        QCOMPARE(result.reason.isEmpty(), set);
        QVERIFY(!clock.pending());
        // Absolute microseconds, and polkit may ask the user.
        QCOMPARE(
            m_bus->calls(),
            QStringList{
                QStringLiteral("SetTime %1 false true interactive").arg(utc.toMSecsSinceEpoch() * 1000)});
    }

    // A stand-in that is not there: a refusal, never the machine's clock.
    void noTimedatedOnThisBusSetsNothing()
    {
        QVERIFY(m_bus->startStandIn({}));
        TimedatedClock clock(m_bus->bus(), QStringLiteral("org.example.NoSuchService"));
        bool came = false;
        SystemClock::Result result;
        // Now, should it ever reach the machine's clock after all.
        QVERIFY(clock.setUtc(QDateTime::currentDateTimeUtc(), [&](const SystemClock::Result& r) {
            came = true;
            result = r;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(came, 10000);
        QVERIFY(!result.set);
        QVERIFY2(result.reason.startsWith("org.freedesktop.DBus.Error.ServiceUnknown"),
                 qPrintable(result.reason));
    }
};

QTEST_MAIN(TestDbusSeams)
#include "tst_dbusseams.moc"
