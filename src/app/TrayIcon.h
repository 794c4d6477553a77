#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>

class QWidget;

// The program's icon in the notification area. A left click asks the main
// window to show or hide itself, a right click opens the tray menu (the second
// pop-up of menu 129, owner-drawn) at the pointer, and the chosen command goes
// to the main window afterwards.
//
// When the tray host restarts, Qt docks a shown icon again by itself: an XEmbed
// tray manager taking the tray selection, or a StatusNotifierItem watcher
// registering anew, so the icon needs no re-adding of its own.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIconId = 128;
    static constexpr int kTrayMenuPopup = 1;
    // The mouse messages of the icon callback (the customary WM_*BUTTON* numbers).
    static constexpr int kLButtonDown = 0x0201;
    static constexpr int kLButtonDblClk = 0x0203;
    static constexpr int kRButtonUp = 0x0205;
    static constexpr int kMButtonUp = 0x0208;

    // owner: the main window, which owns the menu and receives its commands.
    explicit TrayIcon(QWidget* owner);
    ~TrayIcon() override;

    // Shows the icon with its tip; adding an icon already present changes nothing.
    void AddTrayIcon();
    void RemoveTrayIcon();
    bool IsAdded() const { return m_tray.isVisible(); }

    // The icon callback: the rules of a click on the icon. Returns 1 for another icon, else 0.
    int OnTrayNotify(int iconId, int mouseMessage);
    // Shows the tray menu at pos and returns the command chosen (0 for none); the
    // command is also sent, queued, as menuCommand.
    int ShowTrayMenu(const QPoint& pos);

    // Whether the desktop has a notification area at all. Without one, hiding the
    // main window would leave no way back to it.
    static bool IsAvailable();
    static void SetAvailableForTesting(std::optional<bool> available);

    // A left click's rule: a hidden (or minimised) window is shown in its normal
    // state; a shown one goes into the notification area by hideToTray, the
    // window's own way of hiding when minimised (without it: hidden). Never by
    // asking the window manager to minimise it, which some managers refuse or
    // answer late, and which a Wayland compositor never reports back.
    static void ToggleWindow(QWidget* window, const std::function<void()>& hideToTray = {});

    QSystemTrayIcon* systemTrayIcon() { return &m_tray; }
    QString toolTip() const { return m_tray.toolTip(); }

signals:
    void toggleMainWindowRequested();
    void menuCommand(int commandId);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QPointer<QWidget> m_owner;
    QSystemTrayIcon m_tray;
};
