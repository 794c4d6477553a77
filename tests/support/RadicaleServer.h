#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

// Debian's radicale on 127.0.0.1 with its own configuration, users and storage
// in a temporary folder, on a free port; stopped with the object.
class RadicaleServer
{
public:
    // users: "name:password" lines (plain htpasswd).
    bool start(const QByteArray& users)
    {
        if (!m_dir.isValid())
            return false;
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return false;
        m_port = probe.serverPort();
        probe.close();
        const QString folder = m_dir.path();
        const QByteArray config = "[server]\nhosts = 127.0.0.1:" + QByteArray::number(m_port) +
                                  "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " + folder.toUtf8() +
                                  "/users\nhtpasswd_encryption = plain\n[rights]\ntype = owner_only\n"
                                  "[storage]\nfilesystem_folder = " +
                                  folder.toUtf8() + "/collections\n[logging]\nlevel = warning\n";
        if (!write(folder + QStringLiteral("/config"), config) ||
            !write(folder + QStringLiteral("/users"), users))
            return false;
        m_process.setProgram(QStringLiteral("/usr/bin/radicale"));
        m_process.setArguments({QStringLiteral("--config"), folder + QStringLiteral("/config")});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(500))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~RadicaleServer() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    quint16 port() const { return m_port; }
    QString url(const QString& path = QStringLiteral("/")) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

private:
    static bool write(const QString& path, const QByteArray& data)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    }
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
