#include "store/DatabaseFile.h"

#include "base/Constants.h"
#include "base/FileOps.h"
#include "store/SchemaSql.h"
#include "store/SchemaUpgrade.h"
#include "store/SqliteHandles.h"
#include "store/StoreErrors.h"

#include <QFile>
#include <QSet>
#include <sqlite3.h>
#include <sys/stat.h>

namespace store {

namespace {

// A copy waits this long for a writer elsewhere to finish, as the store does.
constexpr int kBusyTimeoutMs = 2000;

// The fields of the reminder table; id is its integer key.
const char* const kReminderFields[] = {"titile", "text", "date", "time", "use", "insertdatatime", "id"};

} // namespace

const char* SchemaSql()
{
    return kSchemaSql;
}

sqlite3* NewReminderDatabase(QString* why)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, kSchemaSql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (why)
            *why = ErrorText(db);
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

QString CheckReminderDatabase(sqlite3* db)
{
    QString problem;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "pragma quick_check", -1, &st, nullptr) != SQLITE_OK)
        return ErrorText(db);
    int rc = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const QString line = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        if (line != QLatin1String("ok") && problem.isEmpty())
            problem = ErrorText(SQLITE_CORRUPT, line);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return ErrorText(db);
    if (!problem.isEmpty())
        return problem;
    problem = CheckReminderTable(db);
    if (!problem.isEmpty())
        return problem;
    return CheckGenerationTables(db);
}

QString CheckReminderTable(sqlite3* db)
{
    const QByteArray info = QByteArrayLiteral("pragma table_info(") + tolva::kReminderTable + ')';
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, info.constData(), -1, &st, nullptr) != SQLITE_OK)
        return ErrorText(db);
    QSet<QString> fields;
    bool idIsKey = false;
    int keyColumns = 0;
    int rc = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        fields.insert(name);
        if (sqlite3_column_int(st, 5) > 0)
            ++keyColumns;
        if (name == QLatin1String("id"))
            idIsKey = sqlite3_column_int(st, 5) == 1;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return ErrorText(db);
    if (fields.isEmpty())
        return ErrorText(SQLITE_CORRUPT,
                         QStringLiteral("no such table: ") + QLatin1String(tolva::kReminderTable));
    for (const char* field : kReminderFields) {
        if (!fields.contains(QLatin1String(field)))
            return ErrorText(SQLITE_CORRUPT, QStringLiteral("no such column: ") + QLatin1String(field));
    }
    // A key of its own (text, "int", "integer ... desc", a table without rowid)
    // gets an index of origin "pk"; only the row's own number has none. Any
    // other key would let an id hold SQL text.
    bool keyIndex = false;
    if (idIsKey && keyColumns == 1) {
        const QByteArray indexes = QByteArrayLiteral("pragma index_list(") + tolva::kReminderTable + ')';
        if (sqlite3_prepare_v2(db, indexes.constData(), -1, &st, nullptr) != SQLITE_OK)
            return ErrorText(db);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const auto* origin = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
            if (origin && QByteArray(origin) == "pk")
                keyIndex = true;
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            return ErrorText(db);
    }
    if (!idIsKey || keyColumns != 1 || keyIndex)
        return ErrorText(SQLITE_CORRUPT, QStringLiteral("id is not the integer key"));
    return QString();
}

bool UseDurableCommits(sqlite3* db)
{
    // The data file stays one file in the rollback-journal (DELETE) mode: it is
    // delivered, backed up, restored and read by other tools as that one file,
    // which a write-ahead log beside it would no longer be. In that mode the
    // commit is the journal's unlink, and only EXTRA syncs the folder after it;
    // with FULL a power cut can bring the journal back and undo the commit.
    return sqlite3_exec(db, "PRAGMA synchronous=EXTRA", nullptr, nullptr, nullptr) == SQLITE_OK;
}

QByteArray SerializeDatabase(sqlite3* db)
{
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0);
    if (!bytes)
        return QByteArray();
    QByteArray image(reinterpret_cast<const char*>(bytes), qsizetype(size));
    sqlite3_free(bytes);
    return image;
}

QByteArray ReadDatabaseImage(const QString& path, QString* why, int* records)
{
    const auto fail = [why](const QString& problem) {
        if (why)
            *why = problem;
        return QByteArray();
    };
    // A folder or a device is no database file, whatever SQLite would make of it.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(ErrorText(SQLITE_CANTOPEN, QStringLiteral("not a file: ") + path));

    Connection source;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), source.out(), SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        return fail(ErrorText(source.get()));
    sqlite3_busy_timeout(source.get(), kBusyTimeoutMs);

    Connection copy;
    if (sqlite3_open_v2(":memory:", copy.out(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        return fail(ErrorText(copy.get()));
    // An in-memory copy takes the page size of its source only when told before the copy.
    sqlite3_stmt* pageSize = nullptr;
    int rc = sqlite3_prepare_v2(source.get(), "pragma page_size", -1, &pageSize, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(pageSize);
    const int size = rc == SQLITE_ROW ? sqlite3_column_int(pageSize, 0) : 0;
    sqlite3_finalize(pageSize);
    if (rc != SQLITE_ROW)
        return fail(ErrorText(source.get()));
    const QByteArray setSize = "pragma page_size=" + QByteArray::number(size);
    sqlite3_exec(copy.get(), setSize.constData(), nullptr, nullptr, nullptr);

    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
    if (!backup)
        return fail(ErrorText(copy.get()));
    // All pages in one step: one read transaction on the source from start to end.
    rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        const int code =
            sqlite3_errcode(source.get()) != SQLITE_OK ? sqlite3_extended_errcode(source.get()) : rc;
        const QString text = sqlite3_errcode(source.get()) != SQLITE_OK
                                 ? QString::fromUtf8(sqlite3_errmsg(source.get()))
                                 : QString::fromUtf8(sqlite3_errstr(rc));
        return fail(ErrorText(code, text));
    }
    const QString problem = CheckReminderDatabase(copy.get());
    if (!problem.isEmpty())
        return fail(problem);
    if (records)
        *records = CountReminders(copy.get());
    QByteArray image = SerializeDatabase(copy.get());
    if (image.isEmpty())
        return fail(ErrorText(SQLITE_NOMEM, QString()));
    return image;
}

bool WriteDatabaseImage(const QString& target, const QByteArray& image, const QString& modeFrom)
{
    const unsigned mode =
        fileops::ModeOr(target, modeFrom.isEmpty() ? 0600 : fileops::ModeOr(modeFrom, 0600));
    return fileops::WriteFileAtomically(target, image, mode);
}

int CountReminders(sqlite3* db)
{
    const QByteArray sql = QByteArrayLiteral("select count(*) from ") + tolva::kReminderTable;
    sqlite3_stmt* st = nullptr;
    int count = -1;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        count = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return count;
}

} // namespace store
