// Writes and reads a calendar of 10,000 reminders through the iCalendar mapping and prints the times.
#include "calendar/ICalendar.h"
#include "calendar/Recurrence.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

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
    QTextStream(stdout) << "write 10000 events: " << writeMs << " ms (" << text.size() / 1024 << " KiB)\n"
                        << "read 10000 events: " << readMs << " ms (" << read.events.size() << " read)\n";
    // An optional path keeps the calendar for other readers to check.
    if (argc > 1) {
        QFile out(QString::fromLocal8Bit(argv[1]));
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
            return 2;
    }
    return read.events.size() == events.size() ? 0 : 1;
}
