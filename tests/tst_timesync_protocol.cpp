#include "platform/AsyncSocket.h"
#include "platform/TimedatedClock.h"
#include "support/Rfc868Server.h"
#include "timesync/TimeProtocol.h"

#include <QLocale>
#include <QTimeZone>
#include <QtTest>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>

namespace {
struct Event
{
    int event;
    int error;
};

// Collects what a socket reports.
struct Listener
{
    explicit Listener(AsyncSocket* socket)
    {
        QObject::connect(socket, &AsyncSocket::notified, socket, [this](int e, int err) {
            events.append({e, err});
        });
    }
    int count(int event) const
    {
        int n = 0;
        for (const Event& e : events)
            n += e.event == event;
        return n;
    }
    QList<Event> events;
};

// A new socket whose connections go to a port on 127.0.0.1, reporting `mask`.
std::unique_ptr<AsyncSocket> redirectedSocket(PosixSocketFactory& factory, quint16 port, int mask)
{
    factory.setRedirect(QStringLiteral("127.0.0.1"), port);
    int error = 0;
    auto socket = factory.create(&error);
    if (socket && socket->select(mask) != 0)
        socket.reset();
    return socket;
}

// Gives the event loop time in which a wrongly armed notifier would report.
void settle()
{
    QTest::qWait(150);
}
} // namespace

class TestTimeProtocol : public QObject
{
    Q_OBJECT

private slots:
    void replyToUtc_data()
    {
        QTest::addColumn<quint32>("reply");
        QTest::addColumn<QDateTime>("utc");
        const QTimeZone utc = QTimeZone::utc();
        QTest::newRow("epoch of the protocol") << 0u << QDateTime(QDate(1900, 1, 1), QTime(0, 0), utc);
        QTest::newRow("unix epoch") << 2208988800u << QDateTime(QDate(1970, 1, 1), QTime(0, 0), utc);
        QTest::newRow("2024") << 3913056000u << QDateTime(QDate(2024, 1, 1), QTime(0, 0), utc);
        QTest::newRow("high bit set") << 2147483648u << QDateTime(QDate(1968, 1, 20), QTime(3, 14, 8), utc);
        QTest::newRow("last instant") << 4294967295u << QDateTime(QDate(2036, 2, 7), QTime(6, 28, 15), utc);
    }
    void replyToUtc()
    {
        QFETCH(quint32, reply);
        QFETCH(QDateTime, utc);
        const QDateTime t = timeproto::ReplyToUtc(reply);
        QCOMPARE(t, utc);
        QCOMPARE(t.timeSpec(), Qt::UTC);
        QCOMPARE(t.time().msec(), 0);
    }

    void replyToUtcMatchesUnixSeconds()
    {
        QCOMPARE(timeproto::ReplyToUtc(3913056000u).toSecsSinceEpoch(), Q_INT64_C(1704067200));
    }

    void replyBeforeTheBuildIsRefused_data()
    {
        QTest::addColumn<qint64>("unixSecs");
        QTest::addColumn<bool>("refused");
        const QDateTime built(timeproto::BuildDate(), QTime(0, 0), QTimeZone::utc());
        const qint64 b = built.toSecsSinceEpoch();
        QTest::newRow("1900") << -timeproto::kSecondsFrom1900To1970 << true;
        QTest::newRow("1970") << Q_INT64_C(0) << true;
        QTest::newRow("a second before the day's slack") << b - 86401 << true;
        QTest::newRow("the day before the build") << b - 86400 << false;
        QTest::newRow("the build day") << b << false;
        QTest::newRow("last instant") << Q_INT64_C(4294967295) - timeproto::kSecondsFrom1900To1970 << false;
    }
    void replyBeforeTheBuildIsRefused()
    {
        QFETCH(qint64, unixSecs);
        QFETCH(bool, refused);
        // The build day is a real day, and not in the future.
        QVERIFY(timeproto::BuildDate().isValid());
        QVERIFY(timeproto::BuildDate() >= QDate(2024, 1, 1));
        QVERIFY(timeproto::BuildDate() <= QDate::currentDate().addDays(1));
        QCOMPARE(timeproto::ReplyPredatesBuild(quint32(unixSecs + timeproto::kSecondsFrom1900To1970)),
                 refused);
    }

    void replyFromNetworkBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("value");
        QTest::newRow("2024") << QByteArray::fromHex("e93c7f00") << 3913056000u;
        QTest::newRow("all ones") << QByteArray::fromHex("ffffffff") << 4294967295u;
        QTest::newRow("order") << QByteArray::fromHex("80000001") << 2147483649u;
        QTest::newRow("low byte") << QByteArray::fromHex("000000ff") << 255u;
    }
    void replyFromNetworkBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, value);
        QCOMPARE(timeproto::ReplyFromNetworkBytes(reinterpret_cast<const unsigned char*>(bytes.constData())),
                 value);
    }

    void localeFormats_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China) << "2024/1/9"
                               << "20:05:09";
        // A 12-hour locale still shows the 24-hour clock and no AM/PM.
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "1/9/24"
                               << "20:05:09";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "09.01.24"
                               << "20:05:09";
    }
    void localeFormats()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        const QLocale saved;
        QLocale::setDefault(locale);
        const QDateTime t(QDate(2024, 1, 9), QTime(20, 5, 9, 250));
        const QString gotDate = timeproto::LocaleShortDate(t);
        const QString gotTime = timeproto::Locale24HourTime(t);
        QLocale::setDefault(saved);
        QCOMPARE(gotDate, date);
        QCOMPARE(gotTime, time);
    }

    void timedatedMissingOrRefused_data()
    {
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<bool>("missing");
        QTest::newRow("not installed") << "org.freedesktop.DBus.Error.ServiceUnknown" << true;
        QTest::newRow("failed to start") << "org.freedesktop.DBus.Error.Spawn.ChildExited" << true;
        QTest::newRow("no unit") << "org.freedesktop.systemd1.NoSuchUnit" << true;
        QTest::newRow("refused by polkit") << "org.freedesktop.DBus.Error.AccessDenied" << false;
        QTest::newRow("needs authorisation")
            << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" << false;
        QTest::newRow("ntp on") << "org.freedesktop.timedate1.AutomaticTimeSyncEnabled" << false;
    }
    void timedatedMissingOrRefused()
    {
        QFETCH(QString, errorName);
        QFETCH(bool, missing);
        QCOMPARE(timedated::ServiceIsMissing(errorName), missing);
    }

    // The socket layer against a real peer.

    void refusedConnectionIsReportedByTheConnectEvent()
    {
        const quint16 port = UnusedLocalPort();
        QVERIFY(port != 0);
        PosixSocketFactory factory;
        int error = 0;
        auto socket = factory.create(&error);
        QVERIFY(socket);
        QVERIFY(socket->handle() >= 0);
        Listener listener(socket.get());
        QCOMPARE(socket->select(sockev::kFdRead | sockev::kFdConnect), 0);
        QVERIFY(::fcntl(socket->handle(), F_GETFL) & O_NONBLOCK);
        QCOMPARE(socket->connectTo(::inet_addr("127.0.0.1"), port), EINPROGRESS);
        QTRY_COMPARE(listener.events.size(), 1);
        QCOMPARE(listener.events[0].event, sockev::kFdConnect);
        QCOMPARE(listener.events[0].error, ECONNREFUSED);
        // A failed connection reads as "readable" on Linux; that must not show as data.
        settle();
        QCOMPARE(listener.events.size(), 1);
    }

    void readEventWaitsForEachReceive()
    {
        Rfc868Server server;
        QVERIFY(server.start());
        server.hold();
        PosixSocketFactory factory;
        auto socket = redirectedSocket(factory, server.port(), sockev::kFdRead | sockev::kFdConnect);
        QVERIFY(socket);
        Listener listener(socket.get());
        int error = 0;
        socket->connectTo(::inet_addr("192.0.2.1"), 37);
        QTRY_COMPARE(listener.count(sockev::kFdConnect), 1);
        QTRY_COMPARE(server.connections(), 1);

        server.send(QByteArray::fromHex("01020304"));
        QTRY_COMPARE(listener.count(sockev::kFdRead), 1);
        QCOMPARE(listener.events.last().error, 0);
        // Not read yet: no second report however long the data waits.
        settle();
        QCOMPARE(listener.count(sockev::kFdRead), 1);

        char buffer[4] = {};
        QCOMPARE(socket->receive(buffer, 2, &error), qint64(2));
        QCOMPARE(QByteArray(buffer, 2), QByteArray::fromHex("0102"));
        QTRY_COMPARE(listener.count(sockev::kFdRead), 2);
        QCOMPARE(socket->receive(buffer, 4, &error), qint64(2));
        QCOMPARE(QByteArray(buffer, 2), QByteArray::fromHex("0304"));
        // Nothing waiting: the next read is "would block", and re-arms.
        QCOMPARE(socket->receive(buffer, 4, &error), qint64(-1));
        QCOMPARE(error, EAGAIN);

        server.closeClient();
        QTRY_COMPARE(listener.count(sockev::kFdRead), 3);
        QCOMPARE(socket->receive(buffer, 4, &error), qint64(0));
        // The end of the stream is reported once, not for ever.
        settle();
        QCOMPARE(listener.count(sockev::kFdRead), 3);
    }

    void closeFromWithinANotification()
    {
        Rfc868Server server;
        QVERIFY(server.start());
        server.hold();
        PosixSocketFactory factory;
        auto socket = redirectedSocket(factory, server.port(), sockev::kFdRead | sockev::kFdConnect);
        QVERIFY(socket);
        AsyncSocket* raw = socket.get();
        int error = 0;
        int events = 0;
        QObject::connect(raw, &AsyncSocket::notified, raw, [&](int, int) {
            ++events;
            raw->close();
        });
        socket->connectTo(::inet_addr("192.0.2.1"), 37);
        QTRY_COMPARE(events, 1);
        QTRY_COMPARE(server.closedByClient(), 1);
        QCOMPARE(socket->handle(), -1);
        char buffer[4];
        QCOMPARE(socket->receive(buffer, 4, &error), qint64(-1));
        QCOMPARE(error, EBADF);
        QCOMPARE(socket->connectTo(::inet_addr("127.0.0.1"), server.port()), EBADF);
        server.send("x");
        settle();
        QCOMPARE(events, 1);
    }
};

QTEST_GUILESS_MAIN(TestTimeProtocol)
#include "tst_timesync_protocol.moc"
