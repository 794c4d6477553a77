#include "platform/Clock.h"

#include <time.h>

QDateTime SystemLocalClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemLocalClock::monotonicMs() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

FakeClock::FakeClock(const QDateTime& start) : m_now(start) {}

QDateTime FakeClock::now() const
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

qint64 FakeClock::monotonicMs() const
{
    QMutexLocker lock(&m_mutex);
    return m_mono;
}

void FakeClock::set(const QDateTime& t)
{
    QMutexLocker lock(&m_mutex);
    m_now = t;
}

void FakeClock::advanceMs(qint64 ms)
{
    QMutexLocker lock(&m_mutex);
    m_now = m_now.addMSecs(ms);
    m_mono += ms;
}
