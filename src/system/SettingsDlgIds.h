#pragma once

// Dialog 134, the settings dialog.
namespace ids {
inline constexpr int kSettingsDlg = 134;
inline constexpr int kSettingsClose = 1; // the dialog's OK command, "关闭窗口"
inline constexpr int kSettingsAutostartGroup = 1049;
inline constexpr int kSettingsAutostartOn = 1050;
inline constexpr int kSettingsAutostartOff = 1051;
inline constexpr int kSettingsAutostartRepair = 1052;
inline constexpr int kSettingsShortcutSend = 1053;
inline constexpr int kSettingsShortcutDelete = 1054;
inline constexpr int kSettingsShortcutRepair = 1055;
inline constexpr int kSettingsBackup = 1064;
inline constexpr int kSettingsRestore = 1065;
inline constexpr int kSettingsCompact = 1066;
inline constexpr int kSettingsLoadHolidays = 1067; // "载入节假日安排…"
inline constexpr int kSettingsImport = 1068;       // "导入…", an iCalendar file
inline constexpr int kSettingsExport = 1069;       // "导出…"
inline constexpr int kSettingsNotify = 1072;       // check box: desktop notifications with each popup
inline constexpr int kSettingsIdleReset = 1073;    // check box: the rest count starts again after an absence
inline constexpr int kSettingsIdleMinutes = 1074;  // spin box: the absence that counts, in minutes
inline constexpr int kSettingsAllDayTime = 1075;   // time edit: when imported all-day events fall due
inline constexpr int kSettingsSync = 1076;         // "同步…"
} // namespace ids
