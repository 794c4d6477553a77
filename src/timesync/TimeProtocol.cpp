#include "timesync/TimeProtocol.h"

#include <QLocale>
#include <QTimeZone>
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

namespace {
// __DATE__ is "Mmm dd yyyy", the day padded with a blank.
constexpr int monthOf(const char* d)
{
    constexpr const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int m = 0; m < 12; ++m) {
        if (d[0] == kMonths[3 * m] && d[1] == kMonths[3 * m + 1] && d[2] == kMonths[3 * m + 2])
            return m + 1;
    }
    return 0;
}
constexpr int digit(char c)
{
    return c == ' ' ? 0 : c - '0';
}
constexpr const char kBuildDate[] = __DATE__;
constexpr int kBuildYear = digit(kBuildDate[7]) * 1000 + digit(kBuildDate[8]) * 100 +
                           digit(kBuildDate[9]) * 10 + digit(kBuildDate[10]);
constexpr int kBuildMonth = monthOf(kBuildDate);
constexpr int kBuildDay = digit(kBuildDate[4]) * 10 + digit(kBuildDate[5]);
static_assert(kBuildMonth >= 1 && kBuildDay >= 1 && kBuildDay <= 31 && kBuildYear >= 2016,
              "__DATE__ is not in the form \"Mmm dd yyyy\"");
} // namespace

QDate BuildDate()
{
    return QDate(kBuildYear, kBuildMonth, kBuildDay);
}

bool ReplyPredatesBuild(quint32 reply)
{
    const QDateTime earliest = QDateTime(BuildDate().addDays(-1), QTime(0, 0), QTimeZone::utc());
    return ReplyToUtc(reply) < earliest;
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
