// Times the sync's logic against in-memory fakes of the server and of this
// machine's reminders (in a real data file): the first sync of 1,000 reminders
// each way, and a sync with nothing changed (its requests are counted too).
#include "../tests/support/FakeCalendars.h"
#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const int kItems = 1000;
const QString kUrl = QStringLiteral("https://example.invalid/cal/");

bool OpenFresh(const QTemporaryDir& dir, CAdoDatabase& db)
{
    QDir(dir.path()).mkpath(QStringLiteral("myTolva"));
    const QString file = dir.path() + QStringLiteral("/myTolva/tolva.dat");
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), file))
        return false;
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    SetProgramFolderForTesting(dir.path());
    QString message;
    return db.Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                   message) == store::kConnected;
}

void Report(const char* what, const sync::SyncReport& report, qint64 ms)
{
    std::printf("%-44s %6lld ms  ok=%d requests=%d sent=%d received=%d\n", what, static_cast<long long>(ms),
                int(report.ok), report.requests, report.sent, report.received);
}

sync::SyncReport Timed(const char* what, CAdoDatabase& db, fakes::FakeLocal& local, fakes::FakeServer& server)
{
    QElapsedTimer timer;
    timer.start();
    sync::SyncEngine engine(db, local, server, kUrl);
    const sync::SyncReport report = engine.run();
    Report(what, report, timer.elapsed());
    return report;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    {
        QTemporaryDir dir;
        CAdoDatabase db;
        if (!OpenFresh(dir, db)) {
            std::fprintf(stderr, "cannot make the database\n");
            return 1;
        }
        fakes::FakeLocal local(db);
        fakes::FakeServer server;
        for (int i = 0; i < kItems; ++i)
            local.add(QStringLiteral("提醒 %1").arg(i), QStringLiteral("内容 %1").arg(i),
                      QStringLiteral("202701%1T090000").arg(1 + i % 28, 2, 10, QLatin1Char('0')));
        Timed("first sync, 1000 reminders here", db, local, server);
        Timed("next sync (own uploads listed back)", db, local, server);
        Timed("sync with nothing changed", db, local, server);
        {
            // The fake's own share of the quiet sync: reading the local items.
            QElapsedTimer timer;
            timer.start();
            QList<sync::LocalItem> items;
            QString error;
            local.items(items, error);
            std::printf("%-44s %6lld ms\n", "  of which reading the items (the fake)",
                        static_cast<long long>(timer.elapsed()));
        }
        server.tokens = false;
        Timed("nothing changed, server without tokens", db, local, server);
        SetProgramFolderForTesting(QString());
    }
    {
        QTemporaryDir dir;
        CAdoDatabase db;
        if (!OpenFresh(dir, db)) {
            std::fprintf(stderr, "cannot make the database\n");
            return 1;
        }
        fakes::FakeLocal local(db);
        fakes::FakeServer server;
        for (int i = 0; i < kItems; ++i) {
            fakes::Event e;
            e.uid = QStringLiteral("srv-%1").arg(i);
            e.summary = QStringLiteral("远端 %1").arg(i);
            e.start = QStringLiteral("20270201T100000");
            server.write(server.hrefFor(e.uid), fakes::Text(e));
        }
        Timed("first sync, 1000 events on the server", db, local, server);
        Timed("sync with nothing changed", db, local, server);
        SetProgramFolderForTesting(QString());
    }
    {
        // Both sides already hold the same reminders under other UIDs: all linked.
        QTemporaryDir dir;
        CAdoDatabase db;
        if (!OpenFresh(dir, db)) {
            std::fprintf(stderr, "cannot make the database\n");
            return 1;
        }
        fakes::FakeLocal local(db);
        fakes::FakeServer server;
        for (int i = 0; i < kItems; ++i) {
            fakes::Event e;
            e.uid = QStringLiteral("srv-%1").arg(i);
            e.summary = QStringLiteral("同一 %1").arg(i);
            e.start = QStringLiteral("20270301T100000");
            server.write(server.hrefFor(e.uid), fakes::Text(e));
            local.add(e.summary, QString(), e.start);
        }
        Timed("first sync, the same 1000 on both sides", db, local, server);
        std::printf("%-44s %6d here, %d there\n", "after linking", int(local.subjects().size()),
                    int(server.resources.size()));
        SetProgramFolderForTesting(QString());
    }
    return 0;
}
