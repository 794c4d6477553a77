#pragma once

#include <QString>
#include <functional>

class QWidget;
class StoreService;

// The one shutdown operation: asks the system to power off, never forced, and
// returns at once; the program runs on while the system (polkit) decides.
// Accepted: the store is released (if still held) and the session ends.
// Refused: "ExitWindowsEx" with the system's reason under it, and the program
// keeps its store and goes on working. store: the application's store (null:
// none to release). done, if given, runs with the answer, before the store is
// released. Returns false, asking nothing, while an earlier request still
// waits for its answer.
using ShutdownDone = std::function<void(bool accepted)>;
bool ShutDownSystem(StoreService* store, QWidget* owner = nullptr, ShutdownDone done = {});

// What ticking or unticking the editor's "自动关机" box does to the editor.
struct AutoShutdownEdit
{
    bool clearEditor = false; // reset the editor first (ClearEditor)
    bool fillTexts = false;   // set the subject and content edits to the texts below
    QString subject;
    QString content;
    bool editsEnabled = true; // enable or disable the subject and content edits
};

// OnAutoShutdownClicked: autoShutdown is the box's state after the click. When
// ticked, asks whether to prompt before shutting down (owner: the main window).
AutoShutdownEdit OnAutoShutdownClicked(QWidget* owner, bool autoShutdown);

// The texts of a shutdown record.
namespace shutdown {
inline constexpr const char kSubject[] = "关机";
inline constexpr const char kPrompt[] = "需要提示";
inline constexpr const char kDirect[] = "直接关机";
} // namespace shutdown
