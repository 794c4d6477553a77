// Writes and reads a calendar of 10,000 reminders through the iCalendar mapping, then exports 10,000
// records of a data file to an .ics file and imports that file into an empty data file, and prints the
// times (target: under 2 s each).
#include "base/Paths.h"
#include "calendar/ICalendar.h"
#include "calendar/Recurrence.h"
#include "platform/Clock.h"
#include "platform/Seams.h"
#include "reminders/CalendarExchange.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

bool openCopy(const QTemporaryDir& dir, const QString& name, CAdoDatabase& db)
{
    const QString file = dir.path() + QStringLiteral("/myTolva/") + name;
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), file))
        return false;
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QString message;
    return db.Open(QStringLiteral("file"), QStringLiteral("myTolva/") + name, QString(), QString(),
                   message) == store::kConnected;
}

// 10,000 records: dated, every day, weekly, monthly, lunar and workday series, some in New York.
bool fill(CAdoDatabase& db)
{
    QString message;
    return db.RunInTransaction(
               [&](QString& m) {
                   for (int i = 0; i < 10000; ++i) {
                       const QString time = QTime(8 + i % 12, i % 60).toString(QStringLiteral("HH:mm:ss"));
                       const QString date = i % 10 == 1
                                                ? QStringLiteral("Every Day")
                                                : QDate(2027, 1, 1).addDays(i % 700).toString(Qt::ISODate);
                       const QStringList values{QStringLiteral("提醒 %1").arg(i),
                                                QStringLiteral("第 %1 条提醒的内容").arg(i),
                                                date,
                                                time,
                                                QStringLiteral("0"),
                                                QStringLiteral("2026-01-01 08:00:00")};
                       std::optional<repeat::Rule> rule;
                       const QString start = date + QLatin1Char(' ') + time;
                       switch (i % 10) {
                       case 2:
                       case 3:
                           rule =
                               repeat::Rule{{}, start, QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE,FR"), {}, {}};
                           break;
                       case 4:
                           rule = repeat::Rule{{},
                                               start,
                                               QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=15"),
                                               {},
                                               QStringLiteral("America/New_York"),
                                               900};
                           break;
                       case 5:
                           rule = repeat::Rule{
                               {},
                               start,
                               QStringLiteral("RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"),
                               {},
                               {}};
                           break;
                       case 6:
                           rule = repeat::Rule{{}, start, {}, QStringLiteral("CN"), {}};
                           break;
                       default:
                           break;
                       }
                       if (reminders::AddRecord(db, values, rule, m).isEmpty())
                           return int(store::kDataError);
                   }
                   return 1;
               },
               message) == 1;
}

// Exports 10,000 records and imports them into an empty data file; false on a failure.
bool throughTheStore(QTextStream& out)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("myTolva"));
    SetProgramFolderForTesting(dir.path());
    SystemLocalClock clock;
    seams::setClock(&clock);
    CAdoDatabase source, target;
    if (!openCopy(dir, QStringLiteral("source.dat"), source) ||
        !openCopy(dir, QStringLiteral("target.dat"), target) || !fill(source))
        return false;
    const QString file = dir.path() + QStringLiteral("/reminders.ics");
    QElapsedTimer t;
    t.start();
    int count = 0;
    QString error;
    if (!reminders::ExportCalendarFile(source, file, count, error))
        return false;
    const qint64 exportMs = t.restart();
    reminders::ExchangeCounts counts;
    if (!reminders::ImportCalendarFile(target, file, counts, error))
        return false;
    const qint64 importMs = t.elapsed();
    out << "export 10000 records to a file: " << exportMs << " ms (" << count << " events, "
        << QFileInfo(file).size() / 1024 << " KiB)\n"
        << "import them into an empty data file: " << importMs << " ms (" << counts.imported << " imported, "
        << counts.simplified << " simplified, " << counts.skipped << " skipped)\n";
    return count == 10000 && counts.imported == 10000;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<calendar::ReminderEvent> events;
    const QDateTime first = calendar::wallTime(QDate(2026, 1, 1), QTime(9, 0));
    for (int i = 0; i < 10000; ++i) {
        calendar::ReminderEvent e;
        e.uid = QStringLiteral("bench-%1").arg(i);
        e.summary = QStringLiteral("提醒 %1").arg(i);
        e.description = QStringLiteral("第 %1 条提醒的内容").arg(i);
        e.start = first.addSecs(qint64(i) * 3600);
        e.stamp = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        if (i % 3 == 0)
            e.rrule = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE,FR");
        if (i % 7 == 0)
            e.tzid = QStringLiteral("America/New_York");
        e.alarmSeconds = (i % 5) * 300;
        events << e;
    }
    QElapsedTimer t;
    t.start();
    const QByteArray text = calendar::WriteCalendar(events);
    const qint64 writeMs = t.restart();
    const calendar::CalendarRead read = calendar::ReadCalendar(text);
    const qint64 readMs = t.elapsed();
    QTextStream out(stdout);
    out << "write 10000 events: " << writeMs << " ms (" << text.size() / 1024 << " KiB)\n"
        << "read 10000 events: " << readMs << " ms (" << read.events.size() << " read)\n";
    if (!throughTheStore(out))
        return 1;
    // An optional path keeps the calendar for other readers to check.
    if (argc > 1) {
        QFile out(QString::fromLocal8Bit(argv[1]));
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
            return 2;
    }
    return read.events.size() == events.size() ? 0 : 1;
}
