// Repeating records and snoozes in the data file: rules read and written,
// series moved on (month ends, leap days, workdays, lunar dates, a zone of
// their own), the series left in the past moved at once, snoozes, and a record
// added or changed together with its rule.
#include "calendar/Recurrence.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <ctime>

namespace {
const QString kTable = QStringLiteral("recordmsg");

QDateTime wall(const QString& text)
{
    return calendar::wallFromText(text);
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

    Rig()
    {
        QString message;
        if (db.Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                    message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    // A record at "date time" (date possibly "Every Day"), with a rule when one is given.
    QString add(const QString& when, const QString& rrule = QString(), const QString& dtstart = QString(),
                const QString& use = QStringLiteral("0"))
    {
        const QStringList values{QStringLiteral("主题"),
                                 QStringLiteral("内容"),
                                 when.section(' ', 0, -2),
                                 when.section(' ', -1),
                                 use,
                                 QStringLiteral("2020-01-01 00:00:00")};
        std::optional<repeat::Rule> rule;
        if (!rrule.isEmpty()) {
            rule = repeat::Rule{QString(), dtstart.isEmpty() ? when : dtstart,
                                rrule == QLatin1String("CN") ? QString() : rrule,
                                rrule == QLatin1String("CN") ? QStringLiteral("CN") : QString(), QString()};
        }
        QString message;
        const QString id = reminders::AddRecord(db, values, rule, message);
        if (id.isEmpty())
            qFatal("record not added: %s", qPrintable(message));
        return id;
    }
    // "date time use" of a record.
    QString row(const QString& id)
    {
        RowSet rows;
        QString message;
        db.SelectRows(kTable, "where id=" + id,
                      {QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("use")}, rows, 1,
                      message);
        return rows.value(0).join(' ');
    }
};
} // namespace

class TestRepeat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setZone("Asia/Shanghai"); }
    void cleanup() { setZone("Asia/Shanghai"); }

    // A rule goes in and comes back as it was, empty parts included; writing
    // again replaces it; removing it leaves a dated record.
    void rulesAreWrittenReadAndRemoved()
    {
        Rig rig;
        const QString a = rig.add("2026-01-05 08:30:00");
        const QString b = rig.add("2026-01-06 09:00:00");
        const repeat::Rule workdays{a, "2026-01-05 08:30:00", QString(), "CN", QString()};
        const repeat::Rule weekly{b, "2026-01-06 09:00:00", "FREQ=WEEKLY;BYDAY=TU", QString(),
                                  "Europe/Berlin"};
        QString message;
        QCOMPARE(repeat::WriteRule(rig.db, workdays, message), 1);
        QCOMPARE(repeat::WriteRule(rig.db, weekly, message), 1);
        bool ok = false;
        QCOMPARE(repeat::ReadRule(rig.db, a, &ok), std::optional<repeat::Rule>(workdays));
        QVERIFY(ok);
        QVERIFY(repeat::ReadRule(rig.db, a)->isWorkdays());
        const QHash<QString, repeat::Rule> both = repeat::ReadRules(rig.db, {a, b, "x'y", "999"});
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.value(b), weekly);

        repeat::Rule daily = weekly;
        daily.rrule = "FREQ=DAILY";
        daily.tzid.clear();
        QCOMPARE(repeat::WriteRule(rig.db, daily, message), 1);
        QCOMPARE(repeat::ReadRule(rig.db, b), std::optional<repeat::Rule>(daily));
        QCOMPARE(repeat::RemoveRule(rig.db, b, message), 1);
        QVERIFY(!repeat::ReadRule(rig.db, b, &ok));
        QVERIFY(ok);
        // Texts that name no record are refused before they reach a statement.
        QCOMPARE(repeat::WriteRule(
                     rig.db, repeat::Rule{"1 or 1=1", "2026-01-01 00:00:00", "FREQ=DAILY", {}, {}}, message),
                 store::kDataError);
        QVERIFY(!repeat::ReadRule(rig.db, "1 or 1=1", &ok));
        // A failing store is told from a record without a rule.
        rig.db.Close();
        QVERIFY(!repeat::ReadRule(rig.db, a, &ok));
        QVERIFY(!ok);
    }

    // Where a repeating record goes once an occurrence is done.
    void movesToTheNextOccurrence_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("rrule"); // "CN": the official workdays
        QTest::addColumn<QString>("tzid");
        QTest::addColumn<QString>("dtstart");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("next"); // empty: the series has ended
        QTest::addColumn<int>("alarm");    // seconds each occurrence falls due before its start
        QTest::newRow("the 31st skips the months without one")
            << QByteArray("Asia/Shanghai") << "FREQ=MONTHLY;BYMONTHDAY=31"
            << ""
            << "2026-01-31 09:00:00"
            << "2026-01-31 09:00:00"
            << "2026-03-31 09:00:00" << 0;
        QTest::newRow("the last Friday of the next month")
            << QByteArray("Asia/Shanghai") << "FREQ=MONTHLY;BYDAY=-1FR"
            << ""
            << "2026-01-30 08:00:00"
            << "2026-01-30 08:05:00"
            << "2026-02-27 08:00:00" << 0;
        QTest::newRow("the 29th of February waits for a leap year")
            << QByteArray("Asia/Shanghai") << "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"
            << ""
            << "2024-02-29 07:00:00"
            << "2024-02-29 07:00:00"
            << "2028-02-29 07:00:00" << 0;
        QTest::newRow("every two weeks, across the year's end")
            << QByteArray("Asia/Shanghai") << "FREQ=WEEKLY;INTERVAL=2"
            << ""
            << "2026-12-17 18:00:00"
            << "2026-12-17 18:00:01"
            << "2026-12-31 18:00:00" << 0;
        QTest::newRow("a wall time the spring-forward skips is kept as the wall time")
            << QByteArray("Europe/Berlin") << "FREQ=DAILY"
            << ""
            << "2027-03-26 02:30:00"
            << "2027-03-27 02:30:00"
            << "2027-03-28 02:30:00" << 0;
        QTest::newRow("a make-up Saturday is a workday") << QByteArray("Asia/Shanghai") << "CN"
                                                         << ""
                                                         << "2026-01-05 08:30:00"
                                                         << "2026-02-13 09:00:00"
                                                         << "2026-02-14 08:30:00" << 0;
        QTest::newRow("the Spring Festival holidays are no workdays") << QByteArray("Asia/Shanghai") << "CN"
                                                                      << ""
                                                                      << "2026-01-05 08:30:00"
                                                                      << "2026-02-14 08:30:00"
                                                                      << "2026-02-24 08:30:00" << 0;
        QTest::newRow("the Mid-Autumn Festival of the next lunar year")
            << QByteArray("Asia/Shanghai") << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"
            << ""
            << "2026-09-25 20:00:00"
            << "2026-09-25 20:00:00"
            << "2027-09-15 20:00:00" << 0;
        // 09:00 in New York is 22:00 in Shanghai before its spring forward, 21:00 after.
        QTest::newRow("a series in New York's zone, as Shanghai's clock shows it")
            << QByteArray("Asia/Shanghai") << "FREQ=DAILY"
            << "America/New_York"
            << "2027-03-10 09:00:00"
            << "2027-03-13 22:00:00"
            << "2027-03-14 21:00:00" << 0;
        QTest::newRow("after its last occurrence it stays")
            << QByteArray("Asia/Shanghai") << "FREQ=DAILY;COUNT=2"
            << ""
            << "2026-01-01 10:00:00"
            << "2026-01-02 10:00:00"
            << "" << 0;
        QTest::newRow("an alarm before the start makes each occurrence fall due that much earlier")
            << QByteArray("Asia/Shanghai") << "FREQ=DAILY"
            << ""
            << "2026-01-01 09:00:00"
            << "2026-01-02 08:45:00"
            << "2026-01-03 08:45:00" << 900;
        QTest::newRow("between an alarm and its occurrence, the next alarm is tomorrow's")
            << QByteArray("Asia/Shanghai") << "FREQ=DAILY"
            << ""
            << "2026-01-01 09:00:00"
            << "2026-01-02 08:50:00"
            << "2026-01-03 08:45:00" << 900;
        QTest::newRow("an alarm of a series in New York's zone, as Shanghai's clock shows it")
            << QByteArray("Asia/Shanghai") << "FREQ=DAILY"
            << "America/New_York"
            << "2027-03-10 09:00:00"
            << "2027-03-13 21:45:00"
            << "2027-03-14 20:45:00" << 900;
    }

    void movesToTheNextOccurrence()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, rrule);
        QFETCH(QString, tzid);
        QFETCH(QString, dtstart);
        QFETCH(QString, now);
        QFETCH(QString, next);
        QFETCH(int, alarm);
        setZone(zone);
        Rig rig;
        // The record holds the occurrence just shown, and was cancelled by the
        // popup's keep in an older version: a move makes it due again.
        const QString id = rig.add(now, QString(), QString(), "1");
        QString message;
        QCOMPARE(repeat::WriteRule(rig.db,
                                   repeat::Rule{id, dtstart, rrule == "CN" ? QString() : rrule,
                                                rrule == "CN" ? QString("CN") : QString(), tzid, alarm},
                                   message),
                 1);
        repeat::Move move;
        QCOMPARE(repeat::MoveToNext(rig.db, id, wall(now), move, message), next.isEmpty() ? 0 : 1);
        QVERIFY(move.repeating);
        QCOMPARE(move.ended, next.isEmpty());
        if (next.isEmpty()) {
            QCOMPARE(rig.row(id), now + " 1");
            return;
        }
        QCOMPARE(calendar::wallText(move.next), next);
        QCOMPARE(rig.row(id), next + " 0");

        // A record without a rule is no series and stays.
        const QString dated = rig.add(now);
        QCOMPARE(repeat::MoveToNext(rig.db, dated, wall(now), move, message), 0);
        QVERIFY(!move.repeating);
        QCOMPARE(rig.row(dated), now + " 0");
    }

    // Every series not cancelled whose occurrence lies in the past moves on at
    // once, except those handed over to be shown; nothing else moves.
    void strandedSeriesMoveOnTogether()
    {
        Rig rig;
        const QString now = "2026-01-07 10:00:00"; // a Wednesday
        const QString weekly = rig.add("2025-12-10 09:00:00", "FREQ=WEEKLY", "2025-12-03 09:00:00");
        const QString today = rig.add("2026-01-07 09:59:59", "FREQ=DAILY", "2026-01-01 09:59:59");
        const QString shown = rig.add("2026-01-06 12:00:00", "FREQ=DAILY", "2026-01-01 12:00:00");
        const QString ahead = rig.add("2026-01-07 10:00:00", "FREQ=DAILY", "2026-01-07 10:00:00");
        const QString ended = rig.add("2026-01-02 08:00:00", "FREQ=DAILY;COUNT=2", "2026-01-01 08:00:00");
        const QString cancelled = rig.add("2025-12-10 09:00:00", "FREQ=WEEKLY", "2025-12-03 09:00:00", "1");
        const QString dated = rig.add("2026-01-01 09:00:00");
        const QString everyDay = rig.add("Every Day 09:00:00");
        const QString workdays = rig.add("2026-01-02 08:30:00", "CN", "2026-01-02 08:30:00");

        QCOMPARE(repeat::MoveStranded(rig.db, wall(now), {shown}), 3);
        QCOMPARE(rig.row(weekly), "2026-01-14 09:00:00 0");
        QCOMPARE(rig.row(today), "2026-01-08 09:59:59 0");
        QCOMPARE(rig.row(workdays), "2026-01-08 08:30:00 0");
        QCOMPARE(rig.row(shown), "2026-01-06 12:00:00 0");
        QCOMPARE(rig.row(ahead), "2026-01-07 10:00:00 0");
        QCOMPARE(rig.row(ended), "2026-01-02 08:00:00 0");
        QCOMPARE(rig.row(cancelled), "2025-12-10 09:00:00 1");
        QCOMPARE(rig.row(dated), "2026-01-01 09:00:00 0");
        QCOMPARE(rig.row(everyDay), "Every Day 09:00:00 0");
        // Nothing left to move.
        QCOMPARE(repeat::MoveStranded(rig.db, wall(now), {shown}), 0);
        QCOMPARE(repeat::MoveStranded(rig.db, wall(now)), 1);
        QCOMPARE(rig.row(shown), "2026-01-07 12:00:00 0");
    }

    // A snooze is one per record: a later one replaces it, ending it removes
    // it, and it goes with its record.
    void snoozesAreKeptOnePerRecord()
    {
        Rig rig;
        const QString a = rig.add("2026-01-01 10:00:00");
        const QString b = rig.add("2026-01-01 11:00:00");
        QString message;
        QVERIFY(!repeat::SnoozedUntil(rig.db, a));
        QCOMPARE(repeat::Snooze(rig.db, a, wall("2026-01-01 10:05:00"), message), 1);
        QCOMPARE(repeat::Snooze(rig.db, a, wall("2026-01-01 10:15:00"), message), 1);
        QCOMPARE(repeat::Snooze(rig.db, b, wall("2026-01-01 11:30:00"), message), 1);
        QCOMPARE(repeat::SnoozedUntil(rig.db, a), std::optional<QDateTime>(wall("2026-01-01 10:15:00")));
        const QHash<QString, QDateTime> both = repeat::SnoozesOf(rig.db, {a, b, "7 or 1=1"});
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.value(b), wall("2026-01-01 11:30:00"));
        QCOMPARE(repeat::Snooze(rig.db, "1;", wall("2026-01-01 10:05:00"), message), store::kDataError);

        QCOMPARE(repeat::EndSnooze(rig.db, a, message), 1);
        QVERIFY(!repeat::SnoozedUntil(rig.db, a));
        QCOMPARE(repeat::EndSnooze(rig.db, a, message), 0);
        QCOMPARE(rig.db.DeleteRows(kTable, "where id=" + b, 1, message), 1);
        QVERIFY(repeat::SnoozesOf(rig.db, {b}).isEmpty());
        QCOMPARE(rig.db.CountRows(QStringLiteral("snooze"), QString(), message), 0);
    }

    // The occurrence a new series starts with, from the start the user gave.
    void plansTheFirstOccurrence_data()
    {
        QTest::addColumn<QString>("rrule"); // "CN": the official workdays
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("first"); // empty: refused
        QTest::addColumn<QString>("stored");
        const QString now = "2026-01-07 10:00:00"; // a Wednesday
        QTest::newRow("a start ahead is the first occurrence") << "FREQ=DAILY"
                                                               << "2026-01-08 07:00:00"
                                                               << "2026-01-08 07:00:00"
                                                               << "FREQ=DAILY";
        QTest::newRow("a start the rule does not give is no occurrence") << "FREQ=WEEKLY;BYDAY=MO"
                                                                         << "2026-01-07 11:00:00"
                                                                         << "2026-01-12 11:00:00"
                                                                         << "FREQ=WEEKLY;BYDAY=MO";
        QTest::newRow("a start in the past: the first occurrence after now") << "FREQ=WEEKLY"
                                                                             << "2025-12-03 09:00:00"
                                                                             << "2026-01-14 09:00:00"
                                                                             << "FREQ=WEEKLY";
        QTest::newRow("a start at this very second is past") << "FREQ=DAILY" << now << "2026-01-08 10:00:00"
                                                             << "FREQ=DAILY";
        QTest::newRow("workdays") << "CN"
                                  << "2026-01-03 08:30:00"
                                  << "2026-01-08 08:30:00"
                                  << "";
        QTest::newRow("stored as the rule is written") << "RRULE:freq=daily"
                                                       << "2026-01-08 07:00:00"
                                                       << "2026-01-08 07:00:00"
                                                       << "FREQ=DAILY";
        QTest::newRow("a series already over") << "FREQ=DAILY;COUNT=3"
                                               << "2026-01-01 09:00:00"
                                               << ""
                                               << "";
        QTest::newRow("a rule that cannot be read") << "FREQ=SOMETIMES"
                                                    << "2026-01-08 07:00:00"
                                                    << ""
                                                    << "";
    }
    void plansTheFirstOccurrence()
    {
        QFETCH(QString, rrule);
        QFETCH(QString, start);
        QFETCH(QString, first);
        QFETCH(QString, stored);
        Rig rig;
        reminders::RuleDraft draft;
        draft.workdays = rrule == "CN";
        if (!draft.workdays)
            draft.rrule = rrule;
        repeat::Rule rule;
        QDateTime planned;
        QString error;
        const bool ok = reminders::PlanSeries(rig.db, draft, wall(start), wall("2026-01-07 10:00:00"), rule,
                                              planned, error);
        QCOMPARE(ok, !first.isEmpty());
        if (!ok) {
            QVERIFY(!error.isEmpty());
            return;
        }
        QCOMPARE(calendar::wallText(planned), first);
        QCOMPARE(rule.dtstart, start);
        QCOMPARE(rule.rrule, stored);
        QCOMPARE(rule.isWorkdays(), draft.workdays);
    }

    // A change keeps the series' start unless its date, time or rule changed:
    // COUNT goes on counting from the first occurrence.
    void modifyKeepsTheStartOfAnUnchangedSeries()
    {
        Rig rig;
        const QString start = "2026-01-01 09:00:00";
        const QString id = rig.add("2026-01-03 09:00:00", "FREQ=DAILY;COUNT=5", start);
        const auto values = [](const QString& subject, const QString& when) {
            return QStringList{subject, "内容", when.left(10), when.mid(11), "0", "2026-01-03 10:00:00"};
        };
        const auto rule = [](const QString& rrule, const QString& dtstart) {
            return std::optional<repeat::Rule>(repeat::Rule{QString(), dtstart, rrule, QString(), QString()});
        };
        QString message;
        // Only the subject changed; the caller planned from the date shown.
        QCOMPARE(reminders::ModifyRecord(rig.db, id, values("新主题", "2026-01-03 09:00:00"),
                                         rule("FREQ=DAILY;COUNT=5", "2026-01-03 09:00:00"), message),
                 1);
        QCOMPARE(repeat::ReadRule(rig.db, id)->dtstart, start);
        // The time changed: a new start.
        QCOMPARE(reminders::ModifyRecord(rig.db, id, values("新主题", "2026-01-03 09:30:00"),
                                         rule("FREQ=DAILY;COUNT=5", "2026-01-03 09:30:00"), message),
                 1);
        QCOMPARE(repeat::ReadRule(rig.db, id)->dtstart, "2026-01-03 09:30:00");
        // The rule changed: a new start.
        QCOMPARE(reminders::ModifyRecord(rig.db, id, values("新主题", "2026-01-03 09:30:00"),
                                         rule("FREQ=DAILY;COUNT=6", "2026-01-04 09:30:00"), message),
                 1);
        QCOMPARE(repeat::ReadRule(rig.db, id)->dtstart, "2026-01-04 09:30:00");
        QCOMPARE(repeat::ReadRule(rig.db, id)->rrule, "FREQ=DAILY;COUNT=6");
        // No rule any more: a dated record.
        QCOMPARE(reminders::ModifyRecord(rig.db, id, values("新主题", "2026-01-05 09:30:00"), std::nullopt,
                                         message),
                 1);
        QVERIFY(!repeat::ReadRule(rig.db, id));
        QCOMPARE(rig.row(id), "2026-01-05 09:30:00 0");
        QCOMPARE(reminders::ModifyRecord(rig.db, "424242", values("x", "2026-01-05 09:30:00"), std::nullopt,
                                         message),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestRepeat)
#include "tst_repeat.moc"
