#pragma once

#include <QString>
#include <QStringList>

// The program's log-on start, "Tolvaelfin": a desktop entry Tolvaelfin.desktop
// in an XDG autostart folder. The machine-wide folder serves where this user may write it and
// the program may start in every session (MayStartMachineWide); else
// the user's own folder, whose entry of the same name wins over the machine-wide
// one (the XDG autostart specification). The folders are given, so that tests
// work on temporary ones.
class AutostartEntry
{
public:
    // The machine-wide autostart folder, the counterpart of HKEY_LOCAL_MACHINE's Run key.
    static constexpr const char kMachineFolder[] = "/etc/xdg/autostart";
    static constexpr const char kEntryName[] = "Tolvaelfin";

    struct Folders
    {
        QString machine; // /etc/xdg/autostart
        QString user;    // $XDG_CONFIG_HOME/autostart
    };
    // The real folders of this user's desktop session.
    static Folders desktopSessionFolders();

    explicit AutostartEntry(const Folders& folders);

    const Folders& folders() const { return m_folders; }
    QString machineEntryPath() const; // <machine>/Tolvaelfin.desktop
    QString userEntryPath() const;    // <user>/Tolvaelfin.desktop

    // Writes the entry that starts program with arguments at this user's log-on:
    // machine-wide where the user may write there and MayStartMachineWide(program) (an entry of the user's
    // own, which would hide it, goes), else in the user's own folder. False when it could be written nowhere.
    bool write(const QString& program, const QStringList& arguments) const;
    // Ends the log-on start for this user: removes the entries the user may
    // remove, and hides a machine-wide one that stays with an entry of the
    // user's own holding Hidden=true. False when none was in effect or one
    // still is.
    bool remove() const;
    // An entry of ours starts the program at this user's log-on.
    bool isInEffect() const;

private:
    Folders m_folders;
};
