#include "base/Paths.h"

#include <QFile>
#include <QMutex>

namespace {
QMutex g_overrideMutex;
QString g_override;
bool g_hasOverride = false;
QString g_executableOverride;
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
        if (!g_executableOverride.isEmpty())
            return FolderOfExecutable(g_executableOverride);
    }
    // Resolved at every call: the executable may have been moved or replaced.
    return FolderOfExecutable(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
}

void SetProgramFolderForTesting(const QString& folder)
{
    QMutexLocker lock(&g_overrideMutex);
    g_override = folder;
    g_hasOverride = !folder.isEmpty();
}

void SetExecutablePathForTesting(const QString& executablePath)
{
    QMutexLocker lock(&g_overrideMutex);
    g_executableOverride = executablePath;
}

QString DataFolderPath()
{
    return GetProgramFolder() + QStringLiteral("/myTolva");
}
QString DatabaseFilePath()
{
    return GetProgramFolder() + QStringLiteral("/myTolva/tolva.dat");
}
QString BackupFilePath()
{
    return GetProgramFolder() + QStringLiteral("/myTolva/tolvaBak.dat");
}
QString SettingsFilePath()
{
    return GetProgramFolder() + QStringLiteral("/myTolva/Settings.ini");
}
