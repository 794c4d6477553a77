#include "app/ReminderApp.h"
#include "app/SingleInstance.h"
#include "base/Constants.h"
#include "calendar/Recurrence.h"
#include "reminders/ReminderEditor.h"
#include "store/SchemaUpgrade.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QtTest>
#include <memory>
#include <vector>

// The command line, driven as scripts drive it: the real executable, copied
// into a temporary installation, run without a display.
namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

// The parse error calendar::Recurrence gives for a rule, which the command line must repeat.
QString ruleError(const QString& rrule)
{
    QString error;
    const calendar::Recurrence r = calendar::Recurrence::parse(
        rrule, calendar::wallFromText(QStringLiteral("2098-03-01 09:00:00")), &error);
    return r.isValid() ? QString() : error;
}

// The first occurrence at or after the start, as calendar::Recurrence counts.
QString firstOf(const QString& rrule, const QString& start)
{
    const calendar::Recurrence r = calendar::Recurrence::parse(rrule, calendar::wallFromText(start), nullptr);
    const QList<QDateTime> first = r.occurrences(calendar::wallFromText(start), 1);
    return first.isEmpty() ? QString() : calendar::wallText(first.first());
}

const QString kUsage = QStringLiteral("<usage>");
const QString kHelpOut = QStringLiteral("<help>");

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    TempProgramFolder m_folder;
    QTemporaryDir m_home;
    QString m_exe;
    QProcessEnvironment m_env;

    QProcess* start(const QStringList& args, QObject* parent) const
    {
        auto* p = new QProcess(parent);
        p->setProcessEnvironment(m_env);
        p->start(m_exe, args);
        return p;
    }

    Result run(const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(m_exe, args);
        p.closeWriteChannel(); // --sync-account reads a password from it: an empty one
        Result r;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.status = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString list() const { return run({QStringLiteral("--list")}).out; }

    void emptyTable() const { QVERIFY(SqliteFile(m_folder.databaseFile()).exec("delete from recordmsg")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid() && m_home.isValid());
        m_exe = m_folder.path() + QStringLiteral("/tolva");
        QVERIFY(QFile::copy(QStringLiteral(TOLVA_EXECUTABLE), m_exe));
        m_env = QProcessEnvironment::systemEnvironment();
        // No display of any kind: a command never needs one.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            m_env.remove(QString::fromLatin1(name));
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/config"));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
    }

    // Each command's output, status and effect on the table, from an empty
    // table with at most one record made first ({id}; {new}: the id printed).
    void commands_data()
    {
        QTest::addColumn<QStringList>("prepare"); // --add arguments run first, or empty
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // exact, or kHelpOut
        QTest::addColumn<QString>("err");  // exact, or kUsage for any usage message
        QTest::addColumn<QString>("list"); // --list afterwards

        const QStringList dated{"--add", "开会", "--at", "2098-03-01 09:30:00", "--content", "带上报告"};
        const QString datedLine = u8("{id}\t2098-03-01\t09:30:00\t0\t开会\t带上报告\t\n");
        const QStringList daily{"--add",     "喝水", "--at",    "2098-03-01 10:00:00",
                                "--content", "一杯", "--rrule", "FREQ=DAILY"};
        const QString dailyLine = u8("{id}\t2098-03-01\t10:00:00\t0\t喝水\t一杯\tFREQ=DAILY\n");
        const QString at = QStringLiteral("2098-03-01 09:30:00");
        const QString past = QStringLiteral("2001-05-01 08:00:00");

        QTest::newRow("adding a dated reminder prints its id, and the list shows it")
            << QStringList() << dated << 0 << "{new}\n"
            << "" << u8("{new}\t2098-03-01\t09:30:00\t0\t开会\t带上报告\t\n");
        QTest::newRow("tabs, line breaks, carriage returns and backslashes are listed escaped")
            << QStringList() << QStringList{"--add", "a\tb\\c", "--at", at, "--content", "x\ny\r\nz\\\\"} << 0
            << "{new}\n"
            << ""
            << "{new}\t2098-03-01\t09:30:00\t0\ta\\tb\\\\c\tx\\ny\\r\\nz\\\\\\\\\t\n";
        QTest::newRow("an every-day reminder keeps only the time")
            << QStringList() << QStringList{"--add", "喝水", "--at", at, "--content", "一杯", "--every-day"}
            << 0 << "{new}\n"
            << "" << u8("{new}\tEvery Day\t09:30:00\t0\t喝水\t一杯\t\n");
        QTest::newRow("a weekly rule holds its first occurrence and is listed as stored")
            << QStringList() << QStringList{"--add",     "周会", "--at",    at,
                                            "--content", "c",    "--rrule", "freq=weekly;byday=MO,WE"}
            << 0 << "{new}\n"
            << ""
            << u8("{new}\t") + firstOf("FREQ=WEEKLY;BYDAY=MO,WE", at).replace(' ', '\t') +
                   u8("\t0\t周会\tc\tFREQ=WEEKLY;BYDAY=MO,WE\n");
        QTest::newRow("a workday reminder starting on a Saturday holds the Monday after")
            << QStringList() << QStringList{"--add", "打卡", "--at", at, "--content", "c", "--workdays"} << 0
            << "{new}\n"
            << "" << u8("{new}\t2098-03-03\t09:30:00\t0\t打卡\tc\tworkdays\n");
        QTest::newRow("--shutdown direct makes the editor's shutdown record")
            << QStringList() << QStringList{"--add", "关机", "--at", at, "--shutdown", "direct"} << 0
            << "{new}\n"
            << "" << u8("{new}\t2098-03-01\t09:30:00\t0\t关机\t直接关机\t\n");
        QTest::newRow("a subject of exactly 52 GBK bytes is taken")
            << QStringList() << QStringList{"--add", QString(26, QChar(0x4E2D)), "--at", at, "--content", "c"}
            << 0 << "{new}\n"
            << ""
            << "{new}\t2098-03-01\t09:30:00\t0\t" + QString(26, QChar(0x4E2D)) + "\tc\t\n";

        // Refused with the editor's texts; nothing stored.
        QTest::newRow("an empty subject is refused")
            << QStringList() << QStringList{"--add", "", "--at", at, "--content", "c"} << 1 << ""
            << u8(reminders::EnterSubjectText()) + "\n"
            << "";
        QTest::newRow("a reminder without content is refused")
            << QStringList() << QStringList{"--add", "s", "--at", at} << 1 << ""
            << u8(reminders::EnterContentText()) + "\n"
            << "";
        QTest::newRow("a subject of 53 GBK bytes is refused")
            << QStringList()
            << QStringList{"--add", QString(26, QChar(0x4E2D)) + "a", "--at", at, "--content", "c"} << 1 << ""
            << u8(reminders::TextTooLongText()).arg(52) + "\n"
            << "";
        QTest::newRow("a content of 257 bytes is refused")
            << QStringList() << QStringList{"--add", "s", "--at", at, "--content", QString(257, 'x')} << 1
            << "" << u8(reminders::TextTooLongText()).arg(256) + "\n"
            << "";
        QTest::newRow("a rule that cannot be read is refused with the parser's sentence")
            << QStringList()
            << QStringList{"--add", "s", "--at", at, "--content", "c", "--rrule", "FREQ=SOMETIMES"} << 1 << ""
            << ruleError("FREQ=SOMETIMES") + "\n"
            << "";
        QTest::newRow("a time already past is refused")
            << QStringList() << QStringList{"--add", "s", "--at", past, "--content", "c"} << 1 << ""
            << u8(reminders::MomentPassedRefusedText()) + "\n"
            << "";
        QTest::newRow("a shutdown already past is refused")
            << QStringList() << QStringList{"--add", "关机", "--at", past, "--shutdown", "ask"} << 1 << ""
            << u8(reminders::ShutdownInPastText()) + "\n"
            << "";
        QTest::newRow("the shutdown texts typed without --shutdown are refused")
            << QStringList() << QStringList{"--add", "关机", "--at", at, "--content", "需要提示"} << 1 << ""
            << u8(reminders::ShutdownPairRefusedText()).arg(u8("需要提示")) + "\n"
            << "";
        QTest::newRow("a series that ended before now is refused")
            << QStringList()
            << QStringList{"--add", "s", "--at", past, "--content", "c", "--rrule", "FREQ=DAILY;COUNT=3"} << 1
            << "" << u8("这个重复规则以后再没有提醒的时间了。  \n") << "";

        // Bad usage: nothing stored, nothing done.
        for (const QStringList& args : QList<QStringList>{
                 {"--add", "s", "--content", "c"},
                 {"--add", "s", "--at", "2098-3-1 09:30:00", "--content", "c"},
                 {"--add", "s", "--at", "2098-02-30 09:30:00", "--content", "c"},
                 {"--add", "s", "--at", at, "--content", "c", "--every-day", "--rrule", "FREQ=DAILY"},
                 {"--add", "s", "--at", at, "--content", "c", "--colour", "red"},
                 {"--add", "s", "--at", at, "--content", "c", "--content", "d"},
                 {"--add", "关机", "--at", at, "--shutdown", "later"},
                 {"--add", "s", "--at", at, "--shutdown", "ask"},
                 {"--add", "s", "--at"},
                 {"--at", at, "--add", "s"},
                 {"--list", "--list"},
                 {"--list", "extra"},
                 {"--list", "--delete", "1"},
                 {"--delete", "1; drop table recordmsg"},
                 {"--next", "1", "0"},
                 {"--next", "1", "many"},
                 {"--sync-account", "http://127.0.0.1:5232/"},
                 {"--sync-account", "", "alice"},
                 {"--sync-account", "http://127.0.0.1:5232/", "alice", "--content", "c"},
                 {"--sync", "extra"},
                 {"--sync", "--list"},
                 {"--sync=now"},
                 {"--export"},
                 {"--import", "a.ics", "--every-day"},
                 {"--frobnicate"}}) {
            QTest::newRow(qPrintable(QStringLiteral("bad usage: ") + args.join(' ')))
                << dated << args << 2 << "" << kUsage << datedLine;
        }

        QTest::newRow("--sync without an account says how to set one and changes nothing")
            << dated << QStringList{"--sync"} << 1 << ""
            << u8("还没有同步帐户：先用 tolva --sync-account 地址 用户名 设置\n") << datedLine;
        QTest::newRow("--sync-account to a server that does not answer says so")
            << dated << QStringList{"--sync-account", "http://127.0.0.1:1/", "alice"} << 1 << ""
            << u8("无法连接服务器\n") << datedLine;

        QTest::newRow("--modify changes what is named and keeps the rest")
            << dated << QStringList{"--modify", "{id}", "--subject", "评审"} << 0 << ""
            << "" << u8("{id}\t2098-03-01\t09:30:00\t0\t评审\t带上报告\t\n");
        QTest::newRow("--modify of the texts keeps a series and its rule")
            << daily << QStringList{"--modify", "{id}", "--content", "两杯"} << 0 << ""
            << "" << u8("{id}\t2098-03-01\t10:00:00\t0\t喝水\t两杯\tFREQ=DAILY\n");
        QTest::newRow("--modify with --every-day turns a series into an every-day record")
            << daily << QStringList{"--modify", "{id}", "--every-day"} << 0 << ""
            << "" << u8("{id}\tEvery Day\t10:00:00\t0\t喝水\t一杯\t\n");
        QTest::newRow("--modify with --rrule \"\" takes the rule away and keeps the occurrence")
            << daily << QStringList{"--modify", "{id}", "--rrule", ""} << 0 << ""
            << "" << u8("{id}\t2098-03-01\t10:00:00\t0\t喝水\t一杯\t\n");
        QTest::newRow("--modify with --rrule gives a dated record a rule from its moment")
            << dated << QStringList{"--modify", "{id}", "--rrule", "FREQ=MONTHLY;BYMONTHDAY=15"} << 0 << ""
            << "" << u8("{id}\t2098-03-15\t09:30:00\t0\t开会\t带上报告\tFREQ=MONTHLY;BYMONTHDAY=15\n");
        QTest::newRow("--modify with --at moves a series' start")
            << daily << QStringList{"--modify", "{id}", "--at", "2098-04-02 07:00:00"} << 0 << ""
            << "" << u8("{id}\t2098-04-02\t07:00:00\t0\t喝水\t一杯\tFREQ=DAILY\n");
        QTest::newRow("--modify refuses what the editor refuses and keeps the record")
            << dated << QStringList{"--modify", "{id}", "--at", past} << 1 << ""
            << u8(reminders::MomentPassedRefusedText()) + "\n"
            << datedLine;
        QTest::newRow("--modify of a record that is not there says it vanished")
            << dated << QStringList{"--modify", "999999", "--content", "x"} << 1 << ""
            << u8(reminders::VanishedText()) + "\n"
            << datedLine;
        QTest::newRow("--delete removes the record") << dated << QStringList{"--delete", "{id}"} << 0 << ""
                                                     << ""
                                                     << "";
        QTest::newRow("--delete of a record that is not there says it vanished")
            << dated << QStringList{"--delete", "999999"} << 1 << "" << u8(reminders::VanishedText()) + "\n"
            << datedLine;
        QTest::newRow("--next of a dated record prints its one moment")
            << dated << QStringList{"--next", "{id}"} << 0 << "2098-03-01 09:30:00\n"
            << "" << datedLine;
        QString days;
        for (int d = 1; d <= 5; ++d)
            days += QDate::currentDate().addDays(d).toString(QStringLiteral("yyyy-MM-dd")) + " 00:00:00\n";
        QTest::newRow("--next of an every-day record gives the next days at its time")
            << QStringList{"--add", "s", "--at", "2098-03-01 00:00:00", "--content", "c", "--every-day"}
            << QStringList{"--next", "{id}"} << 0 << days << ""
            << "{id}\tEvery Day\t00:00:00\t0\ts\tc\t\n";
        QTest::newRow("--next of a record that is not there says it vanished")
            << dated << QStringList{"--next", "999999"} << 1 << "" << u8(reminders::VanishedText()) + "\n"
            << datedLine;
        QTest::newRow("--help lists the commands")
            << QStringList() << QStringList{"--help"} << 0 << kHelpOut << ""
            << "";
    }
    void commands()
    {
        QFETCH(QStringList, prepare);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, list);
        emptyTable();
        QString id;
        if (!prepare.isEmpty()) {
            const Result made = run(prepare);
            QCOMPARE(made.status, 0);
            id = made.out.trimmed();
            QVERIFY(reminders::IsRecordId(id));
        }
        for (QString& a : args)
            a.replace(QStringLiteral("{id}"), id);
        const Result r = run(args);
        QCOMPARE(r.status, status);
        if (err == kUsage) {
            QVERIFY2(r.err.startsWith(QStringLiteral("tolva: ")), qPrintable(r.err));
            QVERIFY(r.err.endsWith(u8("用 tolva --help 查看用法。\n")));
        } else {
            QCOMPARE(r.err, err);
        }
        const QString made = r.out.trimmed();
        const auto fill = [&](QString text) {
            return text.replace(QStringLiteral("{id}"), id).replace(QStringLiteral("{new}"), made);
        };
        if (out == kHelpOut) {
            for (const char* option :
                 {"--add", "--at", "--content", "--every-day", "--rrule", "--workdays", "--shutdown",
                  "--list", "--modify", "--delete", "--next", "--help", "--export", "--import"})
                QVERIFY2(r.out.contains(QLatin1String(option)), option);
        } else {
            QCOMPARE(r.out, fill(out));
        }
        QCOMPARE(this->list(), fill(list));
    }

    // --export writes the reminders to a file, --import reads them back and
    // prints the three counts; a file imported again adds nothing.
    void exportImport()
    {
        emptyTable();
        const QString file = m_home.path() + QStringLiteral("/out.ics");
        QCOMPARE(run({"--add", "开会", "--at", "2098-03-01 09:30:00", "--content", "带上报告"}).status, 0);
        const QString listed = list().section('\t', 1);
        Result r = run({"--export", file});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u8("导出了 1 个提醒。\n"));
        QVERIFY(ReadAll(file).contains("SUMMARY:开会"));
        r = run({"--import", file});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u8("导入了 0 个提醒，其中 0 个有所简化；跳过了 1 个（没有提醒或已经导入过）。\n"));
        emptyTable();
        r = run({"--import", file});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u8("导入了 1 个提醒，其中 0 个有所简化；跳过了 0 个（没有提醒或已经导入过）。\n"));
        QCOMPARE(list().section('\t', 1), listed);
        r = run({"--import", m_home.path() + QStringLiteral("/none.ics")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(u8("无法读取文件")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    // The occurrences --next prints are calendar::Recurrence's, from the series' start.
    void nextAgreesWithRecurrence_data()
    {
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("count"); // empty: the default
        QTest::newRow("the last day of every month, five by default") << "FREQ=MONTHLY;BYMONTHDAY=-1"
                                                                      << "";
        QTest::newRow("the last Friday of every other month") << "FREQ=MONTHLY;INTERVAL=2;BYDAY=-1FR"
                                                              << "12";
        QTest::newRow("every 29 February") << "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"
                                           << "3";
        QTest::newRow("a counted series stops at its count") << "FREQ=WEEKLY;BYDAY=TU,TH;COUNT=4"
                                                             << "10";
        QTest::newRow("the Mid-Autumn Festival") << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"
                                                 << "4";
    }
    void nextAgreesWithRecurrence()
    {
        QFETCH(QString, rrule);
        QFETCH(QString, count);
        emptyTable();
        const QString start = QStringLiteral("2090-01-31 08:00:00");
        const Result made = run({"--add", "s", "--at", start, "--content", "c", "--rrule", rrule});
        QCOMPARE(made.status, 0);
        QStringList args{"--next", made.out.trimmed()};
        if (!count.isEmpty())
            args << count;
        const Result r = run(args);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString());

        const calendar::Recurrence series =
            calendar::Recurrence::parse(rrule, calendar::wallFromText(start), nullptr);
        QVERIFY(series.isValid());
        QString expected;
        for (const QDateTime& t :
             series.occurrences(calendar::wallFromText(start), count.isEmpty() ? 5 : count.toInt()))
            expected += calendar::wallText(t) + QLatin1Char('\n');
        QVERIFY(!expected.isEmpty());
        QCOMPARE(r.out, expected);
    }

    // A data file of an older program is upgraded when a command opens it,
    // and keeps its records.
    void olderDataFileIsUpgradedByACommand()
    {
        emptyTable();
        {
            SqliteFile raw(m_folder.databaseFile());
            QVERIFY(raw.exec("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                             "('old', 'kept', 'Every Day', '08:00:00', '1', '2016-01-01 00:00:00')"));
            QVERIFY(raw.exec(
                "drop trigger recordmsg_uid; drop trigger recordmsg_gone; drop table repeatrule;"
                "drop table snooze; drop table holidays; drop table recorduid; drop index recordmsg_due;"
                "drop table recordack; drop table syncstatus; drop table syncmeta;"
                "drop index recordmsg_use; drop index recordmsg_date_time; pragma user_version=0"));
        }
        const Result r = run({"--add", "s", "--at", "2098-03-01 09:30:00", "--content", "c", "--workdays"});
        QCOMPARE(r.status, 0);
        QCOMPARE(SqliteFile(m_folder.databaseFile()).scalar("pragma user_version"),
                 QString::number(store::SchemaGeneration()));
        const QStringList lines = list().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), r.out.trimmed() + u8("\t2098-03-03\t09:30:00\t0\ts\tc\tworkdays"));
        // The upgrade starts every-day records out as not used.
        QVERIFY(lines.at(1).endsWith(u8("\tEvery Day\t08:00:00\t0\told\tkept\t")));
    }

    // Twenty commands at once, while another writer holds the file longer than
    // the store waits for a lock: every one of them waits its turn and is kept.
    void parallelAddsAreAllKept()
    {
        emptyTable();
        SqliteFile holder(m_folder.databaseFile());
        QVERIFY(holder.exec("begin immediate"));
        QObject owner;
        std::vector<QProcess*> runs;
        for (int i = 0; i < 20; ++i)
            runs.push_back(start(
                {"--add", QStringLiteral("r%1").arg(i), "--at", "2098-03-01 09:30:00", "--content", "c"},
                &owner));
        QTest::qWait(5000);
        QVERIFY(holder.exec("commit"));
        QSet<QString> ids;
        for (QProcess* p : runs) {
            QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(60000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
            ids.insert(QString::fromUtf8(p->readAllStandardOutput()).trimmed());
        }
        QCOMPARE(ids.size(), 20);
        QCOMPARE(list().count(QLatin1Char('\n')), 20);
        QCOMPARE(SqliteFile(m_folder.databaseFile()).column("select count(*) from recordmsg"),
                 QStringList{"20"});
    }

    // A command works beside a running program (it never asks for the program's
    // lock), and the running program's watch of the data folder sees its write
    // within a second, each time, and not a write to another file.
    void runningProgramSeesCommandWrites()
    {
        FakeSeams fakes;
        emptyTable();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.path()));
        SingleInstance running(QString::fromUtf8(tolva::kInstanceName));
        QCOMPARE(running.acquire(), SingleInstance::Result::First);

        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open("file", "myTolva/tolva.dat", "", "", message), store::kConnected);
        QObject window;
        int changes = 0;
        app.WatchDataFile(&window, [&] { ++changes; });

        for (int i = 1; i <= 2; ++i) {
            const Result r = run({"--add", "s", "--at", "2098-03-01 09:30:00", "--content", "c"});
            QCOMPARE(r.status, 0);
            QTRY_COMPARE_WITH_TIMEOUT(changes, i, 1000);
            RowSet rows;
            QCOMPARE(app.database()->SelectRows("recordmsg", "where id=" + r.out.trimmed(), {"titile"}, rows,
                                                1, message),
                     1);
        }
        QVERIFY(WriteAll(m_folder.dataFolder() + QStringLiteral("/unrelated"), "x"));
        QTest::qWait(300);
        QCOMPARE(changes, 2);
        QVERIFY(fakes.boxes.shown().isEmpty());
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
