#include "base/DesktopEntry.h"

#include <QFile>
#include <QTextStream>

namespace desktop {

namespace {

bool needsQuotes(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (argument.isEmpty())
        return true;
    for (const QChar c : argument) {
        if (reserved.contains(c))
            return true;
    }
    return false;
}

QString quote(const QString& argument, bool always)
{
    QString out;
    const bool quoted = always || needsQuotes(argument);
    if (quoted)
        out += QLatin1Char('"');
    for (const QChar c : argument) {
        if (quoted && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                       c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            out += QLatin1Char('%'); // a literal percent sign, not a field code
        out += c;
    }
    if (quoted)
        out += QLatin1Char('"');
    return out;
}

} // namespace

QString ExecCommand(const QString& program, const QStringList& arguments)
{
    QString line = quote(program, true);
    for (const QString& a : arguments)
        line += QLatin1Char(' ') + quote(a, false);
    return line;
}

QString EscapeString(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray EntryText(const Entry& entry)
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=") + EscapeString(entry.name) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + EscapeString(ExecCommand(entry.program, entry.arguments)) +
            QLatin1Char('\n');
    if (!entry.workingFolder.isEmpty())
        text += QStringLiteral("Path=") + EscapeString(entry.workingFolder) + QLatin1Char('\n');
    if (!entry.icon.isEmpty())
        text += QStringLiteral("Icon=") + EscapeString(entry.icon) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    if (entry.hidden)
        text += QStringLiteral("Hidden=true\n");
    return text.toUtf8();
}

QString UnescapeString(const QString& v)
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

QList<QPair<QString, QString>> ReadGroup(const QString& file, const QString& group)
{
    QList<QPair<QString, QString>> keys;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            // Only the first group of that name counts; a later one would be a second.
            if (inGroup)
                break;
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0)
            keys.append({line.left(eq).trimmed(), UnescapeString(line.mid(eq + 1).trimmed())});
    }
    return keys;
}

QString ReadValue(const QString& file, const QString& key)
{
    for (const auto& [name, value] : ReadGroup(file, QStringLiteral("Desktop Entry"))) {
        if (name == key)
            return value;
    }
    return QString();
}

} // namespace desktop
