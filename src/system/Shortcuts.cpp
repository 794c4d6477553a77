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

namespace {
bool sameFolder(const QString& a, const QString& b)
{
    return !a.isEmpty() && QDir::cleanPath(a) == QDir::cleanPath(b);
}

// The desktop's menu shows every entry below an applications folder, subfolders
// included, and one entry per name relative to that folder: a link at the top
// of the folder that holds the menu folder would show the program twice.
QString menuLinkIn(const QString& applications)
{
    return join(join(join(applications, shortcut_text::kGroupFolder), shortcut_text::kMenuFolder),
                shortcut_text::kLinkFile);
}
} // namespace

ShortcutPaths BuildShortcutPaths(const ShellFolders::Locations& locations)
{
    ShortcutPaths p;
    p.groupFolder = join(locations.programs, shortcut_text::kGroupFolder);
    p.menuFolder = join(p.groupFolder, shortcut_text::kMenuFolder);
    p.menuLink = join(p.menuFolder, shortcut_text::kLinkFile);
    p.desktopLink = join(locations.desktop, shortcut_text::kLinkFile);
    p.startMenuLink = sameFolder(locations.startMenu, locations.programs)
                          ? p.menuLink
                          : join(locations.startMenu, shortcut_text::kLinkFile);
    // In the user's own applications folder it takes the menu link's name, which
    // stands in for a machine-wide one of that name and never beside it.
    p.quickLaunchLink = sameFolder(locations.quickLaunch, locations.userApplications)
                            ? menuLinkIn(locations.quickLaunch)
                            : join(locations.quickLaunch, shortcut_text::kLinkFile);
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
    QStringList written;
    for (const QString& link : {p.menuLink, p.desktopLink, p.startMenuLink, p.quickLaunchLink}) {
        if (written.contains(link))
            continue; // one place standing for two
        if (link.isEmpty() || !folders.saveShortcut(link, program, workingFolder))
            allWritten = false;
        written << link;
    }
    tell(owner, allWritten ? shortcut_text::kSent : shortcut_text::kSendFailed);
}

void DeleteShortcuts(QObject* owner)
{
    const ShellFolders::Locations l = seams::shellFolders().locations();
    const ShortcutPaths p = BuildShortcutPaths(l);
    // The menu folder, and its twin in the user's own applications folder.
    QStringList menuLinks{p.menuLink};
    if (p.quickLaunchLink == menuLinkIn(l.quickLaunch))
        menuLinks << p.quickLaunchLink;
    for (const QString& menuLink : menuLinks) {
        const QString menuFolder = FolderOfExecutable(menuLink);
        if (menuLink.isEmpty() || !fileops::EntryExists(menuFolder))
            continue;
        RemoveTree(menuFolder);
        // Only an empty group folder goes: whatever else lives there stays.
        ::rmdir(QFile::encodeName(FolderOfExecutable(menuFolder)).constData());
    }
    // Besides the links of today, the second menu entry that earlier versions
    // wrote at the top of the applications folders.
    for (const QString& link :
         {p.startMenuLink, p.quickLaunchLink, join(l.startMenu, shortcut_text::kLinkFile),
          join(l.quickLaunch, shortcut_text::kLinkFile)}) {
        if (!link.isEmpty() && fileops::EntryExists(link) && !fileops::IsFolder(link))
            removeFile(link);
    }

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
