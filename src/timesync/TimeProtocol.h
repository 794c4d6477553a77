#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <cerrno>

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
// The day this program was built, from the compiler's __DATE__ (which honours
// SOURCE_DATE_EPOCH for reproducible builds).
QDate BuildDate();
// True for a reply that lies before the program was built: the protocol is
// unauthenticated, and a bad or hostile server could send 1970. One day of
// slack allows for the time zone the build ran in.
bool ReplyPredatesBuild(quint32 reply);

// The reply word from its four bytes as they came off the wire.
quint32 ReplyFromNetworkBytes(const unsigned char bytes[kReplySize]);

// The connection ended before the four bytes of the reply were in. The peer
// broke the protocol; no error number of the socket layer says so better.
inline constexpr int kShortReplyError = EPROTO;

// Collects the reply from reads of any size. The reads ask for missing() bytes
// at most, so whatever the server sends after the reply stays unread; bytes
// past the reply in a longer read are ignored all the same.
class ReplyReader
{
public:
    enum class State { Waiting, Complete, Failed };

    void reset() { *this = ReplyReader(); }
    int received() const { return m_received; }
    int missing() const { return kReplySize - m_received; }
    State state() const { return m_state; }
    // Once Failed: the socket layer's error number, or kShortReplyError.
    int error() const { return m_error; }
    // The reply word of the bytes so far (all four once Complete).
    quint32 reply() const { return ReplyFromNetworkBytes(m_bytes); }

    // One read as the socket layer reports it: n bytes at data, 0 once the peer
    // has closed, or -1 with error (EAGAIN, EWOULDBLOCK and EINTR: nothing yet).
    // A reader that is no longer Waiting ignores the read.
    State onRead(const char* data, qint64 n, int error);

private:
    unsigned char m_bytes[kReplySize] = {};
    int m_received = 0;
    State m_state = State::Waiting;
    int m_error = 0;
};

// The user's locale: its short date, and its time of day with seconds forced
// to the 24-hour form and without an AM/PM marker or time zone.
QString LocaleShortDate(const QDateTime& t);
QString Locale24HourTime(const QDateTime& t);

} // namespace timeproto
