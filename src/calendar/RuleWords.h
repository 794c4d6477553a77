#pragma once

#include <QDateTime>
#include <QString>

namespace calendar {

// A repeating reminder's rule as the list says it: 每天, 每周一、三、五, 每两周的周二, 每月15日,
// 每月最后一个星期五, 每年3月8日, 农历每年八月十五, with "，共10次" or "，至2027-12-31" when the
// series ends. The parts a rule leaves out come from its start, as the series itself takes them. A rule
// these words cannot say is given as its RRULE text.
QString ruleWords(const QString& rrule, const QDateTime& start);

// The workday rule; `fallbackYear` names a year that has no official arrangement (0: none), in which
// Monday to Friday stand in.
QString workdayWords(int fallbackYear = 0);

} // namespace calendar
