#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <sqlite3.h>

// A connection of a test's own to a database file, to look at it (or lock it)
// behind the program's back. Never creates the file. It waits up to 5 s for a
// lock the program holds for a moment (its own commits, a worker's read),
// rather than failing at once on a race the test does not mean to test.
class SqliteFile
{
public:
    explicit SqliteFile(const QString& path, int flags = SQLITE_OPEN_READWRITE)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~SqliteFile() { sqlite3_close(m_db); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    // The last failure's text.
    const QString& error() const { return m_error; }

    bool exec(const char* sql)
    {
        if (!m_db)
            return false;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        return false;
    }

    // Calls row for every row of the statement; false when it fails.
    bool forEachRow(const char* sql, const std::function<void(sqlite3_stmt*)>& row)
    {
        if (!m_db)
            return false;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            row(st);
        if (rc != SQLITE_DONE)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return rc == SQLITE_DONE;
    }

    // One column of every row as text (NULL as the empty text); {"<error>"} when the statement fails.
    QStringList column(const char* sql, int index = 0)
    {
        QStringList out;
        if (!forEachRow(sql, [&](sqlite3_stmt* st) { out << text(st, index); }))
            return {QStringLiteral("<error>")};
        return out;
    }

    // The first column of the first row; "<error>" when the statement fails.
    QString scalar(const char* sql) { return column(sql).value(0); }

    // A text column with every byte of it, embedded NULs included.
    static QString text(sqlite3_stmt* st, int column)
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column)),
                                 sqlite3_column_bytes(st, column));
    }

private:
    sqlite3* m_db = nullptr;
    QString m_error;
};
