#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The Time Protocol (RFC 868): the server sends the seconds since
// 1900-01-01 00:00:00 UTC as one unsigned 32-bit number in network order.
namespace timeproto {

inline constexpr quint16 kPort = 37;
inline constexpr int kReplySize = 4;
// Seconds from 1900-01-01 to 1970-01-01, both UTC.
inline constexpr qint64 kSecondsFrom1900To1970 = 2208988800LL;

// The built-in servers, in the order of the list.
inline constexpr int kServerCount = 8;
extern const char* const kServers[kServerCount];

// The instant a reply stands for, in UTC with 0 ms. Every 32-bit value is
// taken as it is: there is no era handling, so the last instant is
// 2036-02-07 06:28:15.
QDateTime ReplyToUtc(quint32 reply);
// The reply word from its four bytes as they came off the wire.
quint32 ReplyFromNetworkBytes(const unsigned char bytes[kReplySize]);

// The user's locale: its short date, and its time of day with seconds forced
// to the 24-hour form and without an AM/PM marker or time zone.
QString LocaleShortDate(const QDateTime& t);
QString Locale24HourTime(const QDateTime& t);

} // namespace timeproto
