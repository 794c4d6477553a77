// A stand-in for the program that a test can kill at any moment.
//
//   tolva_faultchild add <program folder> <instance name> <tag> <count>
//       Starts up as the program does (single instance, data-file check, store
//       open, repair hook) and then adds <count> reminders the way the editor
//       adds them, subjects "<tag>-0000", "<tag>-0001", ... After each add the
//       store reported done, it writes "ok <subject>" to stdout and flushes.
//       Exit 0 when all were added, 2 when start-up failed, 3 when an add failed.
//
//   tolva_faultchild snooze <program folder> <instance name>
//       Starts up as "add" does at 2030-06-01 08:00:00 (fake clock), adds a
//       reminder due at that second, shows its popup and chooses "5 分钟" of
//       稍后提醒. Then writes "ok <id>" and waits, to be killed, until stdin
//       closes. Exit 2 when start-up failed, 3 when the snooze failed.
//
//   tolva_faultchild lock <database file>
//       Holds an exclusive lock on the file (BEGIN EXCLUSIVE), writes "locked",
//       and keeps it until stdin closes. Exit 1 when the lock cannot be had.

#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "base/Paths.h"
#include "reminders/AlertDlg.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// The content the test expects for a subject.
QString contentFor(const QString& subject)
{
    return QString::fromUtf8("故障测试 ") + subject;
}

void say(const QByteArray& line)
{
    // One write per line, so that a kill never leaves half a line behind.
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

int runAdds(const QString& folder, const QString& instance, const QString& tag, int count)
{
    FakeSeams fakes;
    // Dates in the future, one second apart, as a user's reminders would be.
    const QDateTime base(QDate(2030, 6, 1), QTime(8, 0, 0));
    fakes.clock.set(base);
    SetProgramFolderForTesting(folder);

    CReminderApp app;
    app.instanceName = instance;
    bool repaired = false;
    bool ran = false;
    int exitCode = 0;
    app.runRepairDialog = [&] { repaired = true; };
    app.runMainWindow = [&](bool) {
        ran = true;
        const QString table = QString::fromLatin1(tolva::kReminderTable);
        const QStringList fields = reminders::InsertFields();
        for (int i = 0; i < count; ++i) {
            const QString subject = QStringLiteral("%1-%2").arg(tag).arg(i, 4, 10, QLatin1Char('0'));
            const QDateTime when = base.addSecs(60 + i);
            const QStringList values = reminders::ComposeRecordValues(subject, contentFor(subject), when,
                                                                      when, false, false, fakes.clock.now());
            QString message;
            const auto db = app.database();
            if (!db || db->InsertRows(table, fields, RowSet{values}, 1, message) != 1) {
                std::fprintf(stderr, "add of %s failed: %s\n", qPrintable(subject), qPrintable(message));
                exitCode = 3;
                return;
            }
            say("ok " + subject.toUtf8() + '\n');
        }
    };
    app.InitInstance({});
    if (!ran) {
        std::fprintf(stderr, "start-up failed%s: %s\n", repaired ? " after the repair" : "",
                     qPrintable(fakes.boxes.texts().join(QStringLiteral(" | "))));
        return 2;
    }
    return exitCode;
}

void waitForStdinToClose()
{
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
}

int runSnooze(const QString& folder, const QString& instance)
{
    FakeSeams fakes;
    const QDateTime due(QDate(2030, 6, 1), QTime(8, 0, 0));
    fakes.clock.set(due.addSecs(-60));
    SetProgramFolderForTesting(folder);

    CReminderApp app;
    app.instanceName = instance;
    bool ran = false;
    int exitCode = 0;
    app.runRepairDialog = [] {};
    app.runMainWindow = [&](bool) {
        ran = true;
        const auto db = app.database();
        const QStringList values =
            reminders::ComposeRecordValues(QStringLiteral("snooze"), contentFor(QStringLiteral("snooze")),
                                           due, due, false, false, fakes.clock.now());
        QString message;
        if (!db || db->InsertRows(QString::fromLatin1(tolva::kReminderTable), reminders::InsertFields(),
                                  RowSet{values}, 1, message) != 1) {
            std::fprintf(stderr, "add failed: %s\n", qPrintable(message));
            exitCode = 3;
            return;
        }
        const QString id = QString::number(db->LastInsertId());
        fakes.clock.set(due);
        CAlertDlg popup(id);
        popup.storeService = &app;
        if (!popup.OnInitDialog()) {
            exitCode = 3;
            return;
        }
        popup.OnSnooze(5);
        if (!popup.closed()) {
            std::fprintf(stderr, "snooze failed: %s\n",
                         qPrintable(fakes.boxes.texts().join(QStringLiteral(" | "))));
            exitCode = 3;
            return;
        }
        say("ok " + id.toUtf8() + '\n');
        waitForStdinToClose();
    };
    app.InitInstance({});
    if (!ran) {
        std::fprintf(stderr, "start-up failed: %s\n",
                     qPrintable(fakes.boxes.texts().join(QStringLiteral(" | "))));
        return 2;
    }
    return exitCode;
}

int holdLock(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK ||
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "no exclusive lock on %s: %s\n", qPrintable(path), sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    say("locked\n");
    waitForStdinToClose();
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: tolva_faultchild add <program folder> <instance name> <tag> <count>\n"
                         "       tolva_faultchild snooze <program folder> <instance name>\n"
                         "       tolva_faultchild lock <database file>\n");
    return 64;
}

} // namespace

int main(int argc, char* argv[])
{
    // Only the snooze shows a window (the popup, on the platform the test gives).
    const bool widgets = argc > 1 && std::strcmp(argv[1], "snooze") == 0;
    const std::unique_ptr<QCoreApplication> qapp =
        widgets ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 5 && args[0] == QLatin1String("add")) {
        bool ok = false;
        const int count = args[4].toInt(&ok);
        if (!ok || count < 0)
            return usage();
        return runAdds(args[1], args[2], args[3], count);
    }
    if (args.size() == 3 && args[0] == QLatin1String("snooze"))
        return runSnooze(args[1], args[2]);
    if (args.size() == 2 && args[0] == QLatin1String("lock"))
        return holdLock(args[1]);
    return usage();
}
