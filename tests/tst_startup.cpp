#include "app/ReminderApp.h"
#include "app/SingleInstance.h"
#include "base/Constants.h"
#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "store/DatabaseRepair.h"
#include "store/RepairDlg.h"
#include "support/DesktopEntryCheck.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QIcon>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <QtTest>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QString kMissingParts = QString::fromUtf8("Tolva小精灵零件脱落，请重新下载最新的程序！ ");

// Each test gets its own single-instance name and runtime folder, so that a
// copy of the program running on this machine is never disturbed.
QString uniqueInstanceName()
{
    static int n = 0;
    return QStringLiteral("TolvaTest-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

QImage programIcon()
{
    return QIcon(QStringLiteral(":/icon128.svg")).pixmap(32, 32).toImage();
}

// A reminder database with count records at path, made from the delivered one.
bool makeReminderDatabase(const QString& path, int count)
{
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), path))
        return false;
    const QByteArray sql =
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        QByteArray::number(count) +
        ") insert into recordmsg (titile, text, date, time, use, insertdatatime) "
        "select 'other ' || i, 'x', '2030-01-01', '10:00:00', '0', '2026-01-01 00:00:00' from n";
    return SqliteFile(path).exec(sql.constData());
}

int countThroughStore(const CReminderApp& app)
{
    QString message;
    const auto db = app.database();
    return db ? db->CountRows(QStringLiteral("recordmsg"), QString(), message) : -100;
}

// The first line a tool prints, run in env.
QString firstLine(const QString& tool, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtime;

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }

    void hiddenSwitch_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("exact") << QStringList{"-Tolva"} << true;
        QTest::newRow("capitals") << QStringList{"-TOLVA"} << true;
        QTest::newRow("lower") << QStringList{"-tolva"} << true;
        QTest::newRow("slash") << QStringList{"/Tolva"} << false;
        QTest::newRow("with further argument") << QStringList{"-Tolva", "x"} << false;
        QTest::newRow("empty argument") << QStringList{""} << false;
        QTest::newRow("prefix only") << QStringList{"-Tolv"} << false;
        QTest::newRow("with Qt's own options") << QStringList{"-Tolva", "-style", "fusion"} << false;
    }
    void hiddenSwitch()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, hidden);
        QCOMPARE(CReminderApp::IsHiddenStart(args), hidden);
        // Judged on the command line as given, the program's own path left out.
        QList<QByteArray> bytes{QByteArrayLiteral("/opt/tolva/tolva")};
        for (const QString& a : args)
            bytes.append(a.toLocal8Bit());
        QList<const char*> argv;
        for (const QByteArray& b : bytes)
            argv.append(b.constData());
        QCOMPARE(CReminderApp::CommandLineArguments(int(argv.size()), argv.constData()), args);
    }

    void missingDataFileShowsMessageAndWebPage()
    {
        FakeSeams fakes;
        TempProgramFolder folder(false);
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        int repairs = 0, windows = 0;
        app.runRepairDialog = [&] { ++repairs; };
        app.runMainWindow = [&](bool) { ++windows; };
        // Even the first box of all shows the program's icon.
        QApplication::setWindowIcon(QIcon());
        QImage iconOfTheBox;
        fakes.boxes.onShow = [&](const MessageBoxRequest&) {
            iconOfTheBox = QMessageBox().windowIcon().pixmap(32, 32).toImage();
        };

        QCOMPARE(app.InitInstance({}), false);
        QCOMPARE(iconOfTheBox, programIcon());
        QCOMPARE(fakes.boxes.texts(), QStringList{kMissingParts});
        QCOMPARE(fakes.boxes.shown().first().buttons, MbButtons::Ok);
        QCOMPARE(fakes.shell.opened().size(), 1);
        QCOMPARE(fakes.shell.opened().first().target, QString::fromUtf8(tolva::kProductUrl));
        QCOMPARE(fakes.shell.opened().first().showCommand, int(kSwShowMaximized));
        QCOMPARE(repairs, 0);
        QCOMPARE(windows, 0);
        QVERIFY(!app.database());
        // The program never creates its database itself.
        QVERIFY(!QFile::exists(folder.databaseFile()));
    }

    void folderNamedLikeTheDataFilePassesTheCheck()
    {
        FakeSeams fakes;
        TempProgramFolder folder(false);
        QVERIFY(QDir().mkpath(folder.databaseFile()));
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        int repairs = 0;
        app.runRepairDialog = [&] { ++repairs; };
        app.runMainWindow = [&](bool) { QFAIL("a folder is no database"); };
        app.InitInstance({});
        // Past the existence check: the store fails, so repair runs and its message follows.
        QCOMPARE(repairs, 1);
        QCOMPARE(fakes.boxes.shown().size(), 1);
        QVERIFY(fakes.boxes.texts().first() != kMissingParts);
    }

    void normalStartRunsTheMainWindowWithAnOpenStore()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        int repairs = 0;
        bool shown = false, ran = false, connected = false;
        app.runRepairDialog = [&] { ++repairs; };
        app.runMainWindow = [&](bool showAllowed) {
            ran = true;
            shown = showAllowed;
            connected = app.database() && app.database()->IsConnected();
        };
        QCOMPARE(app.InitInstance({}), false);
        QVERIFY(ran);
        QVERIFY(shown);
        QVERIFY(connected);
        QCOMPARE(repairs, 0);
        QVERIFY(fakes.boxes.shown().isEmpty());
        QVERIFY(fakes.shell.opened().isEmpty());
    }

    void hiddenStartPassesShowNotAllowed()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        bool shown = true;
        app.runMainWindow = [&](bool showAllowed) { shown = showAllowed; };
        app.InitInstance({QStringLiteral("-tOLVA")});
        QVERIFY(!shown);
    }

    void failingOpenTwiceReportsReleasesAndOpensWebPage()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        QVERIFY(WriteAll(folder.databaseFile(), "this is not a database, just text\n"));
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        int repairs = 0, windows = 0;
        app.runRepairDialog = [&] { ++repairs; };
        app.runMainWindow = [&](bool) { ++windows; };
        QCOMPARE(app.InitInstance({}), false);
        QCOMPARE(repairs, 1);
        QCOMPARE(windows, 0);
        QCOMPARE(fakes.boxes.shown().size(), 1);
        // The store's message, what it means first and SQLite's words after, then "！  ".
        QCOMPARE(fakes.boxes.texts().first(),
                 QString::fromUtf8("数据文件已损坏（file is not a database）！  "));
        QCOMPARE(fakes.shell.opened().size(), 1);
        QCOMPARE(fakes.shell.opened().first().showCommand, int(kSwShowMaximized));
        QVERIFY(!app.database());
        // Nothing overwrote the user's file.
        QCOMPARE(ReadAll(folder.databaseFile()), QByteArray("this is not a database, just text\n"));
    }

    void repairThatHelpsStartsSilently()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        QVERIFY(WriteAll(folder.databaseFile(), "broken"));
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        bool ran = false;
        app.runRepairDialog = [&] {
            QFile::remove(folder.databaseFile());
            QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), folder.databaseFile());
        };
        app.runMainWindow = [&](bool) { ran = app.database() && app.database()->IsConnected(); };
        app.InitInstance({});
        QVERIFY(ran);
        QVERIFY(fakes.boxes.shown().isEmpty());
        QVERIFY(fakes.shell.opened().isEmpty());
    }

    // A data file whose reminder table lost a field would open, list nothing
    // and never remind: it fails the open, and the repair saves its records.
    void tableWithoutAFieldIsRepairedAtStart()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        QVERIFY(SqliteFile(folder.databaseFile())
                    .exec("insert into recordmsg (titile, time) values ('a', '10:00:00'), ('b', '11:00:00');"
                          "drop index recordmsg_time_date; drop index recordmsg_date_time; drop index "
                          "recordmsg_due; alter table "
                          "recordmsg drop column time"));
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        int repairs = 0, records = -1;
        app.runRepairDialog = [&] {
            ++repairs;
            CRepairDlg dlg;
            dlg.setCloseInterval(10);
            dlg.exec();
        };
        app.runMainWindow = [&](bool) { records = countThroughStore(app); };
        app.InitInstance({});
        QCOMPARE(repairs, 1);
        QCOMPARE(records, 2);
        QCOMPARE(fakes.boxes.shown().size(), 1);
        QVERIFY2(fakes.boxes.texts().first().contains(QString::fromUtf8("救出了 2 条提醒记录")),
                 qPrintable(fakes.boxes.texts().first()));
        QCOMPARE(SqliteFile(folder.databaseFile()).column("select titile from recordmsg order by id"),
                 (QStringList{"a", "b"}));
    }

    void releaseStoreIsForGood()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderApp app;
        app.createStore();
        QString msg;
        auto held = app.database();
        QCOMPARE(held->Open("file", "myTolva/tolva.dat", "", "", msg), store::kConnected);
        app.ReleaseStore();
        QVERIFY(!app.database());
        // A caller that still holds the object gets the not-connected answer, not a crash.
        QCOMPARE(held->CountRows("recordmsg", "", msg), store::kNotConnected);
        app.ReleaseStore(); // twice is harmless
        QVERIFY(!app.database());
    }

    // The data file replaced (by a rename, as editors and sync tools do) or
    // removed while the program runs: noticed in the data folder, the new file
    // opened; a damaged one gets the start-up repair; a failure is said once.
    void dataFileReplacedWhileRunning_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("repairs"); // repair dialogs run
        QTest::addColumn<int>("records"); // what the store reads afterwards; -7 closed
        QTest::addColumn<QString>("box"); // the one message shown, or empty
        QTest::newRow("renamed over by another reminder database") << "replaced" << 0 << 3 << QString();
        QTest::newRow("renamed over by a damaged file, which the repair mends")
            << "damaged" << 1 << 0 << QString();
        QTest::newRow("renamed over by a damaged file the repair cannot mend")
            << "damaged, unmendable" << 1 << -7
            << QString::fromUtf8("数据文件已损坏（file is not a database）！  ");
        QTest::newRow("removed") << "removed" << 0 << -7
                                 << QString::fromUtf8("无法打开数据文件（unable to open database file）！  ");
        QTest::newRow("removed, then put back by a rename")
            << "removed, back" << 0 << 3
            << QString::fromUtf8("无法打开数据文件（unable to open database file）！  ");
    }
    void dataFileReplacedWhileRunning()
    {
        QFETCH(QString, change);
        QFETCH(int, repairs);
        QFETCH(int, records);
        QFETCH(QString, box);
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open("file", "myTolva/tolva.dat", "", "", message), store::kConnected);
        QCOMPARE(app.database()->InsertRows("recordmsg", {"titile"}, RowSet{Row{"old"}}, 1, message), 1);
        int repaired = 0;
        app.runRepairDialog = [&] {
            ++repaired;
            if (change != QLatin1String("damaged, unmendable"))
                store::RepairDataFile(DatabaseFilePath(), BackupFilePath(), QDateTime::currentDateTime());
        };
        QObject window;
        int reopened = 0;
        app.WatchDataFile(&window, [&] { ++reopened; });
        QCOMPARE(app.ReopenIfReplaced(), CReminderApp::Recovery::Unchanged);

        const QString other = folder.path() + QStringLiteral("/other.dat");
        const QByteArray dataFile = QFile::encodeName(folder.databaseFile());
        if (change == QLatin1String("replaced")) {
            QVERIFY(makeReminderDatabase(other, 3));
        } else if (change.startsWith(QLatin1String("damaged"))) {
            QVERIFY(WriteAll(other, "this is not a database, just text\n"));
        } else {
            QVERIFY(QFile::remove(folder.databaseFile()));
            QTRY_COMPARE(fakes.boxes.shown().size(), 1);
            QCOMPARE(reopened, 0);
            if (change == QLatin1String("removed, back"))
                QVERIFY(makeReminderDatabase(other, 3));
        }
        if (QFile::exists(other))
            QVERIFY(::rename(QFile::encodeName(other).constData(), dataFile.constData()) == 0);
        QTRY_COMPARE(reopened + fakes.boxes.shown().size(), (records >= 0 ? 1 : 0) + (box.isEmpty() ? 0 : 1));

        // Once, not in a loop: more changes in the folder bring nothing back.
        QVERIFY(WriteAll(folder.dataFolder() + QStringLiteral("/unrelated"), "x"));
        QTest::qWait(200);
        QVERIFY(WriteAll(folder.dataFolder() + QStringLiteral("/unrelated"), "y"));
        QTest::qWait(200);
        QCOMPARE(repaired, repairs);
        QCOMPARE(reopened, records >= 0 ? 1 : 0);
        QCOMPARE(fakes.boxes.texts(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(countThroughStore(app), records);
        if (records >= 0) {
            // Writes go to the new file, not to the one that was renamed away.
            QCOMPARE(app.database()->InsertRows("recordmsg", {"titile"}, RowSet{Row{"new"}}, 1, message), 1);
            QCOMPARE(
                SqliteFile(folder.databaseFile()).column("select titile from recordmsg order by id").last(),
                QStringLiteral("new"));
        }
    }

    // A data file damaged in place while the program runs: a failed reload
    // brings the start-up repair, once for that file.
    void dataFileDamagedInPlaceIsRepairedOnce_data()
    {
        QTest::addColumn<bool>("mends");
        QTest::newRow("the repair mends it") << true;
        QTest::newRow("the repair cannot mend it") << false;
    }
    void dataFileDamagedInPlaceIsRepairedOnce()
    {
        QFETCH(bool, mends);
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open("file", "myTolva/tolva.dat", "", "", message), store::kConnected);
        int repaired = 0;
        app.runRepairDialog = [&] {
            ++repaired;
            if (mends)
                store::RepairDataFile(DatabaseFilePath(), BackupFilePath(), QDateTime::currentDateTime());
        };
        // Nothing wrong: nothing done, not even for a failure of another kind.
        QCOMPARE(app.RepairIfDamaged(), CReminderApp::Recovery::Unchanged);
        QCOMPARE(repaired, 0);

        QFile file(folder.databaseFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(QByteArray(100, 'Z')), qint64(100));
        file.close();
        QVERIFY(countThroughStore(app) < 0);
        QCOMPARE(app.RepairIfDamaged(),
                 mends ? CReminderApp::Recovery::Reopened : CReminderApp::Recovery::Failed);
        QCOMPARE(app.RepairIfDamaged(), CReminderApp::Recovery::Unchanged);
        QCOMPARE(repaired, 1);
        QCOMPARE(countThroughStore(app), mends ? 0 : int(store::kNotConnected));
        QCOMPARE(fakes.boxes.shown().size(), mends ? 0 : 1);
    }

    void secondCopyBringsFirstForwardAndEndsSilently()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        const QString name = uniqueInstanceName();
        SingleInstance first(name);
        QCOMPARE(first.acquire(), SingleInstance::Result::First);

        QWidget mainWindow;
        mainWindow.setWindowTitle(QString::fromUtf8(tolva::kMainWindowTitle));
        mainWindow.showMinimized();
        mainWindow.hide();
        QSignalSpy asked(&first, &SingleInstance::activationRequested);

        CReminderApp second;
        second.instanceName = name;
        bool ran = false;
        second.runMainWindow = [&](bool) { ran = true; };
        QCOMPARE(second.InitInstance({}), false);
        QVERIFY(!ran);
        QVERIFY(!second.database());
        QVERIFY(fakes.boxes.shown().isEmpty());

        QTRY_COMPARE(asked.size(), 1);
        QVERIFY(mainWindow.isVisible());
        QVERIFY(!mainWindow.isMinimized());
        QVERIFY(mainWindow.windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void secondCopyWithoutWindowEndsSilently()
    {
        FakeSeams fakes;
        const QString name = uniqueInstanceName();
        SingleInstance first(name);
        QCOMPARE(first.acquire(), SingleInstance::Result::First);
        QSignalSpy asked(&first, &SingleInstance::activationRequested);
        SingleInstance second(name);
        QCOMPARE(second.acquire(), SingleInstance::Result::SecondCopy);
        QTRY_COMPARE(asked.size(), 1);
        QVERIFY(fakes.boxes.shown().isEmpty());
    }

    // Without a private runtime folder of the session, the lock and the socket
    // never go to the shared temporary folder, where another user may plant a
    // lock nobody can take (mode 000) after taking the name Qt falls back to.
    void aLockPlantedInTheSharedFolderKeepsNoOneOut_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::newRow("no runtime folder") << "unset";
        QTest::newRow("a runtime folder others may enter") << "shared";
        QTest::newRow("a runtime folder of someone else") << "foreign";
        QTest::newRow("the per-user name in the temporary folder is a link") << "link";
    }
    void aLockPlantedInTheSharedFolderKeepsNoOneOut()
    {
        QFETCH(QString, runtime);
        if (runtime == QLatin1String("foreign") && !RunningAsRoot())
            QSKIP("giving a folder to another user takes the superuser; scripts/test_lock_users.sh plants as "
                  "one");
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedTmp = qgetenv("TMPDIR");
        const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
        QTemporaryDir shared, cache, elsewhere;
        QVERIFY(shared.isValid() && cache.isValid() && elsewhere.isValid());
        // The shared temporary folder, as /tmp is.
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        const QString name = uniqueInstanceName();
        const QString uid = QString::number(::geteuid());
        const QString user = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        // What another user plants: the name of Qt's own fallback, then a lock
        // that cannot be read, in the shared folder.
        QVERIFY(WriteAll(shared.path() + QStringLiteral("/runtime-") + user, "taken"));
        const QString planted = shared.path() + QLatin1Char('/') + name + QStringLiteral(".lock");
        QVERIFY(WriteAll(planted, ""));
        QVERIFY(QFile::setPermissions(planted, {}));
        if (RunningAsRoot())
            QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        if (runtime == QLatin1String("link"))
            QVERIFY(QFile::link(elsewhere.path(), shared.path() + QStringLiteral("/tolva-") + uid));
        if (runtime == QLatin1String("foreign"))
            QCOMPARE(::chown(QFile::encodeName(elsewhere.path()).constData(), 65534, 65534), 0);

        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        if (runtime == QLatin1String("unset") || runtime == QLatin1String("link"))
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR",
                    QFile::encodeName(runtime == QLatin1String("shared") ? shared.path() : elsewhere.path()));
        SingleInstance first(name);
        const SingleInstance::Result got = first.acquire();
        const QString lockFolder = QFileInfo(first.lockPath()).path();
        const QString serverPath = first.serverPath();
        struct stat st;
        const bool statted = ::lstat(QFile::encodeName(lockFolder).constData(), &st) == 0;
        SingleInstance second(name);
        const SingleInstance::Result secondGot = second.acquire();
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("TMPDIR", savedTmp);
        qputenv("XDG_CACHE_HOME", savedCache);

        QCOMPARE(got, SingleInstance::Result::First);
        QCOMPARE(secondGot, SingleInstance::Result::SecondCopy);
        QCOMPARE(QFileInfo(serverPath).path(), lockFolder);
        QVERIFY(QFileInfo::exists(serverPath));
        // A folder of this user's own that no one else may enter, never a link.
        QVERIFY(statted);
        QVERIFY2(S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0,
                 qPrintable(lockFolder));
        QVERIFY(!lockFolder.startsWith(elsewhere.path()));
        QVERIFY(QFileInfo::exists(planted));
    }

    void staleLockIsReclaimed_data()
    {
        QTest::addColumn<bool>("killedWhileWriting");
        QTest::newRow("its copy crashed") << false;
        // Killed between creating the file and writing its process id into it.
        QTest::newRow("its copy was killed while writing it") << true;
    }

    void staleLockIsReclaimed()
    {
        QFETCH(bool, killedWhileWriting);
        const QString name = uniqueInstanceName();
        SingleInstance probe(name);
        if (killedWhileWriting) {
            QFile lock(probe.lockPath());
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.close();
            const QDateTime before = QDateTime::currentDateTime().addSecs(-5);
            QVERIFY(lock.open(QIODevice::ReadWrite));
            QVERIFY(lock.setFileTime(before, QFileDevice::FileModificationTime));
            lock.close();
        } else {
            // A lock whose process died without unlocking, as a crash leaves it.
            const pid_t child = fork();
            if (child == 0) {
                QLockFile lock(probe.lockPath());
                lock.setStaleLockTime(0);
                _exit(lock.tryLock(0) ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QCOMPARE(WEXITSTATUS(status), 0);
        }
        QVERIFY(QFile::exists(probe.lockPath()));
        QCOMPARE(probe.acquire(), SingleInstance::Result::First);
    }

    void realExecutableSecondCopyExitsAtOnce()
    {
        // Two real processes on a temporary copy of the installation.
        TempProgramFolder folder;
        const QString exe = folder.path() + QStringLiteral("/tolva");
        QVERIFY(QFile::copy(QStringLiteral(TOLVA_EXECUTABLE), exe));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(exe, {QStringLiteral("-Tolva")});
        QVERIFY(first.waitForStarted());
        // Wait until the first copy has its lock and server.
        SingleInstance probe(QString::fromUtf8(tolva::kInstanceName));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(probe.serverPath()), 10000);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(exe);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY2(second.exitCode() == 0, second.readAllStandardError().right(6000).constData());
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    // The real program on an X server of the test's own, with no window manager
    // and no notification area: a normal start shows the main window at once; a
    // hidden start shows it only when it ends, minimised.
    void realExecutableJudgesTheCommandLineAsGiven_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("the switch alone") << QStringList{"-Tolva"} << true;
        QTest::newRow("the switch and Qt's own options")
            << QStringList{"-Tolva", "-style", "fusion"} << false;
    }
    void realExecutableJudgesTheCommandLineAsGiven()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, hidden);
        for (const char* tool : {"Xvfb", "xdotool", "xprop"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP("needs Xvfb, xdotool and xprop (scripts/setup.sh installs them)");
        }
        QProcess xvfb;
        xvfb.setStandardErrorFile(QProcess::nullDevice());
        xvfb.start(QStringLiteral("Xvfb"),
                   {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(xvfb.waitForStarted());
        QByteArray display;
        QTRY_VERIFY_WITH_TIMEOUT((display += xvfb.readAllStandardOutput()).endsWith('\n'), 10000);

        TempProgramFolder folder;
        QTemporaryDir runtime;
        QVERIFY(
            QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString exe = folder.path() + QStringLiteral("/tolva");
        QVERIFY(QFile::copy(QStringLiteral(TOLVA_EXECUTABLE), exe));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(display.trimmed()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no notification area by that road either

        QProcess program;
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(exe, args);
        QVERIFY(program.waitForStarted());
        QString window;
        const QStringList search{"search", "--onlyvisible", "--name", "^Tolva.*2016$"};
        QTRY_VERIFY_WITH_TIMEOUT(!(window = firstLine(QStringLiteral("xdotool"), search, env)).isEmpty(),
                                 20000);
        const QString state = firstLine(QStringLiteral("xprop"), {"-id", window, "_NET_WM_STATE"}, env);
        QCOMPARE(state.contains(QLatin1String("_NET_WM_STATE_HIDDEN")), hidden);
        QCOMPARE(program.state(), QProcess::Running);
        program.kill();
        program.waitForFinished();
        xvfb.kill();
        xvfb.waitForFinished();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
