#include "base/DesktopEntry.h"
#include "base/ModulePath.h"
#include "platform/AutostartEntry.h"
#include "platform/Seams.h"
#include "support/DesktopEntryCheck.h"
#include "support/TestSupport.h"
#include "system/Autostart.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kEnabled = QString::fromUtf8("开机启动设置成功！  ");
const QString kDisabled = QString::fromUtf8("开机启动已经成功取消！  ");
const QString kDisableFailed = QString::fromUtf8("取消失败！请检查开机启动是否已经被取消！  ");
const QString kWriteFailed = QString::fromUtf8("系统参数错误，不能随系统启动！  ");
const QString kNoExecutable = QString::fromUtf8("没找到执行程序，自动运行失败！  ");

// A program folder of its own holding an executable, and the autostart seam on
// a machine-wide and a user's folder below a temporary folder, for the life of
// the object.
struct Fixture
{
    explicit Fixture(const QString& programFolderName = QStringLiteral("program"))
        : autostart({root.path() + QStringLiteral("/etc/xdg/autostart"),
                     root.path() + QStringLiteral("/home/.config/autostart")})
    {
        programFolder = root.path() + QLatin1Char('/') + programFolderName;
        executable = programFolder + QStringLiteral("/tolva");
        QDir().mkpath(programFolder);
        // Whatever the umask: only its owner may change the program.
        QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                 QFile::ReadOther | QFile::ExeOther);
        WriteAll(executable, "#!/bin/sh\n");
        QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SetModuleFilePathForTesting(executable);
        seams::setAutostart(&autostart);
    }
    ~Fixture()
    {
        // Give back what a test took away, so that the folder can go.
        for (const QString& f : {machineFolder(), QFileInfo(machineFolder()).path()})
            QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        seams::setAutostart(nullptr);
        SetModuleFilePathForTesting(QString());
    }
    QString machineFolder() const { return autostart.folders().machine; }
    QString userFolder() const { return autostart.folders().user; }
    QString machineEntry() const { return autostart.machineEntryPath(); }
    QString userEntry() const { return autostart.userEntryPath(); }
    // Nobody can make a folder below a regular file, root included.
    void blockMachineFolder()
    {
        QDir().mkpath(root.path() + QStringLiteral("/etc"));
        WriteAll(root.path() + QStringLiteral("/etc/xdg"), "a file, not a folder");
    }
    // The machine-wide folder holds an entry that this user may not remove.
    void lockMachineEntry()
    {
        QDir().mkpath(machineFolder());
        WriteAll(machineEntry(),
                 "[Desktop Entry]\nType=Application\nName=X\nExec=\"/usr/bin/tolva\" -Tolva\n");
        QFile::setPermissions(machineFolder(), QFile::ReadOwner | QFile::ExeOwner);
    }

    QTemporaryDir root;
    FakeSeams fakes;
    AutostartEntry autostart;
    QString programFolder;
    QString executable;
};
} // namespace

class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void execLineQuoting_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "/opt/tolva/tolva"
                               << "\"/opt/tolva/tolva\" -Tolva";
        QTest::newRow("space") << "/home/a b/tolva"
                               << "\"/home/a b/tolva\" -Tolva";
        QTest::newRow("quote") << "/x/\"q\"/t"
                               << "\"/x/\\\"q\\\"/t\" -Tolva";
        QTest::newRow("dollar") << "/x/$HOME/t"
                                << "\"/x/\\$HOME/t\" -Tolva";
        QTest::newRow("backtick") << "/x/`id`/t"
                                  << "\"/x/\\`id\\`/t\" -Tolva";
        QTest::newRow("backslash") << "/x/a\\b/t"
                                   << "\"/x/a\\\\b/t\" -Tolva";
        QTest::newRow("percent") << "/x/100%/t"
                                 << "\"/x/100%%/t\" -Tolva";
        QTest::newRow("apostrophe") << "/x/it's/t"
                                    << "\"/x/it's/t\" -Tolva";
    }
    void execLineQuoting()
    {
        QFETCH(QString, program);
        QFETCH(QString, expected);
        QCOMPARE(desktop::ExecCommand(program, {QStringLiteral("-Tolva")}), expected);
    }

    void argumentsAreQuotedOnlyWhenNeeded()
    {
        QCOMPARE(desktop::ExecCommand("/p", {"a", "b c", ""}), QStringLiteral("\"/p\" a \"b c\" \"\""));
        QCOMPARE(desktop::ExecCommand("/p", {"50%"}), QStringLiteral("\"/p\" 50%%"));
    }

    void stringEscapingDoublesBackslashesAndNamesControls()
    {
        QCOMPARE(desktop::EscapeString(QStringLiteral("a\\b\nc\td\re")),
                 QStringLiteral("a\\\\b\\nc\\td\\re"));
        QCOMPARE(desktop::EscapeString(QStringLiteral("\"\\$\"")), QStringLiteral("\"\\\\$\""));
    }

    void awkwardPathsSurviveTheWholeWay_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("spaces") << "my programs/Tolva 2016";
        QTest::newRow("quote and dollar") << "it's \"ours\" $HOME";
        QTest::newRow("backslash, backtick, percent") << "a\\b `x` 100%";
        QTest::newRow("chinese") << QString::fromUtf8("我的 程序");
    }
    void awkwardPathsSurviveTheWholeWay()
    {
        QFETCH(QString, folder);
        Fixture f(folder);
        QVERIFY(QFile::exists(f.executable));
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kEnabled});

        const auto keys = ReadDesktopEntry(f.machineEntry());
        bool ok = false;
        const QStringList argv = ParseExec(keys.value("Exec"), &ok);
        QVERIFY2(ok, qPrintable(keys.value("Exec")));
        QCOMPARE(argv, (QStringList{f.executable, QStringLiteral("-Tolva")}));
        // The switch stands outside the quotes, after one space.
        QVERIFY(keys.value("Exec").endsWith(QStringLiteral("\" -Tolva")));

        const QString verdict = ValidateDesktopEntry(f.machineEntry());
        if (verdict == QStringLiteral("<missing>"))
            QSKIP("desktop-file-validate is not installed");
        QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    }

    void entryIsAnApplicationNamedAfterTheProgram()
    {
        Fixture f;
        QVERIFY(UnderTemp(f.machineFolder()));
        EnableAutostart(nullptr);
        QCOMPARE(QFileInfo(f.machineEntry()).fileName(), QStringLiteral("Tolvaelfin.desktop"));
        QCOMPARE(QFileInfo(f.machineEntry()).path(), f.machineFolder());
        const auto keys = ReadDesktopEntry(f.machineEntry());
        QCOMPARE(keys.value("Type"), QStringLiteral("Application"));
        QCOMPARE(keys.value("Name"), QString::fromUtf8("Tolva小精灵"));
        QVERIFY(ReadAll(f.machineEntry()).startsWith("[Desktop Entry]\n"));
        // Others must be able to read a machine-wide entry.
        QVERIFY(QFileInfo(f.machineEntry()).permissions() & QFile::ReadOther);
        // Nothing else is left in the folder: no temporary files.
        QCOMPARE(QDir(f.machineFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Tolvaelfin.desktop")});
    }

    void settingTwiceOverwritesAndSucceedsTwice()
    {
        Fixture f;
        EnableAutostart(nullptr);
        const QByteArray first = ReadAll(f.machineEntry());
        QVERIFY(!first.isEmpty());
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kEnabled, kEnabled}));
        QCOMPARE(ReadAll(f.machineEntry()), first);
        const MessageBoxRequest& box = f.fakes.boxes.shown().first();
        QCOMPARE(box.buttons, MbButtons::Ok);
        QVERIFY(box.caption.isEmpty()); // the program's title
    }

    void cancelRemovesTheEntry()
    {
        Fixture f;
        EnableAutostart(nullptr);
        f.fakes.boxes.clear();
        DisableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDisabled});
        QVERIFY(!QFileInfo::exists(f.machineEntry()));
        // The folder itself stays: it is the system's, not ours.
        QVERIFY(QFileInfo(f.machineFolder()).isDir());
    }

    void cancelWhenAbsentReportsFailure()
    {
        Fixture f;
        QDir().mkpath(f.machineFolder());
        DisableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDisableFailed});
    }

    void repairWhenAbsentShowsBothMessages()
    {
        Fixture f;
        QDir().mkpath(f.machineFolder());
        RepairAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kDisableFailed, kEnabled}));
        QVERIFY(QFileInfo::exists(f.machineEntry()));
    }

    void repairAfterTheProgramMovedPointsAtTheNewPlace()
    {
        Fixture f;
        EnableAutostart(nullptr);
        const QString moved = f.root.path() + QStringLiteral("/moved here/tolva");
        QDir().mkpath(QFileInfo(moved).path());
        QVERIFY(QFile::rename(f.executable, moved));
        SetModuleFilePathForTesting(moved);
        f.fakes.boxes.clear();
        RepairAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kDisabled, kEnabled}));
        bool ok = false;
        QCOMPARE(ParseExec(ReadDesktopEntry(f.machineEntry()).value("Exec"), &ok),
                 (QStringList{moved, QStringLiteral("-Tolva")}));
    }

    void missingExecutableIsReported()
    {
        Fixture f;
        SetModuleFilePathForTesting(f.programFolder + QStringLiteral("/gone"));
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoExecutable});
        QVERIFY(!QFileInfo::exists(f.machineEntry()));
    }

    void entryThatCannotBeWrittenIsReported()
    {
        Fixture f;
        // Folders where the entries should be: the folders are writable, the entries are not.
        QDir().mkpath(f.machineEntry() + QStringLiteral("/inside"));
        QDir().mkpath(f.userEntry() + QStringLiteral("/inside"));
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kWriteFailed});
        QVERIFY(QFileInfo(f.machineEntry() + QStringLiteral("/inside")).isDir());
        QVERIFY(QFileInfo(f.userEntry() + QStringLiteral("/inside")).isDir());
        for (const QString& folder : {f.machineFolder(), f.userFolder()})
            QCOMPARE(EntriesOf(folder), QStringList{QStringLiteral("Tolvaelfin.desktop")});
    }

    // Without the right to the machine-wide folder the user's own serves, and
    // every press says what came of it.
    void withoutTheMachineFolderTheUsersOwnServes()
    {
        Fixture f;
        f.blockMachineFolder();
        EnableAutostart(nullptr);
        QVERIFY(QFileInfo(f.userEntry()).isFile());
        bool ok = false;
        QCOMPARE(ParseExec(ReadDesktopEntry(f.userEntry()).value("Exec"), &ok),
                 (QStringList{f.executable, QStringLiteral("-Tolva")}));
        QVERIFY(f.autostart.isInEffect());
        DisableAutostart(nullptr);
        QVERIFY(!QFileInfo::exists(f.userEntry()));
        QVERIFY(QFileInfo(f.userFolder()).isDir());
        DisableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kEnabled, kDisabled, kDisableFailed}));
        QCOMPARE(ReadAll(f.root.path() + QStringLiteral("/etc/xdg")), QByteArray("a file, not a folder"));
    }

    // A machine-wide entry the user may not remove is hidden for that user by
    // an entry of their own; setting again brings it back for them.
    void aMachineEntryThatStaysIsHiddenForTheUser()
    {
        if (RunningAsRoot())
            QSKIP("root may remove anything; scripts/test_unprivileged.sh runs this as an ordinary user");
        Fixture f;
        f.lockMachineEntry();
        const QByteArray machine = ReadAll(f.machineEntry());
        QVERIFY(f.autostart.isInEffect());
        DisableAutostart(nullptr);
        QCOMPARE(ReadDesktopEntry(f.userEntry()).value("Hidden"), QStringLiteral("true"));
        QVERIFY(!f.autostart.isInEffect());
        const QString verdict = ValidateDesktopEntry(f.userEntry());
        QVERIFY2(verdict.isEmpty() || verdict == QStringLiteral("<missing>"), qPrintable(verdict));
        DisableAutostart(nullptr); // already cancelled
        EnableAutostart(nullptr);
        QVERIFY(f.autostart.isInEffect());
        QVERIFY(!ReadDesktopEntry(f.userEntry()).contains("Hidden"));
        QCOMPARE(ReadAll(f.machineEntry()), machine);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kDisabled, kDisableFailed, kEnabled}));
    }

    // Setting machine-wide removes the user's own entry, which would win over it.
    void aUsersOwnEntryGivesWayToTheMachineWideOne()
    {
        Fixture f;
        QDir().mkpath(f.userFolder());
        WriteAll(f.userEntry(),
                 "[Desktop Entry]\nType=Application\nName=X\nExec=/old/tolva -Tolva\nHidden=true\n");
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kEnabled});
        QVERIFY(QFileInfo(f.machineEntry()).isFile());
        QVERIFY(!QFileInfo::exists(f.userEntry()));
        QVERIFY(f.autostart.isInEffect());
    }

    // Every session runs a machine-wide entry, root's included: only a program
    // that nobody but its owner (root, or the user who writes the entry) can
    // change goes there; any other gets the user's own entry.
    void aProgramOthersCouldChangeStartsOnlyForThisUser_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("machineWide");
        QTest::newRow("a program only its owner can change is started for everyone") << "" << true;
        QTest::newRow("a copy an ordinary user owns, run by the superuser")
            << "executable of nobody" << false;
        QTest::newRow("a folder above it belongs to an ordinary user") << "folder of nobody" << false;
        QTest::newRow("the executable is writable by its group") << "group-writable" << false;
        QTest::newRow("a folder above it is world-writable without the sticky bit")
            << "world-writable folder" << false;
        QTest::newRow("a world-writable folder with the sticky bit is no way in") << "sticky folder" << true;
        QTest::newRow("its path goes through a symbolic link") << "link" << false;
    }
    void aProgramOthersCouldChangeStartsOnlyForThisUser()
    {
        QFETCH(QString, how);
        QFETCH(bool, machineWide);
        if (how.endsWith(QLatin1String("of nobody")) && !RunningAsRoot())
            QSKIP("giving a file to another user takes the superuser");
        Fixture f(QStringLiteral("a/program"));
        const QString above = QFileInfo(f.programFolder).path();
        const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QString program = f.executable;
        if (how == QLatin1String("executable of nobody"))
            QCOMPARE(::chown(QFile::encodeName(f.executable).constData(), 65534, 65534), 0);
        else if (how == QLatin1String("folder of nobody"))
            QCOMPARE(::chown(QFile::encodeName(above).constData(), 65534, 65534), 0);
        else if (how == QLatin1String("group-writable"))
            QVERIFY(
                QFile::setPermissions(f.executable, QFile::permissions(f.executable) | QFile::WriteGroup));
        else if (how == QLatin1String("world-writable folder"))
            QVERIFY(QFile::setPermissions(above, open));
        else if (how == QLatin1String("sticky folder"))
            QCOMPARE(::chmod(QFile::encodeName(above).constData(), 01777), 0);
        else if (how == QLatin1String("link"))
            QVERIFY(QFile::link(f.programFolder, program = f.root.path() + QStringLiteral("/link")));
        program += how == QLatin1String("link") ? QStringLiteral("/tolva") : QString();
        SetModuleFilePathForTesting(program);

        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kEnabled});
        QCOMPARE(QFileInfo::exists(f.machineEntry()), machineWide);
        QCOMPARE(QFileInfo::exists(f.userEntry()), !machineWide);
        bool ok = false;
        const QString entry = machineWide ? f.machineEntry() : f.userEntry();
        QCOMPARE(ParseExec(ReadDesktopEntry(entry).value("Exec"), &ok), (QStringList{program, "-Tolva"}));
        QVERIFY(f.autostart.isInEffect());
    }

    void cancelWithoutTheFoldersReportsFailureAndMakesNothing()
    {
        Fixture f;
        DisableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDisableFailed});
        QVERIFY(!QFileInfo::exists(f.machineFolder()));
        QVERIFY(!QFileInfo::exists(f.userFolder()));
    }
};

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
