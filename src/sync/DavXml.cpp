#include "sync/DavXml.h"

#include <QXmlStreamReader>

namespace sync::davxml {

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

// The text of the <href> inside the current element, which is consumed.
QString InnerHref(QXmlStreamReader& xml)
{
    QString href;
    while (xml.readNextStartElement()) {
        if (href.isEmpty() && xml.namespaceUri() == kDav && xml.name() == QLatin1String("href"))
            href = xml.readElementText().trimmed();
        else
            xml.skipCurrentElement();
    }
    return href;
}

// Reads one <prop> into `r`; the reader stands on its start.
void ReadProp(QXmlStreamReader& xml, Response& r)
{
    while (xml.readNextStartElement()) {
        const auto ns = xml.namespaceUri();
        const auto name = xml.name();
        if (ns == kDav && name == QLatin1String("getetag")) {
            r.etag = xml.readElementText().trimmed();
        } else if (ns == kCalDav && name == QLatin1String("calendar-data")) {
            r.calendarData = xml.readElementText().toUtf8();
        } else if (ns == kDav && name == QLatin1String("displayname")) {
            r.displayName = xml.readElementText().trimmed();
        } else if (ns == kDav && name == QLatin1String("resourcetype")) {
            while (xml.readNextStartElement()) {
                if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("collection"))
                    r.collection = true;
                else if (xml.namespaceUri() == kCalDav && xml.name() == QLatin1String("calendar"))
                    r.calendar = true;
                xml.skipCurrentElement();
            }
        } else if (ns == kCalDav && name == QLatin1String("supported-calendar-component-set")) {
            r.hasComponentSet = true;
            while (xml.readNextStartElement()) {
                if (xml.namespaceUri() == kCalDav && xml.name() == QLatin1String("comp"))
                    r.components << xml.attributes().value(QLatin1String("name")).toString().toUpper();
                xml.skipCurrentElement();
            }
        } else if (ns == kDav && name == QLatin1String("current-user-principal")) {
            r.principal = InnerHref(xml);
        } else if (ns == kCalDav && name == QLatin1String("calendar-home-set")) {
            r.home = InnerHref(xml);
        } else {
            xml.skipCurrentElement();
        }
    }
}

void ReadPropstat(QXmlStreamReader& xml, Response& r)
{
    Response found;
    int status = 0;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("prop"))
            ReadProp(xml, found);
        else if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("status"))
            status = StatusCode(xml.readElementText());
        else
            xml.skipCurrentElement();
    }
    if (status < 200 || status > 299)
        return;
    if (!found.etag.isEmpty())
        r.etag = found.etag;
    if (!found.calendarData.isEmpty())
        r.calendarData = found.calendarData;
    if (!found.displayName.isEmpty())
        r.displayName = found.displayName;
    r.collection = r.collection || found.collection;
    r.calendar = r.calendar || found.calendar;
    if (found.hasComponentSet) {
        r.hasComponentSet = true;
        r.components = found.components;
    }
    if (!found.principal.isEmpty())
        r.principal = found.principal;
    if (!found.home.isEmpty())
        r.home = found.home;
}

void ReadResponse(QXmlStreamReader& xml, Response& r)
{
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() != kDav)
            xml.skipCurrentElement();
        else if (xml.name() == QLatin1String("href"))
            r.href = xml.readElementText().trimmed();
        else if (xml.name() == QLatin1String("status"))
            r.status = StatusCode(xml.readElementText());
        else if (xml.name() == QLatin1String("propstat"))
            ReadPropstat(xml, r);
        else
            xml.skipCurrentElement();
    }
}

} // namespace

int StatusCode(const QString& line)
{
    const auto parts = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool ok = false;
    const int code = parts.size() >= 2 ? parts.at(1).toInt(&ok) : 0;
    return ok ? code : 0;
}

bool Parse(const QByteArray& text, Multistatus& out)
{
    out = {};
    QXmlStreamReader xml(text);
    if (!xml.readNextStartElement() || xml.namespaceUri() != kDav ||
        xml.name() != QLatin1String("multistatus"))
        return false;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("response")) {
            Response r;
            ReadResponse(xml, r);
            out.responses << r;
        } else if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("sync-token")) {
            out.syncToken = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    return !xml.hasError();
}

} // namespace sync::davxml
