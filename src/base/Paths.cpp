#include "base/Paths.h"

#include "base/FileOps.h"
#include "base/ModulePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QMutex g_overrideMutex;
QString g_override;
bool g_hasOverride = false;

const char kDataFolderName[] = "myTolva";
const char kUserDataRoot[] = "Tolva";

QString xdgFolder(const char* variable, const char* belowHome)
{
    const QString value = qEnvironmentVariable(variable);
    // The XDG Base Directory specification: a relative path is invalid and ignored.
    if (value.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(belowHome);
}

// Makes the folder and every missing one above it, each with mode (the umask
// cannot widen it); the folders that exist already stay as they are.
bool makeFolders(const QString& folder, mode_t mode)
{
    if (fileops::IsFolder(folder))
        return true;
    const QString parent = FolderOfExecutable(folder);
    if (!parent.isEmpty() && parent != folder && !makeFolders(parent, mode))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), mode) == 0 || errno == EEXIST;
}

void syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// rename() that never replaces what stands at to, not even an empty folder.
bool renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // File systems without the flag: a hard link of a folder is impossible, so
    // look first; only the user's own processes can race here.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat st;
    return ::lstat(to.constData(), &st) != 0 && ::rename(from.constData(), to.constData()) == 0;
}
} // namespace

QString FolderOfExecutable(const QString& executablePath)
{
    const int slash = executablePath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : executablePath.left(slash);
}

QString GetProgramFolder()
{
    {
        QMutexLocker lock(&g_overrideMutex);
        if (g_hasOverride)
            return g_override;
    }
    // Resolved at every call: the executable may have been moved or replaced.
    return FolderOfExecutable(GetModuleFilePath());
}

void SetProgramFolderForTesting(const QString& folder)
{
    QMutexLocker lock(&g_overrideMutex);
    g_override = folder;
    g_hasOverride = !folder.isEmpty();
}

QString XdgDataHome()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

QString XdgConfigHome()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

bool IsPortableLayout()
{
    return fileops::IsFolder(GetProgramFolder() + QLatin1Char('/') + QLatin1String(kDataFolderName));
}

QString DataRootFolder()
{
    if (IsPortableLayout())
        return GetProgramFolder();
    return XdgDataHome() + QLatin1Char('/') + QLatin1String(kUserDataRoot);
}

QString DataFolderPath()
{
    return DataRootFolder() + QStringLiteral("/myTolva");
}
QString DatabaseFilePath()
{
    return DataRootFolder() + QStringLiteral("/myTolva/tolva.dat");
}
QString BackupFilePath()
{
    return DataRootFolder() + QStringLiteral("/myTolva/tolvaBak.dat");
}
QString SettingsFilePath()
{
    return DataRootFolder() + QStringLiteral("/myTolva/Settings.ini");
}

QString ShippedDatabasePath()
{
    return FolderOfExecutable(GetProgramFolder()) + QStringLiteral("/share/tolva/tolva.dat");
}

bool CreateUserDataFolder()
{
    if (IsPortableLayout())
        return false;
    const QString root = DataRootFolder();
    const QString folder = root + QLatin1Char('/') + QLatin1String(kDataFolderName);
    const QString shipped = ShippedDatabasePath();
    // A data folder of any kind, even a broken one, is the user's and stays.
    if (fileops::EntryExists(folder) || !QFileInfo(shipped).isFile())
        return false;
    if (!makeFolders(root, 0700))
        return false;

    QByteArray temp = QFile::encodeName(root) + "/.myTolva.XXXXXX";
    if (!::mkdtemp(temp.data())) // mode 0700
        return false;
    const QString tempFolder = QFile::decodeName(temp);
    const bool made = fileops::CopyFileAtomically(shipped, tempFolder + QStringLiteral("/tolva.dat"), 0600) &&
                      renameNoReplace(temp, QFile::encodeName(folder));
    if (!made) {
        ::unlink(QFile::encodeName(tempFolder + QStringLiteral("/tolva.dat")).constData());
        ::rmdir(temp.constData());
        return false;
    }
    syncFolder(QFile::encodeName(root));
    return true;
}
