#pragma once

#include <QDateTime>
#include <QString>

// The repair of a damaged data file at start-up.
namespace store {

enum class DataFileState {
    Sound,   // a reminder database SQLite reads without fault
    Damaged, // SQLite finds its content corrupt or no database, or a table is missing or lacks a field
    Unknown, // it cannot be looked at now: locked, not readable, missing; never damaged
};

// What the data file at path is; why receives the reason for anything but Sound.
DataFileState ExamineDataFile(const QString& path, QString* why = nullptr);

struct RepairResult
{
    enum class Action {
        Nothing,    // the file is not damaged (or could not be looked at): left as it is
        Salvaged,   // the records that could be read are in a fresh data file
        FromBackup, // nothing could be read: the data file is a copy of the backup
        Fresh,      // nothing could be read and no backup is usable: an empty data file
        Failed,     // damaged, but the repair could not be finished: everything as it was
    };
    Action action = Action::Nothing;
    QString damagedCopy; // where the damaged file is kept (all but Nothing and Failed)
    int records = 0;     // the records of the new data file
    QString problem;     // Nothing and Failed: why
};

// Repairs the data file at dataFile if it is damaged: keeps the damaged file as
// "<dataFile>.damaged-<date-time>" (never deleted), saves every record SQLite can
// still read into a fresh database made from the schema and puts that in its
// place; where nothing can be read, a valid backup takes its place instead.
// Anything that fails on the way leaves the data file as it was.
RepairResult RepairDataFile(const QString& dataFile, const QString& backupFile, const QDateTime& now);

// The one message telling the user what the repair did and where the damaged
// file is; empty when it did nothing.
QString RepairReport(const RepairResult& result);

} // namespace store
