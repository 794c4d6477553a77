#pragma once

#include <QString>
#include <QStringList>

// The program's log-on start: what the Run value "Tolvaelfin" of the machine-wide
// Run key is on Windows, a desktop entry Tolvaelfin.desktop in an XDG autostart
// folder here. The folder is given, so that tests work on a temporary one.
class AutostartEntry
{
public:
    // The machine-wide autostart folder, the counterpart of HKEY_LOCAL_MACHINE's Run key.
    static constexpr const char kMachineFolder[] = "/etc/xdg/autostart";
    static constexpr const char kEntryName[] = "Tolvaelfin";

    explicit AutostartEntry(const QString& folder);

    const QString& folder() const { return m_folder; }
    QString entryPath() const; // <folder>/Tolvaelfin.desktop

    // The key opened for writing: the folder is there (made first, when create
    // is set) and this process may write to it. False for lack of rights.
    bool openForWriting(bool create) const;
    // Writes the entry that starts program with arguments; false when it cannot be written.
    bool write(const QString& program, const QStringList& arguments) const;
    // Removes the entry; false when there was none or it could not be removed.
    bool remove() const;

private:
    QString m_folder;
};
