#include "calendar/EventPatch.h"

#include <QTimeZone>
#include <libical/ical.h>

#include <memory>

namespace calendar {
namespace {

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

Component Parse(const QByteArray& data)
{
    return Component(icalparser_parse_string(data.constData()));
}

icalcomponent* FirstEvent(icalcomponent* root)
{
    if (!root)
        return nullptr;
    const icalcomponent_kind kind = icalcomponent_isa(root);
    if (kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT)
        return root;
    for (icalcomponent_kind k : {ICAL_VEVENT_COMPONENT, ICAL_VTODO_COMPONENT})
        if (icalcomponent* c = icalcomponent_get_first_component(root, k))
            return c;
    return nullptr;
}

// The first DISPLAY or AUDIO alarm: the one this program reads and writes.
icalcomponent* RemindingAlarm(icalcomponent* event)
{
    if (!event)
        return nullptr;
    for (icalcomponent* a = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT); a;
         a = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT)) {
        icalproperty* action = icalcomponent_get_first_property(a, ICAL_ACTION_PROPERTY);
        if (!action)
            continue;
        const icalproperty_action value = icalproperty_get_action(action);
        if (value == ICAL_ACTION_DISPLAY || value == ICAL_ACTION_AUDIO)
            return a;
    }
    return nullptr;
}

QString NameOf(icalproperty* p)
{
    return QString::fromUtf8(icalproperty_get_property_name(p));
}

QString TextOf(icalproperty* p)
{
    char* text = icalproperty_as_ical_string_r(p);
    const QString out = QString::fromUtf8(text);
    free(text);
    return out;
}

struct Group
{
    const char* name;
    bool inAlarm;
    bool prefix;
};

const Group kGroups[] = {
    {"SUMMARY", false, false},     {"DESCRIPTION", false, false}, {"DTSTART", false, false},
    {"RRULE", false, false},       {"RDATE", false, false},       {"EXDATE", false, false},
    {"X-TOLVA-", false, true},     {"STATUS", false, false},      {"TRIGGER", true, false},
    {"ACKNOWLEDGED", true, false},
};

QString GroupName(const Group& g)
{
    return g.inAlarm ? QStringLiteral("VALARM:") + QLatin1String(g.name) : QLatin1String(g.name);
}

bool InGroup(icalproperty* p, const Group& g)
{
    const QString name = NameOf(p);
    return g.prefix ? name.startsWith(QLatin1String(g.name)) : name == QLatin1String(g.name);
}

QList<icalproperty*> Members(icalcomponent* c, const Group& g)
{
    QList<icalproperty*> out;
    if (!c)
        return out;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY))
        if (InGroup(p, g))
            out.append(p);
    return out;
}

QStringList Texts(icalcomponent* c, const Group& g)
{
    QStringList out;
    for (icalproperty* p : Members(c, g))
        out.append(TextOf(p));
    out.sort();
    return out;
}

icalcomponent* Holder(icalcomponent* event, const Group& g)
{
    return g.inAlarm ? RemindingAlarm(event) : event;
}

QString ZoneOf(icalcomponent* event)
{
    icalproperty* start = event ? icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY) : nullptr;
    icalparameter* tz = start ? icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER) : nullptr;
    return tz ? QString::fromUtf8(icalparameter_get_tzid(tz)) : QString();
}

icalcomponent* ZoneComponent(icalcomponent* root, const QString& tzid)
{
    if (!root || icalcomponent_isa(root) != ICAL_VCALENDAR_COMPONENT)
        return nullptr;
    for (icalcomponent* z = icalcomponent_get_first_component(root, ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(root, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
        if (id && QString::fromUtf8(icalproperty_get_tzid(id)) == tzid)
            return z;
    }
    return nullptr;
}

QByteArray Serialized(icalcomponent* root)
{
    char* text = icalcomponent_as_ical_string_r(root);
    const QByteArray out(text);
    free(text);
    return out;
}

QString ValueText(icalcomponent* c, icalproperty_kind kind)
{
    icalproperty* p = c ? icalcomponent_get_first_property(c, kind) : nullptr;
    return p ? QString::fromUtf8(icalproperty_get_value_as_string(p)) : QString();
}

} // namespace

QStringList ChangedProperties(const QByteArray& before, const QByteArray& after)
{
    Component a = Parse(before);
    Component b = Parse(after);
    icalcomponent* ea = FirstEvent(a.get());
    icalcomponent* eb = FirstEvent(b.get());
    QStringList out;
    for (const Group& g : kGroups)
        if (Texts(Holder(ea, g), g) != Texts(Holder(eb, g), g))
            out.append(GroupName(g));
    return out;
}

QByteArray PatchEvent(const QByteArray& target, const QByteArray& before, const QByteArray& after)
{
    const QStringList changed = ChangedProperties(before, after);
    if (changed.isEmpty())
        return target;
    Component root = Parse(target);
    Component source = Parse(after);
    icalcomponent* event = FirstEvent(root.get());
    icalcomponent* from = FirstEvent(source.get());
    if (!event || !from)
        return target;
    for (const Group& g : kGroups) {
        if (!changed.contains(GroupName(g)))
            continue;
        icalcomponent* holder = Holder(event, g);
        icalcomponent* fromHolder = Holder(from, g);
        if (!holder && g.inAlarm && fromHolder) {
            // The server's text has no alarm of ours: it takes this one whole.
            icalcomponent_add_component(event, icalcomponent_new_clone(fromHolder));
            continue;
        }
        if (!holder)
            continue;
        for (icalproperty* p : Members(holder, g)) {
            icalcomponent_remove_property(holder, p);
            icalproperty_free(p);
        }
        for (icalproperty* p : Members(fromHolder, g))
            icalcomponent_add_property(holder, icalproperty_new_clone(p));
    }
    const QString zone = ZoneOf(event);
    if (changed.contains(QStringLiteral("DTSTART")) && !zone.isEmpty() && !ZoneComponent(root.get(), zone))
        if (icalcomponent* z = ZoneComponent(source.get(), zone))
            icalcomponent_add_component(root.get(), icalcomponent_new_clone(z));
    return Serialized(root.get());
}

QString EventUid(const QByteArray& data)
{
    Component root = Parse(data);
    return ValueText(FirstEvent(root.get()), ICAL_UID_PROPERTY);
}

QString ProductId(const QByteArray& data)
{
    Component root = Parse(data);
    return ValueText(root.get(), ICAL_PRODID_PROPERTY);
}

QString LinkKey(const QByteArray& data)
{
    Component root = Parse(data);
    icalcomponent* event = FirstEvent(root.get());
    if (!event)
        return QString();
    const QChar sep(0x1f);
    return ValueText(event, ICAL_SUMMARY_PROPERTY) + sep + ValueText(event, ICAL_DESCRIPTION_PROPERTY) + sep +
           ValueText(event, ICAL_DTSTART_PROPERTY) + sep + ZoneOf(event);
}

QDateTime Acknowledged(const QByteArray& data)
{
    Component root = Parse(data);
    const QString text = ValueText(RemindingAlarm(FirstEvent(root.get())), ICAL_ACKNOWLEDGED_PROPERTY);
    QDateTime at = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    at.setTimeSpec(Qt::UTC);
    return text.isEmpty() ? QDateTime() : at;
}

QByteArray WithAcknowledged(const QByteArray& data, const QDateTime& at)
{
    Component root = Parse(data);
    icalcomponent* alarm = RemindingAlarm(FirstEvent(root.get()));
    if (!alarm || !at.isValid())
        return data;
    while (icalproperty* p = icalcomponent_get_first_property(alarm, ICAL_ACKNOWLEDGED_PROPERTY)) {
        icalcomponent_remove_property(alarm, p);
        icalproperty_free(p);
    }
    const QByteArray line =
        "ACKNOWLEDGED:" + at.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
    if (icalproperty* p = icalproperty_new_from_string(line.constData()))
        icalcomponent_add_property(alarm, p);
    return Serialized(root.get());
}

QByteArray Renamed(const QByteArray& data, const QString& uid, const QString& summarySuffix)
{
    Component root = Parse(data);
    icalcomponent* event = FirstEvent(root.get());
    if (!event)
        return data;
    icalcomponent_set_uid(event, uid.toUtf8().constData());
    const QString summary = QString::fromUtf8(icalcomponent_get_summary(event)) + summarySuffix;
    icalcomponent_set_summary(event, summary.toUtf8().constData());
    return Serialized(root.get());
}

} // namespace calendar
