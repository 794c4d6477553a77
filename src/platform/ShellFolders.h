#pragma once

#include <QString>
#include <functional>

// The four places of the program's shortcuts, and the writing of one shortcut.
// On Windows these are shell folders and .lnk files; here they are XDG folders
// holding desktop entries. All folders are given, so that tests use temporary ones.
class ShellFolders
{
public:
    struct Locations
    {
        QString programs;    // holds the group folder (the all-users Start menu's programs)
        QString desktop;     // the desktop
        QString startMenu;   // the Start menu itself
        QString quickLaunch; // stands for Quick Launch; the link goes straight into it
    };

    // The machine-wide applications folder: programs and Start menu alike.
    static constexpr const char kMachineApplications[] = "/usr/local/share/applications";
    // The program's icon as the package installs it into the icon theme.
    static constexpr const char kIconName[] = "org.example.tolva";

    // The real places: kMachineApplications, the user's XDG desktop folder and
    // the user's own applications folder ($XDG_DATA_HOME/applications).
    static Locations desktopSessionLocations();

    explicit ShellFolders(const Locations& locations);

    const Locations& locations() const { return m_locations; }

    // Writes a shortcut at file that starts program in workingFolder, making the
    // file's folder first if it is missing. False when it could not be written.
    bool saveShortcut(const QString& file, const QString& program, const QString& workingFolder) const;

    // Called with each shortcut written to the desktop folder: file managers
    // such as GNOME's launch desktop files there only once they are trusted.
    std::function<void(const QString& file)> markTrusted;
    // gio set <file> metadata::trusted true, when gio is installed; best effort.
    static void MarkTrustedWithGio(const QString& file);

private:
    Locations m_locations;
};
