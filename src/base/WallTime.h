#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QtGlobal>

// Wall-clock time in the process's local zone, and the instant at which a wall
// date and time falls due. Instants are seconds since the epoch; a wall value
// is the wall reading counted as if it were UTC ("naive" seconds), so that a
// zone change or a daylight-saving step never moves it.
namespace walltime {

// Re-reads the local zone (TZ, /etc/localtime) for this process: glibc reads
// it again only when asked, and Qt's local time follows glibc.
void RefreshZone();

// Seconds east of UTC at the instant.
qint64 OffsetAt(qint64 instant);
// The wall reading at the instant.
qint64 WallAt(qint64 instant);
// The instant at which the wall reading falls due: a reading the clock skips
// (a spring-forward gap) is shifted by the gap, one it shows twice (a fall-back)
// falls due at its first showing.
qint64 DueInstant(qint64 wall);

// The wall readings that can fall due in the instants from..to: every one that
// does lies in [first, last] (a few more near a transition; DueInstant tells).
struct WallSpan
{
    qint64 first;
    qint64 last;
};
WallSpan WallsDueIn(qint64 from, qint64 to);

qint64 Wall(const QDate& date, const QTime& time);
// The wall reading as a date-time whose date() and time() are the reading's.
QDateTime WallDateTime(qint64 wall);
// That wall date and time as a date-time whose date() and time() are the
// reading's and whose instant is the one at which it falls due (it carries the
// offset in force then; a skipped reading, the offset before the step).
QDateTime WallMoment(const QDate& date, const QTime& time);

} // namespace walltime
