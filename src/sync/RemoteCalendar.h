#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The server's side of the sync: one calendar collection. Calls wait for the
// server's answer; the sync runs them on its own thread, never the interface's.
namespace sync {

struct RemoteError
{
    enum Kind {
        None,
        Network,      // no connection, timed out, connection dropped
        Auth,         // 401/403: user name or password wrong
        Certificate,  // the server's certificate is not trusted
        NotFound,     // the collection is not there
        Precondition, // 412: the resource changed since the ETag given
        Server,       // any other answer the request cannot go on from
        Protocol      // an answer that cannot be read
    };
    Kind kind = None;
    int status = 0; // HTTP status, 0 when none came
    QString text;   // for the user, in Chinese
};

struct RemoteEntry
{
    QString href; // path on the server, as it names the resource
    QString etag;
};

struct RemoteListing
{
    QList<RemoteEntry> changed; // new or changed since the token; every resource when `full`
    QStringList removed;        // gone since the token (never set when `full`)
    bool full = false;          // a whole listing: a resource not in it is gone
    QString token;              // the collection's new sync token; empty when it has none
};

struct RemoteResource
{
    QString href;
    QString etag;
    QByteArray data; // the iCalendar text
};

class RemoteCalendar
{
public:
    virtual ~RemoteCalendar() = default;
    // What changed since `token` (WebDAV sync-collection); an empty or expired
    // token, or a server without it: the whole listing with ETags.
    virtual bool list(const QString& token, RemoteListing& out, RemoteError& error) = 0;
    // The resources of these hrefs (calendar-multiget); one gone meanwhile is left out.
    virtual bool fetch(const QStringList& hrefs, QList<RemoteResource>& out, RemoteError& error) = 0;
    // Creates (ifMatch empty: only if none exists) or replaces (only if its
    // ETag is still ifMatch) a resource. newEtag is empty when the server does
    // not say it. A resource changed meanwhile: false with kind Precondition.
    virtual bool put(const QString& href, const QByteArray& data, const QString& ifMatch, QString& newEtag,
                     RemoteError& error) = 0;
    // Deletes a resource if its ETag is still ifMatch; one already gone counts as deleted.
    virtual bool remove(const QString& href, const QString& ifMatch, RemoteError& error) = 0;
    // Where a new resource for this UID goes.
    virtual QString hrefFor(const QString& uid) const = 0;
};

} // namespace sync
