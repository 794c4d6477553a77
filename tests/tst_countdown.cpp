#include "base/SettingsFile.h"
#include "platform/Power.h"
#include "platform/Seams.h"
#include "support/FakeTimerViews.h"
#include "support/TestSupport.h"
#include "timers/Countdown.h"

#include <QtTest>

namespace {
const QString kStart = QStringLiteral("开  启");
const QString kStop = QStringLiteral("停  止");
const QString kStopped = QStringLiteral("倒计时未开启");
const QString kHoursMessage = QStringLiteral("建议设定在 0 至 24 小时之间！  ");
const QString kMinutesMessage = QStringLiteral("建议设定在 0 至 60 分钟之间！  ");
const QString kSecondsMessage = QStringLiteral("建议设定在 0 至 60 秒之间！  ");
const QString kPrompt = QStringLiteral("\n 关机前是否需要进行提示？  ");
const QString kEnd = QStringLiteral("\n 您设定的时间到啦！别忘了去做您想做的事情袄！  ");
const QString kEndShutdown = QStringLiteral("\n 您设定的关机时间已经到啦！是否现在就直接关机？  ");

// Everything one countdown test needs; the shutdown asks the fake power seam,
// as the program's shutdown operation does.
struct Rig
{
    FakeSeams f;
    TempProgramFolder folder;
    FakeCountdownView view;
    int shutdowns = 0;
    bool runningAtShutdown = true;
    Countdown countdown{view, nullptr, [this] {
                            ++shutdowns;
                            runningAtShutdown = countdown.countdownRunning();
                            seams::power().powerOff({});
                        }};

    void tickAfter(qint64 ms)
    {
        f.clock.advanceMs(ms);
        countdown.CountdownTick();
    }
    void start(const QString& h, const QString& m, const QString& s)
    {
        view.set(h, m, s);
        countdown.OnCountdownStartStop();
    }
    int settingsValue(const char* key) const
    {
        return SettingsFile(folder.settingsFile())
            .readInt(QString::fromUtf8(settings::kSectionTimes), QString::fromUtf8(key), -1);
    }
};
} // namespace

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void startDisablesAndStopEnables()
    {
        Rig r;
        r.start("0", "5", "0");
        QVERIFY(r.countdown.countdownRunning());
        QCOMPARE(r.view.caption, kStop);
        QVERIFY(!r.view.enabled);
        QVERIFY(r.view.runningChecked);
        QVERIFY(r.view.timerOn);
        QCOMPARE(r.view.timerPeriod, 1000);
        QCOMPARE(r.view.status, kStopped); // until the first tick
        QVERIFY(r.f.boxes.shown().isEmpty());

        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("剩余4分钟59秒"));
        r.tickAfter(59000);
        QCOMPARE(r.view.status, QStringLiteral("剩余4分钟0秒"));

        r.countdown.OnCountdownStartStop();
        QVERIFY(!r.countdown.countdownRunning());
        QCOMPARE(r.view.caption, kStart);
        QVERIFY(r.view.enabled);
        QVERIFY(!r.view.runningChecked);
        QVERIFY(!r.view.timerOn);
        QCOMPARE(r.view.status, kStopped);
        r.tickAfter(1000);
        QCOMPARE(r.view.status, kStopped);
        QVERIFY(r.f.boxes.shown().isEmpty());
    }

    void hoursFoldIntoMinutes()
    {
        Rig r;
        r.start("12", "30", "30");
        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("剩余750分钟29秒"));
    }

    void zeroEndsOneSecondAfterTheStart()
    {
        Rig r;
        r.start("0", "0", "0");
        QVERIFY(r.countdown.countdownRunning());
        r.tickAfter(900);
        QVERIFY(r.countdown.countdownRunning());
        QVERIFY(r.f.boxes.shown().isEmpty());
        r.tickAfter(100);
        QVERIFY(!r.countdown.countdownRunning());
        QCOMPARE(r.f.boxes.texts(), QStringList{kEnd});
        // The end's box shows as a notification too, gone with the box.
        const auto& shown = r.f.notifications.shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().message.summary, QString::fromUtf8("倒计时提醒"));
        QCOMPARE(shown.first().message.urgency, Notifications::Urgency::Normal);
        QVERIFY(shown.first().message.actions.isEmpty());
        QCOMPARE(r.f.notifications.closedByProgram(), QList<int>{shown.first().handle});
    }

    void longestDurationLasts90060Seconds()
    {
        Rig r;
        r.start("24", "60", "60");
        QVERIFY(r.countdown.countdownRunning());
        r.tickAfter(1000);
        QCOMPARE(r.view.status, QStringLiteral("剩余1500分钟59秒"));
        r.tickAfter(90058 * qint64(1000));
        QVERIFY(r.countdown.countdownRunning());
        QCOMPARE(r.view.status, QStringLiteral("剩余0分钟1秒"));
        r.tickAfter(1000);
        QVERIFY(!r.countdown.countdownRunning());
        QCOMPARE(r.countdown.countdownTicks(), 90060);
        QCOMPARE(r.f.boxes.texts(), QStringList{kEnd});
    }

    void delayedTickCountsAllItsSeconds()
    {
        Rig r;
        r.start("0", "1", "0");
        r.tickAfter(1000);
        r.tickAfter(5000); // the loop was held
        QCOMPARE(r.countdown.countdownTicks(), 6);
        QCOMPARE(r.view.status, QStringLiteral("剩余0分钟54秒"));
        // Several ticks within one second count it once.
        r.tickAfter(300);
        r.tickAfter(300);
        QCOMPARE(r.countdown.countdownTicks(), 6);
        // Held past the end: the end comes at the first tick after it.
        r.tickAfter(70000);
        QVERIFY(!r.countdown.countdownRunning());
        QCOMPARE(r.f.boxes.texts(), QStringList{kEnd});
    }

    void ticksAreAimedAtWholeSeconds()
    {
        Rig r;
        r.start("0", "0", "5");
        QCOMPARE(r.view.timerPeriod, 1000);
        r.tickAfter(1300); // 300 ms late
        QCOMPARE(r.view.timerPeriod, 700);
        QVERIFY(r.view.timerOn);
        r.tickAfter(700);
        QCOMPARE(r.view.timerPeriod, 1000);
        r.tickAfter(960); // 40 ms early still counts its second
        QCOMPARE(r.countdown.countdownTicks(), 3);
        QCOMPARE(r.view.timerPeriod, 1040);
        r.tickAfter(1040);
        QCOMPARE(r.view.status, QStringLiteral("剩余0分钟1秒"));
        // A tick that comes well before the mark does not end it early.
        r.tickAfter(500);
        QVERIFY(r.countdown.countdownRunning());
        QCOMPARE(r.view.timerPeriod, 500);
        r.tickAfter(500);
        QVERIFY(!r.countdown.countdownRunning());
        QVERIFY(!r.view.timerOn);
    }

    void rangeChecks_data()
    {
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("m");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("putBack");
        QTest::newRow("25 hours") << "25"
                                  << "30"
                                  << "30" << kHoursMessage << int(CountdownView::Hours) << "12";
        QTest::newRow("61 minutes and 61 seconds")
            << "1"
            << "61"
            << "61" << kMinutesMessage << int(CountdownView::Minutes) << "30";
        QTest::newRow("61 seconds") << "1"
                                    << "0"
                                    << "61" << kSecondsMessage << int(CountdownView::Seconds) << "30";
        QTest::newRow("all three wrong") << "99"
                                         << "99"
                                         << "99" << kHoursMessage << int(CountdownView::Hours) << "12";
        QTest::newRow("negative hours") << "-1"
                                        << "0"
                                        << "0" << kHoursMessage << int(CountdownView::Hours) << "12";
        QTest::newRow("huge minutes") << "0"
                                      << "99999999999"
                                      << "0" << kMinutesMessage << int(CountdownView::Minutes) << "30";
    }
    void rangeChecks()
    {
        QFETCH(QString, h);
        QFETCH(QString, m);
        QFETCH(QString, s);
        QFETCH(QString, message);
        QFETCH(int, field);
        QFETCH(QString, putBack);
        Rig r;
        r.start(h, m, s);
        QCOMPARE(r.f.boxes.texts(), QStringList{message});
        const MessageBoxRequest box = r.f.boxes.shown().constFirst();
        QCOMPARE(box.buttons, MbButtons::Ok);
        QVERIFY(box.caption.isEmpty()); // the program's title
        QCOMPARE(r.view.fields[field], putBack);
        QCOMPARE(r.view.focused, QList<CountdownView::Field>{CountdownView::Field(field)});
        // The other fields keep what was typed.
        const QString typed[3] = {h, m, s};
        for (int i = 0; i < 3; ++i) {
            if (i != field)
                QCOMPARE(r.view.fields[i], typed[i]);
        }
        QVERIFY(!r.countdown.countdownRunning());
        QVERIFY(!r.view.timerOn);
        QCOMPARE(r.view.caption, kStart);
        QVERIFY(r.view.enabled);
        QVERIFY(!QFile::exists(r.folder.settingsFile()));
    }

    void startWritesTheDurationStopWritesNothing()
    {
        Rig r;
        r.start("1", "0", "05");
        QCOMPARE(r.settingsValue(settings::kKeyCountdownHours), 1);
        QCOMPARE(r.settingsValue(settings::kKeyCountdownMinutes), 0);
        QCOMPARE(r.settingsValue(settings::kKeyCountdownSeconds), 5);
        const QByteArray written = ReadAll(r.folder.settingsFile());
        // Written in the order B, C, D.
        const qsizetype b = written.indexOf("MytimeB");
        const qsizetype c = written.indexOf("MytimeC");
        const qsizetype d = written.indexOf("MytimeD");
        QVERIFY(b >= 0 && b < c && c < d);
        QCOMPARE(r.view.fields[CountdownView::Seconds], QStringLiteral("5"));

        r.countdown.OnCountdownStartStop();
        QCOMPARE(r.view.status, kStopped);
        QCOMPARE(ReadAll(r.folder.settingsFile()), written);
    }

    void restartBeginsAFreshCount()
    {
        Rig r;
        r.start("0", "0", "10");
        r.tickAfter(8000);
        r.countdown.OnCountdownStartStop();
        r.f.clock.advanceMs(20000);
        r.countdown.OnCountdownStartStop();
        QCOMPARE(r.countdown.countdownTicks(), 0);
        r.tickAfter(8000);
        QVERIFY(r.countdown.countdownRunning());
        QCOMPARE(r.view.status, QStringLiteral("剩余0分钟2秒"));
        r.tickAfter(2000);
        QVERIFY(!r.countdown.countdownRunning());
    }

    // A popup's looping sound goes on through the end's own.
    void endLeavesOtherSoundsPlaying()
    {
        Rig r;
        const int popup = r.f.sound.play(kWaveReminder, true);
        r.f.boxes.answerNext(MbResult::Yes);
        r.start("0", "0", "2");
        r.tickAfter(2000);
        QCOMPARE(r.f.boxes.texts(), QStringList{kEnd});
        QCOMPARE(r.f.sound.playingWaves(), QList<int>{kWaveReminder});
        r.f.sound.stop(popup);
    }

    void endWithoutShutdownReminds()
    {
        Rig r;
        int playingDuringBox = -1;
        bool runningDuringBox = true;
        r.f.boxes.onShow = [&](const MessageBoxRequest&) {
            playingDuringBox = r.f.sound.playing();
            runningDuringBox = r.countdown.countdownRunning();
            // No tick of the stopped countdown reaches the box.
            r.tickAfter(1000);
        };
        r.f.boxes.answerNext(MbResult::Yes); // the answer does not matter
        r.start("0", "0", "2");
        r.tickAfter(2000);
        QCOMPARE(r.f.boxes.texts(), QStringList{kEnd});
        const MessageBoxRequest box = r.f.boxes.shown().constFirst();
        QCOMPARE(box.caption, QStringLiteral("倒计时提醒"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(playingDuringBox, int(kWaveReminder));
        QVERIFY(!runningDuringBox);
        QVERIFY(r.f.sound.calls().constFirst().loop);
        QCOMPARE(r.f.sound.playing(), 0);
        QCOMPARE(r.shutdowns, 0);
        QCOMPARE(r.f.power.requests(), 0);
        // Stopped as by the button.
        QCOMPARE(r.view.caption, kStart);
        QCOMPARE(r.view.status, kStopped);
        QVERIFY(r.view.enabled);
        QVERIFY(!r.view.timerOn);
        QVERIFY(!r.view.runningChecked);
    }

    void shutdownAskedFirst()
    {
        Rig r;
        r.view.shutdownChecked = true;
        r.f.boxes.answerNext(MbResult::Yes); // ask before shutting down
        r.countdown.OnCountdownShutdownClicked();
        QCOMPARE(r.f.boxes.texts(), QStringList{kPrompt});
        const MessageBoxRequest ask = r.f.boxes.shown().constFirst();
        QCOMPARE(ask.caption, QStringLiteral("Tolva提示"));
        QCOMPARE(ask.buttons, MbButtons::YesNo);
        QCOMPARE(ask.defaultButton, MbResult::No);
        QVERIFY(ask.topmost);
        QVERIFY(r.countdown.countdownPrompt());
        r.f.boxes.clear();

        int playingDuringBox = -1;
        r.f.boxes.onShow = [&](const MessageBoxRequest&) { playingDuringBox = r.f.sound.playing(); };
        r.start("0", "0", "1");
        QVERIFY(!r.view.enabled); // "关机" cannot be changed now
        r.f.boxes.answerNext(MbResult::No);
        r.tickAfter(1000);
        QCOMPARE(r.f.boxes.texts(), QStringList{kEndShutdown});
        QCOMPARE(r.f.boxes.shown().constFirst().caption, QStringLiteral("倒计时提醒"));
        QCOMPARE(playingDuringBox, int(kWaveReminder));
        QCOMPARE(r.f.sound.playing(), 0);
        QCOMPARE(r.shutdowns, 0);
        QVERIFY(r.view.shutdownChecked);

        // Again, answering Yes this time.
        r.f.boxes.clear();
        r.countdown.OnCountdownStartStop();
        r.f.boxes.answerNext(MbResult::Yes);
        r.tickAfter(1000);
        QCOMPARE(r.f.boxes.texts(), QStringList{kEndShutdown});
        QCOMPARE(r.shutdowns, 1);
        QCOMPARE(r.f.power.requests(), 1);
        QVERIFY(!r.runningAtShutdown);
        QCOMPARE(r.f.sound.playing(), 0);
    }

    void shutdownWithoutAsking()
    {
        Rig r;
        r.view.shutdownChecked = true;
        r.f.boxes.answerNext(MbResult::No);
        r.countdown.OnCountdownShutdownClicked();
        QVERIFY(!r.countdown.countdownPrompt());
        r.f.boxes.clear();

        r.start("0", "0", "3");
        r.tickAfter(3000);
        QVERIFY(r.f.boxes.shown().isEmpty());
        QVERIFY(r.f.sound.calls().isEmpty());
        QCOMPARE(r.shutdowns, 1);
        QCOMPARE(r.f.power.requests(), 1);
        QVERIFY(!r.runningAtShutdown);
        QCOMPARE(r.view.status, kStopped);
    }

    void untickingKeepsTheAnswer()
    {
        Rig r;
        r.view.shutdownChecked = true;
        r.f.boxes.answerNext(MbResult::Yes);
        r.countdown.OnCountdownShutdownClicked();
        r.view.shutdownChecked = false;
        r.countdown.OnCountdownShutdownClicked();
        QCOMPARE(r.f.boxes.shown().size(), 1); // no question when unticking
        QVERIFY(r.countdown.countdownPrompt());
        QVERIFY(!r.countdown.countdownShutdown());

        // Unticked, the end only reminds.
        r.start("0", "0", "0");
        r.tickAfter(1000);
        QCOMPARE(r.f.boxes.texts().constLast(), kEnd);
        QCOMPARE(r.shutdowns, 0);
    }
};

QTEST_GUILESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
