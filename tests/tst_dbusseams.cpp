#include "dbusstandin/PrivateBus.h"
#include "platform/DBusNotifications.h"
#include "platform/LogindPower.h"
#include "platform/Seams.h"
#include "platform/TimedatedClock.h"
#include "reminders/AlertDlg.h"
#include "reminders/ReminderFilter.h"
#include "store/StoreService.h"
#include "support/MainWindowTesting.h"
#include "support/PopupRig.h"
#include "support/TestSupport.h"
#include "timers/Shutdown.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
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
const QString kLogindStandIn = QStringLiteral(TOLVA_DBUS_STANDIN);
const QString kNotifyStandIn = QStringLiteral(TOLVA_NOTIFY_STANDIN);

// Counts the releases of a store that is never opened.
class CountingStore final : public StoreService
{
public:
    int releases = 0;
    std::shared_ptr<CAdoDatabase> database() const override { return nullptr; }
    void ReleaseStore() override { ++releases; }
};

// Ticks while the answer is awaited: the event loop must go on.
struct Ticker
{
    QTimer timer;
    int ticks = 0;
    // The longest the loop went without a tick, in ms.
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    Ticker()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            ++ticks;
            longestGapMs = std::max(longestGapMs, sinceTick.restart());
        });
        sinceTick.start();
        timer.start(50);
    }
};

const QString kBothActions = QString::fromUtf8("ok|我知道了|snooze|稍后提醒");

// The line the stand-in prints for a popup's notification.
QString notifyLine(const QString& summary, const QString& body, const QString& actions)
{
    return QString::fromUtf8("Notify app=Tolva小精灵 replaces=0 icon=org.example.tolva summary=") + summary +
           " body=" + body + " actions=" + actions +
           " expire=0 hints=desktop-entry:QString:org.example.tolva,suppress-sound:bool:true,urgency:uchar:2";
}

// The real notifications, on this connection, as the seam while the object lives.
struct RealNotifications
{
    DBusNotifications desktop;
    FakeNotifications& fake;
    RealNotifications(const QDBusConnection& bus, FakeNotifications& f)
        : desktop(bus, QLatin1String(notifications::kService)), fake(f)
    {
        seams::setNotifications(&desktop);
    }
    ~RealNotifications() { seams::setNotifications(&fake); }
};
} // namespace

class TestDbusSeams : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateBus> m_bus;

    // The calls the notification server received, the test's own markers left out.
    QStringList notifyCalls()
    {
        static const QRegularExpression marker(QStringLiteral("^CloseNotification 4\\d{9}$"));
        QStringList calls = m_bus->calls();
        calls.removeIf([](const QString& line) { return marker.match(line).hasMatch(); });
        return calls;
    }
    // The same, once everything this connection sent before has arrived: a
    // marker of the test's own goes last.
    QStringList settledCalls()
    {
        static uint marker = 4000000000u;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(notifications::kService), QLatin1String(notifications::kPath),
            QLatin1String(notifications::kInterface), QStringLiteral("CloseNotification"));
        call << ++marker;
        m_bus->bus().send(call);
        const QString line = QStringLiteral("CloseNotification %1").arg(marker);
        QElapsedTimer waited;
        waited.start();
        while (!m_bus->calls().contains(line) && waited.elapsed() < 10000)
            QTest::qWait(10);
        if (!m_bus->calls().contains(line))
            return {QStringLiteral("the server never heard the marker")};
        return notifyCalls();
    }

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
        QVERIFY(m_bus->startStandIn(kLogindStandIn,
                                    {"--delay-ms", QString::number(kDelayMs), "--power-refuse", kBlocked}));
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
        QVERIFY(m_bus->startStandIn(kLogindStandIn, options));
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
        QVERIFY(m_bus->startStandIn(kLogindStandIn,
                                    {"--delay-ms", QString::number(kAnswerMs), "--power-refuse", kBlocked}));
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
        QVERIFY(m_bus->startStandIn(kLogindStandIn,
                                    QStringList{"--delay-ms", QString::number(kDelayMs)} + options));
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
        QVERIFY(m_bus->startStandIn(kLogindStandIn, {}));
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

    // One notification per popup, with the program's name, icon and texts;
    // what the user does on either side answers both, and a dismissal answers
    // nothing.
    void notificationFollowsThePopup_data()
    {
        QTest::addColumn<QStringList>("options"); // the server's
        QTest::addColumn<QString>("user");        // a command to the server, %1 the notification's id
        QTest::addColumn<QString>("actions");     // as sent
        QTest::addColumn<bool>("open");           // the popup after the user's deed on the server
        QTest::addColumn<QString>("after");       // the record's use in the end
        QTest::addColumn<QString>("snooze");
        QTest::addColumn<bool>("closedByProgram"); // CloseNotification sent
        QTest::newRow("我知道了 on the notification acknowledges the popup")
            << QStringList{} << "action %1 ok" << kBothActions << false << "1" << QString() << true;
        QTest::newRow("稍后提醒 on the notification snoozes ten minutes")
            << QStringList{} << "action %1 snooze" << kBothActions << false << "0"
            << "2026-01-01 10:10:00" << true;
        QTest::newRow("a dismissed notification acknowledges nothing and is not closed again")
            << QStringList{} << "closed %1 2" << kBothActions << true << "1" << QString() << false;
        QTest::newRow("an expired notification acknowledges nothing")
            << QStringList{} << "closed %1 1" << kBothActions << true << "1" << QString() << false;
        QTest::newRow("an action the popup does not offer answers nothing")
            << QStringList{} << "action %1 default" << kBothActions << true << "1" << QString() << true;
        QTest::newRow("acknowledging the popup closes the notification")
            << QStringList{} << QString() << kBothActions << true << "1" << QString() << true;
        QTest::newRow("a server without actions gets none")
            << QStringList{"--no-actions"} << QString() << QString() << true << "1" << QString() << true;
    }
    void notificationFollowsThePopup()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, user);
        QFETCH(QString, actions);
        QFETCH(bool, open);
        QFETCH(QString, after);
        QFETCH(QString, snooze);
        QFETCH(bool, closedByProgram);
        QVERIFY(m_bus->startStandIn(kNotifyStandIn, options));
        PopupRig rig;
        rig.setIfDelete(QStringLiteral("Isfalse"));
        RealNotifications real(m_bus->bus(), rig.fakes.notifications);
        QSignalSpy actionSpy(&real.desktop, &Notifications::actionInvoked);
        QSignalSpy closedSpy(&real.desktop, &Notifications::closed);
        const QString id = rig.add(QString::fromUtf8("交报告"), QString::fromUtf8("周报\r\n第二行"));
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());

        QStringList expected{"GetCapabilities", notifyLine(QString::fromUtf8("交报告"),
                                                           QString::fromUtf8("周报\\n第二行"), actions)};
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), expected, 10000);
        if (!user.isEmpty()) {
            m_bus->tell(user.arg(1));
            QTRY_COMPARE_WITH_TIMEOUT(actionSpy.size() + closedSpy.size(), 1, 10000);
        }
        QCOMPARE(dlg->closed(), !open);
        if (open) {
            QVERIFY(rig.fakes.sound.playing() != 0);
            dlg->OnOK();
            QVERIFY(dlg->closed());
        }
        QCOMPARE(rig.useOf(id), after);
        QCOMPARE(rig.snoozeOf(id), snooze);
        QString message;
        QCOMPARE(rig.inspector()->CountRows(QStringLiteral("recordack"), "where id=" + id, message),
                 after == QLatin1String("1") ? 1 : 0);
        if (closedByProgram)
            expected << QStringLiteral("CloseNotification 1");
        // Acknowledged at once, the close may wait for the Notify's answer.
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), expected, 10000);
        QCOMPARE(settledCalls(), expected);
        // The server's own word on a notification it closed is no news.
        QCOMPARE(actionSpy.size() + closedSpy.size(), user.isEmpty() ? 0 : 1);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // Only a critical notification stays until the user answers it; the
    // normal ones of the countdown's and the rest reminder's boxes expire as
    // the server likes.
    void urgencyChoosesTheExpiry_data()
    {
        QTest::addColumn<int>("urgency");
        QTest::addColumn<QString>("line");
        const QString common = QString::fromUtf8("Notify app=Tolva小精灵 replaces=0 icon=org.example.tolva "
                                                 "summary=倒计时 body=时间到了 actions= ");
        const QString hints =
            QStringLiteral("hints=desktop-entry:QString:org.example.tolva,suppress-sound:bool:true,");
        QTest::newRow("normal: the server's timeout")
            << int(Notifications::Urgency::Normal) << common + "expire=-1 " + hints + "urgency:uchar:1";
        QTest::newRow("low: the server's timeout")
            << int(Notifications::Urgency::Low) << common + "expire=-1 " + hints + "urgency:uchar:0";
        QTest::newRow("critical: never expires")
            << int(Notifications::Urgency::Critical) << common + "expire=0 " + hints + "urgency:uchar:2";
    }
    void urgencyChoosesTheExpiry()
    {
        QFETCH(int, urgency);
        QFETCH(QString, line);
        QVERIFY(m_bus->startStandIn(kNotifyStandIn, {}));
        DBusNotifications desktop(m_bus->bus(), QLatin1String(notifications::kService));
        Notifications::Message message;
        message.summary = QString::fromUtf8("倒计时");
        message.body = QString::fromUtf8("时间到了");
        message.urgency = Notifications::Urgency(urgency);
        QVERIFY(desktop.show(message) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), (QStringList{"GetCapabilities", line}), 10000);
    }

    // A server that never answers, none on the bus, no bus: the popup works as
    // before, nothing is reported, and the event loop never waits.
    void noAnswerBlocksNothing_data()
    {
        QTest::addColumn<QString>("server"); // "drop", "none" or "no bus"
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("a server that drops every call") << "drop" << QStringList{"GetCapabilities"};
        QTest::newRow("no server on the bus") << "none" << QStringList{};
        QTest::newRow("no session bus") << "no bus" << QStringList{};
    }
    void noAnswerBlocksNothing()
    {
        QFETCH(QString, server);
        QFETCH(QStringList, calls);
        if (server == QLatin1String("drop"))
            QVERIFY(m_bus->startStandIn(kNotifyStandIn, {"--drop"}));
        else
            m_bus->stopStandIn();
        PopupRig rig;
        rig.setIfDelete(QStringLiteral("Isfalse"));
        const QDBusConnection bus = server == QLatin1String("no bus")
                                        ? QDBusConnection(QStringLiteral("tolva-no-bus"))
                                        : m_bus->bus();
        RealNotifications real(bus, rig.fakes.notifications);
        QSignalSpy actionSpy(&real.desktop, &Notifications::actionInvoked);
        QSignalSpy closedSpy(&real.desktop, &Notifications::closed);
        const QString id = rig.add(QString::fromUtf8("开会"), QString::fromUtf8("三楼"));
        Ticker ticker;
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QVERIFY(rig.soundLooping());
        // Long enough for an answer that would come, far shorter than D-Bus's own timeout.
        QTest::qWait(kDelayMs);
        QVERIFY(!dlg->closed());
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(dlg->closed());
        QCOMPARE(rig.useOf(id), QStringLiteral("1"));
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QTest::qWait(200);
        // A call that waited would hold the loop up to D-Bus's timeout of 25 s.
        QVERIFY2(ticker.longestGapMs < 2 * kDelayMs, qPrintable(QString::number(ticker.longestGapMs)));
        QCOMPARE(notifyCalls(), calls);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
        QCOMPARE(actionSpy.size() + closedSpy.size(), 0);
    }

    // A server that answers late: a popup acknowledged before the answer about
    // the capabilities never reaches the server; one acknowledged before the
    // answer to its Notify is closed, once, when that answer gives its id.
    void popupsAcknowledgedBeforeTheAnswer()
    {
        QVERIFY(m_bus->startStandIn(kNotifyStandIn, {"--delay-ms", QString::number(kDelayMs)}));
        PopupRig rig;
        rig.setIfDelete(QStringLiteral("Isfalse"));
        RealNotifications real(m_bus->bus(), rig.fakes.notifications);
        const QString early = rig.add(QStringLiteral("early"), QStringLiteral("a"));
        const QString late = rig.add(QStringLiteral("late"), QStringLiteral("b"));
        Ticker ticker;
        auto first = rig.popup(early);
        QVERIFY(first->OnInitDialog());
        first->OnOK();
        QVERIFY(first->closed());
        auto second = rig.popup(late);
        QVERIFY(second->OnInitDialog());
        const QStringList asked{"GetCapabilities", notifyLine("late", "b", kBothActions)};
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), asked, 10000);
        // The server has it; its id is still on the way.
        second->OnOK();
        QVERIFY(second->closed());
        QCOMPARE(rig.useOf(early), QStringLiteral("1"));
        QCOMPARE(rig.useOf(late), QStringLiteral("1"));
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), asked + QStringList{"CloseNotification 1"}, 10000);
        QCOMPARE(settledCalls(), asked + QStringList{"CloseNotification 1"});
        // A call that waited would hold the loop for the server's delay.
        QVERIFY2(ticker.longestGapMs < kDelayMs / 2, qPrintable(QString::number(ticker.longestGapMs)));
    }

    // The capabilities are asked once, and again of a server that took the
    // name over; that server knows nothing of the old one's notifications.
    void aNewServerStartsAfresh()
    {
        QVERIFY(m_bus->startStandIn(kNotifyStandIn, {}));
        PopupRig rig;
        RealNotifications real(m_bus->bus(), rig.fakes.notifications);
        QDBusServiceWatcher watcher(QLatin1String(notifications::kService), m_bus->bus(),
                                    QDBusServiceWatcher::WatchForOwnerChange);
        QSignalSpy owners(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
        auto popupFor = [&](const QString& subject) {
            auto dlg = rig.popup(rig.add(subject, QStringLiteral("x")));
            dlg->OnInitDialog();
            return dlg;
        };
        auto one = popupFor(QStringLiteral("one"));
        auto two = popupFor(QStringLiteral("two"));
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(),
                                  (QStringList{"GetCapabilities", notifyLine("one", "x", kBothActions),
                                               notifyLine("two", "x", kBothActions)}),
                                  10000);
        auto three = popupFor(QStringLiteral("three"));
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls().size(), 4, 10000);
        QCOMPARE(notifyCalls().last(), notifyLine("three", "x", kBothActions));

        QVERIFY(m_bus->startStandIn(kNotifyStandIn, {"--no-actions"}));
        // The program's watcher hears of the new owner with the test's.
        QTRY_VERIFY_WITH_TIMEOUT(!owners.isEmpty() && !owners.last().at(2).toString().isEmpty(), 10000);
        auto four = popupFor(QStringLiteral("four"));
        const QStringList asked{"GetCapabilities", notifyLine("four", "x", QString())};
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), asked, 10000);
        // The old server's notifications went with it: its ids are the new
        // one's to give, and closing the first popup must not take the fourth's.
        one->OnOK();
        QCOMPARE(settledCalls(), asked);
        four->OnOK();
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(), asked + QStringList{"CloseNotification 1"}, 10000);
        two->OnOK();
        three->OnOK();
        QCOMPARE(settledCalls(), asked + QStringList{"CloseNotification 1"});
    }
};

QTEST_MAIN(TestDbusSeams)
#include "tst_dbusseams.moc"
