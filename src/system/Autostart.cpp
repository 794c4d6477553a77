#include "system/Autostart.h"

#include "base/Constants.h"
#include "base/FileOps.h"
#include "base/ModulePath.h"
#include "platform/AutostartEntry.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"

namespace {
void tell(QObject* owner, const char* text)
{
    ShowMessageBox(owner, QString::fromUtf8(text));
}
} // namespace

void EnableAutostart(QObject* owner)
{
    const QString program = GetModuleFilePath();
    if (!fileops::EntryExists(program)) {
        tell(owner, autostart_text::kNoExecutable);
        return;
    }
    // There is always a place this user may write, the user's own autostart
    // folder: a failure here is a real one and is said.
    if (seams::autostart().write(program, {QString::fromUtf8(tolva::kHiddenStartSwitch)}))
        tell(owner, autostart_text::kEnabled);
    else
        tell(owner, autostart_text::kWriteFailed);
}

void DisableAutostart(QObject* owner)
{
    if (seams::autostart().remove())
        tell(owner, autostart_text::kDisabled);
    else
        tell(owner, autostart_text::kDisableFailed);
}

void RepairAutostart(QObject* owner)
{
    DisableAutostart(owner);
    EnableAutostart(owner);
}
