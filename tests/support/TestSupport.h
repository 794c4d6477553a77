#pragma once

#include "platform/Clock.h"
#include "platform/IdleMonitor.h"
#include "platform/MessageBoxes.h"
#include "platform/Notifications.h"
#include "platform/Power.h"
#include "platform/SecretStore.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "platform/SystemClock.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// Installs a fake for every seam for the life of the object, and removes them
// again afterwards, so that nothing in a test can reach the real system.
struct FakeSeams
{
    FakeSeams();
    ~FakeSeams();
    FakeClock clock;
    FakeMessageBoxes boxes;
    FakeSound sound;
    FakeShell shell;
    FakePower power;
    FakeSystemClock systemClock;
    FakeNotifications notifications;
    FakeIdleMonitor idle;
    FakeSecretStore secrets;
};

// A temporary program folder holding myTolva/ with an empty database made from
// the delivered schema; the program's paths point at it while the object lives.
class TempProgramFolder
{
public:
    explicit TempProgramFolder(bool withDatabase = true);
    ~TempProgramFolder();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString dataFolder() const { return m_dir.path() + QStringLiteral("/myTolva"); }
    QString databaseFile() const { return dataFolder() + QStringLiteral("/tolva.dat"); }
    QString settingsFile() const { return dataFolder() + QStringLiteral("/Settings.ini"); }

private:
    QTemporaryDir m_dir;
};

// Reads a whole file (empty when missing).
QByteArray ReadAll(const QString& path);
bool WriteAll(const QString& path, const QByteArray& data);
// A new file in dir holding bytes, named s<n>.ini; aborts the test program if it cannot be written.
QString NewFileWith(const QTemporaryDir& dir, const QByteArray& bytes);
