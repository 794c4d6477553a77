// The sync against servers on this machine: the first sync of 1,000 reminders
// and a sync with nothing changed against a local radicale (targets: < 10 s;
// one request and < 100 ms), and the interface thread's longest stall while a
// sync waits for a server that answers after 5 s (the window must never wait).
#include "../tests/support/SlowDavServer.h"
#include "app/CommandLine.h"
#include "base/Paths.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "platform/SecretStore.h"
#include "reminders/SyncedReminders.h"
#include "sync/SyncAccount.h"
#include "sync/SyncRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

const QString kPassword = QStringLiteral("bench-pw");

std::unique_ptr<sync::LocalCalendar> localOf(CAdoDatabase& db)
{
    return std::make_unique<reminders::SyncedReminders>(db);
}

bool newProgramFolder(const QTemporaryDir& dir)
{
    SetProgramFolderForTesting(dir.path());
    return QDir(dir.path()).mkpath(QStringLiteral("myTolva")) &&
           QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), DatabaseFilePath());
}

// Waits for the runner's next finished signal; false after the limit.
bool runOnce(sync::SyncRunner& runner, sync::SyncReport& report, int limitMs)
{
    QEventLoop loop;
    bool done = false;
    QObject::connect(&runner, &sync::SyncRunner::finished, &loop, [&](const sync::SyncReport& r) {
        report = r;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    runner.syncNow();
    loop.exec();
    return done;
}

void account(const QString& url)
{
    sync::SyncAccount a;
    a.url = url;
    a.user = QStringLiteral("bench");
    a.calendar = url;
    sync::WriteSyncAccount(a);
}

void benchStall()
{
    QTemporaryDir dir;
    if (!newProgramFolder(dir))
        return;
    SlowDavServer server(5000);
    server.listen(QHostAddress::LocalHost);
    account(QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.serverPort()));
    sync::SyncRunner runner(localOf);
    runner.setSessionPassword(kPassword);
    runner.reloadAccount();
    QElapsedTimer gap, total;
    qint64 longest = 0;
    QTimer tick; // the clock line's tick, as the window has it
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&]() { longest = std::max(longest, gap.restart()); });
    gap.start();
    total.start();
    tick.start();
    sync::SyncReport report;
    const bool done = runOnce(runner, report, 60000);
    std::printf(
        "slow server (answers after 5 s): sync %s in %lld ms; interface thread's longest stall %lld ms\n",
        done ? "ended" : "did not end", static_cast<long long>(total.elapsed()),
        static_cast<long long>(longest));
}

void benchRadicale()
{
    QTemporaryDir server;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QFile users(server.filePath(QStringLiteral("users")));
    QFile config(server.filePath(QStringLiteral("config")));
    if (!users.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return;
    users.write("bench:" + kPassword.toUtf8() + "\n");
    users.close();
    config.write(
        QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                       "htpasswd_encryption = plain\n[storage]\nfilesystem_folder = %3\n")
            .arg(port)
            .arg(users.fileName(), server.filePath(QStringLiteral("storage")))
            .toUtf8());
    config.close();
    QProcess radicale;
    radicale.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-m"), QStringLiteral("radicale"),
                                                        QStringLiteral("--config"), config.fileName()});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(100);
    }

    QTemporaryDir dir;
    if (!newProgramFolder(dir))
        return;
    QString out, err;
    QTextStream o(&out), e(&err);
    const QString at =
        QDateTime::currentDateTime().addDays(2).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    int added = 0;
    for (int i = 0; i < 1000; ++i)
        added += commandline::Run({QStringLiteral("--add"), QStringLiteral("提醒%1").arg(i),
                                   QStringLiteral("--at"), at, QStringLiteral("--content"),
                                   QStringLiteral("第%1条").arg(i)},
                                  o, e) == commandline::kDone;
    if (added != 1000) {
        std::printf("only %d of 1,000 reminders added: %s\n", added, qPrintable(err.left(200)));
        return;
    }
    sync::SyncAccount a;
    a.url = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    a.user = QStringLiteral("bench");
    sync::WriteSyncAccount(a);
    sync::SyncRunner runner(localOf);
    runner.setSessionPassword(kPassword);
    runner.reloadAccount();
    sync::SyncReport report;
    QElapsedTimer t;
    t.start();
    bool done = runOnce(runner, report, 120000);
    std::printf("first sync of 1,000 reminders: %s, %d sent, %lld ms (target < 10 s)\n",
                done && report.ok ? "ok" : "FAILED", report.sent, static_cast<long long>(t.elapsed()));
    t.restart();
    done = runOnce(runner, report, 60000);
    std::printf("sync with nothing changed: %s, %d request(s), %lld ms (target: one request, < 100 ms)\n",
                done && report.ok ? "ok" : "FAILED", report.requests, static_cast<long long>(t.elapsed()));
    radicale.terminate();
    radicale.waitForFinished(5000);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    SystemLocalClock clock;
    FakeSecretStore secrets; // the password comes from the run, as where no secret store answers
    secrets.setAvailable(false);
    seams::setClock(&clock);
    seams::setSecretStore(&secrets);
    benchRadicale();
    benchStall();
    return 0;
}
