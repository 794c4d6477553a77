#include "platform/DesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

int DesktopShell::open(const QString& target, int /*showCommand*/)
{
    // Window placement is the browser's own business on X11 and Wayland.
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    if (!url.isValid())
        return 2; // ERROR_FILE_NOT_FOUND
    return QDesktopServices::openUrl(url) ? 42 : 31; // SE_ERR_NOASSOC
}

bool DesktopShell::startScreenSaver()
{
    return QProcess::startDetached(QStringLiteral("xdg-screensaver"), {QStringLiteral("activate")});
}
