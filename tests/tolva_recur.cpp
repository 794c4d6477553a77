// Expands rules for the comparison with independent implementations (tests/compare_recurrence.py).
// Reads lines "START<TAB>RULE<TAB>COUNT[<TAB>AFTER]" from stdin; START and AFTER "yyyy-MM-dd HH:mm:ss",
// RULE an RRULE or "WORKDAYS". Writes per line "OK" and the occurrences at or after AFTER (default: the
// start), tab-separated, or "ERR" and the refusal. With --holidays FILE the workdays follow that file.
#include "calendar/LunarRule.h"
#include "calendar/Recurrence.h"
#include "calendar/WorkdayCalendar.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <memory>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto workdays = std::make_shared<calendar::WorkdayCalendar>();
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--holidays"));
    if (at > 0 && at + 1 < args.size()) {
        QFile file(args.at(at + 1));
        QString error;
        if (!file.open(QIODevice::ReadOnly) || !workdays->parse(QString::fromUtf8(file.readAll()), &error)) {
            QTextStream(stderr) << "holidays: " << error << '\n';
            return 2;
        }
    }
    QTextStream in(stdin);
    QTextStream out(stdout);
    QString line;
    while (in.readLineInto(&line)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 3) {
            out << "ERR bad input line\n";
            continue;
        }
        const QDateTime start = calendar::wallFromText(f.at(0));
        QString error;
        const calendar::Recurrence r = f.at(1) == QStringLiteral("WORKDAYS")
                                           ? calendar::Recurrence::workdays(start, workdays)
                                           : calendar::Recurrence::parse(f.at(1), start, &error);
        if (!r.isValid()) {
            out << "ERR\t" << error << '\n';
            continue;
        }
        const QDateTime from = f.size() > 3 ? calendar::wallFromText(f.at(3)) : start;
        QStringList fields{QStringLiteral("OK")};
        for (const QDateTime& t : r.occurrences(from, f.at(2).toInt()))
            fields << calendar::wallText(t);
        out << fields.join(QLatin1Char('\t')) << '\n';
        out.flush();
    }
    return 0;
}
