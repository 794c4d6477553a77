// The record operations with any where clause: nothing but the operation
// itself ever happens to the data, and a second statement hidden in the
// clause is refused.
#include "FuzzCheck.h"
#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "store/DatabaseFile.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sqlite3.h>
#include <vector>

namespace {

const QString kTable = QStringLiteral("recordmsg");
// Between the fields of a record in a snapshot; no value holds it.
const QChar kFieldSeparator(0x1F);
// The place of use among id, titile, text, date, time, use, insertdatatime.
constexpr int kUseField = 5;

// A few reminders of every kind the program stores; restored after each input.
const char kRows[] = "delete from recordmsg;"
                     "insert into recordmsg (titile,text,date,time,use,insertdatatime,id) values"
                     " ('开会','十点的会','2026-12-08','10:00:00','0','2026-12-01 09:00:00',1),"
                     " ('关机','','Every Day','23:30:00','0','2026-12-01 09:01:00',2),"
                     " ('it''s','\"q\"','2026-11-30','08:15:00','1','2026-11-29 20:00:00',3),"
                     " (NULL,'x','2026-12-08','09:59:59','0','2026-12-02 10:00:00',4),"
                     " ('a;b','--','2027-01-01','00:00:00','1','2026-12-03 11:00:00',5),"
                     " ('旧','old','2025-02-28','12:00:00','0','2025-02-01 12:00:00',6);"
                     "update sqlite_sequence set seq=6 where name='recordmsg';";

struct Fixture
{
    Fixture();
    // Deferred close: the snapshot's statements stay prepared to the end.
    ~Fixture() { sqlite3_close_v2(raw); }
    QTemporaryDir dir;
    sqlite3* raw = nullptr;
    CAdoDatabase db;
    QStringList baseline;
};

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, error);
        std::abort();
    }
}

// The schema, every row with every field, and the id counter, as text.
QStringList snapshot(sqlite3* db)
{
    // Prepared once: the snapshot is taken several times for every input.
    static std::vector<sqlite3_stmt*> statements;
    static sqlite3* preparedFor = nullptr;
    static const char* const queries[] = {
        "select type||' '||name||' '||ifnull(sql,'') from sqlite_master order by name",
        ("select id||char(31)||quote(titile)||char(31)||quote(text)||char(31)||quote(date)||char(31)||"
         "quote(time)||char(31)||quote(use)||char(31)||quote(insertdatatime) from recordmsg order by id"),
        "select name||' '||seq from sqlite_sequence order by name",
    };
    if (preparedFor != db) {
        for (const char* q : queries) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v3(db, q, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
                std::abort();
            statements.push_back(st);
        }
        preparedFor = db;
    }
    QStringList out;
    for (sqlite3_stmt* st : statements) {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        // A dropped table shows as an error in the snapshot, never as no rows.
        if (rc != SQLITE_DONE)
            out << QStringLiteral("<%1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_reset(st);
        out << QStringLiteral("--");
    }
    return out;
}

// The rows of a snapshot by id.
QMap<QString, QString> rowsOf(const QStringList& snap)
{
    QMap<QString, QString> rows;
    const qsizetype first = snap.indexOf(QStringLiteral("--")) + 1;
    for (qsizetype i = first; i < snap.size() && snap[i] != QStringLiteral("--"); ++i)
        rows.insert(snap[i].section(kFieldSeparator, 0, 0), snap[i]);
    return rows;
}

// A database made from the delivered schema (as the repair makes one) in a folder of its own, once.
Fixture::Fixture()
{
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("myTolva")))
        std::abort();
    SetProgramFolderForTesting(dir.path());
    if (sqlite3_open(QFile::encodeName(DatabaseFilePath()).constData(), &raw) != SQLITE_OK)
        std::abort();
    exec(raw, store::SchemaSql());
    exec(raw, kRows);
    QString message;
    if (db.Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                message) != store::kConnected)
        std::abort();
    baseline = snapshot(raw);
}

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// Whether SQLite finds anything after the first statement of sql but blanks
// and comments; false also when the first statement itself is not valid.
bool holdsSecondStatement(sqlite3* db, const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    const char* const end = utf8.constData() + utf8.size();
    const char* tail = nullptr;
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &st, &tail);
    const bool first = rc == SQLITE_OK && st;
    sqlite3_finalize(st);
    if (!first)
        return false;
    while (tail && tail < end) {
        const char* from = tail;
        st = nullptr;
        const int more = sqlite3_prepare_v2(db, from, int(end - from), &st, &tail);
        const bool another = more != SQLITE_OK || st;
        sqlite3_finalize(st);
        if (another)
            return true;
        if (tail == from)
            break;
    }
    return false;
}

void restore(Fixture& f)
{
    if (snapshot(f.raw) != f.baseline)
        exec(f.raw, kRows);
}

} // namespace

// Input: one byte for the limits, then the where clause as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    Fixture& f = fixture();
    const int maxRecords = int(data[0] & 3);
    const int maxRows = int(data[0] >> 2 & 7);
    const QString where = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray shown = where.toUtf8();
    const char* const w = shown.constData();

    // Reading never changes anything, and refuses a second statement.
    QString message = where;
    const int count = f.db.CountRows(kTable, where, message);
    FUZZ_CHECK(count >= 0 || count == store::kDataError, "count %d for [%s]", count, w);
    FUZZ_CHECK(count < 0 || message == where, "a count of %d changed the message for [%s]", count, w);
    FUZZ_CHECK(snapshot(f.raw) == f.baseline, "counting [%s] changed the data", w);
    if (holdsSecondStatement(f.raw, QStringLiteral("select count(*) from recordmsg ") + where))
        FUZZ_CHECK(count == store::kDataError, "[%s] hides a second statement, counted %d", w, count);

    RowSet rows;
    message = where;
    const int read = f.db.SelectRows(kTable, where, {"id", "titile"}, rows, maxRows, message);
    FUZZ_CHECK(read == store::kDataError || (read >= 0 && read <= maxRows && rows.size() == read),
               "%d read of at most %d, %d rows, for [%s]", read, maxRows, int(rows.size()), w);
    FUZZ_CHECK(read < 0 || message == where, "reading changed the message for [%s]", w);
    FUZZ_CHECK(snapshot(f.raw) == f.baseline, "reading [%s] changed the data", w);
    if (holdsSecondStatement(f.raw, QStringLiteral("select id,titile from recordmsg ") + where +
                                        QStringLiteral(" order by id desc")))
        FUZZ_CHECK(read == store::kDataError, "[%s] hides a second statement, read %d", w, read);
    if (read > 0) {
        // Newest first, as long as the rows are records with their ids.
        bool numbers = true;
        qlonglong last = 0;
        for (int i = 0; i < read && numbers; ++i) {
            FUZZ_CHECK(rows[i].size() == 2, "row %d has %d fields", i, int(rows[i].size()));
            const qlonglong id = rows[i][0].toLongLong(&numbers);
            if (numbers && i > 0)
                FUZZ_CHECK(id <= last, "[%s] read id %lld after %lld", w, id, last);
            last = id;
        }
    }

    // A write is refused and changes nothing, or it does at most maxRecords
    // records and leaves the message alone; true when it was done.
    const auto writeDone = [&](const char* verb, int n, const QStringList& after) {
        if (n < 0) {
            FUZZ_CHECK(n == store::kDataError, "%s [%s] gave %d", verb, w, n);
            FUZZ_CHECK(after == f.baseline, "a refused %s of [%s] changed the data", verb, w);
            return false;
        }
        FUZZ_CHECK(n <= maxRecords, "%s [%s]: %d of at most %d", verb, w, n, maxRecords);
        FUZZ_CHECK(message == where, "%s changed the message for [%s]", verb, w);
        return true;
    };

    // Updating changes the one field of at most maxRecords records, or nothing.
    message = where;
    const int updated = f.db.UpdateRows(kTable, where, {"use"}, {"F"}, maxRecords, message);
    const QStringList afterUpdate = snapshot(f.raw);
    if (writeDone("updating", updated, afterUpdate)) {
        const QMap<QString, QString> before = rowsOf(f.baseline);
        const QMap<QString, QString> after = rowsOf(afterUpdate);
        FUZZ_CHECK(before.keys() == after.keys(), "updating [%s] added or removed records", w);
        int changed = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QString now = after.value(it.key());
            if (now == it.value())
                continue;
            ++changed;
            QStringList expected = it.value().split(kFieldSeparator);
            expected[kUseField] = QStringLiteral("'F'");
            FUZZ_CHECK(expected.join(kFieldSeparator) == now, "updating [%s] made %s of %s", w,
                       qPrintable(now), qPrintable(it.value()));
        }
        FUZZ_CHECK(changed == updated, "[%s] changed %d records, reported %d", w, changed, updated);
        FUZZ_CHECK(afterUpdate.first() == f.baseline.first(), "updating [%s] changed the schema", w);
    }
    restore(f);

    // Deleting removes at most maxRecords records whole, or nothing.
    message = where;
    const int deleted = f.db.DeleteRows(kTable, where, maxRecords, message);
    const QStringList afterDelete = snapshot(f.raw);
    if (writeDone("deleting", deleted, afterDelete)) {
        const QMap<QString, QString> before = rowsOf(f.baseline);
        const QMap<QString, QString> after = rowsOf(afterDelete);
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            FUZZ_CHECK(before.value(it.key()) == it.value(), "deleting [%s] changed record %s", w,
                       qPrintable(it.key()));
        FUZZ_CHECK(before.size() - after.size() == deleted, "[%s] deleted %d, reported %d", w,
                   int(before.size() - after.size()), deleted);
    }
    restore(f);

    // A clause that is not even a valid count is no where clause for the others.
    if (count == store::kDataError)
        FUZZ_CHECK(updated == store::kDataError && deleted == store::kDataError,
                   "[%s] refused by the count, updated %d, deleted %d", w, updated, deleted);
    return 0;
}
