#pragma once

// Dialog 136, the runtime repair notice.
namespace ids {
inline constexpr int kRepairDlg = 136;
inline constexpr int kRepairCloseTimer = 1;
inline constexpr int kRepairCloseMs = 5000;
} // namespace ids
