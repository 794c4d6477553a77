#include "base/DialogTimers.h"

#include <QElapsedTimer>
#include <QtTest>

class TestDialogTimers : public QObject
{
    Q_OBJECT

private slots:
    void ticksCarryTheirIds()
    {
        QList<int> ticks;
        DialogTimers timers([&](int id) { ticks << id; });
        timers.SetTimer(3, 5, false);
        timers.SetTimer(7, 5, true);
        QTRY_VERIFY(ticks.count(3) >= 3);
        QCOMPARE(ticks.count(7), 1);
        QVERIFY(timers.IsRunning(3));
        QVERIFY(!timers.IsRunning(7)); // a one-shot ends with its tick
        QVERIFY(!ticks.contains(0));
    }

    void killStopsTheTicks()
    {
        int ticks = 0;
        DialogTimers timers([&](int) { ++ticks; });
        timers.SetTimer(5, 1, false);
        QTRY_VERIFY(ticks > 0);
        timers.KillTimer(5);
        QVERIFY(!timers.IsRunning(5));
        const int stopped = ticks;
        QTest::qWait(30);
        QCOMPARE(ticks, stopped);
        timers.KillTimer(42); // an unknown id is no error
        QVERIFY(!timers.IsRunning(42));
    }

    // Starting a running id again restarts it with the new period and kind.
    void restartTakesTheNewPeriod()
    {
        int ticks = 0;
        DialogTimers timers([&](int) { ++ticks; });
        QCOMPARE(timers.Period(2), -1);
        timers.SetTimer(2, 60000, true);
        QCOMPARE(timers.Period(2), 60000);
        QVERIFY(timers.IsOneShot(2));
        QVERIFY(!timers.IsPrecise(2));
        timers.SetTimer(2, 5, false, true);
        QCOMPARE(timers.Period(2), 5);
        QVERIFY(!timers.IsOneShot(2));
        QVERIFY(timers.IsPrecise(2));
        QTRY_VERIFY(ticks >= 2);
    }

    // A restart pushes the tick back by the whole period.
    void restartDelaysTheTick()
    {
        int ticks = 0;
        DialogTimers timers([&](int) { ++ticks; });
        QElapsedTimer clock;
        clock.start();
        timers.SetTimer(4, 150, true);
        QTest::qWait(100);
        timers.SetTimer(4, 150, true);
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 2000);
        QVERIFY2(clock.elapsed() >= 230, qPrintable(QString::number(clock.elapsed())));
    }

    void killAll()
    {
        DialogTimers timers([](int) {});
        timers.SetTimer(1, 1000, false);
        timers.SetTimer(6, 1000, false);
        timers.KillAll();
        QVERIFY(!timers.IsRunning(1));
        QVERIFY(!timers.IsRunning(6));
    }
};

QTEST_GUILESS_MAIN(TestDialogTimers)
#include "tst_dialogtimers.moc"
