#include "platform/MachineWide.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool ownedAndClosed(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return false;
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
}
} // namespace

bool MayStartMachineWide(const QString& program)
{
    if (program.isEmpty() || !QDir::isAbsolutePath(program))
        return false;
    const QString path = QDir::cleanPath(program);
    if (QFileInfo(path).canonicalFilePath() != path)
        return false;
    // The file itself must not be writable by others, sticky bit or not.
    struct stat st;
    const QByteArray bytes = QFile::encodeName(path);
    if (::lstat(bytes.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return false;
    QByteArray p = bytes;
    while (true) {
        if (!ownedAndClosed(p))
            return false;
        const int slash = p.lastIndexOf('/');
        if (slash <= 0)
            return ownedAndClosed("/");
        p.truncate(slash);
    }
}
