#include "timers/Shutdown.h"

#include "app/ReminderApp.h"
#include "platform/MessageBoxes.h"
#include "platform/Power.h"
#include "platform/Seams.h"

#include <QWidget>

void ShutDownSystem(QWidget* owner)
{
    if (CReminderApp* app = CReminderApp::instance())
        app->ReleaseStore();
    // No privilege to enable first: the system decides whether this user may
    // power off, and other programs' inhibitors can still stop it.
    QString error;
    if (!seams::power().powerOff(&error))
        ShowMessageBox(owner, QStringLiteral("ExitWindowsEx"));
}

AutoShutdownEdit OnAutoShutdownClicked(QWidget* owner, bool autoShutdown)
{
    AutoShutdownEdit edit;
    if (!autoShutdown) {
        edit.clearEditor = true;
        edit.editsEnabled = true;
        return edit;
    }
    const MbResult answer =
        ShowMessageBox(owner, QString::fromUtf8("\n 关机前是否需要进行提示？  "),
                       QString::fromUtf8("Tolva提示"), MbButtons::YesNo, MbIcon::None, MbResult::No, true);
    edit.fillTexts = true;
    edit.subject = QString::fromUtf8(shutdown::kSubject);
    edit.content = QString::fromUtf8(answer == MbResult::Yes ? shutdown::kPrompt : shutdown::kDirect);
    edit.editsEnabled = false;
    return edit;
}
