#pragma once

// Menu commands (menu resource 129).
namespace ids {
inline constexpr int kCmdDeleteRecord = 32772;
inline constexpr int kCmdAbout = 32774;
inline constexpr int kCmdShowMainWindow = 32776;
inline constexpr int kCmdExit = 32777;
inline constexpr int kCmdTimeSync = 32778;
inline constexpr int kCmdSettings = 32779;
inline constexpr int kCmdDeleteExpired = 32780;

// Controls of the main window (dialog 102), in resource order.
inline constexpr int kIdcSubject = 1004;
inline constexpr int kIdcContent = 1003;
inline constexpr int kIdcAddModify = 1007;
inline constexpr int kIdcDatePicker = 1005;
inline constexpr int kIdcTimePicker = 1006;
inline constexpr int kIdcCancelReminder = 1002;
inline constexpr int kIdcFilterAll = 1010;
inline constexpr int kIdcFilterNotTaken = 1011;
inline constexpr int kIdcFilterTaken = 1012;
inline constexpr int kIdcFilterUpcoming = 1014;
inline constexpr int kIdcListGroup = 1013;
inline constexpr int kIdcRecordList = 1000;
inline constexpr int kIdcEditorGroup = 1001;
inline constexpr int kIdcRecordId = 1009;
inline constexpr int kIdcClockLine = 1016;
inline constexpr int kIdcRefreshDelete = 1020;
inline constexpr int kIdcStatusLine = 1021;
inline constexpr int kIdcRestGroup = 1025;
inline constexpr int kIdcRestMinutes = 1027;
inline constexpr int kIdcRestSpin = 1032;
inline constexpr int kIdcRestRunning = 1029;
inline constexpr int kIdcRestStartStop = 1030;
inline constexpr int kIdcRestStatus = 1031;
inline constexpr int kIdcCountdownGroup = 1028;
inline constexpr int kIdcCountdownHours = 1033;
inline constexpr int kIdcCountdownMinutes = 1039;
inline constexpr int kIdcCountdownSeconds = 1041;
inline constexpr int kIdcHourSpin = 1034;
inline constexpr int kIdcMinuteSpin = 1040;
inline constexpr int kIdcSecondSpin = 1042;
inline constexpr int kIdcCountdownRunning = 1043;
inline constexpr int kIdcCountdownStartStop = 1044;
inline constexpr int kIdcCountdownStatus = 1035;
inline constexpr int kIdcAutoShutdown = 1036;
inline constexpr int kIdcCountdownShutdown = 1038;
inline constexpr int kIdcSettings = 1045;
inline constexpr int kIdcAbout = 1046;
inline constexpr int kIdcToTray = 1047;
inline constexpr int kIdcTimeSync = 1057;
inline constexpr int kIdcEveryDay = 1063;
// The repeat chooser beside 每天提醒 (after the form's own controls).
inline constexpr int kIdcRepeat = 1064;

// Timers of the main window.
inline constexpr int kTimerDueQueue = 1;      // shows the next due reminder
inline constexpr int kTimerStartDueCheck = 2; // starts the due-check worker once
inline constexpr int kTimerClock = 3;         // refreshes the clock line
inline constexpr int kTimerStatusClear = 4;   // clears the status line under the list
inline constexpr int kTimerRest = 5;          // rest reminder tick
inline constexpr int kTimerCountdown = 6;     // countdown tick
inline constexpr int kTimerHiddenStart = 7;   // ends a hidden start
} // namespace ids
