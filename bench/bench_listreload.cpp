// Times the main window's list reload (ApplyFilter with the filter "显示所有")
// on tables of 10,000 and 100,000 records, and the resident memory with
// 100,000 records in the list. Targets: < 100 ms, < 1 s, < 120 MB.
#include "app/ReminderDlg.h"
#include "base/Paths.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/ReminderList.h"
#include "store/AdoDatabase.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

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
    for (int i = 0; i < count; ++i) {
        const QByteArray subject = QStringLiteral("提醒%1").arg(i).toUtf8();
        const QByteArray content =
            QStringLiteral("第%1条提醒的内容，写得稍长一些，像平常的用法").arg(i).toUtf8();
        const QByteArray date = (i % 10 == 0)
                                    ? QByteArray("Every Day")
                                    : QDate(2016, 1, 1).addDays(i % 3650).toString(Qt::ISODate).toUtf8();
        const QByteArray time = QTime(0, 0).addSecs(i % 86400).toString(QStringLiteral("HH:mm:ss")).toUtf8();
        const QByteArray values[] = {
            subject, content, date, time, QByteArray(i % 3 ? "0" : "1"), QByteArray("2016-01-01 08:00:00")};
        for (int f = 0; f < 6; ++f)
            sqlite3_bind_text(st, f + 1, values[f].constData(), int(values[f].size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    const bool ok = sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
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

// Fills a fresh copy of the delivered database, opens the window on it and
// reloads the list a few times. Returns the median in milliseconds, or -1.
double Run(int records, int runs, long* rssKb)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("myTolva"));
    const QString file = dir.path() + QStringLiteral("/myTolva/tolva.dat");
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), file))
        return -1;
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    if (!FillTable(file, records))
        return -1;
    SetProgramFolderForTesting(dir.path());

    auto db = std::make_shared<CAdoDatabase>();
    QString message;
    if (db->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                 message) != store::kConnected) {
        std::fprintf(stderr, "cannot open the store: %s\n", qPrintable(message));
        return -1;
    }
    double median = -1;
    {
        CReminderDlg dlg(true, nullptr, [db] { return db; });
        dlg.show();
        QApplication::processEvents();
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            dlg.ApplyFilter();
            QApplication::processEvents(); // includes the repaint of the list
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        if (dlg.recordList->model()->rowCount() != records) {
            std::fprintf(stderr, "the list holds %d rows, not %d\n", dlg.recordList->model()->rowCount(),
                         records);
            return -1;
        }
        std::sort(times.begin(), times.end());
        median = times[times.size() / 2];
        if (rssKb)
            *rssKb = ResidentKb();
    }
    db->Close();
    SetProgramFolderForTesting(QString());
    return median;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FakeClock clock(QDateTime(QDate(2016, 5, 1), QTime(10, 0, 0)));
    FakeMessageBoxes boxes;
    seams::setClock(&clock);
    seams::setMessageBoxes(&boxes);
    // Only the list is measured: no due check, whose popups would stop the run.
    CReminderDlg::SetDueWorkerEnabledForTesting(false);

    const double small = Run(10000, 7, nullptr);
    std::printf("list reload, 10,000 records: median %.1f ms (target < 100 ms)\n", small);
    long rss = -1;
    const double large = Run(100000, 5, &rss);
    std::printf("list reload, 100,000 records: median %.1f ms (target < 1000 ms)\n", large);
    std::printf("resident memory with 100,000 records listed: %.1f MB (target < 120 MB)\n", rss / 1024.0);
    if (!boxes.shown().isEmpty())
        std::printf("message boxes raised: %s\n", qPrintable(boxes.texts().join(QStringLiteral(" | "))));

    seams::setClock(nullptr);
    seams::setMessageBoxes(nullptr);
    return small < 0 || large < 0 ? 1 : 0;
}
