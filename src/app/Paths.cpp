#include "app/Paths.h"

#include <QFile>
#include <QMutex>

namespace {
QMutex g_overrideMutex;
QString g_override;
bool g_hasOverride = false;
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
    return FolderOfExecutable(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
}

void SetProgramFolderForTesting(const QString& folder)
{
    QMutexLocker lock(&g_overrideMutex);
    g_override = folder;
    g_hasOverride = !folder.isEmpty();
}

QString DataFolderPath() { return GetProgramFolder() + QStringLiteral("/myTolva"); }
QString DatabaseFilePath() { return GetProgramFolder() + QStringLiteral("/myTolva/tolva.dat"); }
QString BackupFilePath() { return GetProgramFolder() + QStringLiteral("/myTolva/tolvaBak.dat"); }
QString SettingsFilePath() { return GetProgramFolder() + QStringLiteral("/myTolva/Settings.ini"); }
