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
} // namespace ids
