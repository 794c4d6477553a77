#include "base/DesktopEntry.h"

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
    return text.toUtf8();
}

} // namespace desktop
