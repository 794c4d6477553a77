#include "platform/DesktopShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace {
// WinExec results that callers test for.
constexpr int kStarted = 33;
constexpr int kFileNotFound = 2;
constexpr int kAccessDenied = 5;
constexpr int kBadFormat = 11;

// Reads key=value lines of one [group] of an ini-like desktop file, in order.
template <typename Visit> void readGroup(const QString& path, const QString& group, Visit visit)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq < 0)
            continue;
        if (!visit(line.left(eq).trimmed(), line.mid(eq + 1).trimmed()))
            return;
    }
}

// The string-level escapes of desktop entry values.
QString unescapeValue(const QString& v)
{
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c != QLatin1Char('\\') || i + 1 == v.size()) {
            out += c;
            continue;
        }
        const QChar n = v.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += c;
            out += n;
            break;
        }
    }
    return out;
}

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
    return QProcess::startDetached(QStringLiteral("xdg-screensaver"), {QStringLiteral("activate")});
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
        QString found;
        readGroup(file, QStringLiteral("Default Applications"),
                  [&](const QString& key, const QString& value) {
                      if (key != mimeType)
                          return true;
                      for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                          found = id.trimmed();
                          if (!found.isEmpty())
                              break;
                      }
                      return false;
                  });
        if (!found.isEmpty())
            return found;
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
    QString exec;
    readGroup(desktopEntryFile, QStringLiteral("Desktop Entry"),
              [&](const QString& key, const QString& value) {
                  if (key != QLatin1String("Exec"))
                      return true;
                  exec = unescapeValue(value);
                  return false;
              });
    return exec;
}
