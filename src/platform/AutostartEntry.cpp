#include "platform/AutostartEntry.h"

#include "base/Constants.h"
#include "base/DesktopEntry.h"
#include "base/FileOps.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

AutostartEntry::AutostartEntry(const QString& folder) : m_folder(folder) {}

QString AutostartEntry::entryPath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(kEntryName) + QStringLiteral(".desktop");
}

bool AutostartEntry::openForWriting(bool create) const
{
    if (m_folder.isEmpty())
        return false;
    if (create && !fileops::EntryExists(m_folder))
        QDir().mkpath(m_folder);
    // Permission bits alone say nothing for root; access() also knows read-only mounts.
    return fileops::IsFolder(m_folder) && ::access(QFile::encodeName(m_folder).constData(), W_OK | X_OK) == 0;
}

bool AutostartEntry::write(const QString& program, const QStringList& arguments) const
{
    desktop::Entry entry;
    entry.name = QString::fromUtf8(tolva::kProgramTitle);
    entry.program = program;
    entry.arguments = arguments;
    return fileops::WriteFileAtomically(entryPath(), desktop::EntryText(entry), 0644);
}

bool AutostartEntry::remove() const
{
    // A folder of that name is not the entry and stays.
    return !fileops::IsFolder(entryPath()) && ::unlink(QFile::encodeName(entryPath()).constData()) == 0;
}
