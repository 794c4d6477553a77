// Bad input from outside the program: a damaged, read-only or locked database
// file, a settings file that is garbage, huge or not GBK, reminder texts that
// look like SQL or lie outside GBK, and a time server that sends too little or
// far too much. Each has one clear outcome, and nothing that was there is lost.

#include "app/ReminderApp.h"
#include "app/ReminderDlg.h"
#include "base/Constants.h"
#include "base/DialogTimers.h"
#include "base/Gbk.h"
#include "base/MainWindowIds.h"
#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "platform/AsyncSocket.h"
#include "platform/Seams.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "store/RepairDlg.h"
#include "support/ReadOnlyPath.h"
#include "support/Rfc868Server.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"
#include "timesync/TimeSyncDlg.h"
#include "timesync/TimeSyncDlgIds.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cerrno>
#include <grp.h>
#include <memory>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

const QString kAdded = u("添加成功！  ");
const QDateTime kNow(QDate(2026, 3, 4), QTime(9, 0, 0));
// Records in the "real" database the damaged ones are made from.
constexpr int kExistingRecords = 300;

QString uniqueInstanceName()
{
    static int n = 0;
    return QStringLiteral("TolvaBadInput-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

// Fills the database with records long enough to span many pages.
bool fillDatabase(const QString& path, int records)
{
    SqliteFile db(path);
    if (!db.exec("begin"))
        return false;
    for (int i = 0; i < records; ++i) {
        const QByteArray sql =
            QStringLiteral("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                           "('existing-%1', '%2', '2030-01-01', '10:00:00', '0', '2026-01-01 00:00:00')")
                .arg(i)
                .arg(u("已有的内容").repeated(20))
                .toUtf8();
        if (!db.exec(sql.constData()))
            return false;
    }
    return db.exec("commit");
}

QStringList subjectsIn(const QString& path)
{
    SqliteFile db(path, SQLITE_OPEN_READONLY);
    return db.column("select titile from recordmsg order by id");
}

QStringList existingSubjects()
{
    QStringList out;
    for (int i = 0; i < kExistingRecords; ++i)
        out << QStringLiteral("existing-%1").arg(i);
    return out;
}

// An exclusive lock on the database, held by another connection of this
// process or by another process, until release() or the end of the object.
class ExclusiveLock
{
public:
    enum class Holder { Connection, Process };

    bool take(Holder holder, const QString& path)
    {
        if (holder == Holder::Connection) {
            m_connection = std::make_unique<SqliteFile>(path);
            return m_connection->exec("begin exclusive");
        }
#ifdef TOLVA_FAULTCHILD
        m_process = std::make_unique<QProcess>();
        m_process->start(QStringLiteral(TOLVA_FAULTCHILD), {QStringLiteral("lock"), path});
        while (m_process->waitForReadyRead(10000)) {
            if (m_process->readAllStandardOutput().contains("locked"))
                return true;
        }
        qWarning("%s", m_process->readAllStandardError().constData());
#else
        qWarning("tolva_faultchild is not built: tests/CMakeLists.txt needs add_subdirectory(faultchild)");
#endif
        return false;
    }

    // True when the holder let go as it should.
    bool release()
    {
        bool ok = true;
        if (m_connection)
            ok = m_connection->exec("rollback");
        m_connection.reset();
        if (m_process) {
            m_process->closeWriteChannel();
            ok = m_process->waitForFinished(10000) && m_process->exitStatus() == QProcess::NormalExit &&
                 m_process->exitCode() == 0;
        }
        m_process.reset();
        return ok;
    }

    ~ExclusiveLock()
    {
        release();
    }

private:
    std::unique_ptr<SqliteFile> m_connection;
    std::unique_ptr<QProcess> m_process;
};

// What one start of the program with one add in its main window came to.
struct StartOutcome
{
    bool mainWindowRan = false;
    int repairs = 0;
    QStringList startBoxes; // message boxes of the start-up itself
    QStringList addBoxes;   // message boxes of the add
    int pagesOpened = 0;
    bool storeReleased = false;
};

void typeAndAdd(CReminderDlg& dlg, const QString& subject, const QString& content)
{
    dlg.findChild<QLineEdit*>(QStringLiteral("subjectEdit"))->setText(subject);
    dlg.findChild<QPlainTextEdit*>(QStringLiteral("contentEdit"))->setPlainText(content);
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(ids::kIdcAddModify))->click();
}

// Runs the real start-up; its main window adds one reminder through the editor.
// betweenStartAndAdd runs in the main window before the add.
StartOutcome startAndAdd(FakeSeams& fakes, const QString& subject,
                         const std::function<void()>& betweenStartAndAdd = {})
{
    StartOutcome out;
    fakes.boxes.clear();
    CReminderApp app;
    app.instanceName = uniqueInstanceName();
    // The real repair, with its five seconds cut short.
    app.runRepairDialog = [&] {
        ++out.repairs;
        CRepairDlg dlg;
        dlg.setCloseInterval(10);
        dlg.exec();
    };
    app.runMainWindow = [&](bool showAllowed) {
        out.mainWindowRan = true;
        out.startBoxes = fakes.boxes.texts();
        fakes.boxes.clear();
        CReminderDlg dlg(showAllowed, nullptr, [&app] { return app.database(); });
        // The list loads with the window; only the add's boxes count here.
        fakes.boxes.clear();
        if (betweenStartAndAdd)
            betweenStartAndAdd();
        typeAndAdd(dlg, subject, u("内容"));
        out.addBoxes = fakes.boxes.texts();
    };
    const int pagesBefore = int(fakes.shell.opened().size());
    app.InitInstance({});
    if (!out.mainWindowRan)
        out.startBoxes = fakes.boxes.texts();
    out.pagesOpened = int(fakes.shell.opened().size()) - pagesBefore;
    out.storeReleased = !app.database();
    return out;
}

// Ends a time calibration's waiting: the server resets the connection as
// soon as it has accepted it.
class ResettingServer : public QObject
{
public:
    ResettingServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                // A linger time of zero makes the close a reset.
                const linger reset{1, 0};
                ::setsockopt(int(client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                client->abort();
                client->deleteLater();
                ++m_connections;
            }
        });
    }
    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    int m_connections = 0;
};

QString logOf(CTimeSyncDlg& dlg)
{
    return qobject_cast<QPlainTextEdit*>(dlg.GetDlgItem(ids::kTimeSyncLog))->toPlainText();
}

void calibrateFirstServer(CTimeSyncDlg& dlg)
{
    auto* list = qobject_cast<QTableWidget*>(dlg.GetDlgItem(ids::kTimeSyncServerList));
    list->clearSelection();
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(ids::kTimeSyncCalibrate))->click();
}

// Lines of random bytes (NULs and every other byte but line ends), ended each by "\n".
QByteArray garbageLines(quint32 seed, int lines)
{
    QRandomGenerator random(seed);
    QByteArray out;
    for (int l = 0; l < lines; ++l) {
        const int length = int(random.bounded(1, 120));
        for (int i = 0; i < length; ++i) {
            char c;
            do {
                c = char(random.bounded(256));
            } while (c == '\n' || c == '\r');
            out += c;
        }
        out += '\n';
    }
    return out;
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtime;

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        // China Standard Time, without depending on the zone database.
        qputenv("TZ", "CST-8");
        tzset();
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    }

    // --- The database file ---

    void databaseFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("repaired"); // kept aside and replaced by the repair, then started
        QTest::addColumn<bool>("starts");
        QTest::addColumn<bool>("addStored");
        QTest::addColumn<QString>("message"); // part of the store's text shown, when something fails

        QTest::newRow("empty") << "empty" << true << true << true << "";
        QTest::newRow("truncated to its first half") << "truncated" << true << true << true << "";
        QTest::newRow("text, not a database") << "text" << true << true << true << "";
        // Root writes through file permissions, and so the program does as root.
        if (geteuid() == 0)
            QTest::newRow("read-only (0444), as root") << "read-only" << false << true << true << "";
        else
            QTest::newRow("read-only (0444)")
                << "read-only" << false << true << false
                << u("没有写入数据文件的权限（attempt to write a readonly database）");
        QTest::newRow("immutable") << "immutable" << false << true << false
                                   << u("没有写入数据文件的权限（attempt to write a readonly database）");
        // Locked is not damaged: never moved aside.
        QTest::newRow("locked by another connection") << "locked-connection" << false << false << false
                                                      << u("数据文件正被其他程序使用（database is locked）");
        QTest::newRow("locked by another process") << "locked-process" << false << false << false
                                                   << u("数据文件正被其他程序使用（database is locked）");
    }
    void databaseFile()
    {
        QFETCH(QString, damage);
        QFETCH(bool, repaired);
        QFETCH(bool, starts);
        QFETCH(bool, addStored);
        QFETCH(QString, message);

        FakeSeams fakes;
        fakes.clock.set(kNow);
        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        QVERIFY(fillDatabase(file, kExistingRecords));
        const QByteArray real = ReadAll(file);
        QVERIFY(real.size() > 16 * 4096);

        std::unique_ptr<ImmutableFile> immutable;
        ExclusiveLock lock;
        if (damage == QLatin1String("empty")) {
            QVERIFY(WriteAll(file, QByteArray()));
        } else if (damage == QLatin1String("truncated")) {
            QVERIFY(WriteAll(file, real.left(real.size() / 2)));
        } else if (damage == QLatin1String("text")) {
            QVERIFY(WriteAll(file, "[常规设置]\r\nIfDelete=Istrue\r\n"));
        } else if (damage == QLatin1String("read-only")) {
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (damage == QLatin1String("immutable")) {
            immutable = std::make_unique<ImmutableFile>(file);
            if (!immutable->isSet())
                QSKIP("the immutable attribute cannot be set here (it needs CAP_LINUX_IMMUTABLE and ext4 or "
                      "alike)");
        } else if (damage == QLatin1String("locked-connection")) {
            QVERIFY(lock.take(ExclusiveLock::Holder::Connection, file));
        } else if (damage == QLatin1String("locked-process")) {
            QVERIFY(lock.take(ExclusiveLock::Holder::Process, file));
        }
        const QByteArray before = ReadAll(file);

        const StartOutcome out = startAndAdd(fakes, QStringLiteral("added"));
        QVERIFY(lock.release());
        const QString aside = file + QStringLiteral(".damaged-20260304-090000");

        if (repaired) {
            // The damaged file is kept as it was; the program starts on what could be
            // saved from it, says so once, and adds.
            QCOMPARE(out.repairs, 1);
            QVERIFY(out.mainWindowRan);
            QCOMPARE(out.startBoxes.size(), 1);
            QVERIFY2(out.startBoxes.first().contains(aside), qPrintable(out.startBoxes.first()));
            QCOMPARE(out.addBoxes, QStringList{kAdded});
            QCOMPARE(ReadAll(aside), before);
            QStringList saved = subjectsIn(file);
            QCOMPARE(saved.takeLast(), QStringLiteral("added"));
            if (damage == QLatin1String("truncated")) {
                // The first records, in order, as many as the first half of the file holds.
                QVERIFY2(saved.size() > kExistingRecords / 4 && saved.size() < kExistingRecords,
                         qPrintable(QString::number(saved.size())));
                QCOMPARE(saved, existingSubjects().mid(0, saved.size()));
            } else {
                QVERIFY(saved.isEmpty());
            }
            return;
        }
        QVERIFY(!QFileInfo::exists(aside));
        if (!starts) {
            // One repair that leaves the file alone, one message with the store's own
            // text, the web page, and an end.
            QVERIFY(!out.mainWindowRan);
            QCOMPARE(out.repairs, 1);
            QCOMPARE(out.startBoxes.size(), 1);
            QVERIFY2(out.startBoxes.first().contains(message), qPrintable(out.startBoxes.first()));
            QVERIFY(out.startBoxes.first().endsWith(u("！  ")));
            QCOMPARE(out.pagesOpened, 1);
            QVERIFY(out.storeReleased);
            // The file is left exactly as it was found.
            QCOMPARE(ReadAll(file), before);
        } else {
            QVERIFY(out.mainWindowRan);
            QCOMPARE(out.repairs, 0);
            QVERIFY2(out.startBoxes.isEmpty(), qPrintable(out.startBoxes.join(" | ")));
            QCOMPARE(out.addBoxes.size(), 1);
            if (addStored) {
                QCOMPARE(out.addBoxes.first(), kAdded);
            } else {
                // A failure is reported as one, in the store's words.
                QVERIFY2(out.addBoxes.first() != kAdded && out.addBoxes.first().contains(message),
                         qPrintable(out.addBoxes.first()));
                QCOMPARE(ReadAll(file), before);
            }
        }
        if (damage == QLatin1String("read-only")) {
            // The program leaves the file's mode alone, whether or not the write went through.
            QCOMPARE(QFileInfo(file).permissions() &
                         (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
                     QFile::Permissions());
        }
        immutable.reset();

        // Nothing that was in the file is lost: it still holds every record, and
        // the program starts on it again and adds.
        QStringList expected = existingSubjects();
        if (addStored)
            expected << QStringLiteral("added");
        QCOMPARE(subjectsIn(file), expected);
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        const StartOutcome again = startAndAdd(fakes, QStringLiteral("added again"));
        QVERIFY(again.mainWindowRan);
        QCOMPARE(again.addBoxes, QStringList{kAdded});
        QCOMPARE(subjectsIn(file), expected << QStringLiteral("added again"));
    }

    // Root writes through the mode of a file; an ordinary user does not. As
    // root, the program runs as "nobody" on a file and folder it may only read.
    void readOnlyFileForAnOrdinaryUser()
    {
        if (geteuid() != 0)
            QSKIP("not root: the read-only row of databaseFile runs as this ordinary user");
#ifndef TOLVA_FAULTCHILD
        QFAIL("tolva_faultchild is not built: tests/CMakeLists.txt needs add_subdirectory(faultchild)");
#else
        constexpr uid_t kNobody = 65534;
        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        QVERIFY(fillDatabase(file, kExistingRecords));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        // The folders may be entered and read, not written.
        const auto readAndEnter = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(folder.path(), readAndEnter));
        QVERIFY(QFile::setPermissions(folder.dataFolder(), readAndEnter));
        const QByteArray before = ReadAll(file);
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QCOMPARE(::chown(QFile::encodeName(runtime.path()).constData(), kNobody, kNobody), 0);

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("HOME"), runtime.path());
        child.setProcessEnvironment(env);
        child.setChildProcessModifier([] {
            // Only what is safe between fork and exec; a failure ends the child at once.
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(125);
        });
        child.start(QStringLiteral(TOLVA_FAULTCHILD),
                    {QStringLiteral("add"), folder.path(), uniqueInstanceName(), QStringLiteral("ro"),
                     QStringLiteral("1")});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray errors = child.readAllStandardError();
        // Started (the store opens for reading), and the add reported as failed.
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == 3, errors.constData());
        QVERIFY2(errors.contains("readonly"), errors.constData());
        QCOMPARE(child.readAllStandardOutput(), QByteArray());
        QCOMPARE(ReadAll(file), before);
        QCOMPARE(subjectsIn(file), existingSubjects());
#endif
    }

    void databaseLockedWhileRunning_data()
    {
        QTest::addColumn<int>("holder");
        QTest::newRow("another connection") << int(ExclusiveLock::Holder::Connection);
        QTest::newRow("another process") << int(ExclusiveLock::Holder::Process);
    }
    // A lock taken while the program runs: the add fails in time with the
    // store's text, the editor keeps what was typed, and once the lock is gone
    // the same add goes through, once.
    void databaseLockedWhileRunning()
    {
        QFETCH(int, holder);
        FakeSeams fakes;
        fakes.clock.set(kNow);
        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        QVERIFY(fillDatabase(file, kExistingRecords));

        ExclusiveLock lock;
        bool locked = false;
        qint64 waitedMs = 0;
        QStringList retryBoxes;
        QString keptSubject;
        bool released = false;
        int repairs = 0;
        CReminderApp app;
        app.instanceName = uniqueInstanceName();
        app.runRepairDialog = [&] { ++repairs; };
        app.runMainWindow = [&](bool showAllowed) {
            CReminderDlg dlg(showAllowed, nullptr, [&app] { return app.database(); });
            locked = lock.take(ExclusiveLock::Holder(holder), file);
            fakes.boxes.clear();
            QElapsedTimer timer;
            timer.start();
            typeAndAdd(dlg, QStringLiteral("while locked"), u("内容"));
            waitedMs = timer.elapsed();
            keptSubject = dlg.findChild<QLineEdit*>(QStringLiteral("subjectEdit"))->text();
            const QStringList lockedBoxes = fakes.boxes.texts();
            released = lock.release();
            fakes.boxes.clear();
            qobject_cast<QAbstractButton*>(dlg.GetDlgItem(ids::kIdcAddModify))->click();
            retryBoxes = lockedBoxes + QStringList{QStringLiteral("--")} + fakes.boxes.texts();
        };
        app.InitInstance({});
        QCOMPARE(repairs, 0);
        QVERIFY(locked);
        QVERIFY(released);
        QCOMPARE(retryBoxes.size(), 3);
        QVERIFY2(retryBoxes[0].contains(u("数据文件正被其他程序使用（database is locked）")),
                 qPrintable(retryBoxes[0]));
        QCOMPARE(retryBoxes[2], kAdded);
        QCOMPARE(keptSubject, QStringLiteral("while locked"));
        QVERIFY2(waitedMs >= 1000 && waitedMs < 10000, qPrintable(QString::number(waitedMs)));
        QCOMPARE(subjectsIn(file), existingSubjects() << QStringLiteral("while locked"));
    }

    // --- The settings file ---

    void settingsFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("restMinutes");  // what the program reads
        QTest::addColumn<QByteArray>("after"); // the file once 45 minutes are written

        const QByteArray times = gbk::encode(u("默认时间"));
        const QByteArray general = gbk::encode(u("常规设置"));
        const QByteArray newSectionLf = "[" + times + "]\nMytimeA=45\n";

        const QByteArray garbage = garbageLines(20260304, 200);
        QTest::newRow("binary garbage") << garbage << 30 << garbage + newSectionLf;
        QTest::newRow("binary garbage around the key")
            << garbage + "[" + times + "]\nMytimeA=10\n" + garbage << 10
            << garbage + "[" + times + "]\nMytimeA=45\n" + garbage;

        // 10 MB of other sections, ours at the end.
        QByteArray filler;
        filler.reserve(10 * 1024 * 1024 + 64);
        for (int i = 0; filler.size() < 10 * 1024 * 1024; ++i)
            filler += "[s" + QByteArray::number(i) + "]\r\nkey=value " + QByteArray::number(i) + "\r\n";
        QTest::newRow("10 MB") << filler + "[" + times + "]\r\nMytimeA=10\r\n"
                               << 10 << filler + "[" + times + "]\r\nMytimeA=45\r\n";
        const QByteArray oneLine(10 * 1024 * 1024, 'x');
        QTest::newRow("10 MB in one line")
            << oneLine << 30 << oneLine + "\r\n[" + times + "]\r\nMytimeA=45\r\n";

        // UTF-8 without a byte order mark is GBK to the profile functions: its
        // names do not match, so the defaults hold and ours comes on top.
        const QByteArray utf8 = u("[默认时间]\nMytimeA=10\n; 注释\n").toUtf8();
        QTest::newRow("UTF-8 without BOM") << utf8 << 30 << utf8 + newSectionLf;
        const QByteArray bom = "\xEF\xBB\xBF" + u("[默认时间]\r\nMytimeA=10\r\n; 注释\r\n").toUtf8();
        QTest::newRow("UTF-8 with BOM")
            << bom << 10 << "\xEF\xBB\xBF" + u("[默认时间]\r\nMytimeA=45\r\n; 注释\r\n").toUtf8();
        static const char kInvalid[] = "Note=\xFF\xFE\x80\x81\x00z\r\n[x\xFF\xFF]\r\nk\x80=\xFE\r\n";
        const QByteArray invalid(kInvalid, sizeof kInvalid - 1);
        QTest::newRow("bytes that are no GBK") << "[" + general + "]\r\n" + invalid + "[" + times +
                                                      "]\r\nMytimeA=10\r\nMytimeB=\xFF"
                                                      "7\r\n"
                                               << 10
                                               << "[" + general + "]\r\n" + invalid + "[" + times +
                                                      "]\r\nMytimeA=45\r\nMytimeB=\xFF"
                                                      "7\r\n";
    }
    void settingsFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, restMinutes);
        QFETCH(QByteArray, after);
        FakeSeams fakes;
        TempProgramFolder folder;
        QVERIFY(WriteAll(folder.settingsFile(), before));

        QElapsedTimer timer;
        timer.start();
        const settings::DefaultTimes read = settings::ReadDefaultTimes();
        QCOMPARE(read.restMinutes, restMinutes);
        // Whatever else the file holds, the delete choice reads as a word or its default.
        const bool deleteChoice = settings::ReadDeleteChoice();
        QVERIFY(deleteChoice || before.contains("IfDelete"));

        settings::WriteRestMinutes(45);
        QCOMPARE(ReadAll(folder.settingsFile()), after);
        QCOMPARE(settings::ReadDefaultTimes().restMinutes, 45);
        const qint64 ms = timer.elapsed();
        QVERIFY2(ms < 20000, qPrintable(QString::number(ms)));
    }

    // --- Reminder texts through the store ---

    void recordTexts_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("content");

        QTest::newRow("quotes") << u("it's \"quoted\"") << u("'';\"\" '' \"");
        QTest::newRow("backslashes") << u("C:\\路径\\x") << u("\\\\ \\' \\\" \\n \\0 \\");
        QTest::newRow("SQL text") << u("'); drop table recordmsg; --")
                                  << u("\" or 1=1; delete from recordmsg where titile like '%' --");
        QTest::newRow("control characters") << u("tab\there\x01\x1b\x7f") << u("a\r\nb\nc\rd\x02\x03\x08");
        QTest::newRow("NUL inside") << (u("before") + QChar(0) + u("after"))
                                    << (QChar(0) + u("x") + QChar(0));
        QTest::newRow("characters outside GBK") << u("😀 한국어 𠀀") << u("🎉 안녕하세요 𠀀𠀁 ﷺ €");
        QTest::newRow("longest, Chinese") << u("汉").repeated(26) << u("字").repeated(128);
        QTest::newRow("longest, four-byte characters") << u("😀").repeated(13) << u("𠀀").repeated(64);
        QTest::newRow("longest, mixed")
            << (u("a") + u("汉").repeated(25) + u("b")) << (u("x").repeated(252) + u("😀"));
    }
    // The editor's add and modify keep every character of what fits its edits.
    void recordTexts()
    {
        QFETCH(QString, subject);
        QFETCH(QString, content);
        QVERIFY(gbk::byteLength(subject) <= CReminderDlg::kSubjectMaxBytes);
        QVERIFY(gbk::byteLength(content) <= CReminderDlg::kContentMaxBytes);
        if (QByteArray(QTest::currentDataTag()).startsWith("longest")) {
            QCOMPARE(gbk::byteLength(subject), CReminderDlg::kSubjectMaxBytes);
            QCOMPARE(gbk::byteLength(content), CReminderDlg::kContentMaxBytes);
        }

        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(db.Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                         message),
                 store::kConnected);
        const QString table = QString::fromLatin1(tolva::kReminderTable);
        const QDateTime when(QDate(2030, 1, 2), QTime(3, 4, 5));
        const QStringList values =
            reminders::ComposeRecordValues(subject, content, when, when, false, false, kNow);
        const QStringList plain =
            reminders::ComposeRecordValues(u("plain"), u("plain"), when, when, false, false, kNow);

        // Add the texts; add a plain record and modify it to the texts.
        QCOMPARE(db.InsertRows(table, reminders::InsertFields(), RowSet{values}, 1, message), 1);
        QCOMPARE(db.InsertRows(table, reminders::InsertFields(), RowSet{plain}, 1, message), 1);
        QString clause = QStringLiteral("where id=2");
        message = clause;
        QCOMPARE(db.UpdateRows(table, clause, reminders::InsertFields(), values, 1, message), 1);

        for (const char* id : {"1", "2"}) {
            RowSet rows;
            clause = QStringLiteral("where id=") + QLatin1String(id);
            message = clause;
            QCOMPARE(db.SelectRows(table, clause, reminders::ListFields(), rows, 1, message), 1);
            QCOMPARE(rows.first().mid(0, 6), values);
        }
        // Behind the store's back: still the one table, two records, the very texts.
        SqliteFile raw(folder.databaseFile(), SQLITE_OPEN_READONLY);
        QCOMPARE(raw.column("select name from sqlite_master where type='table' and name='recordmsg'"),
                 QStringList{QStringLiteral("recordmsg")});
        QCOMPARE(raw.column("select titile from recordmsg order by id"), (QStringList{subject, subject}));
        QCOMPARE(raw.column("select text from recordmsg order by id"), (QStringList{content, content}));
    }

    // --- The time server ---

    void timeServerReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("reset"); // the server resets the connection at once instead
        QTest::addColumn<int>("error");  // the error logged, or 0 when the clock is set

        const QByteArray good = Rfc868Server::encode(4102444800u);
        QTest::newRow("0 bytes") << QByteArray() << false << EPROTO;
        QTest::newRow("1 byte") << good.left(1) << false << EPROTO;
        QTest::newRow("3 bytes") << good.left(3) << false << EPROTO;
        QTest::newRow("4 bytes") << good << false << 0;
        QTest::newRow("1,000,000 bytes") << good + QByteArray(1000000 - 4, '\xFF') << false << 0;
        QTest::newRow("closes at once") << QByteArray() << true << ECONNRESET;
    }
    void timeServerReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, reset);
        QFETCH(int, error);

        FakeSeams fakes;
        fakes.clock.set(QDateTime(QDate(2026, 3, 4), QTime(9, 8, 7, 123)));
        PosixSocketFactory sockets;
        seams::setSockets(&sockets);
        Rfc868Server server;
        QVERIFY(server.start());
        ResettingServer resetting;
        QVERIFY(resetting.start());
        server.replyWithBytes(reply);
        sockets.setRedirect(QStringLiteral("127.0.0.1"), reset ? resetting.port() : server.port());

        {
            CTimeSyncDlg dlg;
            dlg.show();
            calibrateFirstServer(dlg);
            const QString received = u("接受的时间为从1900年1月1日起 4102444800 秒. \n");
            if (error == 0) {
                QTRY_COMPARE(fakes.systemClock.requests().size(), 1);
                QCOMPARE(fakes.systemClock.requests().first(),
                         QDateTime(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc()));
                QVERIFY2(logOf(dlg).contains(received), qPrintable(logOf(dlg)));
                QVERIFY2(logOf(dlg).endsWith(u("校正后时间：2030/1/1 08:00:00.000.\n")),
                         qPrintable(logOf(dlg)));
            } else {
                // A reset can overtake the end of the connect: then the connect reports it.
                const QString readError = u("\nFD_READ 错误！#%1.").arg(error);
                const QString connectError = u("\n连接错误：#%1.\n").arg(error);
                QTRY_VERIFY2(logOf(dlg).endsWith(readError) || (reset && logOf(dlg).endsWith(connectError)),
                             qPrintable(logOf(dlg)));
                QVERIFY(!logOf(dlg).contains(u("接受的时间")));
            }
            // One outcome and an end to the waiting: no more dots, nothing
            // more from the rest of a long reply.
            QVERIFY(!dlg.timers().IsRunning(ids::kTimeSyncProgressTimer));
            const QString settled = logOf(dlg);
            QTest::qWait(300);
            QCOMPARE(logOf(dlg), settled);
            QCOMPARE(fakes.systemClock.requests().size(), error == 0 ? 1 : 0);

            // The dialog is ready for the next calibration, which goes through.
            server.replyWith(4102444800u);
            sockets.setRedirect(QStringLiteral("127.0.0.1"), server.port());
            calibrateFirstServer(dlg);
            QTRY_COMPARE(fakes.systemClock.requests().size(), error == 0 ? 2 : 1);
            QVERIFY2(logOf(dlg).contains(received), qPrintable(logOf(dlg)));
            dlg.OnCancel();
        }
        QVERIFY(!TimeSyncCalibration().socket);
        seams::setSockets(nullptr);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
