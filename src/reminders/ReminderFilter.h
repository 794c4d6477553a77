#pragma once

#include "store/AdoDatabase.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The reminder records as the list and the editor see them: field names, the
// stored text forms of dates and times, and the where clauses of the filters.
namespace reminders {

// The date of a record that falls due every day.
inline constexpr const char kEveryDay[] = "Every Day";
// Values of the "use" field.
inline constexpr const char kNotTaken[] = "0";
inline constexpr const char kTaken[] = "1";

// Qt formats of the stored texts ("%Y-%m-%d", "%H:%M:%S", "%Y-%m-%d %H:%M:%S").
inline constexpr const char kDateFormat[] = "yyyy-MM-dd";
inline constexpr const char kTimeFormat[] = "HH:mm:ss";
inline constexpr const char kDateTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

QString FormatDate(const QDateTime& t);
QString FormatTime(const QDateTime& t);
QString FormatDateTime(const QDateTime& t);
// The time without its milliseconds: every stored time and every comparison
// counts whole seconds.
QDateTime WholeSeconds(const QDateTime& t);
using store::SqlQuoted;

// titile, text, date, time, use, insertdatatime, id: the list's columns.
QStringList ListFields();
// The same without id: the fields the editor writes.
QStringList InsertFields();

// The list filters, in the order of their radio buttons.
enum Filter { kFilterAll = 0, kFilterNotTaken = 1, kFilterTaken = 2, kFilterUpcoming = 3 };

// The where clause of a filter at the given moment; empty for "all" and for an
// index outside the four filters.
QString FilterWhereClause(int filterIndex, const QDateTime& now);

// The where clause of one page of a list read newest first: the records of
// filterClause ("where ..." or empty) whose id is below belowId (no bound when
// belowId is negative). Read by key, the table is walked newest first past the
// records that do not match, which is quick while they are many; a filter that
// matches few records of a large table is read by filter instead: its own index
// finds them all, then the page is taken by id.
QString PageWhereClause(const QString& filterClause, qint64 belowId, bool byFilter);
// Up to how many matching records pages are read by filter.
inline constexpr int kPagesByFilterUpTo = 20000;
bool PagesByFilter(const QString& filterClause, int matching);

} // namespace reminders
