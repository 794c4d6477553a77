#include "calendar/ICalendar.h"

#include "calendar/Recurrence.h"

#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace calendar {

namespace {

constexpr char kProdId[] = "-//Tolva//Tolva小精灵//ZH";
constexpr char kLunarRuleX[] = "X-TOLVA-RRULE";
constexpr char kWorkdaysX[] = "X-TOLVA-WORKDAYS";

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

icaltimetype icalOfWall(const QDateTime& wall, bool date)
{
    icaltimetype t = icaltime_null_time();
    t.year = wall.date().year();
    t.month = wall.date().month();
    t.day = wall.date().day();
    t.is_date = date ? 1 : 0;
    if (!date) {
        t.hour = wall.time().hour();
        t.minute = wall.time().minute();
        t.second = wall.time().second();
    }
    return t;
}

icaltimetype icalOfUtc(const QDateTime& utc)
{
    icaltimetype t = icalOfWall(utc.toUTC(), false);
    t.zone = icaltimezone_get_utc_timezone();
    return t;
}

QDateTime wallOfIcal(const icaltimetype& t)
{
    return wallTime(QDate(t.year, t.month, t.day),
                    t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second));
}

// The wall time in the event's zone of a time read from a property: UTC values are moved into the zone.
QDateTime wallInZone(const icaltimetype& t, const QString& tzid)
{
    if (!icaltime_is_utc(t) || t.is_date || tzid.isEmpty())
        return wallOfIcal(t);
    const QDateTime utc = wallOfIcal(t);
    const QDateTime there = utc.toTimeZone(QTimeZone(tzid.toUtf8()));
    return wallTime(there.date(), there.time());
}

QDateTime utcOfIcal(const icaltimetype& t)
{
    QDateTime w = wallOfIcal(t);
    if (icaltime_is_utc(t) || t.is_date)
        return w;
    return QDateTime(w.date(), w.time(), Qt::LocalTime).toUTC();
}

void addTimeProperty(icalcomponent* c, icalproperty* p, const QString& tzid)
{
    if (!tzid.isEmpty())
        icalproperty_add_parameter(p, icalparameter_new_tzid(tzid.toUtf8().constData()));
    icalcomponent_add_property(c, p);
}

void addX(icalcomponent* c, const char* name, const QString& value)
{
    icalproperty* p = icalproperty_new_x(value.toUtf8().constData());
    icalproperty_set_x_name(p, name);
    icalcomponent_add_property(c, p);
}

icalcomponent* timezoneComponent(const QString& tzid)
{
    icaltimezone* zone = icaltimezone_get_builtin_timezone(tzid.toUtf8().constData());
    if (!zone)
        return nullptr;
    icalcomponent* vtz = icalcomponent_new_clone(icaltimezone_get_component(zone));
    // Plain IANA names, which other readers know, instead of libical's prefixed ones.
    if (icalproperty* p = icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(p, tzid.toUtf8().constData());
    return vtz;
}

icalcomponent* eventComponent(const ReminderEvent& e)
{
    icalcomponent* ev = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    icalcomponent_add_property(ev, icalproperty_new_uid(e.uid.toUtf8().constData()));
    const QDateTime stamp = e.stamp.isValid() ? e.stamp : wallTime(QDate(1970, 1, 1), QTime(0, 0));
    icalcomponent_add_property(ev, icalproperty_new_dtstamp(icalOfUtc(stamp)));
    icalcomponent_add_property(ev, icalproperty_new_created(icalOfUtc(stamp)));
    addTimeProperty(ev, icalproperty_new_dtstart(icalOfWall(e.start, e.allDay)),
                    e.allDay ? QString() : e.tzid);
    icalcomponent_add_property(ev, icalproperty_new_summary(e.summary.toUtf8().constData()));
    if (!e.description.isEmpty())
        icalcomponent_add_property(ev, icalproperty_new_description(e.description.toUtf8().constData()));
    if (e.rrule.contains(QLatin1String("RSCALE"), Qt::CaseInsensitive)) {
        addX(ev, kLunarRuleX, e.rrule);
    } else if (!e.rrule.isEmpty()) {
        const icalrecurrencetype r = icalrecurrencetype_from_string(e.rrule.toLatin1().constData());
        icalcomponent_add_property(ev, icalproperty_new_rrule(r));
    }
    if (!e.workdays.isEmpty())
        addX(ev, kWorkdaysX, e.workdays);
    for (const QDateTime& r : e.rdates) {
        icaldatetimeperiodtype dp{};
        dp.time = icalOfWall(r, e.allDay);
        dp.period = icalperiodtype_null_period();
        addTimeProperty(ev, icalproperty_new_rdate(dp), e.allDay ? QString() : e.tzid);
    }
    for (const QDateTime& x : e.exdates)
        addTimeProperty(ev, icalproperty_new_exdate(icalOfWall(x, e.allDay)), e.allDay ? QString() : e.tzid);
    if (e.cancelled)
        icalcomponent_add_property(ev, icalproperty_new_status(ICAL_STATUS_CANCELLED));

    icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(alarm, icalproperty_new_description(e.summary.toUtf8().constData()));
    icaltriggertype trigger{};
    trigger.time = icaltime_null_time();
    trigger.duration = icaldurationtype_from_int(-static_cast<int>(e.alarmSeconds));
    icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
    if (e.acknowledged.isValid())
        icalcomponent_add_property(alarm, icalproperty_new_acknowledged(icalOfUtc(e.acknowledged)));
    icalcomponent_add_component(ev, alarm);
    return ev;
}

// An IANA zone for a TZID written by another program, or empty.
QString ianaZone(const QString& tzid)
{
    if (tzid.isEmpty())
        return {};
    if (QTimeZone::isTimeZoneIdAvailable(tzid.toUtf8()))
        return tzid;
    // libical and Evolution prefix their zones: "/freeassociation.sourceforge.net/Europe/Berlin".
    const QStringList parts = tzid.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i + 1 < parts.size(); ++i) {
        const QString tail = parts.mid(i).join(QLatin1Char('/'));
        if (QTimeZone::isTimeZoneIdAvailable(tail.toUtf8()))
            return tail;
    }
    const QByteArray windows = QTimeZone::windowsIdToDefaultIanaId(tzid.toUtf8());
    if (!windows.isEmpty())
        return QString::fromUtf8(windows);
    return {};
}

QString textOf(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

// Reads the alarms of a component into e; false when none reminds.
bool readAlarms(icalcomponent* c, ReminderEvent& e)
{
    int reminding = 0;
    for (icalcomponent* a = icalcomponent_get_first_component(c, ICAL_VALARM_COMPONENT); a;
         a = icalcomponent_get_next_component(c, ICAL_VALARM_COMPONENT)) {
        icalproperty* action = icalcomponent_get_first_property(a, ICAL_ACTION_PROPERTY);
        const icalproperty_action kind = action ? icalproperty_get_action(action) : ICAL_ACTION_NONE;
        if (kind != ICAL_ACTION_DISPLAY && kind != ICAL_ACTION_AUDIO)
            continue;
        if (++reminding > 1) {
            e.simplified = true; // a second alarm
            continue;
        }
        if (icalcomponent_get_first_property(a, ICAL_ATTACH_PROPERTY))
            e.simplified = true;
        if (icalproperty* ack = icalcomponent_get_first_property(a, ICAL_ACKNOWLEDGED_PROPERTY))
            e.acknowledged = utcOfIcal(icalproperty_get_acknowledged(ack));
        icalproperty* tp = icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY);
        if (!tp)
            continue;
        const icaltriggertype trigger = icalproperty_get_trigger(tp);
        icalparameter* related = icalproperty_get_first_parameter(tp, ICAL_RELATED_PARAMETER);
        const bool toEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
        if (!icaltime_is_null_time(trigger.time) || toEnd) {
            e.simplified = true; // absolute, or relative to the end: falls due at the start
            continue;
        }
        const int seconds = icaldurationtype_as_int(trigger.duration);
        if (seconds < 0)
            e.alarmSeconds = -seconds;
        else if (seconds > 0)
            e.simplified = true; // after the start
    }
    return reminding > 0;
}

std::optional<ReminderEvent> readEvent(icalcomponent* c)
{
    ReminderEvent e;
    if (!readAlarms(c, e))
        return std::nullopt;
    icalproperty* sp = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
    if (!sp && icalcomponent_isa(c) == ICAL_VTODO_COMPONENT)
        sp = icalcomponent_get_first_property(c, ICAL_DUE_PROPERTY);
    if (!sp)
        return std::nullopt;
    const icaltimetype start = icalproperty_get_datetime_with_component(sp, nullptr);
    if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start))
        return std::nullopt;
    e.allDay = start.is_date;
    if (icaltime_is_utc(start) && !e.allDay) {
        e.tzid = QStringLiteral("UTC");
    } else if (icalparameter* tz = icalproperty_get_first_parameter(sp, ICAL_TZID_PARAMETER)) {
        const QString written = textOf(icalparameter_get_tzid(tz));
        e.tzid = ianaZone(written);
        if (e.tzid.isEmpty())
            e.simplified = true; // a zone nobody here knows: floating
    }
    e.start = wallOfIcal(start);
    e.uid = textOf(icalcomponent_get_uid(c));
    e.summary = textOf(icalcomponent_get_summary(c));
    e.description = textOf(icalcomponent_get_description(c));
    e.cancelled = icalcomponent_get_status(c) == ICAL_STATUS_CANCELLED;
    if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_CREATED_PROPERTY))
        e.stamp = utcOfIcal(icalproperty_get_created(p));
    else if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_DTSTAMP_PROPERTY))
        e.stamp = utcOfIcal(icalproperty_get_dtstamp(p));
    int rules = 0;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_RRULE_PROPERTY)) {
        if (rules++ == 0)
            e.rrule = textOf(icalproperty_get_value_as_string(p));
        else
            e.simplified = true;
    }
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
        const QString name = textOf(icalproperty_get_x_name(p));
        if (name == QLatin1String(kLunarRuleX))
            e.rrule = textOf(icalproperty_get_x(p));
        else if (name == QLatin1String(kWorkdaysX))
            e.workdays = textOf(icalproperty_get_x(p));
    }
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype dp = icalproperty_get_rdate(p);
        if (!icaltime_is_null_time(dp.time))
            e.rdates << wallInZone(dp.time, e.tzid);
        else
            e.simplified = true; // a period
    }
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_EXDATE_PROPERTY))
        e.exdates << wallInZone(icalproperty_get_exdate(p), e.tzid);
    return e;
}

} // namespace

QByteArray WriteCalendar(const QList<ReminderEvent>& events)
{
    Component cal(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid(kProdId));
    QStringList zones;
    for (const ReminderEvent& e : events)
        if (!e.tzid.isEmpty() && !e.allDay && !zones.contains(e.tzid))
            zones << e.tzid;
    std::sort(zones.begin(), zones.end());
    for (const QString& zone : zones)
        if (icalcomponent* vtz = timezoneComponent(zone))
            icalcomponent_add_component(cal.get(), vtz);
    for (const ReminderEvent& e : events)
        icalcomponent_add_component(cal.get(), eventComponent(e));
    char* text = icalcomponent_as_ical_string_r(cal.get());
    const QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

CalendarRead ReadCalendar(const QByteArray& text)
{
    CalendarRead read;
    Component root(icalparser_parse_string(text.constData()));
    if (!root) {
        read.error = QStringLiteral("不是日历文件");
        return read;
    }
    // A file of several calendars parses into an XROOT holding them.
    QList<icalcomponent*> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars << root.get();
    } else {
        for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars << c;
    }
    if (calendars.isEmpty()) {
        read.error = QStringLiteral("不是日历文件");
        return read;
    }
    for (icalcomponent* cal : calendars) {
        for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            if (kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTODO_COMPONENT)
                continue;
            std::optional<ReminderEvent> e = readEvent(c);
            if (!e) {
                ++read.skipped;
                continue;
            }
            if (e->simplified)
                ++read.simplified;
            read.events << *e;
        }
    }
    return read;
}

} // namespace calendar
