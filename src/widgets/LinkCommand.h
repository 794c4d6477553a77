#pragma once

#include <QString>

// The fallback of a hyperlink that the desktop could not open: the browser's
// own command line with the address in place of its placeholder.

// The command line up to its placeholder: the first quoted placeholder
// ("%1", or a desktop entry's "%u", "%U", "%f", "%F") cut at its opening quote,
// else the first bare one, else the whole line.
QString CutBrowserCommand(const QString& commandLine);

// The cut command line, one space, and the target.
QString BrowserCommandFor(const QString& commandLine, const QString& target);

// The message shown when a link cannot be opened, for a ShellExecute result code.
QString OpenErrorText(int code);
