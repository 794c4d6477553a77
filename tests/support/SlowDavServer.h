#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A CalDAV server on 127.0.0.1 that answers every request after delayMs with an
// empty multistatus: a slow network, for what must not wait for it.
class SlowDavServer : public QTcpServer
{
public:
    explicit SlowDavServer(int delayMs) : m_delayMs(delayMs) {}

protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        QTimer::singleShot(m_delayMs, socket, [socket]() {
            const QByteArray body = "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\"/>";
            socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }

private:
    int m_delayMs;
};
