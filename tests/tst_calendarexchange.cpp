// Records as iCalendar events and back through the data file: each kind of
// record exported, events stored under the import rules (zones, alarms,
// all-day events, texts cut to the editor's limits, shutdown pairs),
// acknowledgements made elsewhere, UIDs kept, and files round-tripped.
#include "base/SettingsFile.h"
#include "calendar/Recurrence.h"
#include "reminders/CalendarExchange.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <ctime>

Q_DECLARE_METATYPE(calendar::ReminderEvent)

using calendar::ReminderEvent;
using reminders::StoreOutcome;

namespace {
const QString kTable = QStringLiteral("recordmsg");

QDateTime wall(const QString& text)
{
    return calendar::wallFromText(text);
}

QDateTime utc(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    t.setTimeSpec(Qt::UTC);
    return t;
}

void setZone(const QByteArray& zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

struct Rig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    CAdoDatabase db;

    Rig() { open(db, QStringLiteral("tolva.dat")); }
    static void open(CAdoDatabase& db, const QString& file)
    {
        QString message;
        if (db.Open(QStringLiteral("file"), QStringLiteral("myTolva/") + file, QString(), QString(),
                    message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    // A second, empty data file beside the first, opened on `other`.
    void openEmpty(CAdoDatabase& other)
    {
        QFile::copy(folder.databaseFile(), folder.dataFolder() + QStringLiteral("/other.dat"));
        open(other, QStringLiteral("other.dat"));
    }
    QString add(const QStringList& values, const std::optional<repeat::Rule>& rule = std::nullopt)
    {
        QString message;
        const QString id = reminders::AddRecord(db, values, rule, message);
        if (id.isEmpty())
            qFatal("add failed: %s", qPrintable(message));
        return id;
    }
    static Row record(CAdoDatabase& db, const QString& id)
    {
        RowSet rows;
        QString message;
        db.SelectRows(kTable, QStringLiteral("where id=") + id, reminders::InsertFields(), rows, 1, message);
        return rows.value(0);
    }
    static QString acknowledged(CAdoDatabase& db, const QString& id)
    {
        RowSet rows;
        QString message;
        db.SelectRows(QStringLiteral("recordack"), QStringLiteral("where id=") + id, {QStringLiteral("at")},
                      rows, 1, message);
        return rows.value(0).value(0);
    }
    static int count(CAdoDatabase& db)
    {
        QString message;
        return db.CountRows(kTable, QString(), message);
    }
};

ReminderEvent makeEvent(const QString& uid, const QString& start, const QString& rrule = QString(),
                        const QString& tzid = QString())
{
    ReminderEvent e;
    e.uid = uid;
    e.summary = QStringLiteral("主题");
    e.description = QStringLiteral("内容");
    e.start = wall(start);
    e.rrule = rrule;
    e.tzid = tzid;
    e.stamp = utc(QStringLiteral("2025-06-15T00:00:00Z"));
    return e;
}

const QString kLunar = QStringLiteral("RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15");
const QString kWeekdays = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
} // namespace

class TestCalendarExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setZone("Asia/Shanghai"); }
    void cleanup() { setZone("Asia/Shanghai"); }

    void eventOfRecord_data();
    void eventOfRecord();
    void seriesDatesForOtherReaders();
    void storeEvent_data();
    void storeEvent();
    void acknowledgement_data();
    void acknowledgement();
    void existingUid();
    void fileRoundTrip();
    void zoneKeepsWallTimeAcrossDst_data();
    void zoneKeepsWallTimeAcrossDst();
};

void TestCalendarExchange::eventOfRecord_data()
{
    QTest::addColumn<QString>("record"); // "subject|content|date time|use"
    QTest::addColumn<QString>("rule");   // "dtstart|rrule|tzid|alarm" ("CN": workdays), or empty
    QTest::addColumn<QString>("ack");    // recordack.at, or empty
    QTest::addColumn<QString>("event");  // "start|rrule|cancelled", or empty: not exported

    QTest::newRow("a dated record is a one-off at its date and time") << "主题|内容|2026-03-01 08:30:00|0"
                                                                      << ""
                                                                      << ""
                                                                      << "2026-03-01 08:30:00||0";
    QTest::newRow("a record every day repeats daily from the day it was added")
        << "主题|内容|Every Day 07:00:00|0"
        << ""
        << ""
        << "2025-06-15 07:00:00|FREQ=DAILY|0";
    QTest::newRow("a weekly series starts at its first occurrence")
        << "主题|内容|2026-01-02 09:00:00|0"
        << "2025-12-31 09:00:00|FREQ=WEEKLY;BYDAY=FR||0"
        << ""
        << "2026-01-02 09:00:00|FREQ=WEEKLY;BYDAY=FR|0";
    QTest::newRow("a monthly series on the 31st") << "主题|内容|2026-01-31 10:00:00|0"
                                                  << "2026-01-31 10:00:00|FREQ=MONTHLY;BYMONTHDAY=31||0"
                                                  << ""
                                                  << "2026-01-31 10:00:00|FREQ=MONTHLY;BYMONTHDAY=31|0";
    QTest::newRow("a yearly series on the leap day starts in the next leap year")
        << "主题|内容|2028-02-29 08:00:00|0"
        << "2026-01-01 08:00:00|FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29||0"
        << ""
        << "2028-02-29 08:00:00|FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29|0";
    QTest::newRow("a lunar series keeps its lunar rule and starts at mid-autumn")
        << "主题|内容|2026-09-25 08:00:00|0"
        << "2026-01-01 08:00:00|" + kLunar + "||0"
        << ""
        << "2026-09-25 08:00:00|" + kLunar + "|0";
    QTest::newRow("a workday series is Monday to Friday from its first workday")
        << "主题|内容|2026-01-04 08:00:00|0"
        << "2026-01-01 08:00:00|CN||0"
        << ""
        << "2026-01-04 08:00:00|" + kWeekdays + "|0";
    QTest::newRow("a series with a zone counts in it") << "主题|内容|2026-01-02 22:00:00|0"
                                                       << "2026-01-02 09:00:00|FREQ=WEEKLY|America/New_York|0"
                                                       << ""
                                                       << "2026-01-02 09:00:00|FREQ=WEEKLY|0";
    QTest::newRow("a series with an alarm keeps it") << "主题|内容|2026-01-02 08:45:00|0"
                                                     << "2026-01-02 09:00:00|FREQ=DAILY||900"
                                                     << ""
                                                     << "2026-01-02 09:00:00|FREQ=DAILY|0";
    QTest::newRow("an acknowledged record carries when") << "主题|内容|2026-01-02 09:00:00|0"
                                                         << "2026-01-01 09:00:00|FREQ=DAILY||0"
                                                         << "2026-01-01T01:00:07Z"
                                                         << "2026-01-01 09:00:00|FREQ=DAILY|0";
    QTest::newRow("a cancelled series is cancelled") << "主题|内容|2026-01-02 09:00:00|1"
                                                     << "2026-01-02 09:00:00|FREQ=DAILY||0"
                                                     << ""
                                                     << "2026-01-02 09:00:00|FREQ=DAILY|1";
    QTest::newRow("a cancelled record every day is cancelled") << "主题|内容|Every Day 07:00:00|1"
                                                               << ""
                                                               << ""
                                                               << "2025-06-15 07:00:00|FREQ=DAILY|1";
    QTest::newRow("a cancelled one-off still to come is cancelled") << "主题|内容|2026-03-01 08:30:00|1"
                                                                    << ""
                                                                    << ""
                                                                    << "2026-03-01 08:30:00||1";
    QTest::newRow("a one-off shown and kept is done, not cancelled") << "主题|内容|2025-12-01 08:30:00|1"
                                                                     << ""
                                                                     << ""
                                                                     << "2025-12-01 08:30:00||0";
    QTest::newRow("a direct shutdown record is not exported") << "关机|直接关机|2026-03-01 08:30:00|0"
                                                              << ""
                                                              << ""
                                                              << "";
    QTest::newRow("a shutdown record with a prompt is not exported") << "关机|需要提示|2026-03-01 08:30:00|0"
                                                                     << ""
                                                                     << ""
                                                                     << "";
    QTest::newRow("a reminder titled 关机 with other content is exported")
        << "关机|记得关灯|2026-03-01 08:30:00|0"
        << ""
        << ""
        << "2026-03-01 08:30:00||0";
}

void TestCalendarExchange::eventOfRecord()
{
    QFETCH(QString, record);
    QFETCH(QString, rule);
    QFETCH(QString, ack);
    QFETCH(QString, event);
    Rig rig;
    const QStringList r = record.split('|'), ru = rule.split('|'), ev = event.split('|');
    std::optional<repeat::Rule> stored;
    if (!rule.isEmpty()) {
        const bool cn = ru.at(1) == QLatin1String("CN");
        stored = repeat::Rule{QString(),
                              ru.at(0),
                              cn ? QString() : ru.at(1),
                              cn ? QStringLiteral("CN") : QString(),
                              ru.at(2),
                              ru.at(3).toLongLong()};
    }
    const QString id = rig.add({r.at(0), r.at(1), r.at(2).section(' ', 0, -2), r.at(2).section(' ', -1),
                                r.at(3), QStringLiteral("2025-06-15 08:00:00")},
                               stored);
    if (!ack.isEmpty()) {
        QString message;
        QCOMPARE(rig.db.InsertRows(QStringLiteral("recordack"), {QStringLiteral("id"), QStringLiteral("at")},
                                   {{id, ack}}, 1, message),
                 1);
    }
    const std::optional<ReminderEvent> e = reminders::EventOfRecord(rig.db, id);
    QCOMPARE(e.has_value(), !event.isEmpty());
    if (!e)
        return;
    QCOMPARE(e->uid, repeat::UidOf(rig.db, id));
    QVERIFY(!e->uid.isEmpty());
    QCOMPARE(e->summary, r.at(0));
    QCOMPARE(e->description, r.at(1));
    QCOMPARE(calendar::wallText(e->start), ev.at(0));
    QCOMPARE(e->rrule, ev.at(1));
    QCOMPARE(e->cancelled, ev.at(2) == QLatin1String("1"));
    QCOMPARE(e->tzid, stored ? stored->tzid : QString());
    QCOMPARE(e->alarmSeconds, stored ? stored->alarm : 0);
    QCOMPARE(e->workdays, stored ? stored->workdays : QString());
    QCOMPARE(e->acknowledged, ack.isEmpty() ? QDateTime() : utc(ack));
    // Added at 08:00 Shanghai time.
    QCOMPARE(e->stamp, utc(QStringLiteral("2025-06-15T00:00:00Z")));
}

// Lunar series travel as their dates for at least ten years, workday series
// as Monday to Friday with the official calendar's exceptions.
void TestCalendarExchange::seriesDatesForOtherReaders()
{
    Rig rig;
    const QStringList values{QStringLiteral("中秋"),       QStringLiteral("赏月"),
                             QStringLiteral("2026-09-25"), QStringLiteral("08:00:00"),
                             QStringLiteral("0"),          QStringLiteral("2025-06-15 08:00:00")};
    const QString lunar = rig.add(values, repeat::Rule{QString(), "2026-01-01 08:00:00", kLunar, {}, {}});
    const std::optional<ReminderEvent> moon = reminders::EventOfRecord(rig.db, lunar);
    QVERIFY(moon);
    QVERIFY(moon->rdates.size() >= 11);
    QCOMPARE(calendar::wallText(moon->rdates.first()), QStringLiteral("2026-09-25 08:00:00"));
    QVERIFY(moon->rdates.last() >= wall(QStringLiteral("2036-01-01 00:00:00")));
    // Mid-autumn 2027 and 2030.
    QVERIFY(moon->rdates.contains(wall(QStringLiteral("2027-09-15 08:00:00"))));
    QVERIFY(moon->rdates.contains(wall(QStringLiteral("2030-09-12 08:00:00"))));

    const QString work = rig.add(values, repeat::Rule{QString(), "2025-12-31 08:00:00", {}, "CN", {}});
    const std::optional<ReminderEvent> days = reminders::EventOfRecord(rig.db, work);
    QVERIFY(days);
    // New Year's Day and the Spring Festival off, the Sundays before and after worked.
    QVERIFY(days->exdates.contains(wall(QStringLiteral("2026-01-01 08:00:00"))));
    QVERIFY(days->exdates.contains(wall(QStringLiteral("2026-02-16 08:00:00"))));
    QVERIFY(days->rdates.contains(wall(QStringLiteral("2026-01-04 08:00:00"))));
    QVERIFY(days->rdates.contains(wall(QStringLiteral("2026-02-28 08:00:00"))));
    // Nothing before the series' start; no ordinary weekend.
    for (const QDateTime& d : days->exdates + days->rdates)
        QVERIFY2(d >= days->start || d.date() == QDate(2025, 12, 31), qPrintable(calendar::wallText(d)));
    QVERIFY(!days->rdates.contains(wall(QStringLiteral("2026-01-10 08:00:00"))));
}

void TestCalendarExchange::storeEvent_data()
{
    QTest::addColumn<ReminderEvent>("e");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("use");
    QTest::addColumn<QString>("rule"); // "dtstart|rrule|workdays|tzid|alarm", empty: none

    const QString s = QStringLiteral("主题"), c = QStringLiteral("内容");
    const int stored = StoreOutcome::Stored, simplified = StoreOutcome::Simplified;
    QTest::newRow("a one-off still to come is stored as it is")
        << makeEvent("a", "2026-02-01 09:00:00") << stored << s << c << "2026-02-01 09:00:00"
        << "0"
        << "";
    QTest::newRow("a one-off whose moment has passed is stored done")
        << makeEvent("a", "2025-12-01 09:00:00") << stored << s << c << "2025-12-01 09:00:00"
        << "1"
        << "";
    ReminderEvent e = makeEvent("a", "2026-02-01 09:00:00");
    e.cancelled = true;
    QTest::newRow("a cancelled event is stored cancelled") << e << stored << s << c << "2026-02-01 09:00:00"
                                                           << "1"
                                                           << "";
    QTest::newRow("a one-off in another zone falls due at the local moment")
        << makeEvent("a", "2026-02-01 09:00:00", "", "America/New_York") << stored << s << c
        << "2026-02-01 22:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.alarmSeconds = 900;
    QTest::newRow("a one-off falls due at its alarm") << e << stored << s << c << "2026-02-01 08:45:00"
                                                      << "0"
                                                      << "";
    e = makeEvent("a", "2026-02-01 00:00:00");
    e.allDay = true;
    QTest::newRow("an all-day event falls due at the all-day time")
        << e << stored << s << c << "2026-02-01 07:30:00"
        << "0"
        << "";
    QTest::newRow("a weekly series keeps its zone and falls due in local time")
        << makeEvent("a", "2026-01-02 09:00:00", "FREQ=WEEKLY", "America/New_York") << stored << s << c
        << "2026-01-02 22:00:00"
        << "0"
        << "2026-01-02 09:00:00|FREQ=WEEKLY||America/New_York|0";
    e = makeEvent("a", "2026-01-01 09:00:00", "FREQ=DAILY");
    e.alarmSeconds = 1800;
    QTest::newRow("a series' alarm makes each occurrence fall due before its start")
        << e << stored << s << c << "2026-01-02 08:30:00"
        << "0"
        << "2026-01-01 09:00:00|FREQ=DAILY|||1800";
    e = makeEvent("a", "2026-09-25 08:00:00", kLunar);
    e.rdates = {wall("2026-09-25 08:00:00"), wall("2027-09-15 08:00:00")};
    QTest::newRow("a lunar series of our own is a lunar series again")
        << e << stored << s << c << "2026-09-25 08:00:00"
        << "0"
        << "2026-09-25 08:00:00|" + kLunar + "|||0";
    e = makeEvent("a", "2026-01-04 08:00:00", kWeekdays);
    e.workdays = QStringLiteral("CN");
    e.exdates = {wall("2026-02-16 08:00:00")};
    QTest::newRow("a workday series of our own follows the official calendar again")
        << e << stored << s << c << "2026-01-04 08:00:00"
        << "0"
        << "2026-01-04 08:00:00||CN||0";
    e = makeEvent("a", "2026-01-02 09:00:00", "FREQ=WEEKLY");
    e.exdates = {wall("2026-01-09 09:00:00")};
    QTest::newRow("another program's excepted dates are dropped and counted")
        << e << simplified << s << c << "2026-01-02 09:00:00"
        << "0"
        << "2026-01-02 09:00:00|FREQ=WEEKLY|||0";
    QTest::newRow("a series that has ended keeps its first occurrence, done")
        << makeEvent("a", "2025-01-01 09:00:00", "FREQ=DAILY;COUNT=2") << simplified << s << c
        << "2025-01-01 09:00:00"
        << "1"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.summary = QString(30, QChar(0x957F)); // 60 GBK bytes
    QTest::newRow("a subject too long for the editor is cut with an ellipsis")
        << e << simplified << QString(25, QChar(0x957F)) + "…" << c << "2026-02-01 09:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.description = "a" + QString(200, QChar(0x957F));
    QTest::newRow("a content too long is cut at a character boundary")
        << e << simplified << s << "a" + QString(126, QChar(0x957F)) + "…"
        << "2026-02-01 09:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.summary = QString::fromUtf8("😀").repeated(20); // four bytes each, beyond GBK
    QTest::newRow("a subject of characters beyond GBK is never split")
        << e << simplified << QString::fromUtf8("😀").repeated(12) + "…" << c << "2026-02-01 09:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.summary = QStringLiteral("关机");
    e.description = QStringLiteral("直接关机");
    QTest::newRow("a 关机 pair becomes an imported reminder, never a shutdown")
        << e << simplified << "关机（导入）"
        << "直接关机"
        << "2026-02-01 09:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.description.clear();
    QTest::newRow("an event without a description reminds with its summary")
        << e << stored << s << s << "2026-02-01 09:00:00"
        << "0"
        << "";
    e = makeEvent("a", "2026-02-01 09:00:00");
    e.simplified = true;
    QTest::newRow("an event read with something dropped counts as simplified")
        << e << simplified << s << c << "2026-02-01 09:00:00"
        << "0"
        << "";
}

void TestCalendarExchange::storeEvent()
{
    QFETCH(ReminderEvent, e);
    QFETCH(int, kind);
    QFETCH(QString, subject);
    QFETCH(QString, content);
    QFETCH(QString, when);
    QFETCH(QString, use);
    QFETCH(QString, rule);
    Rig rig;
    settings::WriteAllDayTime(QStringLiteral("07:30:00"));
    const StoreOutcome out = reminders::StoreEvent(rig.db, e, false);
    QCOMPARE(int(out.kind), kind);
    QCOMPARE(repeat::UidOf(rig.db, out.id), e.uid);
    const Row r = Rig::record(rig.db, out.id);
    QCOMPARE(r.value(0), subject);
    QCOMPARE(r.value(1), content);
    QCOMPARE(r.value(2) + ' ' + r.value(3), when);
    QCOMPARE(r.value(4), use);
    QCOMPARE(r.value(5), QStringLiteral("2025-06-15 08:00:00"));
    const std::optional<repeat::Rule> stored = repeat::ReadRule(rig.db, out.id);
    QCOMPARE(stored.has_value(), !rule.isEmpty());
    if (stored) {
        const QStringList was{stored->dtstart, stored->rrule, stored->workdays, stored->tzid,
                              QString::number(stored->alarm)};
        QCOMPARE(was.join('|'), rule);
    }
}

void TestCalendarExchange::acknowledgement_data()
{
    QTest::addColumn<QString>("rrule"); // empty: a one-off on 2026-02-01 09:00
    QTest::addColumn<QString>("ours");  // recordack before, or empty
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("use");
    QTest::addColumn<QString>("kept");

    QTest::newRow("a newer acknowledgement moves a series past the occurrence acknowledged")
        << "FREQ=DAILY"
        << ""
        << "2026-01-02T01:00:05Z"
        << "2026-01-03 09:00:00"
        << "0"
        << "2026-01-02T01:00:05Z";
    QTest::newRow("an acknowledgement older than ours changes nothing") << "FREQ=DAILY"
                                                                        << "2026-01-02T02:00:00Z"
                                                                        << "2026-01-02T01:00:05Z"
                                                                        << "2026-01-02 09:00:00"
                                                                        << "0"
                                                                        << "2026-01-02T02:00:00Z";
    QTest::newRow("an acknowledgement of an earlier occurrence is kept without moving")
        << "FREQ=DAILY"
        << ""
        << "2025-12-31T01:00:00Z"
        << "2026-01-02 09:00:00"
        << "0"
        << "2025-12-31T01:00:00Z";
    QTest::newRow("a newer acknowledgement of a one-off marks it used") << ""
                                                                        << ""
                                                                        << "2026-01-01T01:00:00Z"
                                                                        << "2026-02-01 09:00:00"
                                                                        << "1"
                                                                        << "2026-01-01T01:00:00Z";
    QTest::newRow("an older acknowledgement of a one-off leaves it to come") << ""
                                                                             << "2026-01-01T02:00:00Z"
                                                                             << "2026-01-01T01:00:00Z"
                                                                             << "2026-02-01 09:00:00"
                                                                             << "0"
                                                                             << "2026-01-01T02:00:00Z";
}

void TestCalendarExchange::acknowledgement()
{
    QFETCH(QString, rrule);
    QFETCH(QString, ours);
    QFETCH(QString, theirs);
    Rig rig;
    ReminderEvent e = rrule.isEmpty() ? makeEvent("ack", "2026-02-01 09:00:00")
                                      : makeEvent("ack", "2026-01-01 09:00:00", rrule);
    const StoreOutcome first = reminders::StoreEvent(rig.db, e, false);
    QCOMPARE(int(first.kind), int(StoreOutcome::Stored));
    if (!ours.isEmpty()) {
        QString message;
        QCOMPARE(rig.db.InsertRows(QStringLiteral("recordack"), {QStringLiteral("id"), QStringLiteral("at")},
                                   {{first.id, ours}}, 1, message),
                 1);
    }
    e.acknowledged = utc(theirs);
    const StoreOutcome again = reminders::StoreEvent(rig.db, e, true);
    QCOMPARE(again.id, first.id);
    const Row r = Rig::record(rig.db, first.id);
    QTEST(r.value(2) + ' ' + r.value(3), "when");
    QTEST(r.value(4), "use");
    QTEST(Rig::acknowledged(rig.db, first.id), "kept");
}

void TestCalendarExchange::existingUid()
{
    Rig rig;
    ReminderEvent e = makeEvent("same", "2026-02-01 09:00:00");
    const StoreOutcome first = reminders::StoreEvent(rig.db, e, false);
    e.summary = QStringLiteral("改了");
    const StoreOutcome skipped = reminders::StoreEvent(rig.db, e, false);
    QCOMPARE(int(skipped.kind), int(StoreOutcome::Skipped));
    QCOMPARE(Rig::record(rig.db, first.id).value(0), QStringLiteral("主题"));
    const StoreOutcome replaced = reminders::StoreEvent(rig.db, e, true);
    QCOMPARE(int(replaced.kind), int(StoreOutcome::Stored));
    QCOMPARE(replaced.id, first.id);
    QCOMPARE(Rig::record(rig.db, first.id).value(0), QStringLiteral("改了"));
    QCOMPARE(Rig::count(rig.db), 1);
}

// Export, import into an empty data file, export again: the same bytes;
// the same file imported twice adds nothing the second time.
void TestCalendarExchange::fileRoundTrip()
{
    Rig rig;
    CAdoDatabase other;
    rig.openEmpty(other);
    const auto values = [](const QString& when, const QString& use) {
        return QStringList{QStringLiteral("主题 ") + when,
                           QStringLiteral("第一行\n第二行，逗号；分号"),
                           when.section(' ', 0, -2),
                           when.section(' ', -1),
                           use,
                           QStringLiteral("2025-06-15 08:00:00")};
    };
    rig.add(values("2026-03-01 08:30:00", "0"));
    rig.add(values("2025-12-01 08:30:00", "1"));
    rig.add(values("2026-03-02 08:30:00", "1"));
    rig.add(values("Every Day 07:00:00", "0"));
    rig.add(values("2026-01-02 09:00:00", "0"),
            repeat::Rule{{}, "2025-12-31 09:00:00", "FREQ=WEEKLY;BYDAY=FR", {}, {}});
    rig.add(values("2026-09-25 08:00:00", "0"), repeat::Rule{{}, "2026-01-01 08:00:00", kLunar, {}, {}});
    rig.add(values("2026-01-04 08:00:00", "0"), repeat::Rule{{}, "2026-01-01 08:00:00", {}, "CN", {}});
    rig.add(values("2026-01-02 22:00:00", "0"),
            repeat::Rule{{}, "2026-01-02 09:00:00", "FREQ=WEEKLY", {}, "America/New_York"});
    const QString acked = rig.add(values("2026-01-02 08:45:00", "1"),
                                  repeat::Rule{{}, "2026-01-02 09:00:00", "FREQ=DAILY", {}, {}, 900});
    QString message;
    QCOMPARE(rig.db.InsertRows(QStringLiteral("recordack"), {QStringLiteral("id"), QStringLiteral("at")},
                               {{acked, "2026-01-01T01:00:00Z"}}, 1, message),
             1);
    rig.add({QStringLiteral("关机"), QStringLiteral("直接关机"), "2026-03-01", "22:00:00", "0",
             "2025-06-15 08:00:00"});
    QVERIFY(repeat::Snooze(rig.db, acked, wall("2026-01-01 10:10:00"), message) == 1);

    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.ics"));
    int count = 0;
    QString error;
    QVERIFY2(reminders::ExportCalendarFile(rig.db, first, count, error), qPrintable(error));
    QCOMPARE(count, 9);

    reminders::ExchangeCounts counts;
    QVERIFY2(reminders::ImportCalendarFile(other, first, counts, error), qPrintable(error));
    QCOMPARE(counts.imported, 9);
    QCOMPARE(counts.simplified, 0);
    QCOMPARE(counts.skipped, 0);
    QVERIFY(reminders::ImportSummaryText(counts).contains(QStringLiteral("9")));
    const QString second = dir.filePath(QStringLiteral("second.ics"));
    QVERIFY2(reminders::ExportCalendarFile(other, second, count, error), qPrintable(error));
    QCOMPARE(ReadAll(second), ReadAll(first));
    QVERIFY(!ReadAll(first).contains("SNOOZE"));

    QVERIFY2(reminders::ImportCalendarFile(other, first, counts, error), qPrintable(error));
    QCOMPARE(counts.imported, 0);
    QCOMPARE(counts.skipped, 9);
    QCOMPARE(Rig::count(other), 9);

    // Errors in Chinese.
    QVERIFY(!reminders::ImportCalendarFile(other, dir.filePath(QStringLiteral("none.ics")), counts, error));
    QVERIFY(error.contains(QStringLiteral("无法读取")));
    QVERIFY(
        !reminders::ExportCalendarFile(other, dir.filePath(QStringLiteral("no/such/x.ics")), count, error));
    QVERIFY(error.contains(QStringLiteral("无法写入")));
}

void TestCalendarExchange::zoneKeepsWallTimeAcrossDst_data()
{
    QTest::addColumn<QString>("after"); // Shanghai wall time
    QTest::addColumn<QString>("due");

    QTest::newRow("before New York's spring change, 09:00 there is 22:00 here") << "2027-03-08 21:59:59"
                                                                                << "2027-03-08 22:00:00";
    QTest::newRow("after New York's spring change, 09:00 there is 21:00 here") << "2027-03-08 22:00:00"
                                                                               << "2027-03-15 21:00:00";
    QTest::newRow("before New York's autumn change, still 21:00 here") << "2027-11-01 20:00:00"
                                                                       << "2027-11-01 21:00:00";
    QTest::newRow("after New York's autumn change, 22:00 here again") << "2027-11-01 21:00:00"
                                                                      << "2027-11-08 22:00:00";
}

// A New York weekly meeting at 09:00 imported in Shanghai stays at 09:00 in New York.
void TestCalendarExchange::zoneKeepsWallTimeAcrossDst()
{
    QFETCH(QString, after);
    QFETCH(QString, due);
    Rig rig;
    rig.fakes.clock.set(QDateTime(QDate(2027, 3, 1), QTime(10, 0)));
    const StoreOutcome out = reminders::StoreEvent(
        rig.db, makeEvent("ny", "2027-03-01 09:00:00", "FREQ=WEEKLY", "America/New_York"), false);
    QCOMPARE(int(out.kind), int(StoreOutcome::Stored));
    Row r = Rig::record(rig.db, out.id);
    QCOMPARE(r.value(2) + ' ' + r.value(3), QStringLiteral("2027-03-01 22:00:00"));
    repeat::Move move;
    QString message;
    QCOMPARE(repeat::MoveToNext(rig.db, out.id, wall(after), move, message), 1);
    r = Rig::record(rig.db, out.id);
    QCOMPARE(r.value(2) + ' ' + r.value(3), due);
    const std::optional<ReminderEvent> e = reminders::EventOfRecord(rig.db, out.id);
    QVERIFY(e);
    QCOMPARE(calendar::wallText(e->start), QStringLiteral("2027-03-01 09:00:00"));
    QCOMPARE(e->tzid, QStringLiteral("America/New_York"));
}

QTEST_GUILESS_MAIN(TestCalendarExchange)
#include "tst_calendarexchange.moc"
