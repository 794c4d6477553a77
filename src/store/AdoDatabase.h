#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Result codes of the store.
namespace store {
inline constexpr int kConnected = -1;    // Open succeeded
inline constexpr int kBadKind = -5;      // Open: unknown kind
inline constexpr int kNoRuntime = -6;    // Open: the data layer could not be created
inline constexpr int kNotConnected = -7; // record operation on a closed or released store
inline constexpr int kDataError = -10;   // the data layer reported an error
} // namespace store

using Row = QStringList;
using RowSet = QList<QStringList>;

// The one connection to the reminder database (an SQLite file). All values
// travel as text. Every call is serialised on the connection, so the user
// interface and the due-check worker may call it from their own threads.
//
// The message argument plays the part of the caller's message buffer: callers
// put their where clause there; an operation overwrites it only when it fails
// (and Open always).
class CAdoDatabase
{
public:
    CAdoDatabase();
    ~CAdoDatabase();
    CAdoDatabase(const CAdoDatabase&) = delete;
    CAdoDatabase& operator=(const CAdoDatabase&) = delete;

    // kind "file": opens <data root>/<source>, DataRootFolder() (never creates it).
    // Returns store::kConnected or a failure code; message always receives a text.
    int Open(const QString& kind, const QString& source, const QString& user, const QString& password,
             QString& message);
    void Close();
    bool IsConnected() const;

    // The where clause ("where ..." or an empty text) goes into the statement as it
    // is. One that does not stand on its own as the rest of a plain select (a
    // second statement, a comment or a quoted text left open, a parenthesis it did
    // not open, a parameter) gives kDataError, and nothing of it runs.

    // Reads the fields of at most maxRows matching records, newest first (by rowid,
    // which is the id where a table has one, so tables keyed by text read too). rows is
    // grown to hold the records read; each read record's values are appended to its row.
    int SelectRows(const QString& table, const QString& where, const QStringList& fields, RowSet& rows,
                   int maxRows, QString& message);
    int CountRows(const QString& table, const QString& where, QString& message);
    // Adds the first count rows; an empty value is stored as NULL.
    int InsertRows(const QString& table, const QStringList& fields, const RowSet& rows, int count,
                   QString& message);
    // Sets the fields of at most maxRecords matching records to the values (never NULL).
    int UpdateRows(const QString& table, const QString& where, const QStringList& fields,
                   const QStringList& values, int maxRecords, QString& message);
    int DeleteRows(const QString& table, const QString& where, int maxRecords, QString& message);

    // Runs body on this connection as one write transaction, holding the
    // connection meanwhile: the calls body makes commit together or not at all,
    // and no other thread's call comes between them. body returns a record
    // count, or a failure code with message set; the result is body's, or
    // kDataError when the commit fails. Nested calls join the outer transaction.
    int RunInTransaction(const std::function<int(QString& message)>& body, QString& message);
    // The key the last insert on this connection was given; meaningful inside
    // RunInTransaction, where no other insert comes between.
    qint64 LastInsertId() const;

    // Text for a data-access error code (an HRESULT, the codes the start-up
    // messages name).
    static QString ComErrorText(quint32 code);

    // The file of the open connection, or empty.
    QString FilePath() const;
    // The last connection string built by Open.
    QString ConnectionString() const;
    // True when the open file's path now names another file, or none: it has
    // been replaced (by a rename, as editors and sync tools do) or removed.
    bool FileReplaced() const;

    // Which file a path names (device and inode); zeros when there is none.
    struct FileId
    {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId& other) const { return device == other.device && inode == other.inode; }
        bool operator!=(const FileId& other) const { return !(*this == other); }
    };
    static FileId FileIdentity(const QString& path);

private:
    // A prepared statement kept for reuse while the connection stays open.
    struct CachedStatement
    {
        QByteArray sql;
        sqlite3_stmt* statement = nullptr;
        quint64 lastUse = 0;
    };

    // Empty when the reminder table has its fields and key, else why (a damage).
    static QString checkColumns(sqlite3* db);

    bool isConnectedLocked() const;
    void closeLocked();
    // The prepared statement for sql, ready to bind and step, or null with the
    // layer's message in message. The caller resets it when done.
    sqlite3_stmt* prepareLocked(const QString& sql, QString& message);
    // Not-connected or bad names: the code to return (message set), else 0.
    int refuseLocked(const QString& table, const QStringList* fields, QString& message) const;
    // A where clause that does not stand on its own: kDataError (message set), else 0.
    int checkWhereLocked(const QString& table, const QString& where, QString& message) const;
    QString lastErrorLocked() const;

    mutable std::recursive_mutex m_mutex;
    sqlite3* m_pConnection = nullptr;
    QString m_filePath;
    FileId m_fileId;
    QString m_connectionString;
    std::vector<CachedStatement> m_statements;
    quint64 m_useCounter = 0;
};
