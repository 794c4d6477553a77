// The due check and the editor in real zones: daylight-saving steps (a skipped
// hour, an hour shown twice, Santiago's steps at midnight, Lord Howe's
// half-hour) and the local zone changed while the program runs.
#include "base/WallTime.h"
#include "calendar/Recurrence.h"
#include "platform/Seams.h"
#include "reminders/DueCheck.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <cstdio>
#include <ctime>

namespace {
const QString kTable = QStringLiteral("recordmsg");

void setZone(const QByteArray& zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

// An instant written in UTC ("2027-03-28T01:10:00Z"), as a local date-time of
// the zone now in force, as the real clock hands it out.
QDateTime utc(const QString& text)
{
    return QDateTime::fromString(text, Qt::ISODate).toLocalTime();
}

// A waiter that never runs: the tests call the passes themselves.
class NoWaiter final : public DueWaiter
{
public:
    void waitUntil(const QDateTime&) override {}
    void wake() override {}
    void interrupt() override {}
};

// Fake seams, a temporary program folder and its store, opened.
struct Rig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();
    DueCheck check{[this] { return db; }, std::make_unique<NoWaiter>()};

    Rig()
    {
        QString message;
        if (db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                     message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    // "[~][subject|]date time", date possibly "Every Day", recorded long before;
    // "~": a record shown long ago, snoozed until that wall date and time.
    QStringList add(const QStringList& records)
    {
        QStringList ids;
        for (QString record : records) {
            const bool snoozed = record.startsWith('~');
            if (snoozed)
                record.remove(0, 1);
            const QString subject = record.contains('|') ? record.section('|', 0, 0) : QStringLiteral("主题");
            const QString r = record.section('|', -1);
            const Row row{subject,
                          QStringLiteral("内容"),
                          snoozed ? QStringLiteral("2020-01-01") : r.section(' ', 0, -2),
                          snoozed ? QStringLiteral("12:00:00") : r.section(' ', -1),
                          QStringLiteral("0"),
                          QStringLiteral("2020-01-01 00:00:00")};
            QString message;
            if (db->InsertRows(kTable, reminders::InsertFields(), {row}, 1, message) != 1)
                qFatal("insert failed: %s", qPrintable(message));
            RowSet rows;
            db->SelectRows(kTable, QString(), {QStringLiteral("id")}, rows, 1, message);
            ids.append(rows.value(0).value(0));
            if (snoozed && repeat::Snooze(*db, ids.last(), calendar::wallFromText(r), message) != 1)
                qFatal("snooze failed: %s", qPrintable(message));
        }
        return ids;
    }
    QStringList pick(const QStringList& ids, const QList<int>& indices)
    {
        QStringList picked;
        for (int i : indices)
            picked.append(ids.at(i));
        return picked;
    }
    QStringList passAt(const QDateTime& now)
    {
        fakes.clock.set(now);
        return check.runPass();
    }
};
} // namespace

class TestDueZones : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { setZone("Asia/Shanghai"); }

    // The instant at which a wall date and time falls due.
    void wallTimeFallsDueAt_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("wall");
        QTest::addColumn<QString>("due"); // UTC
        QTest::newRow("a plain hour in Shanghai") << QByteArray("Asia/Shanghai") << "2026-01-01 10:00:00"
                                                  << "2026-01-01T02:00:00Z";
        QTest::newRow("Berlin: the last second before the skipped hour")
            << QByteArray("Europe/Berlin") << "2027-03-28 01:59:59"
            << "2027-03-28T00:59:59Z";
        QTest::newRow("Berlin: a time in the skipped hour is shifted by it")
            << QByteArray("Europe/Berlin") << "2027-03-28 02:10:00"
            << "2027-03-28T01:10:00Z";
        QTest::newRow("Berlin: the hour after the step")
            << QByteArray("Europe/Berlin") << "2027-03-28 03:10:00"
            << "2027-03-28T01:10:00Z";
        QTest::newRow("Berlin: a time shown twice falls due at the first showing")
            << QByteArray("Europe/Berlin") << "2027-10-31 02:30:00"
            << "2027-10-31T00:30:00Z";
        QTest::newRow("Berlin: the end of the hour shown twice")
            << QByteArray("Europe/Berlin") << "2027-10-31 03:00:00"
            << "2027-10-31T02:00:00Z";
        QTest::newRow("New York: skipped") << QByteArray("America/New_York") << "2027-03-14 02:30:00"
                                           << "2027-03-14T07:30:00Z";
        QTest::newRow("New York: shown twice") << QByteArray("America/New_York") << "2027-11-07 01:30:00"
                                               << "2027-11-07T05:30:00Z";
        QTest::newRow("Santiago: midnight is skipped")
            << QByteArray("America/Santiago") << "2026-09-06 00:00:00"
            << "2026-09-06T04:00:00Z";
        QTest::newRow("Santiago: the evening hour shown twice")
            << QByteArray("America/Santiago") << "2027-04-03 23:30:00"
            << "2027-04-04T02:30:00Z";
        QTest::newRow("Lord Howe: half an hour skipped")
            << QByteArray("Australia/Lord_Howe") << "2026-10-04 02:10:00"
            << "2026-10-03T15:40:00Z";
        QTest::newRow("Lord Howe: half an hour shown twice")
            << QByteArray("Australia/Lord_Howe") << "2027-04-04 01:45:00"
            << "2027-04-03T14:45:00Z";
    }
    void wallTimeFallsDueAt()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, wall);
        QFETCH(QString, due);
        setZone(zone);
        const QDateTime w = QDateTime::fromString(wall, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const QDateTime moment = walltime::WallMoment(w.date(), w.time());
        QCOMPARE(moment.toUTC(), QDateTime::fromString(due, Qt::ISODate));
        QCOMPARE(moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), wall);

        // The due check finds the record at that second, and only there.
        Rig rig;
        const QStringList ids = rig.add({wall});
        const QDateTime at = utc(due);
        QCOMPARE(DueCheck::FindDueIds(rig.db.get(), at), ids);
        QVERIFY(DueCheck::FindDueIds(rig.db.get(), at.addSecs(-1)).isEmpty());
        QVERIFY(DueCheck::FindDueIds(rig.db.get(), at.addSecs(1)).isEmpty());
        QCOMPARE(DueCheck::FindNextDue(rig.db.get(), at.addSecs(-1)), at);
    }

    // A pass after one at "last" (both UTC), in a zone with a step near.
    void passAcrossDaylightSaving_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("Berlin: a skipped time at its shifted second")
            << QByteArray("Europe/Berlin") << "2027-03-28T01:09:59Z"
            << "2027-03-28T01:10:00Z"
            << QStringList{"2027-03-28 02:10:00", "2027-03-28 03:10:00", "2027-03-28 02:10:01"}
            << QList<int>{1, 0};
        QTest::newRow("Berlin: asleep across the step")
            << QByteArray("Europe/Berlin") << "2027-03-28T00:59:00Z"
            << "2027-03-28T01:30:00Z"
            << QStringList{"2027-03-28 03:20:00", "2027-03-28 02:10:00", "2027-03-28 03:31:00",
                           "2027-03-28 01:59:30", "2027-03-28 02:45:00"}
            << QList<int>{3, 1, 0};
        QTest::newRow("Berlin: a snooze in the skipped hour at its shifted second")
            << QByteArray("Europe/Berlin") << "2027-03-28T01:09:59Z"
            << "2027-03-28T01:10:00Z" << QStringList{"~2027-03-28 02:10:00", "~2027-03-28 03:10:01"}
            << QList<int>{0};
        QTest::newRow("Berlin: a snooze shown twice, at its first showing only")
            << QByteArray("Europe/Berlin") << "2027-10-31T00:29:59Z"
            << "2027-10-31T00:30:00Z" << QStringList{"~2027-10-31 02:30:00"} << QList<int>{0};
        QTest::newRow("Berlin: a time shown twice, at its first showing")
            << QByteArray("Europe/Berlin") << "2027-10-31T00:29:59Z"
            << "2027-10-31T00:30:00Z" << QStringList{"2027-10-31 02:30:00"} << QList<int>{0};
        QTest::newRow("Berlin: a time shown twice, not at its second showing")
            << QByteArray("Europe/Berlin") << "2027-10-31T01:29:59Z"
            << "2027-10-31T01:30:00Z" << QStringList{"2027-10-31 02:30:00", "Every Day 02:30:00"}
            << QList<int>{};
        QTest::newRow("Berlin: asleep through the second showing")
            << QByteArray("Europe/Berlin") << "2027-10-31T00:45:00Z"
            << "2027-10-31T01:45:00Z"
            << QStringList{"2027-10-31 02:30:00", "2027-10-31 02:50:00", "2027-10-31 03:00:00"}
            << QList<int>{1};
        QTest::newRow("Santiago: the skipped midnight")
            << QByteArray("America/Santiago") << "2026-09-06T03:59:59Z"
            << "2026-09-06T04:00:00Z"
            << QStringList{"2026-09-06 00:00:00", "2026-09-06 01:00:00", "2026-09-05 23:59:59"}
            << QList<int>{1, 0};
        QTest::newRow("Lord Howe: a skipped time at its shifted second")
            << QByteArray("Australia/Lord_Howe") << "2026-10-03T15:39:59Z"
            << "2026-10-03T15:40:00Z" << QStringList{"2026-10-04 02:10:00", "Every Day 02:40:00"}
            << QList<int>{1, 0};
    }
    void passAcrossDaylightSaving()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, last);
        QFETCH(QString, now);
        QFETCH(QStringList, records);
        QFETCH(QList<int>, found);
        setZone(zone);
        Rig rig;
        const QStringList ids = rig.add(records);
        rig.passAt(utc(last));
        QCOMPARE(rig.passAt(utc(now)), rig.pick(ids, found));
        QVERIFY(rig.passAt(utc(now)).isEmpty());
    }

    // The worker's wake-ups through a night with a step, a pass at each: few
    // (never one a second), and each record handed over once, at its second.
    void wakeUpsAcrossTheNight_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("wakes"); // UTC, up to end
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("Berlin, spring forward")
            << QByteArray("Europe/Berlin") << "2027-03-27T21:00:00Z"
            << "2027-03-28T03:00:00Z"
            << QStringList{"2027-03-28 02:00:10", "2027-03-28 03:00:20", "2027-03-28 01:30:00"}
            << QStringList{"2027-03-27T23:00:00Z", "2027-03-28T00:30:00Z", "2027-03-28T01:00:10Z",
                           "2027-03-28T01:00:20Z"}
            << QList<int>{2, 0, 1};
        QTest::newRow("Berlin, spring forward, a snooze in the skipped hour")
            << QByteArray("Europe/Berlin") << "2027-03-27T21:00:00Z"
            << "2027-03-28T03:00:00Z" << QStringList{"~2027-03-28 02:00:10", "2027-03-28 03:00:20"}
            << QStringList{"2027-03-27T23:00:00Z", "2027-03-28T01:00:10Z", "2027-03-28T01:00:20Z"}
            << QList<int>{0, 1};
        QTest::newRow("Berlin, fall back")
            << QByteArray("Europe/Berlin") << "2027-10-30T21:00:00Z"
            << "2027-10-31T03:00:00Z"
            << QStringList{"2027-10-31 02:30:00", "Every Day 02:40:00", "2027-10-31 03:00:00"}
            << QStringList{"2027-10-30T22:00:00Z", "2027-10-31T00:30:00Z", "2027-10-31T00:40:00Z",
                           "2027-10-31T02:00:00Z"}
            << QList<int>{0, 1, 2};
        QTest::newRow("Santiago, a skipped midnight")
            << QByteArray("America/Santiago") << "2026-09-05T22:00:00Z"
            << "2026-09-06T08:00:00Z" << QStringList{"2026-09-05 20:00:00", "Every Day 00:30:00"}
            << QStringList{"2026-09-06T00:00:00Z", "2026-09-06T04:00:00Z", "2026-09-06T04:30:00Z"}
            << QList<int>{0, 1};
        QTest::newRow("Santiago, an evening shown twice")
            << QByteArray("America/Santiago") << "2027-04-03T23:00:00Z"
            << "2027-04-04T05:00:00Z" << QStringList{"2027-04-03 23:30:00"}
            << QStringList{"2027-04-04T02:30:00Z", "2027-04-04T04:00:00Z"} << QList<int>{0};
        QTest::newRow("Lord Howe, half an hour skipped")
            << QByteArray("Australia/Lord_Howe") << "2026-10-03T13:00:00Z"
            << "2026-10-03T16:00:00Z" << QStringList{"2026-10-04 02:10:00"}
            << QStringList{"2026-10-03T13:30:00Z", "2026-10-03T15:40:00Z"} << QList<int>{0};
    }
    void wakeUpsAcrossTheNight()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, records);
        QFETCH(QStringList, wakes);
        QFETCH(QList<int>, found);
        setZone(zone);
        Rig rig;
        const QStringList ids = rig.add(records);
        const QDateTime last = utc(end);
        QStringList handed = rig.passAt(utc(start));
        QStringList planned;
        for (int i = 0; i < 100; ++i) {
            const QDateTime wake = rig.check.plannedWake();
            QVERIFY(wake.isValid());
            if (wake > last)
                break;
            planned.append(wake.toUTC().toString(Qt::ISODate));
            handed += rig.passAt(wake);
        }
        QCOMPARE(planned, wakes);
        QCOMPARE(handed, rig.pick(ids, found));
    }

    // The reminders missed while the program was not running, across a step.
    void missedAcrossDaylightSaving_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("Berlin: a skipped time, started after it")
            << QByteArray("Europe/Berlin") << "2027-03-28T03:00:00Z"
            << QStringList{"2027-03-28 02:00:10", "2027-03-28 04:59:59", "2027-03-28 05:00:00"}
            << QList<int>{0, 1};
        QTest::newRow("Berlin: a skipped time, started before its shifted second")
            << QByteArray("Europe/Berlin") << "2027-03-28T01:00:05Z"
            << QStringList{"2027-03-28 02:00:10", "2027-03-28 03:00:04"} << QList<int>{1};
        QTest::newRow("Berlin: a time shown twice, started at its second showing")
            << QByteArray("Europe/Berlin") << "2027-10-31T01:40:00Z"
            << QStringList{"2027-10-31 02:30:00", "2027-10-31 02:45:00"} << QList<int>{0, 1};
    }
    void missedAcrossDaylightSaving()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, start);
        QFETCH(QStringList, records);
        QFETCH(QList<int>, found);
        setZone(zone);
        Rig rig;
        const QStringList ids = rig.add(records);
        QCOMPARE(DueCheck::FindMissed(rig.db.get(), utc(start)), rig.pick(ids, found));
    }

    // The local zone changed between two passes, one second apart by the real
    // clock: wall seconds skipped are caught up, wall seconds shown again fall
    // due again, and the next wake-up follows the new wall clock.
    void zoneChangeMovesTheWallClock_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("last"); // UTC; the next pass a second later
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QList<int>>("found");
        QTest::addColumn<QString>("planned"); // UTC
        // 10:00:00 by the clock of UTC, then 18:00:01 by Shanghai's.
        QTest::newRow("east: the skipped wall seconds are caught up")
            << QByteArray("UTC") << QByteArray("Asia/Shanghai") << "2026-01-01T10:00:00Z"
            << QStringList{"Every Day 12:00:00",  "2026-01-01 16:00:00", "关机|2026-01-01 16:00:00",
                           "2026-01-01 18:00:01", "2026-01-01 18:00:02", "2026-01-01 10:00:00"}
            << QList<int>{0, 1, 3} << "2026-01-01T10:00:02Z";
        QTest::newRow("east: a shutdown at the new second acts")
            << QByteArray("UTC") << QByteArray("Asia/Shanghai") << "2026-01-01T10:00:00Z"
            << QStringList{"关机|2026-01-01 18:00:01", "2026-01-01 18:00:25"} << QList<int>{0}
            << "2026-01-01T10:00:25Z";
        QTest::newRow("east: a snooze in the skipped wall seconds is caught up, a shutdown's is not")
            << QByteArray("UTC") << QByteArray("Asia/Shanghai") << "2026-01-01T10:00:00Z"
            << QStringList{"~2026-01-01 16:00:00", "~关机|2026-01-01 16:00:00", "~2026-01-01 18:00:05"}
            << QList<int>{0} << "2026-01-01T10:00:05Z";
        // 18:00:00 by Shanghai's clock, then 10:00:01 by the clock of UTC.
        QTest::newRow("west: the wall seconds shown again fall due again")
            << QByteArray("Asia/Shanghai") << QByteArray("UTC") << "2026-01-01T10:00:00Z"
            << QStringList{"2026-01-01 10:00:01", "2026-01-01 12:00:00", "2026-01-01 09:00:00"}
            << QList<int>{0} << "2026-01-01T12:00:00Z";
        QTest::newRow("west by the step of a zone with daylight saving")
            << QByteArray("Europe/Berlin") << QByteArray("America/New_York") << "2027-07-01T12:00:00Z"
            << QStringList{"2027-07-01 08:00:01", "2027-07-01 13:59:00"} << QList<int>{0}
            << "2027-07-01T17:59:00Z";
    }
    void zoneChangeMovesTheWallClock()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, last);
        QFETCH(QStringList, records);
        QFETCH(QList<int>, found);
        QFETCH(QString, planned);
        setZone(before);
        Rig rig;
        const QStringList ids = rig.add(records);
        const QDateTime first = QDateTime::fromString(last, Qt::ISODate);
        rig.passAt(first.toLocalTime());
        setZone(after);
        QCOMPARE(rig.passAt(first.addSecs(1).toLocalTime()), rig.pick(ids, found));
        QCOMPARE(rig.check.plannedWake().toUTC(), QDateTime::fromString(planned, Qt::ISODate));
    }

    // The worker sleeps until 18:00:01 by the clock of UTC, eight hours away;
    // the zone becomes Shanghai's, whose 18:00:01 is a second away. The rename of
    // the zone's file wakes it within a second, and it plans afresh.
    void zoneChangedWhileTheWorkerSleeps()
    {
        setZone("UTC");
        Rig rig;
        const QString id = rig.add({"2026-01-01 18:00:01"}).value(0);
        const QDateTime ten = QDateTime::fromString(QStringLiteral("2026-01-01T10:00:00Z"), Qt::ISODate);
        rig.fakes.clock.set(ten);
        QTemporaryDir dir;
        const QString zoneFile = dir.filePath(QStringLiteral("localtime"));
        QVERIFY(WriteAll(zoneFile, "UTC"));
        DueCheck check([&rig] { return rig.db; }, std::make_unique<TimerfdDueWaiter>(zoneFile));
        int messages = 0;
        connect(
            &check, &DueCheck::remindersDue, this, [&messages] { ++messages; }, Qt::QueuedConnection);
        QVERIFY(check.start());
        QTRY_COMPARE(check.plannedWake(), ten.addSecs(8 * 3600 + 1));

        setZone("Asia/Shanghai");
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(WriteAll(dir.filePath(QStringLiteral("new")), "Asia/Shanghai"));
        QCOMPARE(::rename(QFile::encodeName(dir.filePath(QStringLiteral("new"))).constData(),
                          QFile::encodeName(zoneFile).constData()),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(check.plannedWake(), ten.addSecs(1), 1000);
        QVERIFY(elapsed.elapsed() < 1000);
        QCOMPARE(messages, 0);
        rig.fakes.clock.set(ten.addSecs(1));
        QTRY_COMPARE_WITH_TIMEOUT(messages, 1, 3000);
        QCOMPARE(check.context().takeDue(), QStringList{id});
        check.requestStop();
        check.join();
    }
};

QTEST_GUILESS_MAIN(TestDueZones)
#include "tst_duezones.moc"
