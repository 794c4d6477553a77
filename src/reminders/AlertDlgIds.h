#pragma once

// Dialog 130, the reminder popup. Its control ids overlap the main window's,
// hence their own namespace; each control's object name is given beside it.
namespace ids::alert {
inline constexpr int kDialog = 130;
inline constexpr int kTimeEdit = 1015;      // "timeEdit"
inline constexpr int kSubjectEdit = 1004;   // "subjectEdit"
inline constexpr int kContentEdit = 1003;   // "contentEdit"
inline constexpr int kDeleteCheck = 1002;   // "deleteCheck"
inline constexpr int kShutdownCheck = 1037; // "shutdownCheck"
inline constexpr int kOkButton = 1023;      // "okButton"
inline constexpr int kSnoozeButton = 1071;  // "snoozeButton"
inline constexpr int kDeleteRadio = 1061;   // "deleteRadio"
inline constexpr int kKeepRadio = 1062;     // "keepRadio"
} // namespace ids::alert
