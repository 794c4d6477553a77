#pragma once

#include "sync/RemoteCalendar.h"

#include <QList>
#include <QMutex>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <memory>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

namespace sync {

struct ServerAccess
{
    QString url;
    QString user;
    QString password;
    bool allowPlainHttp = false; // plain http beyond this machine, after the user confirmed it
};

// A CalDAV calendar collection over HTTP(S). Every call blocks its caller (the
// sync's thread) in a local event loop until the answer, a timeout or cancel().
class CalDavClient final : public RemoteCalendar
{
public:
    explicit CalDavClient(const ServerAccess& access); // url: a calendar collection or a server
    ~CalDavClient() override;

    // Finds the calendar to sync (the URL itself when it is a calendar; else "Tolva提醒" in the user's
    // calendar home, made with MKCALENDAR when missing) and uses it from then on; `calendars` (if given)
    // gets the display names and URLs of the others there, for the settings dialog.
    bool discover(QString& calendarUrl, QList<QPair<QString, QString>>* calendars, RemoteError& error);
    void setCalendar(const QString& calendarUrl); // skip discovery: a URL found before
    void cancel();            // from any thread: the waiting call ends with a Network error
    int requestCount() const; // requests sent so far (the bench and tests read it)
    void setTimeout(int ms);  // per request; 30 s unless set

    bool list(const QString& token, RemoteListing& out, RemoteError& error) override;
    bool fetch(const QStringList& hrefs, QList<RemoteResource>& out, RemoteError& error) override;
    bool put(const QString& href, const QByteArray& data, const QString& ifMatch, QString& newEtag,
             RemoteError& error) override;
    bool remove(const QString& href, const QString& ifMatch, RemoteError& error) override;
    QString hrefFor(const QString& uid) const override;

    struct Answer
    {
        int status = 0;
        QByteArray body;
        QByteArray etag;
    };

private:
    bool send(const QByteArray& verb, const QUrl& url, const QList<QPair<QByteArray, QByteArray>>& headers,
              const QByteArray& body, Answer& answer, RemoteError& error);
    bool fullListing(RemoteListing& out, RemoteError& error);
    QUrl resolve(const QString& href) const;
    QNetworkAccessManager* manager();

    ServerAccess m_access;
    QUrl m_calendar;
    int m_timeoutMs = 30000;
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_cancelled{false};
    QMutex m_loopLock;
    QEventLoop* m_loop = nullptr; // the waiting call's loop, under m_loopLock
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QPointer<QThread> m_managerThread;
};

} // namespace sync
