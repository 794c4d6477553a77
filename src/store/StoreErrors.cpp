#include "store/StoreErrors.h"

#include <sqlite3.h>

namespace store {

namespace {

// The users' view of each result code they can meet; primary codes only.
const char* meaningOf(int resultCode)
{
    // The file was renamed over or removed under the open connection: a write
    // would go nowhere, whatever the rights.
    if (resultCode == SQLITE_READONLY_DBMOVED)
        return "数据文件已被其他程序替换或删除";
    switch (resultCode & 0xFF) {
    case SQLITE_FULL:
        return "磁盘已满";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "数据文件已损坏";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "数据文件正被其他程序使用";
    case SQLITE_READONLY:
        return "没有写入数据文件的权限";
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "没有访问数据文件的权限";
    case SQLITE_CANTOPEN:
        return "无法打开数据文件";
    case SQLITE_IOERR:
        return "读写数据文件时出错";
    case SQLITE_NOMEM:
        return "内存不足";
    case SQLITE_TOOBIG:
        return "数据太长";
    case SQLITE_CONSTRAINT:
        return "数据文件拒绝了这项修改";
    case SQLITE_INTERRUPT:
        return "数据操作被中断";
    default:
        return "数据操作出错";
    }
}

} // namespace

QString ErrorText(int resultCode, const QString& sqliteText)
{
    const QString meaning = QString::fromUtf8(meaningOf(resultCode));
    if (sqliteText.isEmpty())
        return meaning;
    return meaning + QString::fromUtf8("（") + sqliteText + QString::fromUtf8("）");
}

QString ErrorText(sqlite3* db)
{
    return ErrorText(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

bool IsDamage(int resultCode)
{
    const int primary = resultCode & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace store
