#pragma once

class QLineEdit;
class QWidget;
class UpDownControl;

// The number edits of the two timer groups of the main window.
namespace timerfield {

// Digits only, with the up-down as its buddy over the range.
void SetUp(QLineEdit* edit, UpDownControl* spin, int minimum, int maximum);

// The bound read of a number edit: an integer goes into value (true); any other
// text is reported ("请输入一个整数。"), the edit focused and selected (false).
bool Read(QWidget* owner, QLineEdit* edit, int& value);

} // namespace timerfield
