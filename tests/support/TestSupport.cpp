#include "support/TestSupport.h"

#include "base/Paths.h"
#include "platform/Seams.h"

#include <QFile>

FakeSeams::FakeSeams()
{
    seams::setClock(&clock);
    seams::setMessageBoxes(&boxes);
    seams::setSound(&sound);
    seams::setShell(&shell);
    seams::setPower(&power);
    seams::setSystemClock(&systemClock);
    seams::setNotifications(&notifications);
    seams::setIdleMonitor(&idle);
    seams::setSecretStore(&secrets);
}

FakeSeams::~FakeSeams()
{
    seams::setClock(nullptr);
    seams::setMessageBoxes(nullptr);
    seams::setSound(nullptr);
    seams::setShell(nullptr);
    seams::setPower(nullptr);
    seams::setSystemClock(nullptr);
    seams::setNotifications(nullptr);
    seams::setIdleMonitor(nullptr);
    seams::setSecretStore(nullptr);
}

TempProgramFolder::TempProgramFolder(bool withDatabase)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("myTolva"));
    if (withDatabase)
        QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), databaseFile());
    QFile::setPermissions(databaseFile(), QFile::ReadOwner | QFile::WriteOwner);
    SetProgramFolderForTesting(m_dir.path());
}

TempProgramFolder::~TempProgramFolder()
{
    SetProgramFolderForTesting(QString());
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QString NewFileWith(const QTemporaryDir& dir, const QByteArray& bytes)
{
    static int n = 0;
    const QString path = dir.filePath(QStringLiteral("s%1.ini").arg(++n));
    if (!WriteAll(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}
