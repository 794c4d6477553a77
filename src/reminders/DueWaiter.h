#pragma once

#include <QDateTime>
#include <QString>
#include <atomic>

// How the due-check worker sleeps between its passes: until the next second at
// which a record can fall due, or until something may have changed that.
class DueWaiter
{
public:
    virtual ~DueWaiter() = default;
    // Blocks until the clock seam reaches until, the wall clock is set (or the
    // machine resumes), the local zone's file is replaced, the watched file changes, wake() was called since
    // the last wait returned, or interrupt() has been called (then it returns at once, now and ever after).
    virtual void waitUntil(const QDateTime& until) = 0;
    // The data file, whose change by another program wakes the wait; empty for
    // none. Called on the waiting thread between waits.
    virtual void watchFile(const QString& path) { static_cast<void>(path); }
    // Thread-safe; makes the current wait, or else the next one, return once.
    virtual void wake() = 0;
    // Thread-safe; makes the current and every later wait return at once.
    virtual void interrupt() = 0;
};

// Changes to one file, made by anyone: an inotify watch on its folder (an
// SQLite write may replace the file or only touch its journal beside it).
class FileChangeWatch
{
public:
    FileChangeWatch();
    ~FileChangeWatch();
    FileChangeWatch(const FileChangeWatch&) = delete;
    FileChangeWatch& operator=(const FileChangeWatch&) = delete;

    // Watches path (and its journal); empty stops watching.
    void setFile(const QString& path);
    const QString& file() const { return m_file; }
    // For poll(); readable when events are pending. -1 without inotify.
    int fd() const { return m_fd; }
    // Reads every pending event without blocking; true when one concerned the
    // file or its journal.
    bool drain();

private:
    int m_fd = -1;
    int m_watch = -1;
    QString m_file;
    QByteArray m_name;
};

// The real waiting: a timerfd on CLOCK_REALTIME armed for the wanted second,
// cancelled when the clock is set (TFD_TIMER_CANCEL_ON_SET, which the kernel
// also fires when the machine resumes from sleep); woken through an eventfd,
// by the file watch and by a change of /etc/localtime (a zone change sets no
// clock: timedated and tools replace the link by a rename).
class TimerfdDueWaiter final : public DueWaiter
{
public:
    // zoneFile: the file that names the local zone.
    explicit TimerfdDueWaiter(const QString& zoneFile = QStringLiteral("/etc/localtime"));
    ~TimerfdDueWaiter() override;
    TimerfdDueWaiter(const TimerfdDueWaiter&) = delete;
    TimerfdDueWaiter& operator=(const TimerfdDueWaiter&) = delete;

    void waitUntil(const QDateTime& until) override;
    void watchFile(const QString& path) override;
    void wake() override;
    void interrupt() override;

private:
    int m_timer = -1;
    int m_wake = -1;
    std::atomic<bool> m_interrupted{false};
    FileChangeWatch m_watch;
    FileChangeWatch m_zone;
};
