#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

namespace calendar {

// The official holiday arrangement of mainland China, year by year: statutory days off (休) and the
// weekend days worked in exchange (班, 调休). Read from text in the form of res/holidays-cn.txt. A year
// without an arrangement is not guessed: it falls back to Monday to Friday, and covers() says so.
class WorkdayCalendar
{
public:
    // Parses the text; on a malformed line returns false and says which in Chinese.
    bool parse(const QString& text, QString* error);
    // The file shipped with the program (":/holidays-cn.txt" when the resources are linked in).
    static WorkdayCalendar shipped();

    // Takes every year `newer` has an arrangement for, replacing this calendar's arrangement of that year.
    void merge(const WorkdayCalendar& newer);

    bool covers(int year) const { return m_years.contains(year); }
    QList<int> coveredYears() const { return m_years.keys(); }
    QString source(int year) const { return m_years.value(year).source; }
    // Whether `day` is worked: a 班 or 休 mark of an arrangement first, else Monday to Friday.
    bool isWorkday(const QDate& day) const;
    // The first workday on or after `day`; an invalid date when none comes within a year.
    QDate nextWorkday(const QDate& day) const;

private:
    struct Arrangement
    {
        QString source;
        QHash<QDate, bool> workday; // marked dates: true 班, false 休
    };
    QMap<int, Arrangement> m_years;
};

} // namespace calendar
