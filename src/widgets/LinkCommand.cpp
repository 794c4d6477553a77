#include "widgets/LinkCommand.h"

#include <QStringList>
#include <array>

namespace {
// "%1" is the placeholder of classic open commands; the others are the desktop
// entry field codes that stand for the address.
constexpr std::array<const char*, 5> kPlaceholders = {"%1", "%u", "%U", "%f", "%F"};

// Earliest position of any of the forms, or -1.
qsizetype firstOf(const QString& text, const QStringList& forms)
{
    qsizetype best = -1;
    for (const QString& form : forms) {
        const qsizetype at = text.indexOf(form);
        if (at >= 0 && (best < 0 || at < best))
            best = at;
    }
    return best;
}
} // namespace

QString CutBrowserCommand(const QString& commandLine)
{
    QStringList quoted;
    QStringList bare;
    for (const char* p : kPlaceholders) {
        const QString code = QLatin1String(p);
        quoted << QLatin1Char('"') + code + QLatin1Char('"');
        bare << code;
    }
    qsizetype cut = firstOf(commandLine, quoted);
    if (cut < 0)
        cut = firstOf(commandLine, bare);
    return cut < 0 ? commandLine : commandLine.left(cut);
}

QString BrowserCommandFor(const QString& commandLine, const QString& target)
{
    return CutBrowserCommand(commandLine) + QLatin1Char(' ') + target;
}

QString OpenErrorText(int code)
{
    const char* reason = nullptr;
    switch (code) {
    case 0:
        reason = "The operating system is out\nof memory or resources.";
        break;
    case 2:
        reason = "The specified file was not found.";
        break;
    case 3:
        reason = "The specified path was not found.";
        break;
    case 5:
        reason = "The operating system denied\naccess to the specified file.";
        break;
    case 8:
        reason = "There was not enough memory to complete the operation.";
        break;
    case 11:
        reason = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        break;
    case 26:
        reason = "A sharing violation occurred. ";
        break;
    case 27:
        reason = "The filename association is\nincomplete or invalid.";
        break;
    case 28:
        reason = "The DDE transaction could not\nbe completed because the request timed out.";
        break;
    case 29:
        reason = "The DDE transaction failed.";
        break;
    case 30:
        reason = "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
                 "processed.";
        break;
    case 31:
        reason = "There is no application associated\nwith the given filename extension.";
        break;
    case 32:
        reason = "The specified dynamic-link library was not found.";
        break;
    default:
        break;
    }
    const QString text =
        reason ? QString::fromLatin1(reason) : QStringLiteral("Unknown Error (%1) occurred.").arg(code);
    return QStringLiteral("Unable to open hyperlink:\n\n") + text;
}
