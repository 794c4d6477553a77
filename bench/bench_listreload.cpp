// The main window's list at 10,000, 100,000 and 1,000,000 records: start to
// window (a fresh process: application, store open, the real main window shown
// and painted), the list reload under each of the four filters, and resident
// memory with the window open. Each size runs in a child process of its own,
// so that no size's memory counts for the next.
// Targets at 1,000,000: reload < 50 ms, start < 300 ms, memory < 80 MB;
// at 100,000: start < 150 ms.
// Also times a table whose records are nearly all past, and the one-off
// upgrade of a file of the oldest generation. A tenth of the records repeat
// (weekly, monthly, yearly, lunar, workdays), so that each page's 重复 column
// reads rules; those shown yesterday are snoozed, as a snooze lasts minutes.
#include "app/ReminderDlg.h"
#include "base/Paths.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/ReminderList.h"
#include "store/AdoDatabase.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>
#include <vector>

namespace {

const char kChildSwitch[] = "--child";

bool FillTable(const QString& path, int count)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, "insert into recordmsg (titile, text, date, time, use, insertdatatime) values (?, ?, ?, ?, ?, ?)",
        -1, &st, nullptr);
    sqlite3_stmt* rule = nullptr;
    sqlite3_prepare_v2(db, "insert into repeatrule (id, dtstart, rrule, workdays) values (?, ?, ?, ?)", -1,
                       &rule, nullptr);
    sqlite3_stmt* snooze = nullptr;
    sqlite3_prepare_v2(db, "insert into snooze (id, until) values (?, '2016-05-01 10:30:00')", -1, &snooze,
                       nullptr);
    const char* const rules[][2] = {{"FREQ=WEEKLY;BYDAY=MO,WE,FR", ""},
                                    {"FREQ=MONTHLY;BYDAY=FR;BYSETPOS=-1", ""},
                                    {"RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15", ""},
                                    {"", "CN"},
                                    {"FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=8", ""}};
    for (int i = 0; i < count; ++i) {
        const QByteArray subject = QStringLiteral("提醒%1").arg(i).toUtf8();
        const QByteArray content =
            QStringLiteral("第%1条提醒的内容，写得稍长一些，像平常的用法").arg(i).toUtf8();
        // Ten years of dates around the bench's "now" (2016-05-01), a tenth every day.
        const QByteArray date = (i % 10 == 0)
                                    ? QByteArray("Every Day")
                                    : QDate(2011, 1, 1).addDays(i % 3650).toString(Qt::ISODate).toUtf8();
        const QByteArray time = QTime(0, 0).addSecs(i % 86400).toString(QStringLiteral("HH:mm:ss")).toUtf8();
        const QByteArray values[] = {
            subject, content, date, time, QByteArray(i % 3 ? "0" : "1"), QByteArray("2016-01-01 08:00:00")};
        for (int f = 0; f < 6; ++f)
            sqlite3_bind_text(st, f + 1, values[f].constData(), int(values[f].size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
        if (i % 10 == 1) {
            const auto& r = rules[(i / 10) % 5];
            const QByteArray start = date + " " + time;
            sqlite3_bind_int64(rule, 1, id);
            sqlite3_bind_text(rule, 2, start.constData(), int(start.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(rule, 3, r[0], -1, SQLITE_STATIC);
            sqlite3_bind_text(rule, 4, r[1], -1, SQLITE_STATIC);
            sqlite3_step(rule);
            sqlite3_reset(rule);
        }
        if (date == "2016-04-30") {
            sqlite3_bind_int64(snooze, 1, id);
            sqlite3_step(snooze);
            sqlite3_reset(snooze);
        }
    }
    sqlite3_finalize(st);
    sqlite3_finalize(rule);
    sqlite3_finalize(snooze);
    const bool ok = sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Takes a file back to the oldest generation: the reminder table and its due index only.
bool MakeOldest(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    const bool ok = sqlite3_exec(db,
                                 "drop index recordmsg_use; drop index recordmsg_date_time;"
                                 "pragma user_version=0",
                                 nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Moves every record but the oldest thousand into the past, so that only a few
// of those are still to come: what a table filled by imports of past years
// looks like to the filter 未提醒记录.
bool MakeFewToCome(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    // Snoozed records stay where they are: a snooze lasts minutes after its record was shown.
    const bool ok = sqlite3_exec(db,
                                 "update recordmsg set date='2015-01-01' where id > 1000 and id not in "
                                 "(select id from snooze)",
                                 nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

long ResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The processor time of this process so far, user and system.
double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Ms(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

// In the child: the program folder is argv[2], holding myTolva/tolva.dat.
int Child(int argc, char* argv[], const QElapsedTimer& sinceMain)
{
    QApplication app(argc, argv);
    const double appMs = Ms(sinceMain);
    FakeClock clock(QDateTime(QDate(2016, 5, 1), QTime(10, 0, 0)));
    FakeMessageBoxes boxes;
    seams::setClock(&clock);
    seams::setMessageBoxes(&boxes);
    // Only the list is measured: no due check, whose popups would stop the run.
    CReminderDlg::SetDueWorkerEnabledForTesting(false);
    SetProgramFolderForTesting(QString::fromLocal8Bit(argv[2]));

    auto db = std::make_shared<CAdoDatabase>();
    QString message;
    QElapsedTimer open;
    open.start();
    if (db->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                 message) != store::kConnected) {
        std::fprintf(stderr, "cannot open the store: %s\n", qPrintable(message));
        return 1;
    }
    const double openMs = Ms(open);
    int status = 0;
    {
        QElapsedTimer window;
        window.start();
        CReminderDlg dlg(true, nullptr, [db] { return db; });
        // The reloads below read each page's rules and snoozes from this store.
        if (auto* list = qobject_cast<ReminderListModel*>(dlg.recordList->model()))
            list->setStore([db] { return db; });
        const double builtMs = Ms(window);
        dlg.show();
        QApplication::processEvents(); // the first paint, the list's included
        const double startMs = Ms(sinceMain);
        const double startCpuMs = CpuMs();
        const long rss = ResidentKb();
        std::printf("  start to window %.1f ms, %.1f ms of processor (application %.1f ms, store open %.1f "
                    "ms, window made %.1f ms, shown %.1f ms), resident memory %.1f MB\n",
                    startMs, startCpuMs, appMs, openMs, builtMs, Ms(window) - builtMs, rss / 1024.0);

        const char* names[] = {"显示所有", "未生效记录", "已生效记录", "未提醒记录"};
        for (int filter = 0; filter < 4; ++filter) {
            dlg.findChild<QButtonGroup*>(QStringLiteral("filterGroup"))->button(filter)->setChecked(true);
            std::vector<double> times, cpu;
            for (int i = 0; i < 7; ++i) {
                QElapsedTimer t;
                t.start();
                const double cpuBefore = CpuMs();
                dlg.ApplyFilter();
                QApplication::processEvents(); // includes the repaint of the list
                times.push_back(Ms(t));
                cpu.push_back(CpuMs() - cpuBefore);
            }
            std::sort(times.begin(), times.end());
            std::sort(cpu.begin(), cpu.end());
            std::printf(
                "  reload %-6s median %.1f ms (%.1f ms of processor), %s\n", names[filter],
                times[times.size() / 2], cpu[cpu.size() / 2],
                qPrintable(
                    dlg.findChild<QWidget*>(QStringLiteral("listGroup"))->property("title").toString()));
        }
        // Scrolling to the end of a few pages reads them on demand.
        dlg.findChild<QButtonGroup*>(QStringLiteral("filterGroup"))->button(0)->setChecked(true);
        dlg.ApplyFilter();
        QAbstractItemModel* model = dlg.recordList->model();
        QElapsedTimer scroll;
        scroll.start();
        for (int i = 0; i < 10 && model->canFetchMore(QModelIndex()); ++i)
            model->fetchMore(QModelIndex());
        std::printf("  ten more pages %.1f ms, %d rows held, resident memory %.1f MB\n", Ms(scroll),
                    model->rowCount(), ResidentKb() / 1024.0);
        if (!boxes.shown().isEmpty()) {
            std::printf("  message boxes raised: %s\n",
                        qPrintable(boxes.texts().join(QStringLiteral(" | "))));
            status = 1;
        }
    }
    db->Close();
    seams::setClock(nullptr);
    seams::setMessageBoxes(nullptr);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && qstrcmp(argv[1], kChildSwitch) == 0)
        return Child(argc, argv, sinceMain);

    QCoreApplication app(argc, argv);
    // Sizes may be named on the command line; by default all three.
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(QByteArray(argv[i]).toInt());
    if (sizes.isEmpty())
        sizes = {10000, 100000, 1000000};
    int status = 0;
    for (const int records : sizes) {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("myTolva"));
        const QString file = dir.path() + QStringLiteral("/myTolva/tolva.dat");
        if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), file)) {
            std::fprintf(stderr, "cannot copy the delivered database\n");
            return 1;
        }
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        if (!FillTable(file, records)) {
            std::fprintf(stderr, "cannot fill the table\n");
            return 1;
        }
        std::printf("%d records:\n", records);
        std::fflush(stdout);
        const auto runChild = [&]() {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(kChildSwitch), dir.path()});
            child.waitForFinished(-1);
            return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        };
        status |= runChild() ? 0 : 1;
        if (records == 1000000) {
            // The same file as an older program left it: the first start upgrades it, once.
            if (MakeFewToCome(file)) {
                std::printf("the same file with all records past but some of its oldest 1,000:\n");
                std::fflush(stdout);
                status |= runChild() ? 0 : 1;
            }
            if (MakeOldest(file)) {
                std::printf("the same file at the oldest generation, first start (upgrades it):\n");
                std::fflush(stdout);
                status |= runChild() ? 0 : 1;
            }
        }
    }
    std::printf("targets: at 1,000,000 reload < 50 ms, start < 300 ms, memory < 80 MB; at 100,000 start < "
                "150 ms\n");
    return status;
}
