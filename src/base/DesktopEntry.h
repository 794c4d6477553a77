#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Desktop entry files (the freedesktop.org desktop entry format), the form
// that the program's shortcuts and its log-on start take on the Linux desktop.
namespace desktop {

// The Exec command line before the key file's own escaping: the program always
// in double quotes, each argument only when it holds a reserved character;
// inside quotes '"', '`', '$' and '\' get a backslash, and '%' is doubled.
QString ExecCommand(const QString& program, const QStringList& arguments = {});

// The escaping of a string value: backslash, line feed, tab and carriage return.
QString EscapeString(const QString& value);

struct Entry
{
    QString name;
    QString program;
    QStringList arguments;
    QString workingFolder; // the Path key; left out when empty
    QString icon;          // left out when empty
    // Hidden=true: the entry counts as deleted, and so does every entry of the
    // same name in the folders it takes precedence over.
    bool hidden = false;
};

// The whole file, UTF-8, as an application entry.
QByteArray EntryText(const Entry& entry);

// The string-level escapes of values undone (\s \n \t \r \\).
QString UnescapeString(const QString& value);

// The keys of one group of a desktop entry file in file order, values with
// their escapes undone; empty when the file or the group is missing.
QList<QPair<QString, QString>> ReadGroup(const QString& file, const QString& group);
// One key of the [Desktop Entry] group; empty when missing.
QString ReadValue(const QString& file, const QString& key);

} // namespace desktop
