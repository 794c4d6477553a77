#include "sync/SyncStatus.h"

#include "store/AdoDatabase.h"

#include <climits>

namespace sync {
namespace {

QString Quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

QStringList StatusFields()
{
    return {QStringLiteral("uid"), QStringLiteral("href"), QStringLiteral("etag"), QStringLiteral("remote"),
            QStringLiteral("local")};
}

StatusRow RowOf(const Row& row)
{
    StatusRow out;
    out.uid = row.value(0);
    out.href = row.value(1);
    out.etag = row.value(2);
    out.remote = row.value(3).toUtf8();
    out.local = row.value(4).toUtf8();
    return out;
}

QString WhereUid(const QString& uid)
{
    return QStringLiteral("where uid = ") + Quoted(uid);
}

} // namespace

bool ReadStatus(CAdoDatabase& db, QHash<QString, StatusRow>& out, QString& error)
{
    RowSet rows;
    QString message;
    if (db.SelectRows(QStringLiteral("syncstatus"), QString(), StatusFields(), rows, INT_MAX, message) < 0) {
        error = message;
        return false;
    }
    out.clear();
    for (const Row& row : rows) {
        StatusRow status = RowOf(row);
        out.insert(status.uid, status);
    }
    return true;
}

bool ReadStatusRow(CAdoDatabase& db, const QString& uid, StatusRow& out)
{
    RowSet rows;
    QString message = WhereUid(uid);
    if (db.SelectRows(QStringLiteral("syncstatus"), message, StatusFields(), rows, 1, message) <= 0 ||
        rows.isEmpty())
        return false;
    out = RowOf(rows.first());
    return true;
}

int WriteStatus(CAdoDatabase& db, const StatusRow& row, QString& message)
{
    return db.RunInTransaction(
        [&](QString& msg) {
            const int dropped = DropStatus(db, row.uid, msg);
            if (dropped < 0)
                return dropped;
            // An empty value would be stored as NULL: left out, its column's default is ''.
            const Row all{row.uid, row.href, row.etag, QString::fromUtf8(row.remote),
                          QString::fromUtf8(row.local)};
            QStringList fields;
            Row values;
            for (int i = 0; i < all.size(); ++i) {
                if (all.at(i).isEmpty())
                    continue;
                fields.append(StatusFields().at(i));
                values.append(all.at(i));
            }
            return db.InsertRows(QStringLiteral("syncstatus"), fields, {values}, 1, msg);
        },
        message);
}

int DropStatus(CAdoDatabase& db, const QString& uid, QString& message)
{
    return db.DeleteRows(QStringLiteral("syncstatus"), WhereUid(uid), INT_MAX, message);
}

int ClearStatus(CAdoDatabase& db, QString& message)
{
    return db.DeleteRows(QStringLiteral("syncstatus"), QString(), INT_MAX, message);
}

QString ReadMeta(CAdoDatabase& db, const QString& key)
{
    RowSet rows;
    QString message = QStringLiteral("where key = ") + Quoted(key);
    if (db.SelectRows(QStringLiteral("syncmeta"), message, {QStringLiteral("value")}, rows, 1, message) <=
            0 ||
        rows.isEmpty())
        return QString();
    return rows.first().value(0);
}

int WriteMeta(CAdoDatabase& db, const QString& key, const QString& value, QString& message)
{
    return db.RunInTransaction(
        [&](QString& msg) {
            const int dropped = db.DeleteRows(QStringLiteral("syncmeta"),
                                              QStringLiteral("where key = ") + Quoted(key), INT_MAX, msg);
            if (dropped < 0 || value.isEmpty())
                return dropped;
            return db.InsertRows(QStringLiteral("syncmeta"), {QStringLiteral("key"), QStringLiteral("value")},
                                 {{key, value}}, 1, msg);
        },
        message);
}

int SetRecordUid(CAdoDatabase& db, const QString& id, const QString& uid, QString& message)
{
    return db.UpdateRows(QStringLiteral("recorduid"), QStringLiteral("where id = ") + Quoted(id),
                         {QStringLiteral("uid")}, {uid}, 1, message);
}

} // namespace sync
