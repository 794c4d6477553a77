#include "base/WallTime.h"

#include <algorithm>
#include <ctime>
#include <initializer_list>

namespace walltime {

namespace {
// No zone steps twice within a day, and no step is a day long: looking a day to
// either side sees the offsets in force on both sides of any step near.
constexpr qint64 kDay = 24 * 60 * 60;
} // namespace

void RefreshZone()
{
    ::tzset();
}

qint64 OffsetAt(qint64 instant)
{
    const time_t t = time_t(instant);
    tm parts{};
    if (!::localtime_r(&t, &parts))
        return 0;
    return qint64(parts.tm_gmtoff);
}

qint64 WallAt(qint64 instant)
{
    return instant + OffsetAt(instant);
}

qint64 DueInstant(qint64 wall)
{
    const qint64 before = OffsetAt(wall - kDay);
    const qint64 after = OffsetAt(wall + kDay);
    const qint64 early = wall - before;
    const qint64 late = wall - after;
    const bool earlyShows = OffsetAt(early) == before;
    const bool lateShows = OffsetAt(late) == after;
    if (earlyShows && lateShows)
        return std::min(early, late);
    if (earlyShows)
        return early;
    if (lateShows)
        return late;
    // Skipped: read with the offset before the step, it lands after the step,
    // as far past the step's start as the reading lies inside the gap.
    return early;
}

WallSpan WallsDueIn(qint64 from, qint64 to)
{
    qint64 low = OffsetAt(from);
    qint64 high = low;
    for (const qint64 at : {from - kDay, to, to + kDay}) {
        const qint64 offset = OffsetAt(at);
        low = std::min(low, offset);
        high = std::max(high, offset);
    }
    return WallSpan{from + low, to + high};
}

qint64 Wall(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
}

QDateTime WallDateTime(qint64 wall)
{
    return QDateTime::fromSecsSinceEpoch(wall, Qt::UTC);
}

QDateTime WallMoment(const QDate& date, const QTime& time)
{
    const qint64 wall = Wall(date, time);
    return QDateTime(date, time, Qt::OffsetFromUTC, int(wall - DueInstant(wall)));
}

} // namespace walltime
