#include "app/ReminderApp.h"

#include "app/SingleInstance.h"
#include "base/Constants.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Shell.h"
#include "store/AdoDatabase.h"
#include "store/DatabaseRepair.h"
#include "store/ProgramStore.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QScopeGuard>
#include <atomic>
#include <sys/socket.h>
#include <unistd.h>

namespace {
std::atomic<CReminderApp*> g_app{nullptr};

const char kMissingPartsText[] = "Tolva小精灵零件脱落，请重新下载最新的程序！ ";
const char kSocketInitFailedText[] = "Windows 通信端口初始化失败。";

void openProductPage()
{
    seams::shell().open(QString::fromUtf8(tolva::kProductUrl), kSwShowMaximized);
}

// The time calibration needs IPv4 stream sockets; a system without them is
// what a failed socket-layer start-up stands for.
bool socketLayerAvailable()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
} // namespace

CReminderApp::CReminderApp()
{
    CReminderApp* expected = nullptr;
    if (g_app.compare_exchange_strong(expected, this))
        SetProgramStore(this);
}

CReminderApp::~CReminderApp()
{
    CReminderApp* expected = this;
    if (g_app.compare_exchange_strong(expected, nullptr))
        SetProgramStore(nullptr);
}

CReminderApp* CReminderApp::instance()
{
    return g_app.load();
}

std::shared_ptr<CAdoDatabase> CReminderApp::database() const
{
    std::lock_guard<std::mutex> lock(m_dbMutex);
    return m_pDatabase;
}

void CReminderApp::createStore()
{
    auto db = std::make_shared<CAdoDatabase>();
    std::lock_guard<std::mutex> lock(m_dbMutex);
    m_pDatabase = std::move(db);
}

void CReminderApp::ReleaseStore()
{
    std::shared_ptr<CAdoDatabase> db;
    {
        std::lock_guard<std::mutex> lock(m_dbMutex);
        db.swap(m_pDatabase);
    }
    // Close waits for a call that another thread has in progress; whoever still
    // holds the object afterwards only ever gets the not-connected answer.
    if (db)
        db->Close();
}

bool CReminderApp::IsHiddenStart(const QStringList& arguments)
{
    return arguments.join(QLatin1Char(' '))
               .compare(QString::fromUtf8(tolva::kHiddenStartSwitch), Qt::CaseInsensitive) == 0;
}

QStringList CReminderApp::CommandLineArguments(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int CReminderApp::openStore(QString& message)
{
    auto db = database();
    if (!db)
        return store::kNotConnected;
    return db->Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                    message);
}

CReminderApp::Recovery CReminderApp::ReopenIfReplaced()
{
    // The repair dialog and the message box run event loops, in which the
    // folder's changes arrive again: one recovery at a time.
    if (m_recovering)
        return Recovery::Unchanged;
    m_recovering = true;
    const auto recovered = qScopeGuard([this] { m_recovering = false; });
    auto db = database();
    if (!db || !(m_reopenPending ? fileops::EntryExists(DatabaseFilePath()) : db->FileReplaced()))
        return Recovery::Unchanged;
    db.reset();
    QString message;
    if (openStore(message) == store::kConnected) {
        m_reopenPending = false;
        return Recovery::Reopened;
    }
    const Recovery repaired = repairOnce();
    if (repaired != Recovery::Unchanged)
        return repaired;
    return reopenFailed(message);
}

CReminderApp::Recovery CReminderApp::RepairIfDamaged()
{
    if (m_recovering || !database())
        return Recovery::Unchanged;
    m_recovering = true;
    const auto recovered = qScopeGuard([this] { m_recovering = false; });
    return repairOnce();
}

CReminderApp::Recovery CReminderApp::repairOnce()
{
    const CAdoDatabase::FileId file = CAdoDatabase::FileIdentity(DatabaseFilePath());
    if (file == m_repairOffered ||
        store::ExamineDataFile(DatabaseFilePath()) != store::DataFileState::Damaged)
        return Recovery::Unchanged;
    m_repairOffered = file;
    if (runRepairDialog)
        runRepairDialog();
    QString message;
    if (openStore(message) == store::kConnected) {
        m_reopenPending = false;
        return Recovery::Reopened;
    }
    return reopenFailed(message);
}

CReminderApp::Recovery CReminderApp::reopenFailed(const QString& message)
{
    // Said once; the store stays closed until a file that opens is put in place.
    const bool first = !m_reopenPending;
    m_reopenPending = true;
    if (!first)
        return Recovery::Unchanged;
    ShowMessageBox(nullptr, message + QString::fromUtf8("！  "));
    return Recovery::Failed;
}

CReminderApp::DataStamp CReminderApp::dataStamp()
{
    // Every commit raises the counter in the data file's header (bytes 24-27):
    // unlike the modification time, it tells two quick writes apart.
    constexpr qint64 kChangeCounterOffset = 24;
    DataStamp stamp;
    stamp.file = CAdoDatabase::FileIdentity(DatabaseFilePath());
    QFile file(DatabaseFilePath());
    if (file.open(QIODevice::ReadOnly) && file.seek(kChangeCounterOffset))
        stamp.changeCounter = file.read(4);
    return stamp;
}

void CReminderApp::WatchDataFile(QObject* context, std::function<void()> changed)
{
    m_dataStamp = dataStamp();
    m_watcher = std::make_unique<QFileSystemWatcher>(QStringList{DataFolderPath()});
    // A write shows in the folder as its journal coming and going.
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, context,
                     [this, changed = std::move(changed)] {
                         if (m_recovering)
                             return;
                         const DataStamp now = dataStamp();
                         const bool written = now != m_dataStamp;
                         m_dataStamp = now;
                         const Recovery recovery = ReopenIfReplaced();
                         // A repair writes a file of its own; the reload below reads it.
                         if (recovery != Recovery::Unchanged)
                             m_dataStamp = dataStamp();
                         const auto db = database();
                         const bool reload =
                             recovery == Recovery::Reopened ||
                             (recovery == Recovery::Unchanged && written && db && db->IsConnected());
                         if (reload && changed)
                             changed();
                     });
}

QString CReminderApp::MissingPartsText()
{
    return QString::fromUtf8(kMissingPartsText);
}

bool CReminderApp::InitInstance(const QStringList& arguments)
{
    // The program's icon on every window it opens, each message box included.
    // Helpers that start up without a GUI (the fault-test child) have no windows.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QApplication::setWindowIcon(QIcon(QString::fromLatin1(tolva::kIconResource)));

    // 1. Single instance.
    m_instance = std::make_unique<SingleInstance>(instanceName);
    if (m_instance->acquire() == SingleInstance::Result::SecondCopy) {
        m_instance.reset();
        return false;
    }

    // 2. The data file comes with the program; without it nothing can work.
    // An installed program gives each user a data folder of their own first.
    CreateUserDataFolder();
    if (!QFileInfo::exists(DatabaseFilePath())) {
        ShowMessageBox(nullptr, QString::fromUtf8(kMissingPartsText));
        openProductPage();
        return false;
    }

    // 3.-5. The store.
    createStore();
    QString message;
    if (openStore(message) != store::kConnected) {
        // 6. One repair, one more try.
        if (runRepairDialog)
            runRepairDialog();
        if (openStore(message) != store::kConnected) {
            ShowMessageBox(nullptr, message + QString::fromUtf8("！  "));
            openProductPage();
            ReleaseStore();
            return false;
        }
    }

    // 7. Sockets for the time calibration.
    if (!socketLayerAvailable()) {
        ShowMessageBox(nullptr, QString::fromUtf8(kSocketInitFailedText));
        return false;
    }

    // 8.-11. The main window, for the life of the program.
    const bool showAllowed = !IsHiddenStart(arguments);
    if (runMainWindow)
        runMainWindow(showAllowed);
    return false;
}
