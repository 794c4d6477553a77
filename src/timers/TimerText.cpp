#include "timers/TimerText.h"

#include <limits>

namespace timertext {

int ReadFieldNumber(const QString& text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    qint64 value = 0;
    constexpr qint64 kMax = std::numeric_limits<int>::max();
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        value = value * 10 + (text[i++].unicode() - '0');
        if (value > kMax)
            value = kMax;
    }
    return int(negative ? -value : value);
}

int WholeSecondsBetween(qint64 fromMs, qint64 toMs)
{
    const qint64 elapsed = toMs - fromMs + kEarlyTickSlackMs;
    if (elapsed <= 0)
        return 0;
    const qint64 secs = elapsed / 1000;
    return secs > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(secs);
}

} // namespace timertext
