// The CalDAV client against radicale on 127.0.0.1: 1,000 small events put one
// by one, then a listing with nothing changed (the sync's most common request).
#include "../tests/support/RadicaleServer.h"
#include "sync/CalDavClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    RadicaleServer server;
    if (!server.start("bench:bench\n")) {
        std::fprintf(stderr, "radicale did not start\n");
        return 1;
    }
    sync::CalDavClient client(
        sync::ServerAccess{server.url(), QStringLiteral("bench"), QStringLiteral("bench")});
    QString calendar;
    sync::RemoteError error;
    if (!client.discover(calendar, nullptr, error)) {
        std::fprintf(stderr, "discovery: %s\n", qPrintable(error.text));
        return 1;
    }
    constexpr int kEvents = 1000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kEvents; ++i) {
        const QString uid = QStringLiteral("bench-%1").arg(i);
        const QByteArray data =
            QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\nBEGIN:VEVENT\r\n"
                           "UID:%1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260102T090000Z\r\n"
                           "SUMMARY:提醒 %1\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                .arg(uid)
                .toUtf8();
        QString etag;
        if (!client.put(client.hrefFor(uid), data, {}, etag, error)) {
            std::fprintf(stderr, "put: %s\n", qPrintable(error.text));
            return 1;
        }
    }
    const qint64 putMs = timer.elapsed();
    sync::RemoteListing all;
    timer.restart();
    if (!client.list({}, all, error))
        return 1;
    const qint64 fullMs = timer.elapsed();
    sync::RemoteListing none;
    const int before = client.requestCount();
    timer.restart();
    if (!client.list(all.token, none, error))
        return 1;
    const qint64 noneUs = timer.nsecsElapsed() / 1000;
    std::printf("put %d events: %lld ms (%.1f ms each)\n", kEvents, static_cast<long long>(putMs),
                double(putMs) / kEvents);
    std::printf("whole listing of %lld: %lld ms\n", static_cast<long long>(all.changed.size()),
                static_cast<long long>(fullMs));
    std::printf("listing with nothing changed: %d request(s), %lld us, %lld changed\n",
                client.requestCount() - before, static_cast<long long>(noneUs),
                static_cast<long long>(none.changed.size()));
    return 0;
}
