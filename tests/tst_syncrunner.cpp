#include "app/SyncSetup.h"
#include "calendar/EventPatch.h"
#include "reminders/AlertDlg.h"
#include "support/FakeCalendars.h"
#include "support/PopupRig.h"
#include "support/RadicaleServer.h"
#include "support/SlowDavServer.h"
#include "support/TestSupport.h"
#include "sync/CalDavClient.h"
#include "sync/SyncAccount.h"
#include "sync/SyncRunner.h"
#include "sync/SyncStatus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

std::unique_ptr<sync::LocalCalendar> localOf(CAdoDatabase& db)
{
    return std::make_unique<fakes::FakeLocal>(
        db); // the reminder table's own side is tested beside the mapping
}

void setAccount(const QTcpServer& server)
{
    sync::SyncAccount a;
    a.url = QStringLiteral("http://127.0.0.1:%1/cal/").arg(server.serverPort());
    a.user = QStringLiteral("alice");
    a.calendar = a.url;
    QVERIFY(sync::WriteSyncAccount(a));
}

} // namespace

// The runner's syncs happen on its own thread: the interface thread goes on.
class TestSyncRunner : public QObject
{
    Q_OBJECT

private slots:
    void slowServerNeverStallsTheInterface()
    {
        FakeSeams seams;
        TempProgramFolder folder;
        SlowDavServer server(3000);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        setAccount(server);
        sync::SyncRunner runner(localOf);
        runner.setSessionPassword(QStringLiteral("pw"));
        QSignalSpy finished(&runner, &sync::SyncRunner::finished);
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(10);
        connect(&tick, &QTimer::timeout, this, [&]() { longest = std::max(longest, gap.restart()); });
        gap.start();
        tick.start();
        runner.start();
        QVERIFY(runner.isRunning());
        QCOMPARE(runner.statusText(), QStringLiteral("正在同步…"));
        QVERIFY(finished.wait(40000));
        QVERIFY(!runner.isRunning());
        QVERIFY(runner.statusText() != QStringLiteral("正在同步…"));
        QVERIFY2(longest < 1000, qPrintable(QStringLiteral("the interface waited %1 ms").arg(longest)));
    }

    void closingCancelsAWaitingSync()
    {
        FakeSeams seams;
        TempProgramFolder folder;
        SlowDavServer server(120000);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        setAccount(server);
        auto runner = std::make_unique<sync::SyncRunner>(localOf);
        runner->setSessionPassword(QStringLiteral("pw"));
        runner->start();
        QTRY_VERIFY(server.findChild<QTcpSocket*>() != nullptr); // the request is out
        QElapsedTimer closing;
        closing.start();
        runner.reset();
        QVERIFY2(closing.elapsed() < 5000, "closing waited for the server");
    }

    // Local changes close together make one sync, after the last of them.
    void localChangesAreDebounced()
    {
        FakeSeams seams;
        TempProgramFolder folder;
        SlowDavServer server(0);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        setAccount(server);
        sync::SyncRunner runner(localOf);
        runner.setSessionPassword(QStringLiteral("pw"));
        runner.reloadAccount();
        runner.setDebounceMs(200);
        QSignalSpy started(&runner, &sync::SyncRunner::started);
        QSignalSpy finished(&runner, &sync::SyncRunner::finished);
        for (int i = 0; i < 3; ++i) {
            runner.localChanged();
            QTest::qWait(50);
        }
        QCOMPARE(started.count(), 0);
        QVERIFY(finished.wait(30000));
        QTest::qWait(400);
        QCOMPARE(started.count(), 1);
    }

    // The program's own wiring over a real server: a popup whose occurrence another machine
    // acknowledged closes after the sync that brings it, and the list is read again.
    void acknowledgedElsewhereClosesThePopup()
    {
        PopupRig rig;
        RadicaleServer server;
        QVERIFY(server.start("alice:pw\n"));
        sync::SyncAccount account;
        account.url = server.url();
        account.user = QStringLiteral("alice");
        QVERIFY(sync::WriteSyncAccount(account));
        const QString id = rig.add(QStringLiteral("开会"), QStringLiteral("带上报告"));
        const QString uid = repeat::UidOf(*rig.inspector(), id);
        QVERIFY(!uid.isEmpty());

        QObject owner;
        int reloads = 0;
        QStringList closed;
        sync::SyncRunner* runner =
            syncsetup::StartSync(&owner, {[&] { ++reloads; },
                                          [&](const QStringList& uids) {
                                              closed += uids;
                                              CAlertDlg::CloseAcknowledgedElsewhere(uids);
                                          }});
        runner->setSessionPassword(QStringLiteral("pw"));
        QSignalSpy finished(runner, &sync::SyncRunner::finished);
        runner->syncNow(); // the sync at start had no password yet
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() && !runner->isRunning(), 30000);
        QVERIFY(finished.last().first().value<sync::SyncReport>().ok);
        QVERIFY(closed.isEmpty());

        // Another machine acknowledges the occurrence on the server.
        sync::StatusRow row;
        QVERIFY(sync::ReadStatusRow(*rig.inspector(), uid, row));
        sync::CalDavClient other(sync::ServerAccess{account.url, account.user, QStringLiteral("pw")});
        other.setCalendar(sync::ReadSyncAccount().calendar);
        QList<sync::RemoteResource> there;
        sync::RemoteError error;
        QVERIFY2(other.fetch({row.href}, there, error), qPrintable(error.text));
        QCOMPARE(there.size(), 1);
        QString etag;
        QVERIFY2(other.put(row.href,
                           calendar::WithAcknowledged(there.first().data, QDateTime::currentDateTimeUtc()),
                           there.first().etag, etag, error),
                 qPrintable(error.text));

        auto popup = rig.popup(id);
        QVERIFY(popup->OnInitDialog());
        popup->show();
        QVERIFY(QTest::qWaitForWindowExposed(popup.get()));
        finished.clear();
        runner->syncNow();
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 30000);
        QVERIFY(finished.last().first().value<sync::SyncReport>().ok);
        QCOMPARE(closed, QStringList{uid});
        QVERIFY(popup->closed());
        QVERIFY(!popup->isVisible());
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QVERIFY(reloads >= 1);
        // The other machine's acknowledgement kept the reminder, marked as used.
        QCOMPARE(rig.useOf(id), QStringLiteral("1"));
    }
};

QTEST_MAIN(TestSyncRunner)
#include "tst_syncrunner.moc"
