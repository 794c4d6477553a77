#pragma once

#include <QString>
#include <functional>

// The four places of the program's shortcuts, and the writing of one shortcut.
// They are XDG folders holding desktop entries. All folders are given, so that tests use temporary ones.
class ShellFolders
{
public:
    struct Locations
    {
        QString programs;    // holds the group folder (the all-users Start menu's programs)
        QString desktop;     // the desktop
        QString startMenu;   // the Start menu itself
        QString quickLaunch; // stands for Quick Launch; the link goes straight into it
        // Where programs and startMenu give way when this user may not write
        // them: the user's own applications folder. Empty: they never give way.
        QString userApplications;
    };

    // The machine-wide applications folder: programs and Start menu alike.
    static constexpr const char kMachineApplications[] = "/usr/local/share/applications";
    // The program's icon as the package installs it into the icon theme.
    static constexpr const char kIconName[] = "org.example.tolva";
    // The icon file a portable copy carries beside its executable.
    static constexpr const char kPortableIconFile[] = "tolva.svg";

    // The real places: kMachineApplications, the user's XDG desktop folder and
    // the user's own applications folder ($XDG_DATA_HOME/applications).
    static Locations desktopSessionLocations();

    explicit ShellFolders(const Locations& locations);

    // The places as given.
    const Locations& configured() const { return m_locations; }
    // The places for this user now: a machine-wide one gives way to
    // userApplications where this user may not write (nor make) it, or where the
    // running executable may not start in every session (MayStartMachineWide).
    Locations locations() const;

    // Writes a shortcut at file that starts program in workingFolder, making the
    // file's folder first if it is missing. False when it could not be written.
    bool saveShortcut(const QString& file, const QString& program, const QString& workingFolder) const;

    // The Icon value of a shortcut to program: the theme's icon name where the
    // program's own prefix (<prefix>/bin/tolva) installed the icon into a theme
    // the desktop searches; the full path of the icon file where the desktop
    // would not find it by name (a package unpacked elsewhere, a portable copy
    // with tolva.svg beside the executable); the name when there is no file.
    static QString IconFor(const QString& program);

    // Called with each shortcut written to the desktop folder: file managers
    // such as GNOME's launch desktop files there only once they are trusted.
    std::function<void(const QString& file)> markTrusted;
    // gio set <file> metadata::trusted true, when gio is installed; best effort.
    static void MarkTrustedWithGio(const QString& file);

private:
    Locations m_locations;
};
