#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A bus of the test's own: the session configuration of dbus-daemon, on a
// socket in a temporary folder, and one stand-in program at a time on it.
class PrivateBus
{
public:
    bool start()
    {
        if (!m_dir.isValid())
            return false;
        m_address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
        m_daemon.setProgram(QStringLiteral(TOLVA_DBUS_DAEMON));
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address"), QStringLiteral("--address=") + m_address});
        // It says it cannot raise its file limit; that is no concern here.
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start();
        // Listening once it has printed its address.
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
            return false;
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("tolva-private-bus"));
        return m_bus.isConnected();
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(m_bus.name());
        stopStandIn();
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Starts a stand-in program with these options and waits until it owns its names.
    bool startStandIn(const QString& program, const QStringList& options)
    {
        stopStandIn();
        m_standIn = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_standIn->setProcessEnvironment(env);
        m_standIn->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_standIn->start(program, options);
        if (!m_standIn->waitForStarted())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!m_output.contains("ready\n") && waited.elapsed() < 10000) {
            m_standIn->waitForReadyRead(100);
            m_output += m_standIn->readAllStandardOutput();
        }
        return m_output.contains("ready\n");
    }
    // The stand-in leaves the bus: its names have no owner any more.
    void stopStandIn()
    {
        if (m_standIn) {
            m_standIn->kill();
            m_standIn->waitForFinished();
            m_standIn.reset();
        }
        m_output.clear();
    }
    // The calls the stand-in has received, one line each.
    QStringList calls()
    {
        if (m_standIn)
            m_output += m_standIn->readAllStandardOutput();
        QStringList lines = QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.removeAll(QStringLiteral("ready"));
        return lines;
    }
    // A line on the stand-in's stdin: what its user does.
    void tell(const QString& line)
    {
        if (m_standIn) {
            m_standIn->write((line + QLatin1Char('\n')).toUtf8());
            m_standIn->waitForBytesWritten();
        }
    }

    QDBusConnection& bus() { return m_bus; }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QString m_address;
    QProcess m_daemon;
    std::unique_ptr<QProcess> m_standIn;
    QByteArray m_output;
    QDBusConnection m_bus{QString()};
};
