#include "base/FileOps.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// A temporary file beside the target; commit() moves it into place, anything
// else removes it again.
class AtomicFile
{
public:
    explicit AtomicFile(const QString& target) : m_target(QFile::encodeName(target))
    {
        const int slash = m_target.lastIndexOf('/');
        m_folder = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : m_target.left(slash));
        const QByteArray name = slash < 0 ? m_target : m_target.mid(slash + 1);
        m_temp = m_folder + "/." + name + ".XXXXXX";
    }
    ~AtomicFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_created)
            ::unlink(m_temp.constData());
    }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open(mode_t mode)
    {
        m_fd = ::mkstemp(m_temp.data());
        if (m_fd < 0)
            return false;
        m_created = true;
        return ::fchmod(m_fd, mode & 0777) == 0;
    }
    bool write(const char* data, size_t size) { return writeAll(m_fd, data, size); }
    bool commit()
    {
        const bool synced = ::fsync(m_fd) == 0;
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        if (!synced || !closed)
            return false;
        if (::rename(m_temp.constData(), m_target.constData()) != 0)
            return false;
        m_created = false;
        // The rename itself must reach the disk too.
        const int dir = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    QByteArray m_target;
    QByteArray m_folder;
    QByteArray m_temp;
    int m_fd = -1;
    bool m_created = false;
};

} // namespace

bool EntryExists(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool IsFolder(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CanWrite(const QString& path)
{
    return !path.isEmpty() && ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode)
{
    AtomicFile out(path);
    return out.open(mode) && out.write(data.constData(), size_t(data.size())) && out.commit();
}

unsigned ModeOr(const QString& path, unsigned fallback)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    return fallback;
}

namespace {
// mode < 0: the replaced file's bits, else the source's.
bool copyAtomically(const QString& from, const QString& to, int mode)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    if (mode < 0)
        mode = int(ModeOr(to, ok ? st.st_mode & 07777 : 0600));

    AtomicFile out(to);
    ok = ok && out.open(mode_t(mode));
    char buffer[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = out.write(buffer, size_t(n));
    }
    ::close(in);
    return ok && out.commit();
}
} // namespace

bool CopyFileAtomically(const QString& from, const QString& to)
{
    return copyAtomically(from, to, -1);
}

bool CopyFileAtomically(const QString& from, const QString& to, unsigned mode)
{
    return copyAtomically(from, to, int(mode & 07777));
}

} // namespace fileops
