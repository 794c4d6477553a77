#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "store/DataMaintenance.h"
#include "store/SchemaUpgrade.h"
#include "support/FileSizeLimit.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QDialog>
#include <QtTest>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
const QString kMissingParts = QString::fromUtf8("Tolva小精灵零件缺失，请重新下载最新的程序！ ");
const QString kBackupDone = QString::fromUtf8("备份数据成功！ ");
const QString kBackupFailed = QString::fromUtf8("备份数据失败！ ");
const QString kNoBackup = QString::fromUtf8("Tolva小精灵目前没有任何备份文件！ ");
const QString kRestoreDone = QString::fromUtf8("恢复数据成功！ ");
const QString kRestoreFailed = QString::fromUtf8("恢复数据失败！ ");
const QString kCompactDone = QString::fromUtf8("压缩数据成功！ ");
const QString kCompactFailed = QString::fromUtf8("压缩数据失败！ ");
const QString kNotice = QString::fromUtf8("Tolva提示");

// Statements on a connection of the test's own, beside the program's store.
bool exec(const QString& file, const char* sql)
{
    return SqliteFile(file).exec(sql);
}

// Every record with every field, as text, by id; {"<error>"} when the file cannot be read.
QStringList recordsIn(const QString& file)
{
    return SqliteFile(file, SQLITE_OPEN_READONLY)
        .column(
            "select id||'|'||ifnull(titile,'')||'|'||ifnull(text,'')||'|'||date||'|'||time||'|'||use||'|'||"
            "insertdatatime from recordmsg order by id");
}

// The rows kept beside the records (rules, snoozes, uids, loaded holiday
// arrangements), as text; {"<error>"} when the file cannot be read.
QStringList besidesIn(const QString& file)
{
    return SqliteFile(file, SQLITE_OPEN_READONLY)
        .column("select 'rule '||id||' '||dtstart||' '||rrule||' '||workdays from repeatrule union all "
                "select 'snooze '||id||' '||until from snooze union all "
                "select 'uid '||id||' '||uid from recorduid union all "
                "select 'holidays '||id||' '||loaded||' '||text from holidays");
}

// A weekly rule and a snooze for the record id, and one more loaded holiday arrangement.
bool addBesides(const QString& file, int id)
{
    const QByteArray key = QByteArray::number(id);
    const QByteArray sql = "insert or replace into repeatrule (id, dtstart, rrule) values (" + key +
                           ", '2026-01-05 08:30:00', 'FREQ=WEEKLY;BYDAY=MO,WE,FR');"
                           "insert or replace into snooze (id, until) values (" +
                           key +
                           ", '2026-01-01 10:05:00');"
                           "insert into holidays (loaded, text) values ('2026-01-01 09:00:00', '[2027]')";
    return exec(file, sql.constData());
}

bool addReminders(const QString& file, int count, int textBytes = 20)
{
    return exec(file, ("with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                       QByteArray::number(count) +
                       ") insert into recordmsg (titile, text, date, time, use, insertdatatime) "
                       "select 'subject ' || i, hex(randomblob(" +
                       QByteArray::number(textBytes / 2) +
                       ")), '2026-01-01', '10:00:00', '0', '2026-01-01 09:00:00' from n")
                          .constData());
}

// Counted through the program's own store: it must be open for this.
int storeCount(const CReminderApp& app)
{
    auto db = app.database();
    QString message;
    return db ? db->CountRows(QString::fromUtf8(tolva::kReminderTable), QString(), message) : -100;
}

void setModified(const QString& path, time_t when)
{
    struct timespec times[2] = {{when, 0}, {when, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0);
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A program folder with its database, the application's store open on it, and
// a dialog standing in for the settings dialog.
struct Fixture
{
    explicit Fixture(bool withDatabase = true) : folder(withDatabase), maintenance(&dialog, &app)
    {
        if (withDatabase) {
            app.createStore();
            QString message;
            opened = app.database()->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"),
                                          QString(), QString(), message) == store::kConnected;
        }
        maintenance.refreshList = [this] {
            ++refreshes;
            boxesAtRefresh = fakes.boxes.shown().size();
            countAtRefresh = storeCount(app);
        };
        dialog.show();
    }
    bool connected() const { return app.database() && app.database()->IsConnected(); }

    FakeSeams fakes;
    TempProgramFolder folder;
    CReminderApp app;
    QDialog dialog;
    CDataMaintenance maintenance;
    bool opened = false;
    int refreshes = 0;
    qsizetype boxesAtRefresh = -1;
    int countAtRefresh = -1;
};
} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // China Standard Time, no daylight saving: the question's time is local.
        qputenv("TZ", "CST-8");
        tzset();
    }

    // --- the atomic copy itself

    void copyKeepsTheTargetsPermissionsOrTakesTheSources()
    {
        QTemporaryDir dir;
        const QString src = dir.path() + QStringLiteral("/src"), dst = dir.path() + QStringLiteral("/dst");
        QVERIFY(WriteAll(src, "new content"));
        QVERIFY(::chmod(QFile::encodeName(src).constData(), 0640) == 0);
        QVERIFY(fileops::CopyFileAtomically(src, dst));
        QCOMPARE(ReadAll(dst), QByteArray("new content"));
        QCOMPARE(QFileInfo(dst).permissions(), QFileInfo(src).permissions());

        QVERIFY(::chmod(QFile::encodeName(dst).constData(), 0604) == 0);
        QVERIFY(WriteAll(src, "newer"));
        QVERIFY(fileops::CopyFileAtomically(src, dst));
        QCOMPARE(ReadAll(dst), QByteArray("newer"));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(dst).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 0777), 0604);
        QCOMPARE(entriesOf(dir.path()), (QStringList{"dst", "src"}));
    }

    // --- backup

    void backingUpTwiceKeepsOneBackupTheNewer()
    {
        Fixture f;
        QVERIFY(f.opened);
        QCOMPARE(DatabaseFilePath(), f.folder.databaseFile());
        QVERIFY(DatabaseFilePath().startsWith(QDir::tempPath() + QLatin1Char('/')));
        QVERIFY(addReminders(f.folder.databaseFile(), 3));
        f.maintenance.OnBackup();
        QCOMPARE(recordsIn(BackupFilePath()), recordsIn(DatabaseFilePath()));
        QCOMPARE(recordsIn(BackupFilePath()).size(), 3);
        QVERIFY(addReminders(f.folder.databaseFile(), 4));
        QVERIFY(addBesides(f.folder.databaseFile(), 5));
        f.maintenance.OnBackup();
        QCOMPARE(recordsIn(BackupFilePath()), recordsIn(DatabaseFilePath()));
        QCOMPARE(recordsIn(BackupFilePath()).size(), 7);
        // With the rules, snoozes, uids and holiday arrangements beside the records.
        QCOMPARE(besidesIn(BackupFilePath()), besidesIn(DatabaseFilePath()));
        QCOMPARE(besidesIn(BackupFilePath()).size(), 10);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kBackupDone, kBackupDone}));
        const MessageBoxRequest& box = f.fakes.boxes.shown().first();
        QCOMPARE(box.caption, kNotice);
        QCOMPARE(box.icon, MbIcon::Information);
        QCOMPARE(box.buttons, MbButtons::Ok);
        QCOMPARE(box.owner.data(), &f.dialog);
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
        // The store stayed open all the while, and the dialog too.
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 7);
        QVERIFY(f.dialog.isVisible());
    }

    void backupWithoutDatabaseClosesTheDialog()
    {
        Fixture f(false);
        f.maintenance.OnBackup();
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kMissingParts});
        QVERIFY(f.fakes.boxes.shown().first().caption.isEmpty());
        QVERIFY(!f.dialog.isVisible());
        QVERIFY(!QFileInfo::exists(BackupFilePath()));
    }

    void backupThatFailsKeepsTheOldBackup()
    {
        Fixture f(false);
        // Something stands at the database's place, but it cannot be copied.
        QVERIFY(QDir().mkpath(DatabaseFilePath()));
        QVERIFY(WriteAll(BackupFilePath(), "last week's backup"));
        f.maintenance.OnBackup();
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kBackupFailed});
        QCOMPARE(ReadAll(BackupFilePath()), QByteArray("last week's backup"));
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
        QVERIFY(f.dialog.isVisible());
    }

    void backupThatBreaksOffHalfWayKeepsTheOldBackup()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 2000, 2000));
        QVERIFY(QFileInfo(DatabaseFilePath()).size() > 2 * 1024 * 1024);
        QVERIFY(WriteAll(BackupFilePath(), "last week's backup"));
        {
            FileSizeLimit limit(1024 * 1024);
            QVERIFY(limit.active());
            f.maintenance.OnBackup();
        }
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kBackupFailed});
        QCOMPARE(ReadAll(BackupFilePath()), QByteArray("last week's backup"));
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
        QCOMPARE(storeCount(f.app), 2000);
    }

    // --- restore

    void restoreWithoutBackupSaysSo()
    {
        Fixture f;
        const QByteArray before = ReadAll(DatabaseFilePath());
        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoBackup});
        QVERIFY(f.fakes.boxes.shown().first().caption.isEmpty());
        QVERIFY(f.dialog.isVisible());
        QVERIFY(f.connected());
        QCOMPARE(ReadAll(DatabaseFilePath()), before);
    }

    void restoreQuestionNamesTheBackupsTimeAndNoChangesNothing()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 2));
        f.maintenance.OnBackup();
        QVERIFY(addReminders(f.folder.databaseFile(), 3));
        setModified(BackupFilePath(), 1614834367); // 2021-03-04 05:06:07 UTC
        const QByteArray database = ReadAll(DatabaseFilePath()), backup = ReadAll(BackupFilePath());
        f.fakes.boxes.clear();
        f.fakes.boxes.answerNext(MbResult::No);

        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.shown().size(), 1);
        const MessageBoxRequest& q = f.fakes.boxes.shown().first();
        QCOMPARE(q.text, QString::fromUtf8("\n 是否确定恢复到 2021年03月04日 13:06:07 的备份数据？  "));
        QCOMPARE(q.caption, QString::fromUtf8("友情提示"));
        QCOMPARE(q.buttons, MbButtons::YesNo);
        QCOMPARE(q.defaultButton, MbResult::No);
        QVERIFY(q.topmost);
        QCOMPARE(q.owner.data(), &f.dialog);

        QCOMPARE(ReadAll(DatabaseFilePath()), database);
        QCOMPARE(ReadAll(BackupFilePath()), backup);
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 5);
        QCOMPARE(f.refreshes, 0);
        QVERIFY(f.dialog.isVisible());
    }

    void successfulRestoreReloadsTheListBeforeItsMessage()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 2));
        QVERIFY(addBesides(f.folder.databaseFile(), 2));
        f.maintenance.OnBackup();
        const QStringList backedUp = besidesIn(BackupFilePath());
        QCOMPARE(backedUp.size(), 5);
        QVERIFY(::chmod(QFile::encodeName(BackupFilePath()).constData(), 0644) == 0);
        QVERIFY(addReminders(f.folder.databaseFile(), 5));
        QVERIFY(addBesides(f.folder.databaseFile(), 6));
        QVERIFY(exec(DatabaseFilePath(), "delete from snooze where id = 2"));
        QCOMPARE(storeCount(f.app), 7);
        f.fakes.boxes.clear();
        f.fakes.boxes.answerNext(MbResult::Yes);

        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.texts().size(), 2);
        QCOMPARE(f.fakes.boxes.texts().last(), kRestoreDone);
        const MessageBoxRequest& done = f.fakes.boxes.shown().last();
        QCOMPARE(done.caption, kNotice);
        QCOMPARE(done.icon, MbIcon::Information);
        QCOMPARE(done.owner.data(), &f.dialog);
        // Reloaded once, after the question and before the message, on the reopened store.
        QCOMPARE(f.refreshes, 1);
        QCOMPARE(f.boxesAtRefresh, qsizetype(1));
        QCOMPARE(f.countAtRefresh, 2);
        QVERIFY(f.connected());
        QCOMPARE(recordsIn(DatabaseFilePath()), recordsIn(BackupFilePath()));
        QCOMPARE(besidesIn(DatabaseFilePath()), backedUp);
        QVERIFY(f.dialog.isVisible());
        // The restored file keeps the data file's mode, not the backup's.
        QCOMPARE(int(fileops::ModeOr(DatabaseFilePath(), 0)), 0600);
    }

    // A backup made by an older program is restored as it is and upgraded when
    // the store opens it again; the records are the backup's, each with a uid,
    // and an every-day record that its popup marked used fires again.
    void restoreOfAnOlderGenerationUpgradesIt_data()
    {
        QTest::addColumn<QByteArray>("strip");
        QTest::newRow("a backup of the generation before rules") << QByteArray("pragma user_version=1");
        QTest::newRow("a backup of the first generation")
            << QByteArray("drop index recordmsg_use; drop index recordmsg_date_time; pragma user_version=0");
    }
    void restoreOfAnOlderGenerationUpgradesIt()
    {
        QFETCH(QByteArray, strip);
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 4));
        f.maintenance.OnBackup();
        const QByteArray older =
            "drop trigger recordmsg_uid; drop trigger recordmsg_gone; drop table repeatrule;"
            "drop table snooze; drop table holidays; drop table recorduid; drop index recordmsg_due;"
            "drop table recordack; drop table syncstatus; drop table syncmeta;"
            "update recordmsg set date = 'Every Day', use = '1' where id in (1, 3);"
            "update recordmsg set use = '1' where id = 2;" +
            strip;
        QVERIFY(exec(BackupFilePath(), older.constData()));
        QStringList backedUp = recordsIn(BackupFilePath());
        QVERIFY(addReminders(f.folder.databaseFile(), 5));
        f.fakes.boxes.clear();
        f.fakes.boxes.answerNext(MbResult::Yes);

        f.maintenance.OnRestore();
        QCoreApplication::processEvents();
        QCOMPARE(f.fakes.boxes.texts().size(), 2);
        QCOMPARE(f.fakes.boxes.texts().last(), kRestoreDone);
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 4);
        // Only the every-day records lose their mark; a dated record used stays so (cancelled).
        for (int i : {0, 2})
            backedUp[i].replace(QLatin1String("|Every Day|10:00:00|1|"),
                                QLatin1String("|Every Day|10:00:00|0|"));
        QCOMPARE(recordsIn(DatabaseFilePath()), backedUp);
        SqliteFile restored(DatabaseFilePath(), SQLITE_OPEN_READONLY);
        QCOMPARE(restored.scalar("pragma user_version"), QString::number(store::SchemaGeneration()));
        QCOMPARE(
            restored.column("select name from sqlite_master where type='index' and tbl_name='recordmsg' "
                            "order by name"),
            (QStringList{"recordmsg_date_time", "recordmsg_due", "recordmsg_time_date", "recordmsg_use"}));
        QCOMPARE(restored.scalar(
                     "select count(distinct uid) from recorduid where id in (select id from recordmsg)"),
                 QStringLiteral("4"));
    }

    void restoreWithAnUnreadableStatusAsksWithoutTextAndRestoresOnYes()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 2));
        const QString saved = f.folder.path() + QStringLiteral("/saved.dat");
        QVERIFY(fileops::CopyFileAtomically(DatabaseFilePath(), saved));
        QVERIFY(addReminders(f.folder.databaseFile(), 5));
        // The backup is a link to a file that is not there yet: it exists, its status cannot be read.
        const QString target = f.folder.path() + QStringLiteral("/later.dat");
        QVERIFY(QFile::link(target, BackupFilePath()));
        f.fakes.boxes.onShow = [&](const MessageBoxRequest& r) {
            if (r.buttons == MbButtons::YesNo)
                QFile::rename(saved, target); // appears while the question is open
        };
        f.fakes.boxes.answerNext(MbResult::Yes);

        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{QString(), kRestoreDone}));
        QCOMPARE(storeCount(f.app), 2);
        QCOMPARE(f.refreshes, 1);
    }

    void restoreThatFailsKeepsTheDatabase()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 4));
        const QByteArray database = ReadAll(DatabaseFilePath());
        QVERIFY(QDir().mkpath(BackupFilePath())); // a folder: asked about, but no copy can come of it
        f.fakes.boxes.answerNext(MbResult::Yes);
        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.texts().size(), 2);
        QCOMPARE(f.fakes.boxes.texts().last(), kRestoreFailed);
        QCOMPARE(f.fakes.boxes.shown().last().caption, kNotice);
        QCOMPARE(ReadAll(DatabaseFilePath()), database);
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 4);
        QCOMPARE(f.refreshes, 0);
    }

    void restoreThatBreaksOffHalfWayKeepsTheDatabase()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 2000, 2000));
        f.maintenance.OnBackup();
        QVERIFY(QFileInfo(BackupFilePath()).size() > 2 * 1024 * 1024);
        QVERIFY(exec(DatabaseFilePath(), "delete from recordmsg where id > 3; vacuum"));
        const QByteArray database = ReadAll(DatabaseFilePath());
        f.fakes.boxes.clear();
        f.fakes.boxes.answerNext(MbResult::Yes);
        {
            FileSizeLimit limit(1024 * 1024);
            QVERIFY(limit.active());
            f.maintenance.OnRestore();
        }
        QCOMPARE(f.fakes.boxes.texts().last(), kRestoreFailed);
        QCOMPARE(ReadAll(DatabaseFilePath()), database);
        QCOMPARE(storeCount(f.app), 3);
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
    }

    // A backup that is no whole reminder database is refused before anything
    // is touched: the data file, the store and the list stay as they were.
    void restoreRefusesABackupThatIsNoReminderDatabase_data()
    {
        QTest::addColumn<QString>("backup");
        QTest::newRow("text") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("cut short") << "truncated";
        QTest::newRow("a page overwritten") << "overwritten";
        QTest::newRow("no reminder table") << "other table";
        QTest::newRow("reminder table lacking fields") << "fewer fields";
        QTest::newRow("id a text key holding SQL that names another record") << "text key";
        QTest::newRow("of the rules' generation, but without its snooze table") << "no snooze table";
    }
    void restoreRefusesABackupThatIsNoReminderDatabase()
    {
        QFETCH(QString, backup);
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 400, 400));
        const QString other = f.folder.path() + QStringLiteral("/other.dat");
        if (backup == QLatin1String("text")) {
            QVERIFY(WriteAll(BackupFilePath(), "this is no database at all, just some text to restore"));
        } else if (backup == QLatin1String("empty")) {
            QVERIFY(WriteAll(BackupFilePath(), QByteArray()));
        } else if (backup == QLatin1String("truncated") || backup == QLatin1String("overwritten")) {
            QVERIFY(fileops::CopyFileAtomically(DatabaseFilePath(), BackupFilePath()));
            QByteArray bytes = ReadAll(BackupFilePath());
            QVERIFY(bytes.size() > 20 * 4096);
            if (backup == QLatin1String("truncated"))
                bytes.truncate(bytes.size() / 2);
            else
                bytes.replace(10 * 4096, 4096, QByteArray(4096, '\x5A'));
            QVERIFY(WriteAll(BackupFilePath(), bytes));
        } else if (backup == QLatin1String("no snooze table")) {
            // The due check could not run on it.
            QVERIFY(fileops::CopyFileAtomically(DatabaseFilePath(), BackupFilePath()));
            QVERIFY(exec(BackupFilePath(), "drop table snooze"));
        } else {
            SqliteFile made(other, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            const char* sql =
                backup == QLatin1String("other table")
                    ? "create table notes (x text); insert into notes values ('n')"
                : backup == QLatin1String("fewer fields")
                    ? "create table recordmsg (titile text, text text, id integer primary key);"
                      "insert into recordmsg (titile, text) values ('a', 'b')"
                    : "create table recordmsg (titile text, text text, date text, time text, use text, "
                      "insertdatatime text, id text primary key);"
                      "insert into recordmsg values ('bait', 'b', '2026-01-01', '10:00:00', '0', "
                      "'2026-01-01 09:00:00', '0 or titile=''subject 1''')";
            QVERIFY(made.exec(sql));
            QVERIFY(fileops::CopyFileAtomically(other, BackupFilePath()));
        }
        const QByteArray database = ReadAll(DatabaseFilePath());
        const QStringList records = recordsIn(DatabaseFilePath());
        QCOMPARE(records.size(), 400);
        f.fakes.boxes.answerNext(MbResult::Yes);

        f.maintenance.OnRestore();
        QCOMPARE(f.fakes.boxes.texts().size(), 2);
        const MessageBoxRequest& failure = f.fakes.boxes.shown().last();
        QCOMPARE(failure.text, kRestoreFailed);
        QCOMPARE(failure.caption, kNotice);
        QCOMPARE(failure.owner.data(), &f.dialog);
        QCOMPARE(ReadAll(DatabaseFilePath()), database);
        QCOMPARE(recordsIn(DatabaseFilePath()), records);
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 400);
        QCOMPARE(f.refreshes, 0);
        QVERIFY(f.dialog.isVisible());
        QVERIFY(f.fakes.shell.opened().isEmpty());
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
    }

    // A backup never replaces the last good one with a copy that is not whole:
    // neither a data file that has been damaged nor one that a writer elsewhere
    // is in the middle of changing.
    void backupNeverReplacesAGoodBackupWithABadCopy_data()
    {
        QTest::addColumn<bool>("writerElsewhere");
        QTest::newRow("data file damaged") << false;
        QTest::newRow("writer elsewhere mid-transaction") << true;
    }
    void backupNeverReplacesAGoodBackupWithABadCopy()
    {
        QFETCH(bool, writerElsewhere);
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 300, 400));
        f.maintenance.OnBackup();
        const QStringList good = recordsIn(BackupFilePath());
        QCOMPARE(good.size(), 300);
        const QByteArray goodBytes = ReadAll(BackupFilePath());
        f.fakes.boxes.clear();

        SqliteFile writer(DatabaseFilePath());
        if (writerElsewhere) {
            // So many changes that they spill into the data file before the commit.
            QVERIFY(writer.exec("pragma cache_size=5; begin; delete from recordmsg where id % 2 = 0;"
                                "update recordmsg set text = hex(randomblob(300))"));
        } else {
            QByteArray bytes = ReadAll(DatabaseFilePath());
            bytes.replace(8 * 4096, 4096, QByteArray(4096, '\x5A'));
            QVERIFY(WriteAll(DatabaseFilePath(), bytes));
        }
        f.maintenance.OnBackup();
        if (writerElsewhere)
            QVERIFY(writer.exec("rollback"));

        QCOMPARE(f.fakes.boxes.texts(), QStringList{kBackupFailed});
        QCOMPARE(ReadAll(BackupFilePath()), goodBytes);
        QCOMPARE(recordsIn(BackupFilePath()), good);
        QCOMPARE(entriesOf(f.folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
    }

    void reopenOnAReleasedStoreStaysQuiet()
    {
        Fixture f;
        f.app.ReleaseStore();
        QCOMPARE(f.maintenance.ReopenStore(), 0);
        QVERIFY(!f.dialog.isVisible());
        QVERIFY(f.fakes.boxes.shown().isEmpty());
        QVERIFY(f.fakes.shell.opened().isEmpty());
    }

    // --- compaction

    void compactionShrinksTheFileAndLeavesTheStoreOpen()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 3000, 400));
        QVERIFY(addBesides(DatabaseFilePath(), 10));
        QVERIFY(addBesides(DatabaseFilePath(), 11));
        QVERIFY(exec(DatabaseFilePath(), "delete from recordmsg where id > 10"));
        const QStringList besides = besidesIn(DatabaseFilePath());
        QCOMPARE(besides.size(), 14); // record 11's rule and snooze went with it
        const qint64 before = QFileInfo(DatabaseFilePath()).size();
        f.maintenance.OnCompact();
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kCompactDone});
        QVERIFY(f.fakes.boxes.shown().first().caption.isEmpty());
        QVERIFY2(
            QFileInfo(DatabaseFilePath()).size() < before / 4,
            qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(QFileInfo(DatabaseFilePath()).size())));
        QVERIFY(f.connected());
        QCOMPARE(f.app.database()->FilePath(), DatabaseFilePath());
        QCOMPARE(storeCount(f.app), 10);
        QCOMPARE(besidesIn(DatabaseFilePath()), besides);
        QCOMPARE(SqliteFile(DatabaseFilePath()).scalar("pragma user_version"),
                 QString::number(store::SchemaGeneration()));
        QVERIFY(f.dialog.isVisible());
        QCOMPARE(entriesOf(f.folder.dataFolder()), QStringList{"tolva.dat"});
    }

    void compactionRefusedIsReportedAfterReopening()
    {
        Fixture f;
        QVERIFY(addReminders(f.folder.databaseFile(), 5));
        // Another reader in the middle of a transaction: the file cannot be rewritten now.
        sqlite3* reader = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(DatabaseFilePath()).constData(), &reader,
                                 SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(reader, "begin; select count(*) from recordmsg", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        f.maintenance.OnCompact();
        sqlite3_exec(reader, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(reader);

        QCOMPARE(f.fakes.boxes.texts(), QStringList{kCompactFailed});
        QVERIFY(f.connected());
        QCOMPARE(storeCount(f.app), 5);
        QVERIFY(f.dialog.isVisible());
    }

    void compactionWithoutDatabaseClosesTheDialog()
    {
        Fixture f(false);
        f.maintenance.OnCompact();
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kMissingParts});
        QVERIFY(!f.dialog.isVisible());
        QVERIFY(!QFileInfo::exists(DatabaseFilePath()));
    }

    void compactionOfABrokenFileEndsInTheReopenFailure()
    {
        Fixture f;
        f.app.database()->Close();
        QVERIFY(WriteAll(DatabaseFilePath(), "broken"));
        f.maintenance.OnCompact();
        // The failed reopen: store released, dialog closed as by OK, the store's
        // message, the product page; the file as it was.
        QVERIFY(!f.app.database());
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.fakes.boxes.texts(),
                 QStringList{QString::fromUtf8("数据文件已损坏（file is not a database）！  ")});
        QVERIFY(f.fakes.boxes.shown().first().caption.isEmpty());
        QCOMPARE(f.fakes.shell.opened().size(), 1);
        QCOMPARE(f.fakes.shell.opened().first().target, QString::fromUtf8(tolva::kProductUrl));
        QCOMPARE(f.fakes.shell.opened().first().showCommand, int(kSwShowMaximized));
        QCOMPARE(ReadAll(DatabaseFilePath()), QByteArray("broken"));
    }

    void compactionNeverCreatesAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/none.dat");
        QVERIFY(!CompactDatabaseFile(path));
        QVERIFY(!QFileInfo::exists(path));
    }
};

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
