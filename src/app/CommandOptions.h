#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line's options, read and checked before anything is opened.
namespace commandline {

// Occurrences --next gives when no count is named, and at most.
inline constexpr int kDefaultNext = 5;
inline constexpr int kMaxNext = 10000;

struct Options
{
    QString command; // add, list, modify, delete, next, export, import, sync-account, sync or help
    QString target;  // --add's subject, the record id of --modify, --delete and --next, the file of
                     // --export and --import, or --sync-account's URL
    QString user;    // --sync-account's user
    QString count;   // --next's N, or empty
    std::optional<QString> subject, at, content, rrule, shutdown;
    bool everyDay = false;
    bool workdays = false;
};

// Reads the arguments after the program's path into options; false, with the
// reason in Chinese in error, for a usage fault.
bool ReadOptions(const QStringList& arguments, Options& options, QString& error);

// What --help prints.
QString HelpText();

} // namespace commandline
