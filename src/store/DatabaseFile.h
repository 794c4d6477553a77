#pragma once

#include <QByteArray>
#include <QString>

struct sqlite3;

// The reminder database as a file: checking one, copying one whole, making a
// fresh one from the schema the delivered database is made from.
namespace store {

// The schema of the delivered database (res/schema.sql, compiled in).
const char* SchemaSql();

// A new, empty reminder database in memory, made from the schema; null (with
// why set) when it cannot be made. The caller closes it.
sqlite3* NewReminderDatabase(QString* why = nullptr);

// Empty when db holds a reminder database: quick_check finds nothing wrong, the
// table recordmsg passes CheckReminderTable and the tables of its generation
// are there (CheckGenerationTables). Otherwise the reason, for the user.
QString CheckReminderDatabase(sqlite3* db);

// Empty when the table recordmsg has its seven fields and id is its integer key
// (the row's own number, never a text). Otherwise the reason, for the user, as
// for a damaged file. Reads only the schema, so it is quick at any size.
QString CheckReminderTable(sqlite3* db);

// Sets a connection that writes a data file to commits that survive a power
// cut. False when SQLite refuses.
bool UseDurableCommits(sqlite3* db);

// The database at path as the bytes of a database file, copied through
// SQLite's online backup within one read transaction (so that a writer
// elsewhere cannot tear the copy) and checked as above. Empty, with why set,
// when the file cannot be read or holds no reminder database.
// records, when given, receives the number of its records.
QByteArray ReadDatabaseImage(const QString& path, QString* why = nullptr, int* records = nullptr);

// The bytes of an open database as its file would hold them.
QByteArray SerializeDatabase(sqlite3* db);

// Replaces target by image atomically (a temporary file in the same folder,
// synced, renamed). The new file keeps the permission bits of the file it
// replaces, or takes those of modeFrom (else 0600) when there was none.
bool WriteDatabaseImage(const QString& target, const QByteArray& image, const QString& modeFrom = QString());

// The number of records of a reminder database; -1 when it cannot be counted.
int CountReminders(sqlite3* db);

} // namespace store
