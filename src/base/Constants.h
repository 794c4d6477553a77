#pragma once

// Names and texts that several parts of the program share.
namespace tolva {

// Caption of message boxes raised without one of their own.
inline constexpr const char kProgramTitle[] = "Tolva小精灵";
// Title of the main window; a second copy finds the first one by it.
inline constexpr const char kMainWindowTitle[] = "Tolva小精灵2016";
// Name of the single-instance lock and of the local server a second copy calls.
inline constexpr const char kInstanceName[] = "TOLVAKORVEN2016";
// Command-line switch of the hidden start at log-on.
inline constexpr const char kHiddenStartSwitch[] = "-Tolva";

// The product's web site. No site exists yet.
inline constexpr const char kProductHost[] = "tolva.example.org";
inline constexpr const char kProductUrl[] = "https://tolva.example.org/";

// The program's icon (scalable), on every window and in the tray.
inline constexpr const char kIconResource[] = ":/icon128.svg";

// The one table of the store.
inline constexpr const char kReminderTable[] = "recordmsg";

} // namespace tolva
