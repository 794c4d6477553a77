#pragma once

// Dialog 100, the about box.
namespace ids {
inline constexpr int kAboutDlg = 100;
inline constexpr int kAboutLink = 1024; // the download link
inline constexpr int kAboutOk = 1048;   // "我知道啦"
} // namespace ids
