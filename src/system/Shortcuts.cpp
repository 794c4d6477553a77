#include "system/Shortcuts.h"

#include "base/FileOps.h"
#include "base/ModulePath.h"
#include "base/Paths.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"

#include <QDir>
#include <QFile>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString join(const QString& folder, const char* name)
{
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QString::fromUtf8(name);
}

bool removeFile(const QString& path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

void tell(QObject* owner, const char* text)
{
    ShowMessageBox(owner, QString::fromUtf8(text));
}

void removeTreeBytes(const QByteArray& folder)
{
    struct stat st;
    if (::lstat(folder.constData(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        // A link in place of the folder goes as a link; whatever it points to stays.
        if (S_ISLNK(st.st_mode))
            ::unlink(folder.constData());
        return;
    }
    // A folder without write permission is the read-only folder here.
    ::chmod(folder.constData(), (st.st_mode & 07777) | S_IRWXU);
    DIR* dir = ::opendir(folder.constData());
    if (dir) {
        while (const dirent* e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray child = folder + '/' + name;
            struct stat cst;
            if (::lstat(child.constData(), &cst) != 0)
                continue;
            if (S_ISDIR(cst.st_mode))
                removeTreeBytes(child);
            else
                ::unlink(child.constData());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.constData());
}

} // namespace

ShortcutPaths BuildShortcutPaths(const ShellFolders::Locations& locations)
{
    ShortcutPaths p;
    p.groupFolder = join(locations.programs, shortcut_text::kGroupFolder);
    p.menuFolder = join(p.groupFolder, shortcut_text::kMenuFolder);
    p.menuLink = join(p.menuFolder, shortcut_text::kLinkFile);
    p.desktopLink = join(locations.desktop, shortcut_text::kLinkFile);
    p.startMenuLink = join(locations.startMenu, shortcut_text::kLinkFile);
    p.quickLaunchLink = join(locations.quickLaunch, shortcut_text::kLinkFile);
    return p;
}

void RemoveTree(const QString& folder)
{
    if (!folder.isEmpty())
        removeTreeBytes(QFile::encodeName(folder));
}

void SendShortcuts(QObject* owner)
{
    const ShellFolders& folders = seams::shellFolders();
    const ShortcutPaths p = BuildShortcutPaths(folders.locations());
    if (!p.menuFolder.isEmpty())
        QDir().mkpath(p.menuFolder);

    const QString workingFolder = GetProgramFolder();
    const QString program = GetModuleFilePath();
    // Every place is tried; a place that is unknown or cannot be written is
    // said, rather than claiming a success for a shortcut that is not there.
    bool allWritten = true;
    for (const QString& link : {p.menuLink, p.desktopLink, p.startMenuLink, p.quickLaunchLink}) {
        if (link.isEmpty() || !folders.saveShortcut(link, program, workingFolder))
            allWritten = false;
    }
    tell(owner, allWritten ? shortcut_text::kSent : shortcut_text::kSendFailed);
}

void DeleteShortcuts(QObject* owner)
{
    const ShortcutPaths p = BuildShortcutPaths(seams::shellFolders().locations());
    if (fileops::EntryExists(p.menuFolder)) {
        RemoveTree(p.menuFolder);
        // Only an empty group folder goes: whatever else lives there stays.
        ::rmdir(QFile::encodeName(p.groupFolder).constData());
    }
    if (fileops::EntryExists(p.startMenuLink))
        removeFile(p.startMenuLink);
    if (fileops::EntryExists(p.quickLaunchLink))
        removeFile(p.quickLaunchLink);

    if (!fileops::EntryExists(p.desktopLink)) {
        tell(owner, shortcut_text::kNoDesktopLink);
        return;
    }
    // A desktop link that cannot be removed ends the operation without a word,
    // rather than claiming a success.
    if (removeFile(p.desktopLink))
        tell(owner, shortcut_text::kDeleted);
}

void RepairShortcuts(QObject* owner)
{
    DeleteShortcuts(owner);
    SendShortcuts(owner);
}
