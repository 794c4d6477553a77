#include "base/FileOps.h"
#include "base/ModulePath.h"
#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "store/AdoDatabase.h"
#include "support/DesktopEntryCheck.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <sys/stat.h>

namespace {
unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// An installed program below a temporary folder: <root>/usr/bin/tolva, the
// shipped database in <root>/usr/share/tolva, no myTolva beside the
// executable, and the user's XDG_DATA_HOME in <root>/home/data.
struct InstalledLayout
{
    explicit InstalledLayout(bool shipDatabase = true)
    {
        QDir().mkpath(root.path() + QStringLiteral("/usr/bin"));
        WriteAll(root.path() + QStringLiteral("/usr/bin/tolva"), "#!/bin/sh\n");
        if (shipDatabase) {
            QDir().mkpath(root.path() + QStringLiteral("/usr/share/tolva"));
            QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), shipped());
            QFile::setPermissions(shipped(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        SetModuleFilePathForTesting(root.path() + QStringLiteral("/usr/bin/tolva"));
        saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    }
    ~InstalledLayout()
    {
        qputenv("XDG_DATA_HOME", saved);
        SetModuleFilePathForTesting(QString());
    }
    QString shipped() const { return root.path() + QStringLiteral("/usr/share/tolva/tolva.dat"); }
    QString dataHome() const { return root.path() + QStringLiteral("/home/data"); }
    QString userFolder() const { return dataHome() + QStringLiteral("/Tolva/myTolva"); }

    QTemporaryDir root;
    QByteArray saved;
};
} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        SetModuleFilePathForTesting(QString());
        SetProgramFolderForTesting(QString());
    }

    void folderOfExecutable_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("folder");
        QTest::newRow("usual") << QStringLiteral("/opt/tolva/tolva") << QStringLiteral("/opt/tolva");
        QTest::newRow("no slash") << QStringLiteral("tolva") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("in the root") << QStringLiteral("/tolva") << QString();
        QTest::newRow("trailing slash") << QStringLiteral("/opt/tolva/") << QStringLiteral("/opt/tolva");
        QTest::newRow("backslash is a name character")
            << QStringLiteral("/opt/a\\b/tolva") << QStringLiteral("/opt/a\\b");
        QTest::newRow("chinese") << QString::fromUtf8("/home/用户/小精灵/tolva")
                                 << QString::fromUtf8("/home/用户/小精灵");
        QTest::newRow("deleted executable")
            << QStringLiteral("/opt/tolva/tolva (deleted)") << QStringLiteral("/opt/tolva");
    }
    void folderOfExecutable()
    {
        QFETCH(QString, executable);
        QFETCH(QString, folder);
        QCOMPARE(FolderOfExecutable(executable), folder);
    }

    // Without any slash the program folder is empty; no "/myTolva" beside it
    // makes the user's folder the data folder.
    void pathWithoutSlashGivesAnEmptyProgramFolder()
    {
        SetModuleFilePathForTesting(QStringLiteral("tolva"));
        QCOMPARE(GetProgramFolder(), QString());
        QCOMPARE(IsPortableLayout(), QFileInfo(QStringLiteral("/myTolva")).isDir());
        QCOMPARE(ShippedDatabasePath(), QStringLiteral("/share/tolva/tolva.dat"));
    }

    // A portable copy: the data paths follow the executable, afresh at every call.
    void pathsFollowTheExecutable()
    {
        QTemporaryDir root;
        const QString first = root.path() + QStringLiteral("/apps/tolva");
        const QString second = root.path() + QStringLiteral("/other");
        QVERIFY(QDir().mkpath(first + QStringLiteral("/myTolva")));
        QVERIFY(QDir().mkpath(second + QStringLiteral("/myTolva")));
        SetModuleFilePathForTesting(first + QStringLiteral("/tolva"));
        QCOMPARE(GetProgramFolder(), first);
        QCOMPARE(DataFolderPath(), first + QStringLiteral("/myTolva"));
        QCOMPARE(DatabaseFilePath(), first + QStringLiteral("/myTolva/tolva.dat"));
        QCOMPARE(BackupFilePath(), first + QStringLiteral("/myTolva/tolvaBak.dat"));
        QCOMPARE(SettingsFilePath(), first + QStringLiteral("/myTolva/Settings.ini"));
        // Nothing is cached: the next call sees the next executable path.
        SetModuleFilePathForTesting(second + QStringLiteral("/tolva"));
        QCOMPARE(SettingsFilePath(), second + QStringLiteral("/myTolva/Settings.ini"));
    }

    // Without a myTolva folder beside the executable, each user's data lives in
    // their own XDG data folder; with one, that folder serves as before.
    void theDataFolderFollowsTheLayout_data()
    {
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<bool>("portable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("installed") << "<set>" << false << "<data home>/Tolva/myTolva";
        QTest::newRow("no XDG_DATA_HOME") << "" << false << "<home>/.local/share/Tolva/myTolva";
        QTest::newRow("relative XDG_DATA_HOME is ignored")
            << "data" << false << "<home>/.local/share/Tolva/myTolva";
        QTest::newRow("portable") << "<set>" << true << "<program>/myTolva";
    }
    void theDataFolderFollowsTheLayout()
    {
        QFETCH(QString, dataHome);
        QFETCH(bool, portable);
        QFETCH(QString, expected);
        InstalledLayout l;
        if (dataHome != QLatin1String("<set>"))
            qputenv("XDG_DATA_HOME", dataHome.toUtf8());
        if (portable)
            QVERIFY(QDir().mkpath(l.root.path() + QStringLiteral("/usr/bin/myTolva")));
        expected.replace(QStringLiteral("<data home>"), l.dataHome())
            .replace(QStringLiteral("<home>"), QDir::homePath())
            .replace(QStringLiteral("<program>"), l.root.path() + QStringLiteral("/usr/bin"));
        QCOMPARE(IsPortableLayout(), portable);
        QCOMPARE(DataFolderPath(), expected);
        QCOMPARE(DatabaseFilePath(), expected + QStringLiteral("/tolva.dat"));
        QCOMPARE(BackupFilePath(), expected + QStringLiteral("/tolvaBak.dat"));
        QCOMPARE(SettingsFilePath(), expected + QStringLiteral("/Settings.ini"));
        QCOMPARE(ShippedDatabasePath(), l.shipped());
        // The relative name of the store joins the data root to the same file.
        QCOMPARE(DataRootFolder() + QLatin1Char('/') + QLatin1String(kDatabaseRelative), DatabaseFilePath());
    }

    // The first start makes the user's folder from the shipped database; the
    // folder and every file the program makes in it are the user's alone,
    // whatever the umask, and the shipped database is only read.
    void theFirstStartMakesAPrivateDataFolder()
    {
        InstalledLayout l;
        const QByteArray shipped = ReadAll(l.shipped());
        const QDateTime shippedTime = QFileInfo(l.shipped()).lastModified();
        const mode_t oldMask = ::umask(0);
        const bool made = CreateUserDataFolder();
        ::umask(oldMask);
        QVERIFY(made);
        QCOMPARE(DataFolderPath(), l.userFolder());
        QCOMPARE(modeOf(l.userFolder()), 0700u);
        QCOMPARE(modeOf(l.dataHome() + QStringLiteral("/Tolva")), 0700u);
        QCOMPARE(modeOf(DatabaseFilePath()), 0600u);
        QCOMPARE(ReadAll(DatabaseFilePath()), shipped);
        QCOMPARE(EntriesOf(l.userFolder()), QStringList{QStringLiteral("tolva.dat")});
        QCOMPARE(EntriesOf(l.dataHome() + QStringLiteral("/Tolva")), QStringList{QStringLiteral("myTolva")});

        // The store opens the user's file, and what the program writes stays private.
        CAdoDatabase db;
        QString message;
        QCOMPARE(db.Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                         message),
                 store::kConnected);
        QCOMPARE(db.FilePath(), DatabaseFilePath());
        db.Close();
        ::umask(0);
        settings::WriteRestMinutes(45);
        const bool backedUp = fileops::CopyFileAtomically(DatabaseFilePath(), BackupFilePath());
        {
            // SQLite's rollback journal, while a write transaction holds it.
            SqliteFile file(DatabaseFilePath());
            QVERIFY(file.exec("begin immediate; insert into recordmsg(titile) values('x')"));
            QCOMPARE(modeOf(DatabaseFilePath() + QStringLiteral("-journal")), 0600u);
            QVERIFY(file.exec("rollback"));
        }
        ::umask(oldMask);
        QVERIFY(backedUp);
        QCOMPARE(modeOf(SettingsFilePath()), 0600u);
        QCOMPARE(modeOf(BackupFilePath()), 0600u);

        QCOMPARE(ReadAll(l.shipped()), shipped);
        QCOMPARE(QFileInfo(l.shipped()).lastModified(), shippedTime);
        QCOMPARE(modeOf(l.shipped()), 0644u);
    }

    // An existing data folder is the user's, whatever it holds: never replaced
    // nor filled. Without a shipped database nothing is made.
    void anExistingDataFolderIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("holding reminders") << "reminders";
        QTest::newRow("empty") << "empty";
        QTest::newRow("a file in its place") << "file";
        QTest::newRow("nothing shipped") << "unshipped";
        QTest::newRow("portable") << "portable";
    }
    void anExistingDataFolderIsNeverReplaced()
    {
        QFETCH(QString, before);
        InstalledLayout l(before != QLatin1String("unshipped"));
        QDir().mkpath(QFileInfo(l.userFolder()).path());
        if (before == QLatin1String("reminders")) {
            QVERIFY(QDir().mkpath(l.userFolder()));
            QVERIFY(WriteAll(l.userFolder() + QStringLiteral("/tolva.dat"), "the user's reminders"));
        } else if (before == QLatin1String("empty")) {
            QVERIFY(QDir().mkpath(l.userFolder()));
        } else if (before == QLatin1String("file")) {
            QVERIFY(WriteAll(l.userFolder(), "not a folder"));
        } else if (before == QLatin1String("portable")) {
            QVERIFY(QDir().mkpath(l.root.path() + QStringLiteral("/usr/bin/myTolva")));
        }
        const QStringList entries = EntriesOf(l.userFolder());
        const QByteArray content = ReadAll(l.userFolder() + QStringLiteral("/tolva.dat"));
        QVERIFY(!CreateUserDataFolder());
        QCOMPARE(EntriesOf(l.userFolder()), entries);
        QCOMPARE(ReadAll(l.userFolder() + QStringLiteral("/tolva.dat")), content);
        if (before == QLatin1String("file"))
            QCOMPARE(ReadAll(l.userFolder()), QByteArray("not a folder"));
        if (before == QLatin1String("unshipped") || before == QLatin1String("portable"))
            QVERIFY(!QFileInfo::exists(l.userFolder()));
        // No half-made folder is left behind.
        for (const QString& e : EntriesOf(QFileInfo(l.userFolder()).path()))
            QVERIFY2(!e.startsWith(QLatin1Char('.')), qPrintable(e));
    }

    // A data folder that cannot be made (no home to put it in) leaves the
    // database missing, which start-up reports as missing parts.
    void aFolderThatCannotBeMadeMakesNothing()
    {
        InstalledLayout l;
        QVERIFY(QDir().mkpath(QFileInfo(l.dataHome()).path()));
        QVERIFY(WriteAll(l.dataHome(), "not a folder"));
        QVERIFY(!CreateUserDataFolder());
        QVERIFY(!QFileInfo::exists(DatabaseFilePath()));
        QCOMPARE(ReadAll(l.dataHome()), QByteArray("not a folder"));
    }

    void programFolderOverrideWins()
    {
        TempProgramFolder portable(false);
        SetModuleFilePathForTesting(QStringLiteral("/srv/tolva"));
        SetProgramFolderForTesting(portable.path());
        QCOMPARE(DatabaseFilePath(), portable.databaseFile());
        SetProgramFolderForTesting(QString());
        QCOMPARE(GetProgramFolder(), QStringLiteral("/srv"));
    }

    void realExecutableFolder()
    {
        // The folder of the running test program, as the system reports it.
        const QString folder = GetProgramFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(!folder.endsWith(QLatin1Char('/')));
        QCOMPARE(QFileInfo(folder).canonicalFilePath(),
                 QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath());
    }

    void temporaryProgramFolder()
    {
        TempProgramFolder temp(false);
        QCOMPARE(GetProgramFolder(), temp.path());
        QCOMPARE(SettingsFilePath(), temp.settingsFile());
        QVERIFY(QFileInfo(DataFolderPath()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
