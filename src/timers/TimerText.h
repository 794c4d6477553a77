#pragma once

#include <QString>

// Pieces shared by the rest reminder and the countdown.
namespace timertext {

// Captions of the start/stop buttons; the handlers decide by comparing them.
inline constexpr const char kStart[] = "开  启";
inline constexpr const char kStop[] = "停  止";

// A field's number as atoi reads it: blanks, an optional sign, then the leading
// decimal digits; no digits give 0. Saturates instead of overflowing, so that a
// long run of digits is refused by the range checks rather than wrapping round.
int ReadFieldNumber(const QString& text);

// Whole seconds between two monotonic readings. A 1000 ms timer may deliver its
// tick a little before the second is full (coarse timers allow 5% slack), so a
// reading that short of the mark still counts that second.
int WholeSecondsBetween(qint64 fromMs, qint64 toMs);
inline constexpr qint64 kEarlyTickSlackMs = 50;

} // namespace timertext
