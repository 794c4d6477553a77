#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The checks of the desktop entries the program writes (log-on start,
// shortcuts), read the way a desktop reads them, independently of the
// program's own writer and reader.

// The [Desktop Entry] keys of a file, string escapes undone.
QMap<QString, QString> ReadDesktopEntry(const QString& path);

// The arguments of an Exec value by the freedesktop.org rules: %% is a percent
// sign; inside double quotes a backslash makes the next of " ` $ \ literal;
// outside quotes blanks separate the arguments. ok is false on a field code,
// an unescaped reserved character or an open quote.
QStringList ParseExec(const QString& exec, bool* ok);

// desktop-file-validate's verdict on the file: empty when it accepts it,
// "<missing>" when the tool is not installed.
QString ValidateDesktopEntry(const QString& path);

// True when path lies inside the system's temporary folder.
bool UnderTemp(const QString& path);

// Every entry of a folder, hidden ones included, sorted by name.
QStringList EntriesOf(const QString& folder);

// The test runs as root, whom permission bits do not stop.
bool RunningAsRoot();
