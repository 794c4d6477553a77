#include "base/ModulePath.h"
#include "base/Paths.h"
#include "platform/Seams.h"
#include "platform/ShellFolders.h"
#include "support/TestSupport.h"
#include "system/Shortcuts.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString kSent = QString::fromUtf8("桌面快捷方式发送成功！  ");
const QString kNoDesktopLink = QString::fromUtf8("桌面快捷方式不存在！  ");
const QString kDeleted = QString::fromUtf8("桌面快捷方式删除成功！  ");
const QString kLink = QString::fromUtf8("Tolva小精灵.desktop");

QMap<QString, QString> readKeys(const QString& path)
{
    QMap<QString, QString> keys;
    for (const QString& line : QString::fromUtf8(ReadAll(path)).split(QLatin1Char('\n'))) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

// desktop-file-validate's verdict; empty when it accepts the file.
QString validate(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        return QStringLiteral("<missing>");
    QProcess p;
    p.start(tool, {path});
    if (!p.waitForFinished(20000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
    return p.exitCode() == 0 && out.isEmpty() ? QString() : out;
}

bool underTemp(const QString& path)
{
    return !path.isEmpty() &&
           QDir::cleanPath(path).startsWith(QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/'));
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

ShellFolders::Locations tempLocations(const QString& root)
{
    ShellFolders::Locations l;
    l.programs = root + QStringLiteral("/usr/local/share/applications");
    l.desktop = root + QStringLiteral("/home/Desktop");
    l.startMenu = l.programs;
    l.quickLaunch = root + QStringLiteral("/home/.local/share/applications");
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
            QVERIFY2(underTemp(link), qPrintable(link));
        QCOMPARE(f.paths.menuLink,
                 f.folders.locations().programs + QString::fromUtf8("/Tolva软件/Tolva小精灵/") + kLink);
        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kSent});
        QCOMPARE(f.fakes.boxes.shown().first().buttons, MbButtons::Ok);
        for (const QString& link : f.links()) {
            QVERIFY2(QFileInfo(link).isFile(), qPrintable(link));
            const auto keys = readKeys(link);
            QCOMPARE(keys.value("Type"), QStringLiteral("Application"));
            QCOMPARE(keys.value("Name"), QString::fromUtf8("Tolva小精灵"));
            QCOMPARE(keys.value("Exec"), QLatin1Char('"') + f.executable + QLatin1Char('"'));
            QCOMPARE(keys.value("Path"), f.programFolder);
            QVERIFY(!keys.value("Icon").isEmpty());
            QVERIFY(QFileInfo(link).permissions() & QFile::ExeOwner);
            QVERIFY(QFileInfo(link).permissions() & QFile::ReadOther);
        }
        // No temporary file is left beside an entry.
        QCOMPARE(entriesOf(f.folders.locations().desktop), QStringList{kLink});
        QCOMPARE(entriesOf(f.paths.menuFolder), QStringList{kLink});
        QCOMPARE(entriesOf(f.folders.locations().programs),
                 (QStringList{kLink, QString::fromUtf8("Tolva软件")}));

        for (const QString& link : f.links()) {
            const QString verdict = validate(link);
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

    void aPlaceThatCannotBeWrittenIsPassedOver()
    {
        Fixture f;
        // A regular file where the desktop's parent folder should be stops even root.
        QDir().mkpath(f.root.path() + QStringLiteral("/home"));
        QVERIFY(WriteAll(f.root.path() + QStringLiteral("/home/Desktop"), "in the way"));
        SendShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kSent});
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
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kSent, kNoDesktopLink}));
        QVERIFY(!QFileInfo::exists(p.quickLaunchLink));
        QVERIFY(!QFileInfo::exists(p.groupFolder));
    }

    void deletingWhenNothingExistsChangesNothing()
    {
        Fixture f;
        const QStringList before = entriesOf(f.root.path());
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoDesktopLink});
        QCOMPARE(entriesOf(f.root.path()), before);
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

        f.fakes.boxes.clear();
        DeleteShortcuts(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDeleted});
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
        QCOMPARE(entriesOf(f.paths.groupFolder), QStringList{QStringLiteral("Other tool.desktop")});
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
            const auto keys = readKeys(link);
            QCOMPARE(keys.value("Exec"), QStringLiteral("\"%1/tolva\"").arg(newFolder));
            QCOMPARE(keys.value("Path"), newFolder);
        }
    }
};

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
