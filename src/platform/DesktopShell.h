#pragma once

#include "platform/Shell.h"

#include <QStringList>

// Opens addresses with the desktop's default handler (xdg-open through Qt),
// starts the screen saver with xdg-screensaver, and finds the default web
// browser through its desktop entry.
class DesktopShell final : public Shell
{
public:
    int open(const QString& target, int showCommand) override;
    bool startScreenSaver() override;
    // The Exec line of the default browser's desktop entry: the one xdg-settings
    // names, else the x-scheme-handler/http default of the mimeapps.list files.
    QString defaultBrowserCommand() override;
    // Splits the line as a shell would (quotes, no expansion) and starts it detached.
    int runCommand(const QString& commandLine, int showCommand) override;
};

// The steps of the browser lookup, on given files and folders.

// The mimeapps.list files in the order the desktop reads them.
QStringList MimeAppsListFiles();
// The applications folders that hold desktop entries, most important first.
QStringList ApplicationFolders();
// The first desktop entry of [Default Applications] for mimeType, in the first
// file that names one; empty when none does.
QString DefaultHandlerFromMimeApps(const QStringList& mimeAppsFiles, const QString& mimeType);
// The file of a desktop entry id in the first folder that holds it ("kde-foo.desktop"
// may also lie in kde/foo.desktop); empty when none does.
QString DesktopEntryPath(const QString& desktopId, const QStringList& applicationFolders);
// The Exec value of the [Desktop Entry] group, its escapes resolved; empty when missing.
QString DesktopEntryExec(const QString& desktopEntryFile);
