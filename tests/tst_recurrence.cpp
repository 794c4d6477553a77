#include "calendar/LunarRule.h"
#include "calendar/Recurrence.h"
#include "calendar/WorkdayCalendar.h"

#include <QtTest>
#include <ctime>

using calendar::LunarDay;
using calendar::Recurrence;
using calendar::wallFromText;
using calendar::wallText;
using calendar::WorkdayCalendar;

namespace {

QStringList texts(const QList<QDateTime>& times)
{
    QStringList out;
    for (const QDateTime& t : times)
        out << wallText(t);
    return out;
}

const char* const kHolidays2026 = "[2026]\n"
                                  "# 来源：国务院办公厅关于2026年部分节假日安排的通知，2025-11-04\n"
                                  "2026-02-14 班\n"
                                  "2026-02-15 休\n2026-02-16 休\n2026-02-17 休\n"
                                  "2026-02-28 班\n";

} // namespace

class TestRecurrence : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refusesWithAChineseReason_data();
    void refusesWithAChineseReason();
    void occurrences_data();
    void occurrences();
    void nextAfterIsStrictlyLaterAndEndsWithTheSeries();
    void lunarRules_data();
    void lunarRules();
    void lunarDatesAndNames_data();
    void lunarDatesAndNames();
    void workdays_data();
    void workdays();
    void holidayTextFaults_data();
    void holidayTextFaults();
    void newerHolidayLoadWinsForItsYears();
    void shippedHolidaysCiteTheirNotices();
};

void TestRecurrence::initTestCase()
{
    // A zone with daylight saving: its spring-forward gap must not touch the rules' wall times.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestRecurrence::refusesWithAChineseReason_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("reason");
    QTest::newRow("an hourly rule repeats more than daily") << "FREQ=HOURLY"
                                                            << "最多每天重复一次";
    QTest::newRow("a minutely rule repeats more than daily") << "FREQ=MINUTELY;INTERVAL=30"
                                                             << "最多每天重复一次";
    QTest::newRow("BYHOUR would give several times a day") << "FREQ=DAILY;BYHOUR=8,20"
                                                           << "BYHOUR";
    QTest::newRow("an unknown part is named") << "FREQ=DAILY;BYFOO=1"
                                              << "BYFOO";
    QTest::newRow("COUNT and UNTIL together") << "FREQ=DAILY;COUNT=3;UNTIL=20270101T000000"
                                              << "只能用一个";
    QTest::newRow("an interval of zero") << "FREQ=DAILY;INTERVAL=0"
                                         << "INTERVAL";
    QTest::newRow("an interval beyond the bound") << "FREQ=DAILY;INTERVAL=1001"
                                                  << "INTERVAL";
    QTest::newRow("a rule without FREQ") << "BYDAY=MO"
                                         << "FREQ";
    QTest::newRow("UNTIL in UTC for a wall-clock series") << "FREQ=DAILY;UNTIL=20270101T000000Z"
                                                          << "不带 Z";
    QTest::newRow("UNTIL as a bare date") << "FREQ=DAILY;UNTIL=20270101"
                                          << "UNTIL";
    QTest::newRow("BYSETPOS with WEEKLY, which libical ignores") << "FREQ=WEEKLY;BYDAY=MO,FR;BYSETPOS=1"
                                                                 << "BYSETPOS";
    QTest::newRow("BYSETPOS with DAILY, which libical ignores") << "FREQ=DAILY;BYMONTHDAY=1,2;BYSETPOS=1"
                                                                << "BYSETPOS";
    QTest::newRow("YEARLY BYMONTHDAY without BYMONTH, where libical keeps the start's month")
        << "FREQ=YEARLY;BYMONTHDAY=15"
        << "BYMONTH";
    QTest::newRow("a negative BYMONTHDAY when DAILY, which libical ignores") << "FREQ=DAILY;BYMONTHDAY=-1"
                                                                             << "倒数";
    QTest::newRow("BYMONTHDAY with WEEKLY") << "FREQ=WEEKLY;BYMONTHDAY=1"
                                            << "按周";
    QTest::newRow("an ordinal weekday when WEEKLY") << "FREQ=WEEKLY;BYDAY=2MO"
                                                    << "序号";
    QTest::newRow("a sixth Monday of a month") << "FREQ=MONTHLY;BYDAY=6MO"
                                               << "序号";
    QTest::newRow("a 32nd of the month") << "FREQ=MONTHLY;BYMONTHDAY=32"
                                         << "BYMONTHDAY";
    QTest::newRow("a rule that never happens") << "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30"
                                               << "一次也不会";
    QTest::newRow("a part given twice") << "FREQ=DAILY;FREQ=WEEKLY"
                                        << "两次";
    QTest::newRow("SKIP without RSCALE") << "FREQ=MONTHLY;SKIP=BACKWARD"
                                         << "RSCALE";
    QTest::newRow("another calendar scale") << "RSCALE=HEBREW;FREQ=YEARLY"
                                            << "CHINESE";
    QTest::newRow("a lunar rule by month") << "RSCALE=CHINESE;FREQ=MONTHLY;BYMONTHDAY=1"
                                           << "YEARLY";
    QTest::newRow("a lunar 31st") << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=1;BYMONTHDAY=31"
                                  << "1 到 30";
    QTest::newRow("a lunar thirteenth month") << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=13;BYMONTHDAY=1"
                                              << "1 到 12";
    QTest::newRow("a leap first month no year until 2099 has")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=1L;BYMONTHDAY=1"
        << "一次也不会";
}

void TestRecurrence::refusesWithAChineseReason()
{
    QFETCH(QString, rule);
    QFETCH(QString, reason);
    QString error;
    const Recurrence r = Recurrence::parse(rule, wallFromText(QStringLiteral("2026-12-09 08:30:00")), &error);
    QVERIFY(!r.isValid());
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestRecurrence::occurrences_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a start the rule does not give is not an occurrence")
        << "FREQ=WEEKLY;BYDAY=MO"
        << "2026-12-09 08:30:00"
        << "" << QStringList{"2026-12-14 08:30:00", "2026-12-21 08:30:00", "2026-12-28 08:30:00"};
    QTest::newRow("COUNT counts only real occurrences, from the start")
        << "FREQ=MONTHLY;BYDAY=-1FR;COUNT=2"
        << "2026-12-01 18:00:00"
        << "" << QStringList{"2026-12-25 18:00:00", "2027-01-29 18:00:00"};
    QTest::newRow("COUNT still counts from the start when asked later")
        << "FREQ=DAILY;COUNT=3"
        << "2026-12-01 07:00:00"
        << "2026-12-02 12:00:00" << QStringList{"2026-12-03 07:00:00"};
    QTest::newRow("every two weeks on Sunday keeps the start's Monday-based week")
        << "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU"
        << "2026-12-09 08:30:00"
        << "" << QStringList{"2026-12-13 08:30:00", "2026-12-27 08:30:00", "2027-01-10 08:30:00"};
    QTest::newRow("a Sunday week start moves the fortnights")
        << "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU;WKST=SU"
        << "2026-12-09 08:30:00"
        << "" << QStringList{"2026-12-20 08:30:00", "2027-01-03 08:30:00", "2027-01-17 08:30:00"};
    QTest::newRow("the 31st skips the months without one")
        << "FREQ=MONTHLY"
        << "2026-01-31 09:00:00"
        << "" << QStringList{"2026-01-31 09:00:00", "2026-03-31 09:00:00", "2026-05-31 09:00:00"};
    QTest::newRow("the last workday of the month through BYSETPOS")
        << "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"
        << "2026-01-01 17:00:00"
        << "" << QStringList{"2026-01-30 17:00:00", "2026-02-27 17:00:00", "2026-03-31 17:00:00"};
    QTest::newRow("the 29th of February every year waits for leap years")
        << "FREQ=YEARLY"
        << "2024-02-29 08:00:00"
        << "" << QStringList{"2024-02-29 08:00:00", "2028-02-29 08:00:00", "2032-02-29 08:00:00"};
    QTest::newRow("UNTIL is inclusive and floating")
        << "FREQ=DAILY;UNTIL=20261211T083000"
        << "2026-12-09 08:30:00"
        << "" << QStringList{"2026-12-09 08:30:00", "2026-12-10 08:30:00", "2026-12-11 08:30:00"};
    QTest::newRow("a wall time in a spring-forward gap stays the wall time")
        << "FREQ=YEARLY"
        << "2026-03-29 02:30:00"
        << "" << QStringList{"2026-03-29 02:30:00", "2027-03-29 02:30:00", "2028-03-29 02:30:00"};
    QTest::newRow("a daily rule since 2000 asked in 2099 keeps its interval's phase")
        << "FREQ=DAILY;INTERVAL=7"
        << "2000-01-01 08:00:00"
        << "2099-06-01 00:00:00"
        << QStringList{"2099-06-06 08:00:00", "2099-06-13 08:00:00", "2099-06-20 08:00:00"};
    QTest::newRow("every third month asked later keeps the start's months")
        << "FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15"
        << "2026-02-15 10:00:00"
        << "2027-06-01 00:00:00"
        << QStringList{"2027-08-15 10:00:00", "2027-11-15 10:00:00", "2028-02-15 10:00:00"};
    QTest::newRow("RRULE: prefix and lower case are accepted")
        << "rrule:freq=weekly;byday=we"
        << "2026-12-09 08:30:00"
        << "" << QStringList{"2026-12-09 08:30:00", "2026-12-16 08:30:00", "2026-12-23 08:30:00"};
}

void TestRecurrence::occurrences()
{
    QFETCH(QString, rule);
    QFETCH(QString, start);
    QFETCH(QString, from);
    QFETCH(QStringList, expected);
    QString error;
    const Recurrence r = Recurrence::parse(rule, wallFromText(start), &error);
    QVERIFY2(r.isValid(), qPrintable(error));
    QCOMPARE(r.kind(), Recurrence::Kind::Rule);
    const QDateTime at = wallFromText(from.isEmpty() ? start : from);
    QCOMPARE(texts(r.occurrences(at, 3)), expected);
}

void TestRecurrence::nextAfterIsStrictlyLaterAndEndsWithTheSeries()
{
    QString error;
    const Recurrence r = Recurrence::parse(QStringLiteral("FREQ=DAILY;COUNT=2"),
                                           wallFromText(QStringLiteral("2026-12-09 08:30:00")), &error);
    QVERIFY2(r.isValid(), qPrintable(error));
    QVERIFY(r.isBounded());
    QCOMPARE(r.rrule(), QStringLiteral("FREQ=DAILY;COUNT=2"));
    // A moment within the occurrence's second, with milliseconds, is not after it.
    const QDateTime atTheFirst = wallFromText(QStringLiteral("2026-12-09 08:30:00")).addMSecs(400);
    QCOMPARE(wallText(r.nextAfter(atTheFirst)), QStringLiteral("2026-12-10 08:30:00"));
    QCOMPARE(wallText(r.nextAfter(wallFromText(QStringLiteral("2026-12-09 08:29:59")).addMSecs(500))),
             QStringLiteral("2026-12-09 08:30:00"));
    QVERIFY(!r.nextAfter(wallFromText(QStringLiteral("2026-12-10 08:30:00"))).isValid());
    const Recurrence open = Recurrence::parse(QStringLiteral("FREQ=WEEKLY"),
                                              wallFromText(QStringLiteral("2026-12-09 08:30:00")), &error);
    QVERIFY(!open.isBounded());
}

void TestRecurrence::lunarRules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("the Mid-Autumn Festival follows the official calendar")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"
        << "2026-12-09 20:00:00"
        << QStringList{"2027-09-15 20:00:00", "2028-10-03 20:00:00", "2029-09-22 20:00:00"};
    QTest::newRow("New Year's Day of 2027 and 2030, where ICU is a day off")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=1;BYMONTHDAY=1;INTERVAL=3"
        << "2027-02-06 00:00:00"
        << QStringList{"2027-02-06 00:00:00", "2030-02-03 00:00:00", "2033-01-31 00:00:00"};
    QTest::newRow("month and day come from the start's lunar date")
        << "RSCALE=CHINESE;FREQ=YEARLY"
        << "2026-09-25 08:00:00"
        << QStringList{"2026-09-25 08:00:00", "2027-09-15 08:00:00", "2028-10-03 08:00:00"};
    QTest::newRow("a leap sixth month is omitted in years without it")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=6L;BYMONTHDAY=1;COUNT=2"
        << "2025-01-01 09:00:00" << QStringList{"2025-07-25 09:00:00", "2036-07-23 09:00:00"};
    QTest::newRow("a leap sixth month goes back to the sixth month with SKIP=BACKWARD")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=6L;BYMONTHDAY=1;SKIP=BACKWARD"
        << "2025-01-01 09:00:00"
        << QStringList{"2025-07-25 09:00:00", "2026-07-14 09:00:00", "2027-07-04 09:00:00"};
    QTest::newRow("a leap sixth month goes on to the seventh with SKIP=FORWARD")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=6L;BYMONTHDAY=1;SKIP=FORWARD"
        << "2025-01-01 09:00:00"
        << QStringList{"2025-07-25 09:00:00", "2026-08-13 09:00:00", "2027-08-02 09:00:00"};
    QTest::newRow("the 30th of the twelfth month falls back to the 29th in short years")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=30;SKIP=BACKWARD"
        << "2025-01-01 18:00:00"
        << QStringList{"2025-01-28 18:00:00", "2026-02-16 18:00:00", "2027-02-05 18:00:00"};
    QTest::newRow("the 30th of the twelfth month is New Year's Day with SKIP=FORWARD in short years")
        << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=30;SKIP=FORWARD"
        << "2025-01-01 18:00:00"
        << QStringList{"2025-01-29 18:00:00", "2026-02-17 18:00:00", "2027-02-06 18:00:00"};
}

void TestRecurrence::lunarRules()
{
    QFETCH(QString, rule);
    QFETCH(QString, start);
    QFETCH(QStringList, expected);
    QString error;
    const Recurrence r = Recurrence::parse(rule, wallFromText(start), &error);
    QVERIFY2(r.isValid(), qPrintable(error));
    QCOMPARE(r.kind(), Recurrence::Kind::Lunar);
    QCOMPARE(texts(r.occurrences(wallFromText(start), 3)), expected);
    // Asked from after the first, the series goes on where it was.
    QCOMPARE(wallText(r.nextAfter(wallFromText(expected.first()))), expected.value(1));
}

void TestRecurrence::lunarDatesAndNames_data()
{
    QTest::addColumn<QDate>("solar");
    QTest::addColumn<QString>("name");
    QTest::newRow("the Mid-Autumn Festival of 2027") << QDate(2027, 9, 15) << "八月十五";
    QTest::newRow("the first day of a leap month") << QDate(2025, 7, 25) << "闰六月初一";
    QTest::newRow("New Year's Eve of a short twelfth month") << QDate(2025, 1, 28) << "腊月廿九";
    QTest::newRow("New Year's Eve of a long twelfth month") << QDate(2024, 2, 9) << "腊月三十";
    QTest::newRow("New Year's Day of 2030") << QDate(2030, 2, 3) << "正月初一";
    QTest::newRow("the eleventh month's twenty-first") << QDate(2026, 12, 29) << "冬月廿一";
}

void TestRecurrence::lunarDatesAndNames()
{
    QFETCH(QDate, solar);
    QFETCH(QString, name);
    const auto lunar = LunarDay::fromSolar(solar);
    QVERIFY(lunar.has_value());
    QCOMPARE(LunarDay::name(lunar->month, lunar->leap, lunar->day), name);
    QCOMPARE(lunar->toSolar(), solar);
}

void TestRecurrence::workdays_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("fallback");
    QTest::newRow("the Spring Festival's days off are skipped and its Saturdays worked")
        << "2026-02-12 08:30:00"
        << QStringList{"2026-02-12 08:30:00", "2026-02-13 08:30:00", "2026-02-14 08:30:00",
                       "2026-02-18 08:30:00"}
        << false;
    QTest::newRow("the make-up Saturday at the month's end is worked")
        << "2026-02-27 08:30:00"
        << QStringList{"2026-02-27 08:30:00", "2026-02-28 08:30:00", "2026-03-02 08:30:00",
                       "2026-03-03 08:30:00"}
        << false;
    QTest::newRow("a year without an arrangement falls back to Monday to Friday")
        << "2027-02-05 08:30:00"
        << QStringList{"2027-02-05 08:30:00", "2027-02-08 08:30:00", "2027-02-09 08:30:00",
                       "2027-02-10 08:30:00"}
        << true;
}

void TestRecurrence::workdays()
{
    QFETCH(QString, start);
    QFETCH(QStringList, expected);
    QFETCH(bool, fallback);
    auto calendar = std::make_shared<WorkdayCalendar>();
    QString error;
    QVERIFY2(calendar->parse(QString::fromUtf8(kHolidays2026), &error), qPrintable(error));
    const Recurrence r = Recurrence::workdays(wallFromText(start), calendar);
    QCOMPARE(r.kind(), Recurrence::Kind::Workdays);
    QCOMPARE(texts(r.occurrences(wallFromText(start), 4)), expected);
    QCOMPARE(r.isWorkdayFallback(wallFromText(start).date()), fallback);
    // Asked a minute after an occurrence, the next workday comes.
    QCOMPARE(wallText(r.nextAfter(wallFromText(expected.at(1)).addSecs(60))), expected.at(2));
}

void TestRecurrence::holidayTextFaults_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a date before any year") << "2026-01-01 休\n"
                                            << "[年份]";
    QTest::newRow("a mark other than 休 or 班") << "[2026]\n2026-01-01 假\n"
                                                << "第 2 行";
    QTest::newRow("an impossible date") << "[2026]\n2026-02-30 休\n"
                                        << "日期无效";
    QTest::newRow("a date far from its year") << "[2026]\n2028-01-01 休\n"
                                              << "不在 2026 年";
    QTest::newRow("a date given twice") << "[2026]\n2026-01-01 休\n2026-01-01 班\n"
                                        << "重复";
    QTest::newRow("no year at all") << "# 只有注释\n"
                                    << "没有任何一年";
}

void TestRecurrence::holidayTextFaults()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    WorkdayCalendar calendar;
    QVERIFY(calendar.parse(QString::fromUtf8(kHolidays2026), nullptr));
    QString error;
    QVERIFY(!calendar.parse(text, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    // A refused text leaves what was loaded before.
    QVERIFY(calendar.covers(2026));
}

void TestRecurrence::newerHolidayLoadWinsForItsYears()
{
    WorkdayCalendar calendar;
    QVERIFY(calendar.parse(QStringLiteral("[2025]\n2025-10-01 休\n[2026]\n2026-02-16 休\n"), nullptr));
    WorkdayCalendar newer;
    QVERIFY(newer.parse(QStringLiteral("[2026]\n2026-03-02 休\n[2027]\n2027-02-06 班\n"), nullptr));
    calendar.merge(newer);
    QCOMPARE(calendar.coveredYears(), (QList<int>{2025, 2026, 2027}));
    QVERIFY(!calendar.isWorkday(QDate(2025, 10, 1))); // kept: only the newer load's years are replaced
    QVERIFY(calendar.isWorkday(QDate(2026, 2, 16)));  // the older 2026 arrangement is gone
    QVERIFY(!calendar.isWorkday(QDate(2026, 3, 2)));
    QVERIFY(calendar.isWorkday(QDate(2027, 2, 6)));
    QVERIFY(!calendar.isWorkday(QDate(2027, 2, 7)));
}

void TestRecurrence::shippedHolidaysCiteTheirNotices()
{
    const WorkdayCalendar shipped = WorkdayCalendar::shipped();
    QVERIFY(!shipped.coveredYears().isEmpty());
    for (const int year : shipped.coveredYears())
        QVERIFY2(shipped.source(year).contains(
                     QStringLiteral("国务院办公厅关于%1年部分节假日安排的通知").arg(year)),
                 qPrintable(shipped.source(year)));
    QVERIFY(shipped.source(2026).contains(QStringLiteral("2025-11-04")));
    // 2023's New Year holiday began on the last day of 2022.
    QVERIFY(!shipped.isWorkday(QDate(2023, 1, 2)));
    QVERIFY(!shipped.covers(2022));
}

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
