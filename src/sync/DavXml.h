#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The parts of a WebDAV multistatus answer the CalDAV client reads.
namespace sync::davxml {

struct Response
{
    QString href;   // as the server wrote it
    int status = 0; // the response's own status (sync-collection: 404 for a removed one); 0 if none
    QString etag;   // found properties only (a propstat with a 2xx status)
    QByteArray calendarData;
    QString displayName;
    bool collection = false;
    bool calendar = false;
    bool hasComponentSet = false;
    QStringList components; // supported-calendar-component-set names
    QString principal;      // current-user-principal's href
    QString home;           // calendar-home-set's href
};

struct Multistatus
{
    QList<Response> responses;
    QString syncToken;
};

// False when the text is no multistatus document.
bool Parse(const QByteArray& xml, Multistatus& out);

// The status code of an HTTP status line ("HTTP/1.1 404 Not Found" -> 404); 0 when unreadable.
int StatusCode(const QString& line);

} // namespace sync::davxml
