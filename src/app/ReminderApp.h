#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

#include "store/AdoDatabase.h"
#include "store/StoreService.h"

class SingleInstance;
class QFileSystemWatcher;
class QObject;
class QWidget;

// The application object: start-up, and owner of the one store connection for
// the whole run. Exactly one exists while the program runs (CReminderApp::instance()).
class CReminderApp : public StoreService
{
public:
    CReminderApp();
    ~CReminderApp() override;
    CReminderApp(const CReminderApp&) = delete;
    CReminderApp& operator=(const CReminderApp&) = delete;

    static CReminderApp* instance();

    // Start-up: runs the whole life of the program. Always returns false.
    // arguments: the command line after the program's path, as given
    // (CommandLineArguments, taken before QApplication removes its own options).
    bool InitInstance(const QStringList& arguments);

    // The store, or null once it has been released. Callers keep the returned
    // pointer only for the call they make: the store object lives on until the
    // last of them lets go, so a release never pulls it away mid-call.
    std::shared_ptr<CAdoDatabase> database() const override;
    // Creates the store object (no connection yet).
    void createStore();
    // Close, release and clear m_pDatabase; for good. Waits for a call in progress.
    void ReleaseStore() override;

    // What the store did about its data file being replaced or damaged while the program runs.
    enum class Recovery {
        Unchanged, // nothing to do (or done already for this file): the store is as it was
        Reopened,  // the store reads the file now at the path: the list must be reloaded
        Failed,    // the store could not be opened again: closed, the reason shown once
    };
    // When the data file has been replaced (renamed over, as editors and sync
    // tools do) or removed and put back since the store opened it, opens the
    // file now at the path. A damaged new file gets the repair as at start-up.
    Recovery ReopenIfReplaced();
    // After a store operation failed: when the data file is damaged, the repair
    // dialog as at start-up, then the store opened again. Once per damaged file,
    // so that a failure repeated at every reload never brings it back.
    Recovery RepairIfDamaged();
    // Runs ReopenIfReplaced at every change in the data folder and calls
    // changed when it has opened a new file, or when the open file has been
    // written (by another process too: a command, a second program), for as
    // long as context lives.
    void WatchDataFile(QObject* context, std::function<void()> changed);

    // Single-instance name; tests use a name of their own.
    QString instanceName = QString::fromUtf8("TOLVAKORVEN2016");

    // Hooks that tests replace. Defaults: the runtime-repair dialog, and the
    // main window run modally.
    std::function<void()> runRepairDialog;
    std::function<void(bool showAllowed)> runMainWindow;

    // The message of a data folder without its data file.
    static QString MissingPartsText();

    // True when the command line asks for the hidden start.
    static bool IsHiddenStart(const QStringList& arguments);
    // The arguments after the program's path, exactly as the command line gave them.
    static QStringList CommandLineArguments(int argc, const char* const* argv);

private:
    int openStore(QString& message);
    // Repair dialog and one more open, unless already offered for the file at the path.
    Recovery repairOnce();
    Recovery reopenFailed(const QString& message);

    std::shared_ptr<CAdoDatabase> m_pDatabase;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    // The data file (device, inode) the repair was last offered for.
    CAdoDatabase::FileId m_repairOffered;
    // A reopen failed: the store stays closed and is tried again at each change.
    bool m_reopenPending = false;
    // The data file as last seen by the watch: which file, and how often it was committed to.
    struct DataStamp
    {
        CAdoDatabase::FileId file;
        QByteArray changeCounter;
        bool operator!=(const DataStamp& other) const
        {
            return file != other.file || changeCounter != other.changeCounter;
        }
    };
    static DataStamp dataStamp();
    DataStamp m_dataStamp;
    bool m_recovering = false;
    mutable std::mutex m_dbMutex;
};
