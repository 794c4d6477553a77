#pragma once

#include <QString>

class QWidget;

// The one shutdown operation: releases the store (if still held) and asks the
// system to power off, never forced. A refused request is reported with
// "ExitWindowsEx"; the program then runs on without its store.
void ShutDownSystem(QWidget* owner = nullptr);

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
