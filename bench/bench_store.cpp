// Times the store's two hot paths on tables of growing size: the due check's
// count+select pair (run once a second) and the reminder list's full read.
#include "base/Paths.h"
#include "store/AdoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

namespace {

const QString kTable = QStringLiteral("recordmsg");
const QString kToday = QStringLiteral("2026-12-08");
const QStringList kListFields = {"titile", "text", "date", "time", "use", "insertdatatime", "id"};

// The machine is shared with builds, so wall time says little: the figures
// are the CPU time of this thread (wall time is printed beside the list read).
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString timeOfSecond(int second)
{
    return QString::asprintf("%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
}

// Fills the table with realistic reminders: dates spread over a year around
// today, random seconds of the day, and a few hundred every-day reminders.
bool fill(const QString& file, int count)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return false;
    // A large page cache keeps the randomly ordered index pages in memory while filling.
    sqlite3_exec(db, "PRAGMA cache_size=-262144", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, "insert into recordmsg (titile,text,date,time,use,insertdatatime) values (?,?,?,?,?,?)", -1, &st,
        nullptr);
    const QDate first(2026, 6, 1);
    const int everyDayStep = std::max(1, count / 300);
    quint32 seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    bool ok = st != nullptr;
    for (int i = 0; ok && i < count; ++i) {
        const QByteArray date = (i % everyDayStep == 0)
                                    ? QByteArray("Every Day")
                                    : first.addDays(next() % 365).toString(Qt::ISODate).toUtf8();
        const QByteArray time = timeOfSecond(int(next() % 86400)).toUtf8();
        const QByteArray subject = QStringLiteral("提醒事项 %1").arg(i).toUtf8();
        const QByteArray text = QStringLiteral("记得带上第 %1 份资料，准时参加会议。").arg(i).toUtf8();
        const QByteArray use = (next() % 4 == 0) ? "1" : "0";
        const QByteArray inserted = "2026-05-31 " + timeOfSecond(int(next() % 86400)).toUtf8();
        const QByteArray* values[] = {&subject, &text, &date, &time, &use, &inserted};
        for (int c = 0; c < 6; ++c)
            sqlite3_bind_text(st, c + 1, values[c]->constData(), int(values[c]->size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    sqlite3_close(db);
    return ok;
}

QString dueClause(const QString& time)
{
    return QStringLiteral("where (date='") + kToday + QStringLiteral("' or date ='Every Day') and time ='") +
           time + QLatin1Char('\'');
}

// One due-check pass as the worker makes it; returns the number of ids read, or -1.
int duePair(CAdoDatabase& db, const QString& where)
{
    QString message = where;
    const int n = db.CountRows(kTable, where, message);
    if (n < 0)
        return -1;
    RowSet ids;
    const int read = db.SelectRows(kTable, where, {"id"}, ids, n, message);
    return read == n ? read : -1;
}

struct Figures
{
    double fillMs = 0;
    double dueSameMs = 0; // the same clause again: statements come from the cache
    double dueNewMs = 0;  // a new second each time, as the worker asks
    int dueMatches = 0;
    double listCpuMs = 0;
    double listWallMs = 0;
};

template <typename F> double medianCpuMs(int runs, F&& run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = cpuMs();
        if (!run(i))
            return -1;
        times.push_back(cpuMs() - start);
    }
    return median(times);
}

bool measure(int records, Figures& f)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("myTolva")))
        return false;
    const QString file = dir.path() + QStringLiteral("/myTolva/tolva.dat");
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), file))
        return false;
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    SetProgramFolderForTesting(dir.path());

    const double fillStart = wallMs();
    if (!fill(file, records))
        return false;
    f.fillMs = wallMs() - fillStart;

    CAdoDatabase db;
    QString message;
    if (db.Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                message) != store::kConnected) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(message));
        return false;
    }
    // Three reminders due at 10:00:00 today, so that the pair reads rows.
    RowSet due;
    for (const char* date : {"2026-12-08", "2026-12-08", "Every Day"})
        due << Row{"due", "now", QString::fromLatin1(date), "10:00:00", "0", "2026-12-01 08:00:00"};
    if (db.InsertRows(kTable, {"titile", "text", "date", "time", "use", "insertdatatime"}, due, 3, message) !=
        3)
        return false;

    const QString fixed = dueClause(QStringLiteral("10:00:00"));
    f.dueSameMs = medianCpuMs(2001, [&](int) {
        f.dueMatches = duePair(db, fixed);
        return f.dueMatches >= 0;
    });
    f.dueNewMs =
        medianCpuMs(2001, [&](int i) { return duePair(db, dueClause(timeOfSecond(40000 + i))) >= 0; });

    const int runs = records >= 1000000 ? 3 : 9;
    std::vector<double> walls;
    f.listCpuMs = medianCpuMs(runs, [&](int) {
        const double start = wallMs();
        const int n = db.CountRows(kTable, QString(), message);
        RowSet rows;
        const int read = db.SelectRows(kTable, QString(), kListFields, rows, n, message);
        walls.push_back(wallMs() - start);
        return read == n && n == records + 3;
    });
    f.listWallMs = walls.empty() ? -1 : median(walls);
    db.Close();
    SetProgramFolderForTesting(QString());
    return f.dueSameMs >= 0 && f.dueNewMs >= 0 && f.listCpuMs >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("%10s %10s %13s %13s %8s %13s %13s\n", "records", "fill ms", "due same ms", "due new ms",
                "matches", "list cpu ms", "list wall ms");
    for (int records : {1000, 100000, 1000000}) {
        Figures f;
        if (!measure(records, f)) {
            std::fprintf(stderr, "benchmark failed at %d records\n", records);
            return 1;
        }
        std::printf("%10d %10.0f %13.4f %13.4f %8d %13.1f %13.1f\n", records, f.fillMs, f.dueSameMs,
                    f.dueNewMs, f.dueMatches, f.listCpuMs, f.listWallMs);
        std::fflush(stdout);
    }
    std::printf("due: CountRows + SelectRows of id with the due clause, median CPU time of 2001 runs;\n"
                "  same: one clause again and again (cached statements); new: a different second each run\n"
                "list: CountRows + SelectRows of all seven fields, median of 9 runs (3 at 1,000,000)\n");
    return 0;
}
