#include "base/DesktopEntry.h"
#include "base/ModulePath.h"
#include "platform/AutostartEntry.h"
#include "platform/Seams.h"
#include "support/TestSupport.h"
#include "system/Autostart.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString kEnabled = QString::fromUtf8("开机启动设置成功！  ");
const QString kDisabled = QString::fromUtf8("开机启动已经成功取消！  ");
const QString kDisableFailed = QString::fromUtf8("取消失败！请检查开机启动是否已经被取消！  ");
const QString kWriteFailed = QString::fromUtf8("系统参数错误，不能随系统启动！  ");
const QString kNoExecutable = QString::fromUtf8("没找到执行程序，自动运行失败！  ");

// The key file's values, as a desktop reads them (escapes of string values undone).
QMap<QString, QString> readEntry(const QString& path)
{
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(ReadAll(path)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.startsWith(QLatin1Char('[')))
            continue;
        QString value;
        const QString raw = line.mid(eq + 1);
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
                const QChar n = raw[++i];
                value += n == QLatin1Char('n')   ? QChar('\n')
                         : n == QLatin1Char('t') ? QChar('\t')
                         : n == QLatin1Char('r') ? QChar('\r')
                         : n == QLatin1Char('s') ? QChar(' ')
                                                 : n;
            } else {
                value += raw[i];
            }
        }
        keys.insert(line.left(eq), value);
    }
    return keys;
}

// The freedesktop.org rules of the Exec key, read the way a launcher
// reads them: %% is a percent sign; inside double quotes a backslash makes the
// next of " ` $ \ literal; outside quotes blanks separate the arguments.
QStringList parseExec(const QString& exec, bool* ok)
{
    *ok = true;
    QStringList args;
    QString current;
    bool inArg = false, quoted = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == QLatin1Char('%')) {
            if (i + 1 < exec.size() && exec[i + 1] == QLatin1Char('%')) {
                current += c;
                inArg = true;
                ++i;
                continue;
            }
            *ok = false; // a field code where none was meant
            continue;
        }
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                QStringLiteral("\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                if (QStringLiteral("`$\\").contains(c))
                    *ok = false; // must have been escaped
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c == QLatin1Char(' ')) {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else {
            if (QStringLiteral("\t\n\"'\\><~|&;$*?#()`").contains(c))
                *ok = false; // reserved outside quotes
            current += c;
            inArg = true;
        }
    }
    if (quoted)
        *ok = false;
    if (inArg)
        args << current;
    return args;
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

// A program folder of its own holding an executable, and the autostart folder
// seam on a temporary folder for the life of the object.
struct Fixture
{
    explicit Fixture(const QString& programFolderName = QStringLiteral("program"))
        : autostart(root.path() + QStringLiteral("/xdg/autostart"))
    {
        programFolder = root.path() + QLatin1Char('/') + programFolderName;
        executable = programFolder + QStringLiteral("/tolva");
        QDir().mkpath(programFolder);
        WriteAll(executable, "#!/bin/sh\n");
        QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SetModuleFilePathForTesting(executable);
        seams::setAutostart(&autostart);
    }
    ~Fixture()
    {
        seams::setAutostart(nullptr);
        SetModuleFilePathForTesting(QString());
    }
    QTemporaryDir root;
    FakeSeams fakes;
    AutostartEntry autostart;
    QString programFolder;
    QString executable;
};

bool underTemp(const QString& path)
{
    return QDir::cleanPath(path).startsWith(QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/'));
}
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

        const auto keys = readEntry(f.autostart.entryPath());
        bool ok = false;
        const QStringList argv = parseExec(keys.value("Exec"), &ok);
        QVERIFY2(ok, qPrintable(keys.value("Exec")));
        QCOMPARE(argv, (QStringList{f.executable, QStringLiteral("-Tolva")}));
        // The switch stands outside the quotes, after one space.
        QVERIFY(keys.value("Exec").endsWith(QStringLiteral("\" -Tolva")));

        const QString verdict = validate(f.autostart.entryPath());
        if (verdict == QStringLiteral("<missing>"))
            QSKIP("desktop-file-validate is not installed");
        QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    }

    void entryIsAnApplicationNamedAfterTheProgram()
    {
        Fixture f;
        QVERIFY(underTemp(f.autostart.folder()));
        EnableAutostart(nullptr);
        QCOMPARE(QFileInfo(f.autostart.entryPath()).fileName(), QStringLiteral("Tolvaelfin.desktop"));
        QCOMPARE(QFileInfo(f.autostart.entryPath()).path(), f.autostart.folder());
        const auto keys = readEntry(f.autostart.entryPath());
        QCOMPARE(keys.value("Type"), QStringLiteral("Application"));
        QCOMPARE(keys.value("Name"), QString::fromUtf8("Tolva小精灵"));
        QVERIFY(ReadAll(f.autostart.entryPath()).startsWith("[Desktop Entry]\n"));
        // Others must be able to read a machine-wide entry.
        QVERIFY(QFileInfo(f.autostart.entryPath()).permissions() & QFile::ReadOther);
        // Nothing else is left in the folder: no temporary files.
        QCOMPARE(QDir(f.autostart.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Tolvaelfin.desktop")});
    }

    void settingTwiceOverwritesAndSucceedsTwice()
    {
        Fixture f;
        EnableAutostart(nullptr);
        const QByteArray first = ReadAll(f.autostart.entryPath());
        QVERIFY(!first.isEmpty());
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kEnabled, kEnabled}));
        QCOMPARE(ReadAll(f.autostart.entryPath()), first);
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
        QVERIFY(!QFileInfo::exists(f.autostart.entryPath()));
        // The folder itself stays: it is the system's, not ours.
        QVERIFY(QFileInfo(f.autostart.folder()).isDir());
    }

    void cancelWhenAbsentReportsFailure()
    {
        Fixture f;
        QDir().mkpath(f.autostart.folder());
        DisableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kDisableFailed});
    }

    void repairWhenAbsentShowsBothMessages()
    {
        Fixture f;
        QDir().mkpath(f.autostart.folder());
        RepairAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), (QStringList{kDisableFailed, kEnabled}));
        QVERIFY(QFileInfo::exists(f.autostart.entryPath()));
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
        QCOMPARE(parseExec(readEntry(f.autostart.entryPath()).value("Exec"), &ok),
                 (QStringList{moved, QStringLiteral("-Tolva")}));
    }

    void missingExecutableIsReported()
    {
        Fixture f;
        SetModuleFilePathForTesting(f.programFolder + QStringLiteral("/gone"));
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kNoExecutable});
        QVERIFY(!QFileInfo::exists(f.autostart.entryPath()));
    }

    void entryThatCannotBeWrittenIsReported()
    {
        Fixture f;
        // A folder where the entry should be: the folder is writable, the entry is not.
        QDir().mkpath(f.autostart.entryPath() + QStringLiteral("/inside"));
        EnableAutostart(nullptr);
        QCOMPARE(f.fakes.boxes.texts(), QStringList{kWriteFailed});
        QVERIFY(QFileInfo(f.autostart.entryPath() + QStringLiteral("/inside")).isDir());
        QCOMPARE(QDir(f.autostart.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Tolvaelfin.desktop")});
    }

    void withoutRightsSetAndCancelShowNothing()
    {
        // Permission bits do not stop root, but nobody can make a folder below a
        // regular file: the autostart folder's parent is a file here.
        QTemporaryDir root;
        const QString blocker = root.path() + QStringLiteral("/xdg");
        QVERIFY(WriteAll(blocker, "a file, not a folder"));
        AutostartEntry entry(blocker + QStringLiteral("/autostart"));
        QVERIFY(underTemp(entry.folder()));
        Fixture f;
        seams::setAutostart(&entry);

        EnableAutostart(nullptr);
        DisableAutostart(nullptr);
        QVERIFY(f.fakes.boxes.shown().isEmpty());
        QCOMPARE(ReadAll(blocker), QByteArray("a file, not a folder"));
        QVERIFY(!entry.openForWriting(true));
    }

    void cancelWithoutTheFolderShowsNothingAndMakesNothing()
    {
        Fixture f;
        DisableAutostart(nullptr);
        QVERIFY(f.fakes.boxes.shown().isEmpty());
        QVERIFY(!QFileInfo::exists(f.autostart.folder()));
    }
};

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
