#include "app/SingleInstance.h"

#include "base/Constants.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

namespace {
QString runtimeFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

constexpr char kRaiseRequest[] = "raise\n";
} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent), m_name(name)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() const
{
    return runtimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::serverPath() const
{
    return runtimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".sock");
}

SingleInstance::Result SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock left by a crashed copy is stale as soon as its process is gone.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0) && !reclaimUnwrittenLock()) {
        if (m_lock->error() != QLockFile::LockFailedError)
            return Result::NoLock;
        QLocalSocket socket;
        socket.connectToServer(serverPath());
        if (socket.waitForConnected(1000)) {
            socket.write(kRaiseRequest);
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
        }
        return Result::SecondCopy;
    }
    QLocalServer::removeServer(serverPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(serverPath());
    return Result::First;
}

bool SingleInstance::reclaimUnwrittenLock()
{
    // A copy killed between creating its lock file and writing its process id
    // into it leaves a lock without an owner, which would keep every later start
    // out until the runtime folder is cleared. A live copy writes its id at once,
    // so an ownerless lock older than a second is such a leftover.
    if (m_lock->error() != QLockFile::LockFailedError)
        return false;
    qint64 pid = 0;
    QString host, application;
    if (m_lock->getLockInfo(&pid, &host, &application))
        return false;
    const QDateTime written = QFileInfo(lockPath()).lastModified();
    if (!written.isValid() || qAbs(written.msecsTo(QDateTime::currentDateTime())) < 1000)
        return false;
    return m_lock->removeStaleLockFile() && m_lock->tryLock(0);
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* s = m_server.nextPendingConnection()) {
        auto handle = [this, s] {
            if (!s->canReadLine())
                return;
            if (s->readLine().startsWith("raise")) {
                emit activationRequested();
                BringMainWindowForward();
            }
            s->disconnectFromServer();
        };
        connect(s, &QLocalSocket::readyRead, this, handle);
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        handle();
    }
}

void SingleInstance::BringMainWindowForward()
{
    const QString title = QString::fromUtf8(tolva::kMainWindowTitle);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() != title)
            continue;
        if (!(w->windowFlags() & Qt::WindowStaysOnTopHint))
            w->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        w->showNormal();
        w->raise();
        w->activateWindow();
        return;
    }
}
