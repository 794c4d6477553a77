#include "base/ModulePath.h"
#include "base/Paths.h"
#include "platform/Seams.h"
#include "platform/ShellFolders.h"
#include "support/DesktopEntryCheck.h"
#include "support/TestSupport.h"
#include "system/Shortcuts.h"

#include <QtTest>
#include <unistd.h>

namespace {
const QString kSent = QString::fromUtf8("桌面快捷方式发送成功！  ");
const QString kSendFailed = QString::fromUtf8("桌面快捷方式发送失败！  ");
const QString kNoDesktopLink = QString::fromUtf8("桌面快捷方式不存在！  ");
const QString kDeleted = QString::fromUtf8("桌面快捷方式删除成功！  ");
const QString kLink = QString::fromUtf8("Tolva小精灵.desktop");

// The desktop-file ids below an applications folder (paths relative to it, the
// way the desktop's menu names its entries): one per entry the menu shows.
QStringList menuEntryIds(const QString& applications)
{
    QStringList ids;
    QDirIterator it(applications, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        ids << QDir(applications).relativeFilePath(it.next()).replace(QLatin1Char('/'), QLatin1Char('-'));
    return ids;
}

ShellFolders::Locations tempLocations(const QString& root)
{
    ShellFolders::Locations l;
    l.programs = root + QStringLiteral("/usr/local/share/applications");
    l.desktop = root + QStringLiteral("/home/Desktop");
    l.startMenu = l.programs;
    l.userApplications = root + QStringLiteral("/home/.local/share/applications");
    l.quickLaunch = l.userApplications;
    return l;
}

// The four places under a temporary folder, and a program folder with an
// executable, for the life of the object.
struct Fixture
{
    Fixture() : folders(tempLocations(root.path())), paths(BuildShortcutPaths(folders.locations()))
    {
        placeProgram(root.path() + QStringLiteral("/Tolva 程序"));
        folders.markTrusted = [this](const QString& file) { trusted << file; };
        seams::setShellFolders(&folders);
    }
    ~Fixture()
    {
        seams::setShellFolders(nullptr);
        SetModuleFilePathForTesting(QString());
        SetProgramFolderForTesting(QString());
    }
    void placeProgram(const QString& folder)
    {
        programFolder = folder;
        executable = folder + QStringLiteral("/tolva");
        QDir().mkpath(folder);
        if (!QFileInfo::exists(executable))
            WriteAll(executable, "#!/bin/sh\n");
        // Whatever the umask: only its owner may change the program.
        const QFile::Permissions rx =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(folder, rx);
        QFile::setPermissions(executable, rx);
        SetProgramFolderForTesting(programFolder);
        SetModuleFilePathForTesting(executable);
    }
    QStringList links() const
    {
        return {paths.menuLink, paths.desktopLink, paths.startMenuLink, paths.quickLaunchLink};
    }

    QTemporaryDir root;
    FakeSeams fakes;
    ShellFolders folders;
    ShortcutPaths paths;
    QStringList trusted;
    QString programFolder;
    QString executable;
};
} // namespace

class TestShortcuts : public QObject
{
    Q_OBJECT

private slots:

    void sendWritesFourLaunchableEntries()
    {
        Fixture f;
        for (const QString& link : f.links())
            QVERIFY2(UnderTemp(link), qPrintable(link));
        QCOMPARE(f.paths.menuLink,
                 f.folders.locations().programs + QString::fromUtf8("/Tolva软件/Tolva小精灵/") + kLink);
        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kSent});
        QCOMPARE(f.fakes.boxes.shown().first().buttons, MbButtons::Ok);
        for (const QString& link : f.links()) {
            QVERIFY2(QFileInfo(link).isFile(), qPrintable(link));
            const auto keys = ReadDesktopEntry(link);
            QCOMPARE(keys.value("Type"), QStringLiteral("Application"));
            QCOMPARE(keys.value("Name"), QString::fromUtf8("Tolva小精灵"));
            QCOMPARE(keys.value("Exec"), QLatin1Char('"') + f.executable + QLatin1Char('"'));
            QCOMPARE(keys.value("Path"), f.programFolder);
            QVERIFY(!keys.value("Icon").isEmpty());
            QVERIFY(QFileInfo(link).permissions() & QFile::ExeOwner);
            QVERIFY(QFileInfo(link).permissions() & QFile::ReadOther);
        }
        // No temporary file is left beside an entry.
        QCOMPARE(EntriesOf(f.folders.locations().desktop), QStringList{kLink});
        QCOMPARE(EntriesOf(f.paths.menuFolder), QStringList{kLink});
        QCOMPARE(EntriesOf(f.folders.locations().programs), QStringList{QString::fromUtf8("Tolva软件")});
        // The menu shows the program once: the user's own entry bears the
        // machine-wide one's id and stands in for it.
        const QString id = QString::fromUtf8("Tolva软件-Tolva小精灵-") + kLink;
        QCOMPARE(menuEntryIds(f.folders.locations().programs), QStringList{id});
        QCOMPARE(menuEntryIds(f.folders.locations().userApplications), QStringList{id});

        for (const QString& link : f.links()) {
            const QString verdict = ValidateDesktopEntry(link);
            if (verdict == QStringLiteral("<missing>"))
                QSKIP("desktop-file-validate is not installed");
            QVERIFY2(verdict.isEmpty(), qPrintable(link + QStringLiteral(": ") + verdict));
        }
    }

    void onlyTheDesktopEntryIsMarkedTrusted()
    {
        Fixture f;
        SendShortcuts(nullptr);
        QCOMPARE(f.trusted, QStringList{f.paths.desktopLink});
    }

    void sendingTwiceOverwritesAndSucceedsTwice()
    {
        Fixture f;
        SendShortcuts(nullptr);
        const QByteArray first = ReadAll(f.paths.desktopLink);
        WriteAll(f.paths.startMenuLink, "stale");
        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kSent, kSent}));
        for (const QString& link : f.links())
            QCOMPARE(ReadAll(link), first);
    }

    // The other places are still written, but the send says that it failed.
    void aPlaceThatCannotBeWrittenIsReported()
    {
        Fixture f;
        // A regular file where the desktop's parent folder should be stops even root.
        QDir().mkpath(f.root.path() + QStringLiteral("/home"));
        QVERIFY(WriteAll(f.root.path() + QStringLiteral("/home/Desktop"), "in the way"));
        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kSendFailed});
        QVERIFY(QFileInfo(f.paths.menuLink).isFile());
        QVERIFY(QFileInfo(f.paths.startMenuLink).isFile());
        QVERIFY(QFileInfo(f.paths.quickLaunchLink).isFile());
        QCOMPARE(ReadAll(f.root.path() + QStringLiteral("/home/Desktop")), QByteArray("in the way"));
        QVERIFY(f.trusted.isEmpty());
    }

    void anUnknownPlaceIsLeftOut()
    {
        QTemporaryDir root;
        ShellFolders::Locations l = tempLocations(root.path());
        l.desktop.clear();
        ShellFolders folders(l);
        Fixture f;
        seams::setShellFolders(&folders);
        const ShortcutPaths p = BuildShortcutPaths(l);
        QVERIFY(p.desktopLink.isEmpty());
        SendShortcuts(nullptr);
        QVERIFY(QFileInfo(p.menuLink).isFile());
        QVERIFY(QFileInfo(p.quickLaunchLink).isFile());
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kSendFailed, kNoDesktopLink}));
        QVERIFY(!QFileInfo::exists(p.quickLaunchLink));
        QVERIFY(!QFileInfo::exists(p.groupFolder));
    }

    // A quick-launch place of its own holds the link itself; deleting takes
    // the link and leaves everything else there.
    void aQuickLaunchFolderOfItsOwnKeepsWhatElseItHolds()
    {
        Fixture f;
        ShellFolders::Locations l = tempLocations(f.root.path());
        l.quickLaunch = f.root.path() + QStringLiteral("/home/quick launch");
        ShellFolders folders(l);
        seams::setShellFolders(&folders);
        const ShortcutPaths p = BuildShortcutPaths(l);
        QCOMPARE(p.quickLaunchLink, l.quickLaunch + QLatin1Char('/') + kLink);
        QVERIFY(QDir().mkpath(l.quickLaunch));
        QVERIFY(WriteAll(l.quickLaunch + QStringLiteral("/other.desktop"), "not ours"));
        SendShortcuts(nullptr);
        QVERIFY(QFileInfo(p.quickLaunchLink).isFile());
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kSent, kDeleted}));
        QCOMPARE(EntriesOf(l.quickLaunch), QStringList{QStringLiteral("other.desktop")});
    }

    void deletingWhenNothingExistsChangesNothing()
    {
        Fixture f;
        const QStringList before = EntriesOf(f.root.path());
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoDesktopLink});
        QCOMPARE(EntriesOf(f.root.path()), before);
        QVERIFY(!QFileInfo::exists(f.folders.locations().programs));
    }

    void deleteRemovesTheMenuFolderWithAllItHolds()
    {
        Fixture f;
        SendShortcuts(nullptr);
        const QString menu = f.paths.menuFolder;
        QVERIFY(WriteAll(menu + QStringLiteral("/readme.txt"), "extra"));
        QVERIFY(WriteAll(menu + QStringLiteral("/locked.txt"), "read-only"));
        QVERIFY(
            QFile::setPermissions(menu + QStringLiteral("/locked.txt"), QFile::ReadOwner | QFile::ReadOther));
        QVERIFY(QDir().mkpath(menu + QStringLiteral("/sub/deeper")));
        QVERIFY(WriteAll(menu + QStringLiteral("/sub/deeper/.hidden"), "x"));
        QVERIFY(QFile::setPermissions(menu + QStringLiteral("/sub"), QFile::ReadOwner | QFile::ExeOwner));

        // The second menu entry of earlier versions, at the top of the folders.
        const QString oldTop = f.folders.locations().programs + QLatin1Char('/') + kLink;
        const QString oldOwn = f.folders.locations().userApplications + QLatin1Char('/') + kLink;
        QVERIFY(WriteAll(oldTop, "[Desktop Entry]\n") && WriteAll(oldOwn, "[Desktop Entry]\n"));
        f.fakes.boxes.clear();
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDeleted});
        QVERIFY(!QFileInfo::exists(oldTop) && !QFileInfo::exists(oldOwn));
        QVERIFY(!QFileInfo::exists(menu));
        // The group folder was left empty, so it goes too; the applications folder stays.
        QVERIFY(!QFileInfo::exists(f.paths.groupFolder));
        QVERIFY(QFileInfo(f.folders.locations().programs).isDir());
        for (const QString& link : f.links())
            QVERIFY2(!QFileInfo::exists(link), qPrintable(link));
    }

    void aGroupFolderWithOtherContentStays()
    {
        Fixture f;
        SendShortcuts(nullptr);
        const QString other = f.paths.groupFolder + QStringLiteral("/Other tool.desktop");
        QVERIFY(WriteAll(other, "not ours"));
        DeleteShortcuts(nullptr);
        QVERIFY(!QFileInfo::exists(f.paths.menuFolder));
        QCOMPARE(ReadAll(other), QByteArray("not ours"));
        QCOMPARE(EntriesOf(f.paths.groupFolder), QStringList{QStringLiteral("Other tool.desktop")});
    }

    void linksInsideTheMenuFolderAreNeverFollowed()
    {
        Fixture f;
        SendShortcuts(nullptr);
        const QString precious = f.root.path() + QStringLiteral("/precious");
        QVERIFY(QDir().mkpath(precious));
        QVERIFY(WriteAll(precious + QStringLiteral("/data.txt"), "keep me"));
        QVERIFY(QFile::link(precious, f.paths.menuFolder + QStringLiteral("/link to precious")));
        QVERIFY(QFile::link(precious + QStringLiteral("/data.txt"),
                            f.paths.menuFolder + QStringLiteral("/file link")));
        DeleteShortcuts(nullptr);
        QVERIFY(!QFileInfo::exists(f.paths.menuFolder));
        QCOMPARE(ReadAll(precious + QStringLiteral("/data.txt")), QByteArray("keep me"));
    }

    void aLinkInPlaceOfTheMenuFolderGoesAsALink()
    {
        Fixture f;
        const QString precious = f.root.path() + QStringLiteral("/precious");
        QVERIFY(QDir().mkpath(precious));
        QVERIFY(WriteAll(precious + QStringLiteral("/data.txt"), "keep me"));
        QVERIFY(QDir().mkpath(f.paths.groupFolder));
        QVERIFY(QFile::link(precious, f.paths.menuFolder));
        DeleteShortcuts(nullptr);
        QVERIFY(!QFileInfo::exists(f.paths.menuFolder) && !QFileInfo(f.paths.menuFolder).isSymLink());
        QCOMPARE(ReadAll(precious + QStringLiteral("/data.txt")), QByteArray("keep me"));
    }

    void withoutTheDesktopLinkTheOthersStillGo()
    {
        Fixture f;
        SendShortcuts(nullptr);
        QVERIFY(QFile::remove(f.paths.desktopLink));
        f.fakes.boxes.clear();
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoDesktopLink});
        QVERIFY(!QFileInfo::exists(f.paths.menuFolder));
        QVERIFY(!QFileInfo::exists(f.paths.startMenuLink));
        QVERIFY(!QFileInfo::exists(f.paths.quickLaunchLink));
    }

    // A machine-wide place this user may not write gives way to the user's own
    // applications folder: all four shortcuts are written, and deleted again.
    // So does every machine-wide place when the program is one that somebody
    // else could change, as a copy an ordinary user owns and root runs: every
    // session would start it from the menu.
    void machinePlacesGiveWayToTheUsersOwn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cannot be made") << "blocked";
        QTest::newRow("read-only") << "read-only";
        QTest::newRow("a copy an ordinary user owns, run by the superuser") << "executable of nobody";
        QTest::newRow("a program its group may change") << "group-writable";
    }
    void machinePlacesGiveWayToTheUsersOwn()
    {
        QFETCH(QString, how);
        const bool readOnlyFolder = how == QLatin1String("read-only");
        if (readOnlyFolder && RunningAsRoot())
            QSKIP("root may write anywhere; scripts/test_unprivileged.sh runs this as an ordinary user");
        if (how == QLatin1String("executable of nobody") && !RunningAsRoot())
            QSKIP("giving a file to another user takes the superuser");
        Fixture f;
        const QString machine = f.folders.configured().programs;
        const QString usr = f.root.path() + QStringLiteral("/usr");
        if (readOnlyFolder) {
            QVERIFY(QDir().mkpath(machine));
            QVERIFY(QFile::setPermissions(machine, QFile::ReadOwner | QFile::ExeOwner));
        } else if (how == QLatin1String("blocked")) {
            QVERIFY(WriteAll(usr, "a file, not a folder")); // nobody can make a folder below it
        } else if (how == QLatin1String("group-writable")) {
            QVERIFY(
                QFile::setPermissions(f.executable, QFile::permissions(f.executable) | QFile::WriteGroup));
        } else {
            QCOMPARE(::chown(QFile::encodeName(f.executable).constData(), 65534, 65534), 0);
        }
        const ShellFolders::Locations l = f.folders.locations();
        const QString own = f.folders.configured().userApplications;
        QCOMPARE(l.programs, own);
        QCOMPARE(l.startMenu, own);
        const ShortcutPaths p = BuildShortcutPaths(l);

        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kSent});
        QCOMPARE(p.menuLink, own + QString::fromUtf8("/Tolva软件/Tolva小精灵/") + kLink);
        for (const QString& link : {p.menuLink, p.desktopLink, p.startMenuLink, p.quickLaunchLink})
            QVERIFY2(QFileInfo(link).isFile(), qPrintable(link));
        if (how != QLatin1String("blocked"))
            QCOMPARE(EntriesOf(machine), QStringList());
        // One menu entry, not one at the top and one in the menu folder.
        QCOMPARE(menuEntryIds(own), QStringList{QString::fromUtf8("Tolva软件-Tolva小精灵-") + kLink});
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kSent, kDeleted}));
        QCOMPARE(EntriesOf(own), QStringList());
        if (readOnlyFolder)
            QVERIFY(QFile::setPermissions(machine, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        else if (how == QLatin1String("blocked"))
            QCOMPARE(ReadAll(usr), QByteArray("a file, not a folder"));
    }

    // The icon of a shortcut resolves wherever the program lies: by the theme's
    // name where the desktop searches the icon's prefix, else by its full path.
    void iconResolvesInEveryLayout_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::newRow("installed") << "installed";
        QTest::newRow("package unpacked elsewhere") << "unpacked";
        QTest::newRow("portable copy") << "portable";
        QTest::newRow("no icon file") << "none";
    }
    void iconResolvesInEveryLayout()
    {
        QFETCH(QString, layout);
        Fixture f;
        const QString prefix = f.root.path() + QStringLiteral("/prefix");
        const QString themed =
            prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/org.example.tolva.svg");
        QString expected = QStringLiteral("org.example.tolva");
        if (layout == QLatin1String("portable")) {
            QVERIFY(WriteAll(f.programFolder + QStringLiteral("/tolva.svg"), "<svg/>"));
            expected = f.programFolder + QStringLiteral("/tolva.svg");
        } else if (layout != QLatin1String("none")) {
            f.placeProgram(prefix + QStringLiteral("/bin"));
            QVERIFY(QDir().mkpath(QFileInfo(themed).path()));
            QVERIFY(WriteAll(themed, "<svg/>"));
            if (layout == QLatin1String("unpacked"))
                expected = themed;
        }
        const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_DIRS");
        const QByteArray saved = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", layout == QLatin1String("installed")
                                     ? QFile::encodeName(prefix + QStringLiteral("/share:/usr/share"))
                                     : QByteArray("/usr/local/share:/usr/share"));
        const QString icon = ShellFolders::IconFor(f.executable);
        SendShortcuts(nullptr);
        if (wasSet)
            qputenv("XDG_DATA_DIRS", saved);
        else
            qunsetenv("XDG_DATA_DIRS");
        QCOMPARE(icon, expected);
        for (const QString& link : f.links())
            QCOMPARE(ReadDesktopEntry(link).value("Icon"), expected);
    }

    void repairAfterTheProgramMovedPointsAtTheNewPlace()
    {
        Fixture f;
        SendShortcuts(nullptr);
        const QString newFolder = f.root.path() + QStringLiteral("/moved/Tolva");
        QVERIFY(QDir().mkpath(f.root.path() + QStringLiteral("/moved")));
        QVERIFY(QDir().rename(f.programFolder, newFolder));
        f.placeProgram(newFolder);
        f.fakes.boxes.clear();

        RepairShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kDeleted, kSent}));
        for (const QString& link : f.links()) {
            const auto keys = ReadDesktopEntry(link);
            QCOMPARE(keys.value("Exec"), QStringLiteral("\"%1/tolva\"").arg(newFolder));
            QCOMPARE(keys.value("Path"), newFolder);
        }
    }
};

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
