#include "platform/ShellFolders.h"

#include "base/Constants.h"
#include "base/DesktopEntry.h"
#include "base/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

ShellFolders::Locations ShellFolders::desktopSessionLocations()
{
    Locations l;
    l.programs = QString::fromUtf8(kMachineApplications);
    l.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    l.startMenu = QString::fromUtf8(kMachineApplications);
    l.quickLaunch = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    return l;
}

ShellFolders::ShellFolders(const Locations& locations) : m_locations(locations) {}

bool ShellFolders::saveShortcut(const QString& file, const QString& program,
                                const QString& workingFolder) const
{
    const QString folder = QFileInfo(file).absolutePath();
    // The shell's folders always exist on Windows; here a fresh system may lack one.
    if (!fileops::IsFolder(folder) && !QDir().mkpath(folder))
        return false;

    desktop::Entry entry;
    entry.name = QString::fromUtf8(tolva::kProgramTitle);
    entry.program = program;
    entry.workingFolder = workingFolder;
    entry.icon = QString::fromUtf8(kIconName);
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
