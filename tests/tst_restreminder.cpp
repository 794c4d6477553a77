#include "base/SettingsFile.h"
#include "platform/DesktopShell.h"
#include "support/FakeTimerViews.h"
#include "support/TestSupport.h"
#include "timers/RestReminder.h"
#include "timers/TimerText.h"

#include <QtTest>

namespace {
const QString kScreenSaverFailed = QString::fromUtf8("\n 屏幕保护程序启动失败！\n 请确认已安装 xdg-utils 和 "
                                                     "x11-xserver-utils，或在桌面设置中启用屏幕保护。  ");
const QString kStart = QStringLiteral("开  启");
const QString kStop = QStringLiteral("停  止");
const QString kRangeMessage = QStringLiteral("建议您的休息间隔时间，设定在 1 至 180 分钟之间！  ");
const QString kAlert = QStringLiteral("\n 您该休息一会儿了，放松一下吧！  ");

int alertsShown(const FakeMessageBoxes& boxes)
{
    return int(boxes.texts().count(kAlert));
}

int rangeMessagesShown(const FakeMessageBoxes& boxes)
{
    return int(boxes.texts().count(kRangeMessage));
}

// Everything one test needs, settings written to a temporary program folder.
struct Rig
{
    FakeSeams f;
    TempProgramFolder folder;
    FakeRestView view;
    RestReminder rest{view, nullptr};

    // Moves the fake clock on and delivers one tick of timer 5.
    void tickAfter(qint64 ms)
    {
        f.clock.advanceMs(ms);
        rest.RestTick();
    }
    // One minute each: away (idle growing, or the screen locked), then back.
    void away(int minutes, bool lock)
    {
        f.idle.setLocked(lock);
        rest.RestTick(); // ticks come each second: the lock is seen as it begins
        for (int m = 1; m <= minutes; ++m) {
            f.clock.advanceMs(60000);
            if (!lock)
                f.idle.setIdleMs(qint64(m) * 60000);
            rest.RestTick();
        }
        f.idle.setLocked(false);
        f.idle.setIdleMs(0);
        tickAfter(1000);
    }
    void start(const QString& minutes)
    {
        view.intervalText = minutes;
        rest.OnRestStartStop();
    }
};
} // namespace

class TestRestReminder : public QObject
{
    Q_OBJECT

private slots:
    void fieldNumbersReadLikeAtoi_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "45" << 45;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("no digits") << "abc" << 0;
        QTest::newRow("digits then letters") << "12abc" << 12;
        QTest::newRow("blanks first") << "  9" << 9;
        QTest::newRow("negative") << "-3" << -3;
        QTest::newRow("plus") << "+4" << 4;
        QTest::newRow("overflow saturates") << "99999999999" << 2147483647;
        QTest::newRow("fullwidth digits are not digits") << QStringLiteral("１２") << 0;
    }
    void fieldNumbersReadLikeAtoi()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(timertext::ReadFieldNumber(text), value);
    }

    void wholeSecondsAllowEarlyTicksOnly()
    {
        QCOMPARE(timertext::WholeSecondsBetween(1000, 1000), 0);
        QCOMPARE(timertext::WholeSecondsBetween(1000, 1900), 0);
        QCOMPARE(timertext::WholeSecondsBetween(1000, 1960), 1); // a tick 40 ms early
        QCOMPARE(timertext::WholeSecondsBetween(1000, 2000), 1);
        QCOMPARE(timertext::WholeSecondsBetween(1000, 2900), 1);
        QCOMPARE(timertext::WholeSecondsBetween(0, 5000), 5);
        QCOMPARE(timertext::WholeSecondsBetween(5000, 0), 0); // never negative
    }

    void startAndStopDriveTheControls()
    {
        Rig r;

        r.start(QStringLiteral("20"));
        QVERIFY(r.rest.restRunning());
        QCOMPARE(r.view.caption, kStop);
        QVERIFY(!r.view.enabled);
        QVERIFY(r.view.runningChecked);
        QVERIFY(r.view.timerOn);
        QCOMPARE(r.view.timerPeriod, 1000);
        // The status keeps its old text until the first tick.
        QCOMPARE(r.view.status, QStringLiteral("您还没有开启提醒"));
        QVERIFY(r.f.boxes.shown().isEmpty());

        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有20分钟"));
        r.tickAfter(58000);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有20分钟")); // second 59
        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有19分钟")); // second 60

        r.rest.OnRestStartStop();
        QVERIFY(!r.rest.restRunning());
        QCOMPARE(r.view.caption, kStart);
        QVERIFY(r.view.enabled);
        QVERIFY(!r.view.runningChecked);
        QVERIFY(!r.view.timerOn);
        QCOMPARE(r.view.status, QStringLiteral("您还没有开启提醒"));

        // A stray tick after the stop changes nothing.
        r.tickAfter(5000);
        QCOMPARE(r.view.status, QStringLiteral("您还没有开启提醒"));
    }

    void intervalOneAlertsEveryMinute()
    {
        Rig r;
        QString statusDuringBox;
        r.f.boxes.onShow = [&](const MessageBoxRequest&) { statusDuringBox = r.view.status; };
        r.f.boxes.setDefaultAnswer(MbResult::No);

        r.start(QStringLiteral("1"));
        for (int s = 1; s < 60; ++s)
            r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 0);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有1分钟"));

        r.tickAfter(1000); // second 60
        QCOMPARE(alertsShown(r.f.boxes), 1);
        QCOMPARE(statusDuringBox, QStringLiteral("距离休息还有0分钟"));
        const MessageBoxRequest box = r.f.boxes.shown().constLast();
        QCOMPARE(box.caption, QStringLiteral("友情提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        // The reminder runs on, the next interval counted from the alert.
        QVERIFY(r.rest.restRunning());
        QCOMPARE(r.rest.restTicks(), 0);

        for (int s = 1; s < 60; ++s)
            r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
        r.tickAfter(1000); // second 120
        QCOMPARE(alertsShown(r.f.boxes), 2);
    }

    // A popup's looping sound goes on through the alert's own.
    void alertLeavesOtherSoundsPlaying()
    {
        Rig r;
        const int popup = r.f.sound.play(kWaveReminder, true);
        r.start(QStringLiteral("1"));
        r.f.boxes.answerNext(MbResult::No);
        r.tickAfter(60000);
        QCOMPARE(r.f.boxes.shown().size(), 1);
        QCOMPARE(r.f.sound.playingWaves(), QList<int>{kWaveReminder});
        r.f.sound.stop(popup);
    }

    void alertSoundAndScreenSaver()
    {
        Rig r;
        int playingDuringBox = -1;
        r.f.boxes.onShow = [&](const MessageBoxRequest&) { playingDuringBox = r.f.sound.playing(); };

        r.start(QStringLiteral("1"));
        r.f.boxes.answerNext(MbResult::No);
        r.tickAfter(60000);
        QCOMPARE(playingDuringBox, int(kWaveRest));
        QCOMPARE(r.f.sound.playing(), 0);
        QCOMPARE(r.f.sound.calls().size(), 2);
        QCOMPARE(r.f.sound.calls()[0].kind, FakeSound::Call::Play);
        QCOMPARE(r.f.sound.calls()[0].waveId, int(kWaveRest));
        QVERIFY(!r.f.sound.calls()[0].loop);
        QCOMPARE(r.f.sound.calls()[1].kind, FakeSound::Call::Stop);
        QCOMPARE(r.f.shell.screenSaverStarts(), 0);

        r.f.boxes.answerNext(MbResult::Yes);
        r.tickAfter(60000);
        QCOMPARE(alertsShown(r.f.boxes), 2);
        QCOMPARE(r.f.shell.screenSaverStarts(), 1);
        QCOMPARE(r.f.sound.playing(), 0);

        QCOMPARE(r.f.boxes.shown().size(), 2);

        // A screen saver that cannot start is said, once, after the question.
        r.f.shell.setScreenSaverResult(false);
        r.f.boxes.answerNext(MbResult::Yes);
        r.tickAfter(60000);
        QCOMPARE(r.f.shell.screenSaverStarts(), 2);
        QCOMPARE(r.f.boxes.shown().size(), 4);
        QCOMPARE(r.f.boxes.shown().last().text, kScreenSaverFailed);
        QCOMPARE(r.f.boxes.shown().last().buttons, MbButtons::Ok);
    }

    // The real seam: xdg-screensaver's failure (no xset, a desktop it does not
    // know) is a failure, not a start.
    void theScreenSaverToolsAnswerIsTaken_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("started");
        QTest::newRow("it started the screen saver") << QByteArray("exit 0") << true;
        QTest::newRow("xset is missing") << QByteArray("echo 'xset: not found' >&2; exit 1") << false;
        QTest::newRow("xdg-screensaver is not installed") << QByteArray() << false;
    }
    void theScreenSaverToolsAnswerIsTaken()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, started);
        QTemporaryDir bin;
        const QString tool = bin.path() + QStringLiteral("/xdg-screensaver");
        const QString called = bin.path() + QStringLiteral("/called");
        if (!script.isEmpty()) {
            QVERIFY(WriteAll(tool, "#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(called) + "'\n" + script +
                                       "\n"));
            QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        DesktopShell shell;
        const bool result = shell.startScreenSaver();
        qputenv("PATH", path);
        QCOMPARE(result, started);
        if (!script.isEmpty())
            QCOMPARE(ReadAll(called), QByteArray("activate\n"));
    }

    void boxLeftOpenGetsAnotherOnTop()
    {
        Rig r;
        int depth = 0;
        int maxDepth = 0;
        int boxes = 0;
        // The first box stays open for 70 s; the timer ticks on inside its loop.
        r.f.boxes.onShow = [&](const MessageBoxRequest&) {
            ++depth;
            maxDepth = qMax(maxDepth, depth);
            if (++boxes == 1) {
                for (int s = 0; s < 70; ++s)
                    r.tickAfter(1000);
            }
            --depth;
        };
        r.f.boxes.setDefaultAnswer(MbResult::No);

        r.start(QStringLiteral("1"));
        r.tickAfter(60000);
        QCOMPARE(alertsShown(r.f.boxes), 2);
        QCOMPARE(maxDepth, 2);
        int plays = 0;
        for (const auto& c : r.f.sound.calls())
            plays += c.kind == FakeSound::Call::Play ? 1 : 0;
        QCOMPARE(plays, 2);
        // The second alert came at second 120; ten seconds later the status counts on.
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有1分钟"));
        QCOMPARE(r.rest.restTicks(), 10);
        // The next one follows 60 s after the second.
        r.tickAfter(49000);
        QCOMPARE(alertsShown(r.f.boxes), 2);
        r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 3);
    }

    void stopWhileTheAlertIsOpen()
    {
        Rig r;
        r.f.boxes.onShow = [&](const MessageBoxRequest& box) {
            if (box.text == kAlert)
                r.rest.OnRestStartStop();
        };
        r.start(QStringLiteral("1"));
        r.tickAfter(60000);
        QVERIFY(!r.rest.restRunning());
        QVERIFY(!r.view.timerOn);
        QCOMPARE(r.view.status, QStringLiteral("您还没有开启提醒"));
        QCOMPARE(r.view.caption, kStart);
    }

    void lateTicksCountElapsedSeconds()
    {
        Rig r;
        r.f.boxes.setDefaultAnswer(MbResult::No);

        r.start(QStringLiteral("2"));
        r.tickAfter(1000);
        r.tickAfter(65000); // the loop was held for 65 s
        QCOMPARE(r.rest.restTicks(), 66);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有1分钟"));

        // Due at 120 s; this tick comes 5 s late and alerts once.
        r.tickAfter(59000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
        QCOMPARE(r.rest.restTicks(), 5);
        // The next break stays due at 240 s, not 245 s.
        r.tickAfter(114000); // 239 s
        QCOMPARE(alertsShown(r.f.boxes), 1);
        r.tickAfter(1000); // 240 s
        QCOMPARE(alertsShown(r.f.boxes), 2);

        // Held for three whole intervals: one alert, not three.
        r.tickAfter(3 * 120000 + 7000);
        QCOMPARE(alertsShown(r.f.boxes), 3);
        QCOMPARE(r.rest.restTicks(), 7);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有0分钟")); // never below 0
        r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 3);
    }

    void anAbsenceStartsTheCountAgain_data()
    {
        QTest::addColumn<bool>("monitorKnows");
        QTest::addColumn<bool>("switchOn");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<int>("absence");
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("alerts");
        QTest::newRow("45 minutes of idle start a 30-minute count again")
            << true << true << 5 << false << 45 << true << 0;
        QTest::newRow("3 minutes of idle do not") << true << true << 5 << false << 3 << false << 0;
        QTest::newRow("a lock of 10 minutes over a threshold of 5 does")
            << true << true << 5 << true << 10 << true << 0;
        QTest::newRow("a lock of 4 minutes under a threshold of 5 does not")
            << true << true << 5 << true << 4 << false << 0;
        QTest::newRow("the interval is the threshold when it is the shorter")
            << true << true << 60 << false << 31 << true << 1;
        QTest::newRow("15 minutes under a threshold of 20 do not")
            << true << true << 20 << false << 15 << false << 0;
        QTest::newRow("switched off, 45 minutes of idle count on")
            << true << false << 5 << false << 45 << false << 1;
        QTest::newRow("a monitor that knows nothing counts on")
            << false << true << 5 << false << 45 << false << 1;
    }
    void anAbsenceStartsTheCountAgain()
    {
        QFETCH(bool, monitorKnows);
        QFETCH(bool, switchOn);
        QFETCH(int, threshold);
        QFETCH(bool, lock);
        QFETCH(int, absence);
        QFETCH(bool, reset);
        QFETCH(int, alerts);
        Rig r;
        r.f.boxes.setDefaultAnswer(MbResult::No);
        settings::WriteSwitch(settings::kKeyIdleReset, switchOn);
        settings::WriteIdleMinutes(threshold);
        r.f.idle.setIdleMs(monitorKnows ? 0 : -1);

        r.start(QStringLiteral("30"));
        for (int m = 0; m < 10; ++m)
            r.tickAfter(60000);
        if (monitorKnows) {
            r.away(absence, lock);
        } else {
            for (int m = 0; m < absence; ++m)
                r.tickAfter(60000);
            r.tickAfter(1000);
        }
        const int counted = (10 + absence) * 60 + 1;
        // A box opens only for a user who is there.
        QCOMPARE(alertsShown(r.f.boxes), alerts);
        if (reset) {
            QCOMPARE(r.rest.restTicks(), 0);
            QCOMPARE(r.view.status, QStringLiteral("您离开了%1分钟，已重新开始计时").arg(absence));
        } else {
            QCOMPARE(r.rest.restTicks(), counted % 1800);
            QCOMPARE(r.view.status, RestReminder::statusRunning(30 - r.rest.restTicks() / 60));
        }
    }

    // The return's sentence stays for the minute, then the count shows again;
    // the next break comes a whole interval after the return.
    void theReturnIsSaidForAMinute()
    {
        Rig r;
        r.f.boxes.setDefaultAnswer(MbResult::No);
        r.f.idle.setIdleMs(0);
        r.start(QStringLiteral("10"));
        r.tickAfter(60000);
        r.away(12, false);
        const QString back = QStringLiteral("您离开了12分钟，已重新开始计时");
        QCOMPARE(r.view.status, back);
        r.tickAfter(59000);
        QCOMPARE(r.view.status, back);
        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("距离休息还有9分钟"));
        r.tickAfter(8 * 60000 + 59000);
        QCOMPARE(alertsShown(r.f.boxes), 0);
        r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
    }

    // A lock shorter than the threshold at the interval's end: the box waits
    // for the unlock, then comes at once.
    void theAlertWaitsForTheUnlock()
    {
        Rig r;
        r.f.boxes.setDefaultAnswer(MbResult::No);
        r.f.idle.setIdleMs(0);
        r.start(QStringLiteral("5"));
        r.tickAfter(4 * 60000);
        r.f.idle.setLocked(true);
        r.tickAfter(60000);
        r.tickAfter(30000);
        QCOMPARE(alertsShown(r.f.boxes), 0);
        r.f.idle.setLocked(false);
        r.tickAfter(1000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
        QVERIFY(r.rest.restRunning());
    }

    // The alert also goes to the desktop's notifications, taken away with its
    // box; switched off, none.
    void theAlertIsAlsoANotification_data()
    {
        QTest::addColumn<bool>("notify");
        QTest::newRow("switched on") << true;
        QTest::newRow("switched off") << false;
    }
    void theAlertIsAlsoANotification()
    {
        QFETCH(bool, notify);
        Rig r;
        settings::WriteSwitch(settings::kKeyNotify, notify);
        QList<int> openDuringBox;
        r.f.boxes.onShow = [&](const MessageBoxRequest&) { openDuringBox = r.f.notifications.open(); };
        r.f.boxes.answerNext(MbResult::No);
        r.start(QStringLiteral("1"));
        r.tickAfter(60000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
        QVERIFY(r.f.notifications.open().isEmpty());
        if (!notify) {
            QVERIFY(r.f.notifications.shown().isEmpty());
            return;
        }
        QCOMPARE(r.f.notifications.shown().size(), 1);
        const FakeNotifications::Shown shown = r.f.notifications.shown().constFirst();
        QCOMPARE(openDuringBox, QList<int>{shown.handle});
        QCOMPARE(r.f.notifications.closedByProgram(), QList<int>{shown.handle});
        QCOMPARE(shown.message.summary, QStringLiteral("Tolva小精灵"));
        QCOMPARE(shown.message.body, QStringLiteral("您该休息一会儿了，放松一下吧！"));
        QCOMPARE(shown.message.urgency, Notifications::Urgency::Normal);
        QVERIFY(shown.message.actions.isEmpty());
    }

    void outOfRangeIsRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << "0";
        QTest::newRow("181") << "181";
        QTest::newRow("empty") << "";
        QTest::newRow("huge") << "99999999999";
        QTest::newRow("negative") << "-5";
    }
    void outOfRangeIsRefused()
    {
        QFETCH(QString, text);
        Rig r;

        r.start(text);
        QCOMPARE(rangeMessagesShown(r.f.boxes), 1);
        const MessageBoxRequest box = r.f.boxes.shown().constFirst();
        QCOMPARE(box.buttons, MbButtons::Ok);
        QVERIFY(box.caption.isEmpty()); // the program's title
        QCOMPARE(r.view.intervalText, QStringLiteral("30"));
        QCOMPARE(r.view.focusCount, 1);
        QVERIFY(!r.rest.restRunning());
        QCOMPARE(r.view.caption, kStart);
        QVERIFY(r.view.enabled);
        QVERIFY(!r.view.timerOn);
        QVERIFY(!QFile::exists(r.folder.settingsFile()));

        // The "30" put back starts at once.
        r.rest.OnRestStartStop();
        QVERIFY(r.rest.restRunning());
        QCOMPARE(r.rest.restMinutes(), 30);
    }

    void boundsAreAccepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minutes");
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("180") << "180" << 180;
        QTest::newRow("leading zeros") << "0180" << 180;
    }
    void boundsAreAccepted()
    {
        QFETCH(QString, text);
        QFETCH(int, minutes);
        Rig r;
        r.start(text);
        QVERIFY(r.f.boxes.shown().isEmpty());
        QVERIFY(r.rest.restRunning());
        QCOMPARE(r.rest.restMinutes(), minutes);
        // Writing the fields back shows the number as read.
        QCOMPARE(r.view.intervalText, QString::number(minutes));
    }

    void startWritesTheIntervalStopWritesNothing()
    {
        Rig r;

        r.start(QStringLiteral("45"));
        SettingsFile file(r.folder.settingsFile());
        QCOMPARE(file.readInt(QString::fromUtf8(settings::kSectionTimes),
                              QString::fromUtf8(settings::kKeyRestMinutes), -1),
                 45);
        const QByteArray afterStart = ReadAll(r.folder.settingsFile());
        QVERIFY(!afterStart.isEmpty());

        r.rest.OnRestStartStop();
        QVERIFY(!r.rest.restRunning());
        QCOMPARE(ReadAll(r.folder.settingsFile()), afterStart);

        // A refused start over a stored value leaves it alone.
        r.start(QStringLiteral("500"));
        QCOMPARE(ReadAll(r.folder.settingsFile()), afterStart);
    }

    void restartBeginsAFreshInterval()
    {
        Rig r;

        r.start(QStringLiteral("1"));
        r.tickAfter(50000);
        r.rest.OnRestStartStop(); // stop
        r.f.clock.advanceMs(30000);
        r.rest.OnRestStartStop(); // start again
        QCOMPARE(r.view.timerStarts, 2);
        QCOMPARE(r.rest.restTicks(), 0);
        r.tickAfter(50000);
        QCOMPARE(alertsShown(r.f.boxes), 0);
        QCOMPARE(r.rest.restTicks(), 50);
        r.tickAfter(10000);
        QCOMPARE(alertsShown(r.f.boxes), 1);
    }
};

QTEST_GUILESS_MAIN(TestRestReminder)
#include "tst_restreminder.moc"
