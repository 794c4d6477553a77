#pragma once

class QObject;

// Start with the system, through the installed AutostartEntry seam. Each
// operation shows its outcome in message boxes owned by owner.
void EnableAutostart(QObject* owner);
void DisableAutostart(QObject* owner);
// After the program has moved: cancel, then set again (two messages in a row).
void RepairAutostart(QObject* owner);

namespace autostart_text {
inline constexpr const char kNoExecutable[] = "没找到执行程序，自动运行失败！  ";
inline constexpr const char kEnabled[] = "开机启动设置成功！  ";
inline constexpr const char kWriteFailed[] = "系统参数错误，不能随系统启动！  ";
inline constexpr const char kDisabled[] = "开机启动已经成功取消！  ";
inline constexpr const char kDisableFailed[] = "取消失败！请检查开机启动是否已经被取消！  ";
} // namespace autostart_text
