#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The program's commands for scripts and other programs: `tolva --add ...`,
// `--list`, `--modify`, `--delete`, `--next`, `--help`. They run without a
// window and without the single-instance lock, on the same data file through
// the same store and the same checks as the editor, so they work whether the
// program runs or not; the running copy sees their writes through its watch
// of the data folder.
namespace commandline {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kRefused = 1; // refused by a check, or the store failed
inline constexpr int kBadUsage = 2;

// True when the arguments (after the program's path) are a command rather
// than a start of the program: the first one starts with "--".
bool IsCommand(const QStringList& arguments);

// Runs one command: results on out, Chinese messages on err. Returns the exit status.
int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

// A text as one field of a --list line: tab, line feed, carriage return and
// backslash written as \t, \n, \r and \\.
QString Escaped(const QString& text);

} // namespace commandline
