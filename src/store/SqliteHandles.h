#pragma once

#include <QByteArray>
#include <sqlite3.h>

// Owners of a connection and of a prepared statement for the store's own
// helpers, closed and finalised however the helper ends.
namespace store {

class Connection
{
public:
    Connection() = default;
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    sqlite3** out() { return &m_db; }
    sqlite3* get() const { return m_db; }
    void reset(sqlite3* db)
    {
        sqlite3_close_v2(m_db);
        m_db = db;
    }

private:
    sqlite3* m_db = nullptr;
};

class Statement
{
public:
    Statement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr); }
    Statement(sqlite3* db, const QByteArray& sql) : Statement(db, sql.constData()) {}
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_rc == SQLITE_OK && m_st; }
    sqlite3_stmt* get() const { return m_st; }
    // Steps once with one integer bound (or none).
    int stepWith(sqlite3_int64 value)
    {
        sqlite3_reset(m_st);
        sqlite3_bind_int64(m_st, 1, value);
        return sqlite3_step(m_st);
    }
    int step() { return sqlite3_step(m_st); }
    void reset() { sqlite3_reset(m_st); }

private:
    sqlite3_stmt* m_st = nullptr;
    int m_rc = SQLITE_ERROR;
};

} // namespace store
