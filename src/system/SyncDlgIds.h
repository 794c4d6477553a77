#pragma once

// The sync's settings dialog, "同步设置", opened from 常规设置's "同步…".
namespace ids {
inline constexpr int kSyncClose = 2; // "关闭", also Esc
inline constexpr int kSyncUrl = 1080;
inline constexpr int kSyncUser = 1081;
inline constexpr int kSyncPassword = 1082;
inline constexpr int kSyncCalendar = 1083;
inline constexpr int kSyncFind = 1084; // "查找日历"
inline constexpr int kSyncInterval = 1085;
inline constexpr int kSyncNow = 1086;  // "立即同步"
inline constexpr int kSyncSave = 1087; // "保存"
inline constexpr int kSyncStatus = 1088;
} // namespace ids
