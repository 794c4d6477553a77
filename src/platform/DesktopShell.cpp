#include "platform/DesktopShell.h"

#include "base/DesktopEntry.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {
// WinExec results that callers test for.
constexpr int kStarted = 33;
constexpr int kFileNotFound = 2;
constexpr int kAccessDenied = 5;
constexpr int kBadFormat = 11;
// xdg-screensaver answers at once where it can start a screen saver.
constexpr int kScreenSaverWaitMs = 3000;

QString browserFromXdgSettings()
{
    QProcess p;
    p.start(QStringLiteral("xdg-settings"), {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!p.waitForFinished(3000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
} // namespace

int DesktopShell::open(const QString& target, int /*showCommand*/)
{
    // Window placement is the browser's own business on X11 and Wayland.
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    if (!url.isValid())
        return 2;                                    // ERROR_FILE_NOT_FOUND
    return QDesktopServices::openUrl(url) ? 42 : 31; // SE_ERR_NOASSOC
}

bool DesktopShell::startScreenSaver()
{
    // xdg-screensaver asks the desktop's own screen saver, or falls back to
    // xset on X11; it fails (and exits non-zero) where neither serves, as
    // without xset or on a Wayland desktop it does not know.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-screensaver"));
    if (tool.isEmpty())
        return false;
    auto* p = new QProcess;
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    p->start(tool, {QStringLiteral("activate")});
    if (!p->waitForStarted(kScreenSaverWaitMs)) {
        delete p;
        return false;
    }
    if (!p->waitForFinished(kScreenSaverWaitMs)) {
        // Still at work: it has started; it goes when it ends.
        QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
        return true;
    }
    const bool started = p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    delete p;
    return started;
}

QString DesktopShell::defaultBrowserCommand()
{
    const QStringList folders = ApplicationFolders();
    QString path = DesktopEntryPath(browserFromXdgSettings(), folders);
    if (path.isEmpty())
        path = DesktopEntryPath(
            DefaultHandlerFromMimeApps(MimeAppsListFiles(), QStringLiteral("x-scheme-handler/http")),
            folders);
    return path.isEmpty() ? QString() : DesktopEntryExec(path);
}

int DesktopShell::runCommand(const QString& commandLine, int /*showCommand*/)
{
    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty())
        return kFileNotFound;
    const QString program = args.takeFirst();
    const QString resolved =
        program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    const QFileInfo info(resolved);
    if (resolved.isEmpty() || !info.exists())
        return kFileNotFound;
    if (!info.isFile() || !info.isExecutable())
        return kAccessDenied;
    return QProcess::startDetached(resolved, args) ? kStarted : kBadFormat;
}

QStringList MimeAppsListFiles()
{
    const QString name = QStringLiteral("mimeapps.list");
    QStringList files;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        files << dir + QLatin1Char('/') + name;
    for (const QString& dir : ApplicationFolders())
        files << dir + QLatin1Char('/') + name;
    return files;
}

QStringList ApplicationFolders()
{
    QStringList folders;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << dir + QStringLiteral("/applications");
    return folders;
}

QString DefaultHandlerFromMimeApps(const QStringList& mimeAppsFiles, const QString& mimeType)
{
    for (const QString& file : mimeAppsFiles) {
        for (const auto& [key, value] : desktop::ReadGroup(file, QStringLiteral("Default Applications"))) {
            if (key != mimeType)
                continue;
            for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                if (!id.trimmed().isEmpty())
                    return id.trimmed();
            }
            break; // the first line for the type decides within a file
        }
    }
    return QString();
}

QString DesktopEntryPath(const QString& desktopId, const QStringList& applicationFolders)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')))
        return QString();
    QStringList names{desktopId};
    const qsizetype dash = desktopId.indexOf(QLatin1Char('-'));
    if (dash > 0)
        names << desktopId.left(dash) + QLatin1Char('/') + desktopId.mid(dash + 1);
    for (const QString& folder : applicationFolders) {
        for (const QString& name : names) {
            const QString path = QDir(folder).filePath(name);
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return QString();
}

QString DesktopEntryExec(const QString& desktopEntryFile)
{
    return desktop::ReadValue(desktopEntryFile, QStringLiteral("Exec"));
}
