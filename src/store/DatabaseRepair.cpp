#include "store/DatabaseRepair.h"

#include "base/FileOps.h"
#include "store/DatabaseFile.h"
#include "store/SchemaUpgrade.h"
#include "store/SqliteHandles.h"
#include "store/StoreErrors.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

// A lock held elsewhere is waited for only briefly: the store's own open has waited already.
constexpr int kExamineBusyMs = 200;
// Rows that cannot be reached are stepped over one id at a time at first, in
// growing strides after every so many misses, up to a limit of attempts.
constexpr int kMissesPerStride = 1024;
constexpr int kMaxMisses = 1000000;

// The single integer a statement gives, if it gives one.
bool scalar(sqlite3* db, const QByteArray& sql, sqlite3_int64& value)
{
    Statement st(db, sql);
    if (!st.ok() || st.step() != SQLITE_ROW || sqlite3_column_type(st.get(), 0) == SQLITE_NULL)
        return false;
    value = sqlite3_column_int64(st.get(), 0);
    return true;
}

DataFileState judge(int resultCode, sqlite3* db, QString* why)
{
    if (why)
        *why = db ? ErrorText(db) : ErrorText(resultCode, QString());
    return IsDamage(resultCode) ? DataFileState::Damaged : DataFileState::Unknown;
}

// What is saved of one table keyed by the record's id: its fields after the
// rowid, each with what stands in when the damaged table lacks it, and the
// statement that writes a row into the fresh database (?1 the id, then the
// fields in order). A row counts as saved when that statement changed a row.
struct SavedTable
{
    const char* name;
    QList<QPair<const char*, const char*>> fields;
    const char* write;
};

// The records first: the rows beside them are saved only for a record that was
// saved, so that no rule, snooze or uid outlives its record. A salvaged record
// got a new uid from the schema's trigger; its old one replaces it.
const SavedTable kRecords = {
    "recordmsg",
    {{"titile", "NULL"},
     {"text", "NULL"},
     {"date", "NULL"},
     {"time", "NULL"},
     {"use", "NULL"},
     {"insertdatatime", "NULL"}},
    "insert or ignore into recordmsg (id, titile, text, date, time, use, insertdatatime) "
    "values (?1, ?2, ?3, ?4, ?5, ?6, ?7)"};
const SavedTable kBesideRecords[] = {
    {"repeatrule",
     {{"dtstart", "NULL"}, {"rrule", "''"}, {"workdays", "''"}, {"tzid", "''"}},
     "insert or ignore into repeatrule (id, dtstart, rrule, workdays, tzid) "
     "select ?1, ?2, ?3, ?4, ?5 where exists (select 1 from recordmsg where id = ?1)"},
    {"snooze",
     {{"until", "NULL"}},
     "insert or ignore into snooze (id, until) "
     "select ?1, ?2 where exists (select 1 from recordmsg where id = ?1)"},
    {"recorduid", {{"uid", "NULL"}}, "update or ignore recorduid set uid = ?2 where id = ?1"},
    {"holidays",
     {{"loaded", "NULL"}, {"text", "NULL"}},
     "insert or ignore into holidays (id, loaded, text) values (?1, ?2, ?3)"},
};

// The fields of a table after the rowid, as the damaged file has them; empty
// when it has no such table.
QByteArray fieldsOf(sqlite3* db, const SavedTable& table)
{
    QSet<QByteArray> present;
    Statement info(db, QByteArray("pragma table_info(") + table.name + ')');
    while (info.ok() && info.step() == SQLITE_ROW)
        present.insert(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1))));
    if (present.isEmpty())
        return QByteArray();
    QByteArray list;
    for (const auto& [field, standIn] : table.fields) {
        if (!list.isEmpty())
            list += ", ";
        list += present.contains(QByteArray(field)) ? QByteArray(field) : QByteArray(standIn);
    }
    return list;
}

// Copies every row of a table SQLite can still read from the damaged file old
// into fresh, in id order, stepping over what it cannot read. Returns how many.
int salvageTable(sqlite3* old, sqlite3* fresh, const SavedTable& table)
{
    const QByteArray fields = fieldsOf(old, table);
    if (fields.isEmpty())
        return 0;
    const QByteArray name(table.name);
    Statement scan(old, "select rowid, " + fields + " from " + name + " where rowid > ?1 order by rowid");
    // "At or after", not "after": a seek past an id lands in the page holding
    // that id, which may be the damaged one, and would skip the first row of
    // the page that follows.
    Statement next(old, "select rowid from " + name + " where rowid >= ?1 order by rowid limit 1");
    Statement one(old, "select rowid, " + fields + " from " + name + " where rowid = ?1");
    Statement write(fresh, table.write);
    if (!scan.ok() || !next.ok() || !one.ok() || !write.ok())
        return 0;

    // How far ids went, to know when to stop stepping over unreadable parts.
    sqlite3_int64 bound = 0, value = 0;
    if (scalar(old, "select seq from sqlite_sequence where name='" + name + "'", value))
        bound = value;
    if (scalar(old, "select max(rowid) from " + name, value) && value > bound)
        bound = value;

    const int columns = 1 + int(table.fields.size());
    const auto copy = [&](sqlite3_stmt* from) {
        sqlite3_reset(write.get());
        for (int c = 0; c < columns; ++c)
            sqlite3_bind_value(write.get(), c + 1, sqlite3_column_value(from, c));
        return sqlite3_step(write.get()) == SQLITE_DONE && sqlite3_changes(fresh) == 1;
    };

    int saved = 0, misses = 0;
    sqlite3_int64 last = 0; // ids start at 1
    constexpr sqlite3_int64 kMaxId = std::numeric_limits<sqlite3_int64>::max();
    while (true) {
        int rc = scan.stepWith(last);
        while (rc == SQLITE_ROW) {
            const sqlite3_int64 id = sqlite3_column_int64(scan.get(), 0);
            if (id <= last) // a damaged tree may lead back: never go round in circles
                break;
            saved += copy(scan.get()) ? 1 : 0;
            last = id;
            rc = scan.step();
        }
        scan.reset();
        if (rc == SQLITE_DONE)
            break;
        // Something after last cannot be read: the row itself, or the way to
        // it. Look for the next row from ever further on.
        sqlite3_int64 from = last;
        while (true) {
            const sqlite3_int64 stride = 1 + misses / kMissesPerStride;
            if (from > kMaxId - stride) {
                from = -1;
                break;
            }
            from += stride;
            rc = next.stepWith(from);
            if (rc != SQLITE_ROW || sqlite3_column_int64(next.get(), 0) < from) {
                next.reset();
                if (rc == SQLITE_DONE || ++misses > kMaxMisses || (bound > 0 && from >= bound)) {
                    from = -1;
                    break;
                }
                continue;
            }
            from = sqlite3_column_int64(next.get(), 0);
            next.reset();
            break;
        }
        if (from < 0)
            break;
        if (one.stepWith(from) == SQLITE_ROW)
            saved += copy(one.get()) ? 1 : 0;
        one.reset();
        last = from;
    }
    return saved;
}

// Copies every record SQLite can still read from the damaged file at path into
// fresh, with the rows kept beside each, as one transaction. Returns how many
// records.
int salvageRecords(const QString& path, sqlite3* fresh)
{
    Connection old;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), old.out(), SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        return 0;
    // A file cut short is refused as a whole without this; with it, the pages
    // that are still there can be read. The connection cannot write anyway.
    sqlite3_exec(old.get(), "pragma writable_schema=on", nullptr, nullptr, nullptr);

    if (sqlite3_exec(fresh, "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
        return 0;
    const int saved = salvageTable(old.get(), fresh, kRecords);
    for (const SavedTable& table : kBesideRecords)
        salvageTable(old.get(), fresh, table);
    // The records of an older file come to the newest generation as its upgrade would bring them.
    const int generation = FileGeneration(old.get());
    bool ok = generation < 0 || CarryRecordsForward(fresh, generation);

    // Ids are never given out twice, not even those of records that were lost.
    sqlite3_int64 value = 0;
    if (scalar(old.get(), "select seq from sqlite_sequence where name='recordmsg'", value)) {
        Statement raise(fresh, "update sqlite_sequence set seq = max(seq, ?1) where name = 'recordmsg'");
        if (raise.ok() && raise.stepWith(value) == SQLITE_DONE && sqlite3_changes(fresh) == 0) {
            Statement add(fresh, "insert into sqlite_sequence (name, seq) values ('recordmsg', ?1)");
            if (add.ok())
                add.stepWith(value);
        }
    }
    if (!ok || sqlite3_exec(fresh, "commit", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(fresh, "rollback", nullptr, nullptr, nullptr);
        return 0;
    }
    return saved;
}

bool entryExists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Gives the damaged file a second name beside it, the first free one of
// <file>.damaged-<date-time>[-n]. A hard link where the file system has them,
// so that the data file never goes missing, else a copy. Empty on failure.
QString keepAside(const QString& dataFile, const QDateTime& now)
{
    const QString stem =
        dataFile + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(dataFile);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? stem : stem + QLatin1Char('-') + QString::number(n);
        const QByteArray to = QFile::encodeName(name);
        if (::link(from.constData(), to.constData()) == 0)
            return name;
        if (errno == EEXIST)
            continue;
        if (entryExists(to))
            continue;
        return fileops::CopyFileAtomically(dataFile, name) ? name : QString();
    }
    return QString();
}

// A rollback journal (or a write-ahead log) beside the data file belongs to the
// damaged file; SQLite would play it into the new one. It goes with the damaged file.
const char* const kCompanions[] = {"-journal", "-wal"};

} // namespace

DataFileState ExamineDataFile(const QString& path, QString* why)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return judge(SQLITE_CANTOPEN, nullptr, why);
    Connection db;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), db.out(), SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK)
        return judge(sqlite3_extended_errcode(db.get()), db.get(), why);
    sqlite3_busy_timeout(db.get(), kExamineBusyMs);

    // The first read of the file: a lock elsewhere shows here as busy.
    {
        Statement tables(db.get(),
                         "select count(*) from sqlite_master where type='table' and name='recordmsg'");
        rc = tables.ok() ? tables.step() : sqlite3_errcode(db.get());
        if (rc != SQLITE_ROW)
            return judge(sqlite3_extended_errcode(db.get()), db.get(), why);
        if (sqlite3_column_int(tables.get(), 0) == 0) {
            if (why)
                *why = ErrorText(SQLITE_CORRUPT, QStringLiteral("no such table: recordmsg"));
            return DataFileState::Damaged;
        }
    }
    // A table that lost a field or its integer key is damaged as well; its records are saved all the same.
    if (const QString problem = CheckReminderTable(db.get()); !problem.isEmpty()) {
        if (why)
            *why = problem;
        return DataFileState::Damaged;
    }
    // So is a file that lost a table of its generation: the due check could not run on it.
    if (const QString problem = CheckGenerationTables(db.get()); !problem.isEmpty()) {
        if (why)
            *why = problem;
        return DataFileState::Damaged;
    }
    for (const char* sql : {"pragma quick_check", "select count(*) from recordmsg"}) {
        Statement st(db.get(), sql);
        if (!st.ok())
            return judge(sqlite3_extended_errcode(db.get()), db.get(), why);
        while ((rc = st.step()) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
            if (sql[0] == 'p' && text && QByteArray(text) != "ok") {
                if (why)
                    *why = ErrorText(SQLITE_CORRUPT, QString::fromUtf8(text));
                return DataFileState::Damaged;
            }
        }
        if (rc != SQLITE_DONE)
            return judge(sqlite3_extended_errcode(db.get()), db.get(), why);
    }
    if (why)
        why->clear();
    return DataFileState::Sound;
}

RepairResult RepairDataFile(const QString& dataFile, const QString& backupFile, const QDateTime& now)
{
    RepairResult result;
    if (ExamineDataFile(dataFile, &result.problem) != DataFileState::Damaged)
        return result;

    const auto failed = [&result](const QString& problem) {
        result.action = RepairResult::Action::Failed;
        result.problem = problem;
        result.damagedCopy.clear();
        result.records = 0;
        return result;
    };

    // The new data file, made whole in memory before anything on disk changes.
    QString problem;
    Connection fresh;
    fresh.reset(NewReminderDatabase(&problem));
    if (!fresh.get())
        return failed(problem);
    QByteArray image;
    result.records = salvageRecords(dataFile, fresh.get());
    if (result.records > 0) {
        result.action = RepairResult::Action::Salvaged;
    } else {
        int inBackup = 0;
        image = ReadDatabaseImage(backupFile, nullptr, &inBackup);
        if (!image.isEmpty()) {
            result.action = RepairResult::Action::FromBackup;
            result.records = inBackup;
        } else {
            result.action = RepairResult::Action::Fresh;
        }
    }
    if (image.isEmpty()) {
        problem = CheckReminderDatabase(fresh.get());
        if (!problem.isEmpty())
            return failed(problem);
        image = SerializeDatabase(fresh.get());
        if (image.isEmpty())
            return failed(ErrorText(fresh.get()));
    }

    // Keep the damaged file, then put the new one in its place.
    const QString aside = keepAside(dataFile, now);
    if (aside.isEmpty())
        return failed(ErrorText(SQLITE_CANTOPEN, QString::fromLocal8Bit(strerror(errno))));
    QStringList movedCompanions;
    bool ok = true;
    for (const char* suffix : kCompanions) {
        const QByteArray from = QFile::encodeName(dataFile + QLatin1String(suffix));
        if (!entryExists(from))
            continue;
        if (::rename(from.constData(), QFile::encodeName(aside + QLatin1String(suffix)).constData()) != 0) {
            ok = false;
            break;
        }
        movedCompanions << QLatin1String(suffix);
    }
    const int savedErrno = errno;
    if (ok && WriteDatabaseImage(dataFile, image)) {
        result.damagedCopy = aside;
        return result;
    }
    const QString reason = QString::fromLocal8Bit(strerror(ok ? errno : savedErrno));
    // Back to what the user had: the data file never changed; its companions return.
    for (const QString& suffix : movedCompanions)
        ::rename(QFile::encodeName(aside + suffix).constData(),
                 QFile::encodeName(dataFile + suffix).constData());
    ::unlink(QFile::encodeName(aside).constData());
    return failed(ErrorText(SQLITE_IOERR, reason));
}

QString RepairReport(const RepairResult& result)
{
    const QString kept = QString::fromUtf8("\n 损坏的文件已另存为 %1  ").arg(result.damagedCopy);
    switch (result.action) {
    case RepairResult::Action::Nothing:
        return QString();
    case RepairResult::Action::Salvaged:
        return QString::fromUtf8("\n 数据文件已损坏。Tolva从中救出了 %1 条提醒记录，存入了新的数据文件。")
                   .arg(result.records) +
               kept;
    case RepairResult::Action::FromBackup:
        return QString::fromUtf8(
                   "\n 数据文件已损坏，其中的提醒记录都无法读出。Tolva换用了备份数据（%1 条提醒记录）。")
                   .arg(result.records) +
               kept;
    case RepairResult::Action::Fresh:
        return QString::fromUtf8("\n "
                                 "数据文件已损坏，其中的提醒记录都无法读出，也没有可用的备份。Tolva换用了新的"
                                 "空数据文件。") +
               kept;
    case RepairResult::Action::Failed:
        return QString::fromUtf8("\n 数据文件已损坏，Tolva未能修复：%1\n 数据文件保持原样。  ")
            .arg(result.problem);
    }
    return QString();
}

} // namespace store
