#include "platform/AsyncSocket.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

class PosixAsyncSocket final : public AsyncSocket
{
public:
    PosixAsyncSocket(int fd, std::optional<PosixSocketFactory::Target> redirect)
        : m_fd(fd), m_redirect(redirect)
    {
    }
    ~PosixAsyncSocket() override { close(); }

    int handle() const override { return m_fd; }

    int select(int mask) override
    {
        if (m_fd < 0)
            return EBADF;
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0)
            return errno;
        m_mask = mask;
        if (!m_writable) {
            m_writable = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
            m_writable->setEnabled(false);
            QObject::connect(m_writable, &QSocketNotifier::activated, this, [this] { onWritable(); });
        }
        if (!m_readable) {
            m_readable = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
            m_readable->setEnabled(false);
            QObject::connect(m_readable, &QSocketNotifier::activated, this, [this] { onReadable(); });
        }
        updateNotifiers();
        return 0;
    }

    int connectTo(quint32 address, quint16 port) override
    {
        if (m_fd < 0)
            return EBADF;
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(m_redirect ? m_redirect->port : port);
        remote.sin_addr.s_addr = m_redirect ? m_redirect->address : address;
        int error = 0;
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0)
            error = errno;
        // An interrupted non-blocking connect goes on in the background.
        if (error == EINTR)
            error = EINPROGRESS;
        if (error == 0 || error == EINPROGRESS) {
            m_connecting = true;
            updateNotifiers();
        }
        return error;
    }

    qint64 receive(char* buffer, qint64 size, int* error) override
    {
        if (m_fd < 0) {
            *error = EBADF;
            return -1;
        }
        const ssize_t n = ::recv(m_fd, buffer, size_t(size), 0);
        const int e = n < 0 ? errno : 0;
        // Reading re-arms the read event, unless the stream is over: at its end
        // the socket stays readable for good and would report without pause.
        const bool more = n > 0 || e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
        m_readArmed = more;
        updateNotifiers();
        if (n < 0) {
            *error = e;
            return -1;
        }
        return n;
    }

    void close() override
    {
        if (m_fd < 0)
            return;
        // Notifiers must let go of the handle before it is closed (and reused).
        m_connecting = false;
        m_connected = false;
        updateNotifiers();
        ::close(m_fd);
        m_fd = -1;
    }

private:
    void updateNotifiers()
    {
        const bool open = m_fd >= 0;
        if (m_writable)
            m_writable->setEnabled(open && m_connecting && (m_mask & sockev::kFdConnect));
        if (m_readable)
            m_readable->setEnabled(open && m_connected && m_readArmed && (m_mask & sockev::kFdRead));
    }

    void onWritable()
    {
        // Writable after a non-blocking connect: the connection is made or has failed.
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        m_connecting = false;
        m_connected = error == 0;
        updateNotifiers();
        emit notified(sockev::kFdConnect, error);
    }

    void onReadable()
    {
        m_readArmed = false;
        updateNotifiers();
        emit notified(sockev::kFdRead, 0);
    }

    int m_fd = -1;
    std::optional<PosixSocketFactory::Target> m_redirect;
    int m_mask = 0;
    bool m_connecting = false;
    bool m_connected = false;
    bool m_readArmed = true;
    QSocketNotifier* m_writable = nullptr;
    QSocketNotifier* m_readable = nullptr;
};

} // namespace

std::unique_ptr<AsyncSocket> PosixSocketFactory::create(int* error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    return std::make_unique<PosixAsyncSocket>(fd, m_redirect);
}

QString PosixSocketFactory::description() const
{
    utsname name{};
    if (::uname(&name) != 0)
        return QStringLiteral("POSIX sockets");
    return QStringLiteral("POSIX sockets on %1 %2")
        .arg(QString::fromLocal8Bit(name.sysname), QString::fromLocal8Bit(name.release));
}

void PosixSocketFactory::setRedirect(const QString& dottedAddress, quint16 port)
{
    m_redirect = Target{::inet_addr(dottedAddress.toLatin1().constData()), port};
}
