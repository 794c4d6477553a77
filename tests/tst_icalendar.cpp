#include "calendar/ICalendar.h"
#include "calendar/Recurrence.h"

#include <QtTest>

using calendar::ReadCalendar;
using calendar::ReminderEvent;
using calendar::wallFromText;
using calendar::WriteCalendar;

Q_DECLARE_METATYPE(calendar::ReminderEvent)

namespace {

ReminderEvent makeEvent(const QString& uid, const QString& start)
{
    ReminderEvent e;
    e.uid = uid;
    e.summary = QStringLiteral("开会");
    e.description = QStringLiteral("带上报告, 第三季度; 还有\n第二行");
    e.start = wallFromText(start);
    e.stamp = QDateTime(QDate(2026, 3, 1), QTime(8, 30), Qt::UTC);
    return e;
}

void compareEvents(const ReminderEvent& got, const ReminderEvent& want)
{
    QCOMPARE(got.uid, want.uid);
    QCOMPARE(got.summary, want.summary);
    QCOMPARE(got.description, want.description);
    QCOMPARE(got.start, want.start);
    QCOMPARE(got.tzid, want.tzid);
    QCOMPARE(got.allDay, want.allDay);
    QCOMPARE(got.rrule, want.rrule);
    QCOMPARE(got.workdays, want.workdays);
    QCOMPARE(got.rdates, want.rdates);
    QCOMPARE(got.exdates, want.exdates);
    QCOMPARE(got.alarmSeconds, want.alarmSeconds);
    QCOMPARE(got.acknowledged, want.acknowledged);
    QCOMPARE(got.cancelled, want.cancelled);
    QCOMPARE(got.stamp, want.stamp);
    QCOMPARE(got.simplified, false);
}

QByteArray calendarWith(const QByteArray& body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n" + body + "END:VCALENDAR\r\n";
}

} // namespace

class TestICalendar : public QObject
{
    Q_OBJECT
private slots:
    void eachKindReadsBackAsWritten_data();
    void eachKindReadsBackAsWritten();
    void readsOtherProgramsCalendars_data();
    void readsOtherProgramsCalendars();
    void refusesWhatIsNoCalendar();
};

void TestICalendar::eachKindReadsBackAsWritten_data()
{
    QTest::addColumn<ReminderEvent>("e");
    QTest::addColumn<QStringList>("lines"); // lines the text must hold

    QTest::newRow("a dated reminder is a floating DTSTART with a display alarm at the start")
        << makeEvent("a1", "2027-01-05 14:00:00")
        << QStringList{"DTSTART:20270105T140000", "ACTION:DISPLAY", "TRIGGER:PT0S", "UID:a1"};
    ReminderEvent daily = makeEvent("a2", "2026-03-01 07:30:00");
    daily.rrule = "FREQ=DAILY";
    QTest::newRow("every day is FREQ=DAILY") << daily << QStringList{"RRULE:FREQ=DAILY"};
    ReminderEvent weekly = makeEvent("a3", "2026-03-02 09:00:00");
    weekly.rrule = "FREQ=WEEKLY;BYDAY=MO,WE";
    weekly.exdates << wallFromText("2026-03-04 09:00:00");
    QTest::newRow("a weekly series keeps its days and exceptions")
        << weekly << QStringList{"RRULE:FREQ=WEEKLY;BYDAY=MO,WE", "EXDATE:20260304T090000"};
    ReminderEvent monthly = makeEvent("a4", "2026-03-31 18:00:00");
    monthly.rrule = "FREQ=MONTHLY;BYMONTHDAY=-1";
    QTest::newRow("a monthly series on the last day")
        << monthly << QStringList{"RRULE:FREQ=MONTHLY;BYMONTHDAY=-1"};
    ReminderEvent lunar = makeEvent("a5", "2026-05-20 08:00:00");
    lunar.rrule = "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=4L;BYMONTHDAY=5";
    lunar.rdates << wallFromText("2026-05-20 08:00:00") << wallFromText("2029-05-18 08:00:00");
    QTest::newRow("a lunar series keeps its rule in an X- property and no RSCALE in RRULE")
        << lunar
        << QStringList{"X-TOLVA-RRULE:RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=4L;BYMONTHDAY=5",
                       "RDATE:20290518T080000"};
    ReminderEvent workdays = makeEvent("a6", "2026-03-02 08:45:00");
    workdays.rrule = "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR";
    workdays.workdays = "CN";
    workdays.exdates << wallFromText("2026-10-01 08:45:00");
    workdays.rdates << wallFromText("2026-09-27 08:45:00");
    QTest::newRow("a workday series is weekdays with the arrangement's changes")
        << workdays << QStringList{"X-TOLVA-WORKDAYS:CN", "RDATE:20260927T084500", "EXDATE:20261001T084500"};
    ReminderEvent zoned = makeEvent("a7", "2026-03-02 09:00:00");
    zoned.tzid = "America/New_York";
    zoned.rrule = "FREQ=WEEKLY";
    QTest::newRow("a series with a zone carries its VTIMEZONE")
        << zoned
        << QStringList{"DTSTART;TZID=America/New_York:20260302T090000", "BEGIN:VTIMEZONE",
                       "TZID:America/New_York"};
    ReminderEvent alarm = makeEvent("a8", "2026-04-01 10:00:00");
    alarm.alarmSeconds = 15 * 60;
    QTest::newRow("an alarm before the start is a negative trigger")
        << alarm << QStringList{"TRIGGER:-PT15M"};
    ReminderEvent acked = makeEvent("a9", "2026-04-01 10:00:00");
    acked.acknowledged = QDateTime(QDate(2026, 4, 1), QTime(2, 1, 5), Qt::UTC);
    QTest::newRow("an acknowledged occurrence") << acked << QStringList{"ACKNOWLEDGED:20260401T020105Z"};
    ReminderEvent cancelled = makeEvent("a10", "2026-04-01 10:00:00");
    cancelled.cancelled = true;
    QTest::newRow("a cancelled event") << cancelled << QStringList{"STATUS:CANCELLED"};
    ReminderEvent allDay = makeEvent("a11", "2026-04-01 00:00:00");
    allDay.allDay = true;
    QTest::newRow("an all-day event is a date") << allDay << QStringList{"DTSTART;VALUE=DATE:20260401"};
}

void TestICalendar::eachKindReadsBackAsWritten()
{
    QFETCH(ReminderEvent, e);
    QFETCH(QStringList, lines);
    const QByteArray text = WriteCalendar({e});
    const QStringList written = QString::fromUtf8(text).split(QStringLiteral("\r\n"));
    for (const QString& line : lines)
        QVERIFY2(written.contains(line),
                 qPrintable(line + QStringLiteral(" missing in\n") + QString::fromUtf8(text)));
    QVERIFY(written.contains(QStringLiteral("PRODID:-//Tolva//Tolva小精灵//ZH")));
    for (const QString& line : written)
        QVERIFY2(!(line.startsWith(QLatin1String("RRULE:")) && line.contains(QLatin1String("RSCALE"))),
                 qPrintable(line));
    const calendar::CalendarRead read = ReadCalendar(text);
    QCOMPARE(read.error, QString());
    QCOMPARE(read.skipped, 0);
    QCOMPARE(read.simplified, 0);
    QCOMPARE(read.events.size(), 1);
    compareEvents(read.events.first(), e);
    QCOMPARE(WriteCalendar(read.events), text);
}

void TestICalendar::readsOtherProgramsCalendars_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("simplified");
    QTest::addColumn<qint64>("alarmSeconds");
    QTest::addColumn<QString>("tzid");

    const QByteArray head = "BEGIN:VEVENT\r\nUID:x\r\nDTSTART:20260301T090000\r\nSUMMARY:s\r\n";
    QTest::newRow("an event without an alarm is skipped") << head + "END:VEVENT\r\n"
                                                          << 0 << 1 << 0 << 0ll << "";
    QTest::newRow("an email alarm does not remind")
        << head + "BEGIN:VALARM\r\nACTION:EMAIL\r\nTRIGGER:PT0S\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        << 0 << 1 << 0 << 0ll << "";
    QTest::newRow("an audio alarm ten minutes before reminds ten minutes before")
        << head + "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        << 1 << 0 << 0 << 600ll << "";
    QTest::newRow("an alarm relative to the end is simplified")
        << head +
               "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;RELATED=END:-PT5M\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        << 1 << 0 << 1 << 0ll << "";
    QTest::newRow("an absolute trigger is simplified")
        << head +
               "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;VALUE=DATE-TIME:20260301T080000Z\r\nEND:VALARM\r\n"
               "END:VEVENT\r\n"
        << 1 << 0 << 1 << 0ll << "";
    QTest::newRow("a second alarm is simplified")
        << head + "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT1H\r\nEND:VALARM\r\n"
                  "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        << 1 << 0 << 1 << 3600ll << "";
    QTest::newRow("a to-do with a due time and an alarm reminds")
        << QByteArray("BEGIN:VTODO\r\nUID:t\r\nDUE:20260301T090000\r\nSUMMARY:s\r\n"
                      "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\nEND:VTODO\r\n")
        << 1 << 0 << 0 << 0ll << "";
    QTest::newRow("a prefixed libical zone is its IANA name")
        << QByteArray("BEGIN:VEVENT\r\nUID:z\r\nDTSTART;TZID=/freeassociation.sourceforge.net/Europe/Berlin:"
                      "20260301T090000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\n"
                      "END:VEVENT\r\n")
        << 1 << 0 << 0 << 0ll << "Europe/Berlin";
    QTest::newRow("an Outlook zone name is its IANA zone")
        << QByteArray("BEGIN:VEVENT\r\nUID:w\r\nDTSTART;TZID=China Standard Time:20260301T090000\r\n"
                      "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\nEND:VEVENT\r\n")
        << 1 << 0 << 0 << 0ll << "Asia/Shanghai";
    QTest::newRow("an unknown zone is floating and simplified")
        << QByteArray("BEGIN:VEVENT\r\nUID:u\r\nDTSTART;TZID=Nowhere Land:20260301T090000\r\n"
                      "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\nEND:VALARM\r\nEND:VEVENT\r\n")
        << 1 << 0 << 1 << 0ll << "";
}

void TestICalendar::readsOtherProgramsCalendars()
{
    QFETCH(QByteArray, body);
    QFETCH(int, events);
    QFETCH(int, skipped);
    QFETCH(int, simplified);
    QFETCH(qint64, alarmSeconds);
    QFETCH(QString, tzid);
    const calendar::CalendarRead read = ReadCalendar(calendarWith(body));
    QCOMPARE(read.error, QString());
    QCOMPARE(read.events.size(), events);
    QCOMPARE(read.skipped, skipped);
    QCOMPARE(read.simplified, simplified);
    if (events) {
        QCOMPARE(read.events.first().alarmSeconds, alarmSeconds);
        QCOMPARE(read.events.first().tzid, tzid);
        QCOMPARE(read.events.first().start, wallFromText("2026-03-01 09:00:00"));
    }
}

void TestICalendar::refusesWhatIsNoCalendar()
{
    QVERIFY(!ReadCalendar("hello, world").error.isEmpty());
    QVERIFY(!ReadCalendar("").error.isEmpty());
}

QTEST_GUILESS_MAIN(TestICalendar)
#include "tst_icalendar.moc"
