#include "base/Paths.h"
#include "support/TestSupport.h"

#include <QtTest>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        SetExecutablePathForTesting(QString());
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

    // Without any slash the program folder is empty, so every path starts at "/myTolva".
    void pathWithoutSlashGivesRootedDataPaths()
    {
        SetExecutablePathForTesting(QStringLiteral("tolva"));
        QCOMPARE(GetProgramFolder(), QString());
        QCOMPARE(DataFolderPath(), QStringLiteral("/myTolva"));
        QCOMPARE(DatabaseFilePath(), QStringLiteral("/myTolva/tolva.dat"));
        QCOMPARE(BackupFilePath(), QStringLiteral("/myTolva/tolvaBak.dat"));
        QCOMPARE(SettingsFilePath(), QStringLiteral("/myTolva/Settings.ini"));
    }

    void pathsFollowTheExecutable()
    {
        SetExecutablePathForTesting(QStringLiteral("/srv/apps/tolva/tolva"));
        QCOMPARE(GetProgramFolder(), QStringLiteral("/srv/apps/tolva"));
        QCOMPARE(DataFolderPath(), QStringLiteral("/srv/apps/tolva/myTolva"));
        QCOMPARE(DatabaseFilePath(), QStringLiteral("/srv/apps/tolva/myTolva/tolva.dat"));
        QCOMPARE(BackupFilePath(), QStringLiteral("/srv/apps/tolva/myTolva/tolvaBak.dat"));
        QCOMPARE(SettingsFilePath(), QStringLiteral("/srv/apps/tolva/myTolva/Settings.ini"));
        // Nothing is cached: the next call sees the next executable path.
        SetExecutablePathForTesting(QStringLiteral("/other/tolva"));
        QCOMPARE(SettingsFilePath(), QStringLiteral("/other/myTolva/Settings.ini"));
        // The relative name of the store joins the program folder to the same file.
        QCOMPARE(GetProgramFolder() + QLatin1Char('/') + QLatin1String(kDatabaseRelative),
                 DatabaseFilePath());
    }

    void programFolderOverrideWins()
    {
        SetExecutablePathForTesting(QStringLiteral("/srv/tolva"));
        SetProgramFolderForTesting(QStringLiteral("/tmp/x"));
        QCOMPARE(DatabaseFilePath(), QStringLiteral("/tmp/x/myTolva/tolva.dat"));
        SetProgramFolderForTesting(QString());
        QCOMPARE(DatabaseFilePath(), QStringLiteral("/srv/myTolva/tolva.dat"));
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
