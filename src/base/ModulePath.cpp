#include "base/ModulePath.h"

#include <QFile>
#include <QMutex>

namespace {
QMutex g_mutex;
QString g_override;
} // namespace

QString GetModuleFilePath()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_override.isEmpty())
            return g_override;
    }
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

void SetModuleFilePathForTesting(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_override = path;
}
