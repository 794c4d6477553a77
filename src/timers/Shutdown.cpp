#include "timers/Shutdown.h"

#include "platform/MessageBoxes.h"
#include "platform/Power.h"
#include "platform/Seams.h"
#include "store/StoreService.h"

#include <QPointer>
#include <QWidget>

bool ShutDownSystem(StoreService* store, QWidget* owner, ShutdownDone done)
{
    // No privilege to enable first: the system decides whether this user may
    // power off, and other programs' inhibitors can still stop it. The store
    // stays until the system has said yes, so that a refusal leaves a working
    // program behind.
    const QPointer<QWidget> ownerLeft(owner);
    return seams::power().powerOff(
        [store, ownerLeft, done = std::move(done)](bool accepted, const QString& reason) {
            if (accepted) {
                // What waited for the answer (a record to delete) still has the store.
                if (done)
                    done(true);
                if (store)
                    store->ReleaseStore();
                return;
            }
            QString text = QStringLiteral("ExitWindowsEx");
            if (!reason.isEmpty())
                text += QLatin1Char('\n') + reason;
            // The owner may have closed meanwhile (the popup does at once).
            ShowMessageBox(ownerLeft.data(), text);
            if (done)
                done(false);
        });
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
