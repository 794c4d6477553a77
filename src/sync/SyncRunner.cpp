#include "sync/SyncRunner.h"

#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "sync/CalDavClient.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>

namespace sync {

namespace {
constexpr int kDebounceMs = 3000;
} // namespace

// Lives on the runner's thread: its store connection, and the client of the
// request under way so that the interface thread can cancel it at exit.
class SyncRunner::Worker : public QObject
{
public:
    ~Worker() override { db.Close(); }

    // The connection opens on first use, on this thread.
    bool open(QString& error)
    {
        if (db.IsConnected())
            return true;
        QString message;
        if (db.Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                    message) == store::kConnected)
            return true;
        error = message;
        return false;
    }
    void setClient(CalDavClient* c)
    {
        QMutexLocker lock(&mutex);
        client = c;
        if (c && cancelled)
            c->cancel(); // the program is closing: this request ends at once
    }
    void cancel()
    {
        QMutexLocker lock(&mutex);
        cancelled = true;
        if (client)
            client->cancel();
    }

    CAdoDatabase db;
    QMutex mutex;
    CalDavClient* client = nullptr; // under mutex
    bool cancelled = false;         // under mutex
};

namespace {

// The password of a run: the secret store's, else the one given for this run.
bool passwordFor(const SyncAccount& account, const QString& given, QString& password, QString& error)
{
    QString storeError;
    if (ReadSyncPassword(account, password, storeError) == SecretStore::Result::Ok)
        return true;
    if (!given.isEmpty()) {
        password = given;
        return true;
    }
    error = storeError.isEmpty() ? QStringLiteral("没有同步密码：密钥环中没有保存，请在同步设置中输入密码")
                                 : storeError;
    return false;
}

ServerAccess accessOf(const SyncAccount& account, const QString& password)
{
    return ServerAccess{account.url, account.user, password, account.allowPlainHttp};
}

} // namespace

SyncReport SyncOnce(CAdoDatabase& db, LocalCalendar& local, const SyncAccount& account,
                    const QString& password, QString& calendar,
                    const std::function<void(CalDavClient*)>& client)
{
    SyncReport report;
    SyncLock lock(DataFolderPath());
    if (!lock.tryLock()) {
        report.localError = QStringLiteral("另一个同步正在进行，稍后再试");
        return report;
    }
    CalDavClient remote(accessOf(account, password));
    if (client)
        client(&remote);
    bool ready = true;
    if (calendar.isEmpty())
        ready = remote.discover(calendar, nullptr, report.error);
    else
        remote.setCalendar(calendar);
    if (ready)
        report = SyncEngine(db, local, remote, calendar).run();
    if (client)
        client(nullptr);
    report.requests = remote.requestCount();
    return report;
}

QString SyncStatusText(const SyncReport& report, const QDateTime& at)
{
    if (report.ok)
        return QStringLiteral("上次同步：") + at.toString(QStringLiteral("HH:mm:ss"));
    if (report.error.kind != RemoteError::None && !report.error.text.isEmpty())
        return report.error.text;
    return report.localError.isEmpty() ? QStringLiteral("同步失败") : report.localError;
}

SyncRunner::SyncRunner(LocalFactory localFactory, QObject* parent)
    : QObject(parent), m_localFactory(std::move(localFactory)), m_thread(new QThread), m_worker(new Worker)
{
    qRegisterMetaType<SyncReport>();
    m_worker->moveToThread(m_thread);
    m_thread->setObjectName(QStringLiteral("sync"));
    m_interval.setSingleShot(false);
    connect(&m_interval, &QTimer::timeout, this, &SyncRunner::syncNow);
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(kDebounceMs);
    connect(&m_debounce, &QTimer::timeout, this, &SyncRunner::syncNow);
}

SyncRunner::~SyncRunner()
{
    m_worker->cancel();
    m_thread->quit();
    m_thread->wait();
    delete m_worker; // its thread has ended: nothing of it runs any more
    delete m_thread;
}

SyncRunner::Worker* SyncRunner::startedWorker()
{
    // The thread starts with the first sync or search: a user without an account never has one.
    if (!m_thread->isRunning())
        m_thread->start();
    return m_worker;
}

void SyncRunner::start()
{
    reloadAccount();
    if (m_account.isSet())
        syncNow();
}

void SyncRunner::reloadAccount()
{
    m_account = ReadSyncAccount();
    if (m_account.isSet())
        m_interval.start(m_account.intervalMinutes * 60 * 1000);
    else
        m_interval.stop();
}

void SyncRunner::setSessionPassword(const QString& password)
{
    m_sessionPassword = password;
}

void SyncRunner::setDebounceMs(int ms)
{
    m_debounce.setInterval(ms);
}

bool SyncRunner::isRunning() const
{
    return m_running;
}

QString SyncRunner::statusText() const
{
    return m_status;
}

void SyncRunner::localChanged()
{
    if (m_account.isSet())
        m_debounce.start();
}

void SyncRunner::syncNow()
{
    if (m_running) {
        m_pending = true; // one more right after, with what changed meanwhile
        return;
    }
    runSync();
}

void SyncRunner::runSync()
{
    if (!m_account.isSet())
        return;
    m_running = true;
    m_pending = false;
    m_debounce.stop();
    emit started();
    m_status = QStringLiteral("正在同步…");
    emit statusChanged(m_status);
    const SyncAccount account = m_account;
    const QString given = m_sessionPassword;
    Worker* worker = startedWorker();
    const LocalFactory factory = m_localFactory;
    QMetaObject::invokeMethod(worker, [this, worker, account, given, factory]() {
        SyncReport report;
        QString calendar = account.calendar;
        QString password;
        if (passwordFor(account, given, password, report.localError) && worker->open(report.localError)) {
            const std::unique_ptr<LocalCalendar> local = factory(worker->db);
            report = SyncOnce(worker->db, *local, account, password, calendar,
                              [worker](CalDavClient* c) { worker->setClient(c); });
        }
        QMetaObject::invokeMethod(
            this,
            [this, report, calendar, account]() {
                if (report.ok && calendar != account.calendar && m_account.url == account.url &&
                    m_account.user == account.user) {
                    m_account.calendar = calendar; // found this time: later syncs skip the search
                    WriteSyncAccount(m_account);
                }
                onFinished(report);
            },
            Qt::QueuedConnection);
    });
}

void SyncRunner::onFinished(const SyncReport& report)
{
    m_running = false;
    m_status = SyncStatusText(report, QDateTime::currentDateTime());
    emit finished(report);
    emit statusChanged(m_status);
    if (m_pending)
        runSync();
}

void SyncRunner::discover(const SyncAccount& account, const QString& password)
{
    ++m_discovering;
    Worker* worker = startedWorker();
    QMetaObject::invokeMethod(worker, [this, worker, account, password]() {
        QString calendar;
        QList<QPair<QString, QString>> calendars;
        RemoteError error;
        bool ok = false;
        {
            CalDavClient client(accessOf(account, password));
            worker->setClient(&client);
            ok = client.discover(calendar, &calendars, error);
            worker->setClient(nullptr);
        }
        QMetaObject::invokeMethod(
            this,
            [this, ok, calendar, calendars, error]() { onCalendars(ok, calendar, calendars, error.text); },
            Qt::QueuedConnection);
    });
}

void SyncRunner::onCalendars(bool ok, const QString& calendarUrl,
                             const QList<QPair<QString, QString>>& calendars, const QString& error)
{
    emit calendarsFound(ok, calendarUrl, calendars, error);
}

} // namespace sync
