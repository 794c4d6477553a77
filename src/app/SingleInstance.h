#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

// One running copy per user session: a lock file stands for the named mutex,
// and a local server lets a second copy ask the first to come forward.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        First,      // this copy holds the lock
        SecondCopy, // another copy holds it and has been asked to come forward
        NoLock,     // the lock could not be made at all: go on as the only copy
    };

    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    Result acquire();

    // Restores the window titled like the main window, in normal size, and
    // makes it topmost for good. Nothing when there is no such window yet.
    static void BringMainWindowForward();

    QString lockPath() const;
    QString serverPath() const;

signals:
    void activationRequested();

private:
    void onNewConnection();
    // Takes over a lock file whose owner never wrote itself into it.
    bool reclaimUnwrittenLock();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
