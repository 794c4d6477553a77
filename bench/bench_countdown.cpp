// A real countdown on the real clock and a real 1000 ms QTimer, with both cores
// kept busy by two other processes and a modal box holding the event loop for
// 10 s in the middle. Prints how late the end comes, beside when a plain count
// of delivered ticks would have ended under the same load.
//
//   bench_countdown [--seconds N] [--stall-ms N]
//
// --stall-ms blocks the user-interface thread once, for that long, a little
// after the box has closed (a slow synchronous call standing in), which makes
// the timer drop ticks.

#include "base/Paths.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Sound.h"
#include "timers/Countdown.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class BenchView final : public CountdownView
{
public:
    explicit BenchView(int seconds)
    {
        m_fields[Hours] = QStringLiteral("0");
        m_fields[Minutes] = QString::number(seconds / 60);
        m_fields[Seconds] = QString::number(seconds % 60);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { countdown->CountdownTick(); });
    }
    Countdown* countdown = nullptr;

    QString countdownFieldText(Field f) const override { return m_fields[f]; }
    void setCountdownFieldText(Field f, const QString& text) override { m_fields[f] = text; }
    void focusCountdownField(Field) override {}
    bool countdownShutdownChecked() const override { return false; }
    void setCountdownShutdownChecked(bool) override {}
    void setCountdownRunningChecked(bool) override {}
    void setCountdownControlsEnabled(bool) override {}
    QString countdownButtonCaption() const override { return m_caption; }
    void setCountdownButtonCaption(const QString& c) override { m_caption = c; }
    void setCountdownStatus(const QString&) override {}
    void startCountdownTimer(int periodMs) override { m_timer.start(periodMs); }
    void killCountdownTimer() override { m_timer.stop(); }

private:
    QString m_fields[3];
    QString m_caption = QStringLiteral("开  启");
    QTimer m_timer;
};

pid_t startBusyLoop()
{
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the bench
        volatile unsigned long n = 0;
        for (;;)
            n = n + 1;
    }
    return pid;
}

int argValue(int argc, char** argv, const char* name, int def)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return def;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argValue(argc, argv, "--seconds", 60);
    const int stallMs = argValue(argc, argv, "--stall-ms", 0);
    if (seconds < 12) {
        std::fprintf(stderr, "--seconds must be at least 12 (the box is held for 10 s)\n");
        return 2;
    }

    // Fork before Qt starts any thread.
    const pid_t busy[2] = {startBusyLoop(), startBusyLoop()};

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // the held box is the only window

    // The start writes the duration to the settings file: keep it away from real data.
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("myTolva"));
    SetProgramFolderForTesting(folder.path());

    SystemLocalClock clock;
    FakeSound sound;
    FakeMessageBoxes boxes;
    seams::setClock(&clock);
    seams::setSound(&sound);
    seams::setMessageBoxes(&boxes);

    BenchView view(seconds);
    Countdown countdown(view, nullptr, [] {});
    view.countdown = &countdown;

    // A plain tick counter on its own timer, under the same load.
    int naiveTicks = 0;
    qint64 naiveEndMs = -1;
    QTimer naive;
    naive.setInterval(1000);

    // Ends when both have ended, or 5 s after the countdown if the counter lags further.
    qint64 endMs = -1;
    const auto quitWhenDone = [&] {
        if (endMs >= 0 && naiveEndMs >= 0)
            app.quit();
    };
    boxes.onShow = [&](const MessageBoxRequest&) {
        endMs = clock.monotonicMs();
        quitWhenDone();
        QTimer::singleShot(5000, &app, &QApplication::quit);
    };
    QObject::connect(&naive, &QTimer::timeout, [&] {
        if (++naiveTicks == seconds) {
            naiveEndMs = clock.monotonicMs();
            quitWhenDone();
        }
    });

    const qint64 startMs = clock.monotonicMs();
    countdown.OnCountdownStartStop();
    naive.start();

    const int boxAtMs = (seconds / 2 - 5) * 1000;
    QTimer::singleShot(boxAtMs, [&] {
        QMessageBox box;
        box.setText(QStringLiteral("held open for 10 s"));
        QTimer::singleShot(10000, &box, &QMessageBox::accept);
        box.exec();
    });
    if (stallMs > 0) {
        QTimer::singleShot(boxAtMs + 12500, [&] {
            const qint64 until = clock.monotonicMs() + stallMs;
            while (clock.monotonicMs() < until) {
            }
        });
    }

    app.exec();

    for (pid_t pid : busy) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    SetProgramFolderForTesting(QString());
    seams::setMessageBoxes(nullptr);
    seams::setSound(nullptr);
    seams::setClock(nullptr);

    if (endMs < 0) {
        std::printf("countdown did not end\n");
        return 1;
    }
    const qint64 lateMs = endMs - startMs - qint64(seconds) * 1000;
    std::printf("countdown of %d s, 2 busy processes, modal box held 10 s, UI stall %d ms\n", seconds,
                stallMs);
    std::printf("end lateness: %lld ms (target < 1000 ms)\n", static_cast<long long>(lateMs));
    if (naiveEndMs >= 0)
        std::printf("counting delivered ticks would end: %lld ms late\n",
                    static_cast<long long>(naiveEndMs - startMs - qint64(seconds) * 1000));
    else
        std::printf("counting delivered ticks: only %d of %d ticks had arrived at the end\n", naiveTicks,
                    seconds);
    return lateMs < 1000 ? 0 : 1;
}
