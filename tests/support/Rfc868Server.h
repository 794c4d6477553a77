#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A Time Protocol server on 127.0.0.1 and a port of the system's choosing.
// Each connection is answered as set up beforehand: the reply bytes and a
// close, or nothing until the test sends bytes itself.
class Rfc868Server : public QObject
{
    Q_OBJECT
public:
    explicit Rfc868Server(QObject* parent = nullptr);

    bool start();
    quint16 port() const { return m_server.serverPort(); }

    // The four bytes of a reply, in network order.
    static QByteArray encode(quint32 secondsSince1900);

    // Answers every new connection with these bytes, then closes it.
    void replyWith(quint32 secondsSince1900) { replyWithBytes(encode(secondsSince1900)); }
    void replyWithBytes(const QByteArray& bytes);
    // Accepts and stays silent; the test sends and closes.
    void hold();

    // To the latest connection.
    void send(const QByteArray& bytes);
    void closeClient();

    int connections() const { return m_connections; }
    // Connections that the client has closed before the server did.
    int closedByClient() const { return m_closedByClient; }

signals:
    void clientConnected();

private:
    void onNewConnection();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_latest;
    QByteArray m_reply;
    bool m_holding = false;
    int m_connections = 0;
    int m_closedByClient = 0;
};

// A port on 127.0.0.1 on which nothing listens: taken and given back at once.
quint16 UnusedLocalPort();
