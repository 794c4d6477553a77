#include "timesync/TimeProtocol.h"

#include <QLocale>
#include <algorithm>
#include <cstring>

namespace timeproto {

const char* const kServers[kServerCount] = {
    "132.236.56.250", "208.201.242.2",  "132.163.4.101", "132.163.4.102",
    "132.163.4.103",  "128.138.140.44", "64.236.96.53",  "203.129.68.14",
};

QDateTime ReplyToUtc(quint32 reply)
{
    // The reply is unsigned: widen before subtracting, so that values of 2^31
    // and above count forward from 1900 and not backwards.
    return QDateTime::fromSecsSinceEpoch(qint64(reply) - kSecondsFrom1900To1970, Qt::UTC);
}

quint32 ReplyFromNetworkBytes(const unsigned char bytes[kReplySize])
{
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | quint32(bytes[3]);
}

ReplyReader::State ReplyReader::onRead(const char* data, qint64 n, int error)
{
    if (m_state != State::Waiting)
        return m_state;
    if (n < 0) {
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
            return m_state;
        m_error = error;
        return m_state = State::Failed;
    }
    if (n == 0) {
        m_error = kShortReplyError;
        return m_state = State::Failed;
    }
    const int take = int(std::min<qint64>(n, missing()));
    std::memcpy(m_bytes + m_received, data, size_t(take));
    m_received += take;
    if (m_received == kReplySize)
        m_state = State::Complete;
    return m_state;
}

QString LocaleShortDate(const QDateTime& t)
{
    return QLocale().toString(t.date(), QLocale::ShortFormat);
}

QString Locale24HourTime(const QDateTime& t)
{
    // The locale's long form keeps the seconds. Without its AM/PM marker (a, A,
    // ap, AP) Qt counts the hours 0 to 23; the zone (t) goes as well. Quoted
    // literal text stays.
    const QString longFormat = QLocale().timeFormat(QLocale::LongFormat);
    QString format;
    bool quoted = false;
    for (const QChar c : longFormat) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && QStringLiteral("aApPt").contains(c))
            continue;
        format += c;
    }
    return QLocale().toString(t.time(), format.simplified());
}

} // namespace timeproto
