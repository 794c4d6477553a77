#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class CAdoDatabase;

// The sync's state in the data file: per event what both sides had at the last
// sync, and the collection's values. Writes join the caller's transaction.
namespace sync {

struct StatusRow
{
    QString uid, href, etag;
    QByteArray remote; // the server's text
    QByteArray local;  // this machine's text; empty: not a reminder, left alone
};

inline constexpr char kMetaCollection[] = "collection";
inline constexpr char kMetaToken[] = "token";

bool ReadStatus(CAdoDatabase& db, QHash<QString, StatusRow>& out, QString& error);
bool ReadStatusRow(CAdoDatabase& db, const QString& uid, StatusRow& out);
// Record counts, or a store failure code with message set.
int WriteStatus(CAdoDatabase& db, const StatusRow& row, QString& message);
int DropStatus(CAdoDatabase& db, const QString& uid, QString& message);
int ClearStatus(CAdoDatabase& db, QString& message);
QString ReadMeta(CAdoDatabase& db, const QString& key);
int WriteMeta(CAdoDatabase& db, const QString& key, const QString& value, QString& message);
// The record of id now answers to uid.
int SetRecordUid(CAdoDatabase& db, const QString& id, const QString& uid, QString& message);

} // namespace sync
