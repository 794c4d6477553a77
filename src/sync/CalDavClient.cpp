#include "sync/CalDavClient.h"

#include "sync/DavXml.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QHostAddress>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QXmlStreamWriter>

namespace sync {

namespace {

const QString kCalendarName = QStringLiteral("Tolva提醒");
const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");
constexpr int kFetchBatch = 100;

using Headers = QList<QPair<QByteArray, QByteArray>>;

RemoteError Error(RemoteError::Kind kind, const QString& text, int status = 0)
{
    RemoteError e;
    e.kind = kind;
    e.status = status;
    e.text = text;
    return e;
}

RemoteError NetworkError()
{
    return Error(RemoteError::Network, QStringLiteral("无法连接服务器"));
}

RemoteError ProtocolError(int status)
{
    return Error(RemoteError::Protocol, QStringLiteral("服务器的回答无法读取"), status);
}

// The error an HTTP status the request cannot go on from stands for.
RemoteError StatusError(int status)
{
    switch (status) {
    case 401:
    case 403:
        return Error(RemoteError::Auth, QStringLiteral("用户名或密码错误"), status);
    case 404:
        return Error(RemoteError::NotFound, QStringLiteral("服务器上没有这个日历"), status);
    case 412:
        return Error(RemoteError::Precondition, QStringLiteral("服务器上的内容已被修改"), status);
    default:
        return Error(RemoteError::Server, QStringLiteral("服务器拒绝了请求（HTTP %1）").arg(status), status);
    }
}

bool IsSuccess(int status)
{
    return status >= 200 && status <= 299;
}

bool IsLoopback(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// A WebDAV/CalDAV request body: the root element with both namespaces, filled by `body`.
template <typename Body> QByteArray Xml(const QString& ns, const QString& root, Body body)
{
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.writeStartDocument();
    xml.writeNamespace(kDav, QStringLiteral("d"));
    xml.writeNamespace(kCalDav, QStringLiteral("c"));
    xml.writeStartElement(ns, root);
    body(xml);
    xml.writeEndElement();
    xml.writeEndDocument();
    return text;
}

void WriteProps(QXmlStreamWriter& xml, const QList<QPair<QString, QString>>& props)
{
    xml.writeStartElement(kDav, QStringLiteral("prop"));
    for (const auto& [ns, name] : props)
        xml.writeEmptyElement(ns, name);
    xml.writeEndElement();
}

QByteArray Propfind(const QList<QPair<QString, QString>>& props)
{
    return Xml(kDav, QStringLiteral("propfind"), [&](QXmlStreamWriter& xml) { WriteProps(xml, props); });
}

// A collection path with one trailing slash, percent-encoded, for comparing hrefs.
QString CollectionPath(const QString& path)
{
    QString p = QUrl(path).path(QUrl::FullyEncoded);
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}

} // namespace

CalDavClient::CalDavClient(const ServerAccess& access) : m_access(access) {}

CalDavClient::~CalDavClient()
{
    // The manager belongs to the thread that sent the requests; while that one
    // still runs, it deletes it itself.
    if (m_manager && m_managerThread && m_managerThread != QThread::currentThread() &&
        m_managerThread->isRunning())
        m_manager.release()->deleteLater();
}

void CalDavClient::setCalendar(const QString& calendarUrl)
{
    m_calendar = QUrl(calendarUrl);
    if (!m_calendar.path().endsWith(QLatin1Char('/')))
        m_calendar.setPath(m_calendar.path() + QLatin1Char('/'));
}

void CalDavClient::cancel()
{
    m_cancelled = true;
    QMutexLocker lock(&m_loopLock);
    if (m_loop)
        QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
}

int CalDavClient::requestCount() const
{
    return m_requests;
}

void CalDavClient::setTimeout(int ms)
{
    m_timeoutMs = ms;
}

QNetworkAccessManager* CalDavClient::manager()
{
    if (m_manager && m_managerThread != QThread::currentThread()) {
        if (m_managerThread && m_managerThread->isRunning())
            m_manager.release()->deleteLater();
        m_manager.reset();
    }
    if (!m_manager) {
        m_manager = std::make_unique<QNetworkAccessManager>();
        m_managerThread = QThread::currentThread();
        // Credentials go with every request; a server that still asks has refused them: no second try.
        QObject::connect(m_manager.get(), &QNetworkAccessManager::authenticationRequired, m_manager.get(),
                         [](QNetworkReply*, QAuthenticator*) {});
    }
    return m_manager.get();
}

QUrl CalDavClient::resolve(const QString& href) const
{
    return m_calendar.resolved(QUrl(href, QUrl::TolerantMode));
}

bool CalDavClient::send(const QByteArray& verb, const QUrl& url, const Headers& headers,
                        const QByteArray& body, Answer& answer, RemoteError& error)
{
    answer = {};
    if (m_cancelled) {
        error = NetworkError();
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http")) {
        if (!m_access.allowPlainHttp && !IsLoopback(url.host())) {
            error = Error(RemoteError::Network,
                          QStringLiteral("不安全的 http 连接：只允许本机地址，或在设置中确认"));
            return false;
        }
    } else if (scheme != QLatin1String("https") || url.host().isEmpty()) {
        error = Error(RemoteError::Network, QStringLiteral("服务器地址无效"));
        return false;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (!m_access.user.isEmpty())
        request.setRawHeader("Authorization",
                             "Basic " +
                                 (m_access.user + QLatin1Char(':') + m_access.password).toUtf8().toBase64());
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          verb == "PUT" ? QByteArrayLiteral("text/calendar; charset=utf-8")
                                        : QByteArrayLiteral("application/xml; charset=utf-8"));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);

    QEventLoop loop;
    QNetworkReply* reply = manager()->sendCustomRequest(request, verb, body);
    ++m_requests;
    QString sslText;
    QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [&sslText](const QList<QSslError>& errors) {
        if (sslText.isEmpty() && !errors.isEmpty())
            sslText = errors.first().errorString();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(m_timeoutMs);
    {
        QMutexLocker lock(&m_loopLock);
        m_loop = &loop;
    }
    if (!m_cancelled && !reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    {
        QMutexLocker lock(&m_loopLock);
        m_loop = nullptr;
    }
    const bool finished = reply->isFinished();
    if (!finished) {
        QObject::disconnect(reply, nullptr, &loop, nullptr);
        reply->abort();
    }
    std::unique_ptr<QNetworkReply> owner(reply);
    if (!finished) {
        error = NetworkError();
        return false;
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (answer.status == 0) {
        if (reply->error() == QNetworkReply::SslHandshakeFailedError || !sslText.isEmpty())
            error = Error(
                RemoteError::Certificate,
                QStringLiteral("证书无效（%1）").arg(sslText.isEmpty() ? reply->errorString() : sslText));
        else
            error = NetworkError();
        return false;
    }
    answer.body = reply->readAll();
    answer.etag = reply->rawHeader("ETag");
    return true;
}

bool CalDavClient::list(const QString& token, RemoteListing& out, RemoteError& error)
{
    out = {};
    const QByteArray body = Xml(kDav, QStringLiteral("sync-collection"), [&](QXmlStreamWriter& xml) {
        xml.writeTextElement(kDav, QStringLiteral("sync-token"), token);
        xml.writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
        WriteProps(xml, {{kDav, QStringLiteral("getetag")}});
    });
    Answer answer;
    if (!send("REPORT", m_calendar, {{"Depth", "0"}}, body, answer, error))
        return false;
    if (answer.status == 401 || answer.status == 404) {
        error = StatusError(answer.status);
        return false;
    }
    // An expired token (403/409 valid-sync-token) or a server without the report: the whole listing.
    if (answer.status != 207)
        return fullListing(out, error);
    davxml::Multistatus ms;
    if (!davxml::Parse(answer.body, ms)) {
        error = ProtocolError(answer.status);
        return false;
    }
    const QString self = CollectionPath(m_calendar.path(QUrl::FullyEncoded));
    for (const auto& r : ms.responses) {
        if (r.href.isEmpty() || CollectionPath(r.href) == self)
            continue;
        if (r.status == 404)
            out.removed << r.href;
        else if (!r.collection)
            out.changed << RemoteEntry{r.href, r.etag};
    }
    out.full = token.isEmpty();
    out.token = ms.syncToken;
    return true;
}

bool CalDavClient::fullListing(RemoteListing& out, RemoteError& error)
{
    const QByteArray body = Propfind({{kDav, QStringLiteral("getetag")},
                                      {kDav, QStringLiteral("resourcetype")},
                                      {kDav, QStringLiteral("sync-token")}});
    Answer answer;
    if (!send("PROPFIND", m_calendar, {{"Depth", "1"}}, body, answer, error))
        return false;
    if (answer.status != 207) {
        error = StatusError(answer.status);
        return false;
    }
    davxml::Multistatus ms;
    if (!davxml::Parse(answer.body, ms)) {
        error = ProtocolError(answer.status);
        return false;
    }
    out = {};
    out.full = true;
    const QString self = CollectionPath(m_calendar.path(QUrl::FullyEncoded));
    for (const auto& r : ms.responses) {
        if (r.href.isEmpty() || r.collection || CollectionPath(r.href) == self)
            continue;
        out.changed << RemoteEntry{r.href, r.etag};
    }
    return true;
}

bool CalDavClient::fetch(const QStringList& hrefs, QList<RemoteResource>& out, RemoteError& error)
{
    out.clear();
    for (qsizetype start = 0; start < hrefs.size(); start += kFetchBatch) {
        const QStringList batch = hrefs.mid(start, kFetchBatch);
        const QByteArray body = Xml(kCalDav, QStringLiteral("calendar-multiget"), [&](QXmlStreamWriter& xml) {
            WriteProps(xml, {{kDav, QStringLiteral("getetag")}, {kCalDav, QStringLiteral("calendar-data")}});
            for (const auto& href : batch)
                xml.writeTextElement(kDav, QStringLiteral("href"), href);
        });
        Answer answer;
        if (!send("REPORT", m_calendar, {{"Depth", "1"}}, body, answer, error))
            return false;
        if (answer.status != 207) {
            error = StatusError(answer.status);
            return false;
        }
        davxml::Multistatus ms;
        if (!davxml::Parse(answer.body, ms)) {
            error = ProtocolError(answer.status);
            return false;
        }
        for (const auto& r : ms.responses) {
            if (r.status == 404 || r.calendarData.isEmpty())
                continue; // gone meanwhile
            out << RemoteResource{r.href, r.etag, r.calendarData};
        }
    }
    return true;
}

bool CalDavClient::put(const QString& href, const QByteArray& data, const QString& ifMatch, QString& newEtag,
                       RemoteError& error)
{
    newEtag.clear();
    const Headers headers =
        ifMatch.isEmpty() ? Headers{{"If-None-Match", "*"}} : Headers{{"If-Match", ifMatch.toUtf8()}};
    Answer answer;
    if (!send("PUT", resolve(href), headers, data, answer, error))
        return false;
    if (!IsSuccess(answer.status)) {
        error = StatusError(answer.status);
        return false;
    }
    newEtag = QString::fromUtf8(answer.etag);
    return true;
}

bool CalDavClient::remove(const QString& href, const QString& ifMatch, RemoteError& error)
{
    Headers headers;
    if (!ifMatch.isEmpty())
        headers << qMakePair(QByteArrayLiteral("If-Match"), ifMatch.toUtf8());
    Answer answer;
    if (!send("DELETE", resolve(href), headers, {}, answer, error))
        return false;
    if (IsSuccess(answer.status) || answer.status == 404 || answer.status == 410)
        return true;
    error = StatusError(answer.status);
    return false;
}

QString CalDavClient::hrefFor(const QString& uid) const
{
    return CollectionPath(m_calendar.path(QUrl::FullyEncoded)) +
           QString::fromLatin1(QUrl::toPercentEncoding(uid)) + QStringLiteral(".ics");
}

bool CalDavClient::discover(QString& calendarUrl, QList<QPair<QString, QString>>* calendars,
                            RemoteError& error)
{
    calendarUrl.clear();
    if (calendars)
        calendars->clear();
    QUrl start(m_access.url.trimmed(), QUrl::TolerantMode);
    if (start.path().isEmpty())
        start.setPath(QStringLiteral("/"));
    const auto propfind = [&](const QUrl& url, const QByteArray& depth, const QByteArray& body,
                              davxml::Multistatus& ms) {
        Answer answer;
        if (!send("PROPFIND", url, {{"Depth", depth}}, body, answer, error))
            return false;
        if (answer.status != 207) {
            error = StatusError(answer.status);
            return false;
        }
        if (!davxml::Parse(answer.body, ms)) {
            error = ProtocolError(answer.status);
            return false;
        }
        return true;
    };
    const QList<QPair<QString, QString>> calendarProps{
        {kDav, QStringLiteral("resourcetype")},
        {kDav, QStringLiteral("displayname")},
        {kCalDav, QStringLiteral("supported-calendar-component-set")}};
    auto firstProps = calendarProps;
    firstProps << qMakePair(kDav, QStringLiteral("current-user-principal"))
               << qMakePair(kCalDav, QStringLiteral("calendar-home-set"));
    davxml::Multistatus ms;
    if (!propfind(start, "0", Propfind(firstProps), ms))
        return false;
    if (ms.responses.isEmpty()) {
        error = ProtocolError(207);
        return false;
    }
    const auto& first = ms.responses.first();
    if (first.calendar) {
        setCalendar(start.toString());
        calendarUrl = m_calendar.toString();
        return true;
    }
    QString home = first.home;
    if (home.isEmpty()) {
        if (first.principal.isEmpty()) {
            error = StatusError(404);
            return false;
        }
        davxml::Multistatus principal;
        if (!propfind(start.resolved(QUrl(first.principal)), "0",
                      Propfind({{kCalDav, QStringLiteral("calendar-home-set")}}), principal))
            return false;
        if (!principal.responses.isEmpty())
            home = principal.responses.first().home;
        if (home.isEmpty()) {
            error = StatusError(404);
            return false;
        }
    }
    const QUrl homeUrl = start.resolved(QUrl(CollectionPath(home)));
    davxml::Multistatus members;
    if (!propfind(homeUrl, "1", Propfind(calendarProps), members))
        return false;
    QString chosen;
    for (const auto& r : members.responses) {
        if (!r.calendar || (r.hasComponentSet && !r.components.contains(QLatin1String("VEVENT"))))
            continue;
        const QString url = homeUrl.resolved(QUrl(r.href)).toString();
        if (chosen.isEmpty() && r.displayName == kCalendarName)
            chosen = url;
        else if (calendars)
            *calendars << qMakePair(r.displayName, url);
    }
    if (chosen.isEmpty()) {
        const QUrl made =
            homeUrl.resolved(QUrl(QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('/')));
        const QByteArray body = Xml(kCalDav, QStringLiteral("mkcalendar"), [](QXmlStreamWriter& xml) {
            xml.writeStartElement(kDav, QStringLiteral("set"));
            xml.writeStartElement(kDav, QStringLiteral("prop"));
            xml.writeTextElement(kDav, QStringLiteral("displayname"), kCalendarName);
            xml.writeStartElement(kCalDav, QStringLiteral("supported-calendar-component-set"));
            xml.writeEmptyElement(kCalDav, QStringLiteral("comp"));
            xml.writeAttribute(QStringLiteral("name"), QStringLiteral("VEVENT"));
            xml.writeEndElement();
            xml.writeEndElement();
            xml.writeEndElement();
        });
        Answer answer;
        if (!send("MKCALENDAR", made, {}, body, answer, error))
            return false;
        if (!IsSuccess(answer.status)) {
            error = StatusError(answer.status);
            return false;
        }
        chosen = made.toString();
    }
    setCalendar(chosen);
    calendarUrl = m_calendar.toString();
    return true;
}

} // namespace sync
