#pragma once

#include "platform/ShellFolders.h"

#include <QString>

class QObject;

// The program's shortcuts in the four places of the installed ShellFolders seam.
// Message boxes are owned by owner.
void SendShortcuts(QObject* owner);
void DeleteShortcuts(QObject* owner);
// After the program has moved: delete, then send (two messages in a row).
void RepairShortcuts(QObject* owner);

// Removes the folder with everything in it, read-only entries included; a link
// is removed as a link and never followed. Failures are passed over.
void RemoveTree(const QString& folder);

// Where the shortcuts go. A path is empty when its shell folder is unknown.
struct ShortcutPaths
{
    QString groupFolder; // programs/Tolva软件
    QString menuFolder;  // programs/Tolva软件/Tolva小精灵
    QString menuLink;    // menu folder/Tolva小精灵.desktop
    QString desktopLink;
    QString startMenuLink;
    QString quickLaunchLink;
};
ShortcutPaths BuildShortcutPaths(const ShellFolders::Locations& locations);

namespace shortcut_text {
inline constexpr const char kGroupFolder[] = "Tolva软件";
inline constexpr const char kMenuFolder[] = "Tolva小精灵";
inline constexpr const char kLinkFile[] = "Tolva小精灵.desktop";

inline constexpr const char kSent[] = "桌面快捷方式发送成功！  ";
inline constexpr const char kSendFailed[] = "桌面快捷方式发送失败！  ";
inline constexpr const char kNoDesktopLink[] = "桌面快捷方式不存在！  ";
inline constexpr const char kDeleted[] = "桌面快捷方式删除成功！  ";
} // namespace shortcut_text
