#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// Events of the asynchronous selection. The values are the customary
// FD_READ/FD_CONNECT bits, which the time calibration's log texts name.
namespace sockev {
inline constexpr int kFdRead = 0x01;
inline constexpr int kFdConnect = 0x10;
} // namespace sockev

// A non-blocking IPv4 TCP socket that reports the completion of its connection
// and the arrival of data as events on the thread that owns it. Error numbers
// are the socket layer's own (errno values).
//
// A read event is reported once and not again until receive() has been
// called, so a reader that stops reading is not flooded.
class AsyncSocket : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual int handle() const = 0;
    // Makes the socket non-blocking and starts reporting the events in `mask`
    // (sockev flags). Returns 0 or an error number.
    virtual int select(int mask) = 0;
    // Starts connecting to an IPv4 address (network byte order) and a port
    // (host order). Returns 0 if connected at once, EINPROGRESS if under way
    // (both are followed by a connect event), else the error number.
    virtual int connectTo(quint32 address, quint16 port) = 0;
    // Reads what has arrived, at most `size` bytes, without blocking. Returns
    // the count, 0 once the peer has closed, or -1 with *error set (EAGAIN: no
    // data yet).
    virtual qint64 receive(char* buffer, qint64 size, int* error) = 0;
    // Stops the events and closes the handle; safe to call again, and from
    // within a notification.
    virtual void close() = 0;

signals:
    // event: one sockev flag; error: 0 or the error number.
    void notified(int event, int error);
};

class AsyncSocketFactory
{
public:
    virtual ~AsyncSocketFactory() = default;
    // A new socket, or null with *error set.
    virtual std::unique_ptr<AsyncSocket> create(int* error) = 0;
    // What the socket layer calls itself, for the log.
    virtual QString description() const = 0;
};

// POSIX sockets watched by QSocketNotifier.
class PosixSocketFactory final : public AsyncSocketFactory
{
public:
    struct Target
    {
        quint32 address = 0; // network byte order
        quint16 port = 0;    // host order
    };

    std::unique_ptr<AsyncSocket> create(int* error) override;
    QString description() const override;

    // Tests: every connection goes to this address and port instead of the one
    // asked for, so that a client with a fixed server list can meet a local server.
    void setRedirect(const QString& dottedAddress, quint16 port);
    void clearRedirect() { m_redirect.reset(); }

private:
    std::optional<Target> m_redirect;
};
