#include "calendar/RepeatChoice.h"

#include "calendar/LunarRule.h"
#include "calendar/Recurrence.h"
#include "calendar/RuleWords.h"

#include <QHash>
#include <QStringList>

namespace calendar {

namespace {

const char* const kDayCodes[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
const char* const kFreqs[] = {"DAILY", "WEEKLY", "MONTHLY"};
const char* const kSkips[] = {"OMIT", "BACKWARD", "FORWARD"};
const char kUntilTime[] = "T235959";

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

int dayIndex(const QString& code)
{
    for (int i = 0; i < 7; ++i) {
        if (code == QLatin1String(kDayCodes[i]))
            return i + 1;
    }
    return 0;
}

// The rule's NAME=VALUE parts; empty when a part has no "=" or a name comes twice.
QHash<QString, QString> partsOf(const QString& text)
{
    QHash<QString, QString> parts;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0 || parts.contains(part.left(eq)))
            return {};
        parts.insert(part.left(eq), part.mid(eq + 1));
    }
    return parts;
}

int number(const QString& text, int low, int high)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high ? n : 0;
}

// The preset a rule's parts read as; its text is compared with the rule's
// afterwards, so a reading that drops or reorders anything is not taken.
RepeatChoice presetOf(const QHash<QString, QString>& p)
{
    RepeatChoice c;
    const QString freq = p.value(QStringLiteral("FREQ"));
    if (p.contains(QStringLiteral("RSCALE"))) {
        c.kind = RepeatChoice::Kind::Lunar;
        QString month = p.value(QStringLiteral("BYMONTH"));
        c.lunarLeap = month.endsWith(QLatin1Char('L'));
        if (c.lunarLeap)
            month.chop(1);
        c.lunarMonth = number(month, 1, 12);
        c.lunarDay = number(p.value(QStringLiteral("BYMONTHDAY")), 1, 30);
        for (int i = 0; i < 3; ++i) {
            if (p.value(QStringLiteral("SKIP")) == QLatin1String(kSkips[i]))
                c.skip = RepeatChoice::Skip(i);
        }
        return c;
    }
    if (freq == QStringLiteral("YEARLY")) {
        c.kind = RepeatChoice::Kind::Yearly;
        return c;
    }
    if (freq == QStringLiteral("WEEKLY") && p.contains(QStringLiteral("BYDAY"))) {
        c.kind = RepeatChoice::Kind::Weekly;
        for (const QString& day : p.value(QStringLiteral("BYDAY")).split(QLatin1Char(',')))
            c.weekdays << dayIndex(day);
        return c;
    }
    if (freq == QStringLiteral("MONTHLY") && p.contains(QStringLiteral("BYMONTHDAY"))) {
        c.kind = RepeatChoice::Kind::Monthly;
        c.monthDay = number(p.value(QStringLiteral("BYMONTHDAY")), 1, 31);
        return c;
    }
    if (freq == QStringLiteral("MONTHLY") && p.contains(QStringLiteral("BYDAY"))) {
        const QString byDay = p.value(QStringLiteral("BYDAY"));
        c.kind = RepeatChoice::Kind::Monthly;
        c.byWeekday = true;
        c.weekday = dayIndex(byDay.right(2));
        c.ordinal = byDay.chopped(2) == QStringLiteral("-1") ? -1 : number(byDay.chopped(2), 1, 4);
        return c;
    }
    // Custom fields: every N days, weeks or months, until a day or N times.
    c.kind = RepeatChoice::Kind::Custom;
    for (int i = 0; i < 3; ++i) {
        if (freq == QLatin1String(kFreqs[i]))
            c.unit = RepeatChoice::Unit(i);
    }
    c.interval =
        p.contains(QStringLiteral("INTERVAL")) ? number(p.value(QStringLiteral("INTERVAL")), 1, 999) : 1;
    if (p.contains(QStringLiteral("COUNT"))) {
        c.end = RepeatChoice::End::Count;
        c.count = number(p.value(QStringLiteral("COUNT")), 1, 999);
    } else if (p.contains(QStringLiteral("UNTIL"))) {
        const QString until = p.value(QStringLiteral("UNTIL"));
        c.end = RepeatChoice::End::Until;
        if (until.endsWith(QLatin1String(kUntilTime)))
            c.until = QDate::fromString(until.chopped(7), QStringLiteral("yyyyMMdd"));
    }
    return c;
}

} // namespace

RepeatChoice RepeatChoice::fromRule(const QString& rrule, bool workdays, bool everyDay)
{
    RepeatChoice c;
    if (everyDay) {
        c.kind = Kind::EveryDay;
        return c;
    }
    if (workdays) {
        c.kind = Kind::Workdays;
        return c;
    }
    QString text = rrule.trimmed();
    if (text.isEmpty())
        return c;
    if (text.startsWith(QStringLiteral("RRULE:"), Qt::CaseInsensitive))
        text = text.mid(6);
    const QHash<QString, QString> parts = partsOf(text.toUpper());
    if (!parts.isEmpty()) {
        c = presetOf(parts);
        // Read back only when the fields give exactly the rule (presets and
        // custom fields alike); anything else keeps its text.
        if (c.rule() == text.toUpper()) {
            if (c.kind == Kind::Custom)
                c.text = rrule;
            return c;
        }
    }
    c = RepeatChoice();
    c.kind = Kind::Custom;
    c.text = rrule;
    return c;
}

RepeatChoice RepeatChoice::forDay(Kind kind, const QDate& day)
{
    RepeatChoice c;
    c.kind = kind;
    c.weekdays = {day.dayOfWeek()};
    c.monthDay = day.day();
    c.weekday = day.dayOfWeek();
    c.ordinal = day.day() + 7 > day.daysInMonth() ? -1 : (day.day() - 1) / 7 + 1;
    if (const auto lunar = LunarDay::fromSolar(day)) {
        c.lunarMonth = lunar->month;
        c.lunarLeap = lunar->leap;
        c.lunarDay = lunar->day;
    }
    c.until = day.addMonths(1);
    return c;
}

QString RepeatChoice::fieldsRule() const
{
    QString rule = QStringLiteral("FREQ=") + QLatin1String(kFreqs[int(unit)]);
    if (interval != 1)
        rule += QStringLiteral(";INTERVAL=%1").arg(interval);
    if (end == End::Until)
        rule += QStringLiteral(";UNTIL=") + until.toString(QStringLiteral("yyyyMMdd")) +
                QLatin1String(kUntilTime);
    else if (end == End::Count)
        rule += QStringLiteral(";COUNT=%1").arg(count);
    return rule;
}

QString RepeatChoice::rule() const
{
    switch (kind) {
    case Kind::Weekly: {
        QStringList days;
        for (int d : weekdays)
            days << QLatin1String(d >= 1 && d <= 7 ? kDayCodes[d - 1] : "");
        return QStringLiteral("FREQ=WEEKLY;BYDAY=") + days.join(QLatin1Char(','));
    }
    case Kind::Monthly:
        if (!byWeekday)
            return QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=%1").arg(monthDay);
        return QStringLiteral("FREQ=MONTHLY;BYDAY=%1").arg(ordinal) +
               QLatin1String(weekday >= 1 && weekday <= 7 ? kDayCodes[weekday - 1] : "");
    case Kind::Yearly:
        return QStringLiteral("FREQ=YEARLY");
    case Kind::Lunar: {
        QString rule = QStringLiteral("RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=%1%2;BYMONTHDAY=%3")
                           .arg(lunarMonth)
                           .arg(lunarLeap ? QStringLiteral("L") : QString())
                           .arg(lunarDay);
        if (skip != Skip::Omit)
            rule += QStringLiteral(";SKIP=") + QLatin1String(kSkips[int(skip)]);
        return rule;
    }
    case Kind::Custom:
        return text.isEmpty() ? fieldsRule() : text;
    case Kind::None:
    case Kind::EveryDay:
    case Kind::Workdays:
        break;
    }
    return QString();
}

QString RepeatChoice::words(const QDate& start) const
{
    switch (kind) {
    case Kind::None:
        return u8("不重复");
    case Kind::EveryDay:
        return u8("每天");
    case Kind::Workdays:
        return workdayWords();
    default:
        break;
    }
    // The list's words for the rule; one they cannot say is shown as the rule itself.
    const QString text = rule();
    const QString said = ruleWords(text, wallTime(start, QTime(0, 0)));
    return said == text ? u8("自定义：") + text : said;
}

} // namespace calendar
