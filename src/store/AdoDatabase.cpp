#include "store/AdoDatabase.h"

#include "base/Constants.h"
#include "base/Paths.h"
#include "store/DatabaseFile.h"
#include "store/SchemaUpgrade.h"
#include "store/StoreErrors.h"
#include "store/StoreWrites.h"

#include <QFile>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

const char kNotConnectedText[] = "数据库还没有连接好，无效的数据操作！  ";
const char kConnectedText[] = "成功连接数据库";
const char kBadKindText[] = "类型应该为type,odbc,sqlserver其中一种";

// An operation against a database locked by another process waits this long, then fails.
constexpr int kBusyTimeoutMs = 2000;
// The due check asks with a new clause every second, so only the repeating
// statements profit; a few slots are enough.
constexpr std::size_t kMaxCachedStatements = 16;
// Callers pass the count they took just before; trust it only up to a sane size.
constexpr int kMaxReservedRows = 1 << 16;

QString missingPartsText()
{
    return QString::fromUtf8("喔唷，零件出现缺失！请直接访问Tolva官网 ") +
           QString::fromUtf8(tolva::kProductHost) + QString::fromUtf8(" 获得帮助");
}

// What the failure means to the user, then SQLite's own words.
QString errorText(sqlite3* db)
{
    return store::ErrorText(db);
}

// Table and field names are pasted into SQL, so only plain identifiers pass.
bool isIdentifier(const QString& name)
{
    if (name.isEmpty())
        return false;
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
    });
}

// Empty text when all names are identifiers, else the message to report.
QString checkNames(const QString& table, const QStringList* fields)
{
    if (!isIdentifier(table))
        return QStringLiteral("invalid table name: \"") + table + QLatin1Char('"');
    if (!fields)
        return QString();
    if (fields->isEmpty())
        return QStringLiteral("no fields given");
    for (const QString& f : *fields) {
        if (!isIdentifier(f))
            return QStringLiteral("invalid field name: \"") + f + QLatin1Char('"');
    }
    return QString();
}

// "select a,b": each name followed by a comma, trailing commas trimmed.
QString selectList(const QStringList& fields)
{
    QString s = QStringLiteral("select ");
    for (const QString& f : fields) {
        s += f;
        s += QLatin1Char(',');
    }
    while (s.endsWith(QLatin1Char(',')))
        s.chop(1);
    return s;
}

QString columnText(sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(st, column));
}

// What atoi makes of a text: leading blanks, a sign, the decimal digits that follow.
int atoiLike(const QString& text)
{
    const QByteArray latin = text.toLatin1();
    const long long v = std::strtoll(latin.constData(), nullptr, 10);
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

bool onlyBlanks(const char* from, const char* end)
{
    return std::all_of(from, end,
                       [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; });
}

bool bindText(sqlite3_stmt* st, int index, const QString& value, bool emptyIsNull)
{
    if (value.isEmpty()) {
        if (emptyIsNull)
            return sqlite3_bind_null(st, index) == SQLITE_OK;
        return sqlite3_bind_text(st, index, "", 0, SQLITE_STATIC) == SQLITE_OK;
    }
    const QByteArray utf8 = value.toUtf8();
    return sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

// Cached statements go back to their initial state however the operation ends,
// so that none keeps a read transaction open between calls.
class ResetOnExit
{
public:
    explicit ResetOnExit(sqlite3_stmt* st) : m_st(st) {}
    ~ResetOnExit()
    {
        sqlite3_reset(m_st);
        sqlite3_clear_bindings(m_st);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    sqlite3_stmt* m_st;
};

// Runs body (which returns a record count, or kDataError with message set) as one
// write transaction: committed when it succeeds, rolled back whole when anything fails.
template <typename Body> int inWriteTransaction(sqlite3* db, QString& message, Body&& body)
{
    // Inside RunInTransaction: its transaction commits or rolls back the whole.
    if (!sqlite3_get_autocommit(db))
        return body();
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        message = errorText(db);
        return store::kDataError;
    }
    const int result = body();
    if (result >= 0) {
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
            if (result > 0)
                store::NotifyWriteCommitted();
            return result;
        }
        message = errorText(db);
    }
    // Some errors end the transaction by themselves.
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return store::kDataError;
}

} // namespace

CAdoDatabase::CAdoDatabase() = default;

CAdoDatabase::~CAdoDatabase()
{
    Close();
}

QString CAdoDatabase::ComErrorText(quint32 code)
{
    // There is no system message table for these codes here, so the fallbacks always apply.
    quint32 w = 0;
    if (code >= 0x80040200u && code <= 0x8004FFFFu)
        w = quint16(code - 0x80040200u);
    if (w != 0)
        return QString::asprintf("IDispatch error #%d", int(w));
    return QString::asprintf("Unknown error 0x%0lX", static_cast<unsigned long>(code));
}

int CAdoDatabase::Open(const QString& kind, const QString& source, const QString& user,
                       const QString& password, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    closeLocked();

    if (kind == QLatin1String("file")) {
        QString relative = source;
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        m_connectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                             DataRootFolder() + QLatin1Char('/') + relative;
    } else if (kind == QLatin1String("odbc")) {
        m_connectionString = QStringLiteral("Data Source=") + source + QStringLiteral(";UID=") + user +
                             QStringLiteral(";PWD=") + password + QLatin1Char(';');
    } else if (kind == QLatin1String("sqlserver")) {
        // The caller hands the server name in through the message.
        m_connectionString = QStringLiteral("driver={SQL Server};Server=") + message +
                             QStringLiteral(";DATABASE=") + source + QStringLiteral(";UID=") + user +
                             QStringLiteral(";PWD=") + password;
    } else {
        message = QString::fromUtf8(kBadKindText);
        return store::kBadKind;
    }
    if (kind != QLatin1String("file")) {
        message = QStringLiteral("no data layer for ") + kind + QStringLiteral(" connections on this system");
        return store::kDataError;
    }

    // The file kind's source is the rest of the connection string: a folder may hold ';'.
    const QString marker = QStringLiteral("Data Source=");
    const QString path = m_connectionString.mid(m_connectionString.indexOf(marker) + marker.size());

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (!db) {
        message = missingPartsText();
        return store::kNoRuntime;
    }
    const auto fail = [&]() {
        message = errorText(db);
        sqlite3_close_v2(db);
        return store::kDataError;
    };
    if (rc != SQLITE_OK)
        return fail();
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // A reported write must survive a crash of the process or of the machine.
    if (!store::UseDurableCommits(db))
        return fail();
    // SQLite reads the file only when first asked: ask now, so that a file that
    // is not a database, or has no reminder table, fails here and not later.
    {
        const QByteArray check =
            QByteArrayLiteral("select count(*) from ") + QByteArray(tolva::kReminderTable) + " where 0";
        sqlite3_stmt* st = nullptr;
        int step = sqlite3_prepare_v2(db, check.constData(), -1, &st, nullptr);
        if (step == SQLITE_OK)
            step = sqlite3_step(st);
        sqlite3_finalize(st);
        if (step != SQLITE_ROW) {
            // A database without the reminder table (an empty file among them) is no reminder database.
            if ((sqlite3_errcode(db) & 0xFF) == SQLITE_ERROR) {
                message = store::ErrorText(SQLITE_CORRUPT, QString::fromUtf8(sqlite3_errmsg(db)));
                sqlite3_close_v2(db);
                return store::kDataError;
            }
            return fail();
        }
    }
    if (const QString problem = checkColumns(db); !problem.isEmpty()) {
        message = problem;
        sqlite3_close_v2(db);
        return store::kDataError;
    }

    if (!store::UpgradeSchema(db, message)) {
        sqlite3_close_v2(db);
        return store::kDataError;
    }

    m_pConnection = db;
    m_filePath = path;
    m_fileId = FileIdentity(path);
    message = QString::fromUtf8(kConnectedText);
    return store::kConnected;
}

QString CAdoDatabase::checkColumns(sqlite3* db)
{
    // A table that lost a field would open, list nothing and never remind; one
    // whose id is a text could steer the statements that name a record by it.
    return store::CheckReminderTable(db);
}

CAdoDatabase::FileId CAdoDatabase::FileIdentity(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileId{};
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool CAdoDatabase::FileReplaced() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!isConnectedLocked())
        return false;
    // Renamed over or removed: the connection still reads the old, unlinked file.
    return FileIdentity(m_filePath) != m_fileId;
}

void CAdoDatabase::closeLocked()
{
    for (CachedStatement& c : m_statements)
        sqlite3_finalize(c.statement);
    m_statements.clear();
    if (m_pConnection) {
        sqlite3_close_v2(m_pConnection);
        m_pConnection = nullptr;
    }
    m_filePath.clear();
    m_fileId = FileId{};
}

void CAdoDatabase::Close()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    closeLocked();
}

bool CAdoDatabase::isConnectedLocked() const
{
    return m_pConnection != nullptr;
}

bool CAdoDatabase::IsConnected() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return isConnectedLocked();
}

QString CAdoDatabase::FilePath() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_filePath;
}

QString CAdoDatabase::ConnectionString() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_connectionString;
}

int CAdoDatabase::refuseLocked(const QString& table, const QStringList* fields, QString& message) const
{
    // Not connected: answered before anything of the call is looked at.
    if (!isConnectedLocked()) {
        message = QString::fromUtf8(kNotConnectedText);
        return store::kNotConnected;
    }
    const QString badName = checkNames(table, fields);
    if (!badName.isEmpty()) {
        message = badName;
        return store::kDataError;
    }
    return 0;
}

QString CAdoDatabase::lastErrorLocked() const
{
    return errorText(m_pConnection);
}

sqlite3_stmt* CAdoDatabase::prepareLocked(const QString& sql, QString& message)
{
    const QByteArray utf8 = sql.toUtf8();
    ++m_useCounter;
    for (CachedStatement& c : m_statements) {
        if (c.sql == utf8) {
            c.lastUse = m_useCounter;
            return c.statement;
        }
    }

    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    // The length includes the terminating zero that QByteArray guarantees.
    const int rc = sqlite3_prepare_v3(m_pConnection, utf8.constData(), int(utf8.size()) + 1,
                                      SQLITE_PREPARE_PERSISTENT, &st, &tail);
    if (rc != SQLITE_OK) {
        message = lastErrorLocked();
        sqlite3_finalize(st);
        return nullptr;
    }
    // The where clause is pasted in whole; a second statement hidden in it
    // would be dropped without a word, so refuse it instead.
    if (!st || !tail || !onlyBlanks(tail, utf8.constData() + utf8.size())) {
        message =
            (st ? QStringLiteral("more than one statement in: ") : QStringLiteral("no statement in: ")) + sql;
        sqlite3_finalize(st);
        return nullptr;
    }

    if (m_statements.size() >= kMaxCachedStatements) {
        auto oldest = std::min_element(
            m_statements.begin(), m_statements.end(),
            [](const CachedStatement& a, const CachedStatement& b) { return a.lastUse < b.lastUse; });
        sqlite3_finalize(oldest->statement);
        m_statements.erase(oldest);
    }
    m_statements.push_back(CachedStatement{utf8, st, m_useCounter});
    return st;
}

int CAdoDatabase::checkWhereLocked(const QString& table, const QString& where, QString& message) const
{
    // The clause is pasted in before more text (an ordering, a limit, the end of
    // a subselect). Ending inside a comment or a quoted text, it would swallow
    // that text; ending with a semicolon, it would make that text a statement of
    // its own; with more closing than opening parentheses, it would end the
    // subselect early and the limit would no longer hold. So it must read as
    // the whole rest of a plain select on its own, without parameters, which
    // nobody would fill in.
    const QByteArray utf8 = where.toUtf8();
    if (sqlite3_complete(utf8.constData()) || !sqlite3_complete((utf8 + " ;").constData())) {
        message = QStringLiteral("where clause does not end as a clause: ") + where;
        return store::kDataError;
    }
    const QByteArray sql = QByteArrayLiteral("select rowid from ") + table.toUtf8() + ' ' + utf8;
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_pConnection, sql.constData(), int(sql.size()) + 1, &st, &tail);
    QString problem;
    if (rc != SQLITE_OK)
        problem = lastErrorLocked();
    else if (!st || !tail || !onlyBlanks(tail, sql.constData() + sql.size()))
        problem = QStringLiteral("not a single where clause: ") + where;
    else if (sqlite3_bind_parameter_count(st) != 0)
        problem = QStringLiteral("parameters in where clause: ") + where;
    sqlite3_finalize(st);
    if (problem.isEmpty())
        return 0;
    message = problem;
    return store::kDataError;
}

int CAdoDatabase::SelectRows(const QString& table, const QString& where, const QStringList& fields,
                             RowSet& rows, int maxRows, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(table, &fields, message))
        return refused;
    if (const int refused = checkWhereLocked(table, where, message))
        return refused;
    const QString sql = selectList(fields) + QStringLiteral(" from ") + table + QLatin1Char(' ') + where +
                        QStringLiteral(" order by rowid desc");
    sqlite3_stmt* st = prepareLocked(sql, message);
    if (!st)
        return store::kDataError;
    ResetOnExit reset(st);

    const int columns = int(fields.size());
    if (maxRows > 0 && rows.size() < maxRows)
        rows.reserve(std::min(maxRows, kMaxReservedRows));
    int i = 0;
    while (i < maxRows) {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            message = lastErrorLocked();
            return store::kDataError;
        }
        if (rows.size() <= i)
            rows.append(Row());
        Row& row = rows[i];
        row.reserve(row.size() + columns);
        for (int c = 0; c < columns; ++c)
            row.append(columnText(st, c));
        ++i;
    }
    return i;
}

int CAdoDatabase::CountRows(const QString& table, const QString& where, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(table, nullptr, message))
        return refused;
    if (const int refused = checkWhereLocked(table, where, message))
        return refused;
    sqlite3_stmt* st =
        prepareLocked(QStringLiteral("select count(*) from ") + table + QLatin1Char(' ') + where, message);
    if (!st)
        return store::kDataError;
    ResetOnExit reset(st);

    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE)
        return 0;
    if (rc != SQLITE_ROW) {
        message = lastErrorLocked();
        return store::kDataError;
    }
    if (sqlite3_column_type(st, 0) == SQLITE_NULL)
        return 0;
    return atoiLike(columnText(st, 0));
}

int CAdoDatabase::RunInTransaction(const std::function<int(QString&)>& body, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(QString::fromLatin1(tolva::kReminderTable), nullptr, message))
        return refused;
    if (!sqlite3_get_autocommit(m_pConnection))
        return body(message);
    return inWriteTransaction(m_pConnection, message, [&]() {
        const int result = body(message);
        return result < 0 ? int(store::kDataError) : result;
    });
}

qint64 CAdoDatabase::LastInsertId() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return isConnectedLocked() ? sqlite3_last_insert_rowid(m_pConnection) : 0;
}

int CAdoDatabase::InsertRows(const QString& table, const QStringList& fields, const RowSet& rows, int count,
                             QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(table, &fields, message))
        return refused;
    // A short row would silently store NULLs where the caller meant values.
    if (count < 0 || count > rows.size()) {
        message = QStringLiteral("cannot insert %1 rows from %2").arg(count).arg(rows.size());
        return store::kDataError;
    }
    for (int r = 0; r < count; ++r) {
        if (rows.at(r).size() < fields.size()) {
            message = QStringLiteral("row %1 has fewer values than fields").arg(r);
            return store::kDataError;
        }
    }

    QString sql = QStringLiteral("insert into ") + table + QStringLiteral(" (") +
                  fields.join(QLatin1Char(',')) + QStringLiteral(") values (");
    for (int i = 0; i < fields.size(); ++i)
        sql += i == 0 ? QStringLiteral("?") : QStringLiteral(",?");
    sql += QLatin1Char(')');
    sqlite3_stmt* st = prepareLocked(sql, message);
    if (!st)
        return store::kDataError;
    if (count == 0)
        return 0;

    return inWriteTransaction(m_pConnection, message, [&]() {
        for (int r = 0; r < count; ++r) {
            ResetOnExit reset(st);
            const Row& row = rows.at(r);
            for (int i = 0; i < fields.size(); ++i) {
                if (!bindText(st, i + 1, row.at(i), true)) {
                    message = lastErrorLocked();
                    return int(store::kDataError);
                }
            }
            if (sqlite3_step(st) != SQLITE_DONE) {
                message = lastErrorLocked();
                return int(store::kDataError);
            }
        }
        return count;
    });
}

int CAdoDatabase::UpdateRows(const QString& table, const QString& where, const QStringList& fields,
                             const QStringList& values, int maxRecords, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(table, &fields, message))
        return refused;
    if (values.size() < fields.size()) {
        message = QStringLiteral("fewer values than fields");
        return store::kDataError;
    }
    if (const int refused = checkWhereLocked(table, where, message))
        return refused;

    // The where clause stays whole inside the subselect, so an "or" in it cannot
    // escape the limit.
    QString sql = QStringLiteral("update ") + table + QStringLiteral(" set ");
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            sql += QLatin1Char(',');
        sql += fields.at(i) + QStringLiteral("=?");
    }
    sql += QStringLiteral(" where rowid in (select rowid from ") + table + QLatin1Char(' ') + where +
           QStringLiteral(" limit ?)");
    sqlite3_stmt* st = prepareLocked(sql, message);
    if (!st)
        return store::kDataError;
    if (maxRecords <= 0)
        return 0;

    return inWriteTransaction(m_pConnection, message, [&]() {
        ResetOnExit reset(st);
        for (int i = 0; i < fields.size(); ++i) {
            if (!bindText(st, i + 1, values.at(i), false)) {
                message = lastErrorLocked();
                return int(store::kDataError);
            }
        }
        sqlite3_bind_int(st, int(fields.size()) + 1, maxRecords);
        if (sqlite3_step(st) != SQLITE_DONE) {
            message = lastErrorLocked();
            return int(store::kDataError);
        }
        return sqlite3_changes(m_pConnection);
    });
}

int CAdoDatabase::DeleteRows(const QString& table, const QString& where, int maxRecords, QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (const int refused = refuseLocked(table, nullptr, message))
        return refused;
    if (const int refused = checkWhereLocked(table, where, message))
        return refused;
    sqlite3_stmt* st = prepareLocked(QStringLiteral("delete from ") + table +
                                         QStringLiteral(" where rowid in (select rowid from ") + table +
                                         QLatin1Char(' ') + where + QStringLiteral(" limit ?)"),
                                     message);
    if (!st)
        return store::kDataError;
    if (maxRecords <= 0)
        return 0;

    return inWriteTransaction(m_pConnection, message, [&]() {
        ResetOnExit reset(st);
        sqlite3_bind_int(st, 1, maxRecords);
        if (sqlite3_step(st) != SQLITE_DONE) {
            message = lastErrorLocked();
            return int(store::kDataError);
        }
        return sqlite3_changes(m_pConnection);
    });
}
