#include "platform/ShellFolders.h"

#include "base/Constants.h"
#include "base/DesktopEntry.h"
#include "base/FileOps.h"
#include "base/ModulePath.h"
#include "base/Paths.h"
#include "platform/MachineWide.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

namespace {
// This process may write the folder, or make it: its nearest existing folder
// above may be written. Permission bits alone say nothing for root; access()
// also knows read-only mounts.
bool mayWrite(const QString& folder)
{
    QString f = QDir::cleanPath(folder);
    while (!f.isEmpty() && !fileops::EntryExists(f))
        f = FolderOfExecutable(f);
    if (f.isEmpty())
        f = QStringLiteral("/");
    return fileops::IsFolder(f) && ::access(QFile::encodeName(f).constData(), W_OK | X_OK) == 0;
}
} // namespace

ShellFolders::Locations ShellFolders::desktopSessionLocations()
{
    Locations l;
    l.programs = QString::fromUtf8(kMachineApplications);
    l.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    l.startMenu = QString::fromUtf8(kMachineApplications);
    l.userApplications = XdgDataHome() + QStringLiteral("/applications");
    l.quickLaunch = l.userApplications;
    return l;
}

ShellFolders::ShellFolders(const Locations& locations) : m_locations(locations) {}

ShellFolders::Locations ShellFolders::locations() const
{
    Locations l = m_locations;
    if (l.userApplications.isEmpty())
        return l;
    const bool machineWide = MayStartMachineWide(GetModuleFilePath());
    for (QString* place : {&l.programs, &l.startMenu}) {
        if (!place->isEmpty() && (!machineWide || !mayWrite(*place)))
            *place = l.userApplications;
    }
    return l;
}

QString ShellFolders::IconFor(const QString& program)
{
    const QString folder = FolderOfExecutable(program);
    const QString share = FolderOfExecutable(folder) + QStringLiteral("/share");
    const QString themed = share + QStringLiteral("/icons/hicolor/scalable/apps/") +
                           QLatin1String(kIconName) + QStringLiteral(".svg");
    if (QFileInfo(themed).isFile()) {
        for (const QString& searched :
             QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            if (QDir::cleanPath(searched) == QDir::cleanPath(share))
                return QString::fromUtf8(kIconName);
        }
        return themed;
    }
    const QString portable = folder + QLatin1Char('/') + QLatin1String(kPortableIconFile);
    return QFileInfo(portable).isFile() ? portable : QString::fromUtf8(kIconName);
}

bool ShellFolders::saveShortcut(const QString& file, const QString& program,
                                const QString& workingFolder) const
{
    const QString folder = QFileInfo(file).absolutePath();
    // A fresh account may not have the folder yet (no desktop, no menu folder).
    if (!fileops::IsFolder(folder) && !QDir().mkpath(folder))
        return false;

    desktop::Entry entry;
    entry.name = QString::fromUtf8(tolva::kProgramTitle);
    entry.program = program;
    entry.workingFolder = workingFolder;
    entry.icon = IconFor(program);
    // Executable, as desktops other than GNOME's ask of a launcher they did not write.
    if (!fileops::WriteFileAtomically(file, desktop::EntryText(entry), 0755))
        return false;
    if (markTrusted && !m_locations.desktop.isEmpty() &&
        QDir::cleanPath(folder) == QDir::cleanPath(QFileInfo(m_locations.desktop).absoluteFilePath()))
        markTrusted(file);
    return true;
}

void ShellFolders::MarkTrustedWithGio(const QString& file)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        return;
    QProcess p;
    p.start(gio, {QStringLiteral("set"), file, QStringLiteral("metadata::trusted"), QStringLiteral("true")});
    if (p.waitForStarted(2000) && !p.waitForFinished(3000))
        p.kill();
    p.waitForFinished(1000);
}
