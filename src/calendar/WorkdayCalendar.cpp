#include "calendar/WorkdayCalendar.h"

#include <QFile>
#include <QRegularExpression>

namespace calendar {

bool WorkdayCalendar::parse(const QString& text, QString* error)
{
    static const QRegularExpression yearLine(QStringLiteral("^\\[(\\d{4})\\]$"));
    static const QRegularExpression dateLine(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\s+(休|班)$"));
    QMap<int, Arrangement> years;
    int year = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        auto fail = [&](const QString& why) {
            if (error)
                *error = QStringLiteral("节假日安排第 %1 行%2：%3").arg(i + 1).arg(why, line);
            return false;
        };
        if (line.startsWith(QLatin1Char('#'))) {
            if (year != 0) {
                QString& source = years[year].source;
                source += (source.isEmpty() ? QString() : QStringLiteral("\n")) + line.mid(1).trimmed();
            }
            continue;
        }
        if (const auto m = yearLine.match(line); m.hasMatch()) {
            year = m.captured(1).toInt();
            if (years.contains(year))
                return fail(QStringLiteral("重复了这一年"));
            years.insert(year, Arrangement());
            continue;
        }
        const auto m = dateLine.match(line);
        if (!m.hasMatch())
            return fail(QStringLiteral("不是 \"YYYY-MM-DD 休\" 或 \"YYYY-MM-DD 班\""));
        if (year == 0)
            return fail(QStringLiteral("前面缺少 \"[年份]\" 一行"));
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if (!day.isValid())
            return fail(QStringLiteral("日期无效"));
        // An arrangement reaches at most into the neighbouring years (a New Year holiday from 12-31).
        if (qAbs(day.year() - year) > 1)
            return fail(QStringLiteral("日期不在 %1 年的安排之内").arg(year));
        Arrangement& a = years[year];
        if (a.workday.contains(day))
            return fail(QStringLiteral("日期重复"));
        a.workday.insert(day, m.captured(2) == QStringLiteral("班"));
    }
    if (years.isEmpty()) {
        if (error)
            *error = QStringLiteral("节假日安排里没有任何一年");
        return false;
    }
    m_years = years;
    return true;
}

WorkdayCalendar WorkdayCalendar::shipped()
{
    WorkdayCalendar calendar;
    QFile file(QStringLiteral(":/holidays-cn.txt"));
    if (file.open(QIODevice::ReadOnly))
        calendar.parse(QString::fromUtf8(file.readAll()), nullptr);
    return calendar;
}

void WorkdayCalendar::merge(const WorkdayCalendar& newer)
{
    for (auto it = newer.m_years.cbegin(); it != newer.m_years.cend(); ++it)
        m_years.insert(it.key(), it.value());
}

bool WorkdayCalendar::isWorkday(const QDate& day) const
{
    // The day's own year first, then the arrangements of the years beside it.
    for (const int year : {day.year(), day.year() + 1, day.year() - 1}) {
        const auto a = m_years.constFind(year);
        if (a == m_years.cend())
            continue;
        const auto mark = a->workday.constFind(day);
        if (mark != a->workday.cend())
            return *mark;
    }
    return day.dayOfWeek() <= 5;
}

QDate WorkdayCalendar::nextWorkday(const QDate& day) const
{
    for (QDate d = day; d.isValid() && d.daysTo(day) > -366; d = d.addDays(1)) {
        if (isWorkday(d))
            return d;
    }
    return QDate();
}

} // namespace calendar
