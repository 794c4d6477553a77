#pragma once

#include <QString>

struct sqlite3;

// The generations of the reminder database's schema. PRAGMA user_version holds
// a file's generation; 0 is the reminder table alone. Each step brings a file
// from the generation before it to its own; a later change of the schema is a
// new step at the end of the list in SchemaUpgrade.cpp, and the same change in
// res/schema.sql, which makes the delivered database at the newest generation.
namespace store {

// The newest generation this program knows.
int SchemaGeneration();

// A file's generation; -1 when it cannot be read.
int FileGeneration(sqlite3* db);

// Brings an open reminder database up to the newest generation, all steps in
// one transaction, so that a file is either upgraded whole or left as it was.
// A file of a newer generation is left as it is. A file that cannot be written
// (the file or its folder read-only) is left as it is too, and the user is told
// once per file and run, when the event loop next runs. False, with message
// set, only when the file is damaged; any other failure leaves the file as it
// was and opens it as it is.
bool UpgradeSchema(sqlite3* db, QString& message);

// Empty when a file of a generation this program knows holds every table the
// steps up to its generation added; else the reason, as for a damaged file.
// A file of a newer generation is taken as it is.
QString CheckGenerationTables(sqlite3* db);

// For records copied out of a file of generation `from` into a database of the
// newest generation (a repair's salvage): makes the changes to records that the
// upgrade steps after `from` make. False when a statement fails.
bool CarryRecordsForward(sqlite3* db, int from);

// The text telling the user that the data file was opened without its upgrade.
QString ReadOnlyNotUpgradedText();

} // namespace store
