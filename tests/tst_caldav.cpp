// The CalDAV client against Debian's radicale on 127.0.0.1.
#include "support/RadicaleServer.h"
#include "sync/CalDavClient.h"
#include "sync/DavXml.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QUuid>

using sync::CalDavClient;
using sync::RemoteError;
using sync::ServerAccess;

namespace {

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("wonder land");

QByteArray Event(const QString& uid, const QString& summary)
{
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//tst_caldav//EN\r\nBEGIN:VEVENT\r\nUID:%1\r\n"
               "DTSTAMP:20260101T000000Z\r\nDTSTART:20260102T090000Z\r\nSUMMARY:%2\r\nEND:VEVENT\r\n"
               "END:VCALENDAR\r\n")
        .arg(uid, summary)
        .toUtf8();
}

} // namespace

class TestCalDav : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void discoveryMakesTheCalendarOnceAndFindsItAgain();
    void aCalendarUrlIsUsedAsItIs();
    void putCreatesAndReplacesOnlyOnTheExpectedVersion();
    void listShowsWhatAnotherWriterChanged();
    void listFallsBackToTheWholeListing_data();
    void listFallsBackToTheWholeListing();
    void fetchAsksInBatchesAndLeavesOutTheGone();
    void removeOnlyTheExpectedVersion();
    void errorsSayWhatWentWrong_data();
    void errorsSayWhatWentWrong();
    void plainHttpBeyondThisMachineIsRefusedWithoutARequest();
    void cancelEndsAWaitingCallFromAnotherThread();
    void multistatusParsing_data();
    void multistatusParsing();

private:
    ServerAccess access(const QString& path = QStringLiteral("/")) const
    {
        return ServerAccess{m_server.url(path), kUser, kPassword};
    }
    // A request the test itself sends, as another program writing to the server would.
    int raw(const QByteArray& verb, const QString& path, const QByteArray& body = {})
    {
        QNetworkRequest request(QUrl(m_server.url(path)));
        request.setRawHeader("Authorization",
                             "Basic " + (kUser + QLatin1Char(':') + kPassword).toUtf8().toBase64());
        if (verb == "PUT")
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/calendar"));
        QNetworkReply* reply = m_manager.sendCustomRequest(request, verb, body);
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        delete reply;
        return status;
    }
    // A new calendar collection of the test's user; its URL.
    QString newCalendar(const QString& name = QString())
    {
        const QString path =
            QStringLiteral("/%1/%2/").arg(kUser, QUuid::createUuid().toString(QUuid::WithoutBraces));
        const QByteArray body = "<?xml version=\"1.0\"?><c:mkcalendar xmlns:d=\"DAV:\" "
                                "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop><d:displayname>" +
                                name.toUtf8() + "</d:displayname></d:prop></d:set></c:mkcalendar>";
        return raw("MKCALENDAR", path, name.isEmpty() ? QByteArray() : body) == 201 ? m_server.url(path)
                                                                                    : QString();
    }

    RadicaleServer m_server;
    QNetworkAccessManager m_manager;
};

void TestCalDav::initTestCase()
{
    QVERIFY2(m_server.start((kUser + QLatin1Char(':') + kPassword).toUtf8() + "\nbob:builder\n"),
             "radicale did not start");
}

void TestCalDav::cleanupTestCase()
{
    m_server.stop();
}

void TestCalDav::discoveryMakesTheCalendarOnceAndFindsItAgain()
{
    // The user's own calendar is there first: never taken for the reminders.
    const QString personal = newCalendar(QStringLiteral("个人"));
    QVERIFY(!personal.isEmpty());

    CalDavClient first(access());
    QString found;
    QList<QPair<QString, QString>> others;
    RemoteError error;
    QVERIFY2(first.discover(found, &others, error), qPrintable(error.text));
    QVERIFY(!found.isEmpty());
    QVERIFY(QUrl(found) != QUrl(personal));
    QVERIFY(others.contains(qMakePair(QStringLiteral("个人"), personal)));

    CalDavClient second(access());
    QString again;
    QList<QPair<QString, QString>> othersAgain;
    QVERIFY2(second.discover(again, &othersAgain, error), qPrintable(error.text));
    QCOMPARE(again, found);
    for (const auto& [name, url] : othersAgain)
        QVERIFY2(name != QStringLiteral("Tolva提醒"), "the calendar was made twice");

    // The calendar found is the one the client then uses.
    QString etag;
    QVERIFY2(second.put(second.hrefFor(QStringLiteral("u-discovered")),
                        Event(QStringLiteral("u-discovered"), "x"), {}, etag, error),
             qPrintable(error.text));
    QVERIFY(second.hrefFor(QStringLiteral("u")).startsWith(QUrl(found).path()));
}

void TestCalDav::aCalendarUrlIsUsedAsItIs()
{
    const QString calendar = newCalendar(QStringLiteral("工作"));
    CalDavClient client(access(QUrl(calendar).path()));
    QString found;
    RemoteError error;
    QVERIFY2(client.discover(found, nullptr, error), qPrintable(error.text));
    QCOMPARE(QUrl(found), QUrl(calendar));
    QCOMPARE(client.requestCount(), 1);
}

void TestCalDav::putCreatesAndReplacesOnlyOnTheExpectedVersion()
{
    CalDavClient client(access());
    client.setCalendar(newCalendar());
    const QString href = client.hrefFor(QStringLiteral("put-1"));
    QString etag;
    RemoteError error;
    QVERIFY2(client.put(href, Event(QStringLiteral("put-1"), "一"), {}, etag, error), qPrintable(error.text));
    QVERIFY(!etag.isEmpty());

    QString other;
    QVERIFY(!client.put(href, Event(QStringLiteral("put-1"), "二"), {}, other, error));
    QCOMPARE(error.kind, RemoteError::Precondition);
    QCOMPARE(error.status, 412);

    QString second;
    QVERIFY2(client.put(href, Event(QStringLiteral("put-1"), "三"), etag, second, error),
             qPrintable(error.text));
    QVERIFY(!second.isEmpty());
    QVERIFY(second != etag);

    error = {};
    QVERIFY(!client.put(href, Event(QStringLiteral("put-1"), "四"), etag, other, error));
    QCOMPARE(error.kind, RemoteError::Precondition);
}

void TestCalDav::listShowsWhatAnotherWriterChanged()
{
    CalDavClient client(access());
    const QString calendar = newCalendar();
    client.setCalendar(calendar);
    RemoteError error;
    QString keptEtag, goneEtag;
    const QString kept = client.hrefFor(QStringLiteral("kept"));
    const QString gone = client.hrefFor(QStringLiteral("gone"));
    QVERIFY(client.put(kept, Event(QStringLiteral("kept"), "留"), {}, keptEtag, error));
    QVERIFY(client.put(gone, Event(QStringLiteral("gone"), "去"), {}, goneEtag, error));

    sync::RemoteListing all;
    QVERIFY2(client.list({}, all, error), qPrintable(error.text));
    QVERIFY(all.full);
    QVERIFY(!all.token.isEmpty());
    QCOMPARE(all.changed.size(), 2);
    for (const auto& entry : all.changed)
        QCOMPARE(entry.etag, entry.href == kept ? keptEtag : goneEtag);

    // Nothing changed: one request, nothing in it.
    sync::RemoteListing none;
    const int before = client.requestCount();
    QVERIFY(client.list(all.token, none, error));
    QCOMPARE(client.requestCount(), before + 1);
    QVERIFY(!none.full);
    QVERIFY(none.changed.isEmpty());
    QVERIFY(none.removed.isEmpty());

    QCOMPARE(
        raw("PUT", QUrl(m_server.url()).resolved(QUrl(kept)).path(), Event(QStringLiteral("kept"), "改")),
        201);
    QCOMPARE(raw("DELETE", gone), 200);
    sync::RemoteListing changes;
    QVERIFY2(client.list(all.token, changes, error), qPrintable(error.text));
    QVERIFY(!changes.full);
    QCOMPARE(changes.changed.size(), 1);
    QCOMPARE(changes.changed.first().href, kept);
    QVERIFY(changes.changed.first().etag != keptEtag);
    QCOMPARE(changes.removed, QStringList{gone});
    QVERIFY(changes.token != all.token);
}

void TestCalDav::listFallsBackToTheWholeListing_data()
{
    QTest::addColumn<QString>("token");
    QTest::newRow("a token the server never gave") << QStringLiteral("http://radicale.org/ns/sync/0000beef");
    QTest::newRow("a token that is no token at all") << QStringLiteral("nonsense");
}

void TestCalDav::listFallsBackToTheWholeListing()
{
    QFETCH(QString, token);
    CalDavClient client(access());
    client.setCalendar(newCalendar());
    RemoteError error;
    QString etag;
    QVERIFY(client.put(client.hrefFor(QStringLiteral("one")), Event(QStringLiteral("one"), "1"), {}, etag,
                       error));
    sync::RemoteListing out;
    QVERIFY2(client.list(token, out, error), qPrintable(error.text));
    QVERIFY(out.full);
    QCOMPARE(out.changed.size(), 1);
    QCOMPARE(out.changed.first().href, client.hrefFor(QStringLiteral("one")));
    QCOMPARE(out.changed.first().etag, etag);
}

void TestCalDav::fetchAsksInBatchesAndLeavesOutTheGone()
{
    CalDavClient client(access());
    client.setCalendar(newCalendar());
    RemoteError error;
    QStringList hrefs;
    for (int i = 0; i < 205; ++i) {
        const QString uid = QStringLiteral("batch-%1").arg(i);
        QString etag;
        QVERIFY(client.put(client.hrefFor(uid), Event(uid, QStringLiteral("第%1").arg(i)), {}, etag, error));
        hrefs << client.hrefFor(uid);
    }
    hrefs.insert(7, client.hrefFor(QStringLiteral("never-there")));
    QList<sync::RemoteResource> out;
    const int before = client.requestCount();
    QVERIFY2(client.fetch(hrefs, out, error), qPrintable(error.text));
    QCOMPARE(client.requestCount() - before, 3);
    QCOMPARE(out.size(), 205);
    for (const auto& resource : out) {
        QVERIFY(!resource.etag.isEmpty());
        const QString uid = resource.href.section(QLatin1Char('/'), -1).chopped(4);
        QVERIFY2(resource.data.contains(("UID:" + uid).toUtf8()), qPrintable(resource.href));
    }
}

void TestCalDav::removeOnlyTheExpectedVersion()
{
    CalDavClient client(access());
    client.setCalendar(newCalendar());
    RemoteError error;
    const QString href = client.hrefFor(QStringLiteral("rm"));
    QString old, current;
    QVERIFY(client.put(href, Event(QStringLiteral("rm"), "a"), {}, old, error));
    QVERIFY(client.put(href, Event(QStringLiteral("rm"), "b"), old, current, error));

    QVERIFY(!client.remove(href, old, error));
    QCOMPARE(error.kind, RemoteError::Precondition);
    error = {};
    QVERIFY2(client.remove(href, current, error), qPrintable(error.text));
    QVERIFY2(client.remove(href, current, error), "one already gone counts as deleted");
    sync::RemoteListing out;
    QVERIFY(client.list({}, out, error));
    QVERIFY(out.changed.isEmpty());
}

void TestCalDav::errorsSayWhatWentWrong_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("a wrong password") << m_server.url() << QStringLiteral("wrong") << int(RemoteError::Auth)
                                      << QStringLiteral("用户名或密码错误");
    QTest::newRow("a calendar that is not there")
        << m_server.url(QStringLiteral("/alice/missing/")) << kPassword << int(RemoteError::NotFound)
        << QStringLiteral("服务器上没有这个日历");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    QTest::newRow("a server that is not listening")
        << QStringLiteral("http://127.0.0.1:%1/").arg(port) << kPassword << int(RemoteError::Network)
        << QStringLiteral("无法连接服务器");
}

void TestCalDav::errorsSayWhatWentWrong()
{
    QFETCH(QString, url);
    QFETCH(QString, password);
    QFETCH(int, kind);
    QFETCH(QString, text);
    CalDavClient client(ServerAccess{url, kUser, password});
    QString found;
    RemoteError error;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.discover(found, nullptr, error));
    QCOMPARE(int(error.kind), kind);
    QCOMPARE(error.text, text);
    QVERIFY(found.isEmpty());
    QVERIFY2(timer.elapsed() < 15000, "the answer waited for the timeout");
}

void TestCalDav::plainHttpBeyondThisMachineIsRefusedWithoutARequest()
{
    CalDavClient client(ServerAccess{QStringLiteral("http://192.0.2.7/dav/"), kUser, kPassword});
    QString found;
    RemoteError error;
    QVERIFY(!client.discover(found, nullptr, error));
    QVERIFY2(error.text.contains(QStringLiteral("不安全的 http 连接")), qPrintable(error.text));
    QCOMPARE(client.requestCount(), 0);

    client.setCalendar(QStringLiteral("http://192.0.2.7/dav/cal/"));
    QString etag;
    QVERIFY(!client.put(client.hrefFor(QStringLiteral("x")), "x", {}, etag, error));
    QCOMPARE(client.requestCount(), 0);

    // The loopback address by name is this machine.
    CalDavClient local(
        ServerAccess{QStringLiteral("http://localhost:%1/").arg(m_server.port()), kUser, kPassword});
    QVERIFY2(local.discover(found, nullptr, error), qPrintable(error.text));
}

void TestCalDav::cancelEndsAWaitingCallFromAnotherThread()
{
    // A server that takes the connection and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    CalDavClient client(
        ServerAccess{QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()), kUser, kPassword});
    client.setCalendar(QStringLiteral("http://127.0.0.1:%1/cal/").arg(silent.serverPort()));
    RemoteError error;
    bool ok = true;
    QThread* worker = QThread::create([&] {
        sync::RemoteListing out;
        ok = client.list({}, out, error);
    });
    worker->start();
    QTRY_COMPARE(client.requestCount(), 1);
    QTest::qWait(100);
    client.cancel();
    QVERIFY(worker->wait(10000));
    delete worker;
    QVERIFY(!ok);
    QCOMPARE(error.kind, RemoteError::Network);
    QCOMPARE(error.text, QStringLiteral("无法连接服务器"));
}

void TestCalDav::multistatusParsing_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("etag");
    QTest::addColumn<int>("status");
    QTest::newRow("an ETag in a found propstat is read")
        << QByteArray("<D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>/a/b%20c.ics</D:href><D:propstat>"
                      "<D:prop><D:getetag>\"e1\"</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status>"
                      "</D:propstat></D:response></D:multistatus>")
        << true << QStringLiteral("/a/b%20c.ics") << QStringLiteral("\"e1\"") << 0;
    QTest::newRow("a property not found is not taken")
        << QByteArray("<multistatus "
                      "xmlns=\"DAV:\"><response><href>/x</href><propstat><prop><getetag>\"no\"</getetag>"
                      "</prop><status>HTTP/1.1 404 Not Found</status></propstat></response></multistatus>")
        << true << QStringLiteral("/x") << QString() << 0;
    QTest::newRow("a removed member carries its status")
        << QByteArray("<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/gone.ics</d:href>"
                      "<d:status>HTTP/1.1 404 Not Found</d:status></d:response></d:multistatus>")
        << true << QStringLiteral("/gone.ics") << QString() << 404;
    QTest::newRow("an element of another namespace is no multistatus")
        << QByteArray("<multistatus xmlns=\"urn:other\"><response/></multistatus>") << false << QString()
        << QString() << 0;
    QTest::newRow("broken XML is refused")
        << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>/x</href>") << false << QString()
        << QString() << 0;
}

void TestCalDav::multistatusParsing()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, ok);
    QFETCH(QString, href);
    QFETCH(QString, etag);
    QFETCH(int, status);
    sync::davxml::Multistatus ms;
    QCOMPARE(sync::davxml::Parse(xml, ms), ok);
    if (!ok)
        return;
    QCOMPARE(ms.responses.size(), 1);
    QCOMPARE(ms.responses.first().href, href);
    QCOMPARE(ms.responses.first().etag, etag);
    QCOMPARE(ms.responses.first().status, status);
}

QTEST_MAIN(TestCalDav)
#include "tst_caldav.moc"
