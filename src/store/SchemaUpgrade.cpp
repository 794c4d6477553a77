#include "store/SchemaUpgrade.h"

#include "base/FileOps.h"
#include "platform/MessageBoxes.h"
#include "store/SqliteHandles.h"
#include "store/StoreErrors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QSet>
#include <mutex>

namespace store {

namespace {

// A random (version 4) UUID made by SQLite itself, so that every program that
// inserts a record gives it one.
#define TOLVA_RANDOM_UUID_SQL                                                                                \
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || "                                      \
    "substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || "                 \
    "substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))"

// Generation 2's change to records, which a repair's salvage of an older file
// makes as well.
#define TOLVA_EVERY_DAY_NOT_USED_SQL "UPDATE recordmsg SET use = '0' WHERE date = 'Every Day';"

struct Step
{
    int generation;
    const char* sql;
};

// Append only: a step once released never changes, since files out there hold
// its generation. res/schema.sql states the same objects in the same words.
const Step kSteps[] = {
    // The list reads pages newest first under each filter and counts each
    // filter's records: "use" (with the key that every index ends in) serves
    // the two filters on it, (date, time) the records still to come and the
    // expired ones.
    {1, "CREATE INDEX recordmsg_use ON recordmsg (use);"
        "CREATE INDEX recordmsg_date_time ON recordmsg (date, time);"},
    // Repeating reminders, snoozes, a loaded holiday arrangement and the ids
    // other calendars know a record by, each beside the reminder table and
    // keyed by its id; the triggers keep them with their record whichever
    // program deletes it. The due check asks for the records not cancelled
    // (use '0') of a day and a range of times. An every-day record kept after
    // its popup used to be marked used and still fell due; from now on a used
    // record is cancelled, so the every-day ones start out not used.
    {2,
     "CREATE TABLE repeatrule (id INTEGER PRIMARY KEY, dtstart TEXT NOT NULL, rrule TEXT NOT NULL DEFAULT '',"
     " workdays TEXT NOT NULL DEFAULT '', tzid TEXT NOT NULL DEFAULT '');"
     "CREATE TABLE snooze (id INTEGER PRIMARY KEY, until TEXT NOT NULL);"
     "CREATE INDEX snooze_until ON snooze (until);"
     "CREATE TABLE holidays (id INTEGER PRIMARY KEY, loaded TEXT NOT NULL, text TEXT NOT NULL);"
     "CREATE TABLE recorduid (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE);"
     "CREATE INDEX recordmsg_due ON recordmsg (use, date, time);"
     "INSERT INTO recorduid (id, uid) SELECT id, " TOLVA_RANDOM_UUID_SQL " FROM recordmsg;"
     "CREATE TRIGGER recordmsg_uid AFTER INSERT ON recordmsg BEGIN"
     " INSERT OR IGNORE INTO recorduid (id, uid) VALUES (new.id, " TOLVA_RANDOM_UUID_SQL "); END;"
     "CREATE TRIGGER recordmsg_gone AFTER DELETE ON recordmsg BEGIN"
     " DELETE FROM repeatrule WHERE id = old.id; DELETE FROM snooze WHERE id = old.id;"
     " DELETE FROM recorduid WHERE id = old.id; END;" TOLVA_EVERY_DAY_NOT_USED_SQL},
    // Reminders that travel: an imported series' alarm comes `alarm` seconds
    // before each occurrence's start (kept apart from the start, which would
    // otherwise move to another weekday); when an occurrence was last
    // acknowledged, here or on another machine (UTC); and, for the CalDAV
    // sync, per event the state both sides had at the last sync (the server's
    // href, ETag and text, this machine's text) and the collection's values
    // (its address, its sync token).
    {3, "ALTER TABLE repeatrule ADD COLUMN alarm INTEGER NOT NULL DEFAULT 0;"
        "CREATE TABLE recordack (id INTEGER PRIMARY KEY, at TEXT NOT NULL);"
        "CREATE TABLE syncstatus (uid TEXT PRIMARY KEY, href TEXT NOT NULL, etag TEXT NOT NULL DEFAULT '',"
        " remote TEXT NOT NULL DEFAULT '', local TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE syncmeta (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "DROP TRIGGER recordmsg_gone;"
        "CREATE TRIGGER recordmsg_gone AFTER DELETE ON recordmsg BEGIN"
        " DELETE FROM repeatrule WHERE id = old.id; DELETE FROM snooze WHERE id = old.id;"
        " DELETE FROM recorduid WHERE id = old.id; DELETE FROM recordack WHERE id = old.id; END;"},
};

// The changes a step makes to records (not to the schema), in the same words
// as the step: what records copied out of an older file need.
const Step kRecordChanges[] = {
    {2, TOLVA_EVERY_DAY_NOT_USED_SQL},
};

// The tables each step adds, which a file of its generation or later must hold.
const struct
{
    int generation;
    const char* tables[4];
} kStepTables[] = {
    {2, {"repeatrule", "snooze", "holidays", "recorduid"}},
    {3, {"recordack", "syncstatus", "syncmeta", nullptr}},
};

bool cannotWrite(int resultCode)
{
    const int primary = resultCode & 0xFF;
    return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM ||
           primary == SQLITE_AUTH;
}

// Writing needs the file and, for the journal beside it, its folder.
bool writable(sqlite3* db)
{
    if (sqlite3_db_readonly(db, "main") != 0)
        return false;
    const char* file = sqlite3_db_filename(db, "main");
    if (!file || !*file)
        return true; // in memory
    return fileops::CanWrite(QFileInfo(QString::fromUtf8(file)).absolutePath());
}

// Once per file and run: a read-only file is opened again by every restore
// check and reopening, and one word about it is enough.
void tellNotUpgraded(sqlite3* db)
{
    static std::mutex mutex;
    static QSet<QString> told;
    const QString file = QString::fromUtf8(sqlite3_db_filename(db, "main"));
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (told.contains(file))
            return;
        told.insert(file);
    }
    // Never a modal box from inside the store's open, which holds its lock:
    // the box waits for the event loop.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            ShowMessageBox(nullptr, ReadOnlyNotUpgradedText(), QString(), MbButtons::Ok, MbIcon::Information);
        },
        Qt::QueuedConnection);
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

int SchemaGeneration()
{
    return std::end(kSteps)[-1].generation;
}

int FileGeneration(sqlite3* db)
{
    Statement st(db, "PRAGMA user_version");
    if (!st.ok() || st.step() != SQLITE_ROW)
        return -1;
    return sqlite3_column_int(st.get(), 0);
}

QString CheckGenerationTables(sqlite3* db)
{
    const int generation = FileGeneration(db);
    if (generation < 0)
        return ErrorText(db);
    if (generation > SchemaGeneration())
        return QString();
    Statement exists(db, "select count(*) from sqlite_master where type = 'table' and name = ?1");
    if (!exists.ok())
        return ErrorText(db);
    for (const auto& step : kStepTables) {
        if (step.generation > generation)
            continue;
        for (const char* table : step.tables) {
            if (!table)
                break;
            exists.reset();
            sqlite3_bind_text(exists.get(), 1, table, -1, SQLITE_STATIC);
            if (exists.step() != SQLITE_ROW)
                return ErrorText(db);
            if (sqlite3_column_int(exists.get(), 0) == 0)
                return ErrorText(SQLITE_CORRUPT, QStringLiteral("no such table: ") + QLatin1String(table));
        }
    }
    return QString();
}

bool CarryRecordsForward(sqlite3* db, int from)
{
    for (const Step& step : kRecordChanges) {
        if (step.generation > from && !exec(db, step.sql))
            return false;
    }
    return true;
}

QString ReadOnlyNotUpgradedText()
{
    return QString::fromUtf8("数据文件是只读的，没有升级到新版本的格式；提醒记录仍可照常读取。  ");
}

bool UpgradeSchema(sqlite3* db, QString& message)
{
    const int before = FileGeneration(db);
    if (before < 0) {
        message = ErrorText(db);
        return !IsDamage(sqlite3_extended_errcode(db));
    }
    if (before >= SchemaGeneration())
        return true;
    if (!writable(db)) {
        tellNotUpgraded(db);
        return true;
    }

    const auto fail = [&]() {
        const int code = sqlite3_extended_errcode(db);
        message = ErrorText(db);
        if (!sqlite3_get_autocommit(db))
            exec(db, "ROLLBACK");
        if (cannotWrite(code))
            tellNotUpgraded(db);
        return !IsDamage(code);
    };
    if (!exec(db, "BEGIN IMMEDIATE"))
        return fail();
    // Another copy of the program may have upgraded the file meanwhile.
    const int current = FileGeneration(db);
    if (current < 0)
        return fail();
    for (const Step& step : kSteps) {
        if (step.generation > current && !exec(db, step.sql))
            return fail();
    }
    if (current < SchemaGeneration()) {
        const QByteArray version = "PRAGMA user_version=" + QByteArray::number(SchemaGeneration());
        if (!exec(db, version.constData()))
            return fail();
    }
    if (!exec(db, "COMMIT"))
        return fail();
    return true;
}

} // namespace store
