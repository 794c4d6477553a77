#include "app/CommandLine.h"
#include "app/Localization.h"
#include "app/ReminderApp.h"
#include "app/SessionEnd.h"
#include "base/Constants.h"
#include "platform/AsyncSocket.h"
#include "platform/AutostartEntry.h"
#include "platform/Clock.h"
#include "platform/DBusNotifications.h"
#include "platform/DesktopShell.h"
#include "platform/KeychainSecretStore.h"
#include "platform/LogindPower.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtSound.h"
#include "platform/Seams.h"
#include "platform/SessionIdleMonitor.h"
#include "platform/ShellFolders.h"
#include "platform/TimedatedClock.h"
#include "reminders/CalendarExchange.h"
#include "reminders/Repeat.h"
#include "store/DataMaintenance.h"
#include "store/RepairDlg.h"

#include "app/ReminderDlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {
bool haveDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char* argv[])
{
    // The arguments as given: QApplication takes its own options (-style, ...) out of argv.
    const QStringList arguments = CReminderApp::CommandLineArguments(argc, argv);
    // A command runs without a window, beside a running copy or without one.
    if (commandline::IsCommand(arguments)) {
        QCoreApplication app(argc, argv);
        SystemLocalClock clock;
        seams::setClock(&clock);
        KeychainSecretStore secrets; // --sync-account and --sync keep and read the password there
        seams::setSecretStore(&secrets);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return commandline::Run(arguments, out, err);
    }

    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "tolva: no display to show the program on (neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set). Start it from a desktop session.\n");
        return EXIT_FAILURE;
    }

    // On X11, painting into a shared-memory image makes Qt wait for a round
    // trip to the server before each repaint; the only thing that repaints while
    // the program idles is the clock line, once a second, and its few pixels
    // cost less through the socket than three wake-ups a second. A user's own
    // setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolva"));
    // No display name: Qt would append it to every window title ("Tolva小精灵2016 — Tolva小精灵").
    // The main window hides into the notification area; that must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    UseChineseInterface(app);

    SystemLocalClock clock;
    QtMessageBoxes boxes;
    DesktopShell shell;
    seams::setClock(&clock);
    seams::setMessageBoxes(&boxes);
    seams::setShell(&shell);
    QtSound sound;
    seams::setSound(&sound);
    LogindPower power;
    seams::setPower(&power);
    TimedatedClock systemClock;
    seams::setSystemClock(&systemClock);
    PosixSocketFactory sockets;
    seams::setSockets(&sockets);
    AutostartEntry autostart(AutostartEntry::desktopSessionFolders());
    seams::setAutostart(&autostart);
    ShellFolders folders(ShellFolders::desktopSessionLocations());
    folders.markTrusted = &ShellFolders::MarkTrustedWithGio;
    seams::setShellFolders(&folders);
    DBusNotifications notifications;
    seams::setNotifications(&notifications);
    SessionIdleMonitor idleMonitor;
    seams::setIdleMonitor(&idleMonitor);
    KeychainSecretStore secrets;
    seams::setSecretStore(&secrets);

    CReminderApp theApp;
    // 常规设置's holiday loader keeps the arrangement where the workday rules read it.
    SetHolidayKeeper(&repeat::LoadHolidays);
    // 常规设置's import and export of .ics files, in the reminders' own mapping.
    SetCalendarFiles({[](CAdoDatabase& db, const QString& path, QString& report) {
                          reminders::ExchangeCounts counts;
                          const bool ok = reminders::ImportCalendarFile(db, path, counts, report);
                          if (ok)
                              report = reminders::ImportSummaryText(counts);
                          return ok;
                      },
                      &reminders::ExportCalendarFile});
    theApp.runRepairDialog = [] {
        CRepairDlg dlg;
        dlg.exec();
    };
    // Log-off or a shutdown started elsewhere releases the store first.
    SessionEnd sessionEnd;
    sessionEnd.watchApplication(&app);
    sessionEnd.watchLogind();
    // A kill from the session or the terminal ends the program the same way.
    sessionEnd.watchSignals();
    theApp.runMainWindow = [](bool showAllowed) {
        CReminderDlg dlg(showAllowed);
        dlg.exec();
    };
    CReminderDlg::EnableResumeWatch();
    CReminderDlg::EnableSync();
    theApp.InitInstance(arguments);
    return EXIT_SUCCESS;
}
