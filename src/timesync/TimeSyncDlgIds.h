#pragma once

// Dialog 135, the time calibration.
namespace ids {
inline constexpr int kDlgTimeSync = 135;
inline constexpr int kTimeSyncServerList = 1022;
inline constexpr int kTimeSyncLog = 1059;
inline constexpr int kTimeSyncCalibrate = 1058;
inline constexpr int kTimeSyncClose = 2; // the cancel button
// The dialog's one timer: a progress dot each period while it waits.
inline constexpr int kTimeSyncProgressTimer = 1;
inline constexpr int kTimeSyncProgressMs = 1000;
} // namespace ids
