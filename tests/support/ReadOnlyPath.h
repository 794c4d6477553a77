#pragma once

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <unistd.h>

// The immutable attribute: read-only even for root, whom modes do not stop (it
// needs CAP_LINUX_IMMUTABLE and a file system that keeps it; isSet() says
// whether it worked). Cleared again at the end, or the temporary folder could
// not be removed.
class ImmutableFile
{
public:
    explicit ImmutableFile(const QString& path) : m_path(path) { m_set = setFlag(true); }
    ~ImmutableFile()
    {
        if (m_set)
            setFlag(false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool isSet() const { return m_set; }

private:
    bool setFlag(bool on)
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    QString m_path;
    bool m_set = false;
};

// A file or folder made read-only for this process while the object lives:
// its write bits cleared, and, for root, the immutable attribute as well.
// Restored at the end, or the temporary folder could not be removed.
class ReadOnlyPath
{
public:
    explicit ReadOnlyPath(const QString& path) : m_path(path), m_mode(QFile::permissions(path))
    {
        const QFile::Permissions write =
            QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        m_set = QFile::setPermissions(path, m_mode & ~write);
        if (m_set && ::geteuid() == 0) {
            m_immutable.emplace(path);
            m_set = m_immutable->isSet();
        }
        if (m_set)
            m_set = ::access(QFile::encodeName(path).constData(), W_OK) != 0;
    }
    ~ReadOnlyPath()
    {
        // First: the mode of an immutable file cannot be changed.
        m_immutable.reset();
        QFile::setPermissions(m_path, m_mode);
    }
    ReadOnlyPath(const ReadOnlyPath&) = delete;
    ReadOnlyPath& operator=(const ReadOnlyPath&) = delete;

    bool isSet() const { return m_set; }

private:
    QString m_path;
    QFile::Permissions m_mode;
    std::optional<ImmutableFile> m_immutable;
    bool m_set = false;
};
