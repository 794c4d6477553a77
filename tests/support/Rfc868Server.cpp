#include "support/Rfc868Server.h"

#include <QtEndian>

Rfc868Server::Rfc868Server(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &Rfc868Server::onNewConnection);
}

bool Rfc868Server::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QByteArray Rfc868Server::encode(quint32 secondsSince1900)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(secondsSince1900, bytes.data());
    return bytes;
}

void Rfc868Server::replyWithBytes(const QByteArray& bytes)
{
    m_reply = bytes;
    m_holding = false;
}

void Rfc868Server::hold()
{
    m_holding = true;
}

void Rfc868Server::onNewConnection()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        ++m_connections;
        m_latest = client;
        // Each byte sent on its own goes out on its own.
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        // A close seen as the socket's own (remote) close, not one we asked for.
        connect(client, &QTcpSocket::readChannelFinished, this, [this, client] {
            if (!client->property("closedHere").toBool())
                ++m_closedByClient;
        });
        emit clientConnected();
        if (!m_holding) {
            client->write(m_reply);
            client->setProperty("closedHere", true);
            client->disconnectFromHost();
        }
    }
}

void Rfc868Server::send(const QByteArray& bytes)
{
    if (m_latest) {
        m_latest->write(bytes);
        m_latest->flush();
    }
}

void Rfc868Server::closeClient()
{
    if (m_latest) {
        m_latest->setProperty("closedHere", true);
        m_latest->disconnectFromHost();
    }
}

quint16 UnusedLocalPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
