#include "platform/AutostartEntry.h"

#include "base/Constants.h"
#include "base/DesktopEntry.h"
#include "base/FileOps.h"
#include "base/ModulePath.h"
#include "base/Paths.h"
#include "platform/MachineWide.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace {
QString entryIn(const QString& folder)
{
    return folder.isEmpty() ? QString()
                            : folder + QLatin1Char('/') + QLatin1String(AutostartEntry::kEntryName) +
                                  QStringLiteral(".desktop");
}

// The folder is there (made first, when create is set) and this process may
// change what it holds. Permission bits alone say nothing for root; access()
// also knows read-only mounts.
bool mayChange(const QString& folder, bool create)
{
    if (folder.isEmpty())
        return false;
    if (create && !fileops::EntryExists(folder))
        QDir().mkpath(folder);
    return fileops::IsFolder(folder) && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

bool isEntryFile(const QString& path)
{
    return fileops::EntryExists(path) && !fileops::IsFolder(path);
}

// A folder of that name is not the entry and stays.
bool removeEntry(const QString& path)
{
    return isEntryFile(path) && ::unlink(QFile::encodeName(path).constData()) == 0;
}

bool writeEntry(const QString& path, const QString& program, const QStringList& arguments, bool hidden)
{
    desktop::Entry entry;
    entry.name = QString::fromUtf8(tolva::kProgramTitle);
    entry.program = program;
    entry.arguments = arguments;
    entry.hidden = hidden;
    return fileops::WriteFileAtomically(path, desktop::EntryText(entry), 0644);
}

bool isHidden(const QString& path)
{
    return desktop::ReadValue(path, QStringLiteral("Hidden")) == QLatin1String("true");
}
} // namespace

AutostartEntry::Folders AutostartEntry::desktopSessionFolders()
{
    return {QString::fromUtf8(kMachineFolder), XdgConfigHome() + QStringLiteral("/autostart")};
}

AutostartEntry::AutostartEntry(const Folders& folders) : m_folders(folders) {}

QString AutostartEntry::machineEntryPath() const
{
    return entryIn(m_folders.machine);
}

QString AutostartEntry::userEntryPath() const
{
    return entryIn(m_folders.user);
}

bool AutostartEntry::isInEffect() const
{
    const QString user = userEntryPath();
    if (isEntryFile(user))
        return !isHidden(user);
    const QString machine = machineEntryPath();
    return isEntryFile(machine) && !isHidden(machine);
}

bool AutostartEntry::write(const QString& program, const QStringList& arguments) const
{
    // A program that someone else could change never starts in other users' sessions.
    if (MayStartMachineWide(program) && mayChange(m_folders.machine, true) &&
        writeEntry(machineEntryPath(), program, arguments, false)) {
        // The user's own entry, hidden or pointing elsewhere, would win over it.
        const QString user = userEntryPath();
        if (isEntryFile(user) && !removeEntry(user))
            return writeEntry(user, program, arguments, false);
        return true;
    }
    return mayChange(m_folders.user, true) && writeEntry(userEntryPath(), program, arguments, false);
}

bool AutostartEntry::remove() const
{
    if (!isInEffect()) {
        // Nothing to cancel; a hiding entry left without anything to hide goes.
        if (!isEntryFile(machineEntryPath()) && mayChange(m_folders.user, false))
            removeEntry(userEntryPath());
        return false;
    }
    const QString machine = machineEntryPath();
    if (isEntryFile(machine) && mayChange(m_folders.machine, false))
        removeEntry(machine);
    const QString user = userEntryPath();
    if (isEntryFile(user) && mayChange(m_folders.user, false))
        removeEntry(user);
    // A machine-wide entry this user may not remove: hidden for this user alone.
    if (isEntryFile(machine) && mayChange(m_folders.user, true))
        writeEntry(user, GetModuleFilePath(), {QString::fromUtf8(tolva::kHiddenStartSwitch)}, true);
    return !isInEffect();
}
