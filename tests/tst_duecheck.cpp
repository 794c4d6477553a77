#include "app/ReminderApp.h"
#include "calendar/Recurrence.h"
#include "platform/Seams.h"
#include "reminders/DueCheck.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "reminders/ResumeWatch.h"
#include "store/AdoDatabase.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace {
const QString kTable = QStringLiteral("recordmsg");
const QDate kToday(2026, 1, 1);

QDateTime at(int h, int m, int s, const QDate& day = kToday)
{
    return QDateTime(day, QTime(h, m, s));
}

// A waiter the test drives: each wait blocks until released, woken or
// interrupted, and notes the second it was asked to sleep until.
class ManualWaiter final : public DueWaiter
{
public:
    void waitUntil(const QDateTime& until) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_entered;
        m_targets.append(until);
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_interrupted || m_released > 0 || m_woken; });
        if (m_interrupted)
            return;
        if (m_woken)
            m_woken = false;
        else
            --m_released;
    }
    void wake() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
        m_cv.notify_all();
    }
    void interrupt() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
        m_cv.notify_all();
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_released;
        m_cv.notify_all();
    }
    // True once the worker has entered its n-th wait, that is finished n passes.
    bool awaitEntered(int n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_entered >= n; });
    }
    int entered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }
    QList<QDateTime> targets()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targets;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_entered = 0;
    int m_released = 0;
    bool m_woken = false;
    bool m_interrupted = false;
    QList<QDateTime> m_targets;
};

// A waiter on the fake clock: returns when the fake clock has reached the
// second asked for, or when woken or interrupted.
class FakeClockWaiter final : public DueWaiter
{
public:
    explicit FakeClockWaiter(FakeClock& clock) : m_clock(clock) {}
    void waitUntil(const QDateTime& until) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_targets.append(until);
        ++m_waits;
        while (!m_interrupted && !m_woken && m_clock.now() < until)
            m_cv.wait_for(lock, std::chrono::milliseconds(1));
        m_woken = false;
    }
    void wake() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
        m_cv.notify_all();
    }
    void interrupt() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
        m_cv.notify_all();
    }
    int waits()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waits;
    }
    QList<QDateTime> targets()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targets;
    }

private:
    FakeClock& m_clock;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_woken = false;
    bool m_interrupted = false;
    int m_waits = 0;
    QList<QDateTime> m_targets;
};

// A waiter that moves the fake clock between 10:00:00 and 10:00:01 at every
// wait, as fast as the worker can go: each pass has a second to check, and the
// worker hammers the store while the test does other things.
class SteppingWaiter final : public DueWaiter
{
public:
    explicit SteppingWaiter(FakeClock& clock) : m_clock(clock) {}
    void waitUntil(const QDateTime&) override
    {
        if (m_interrupted.load())
            return;
        m_odd = !m_odd;
        m_clock.set(at(10, 0, m_odd ? 1 : 0));
        ++m_waits;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    void wake() override {}
    void interrupt() override { m_interrupted.store(true); }
    int waits() const { return m_waits.load(); }

private:
    FakeClock& m_clock;
    bool m_odd = false;
    std::atomic<bool> m_interrupted{false};
    std::atomic<int> m_waits{0};
};

// Counts the worker's messages on the main thread, as the main window would.
class Receiver : public QObject
{
public:
    int messages = 0;
    void onDue() { ++messages; }
};

// Fake seams, a temporary program folder and its store, opened.
struct Rig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();

    Rig()
    {
        fakes.clock.set(at(10, 0, 0));
        QString message;
        const int opened = db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(),
                                    QString(), message);
        if (opened != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    StoreProvider provider()
    {
        return [this] { return db; };
    }
    // Adds a reminder and returns its id.
    QString add(const QString& date, const QString& time, const QString& use = QStringLiteral("0"),
                const QString& subject = QStringLiteral("主题"),
                const QString& recorded = QStringLiteral("2025-12-01 09:00:00"))
    {
        const Row row{subject, QStringLiteral("内容"), date, time, use, recorded};
        return insert(row);
    }
    QString insert(const Row& row)
    {
        QString message;
        if (db->InsertRows(kTable, reminders::InsertFields(), {row}, 1, message) != 1)
            qFatal("insert failed: %s", qPrintable(message));
        RowSet rows;
        db->SelectRows(kTable, QString(), {QStringLiteral("id")}, rows, 1, message);
        return rows.value(0).value(0);
    }
    // "[!][~][subject|]date time", date possibly "Every Day"; "!": cancelled
    // (use "1"); "~": a record shown long ago, snoozed until that date and time.
    QString addFromText(QString text)
    {
        const bool cancelled = text.startsWith('!');
        if (cancelled)
            text.remove(0, 1);
        const bool snoozed = text.startsWith('~');
        if (snoozed)
            text.remove(0, 1);
        const QString subject = text.contains('|') ? text.section('|', 0, 0) : QStringLiteral("主题");
        const QString r = text.section('|', -1);
        const QString use = cancelled ? QStringLiteral("1") : QStringLiteral("0");
        if (!snoozed)
            return add(r.section(' ', 0, -2), r.section(' ', -1), use, subject);
        const QString id = add("2025-12-01", "09:30:00", use, subject);
        snooze(id, r);
        return id;
    }
    void snooze(const QString& id, const QString& until)
    {
        QString message;
        if (repeat::Snooze(*db, id, calendar::wallFromText(until), message) != 1)
            qFatal("snooze failed: %s", qPrintable(message));
    }
    // Gives a record a rule starting at dtstart.
    void repeatFrom(const QString& id, const QString& dtstart, const QString& rrule)
    {
        QString message;
        if (repeat::WriteRule(*db, repeat::Rule{id, dtstart, rrule, QString(), QString()}, message) != 1)
            qFatal("rule not written: %s", qPrintable(message));
    }
    // "date time" of a record.
    QString when(const QString& id)
    {
        RowSet rows;
        QString message;
        db->SelectRows(kTable, "where id=" + id, {QStringLiteral("date"), QStringLiteral("time")}, rows, 1,
                       message);
        return rows.value(0).join(' ');
    }
};
} // namespace

class TestDueCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    // logind's PrepareForSleep(false), on a bus of the test's own, is a resume;
    // (true) is not, nor the same signal from another sender.
    void resumeFromSleepIsTold()
    {
#if defined(__SANITIZE_THREAD__)
        QSKIP("ThreadSanitizer stops a process that starts another once it has threads");
#endif
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QTemporaryDir dir;
        const QString address = QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("bus"));
        QProcess bus;
        bus.setStandardErrorFile(QProcess::nullDevice());
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address"), QStringLiteral("--address=") + address});
        QVERIFY(bus.waitForStarted() && bus.waitForReadyRead(10000));
        const QStringList names{QStringLiteral("tolva-program"), QStringLiteral("tolva-logind"),
                                QStringLiteral("tolva-other"), QStringLiteral("tolva-timedated")};
        {
            QDBusConnection program = QDBusConnection::connectToBus(address, names.at(0));
            QDBusConnection logind = QDBusConnection::connectToBus(address, names.at(1));
            QDBusConnection other = QDBusConnection::connectToBus(address, names.at(2));
            QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
            ResumeWatch watch(program);
            QVERIFY(watch.listening());
            QSignalSpy resumed(&watch, &ResumeWatch::resumed);
            const auto send = [](QDBusConnection& from, bool sleeping) {
                QDBusMessage signal = QDBusMessage::createSignal(
                    QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
                signal << sleeping;
                return from.send(signal);
            };
            QVERIFY(send(other, false));
            QVERIFY(send(logind, true));
            QVERIFY(send(logind, false));
            QTRY_COMPARE(resumed.count(), 1);

            // timedated's Timezone changed is a zone change; its other properties
            // and another sender's are not.
            QDBusConnection timedated = QDBusConnection::connectToBus(address, names.at(3));
            QVERIFY(timedated.registerService(QStringLiteral("org.freedesktop.timedate1")));
            QSignalSpy zone(&watch, &ResumeWatch::zoneChanged);
            const auto changed = [](QDBusConnection& from, const QString& property) {
                QDBusMessage signal = QDBusMessage::createSignal(
                    QStringLiteral("/org/freedesktop/timedate1"),
                    QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
                signal << QStringLiteral("org.freedesktop.timedate1")
                       << QVariantMap{{property, QVariant(QStringLiteral("Asia/Shanghai"))}} << QStringList();
                return from.send(signal);
            };
            QVERIFY(changed(other, QStringLiteral("Timezone")));
            QVERIFY(changed(timedated, QStringLiteral("NTP")));
            QVERIFY(changed(timedated, QStringLiteral("Timezone")));
            QTRY_COMPARE(zone.count(), 1);
            QTest::qWait(200);
            QCOMPARE(resumed.count(), 1);
            QCOMPARE(zone.count(), 1);
        }
        for (const QString& name : names)
            QDBusConnection::disconnectFromBus(name);
        bus.terminate();
        bus.waitForFinished();
    }

    void findsExactlyTheRecordsOfThatSecond()
    {
        QCOMPARE(
            DueCheck::DueClause(at(8, 30, 0, QDate(2016, 5, 1))),
            QStringLiteral("where id in (select id from recordmsg where use='0' and (date='2016-05-01' or "
                           "date ='Every Day') and time ='08:30:00')"));
        Rig rig;
        const QString today = rig.add("2026-01-01", "10:00:05");
        rig.add("2026-01-01", "10:00:06");
        rig.add("2026-01-02", "10:00:05");
        rig.add("2025-12-31", "10:00:05");
        const QString everyDay = rig.add("Every Day", "10:00:05");
        rig.add("2026-01-01", "10:00:05", "1");
        rig.add("Every Day", "10:00:05", "1");
        rig.add("Every Day", "10:00:04");
        const QString snoozed = rig.addFromText("~2026-01-01 10:00:05");
        rig.addFromText("!~2026-01-01 10:00:05");
        rig.addFromText("~2026-01-01 10:00:06");

        // Newest first, then the snoozes ending then; a cancelled record
        // (dated or every day) never falls due, nor does its snooze.
        QCOMPARE(DueCheck::FindDueIds(rig.db.get(), at(10, 0, 5)), (QStringList{everyDay, today, snoozed}));
        // An every-day record falls due on any day.
        QCOMPARE(DueCheck::FindDueIds(rig.db.get(), at(10, 0, 5, QDate(2026, 3, 7))), QStringList{everyDay});
        QVERIFY(DueCheck::FindDueIds(nullptr, at(10, 0, 5)).isEmpty());
        rig.db->Close();
        QVERIFY(DueCheck::FindDueIds(rig.db.get(), at(10, 0, 5)).isEmpty());
    }

    void passHandsIdsOverAndSignalsOnlyWhenSomethingIsDue()
    {
        Rig rig;
        const QString id = rig.add("2026-01-01", "10:00:01");
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        QSignalSpy spy(&check, &DueCheck::remindersDue);
        QVERIFY(check.runPass().isEmpty());
        QCOMPARE(spy.count(), 0);

        rig.fakes.clock.advanceSecs(1);
        QCOMPARE(check.runPass(), QStringList{id});
        QCOMPARE(spy.count(), 1);
        QCOMPARE(check.context().takeDue(), QStringList{id});
        QVERIFY(check.context().takeDue().isEmpty());

        // Without a store a pass finds nothing and says nothing.
        DueCheck noStore([] { return std::shared_ptr<CAdoDatabase>(); }, std::make_unique<ManualWaiter>());
        QSignalSpy silent(&noStore, &DueCheck::remindersDue);
        QVERIFY(noStore.runPass().isEmpty());
        QCOMPARE(silent.count(), 0);
    }

    // Which seconds a pass checks, after a pass at "last", now that it is "now".
    void passChecksEverySecondNotYetChecked_data()
    {
        QTest::addColumn<QDateTime>("last");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QStringList>("records"); // "[subject|]date time"
        QTest::addColumn<QList<int>>("found");    // indices into records, in the order found
        const QDateTime ten = at(10, 0, 0);
        const QDate tomorrow = kToday.addDays(1);
        QTest::newRow("late wake-up") << ten << ten.addMSecs(5300)
                                      << QStringList{"2026-01-01 10:00:02", "Every Day 10:00:04",
                                                     "2026-01-01 10:00:06", "2026-01-02 10:00:03"}
                                      << QList<int>{0, 1};
        QTest::newRow("gap of 60 s") << ten << at(10, 1, 0)
                                     << QStringList{"2026-01-01 10:00:01", "2026-01-01 10:01:00"}
                                     << QList<int>{0, 1};
        QTest::newRow("gap of 61 s") << ten << at(10, 1, 1)
                                     << QStringList{"2026-01-01 10:00:01", "2026-01-01 10:01:01"}
                                     << QList<int>{0, 1};
        QTest::newRow("30 minutes asleep")
            << ten << at(10, 30, 0)
            << QStringList{"2026-01-01 10:29:59", "2026-01-01 10:00:01", "Every Day 10:15:00",
                           "2026-01-01 10:30:01", "2026-01-02 10:10:00", "2026-01-01 09:59:59"}
            << QList<int>{1, 2, 0};
        QTest::newRow("23 hours asleep")
            << ten << at(9, 0, 0, tomorrow)
            << QStringList{"2026-01-01 10:00:01", "Every Day 08:00:00",  "2026-01-01 23:59:59",
                           "2026-01-02 00:00:00", "2026-01-02 09:00:01", "2026-01-03 08:00:00"}
            << QList<int>{0, 2, 3, 1};
        QTest::newRow("25 hours asleep: the last 24 only")
            << ten << at(11, 0, 0, tomorrow)
            << QStringList{"2026-01-01 10:30:00", "2026-01-01 11:00:00", "2026-01-01 11:00:01",
                           "Every Day 10:45:00", "2026-01-02 11:00:00"}
            << QList<int>{2, 3, 4};
        // A machine that has just woken up is not powered off for a time long past;
        // in a short gap, and at the very second, shutdown records act as ever.
        QTest::newRow("shutdown records in a long gap")
            << ten << at(10, 30, 0)
            << QStringList{"关机|2026-01-01 10:10:00", "2026-01-01 10:20:00", "关机|Every Day 10:25:00",
                           "关机|2026-01-01 10:30:00"}
            << QList<int>{1, 3};
        QTest::newRow("shutdown record in a gap of 60 s")
            << ten << at(10, 1, 0) << QStringList{"关机|2026-01-01 10:00:30"} << QList<int>{0};
        // Asleep until the planned second is no gap: the shutdown there acts.
        QTest::newRow("slept until a shutdown record")
            << ten << at(12, 0, 0) << QStringList{"关机|2026-01-01 12:00:00"} << QList<int>{0};
        QTest::newRow("cancelled records, dated or every day, never fall due")
            << ten << ten.addMSecs(5300)
            << QStringList{"!2026-01-01 10:00:02", "!Every Day 10:00:03", "2026-01-01 10:00:04"}
            << QList<int>{2};
        QTest::newRow("a snooze at its second")
            << ten << at(10, 0, 3) << QStringList{"~2026-01-01 10:00:03", "~2026-01-01 10:00:04"}
            << QList<int>{0};
        QTest::newRow("snoozes in a gap, in order with the records, not those of cancelled records")
            << ten << at(10, 30, 0)
            << QStringList{"~2026-01-01 10:20:00", "2026-01-01 10:10:00", "!~2026-01-01 10:05:00",
                           "~2026-01-01 10:30:01"}
            << QList<int>{1, 0};
        QTest::newRow("a snoozed shutdown in a long gap is left alone")
            << ten << at(10, 30, 0) << QStringList{"~关机|2026-01-01 10:10:00", "~关机|2026-01-01 10:30:00"}
            << QList<int>{1};
        QTest::newRow("same second") << ten << ten.addMSecs(400) << QStringList{"2026-01-01 10:00:00"}
                                     << QList<int>{};
        // Only the new current second, which recurs.
        QTest::newRow("clock set back")
            << at(10, 0, 9) << at(10, 0, 5) << QStringList{"2026-01-01 10:00:05", "2026-01-01 10:00:07"}
            << QList<int>{0};
        QTest::newRow("across midnight")
            << at(23, 59, 58) << at(0, 0, 2, tomorrow)
            << QStringList{"2026-01-01 23:59:59", "2026-01-02 00:00:00", "Every Day 00:00:01",
                           "2026-01-01 00:00:01", "2026-01-02 00:00:03"}
            << QList<int>{0, 1, 2};
    }
    void passChecksEverySecondNotYetChecked()
    {
        QFETCH(QDateTime, last);
        QFETCH(QDateTime, now);
        QFETCH(QStringList, records);
        QFETCH(QList<int>, found);
        Rig rig;
        QStringList ids;
        for (const QString& r : records)
            ids.append(rig.addFromText(r));
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        rig.fakes.clock.set(last);
        check.runPass();
        check.context().takeDue();
        rig.fakes.clock.set(now);
        QStringList expected;
        for (int i : found)
            expected.append(ids.at(i));
        QCOMPARE(check.runPass(), expected);
        // No second twice.
        QVERIFY(check.runPass().isEmpty());
        QCOMPARE(check.context().takeDue(), expected);
    }

    // The second the worker sleeps until: the next one at which a record of
    // today or of every day falls due, midnight at the latest.
    void plansTheNextSecondThatCanFallDue_data()
    {
        QTest::addColumn<QStringList>("records"); // addFromText()
        QTest::addColumn<QDateTime>("planned");
        const QDateTime midnight(kToday.addDays(1), QTime(0, 0));
        QTest::newRow("nothing") << QStringList{} << midnight;
        QTest::newRow("only earlier, other days, this second")
            << QStringList{"2026-01-01 09:59:59", "2026-01-02 10:00:05", "2025-12-31 10:00:05",
                           "2026-01-01 10:00:00", "Every Day 10:00:00",  "~2026-01-01 10:00:00",
                           "~2026-01-01 09:00:00"}
            << midnight;
        QTest::newRow("the nearest of today's and every day's")
            << QStringList{"2026-01-01 18:00:00", "Every Day 10:00:07", "2026-01-01 10:00:09",
                           "2026-01-02 10:00:01"}
            << at(10, 0, 7);
        QTest::newRow("cancelled records never")
            << QStringList{"!2026-01-01 10:00:01", "!Every Day 10:00:02", "!~2026-01-01 10:00:03"}
            << midnight;
        QTest::newRow("a snooze nearer than the records")
            << QStringList{"Every Day 10:00:07", "~2026-01-01 10:00:04", "~2026-01-01 10:00:05"}
            << at(10, 0, 4);
        QTest::newRow("a snooze tomorrow waits for midnight")
            << QStringList{"~2026-01-02 00:00:05"} << midnight;
        QTest::newRow("the last second of the day") << QStringList{"2026-01-01 23:59:59"} << at(23, 59, 59);
    }
    void plansTheNextSecondThatCanFallDue()
    {
        QFETCH(QStringList, records);
        QFETCH(QDateTime, planned);
        Rig rig;
        for (const QString& r : records)
            rig.addFromText(r);
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        QVERIFY(!check.plannedWake().isValid());
        check.runPass();
        QCOMPARE(check.plannedWake(), planned);
        QCOMPARE(DueCheck::FindNextDue(rig.db.get(), at(10, 0, 0)), planned);
        // Without a store there is no plan: the worker then looks each second.
        rig.db->Close();
        check.runPass();
        QVERIFY(!check.plannedWake().isValid());
    }

    // Records whose second passed while the program was not running.
    void missedWhileNotRunning()
    {
        Rig rig;
        rig.fakes.clock.set(at(9, 0, 0, kToday.addDays(1)));
        const QString early = QStringLiteral("2026-01-01 08:00:00");
        const QString a = rig.add("2026-01-01", "12:00:00", "0", "甲", early);
        const QString b = rig.add("2026-01-02", "08:00:00", "0", "乙", early);
        rig.add("2026-01-01", "08:59:59", "0", "over a day ago", "2025-12-31 08:00:00");
        rig.add("Every Day", "08:30:00", "0", "every day", early);
        rig.add("2026-01-02", "07:00:00", "0", "关机", early);
        rig.add("2026-01-02", "07:30:00", "1", "reminded", early);
        rig.add("2026-01-02", "06:00:00", "0", "recorded after", "2026-01-02 06:30:00");
        rig.add("2026-01-02", "06:10:00", "0", "recorded when", QString());
        const QString dueNow = rig.add("2026-01-02", "09:00:00", "0", "now", early);
        rig.add("2026-01-02", "10:00:00", "0", "later", early);
        const QString k = rig.add("2026-01-01", "20:00:00", "0", "丙", early);
        // Snoozes that ended meanwhile, as records do: not over a day ago, not
        // a shutdown, not of a cancelled record.
        const QString s = rig.addFromText("~2026-01-01 21:00:00");
        rig.addFromText("~2026-01-01 08:30:00");
        rig.addFromText("~关机|2026-01-02 07:10:00");
        rig.addFromText("!~2026-01-02 07:20:00");
        QCOMPARE(DueCheck::FindMissed(rig.db.get(), rig.fakes.clock.now()), (QStringList{a, k, s, b}));
        QVERIFY(DueCheck::FindMissed(nullptr, rig.fakes.clock.now()).isEmpty());

        // The worker hands them over first, oldest first, then what is due now.
        auto waiterOwned = std::make_unique<ManualWaiter>();
        ManualWaiter& waiter = *waiterOwned;
        DueCheck check(rig.provider(), std::move(waiterOwned));
        QVERIFY(check.start());
        QVERIFY(waiter.awaitEntered(1));
        QCOMPARE(check.context().takeDue(), (QStringList{a, k, s, b, dueNow}));
        check.requestStop();
        check.join();
    }
    // Series left in the past move on at the start and after a long gap, so
    // none stays stranded; one missed within the catch-up pops up once and
    // moves when it has been shown.
    void strandedSeriesMoveOn()
    {
        Rig rig; // Thursday 2026-01-01 10:00:00
        const QString weekly = rig.add("2025-12-18", "09:00:00");
        rig.repeatFrom(weekly, "2025-12-04 09:00:00", "FREQ=WEEKLY");
        const QString recent = rig.add("2025-12-31", "12:00:00");
        rig.repeatFrom(recent, "2025-12-03 12:00:00", "FREQ=WEEKLY");
        const QString later = rig.add("2025-12-20", "11:00:00");
        rig.repeatFrom(later, "2025-12-01 11:00:00", "FREQ=DAILY");
        const QString ended = rig.add("2025-12-10", "08:00:00");
        rig.repeatFrom(ended, "2025-12-08 08:00:00", "FREQ=DAILY;COUNT=3");
        const QString cancelled = rig.add("2025-12-18", "09:00:00", "1");
        rig.repeatFrom(cancelled, "2025-12-04 09:00:00", "FREQ=WEEKLY");
        const QString dated = rig.add("2025-12-18", "09:00:00");
        {
            auto waiterOwned = std::make_unique<ManualWaiter>();
            ManualWaiter& waiter = *waiterOwned;
            DueCheck check(rig.provider(), std::move(waiterOwned));
            QVERIFY(check.start());
            QVERIFY(waiter.awaitEntered(1));
            QCOMPARE(check.context().takeDue(), QStringList{recent});
            QCOMPARE(rig.when(weekly), "2026-01-08 09:00:00");
            QCOMPARE(rig.when(later), "2026-01-01 11:00:00");
            QCOMPARE(rig.when(recent), "2025-12-31 12:00:00");
            QCOMPARE(rig.when(ended), "2025-12-10 08:00:00");
            QCOMPARE(rig.when(cancelled), "2025-12-18 09:00:00");
            QCOMPARE(rig.when(dated), "2025-12-18 09:00:00");
            // Planned after the move; its own write did not wake it again.
            QCOMPARE(check.plannedWake(), at(11, 0, 0));
            QTest::qWait(100);
            QCOMPARE(waiter.entered(), 1);
            check.requestStop();
            check.join();
        }

        // Asleep 26 hours: a daily record within the catch-up is handed over
        // and waits; a daily shutdown in the gap never acts late and moves on,
        // as does what the catch-up left behind.
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        check.runPass();
        const QString daily = rig.add("2026-01-01", "10:30:00");
        rig.repeatFrom(daily, "2026-01-01 10:30:00", "FREQ=DAILY");
        const QString off = rig.add("2026-01-02", "11:00:00", "0", "关机");
        rig.repeatFrom(off, "2026-01-01 11:00:00", "FREQ=DAILY");
        const QString inGap = rig.add("2026-01-02", "09:00:00");
        rig.repeatFrom(inGap, "2026-01-02 09:00:00", "FREQ=DAILY");
        rig.fakes.clock.set(at(12, 0, 0, kToday.addDays(1)));
        QCOMPARE(check.runPass(), QStringList{inGap});
        QCOMPARE(rig.when(inGap), "2026-01-02 09:00:00");
        QCOMPARE(rig.when(daily), "2026-01-03 10:30:00");
        QCOMPARE(rig.when(off), "2026-01-03 11:00:00");
        QCOMPARE(rig.when(later), "2026-01-03 11:00:00");
    }

    // A snooze is kept in the data file: a new check on it, as after the
    // program was killed, finds it at its second, or at start once it passed.
    void snoozeSurvivesARestart()
    {
        Rig rig;
        const QString id = rig.add("2025-12-01", "09:00:00");
        rig.snooze(id, "2026-01-01 10:05:00");
        const auto reopened = [&rig] {
            auto db = std::make_shared<CAdoDatabase>();
            QString message;
            db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                     message);
            return db;
        };
        rig.db->Close();
        rig.fakes.clock.set(at(10, 5, 0));
        {
            const std::shared_ptr<CAdoDatabase> db = reopened();
            DueCheck check([db] { return db; }, std::make_unique<ManualWaiter>());
            QVERIFY(check.runMissedPass().isEmpty());
            QCOMPARE(check.runPass(), QStringList{id});
        }
        rig.fakes.clock.set(at(10, 7, 0));
        const std::shared_ptr<CAdoDatabase> db = reopened();
        DueCheck check([db] { return db; }, std::make_unique<ManualWaiter>());
        QCOMPARE(check.runMissedPass(), QStringList{id});
        QVERIFY(check.runPass().isEmpty());
    }

    void queueTakesIdsOverOnceEach()
    {
        DueCheckContext context;
        context.running.store(true);
        DueQueue queue;
        context.appendDue({"7", "5"});
        QCOMPARE(queue.OnRemindersDue(context), DueQueue::Due::Queued);
        context.appendDue({"5", "9", "9"});
        QCOMPARE(queue.OnRemindersDue(context), DueQueue::Due::Queued);
        QCOMPARE(queue.pendingIds(), (QStringList{"7", "5", "9"}));
        QVERIFY(context.takeDue().isEmpty());

        // Once the exit is confirmed the message means the end; nothing is taken over.
        context.running.store(false);
        context.appendDue({"11"});
        QCOMPARE(queue.OnRemindersDue(context), DueQueue::Due::Exit);
        QCOMPARE(queue.pendingIds(), (QStringList{"7", "5", "9"}));
    }

    void sameSecondGivesOnePopupAfterTheOtherAndLateOnesWait()
    {
        Rig rig;
        const QString first = rig.add("2026-01-01", "10:00:01");
        const QString second = rig.add("Every Day", "10:00:01");
        const QString later = rig.add("2026-01-01", "10:00:02");
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        check.context().running.store(true);
        DueQueue queue;
        check.runPass();
        rig.fakes.clock.advanceSecs(1);
        check.runPass();
        queue.OnRemindersDue(check.context());

        QStringList shown;
        int nestedOpened = 0;
        const DueQueue::RunPopup popup = [&](const QString& id) {
            shown.append(id);
            QVERIFY(queue.alertShowing());
            // Timer 1 keeps ticking inside the popup's modal loop: nothing opens.
            if (queue.ShowNextDueReminder([&](const QString&) { ++nestedOpened; }))
                ++nestedOpened;
            if (id == second) {
                // A reminder falls due while this popup is open, and the one
                // showing is found again after the clock was set back.
                rig.fakes.clock.advanceSecs(1);
                check.runPass();
                rig.fakes.clock.set(at(10, 0, 1));
                check.runPass();
                queue.OnRemindersDue(check.context());
                QCOMPARE(queue.pendingIds(), (QStringList{second, first, later}));
            }
        };
        QVERIFY(queue.ShowNextDueReminder(popup));
        QCOMPARE(shown, QStringList{second}); // the higher id first
        QVERIFY(!queue.alertShowing());
        QVERIFY(queue.ShowNextDueReminder(popup));
        QVERIFY(queue.ShowNextDueReminder(popup));
        QVERIFY(!queue.ShowNextDueReminder(popup));
        QCOMPARE(shown, (QStringList{second, first, later}));
        QCOMPARE(nestedOpened, 0);
        QVERIFY(queue.pendingIds().isEmpty());
    }

    void workerChecksEachSecondAndEndsWithALastMessage()
    {
        Rig rig;
        const QString id1 = rig.add("2026-01-01", "10:00:01");
        const QString id3 = rig.add("Every Day", "10:00:03");
        auto waiterOwned = std::make_unique<ManualWaiter>();
        ManualWaiter& waiter = *waiterOwned;
        DueCheck check(rig.provider(), std::move(waiterOwned));
        Receiver receiver;
        connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
        DueQueue queue;

        QVERIFY(check.start());
        QVERIFY(!check.start()); // never twice
        QVERIFY(waiter.awaitEntered(1));
        rig.fakes.clock.advanceSecs(1);
        waiter.release();
        QVERIFY(waiter.awaitEntered(2));
        QTRY_COMPARE(receiver.messages, 1);
        QCOMPARE(queue.OnRemindersDue(check.context()), DueQueue::Due::Queued);
        QCOMPARE(queue.pendingIds(), QStringList{id1});

        rig.fakes.clock.advanceSecs(2); // a late wake-up
        waiter.release();
        QVERIFY(waiter.awaitEntered(3));
        QTRY_COMPARE(receiver.messages, 2);
        queue.OnRemindersDue(check.context());
        QCOMPARE(queue.pendingIds(), (QStringList{id1, id3}));

        // The exit: the worker leaves its wait at once and sends its last message.
        check.requestStop();
        check.join();
        QCOMPARE(waiter.entered(), 3);
        QTRY_COMPARE(receiver.messages, 3);
        QCOMPARE(queue.OnRemindersDue(check.context()), DueQueue::Due::Exit);
        QVERIFY(!check.start());
        // It slept until each record's second, then until midnight.
        QCOMPARE(waiter.targets(),
                 (QList<QDateTime>{at(10, 0, 1), at(10, 0, 3), QDateTime(kToday.addDays(1), QTime(0, 0))}));
    }

    // The worker sleeps until the next record, and a record added meanwhile
    // (by this program, or by another one on the data file) wakes it for a new plan.
    void changesWakeTheSleepingWorker()
    {
        Rig rig;
        auto waiterOwned = std::make_unique<FakeClockWaiter>(rig.fakes.clock);
        FakeClockWaiter& waiter = *waiterOwned;
        DueCheck check(rig.provider(), std::move(waiterOwned));
        Receiver receiver;
        connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
        QVERIFY(check.start());
        QTRY_COMPARE(waiter.waits(), 1);
        QCOMPARE(waiter.targets(), QList<QDateTime>{QDateTime(kToday.addDays(1), QTime(0, 0))});

        // Added through the editor, 2 s ahead.
        const QDateTime now = rig.fakes.clock.now();
        const QString id = rig.insert(reminders::ComposeRecordValues(
            QStringLiteral("开会"), QStringLiteral("三楼"), now, now.addSecs(2), false, false, now));
        QTRY_COMPARE(check.plannedWake(), at(10, 0, 2));
        const int waits = waiter.waits();
        rig.fakes.clock.advanceSecs(1);
        QTest::qWait(50);
        QCOMPARE(waiter.waits(), waits); // nothing to look at in between
        QCOMPARE(receiver.messages, 0);
        rig.fakes.clock.advanceSecs(1);
        QTRY_COMPARE(receiver.messages, 1);
        QCOMPARE(check.context().takeDue(), QStringList{id});
        check.requestStop();
        check.join();
    }

    void changesFromOutsideWakeTheRealWaiter()
    {
        Rig rig;
        DueCheck check(rig.provider());
        Receiver receiver;
        connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
        QVERIFY(check.start());
        QTRY_COMPARE(check.plannedWake(), QDateTime(kToday.addDays(1), QTime(0, 0)));

        // The sqlite3 command line would do the same: another connection writes.
        QElapsedTimer elapsed;
        elapsed.start();
        SqliteFile outside(rig.folder.databaseFile());
        QVERIFY(outside.exec("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                             "('外来', 'x', '2026-01-01', '10:00:03', '0', '2026-01-01 10:00:00')"));
        QTRY_COMPARE_WITH_TIMEOUT(check.plannedWake(), at(10, 0, 3), 2000);
        QVERIFY(elapsed.elapsed() < 1500);
        // The write's last file events (the journal going) may still wake it
        // once; let those passes find nothing before the due second comes.
        QTest::qWait(300);
        // The worker sleeps its three seconds (by the real clock; the fake one
        // stands still) and finds the record at its second.
        rig.fakes.clock.set(at(10, 0, 3));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.messages, 1, 6000);
        QVERIFY2(elapsed.elapsed() >= 2500, "woke before the planned second");
        QCOMPARE(check.context().takeDue().size(), 1);
        check.requestStop();
        check.join();
    }

    void exitConfirmedBeforeTheStartEndsAtOnce()
    {
        Rig rig;
        rig.add("2026-01-01", "10:00:00");
        DueCheck check(rig.provider(), std::make_unique<ManualWaiter>());
        Receiver receiver;
        connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
        check.requestStop();
        // Timer 2 fires afterwards: the worker is not started, running stays clear.
        QVERIFY(!check.start());
        QVERIFY(!check.started());
        QVERIFY(!check.context().running.load());
        QTRY_COMPARE(receiver.messages, 1);
        DueQueue queue;
        QCOMPARE(queue.OnRemindersDue(check.context()), DueQueue::Due::Exit);
        QVERIFY(queue.pendingIds().isEmpty());
    }

    void releasingTheStoreWhileTheWorkerRuns()
    {
        Rig rig;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(),
                                      QString(), message),
                 store::kConnected);
        rig.add("Every Day", "10:00:00");
        rig.add("Every Day", "10:00:01");

        auto waiterOwned = std::make_unique<SteppingWaiter>(rig.fakes.clock);
        SteppingWaiter& waiter = *waiterOwned;
        DueCheck check(&AppStore, std::move(waiterOwned));
        Receiver receiver;
        connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
        QVERIFY(check.start());

        // Drain found ids meanwhile, as the main window does.
        QTRY_VERIFY(receiver.messages >= 5);
        QVERIFY(!check.context().takeDue().isEmpty());

        app.ReleaseStore();
        QVERIFY(!app.database());
        // Passes that began after the release find nothing any more.
        const int afterRelease = waiter.waits();
        QTRY_VERIFY(waiter.waits() >= afterRelease + 2);
        check.context().takeDue();
        QTRY_VERIFY(waiter.waits() >= afterRelease + 20);
        QVERIFY(check.context().takeDue().isEmpty());

        check.requestStop();
        check.join();
        QVERIFY(rig.db->IsConnected()); // only the application's connection was released
    }

    void realWaiterWakesAtItsSecondAndNeverAfterInterrupt()
    {
        SystemLocalClock real;
        seams::setClock(&real);
        TimerfdDueWaiter waiter;
        for (int i = 0; i < 2; ++i) {
            const QDateTime until = reminders::WholeSeconds(real.now()).addSecs(1);
            waiter.waitUntil(until);
            const qint64 late = until.msecsTo(real.now());
            QVERIFY2(late >= 0, "woke before its second began");
            QVERIFY2(late < 300, "woke long after its second began");
        }
        // A wake makes one wait return at once, the next one waits again.
        waiter.wake();
        QElapsedTimer elapsed;
        elapsed.start();
        waiter.waitUntil(real.now().addSecs(3600));
        QVERIFY(elapsed.elapsed() < 500);
        // Another file of the folder changing does not wake it; the watched one does.
        QTemporaryDir dir;
        const QString watched = dir.filePath(QStringLiteral("tolva.dat"));
        QVERIFY(WriteAll(watched, "x"));
        waiter.watchFile(watched);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            WriteAll(dir.filePath(QStringLiteral("Settings.ini")), "y");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            WriteAll(watched + QStringLiteral("-journal"), "z");
        });
        elapsed.restart();
        waiter.waitUntil(real.now().addSecs(3600));
        writer.join();
        QVERIFY2(elapsed.elapsed() >= 550 && elapsed.elapsed() < 3000,
                 qPrintable(QString::number(elapsed.elapsed())));
        // The zone's file replaced by a rename, as timedated does, wakes it too.
        const QString zoneFile = dir.filePath(QStringLiteral("localtime"));
        QVERIFY(WriteAll(zoneFile, "UTC"));
        TimerfdDueWaiter zoneWaiter(zoneFile);
        std::thread zoneSetter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            WriteAll(dir.filePath(QStringLiteral(".#localtime")), "Asia/Shanghai");
            ::rename(QFile::encodeName(dir.filePath(QStringLiteral(".#localtime"))).constData(),
                     QFile::encodeName(zoneFile).constData());
        });
        elapsed.restart();
        zoneWaiter.waitUntil(real.now().addSecs(3600));
        zoneSetter.join();
        QVERIFY2(elapsed.elapsed() >= 250 && elapsed.elapsed() < 3000,
                 qPrintable(QString::number(elapsed.elapsed())));
        waiter.interrupt();
        // Were any of these to wait, the test would run out of time.
        for (int i = 0; i < 2000; ++i)
            waiter.waitUntil(real.now().addSecs(3600));
        seams::setClock(nullptr);
    }

    void destroyingARunningCheckStopsItsWorker()
    {
        Rig rig;
        const QString id = rig.add("2026-01-01", "10:00:00");
        Receiver receiver;
        {
            auto waiterOwned = std::make_unique<ManualWaiter>();
            ManualWaiter& waiter = *waiterOwned;
            DueCheck check(rig.provider(), std::move(waiterOwned));
            connect(&check, &DueCheck::remindersDue, &receiver, &Receiver::onDue, Qt::QueuedConnection);
            QVERIFY(check.start());
            QVERIFY(waiter.awaitEntered(1));
            QCOMPARE(check.context().takeDue(), QStringList{id});
        }
        // The destructor interrupted and joined the worker (else this would hang);
        // messages of a destroyed sender still reach the receiver harmlessly.
        QTRY_COMPARE(receiver.messages, 2);
    }
};

QTEST_GUILESS_MAIN(TestDueCheck)
#include "tst_duecheck.moc"
