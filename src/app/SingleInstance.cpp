#include "app/SingleInstance.h"

#include "base/Constants.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QWidget>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Only this user can put anything there: a folder (not a link) of this user's
// own that no one else may enter.
bool isPrivateFolder(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The folder is made 0700 when missing; one that is there must pass the check,
// whoever made it.
QString privateFolder(const QString& path)
{
    if (path.isEmpty())
        return QString();
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivateFolder(path) ? path : QString();
}

// Where the lock and the socket live: never a shared, predictable place, in
// which another user could plant a lock that keeps this user's copy from
// starting. The session's runtime folder when it is this user's and private;
// without one (su shells, some remote desktops) a folder of this user's own
// in the temporary folder; when someone else holds that name, one in the
// user's cache folder, per host, as a home folder may be shared by machines.
QString runtimeFolder()
{
    const QString xdg = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (QDir::isAbsolutePath(xdg) && isPrivateFolder(xdg))
        return xdg;
    const QString uid = QString::number(::geteuid());
    QString dir = privateFolder(QDir::tempPath() + QStringLiteral("/tolva-") + uid);
    if (dir.isEmpty()) {
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (!cache.isEmpty() && QDir().mkpath(cache))
            dir = privateFolder(cache + QStringLiteral("/tolva-") + QSysInfo::machineHostName());
    }
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
    // No private place at all: run on as the only copy rather than not at all.
    if (runtimeFolder().isEmpty())
        return Result::NoLock;
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
