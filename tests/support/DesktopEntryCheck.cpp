#include "support/DesktopEntryCheck.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

QMap<QString, QString> ReadDesktopEntry(const QString& path)
{
    QMap<QString, QString> keys;
    bool inGroup = false;
    for (const QString& line : QString::fromUtf8(ReadAll(path)).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0)
            continue;
        QString value;
        const QString raw = line.mid(eq + 1);
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
                const QChar n = raw[++i];
                value += n == QLatin1Char('n')   ? QChar('\n')
                         : n == QLatin1Char('t') ? QChar('\t')
                         : n == QLatin1Char('r') ? QChar('\r')
                         : n == QLatin1Char('s') ? QChar(' ')
                                                 : n;
            } else {
                value += raw[i];
            }
        }
        keys.insert(line.left(eq), value);
    }
    return keys;
}

QStringList ParseExec(const QString& exec, bool* ok)
{
    *ok = true;
    QStringList args;
    QString current;
    bool inArg = false, quoted = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == QLatin1Char('%')) {
            if (i + 1 < exec.size() && exec[i + 1] == QLatin1Char('%')) {
                current += c;
                inArg = true;
                ++i;
                continue;
            }
            *ok = false; // a field code where none was meant
            continue;
        }
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                QStringLiteral("\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                if (QStringLiteral("`$\\").contains(c))
                    *ok = false; // must have been escaped
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c == QLatin1Char(' ')) {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else {
            if (QStringLiteral("\t\n\"'\\><~|&;$*?#()`").contains(c))
                *ok = false; // reserved outside quotes
            current += c;
            inArg = true;
        }
    }
    if (quoted)
        *ok = false;
    if (inArg)
        args << current;
    return args;
}

QString ValidateDesktopEntry(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        return QStringLiteral("<missing>");
    QProcess p;
    p.start(tool, {path});
    if (!p.waitForFinished(20000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
    return p.exitCode() == 0 && out.isEmpty() ? QString() : out;
}

bool UnderTemp(const QString& path)
{
    return !path.isEmpty() &&
           QDir::cleanPath(path).startsWith(QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/'));
}

QStringList EntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}
