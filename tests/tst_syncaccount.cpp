#include "base/Gbk.h"
#include "support/TestSupport.h"
#include "sync/SyncAccount.h"

#include <QtTest>

// The sync's account in Settings.ini, and its password only in the secret store.
class TestSyncAccount : public QObject
{
    Q_OBJECT

private slots:
    void accountReadsBack_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("calendar");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("allowHttp");
        QTest::addColumn<int>("intervalRead");

        QTest::newRow("a server and a user with the default interval") << "https://dav.example.org/"
                                                                       << "alice"
                                                                       << "" << 5 << false << 5;
        QTest::newRow("a found calendar, an hour's interval and confirmed plain http")
            << "http://192.168.1.20:5232/"
            << "张三"
            << "http://192.168.1.20:5232/zhang/tolva/" << 60 << true << 60;
        QTest::newRow("a calendar address longer than 255 bytes comes back whole")
            << "https://cloud.example.org/remote.php/dav/"
            << "bob"
            << "https://cloud.example.org/remote.php/dav/calendars/bob/" + QString(260, QLatin1Char('c')) +
                   "/"
            << 1440 << false << 1440;
        QTest::newRow("an interval beyond a day reads as the default") << "https://dav.example.org/"
                                                                       << "alice"
                                                                       << "" << 5000 << false << 5;
        QTest::newRow("an interval of none reads as the default") << "https://dav.example.org/"
                                                                  << "alice"
                                                                  << "" << 0 << false << 5;
    }
    void accountReadsBack()
    {
        QFETCH(QString, url);
        QFETCH(QString, user);
        QFETCH(QString, calendar);
        QFETCH(int, interval);
        QFETCH(bool, allowHttp);
        QFETCH(int, intervalRead);
        FakeSeams seams;
        TempProgramFolder folder;
        QVERIFY(!sync::ReadSyncAccount().isSet());

        sync::SyncAccount written;
        written.url = url;
        written.user = user;
        written.calendar = calendar;
        written.intervalMinutes = interval;
        written.allowPlainHttp = allowHttp;
        QVERIFY(sync::WriteSyncAccount(written));
        QString error;
        QCOMPARE(sync::WriteSyncPassword(written, QStringLiteral("s3cret-口令"), error),
                 SecretStore::Result::Ok);

        const sync::SyncAccount read = sync::ReadSyncAccount();
        QVERIFY(read.isSet());
        QCOMPARE(read.url, url);
        QCOMPARE(read.user, user);
        QCOMPARE(read.calendar, calendar);
        QCOMPARE(read.intervalMinutes, intervalRead);
        QCOMPARE(read.allowPlainHttp, allowHttp);

        const QByteArray ini = ReadAll(folder.settingsFile());
        QVERIFY(ini.contains(gbk::encode(QStringLiteral("[同步]"))));
        QVERIFY(!ini.contains("s3cret"));
        QString password;
        QCOMPARE(sync::ReadSyncPassword(read, password, error), SecretStore::Result::Ok);
        QCOMPARE(password, QStringLiteral("s3cret-口令"));
    }

    // Each address and user keeps its own password; none there, or no store, says so.
    void passwordBelongsToItsAccount()
    {
        FakeSeams seams;
        TempProgramFolder folder;
        sync::SyncAccount home{QStringLiteral("https://home.example.org/"), QStringLiteral("alice"),
                               QString()};
        sync::SyncAccount work{QStringLiteral("https://work.example.org/"), QStringLiteral("alice"),
                               QString()};
        QString error, password;
        QCOMPARE(sync::WriteSyncPassword(home, QStringLiteral("home-pw"), error), SecretStore::Result::Ok);
        QCOMPARE(sync::ReadSyncPassword(work, password, error), SecretStore::Result::NotFound);
        QCOMPARE(sync::WriteSyncPassword(work, QStringLiteral("work-pw"), error), SecretStore::Result::Ok);
        QCOMPARE(sync::ReadSyncPassword(home, password, error), SecretStore::Result::Ok);
        QCOMPARE(password, QStringLiteral("home-pw"));

        seams.secrets.setAvailable(false);
        QCOMPARE(sync::ReadSyncPassword(home, password, error), SecretStore::Result::NoStore);
    }
};

QTEST_GUILESS_MAIN(TestSyncAccount)
#include "tst_syncaccount.moc"
