#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

#include "store/StoreService.h"

class CAdoDatabase;
class SingleInstance;
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

    // Single-instance name; tests use a name of their own.
    QString instanceName = QString::fromUtf8("TOLVAKORVEN2016");

    // Hooks that tests replace. Defaults: the runtime-repair dialog, and the
    // main window run modally.
    std::function<void()> runRepairDialog;
    std::function<void(bool showAllowed)> runMainWindow;

    // True when the command line asks for the hidden start.
    static bool IsHiddenStart(const QStringList& arguments);
    // The arguments after the program's path, exactly as the command line gave them.
    static QStringList CommandLineArguments(int argc, const char* const* argv);

private:
    int openStore(QString& message);

    std::shared_ptr<CAdoDatabase> m_pDatabase;
    std::unique_ptr<SingleInstance> m_instance;
    mutable std::mutex m_dbMutex;
};
