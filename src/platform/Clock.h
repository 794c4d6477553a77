#pragma once

#include <QDateTime>
#include <QMutex>

// Local wall-clock time and a monotonic time base. Everything that shows or
// compares the time of day asks this, never QDateTime directly, so that tests
// can hold the time still or move it forward.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never jumps (not affected by setting the time).
    virtual qint64 monotonicMs() const = 0;
};

class SystemLocalClock final : public Clock
{
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

// A clock that only moves when told to; safe to read from several threads.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(const QDateTime& start = QDateTime(QDate(2026, 1, 1), QTime(10, 0, 0)));
    QDateTime now() const override;
    qint64 monotonicMs() const override;

    void set(const QDateTime& t); // wall clock only, as when the user sets the time
    void advanceMs(qint64 ms);    // both clocks
    void advanceSecs(qint64 s) { advanceMs(s * 1000); }

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
    qint64 m_mono = 0;
};
