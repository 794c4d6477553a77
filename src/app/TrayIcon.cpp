#include "app/TrayIcon.h"

#include "base/Constants.h"
#include "widgets/FlatMenu.h"
#include "widgets/MenuMetrics.h"
#include "widgets/MenuResource.h"

#include <QCursor>
#include <QWidget>

namespace {
std::optional<bool> g_availableOverride;
} // namespace

TrayIcon::TrayIcon(QWidget* owner) : QObject(owner), m_owner(owner)
{
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

TrayIcon::~TrayIcon()
{
    RemoveTrayIcon();
}

void TrayIcon::AddTrayIcon()
{
    // Loaded from the program's resources at every add.
    m_tray.setIcon(QIcon(QString::fromLatin1(tolva::kIconResource)));
    m_tray.setToolTip(QString::fromUtf8(tolva::kProgramTitle));
    m_tray.show();
}

void TrayIcon::RemoveTrayIcon()
{
    m_tray.hide();
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        OnTrayNotify(kIconId, kLButtonDown);
        break;
    case QSystemTrayIcon::Context:
        OnTrayNotify(kIconId, kRButtonUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        OnTrayNotify(kIconId, kLButtonDblClk);
        break;
    case QSystemTrayIcon::MiddleClick:
        OnTrayNotify(kIconId, kMButtonUp);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

int TrayIcon::OnTrayNotify(int iconId, int mouseMessage)
{
    if (iconId != kIconId)
        return 1;
    if (mouseMessage == kLButtonDown)
        emit toggleMainWindowRequested();
    else if (mouseMessage == kRButtonUp)
        ShowTrayMenu(QCursor::pos());
    return 0;
}

int TrayIcon::ShowTrayMenu(const QPoint& pos)
{
    CFlatMenu menu(m_owner);
    if (!menu.LoadMenu(kMenuMain))
        return 0;
    CFlatMenu* popup = menu.SubMenuAt(kTrayMenuPopup);
    if (!popup)
        return 0;
    FlatMenuSettings& settings = FlatMenuGlobals();
    settings.styleThemed = static_cast<int>(MenuDrawStyle::Flat);
    settings.styleOther = static_cast<int>(MenuDrawStyle::Flat);
    if (m_owner && m_owner->isVisible())
        m_owner->activateWindow();
    const int command = popup->TrackPopupMenu(pos);
    menu.DestroyMenu();
    // Sent as a message is: after the menu is gone, from the event loop.
    if (command != 0)
        QMetaObject::invokeMethod(
            this, [this, command] { emit menuCommand(command); }, Qt::QueuedConnection);
    return command;
}

bool TrayIcon::IsAvailable()
{
    if (g_availableOverride)
        return *g_availableOverride;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::SetAvailableForTesting(std::optional<bool> available)
{
    g_availableOverride = available;
}

void TrayIcon::ToggleWindow(QWidget* window, const std::function<void()>& hideToTray)
{
    if (!window)
        return;
    if (!window->isVisible() || window->isMinimized()) {
        window->show();
        window->showNormal();
        window->raise();
        window->activateWindow();
    } else if (hideToTray) {
        hideToTray();
    } else {
        window->hide();
    }
}
