#pragma once

#include <QString>

struct sqlite3;

namespace store {

// The text for a failure of the data layer: what it means to the user, in the
// interface's language, followed by SQLite's own words for diagnosis, e.g.
// "数据文件正被其他程序使用（database is locked）".
QString ErrorText(int resultCode, const QString& sqliteText);
// The same for the last failure on a connection.
QString ErrorText(sqlite3* db);

// True for the result codes that say the file's content is damaged or is no
// database at all, as opposed to a file that is locked, unreadable or missing.
bool IsDamage(int resultCode);

} // namespace store
