#include "sync/SyncEngine.h"

#include "calendar/EventPatch.h"
#include "store/AdoDatabase.h"
#include "sync/SyncStatus.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace sync {
namespace {

const QString kConflictSuffix = QStringLiteral("（冲突副本）");

// A change beyond the acknowledgement: only such a change is one of the series.
bool SeriesChanged(const QByteArray& before, const QByteArray& after)
{
    QStringList changed = calendar::ChangedProperties(before, after);
    changed.removeAll(QLatin1String(calendar::kAcknowledgedGroup));
    return !changed.isEmpty();
}

bool Newer(const QDateTime& a, const QDateTime& b)
{
    return a.isValid() && (!b.isValid() || a > b);
}

// One run of the sync: the two sides as found, compared item by item with the status.
class Pass
{
public:
    Pass(CAdoDatabase& db, LocalCalendar& local, RemoteCalendar& remote, SyncReport& report)
        : m_db(db), m_local(local), m_remote(remote), m_report(report)
    {
    }

    void run(const QString& collectionUrl);

private:
    enum class RemoteState { Unchanged, Changed, Gone };

    bool startFresh(const QString& collectionUrl);
    bool gather(const QString& token, RemoteListing& listing);
    bool handle(const QString& uid);
    bool handleNew(const QString& uid);
    bool handleKnown(const QString& uid, const StatusRow& s);
    bool merge(const QString& uid, const StatusRow& s, const LocalItem& l, const RemoteResource& r);
    // Stores the server's event here with its status; linkId: the record that
    // takes its UID; copy: a conflict's local version, stored as a new record first.
    bool applyRemote(const QString& uid, const RemoteResource& r, const QString& linkId = QString(),
                     LocalItem* copy = nullptr);
    bool uploadNew(const QString& uid, const QByteArray& data);
    bool deleteHere(const QString& uid);
    bool writeStatus(const StatusRow& row);
    bool dropStatus(const QString& uid);
    // The server's resource now (after a 412); false on an error that stops the sync.
    bool refetch(const QString& href, QList<RemoteResource>& out);
    bool remoteFailed(const RemoteError& error);
    // The server failed: the rest waits for the next sync. A local failure
    // (an event this machine cannot store) leaves the other items to go on.
    bool stopped() const { return m_report.error.kind != RemoteError::None; }
    bool localFailed(const QString& error);

    CAdoDatabase& m_db;
    LocalCalendar& m_local;
    RemoteCalendar& m_remote;
    SyncReport& m_report;
    QHash<QString, StatusRow> m_status;
    QHash<QString, LocalItem> m_items;
    QHash<QString, RemoteResource> m_fetched;
    QSet<QString> m_gone;
    QMultiHash<QString, QString> m_linkable; // texts and start → UID of a local item never synced
    bool m_complete = true;
};

bool Pass::remoteFailed(const RemoteError& error)
{
    m_report.error = error;
    m_complete = false;
    return false;
}

bool Pass::localFailed(const QString& error)
{
    m_report.localError = error;
    m_complete = false;
    return false;
}

bool Pass::writeStatus(const StatusRow& row)
{
    QString message;
    if (WriteStatus(m_db, row, message) < 0)
        return localFailed(message);
    m_status.insert(row.uid, row);
    return true;
}

bool Pass::dropStatus(const QString& uid)
{
    QString message;
    if (DropStatus(m_db, uid, message) < 0)
        return localFailed(message);
    m_status.remove(uid);
    return true;
}

bool Pass::startFresh(const QString& collectionUrl)
{
    if (ReadMeta(m_db, QLatin1String(kMetaCollection)) == collectionUrl)
        return true;
    QString message;
    const int done = m_db.RunInTransaction(
        [&](QString& msg) {
            int r = ClearStatus(m_db, msg);
            if (r >= 0)
                r = WriteMeta(m_db, QLatin1String(kMetaToken), QString(), msg);
            if (r >= 0)
                r = WriteMeta(m_db, QLatin1String(kMetaCollection), collectionUrl, msg);
            return r;
        },
        message);
    return done >= 0 || localFailed(message);
}

bool Pass::gather(const QString& token, RemoteListing& listing)
{
    RemoteError error;
    ++m_report.requests;
    if (!m_remote.list(token, listing, error))
        return remoteFailed(error);
    QHash<QString, QString> uidOfHref;
    for (const StatusRow& s : std::as_const(m_status))
        uidOfHref.insert(s.href, s.uid);
    QStringList wanted;
    QSet<QString> listed;
    for (const RemoteEntry& e : std::as_const(listing.changed)) {
        listed.insert(e.href);
        const QString uid = uidOfHref.value(e.href);
        if (uid.isEmpty() || m_status.value(uid).etag != e.etag || e.etag.isEmpty())
            wanted.append(e.href);
    }
    for (const QString& href : std::as_const(listing.removed))
        if (uidOfHref.contains(href))
            m_gone.insert(uidOfHref.value(href));
    if (listing.full)
        for (const StatusRow& s : std::as_const(m_status))
            if (!listed.contains(s.href))
                m_gone.insert(s.uid);
    if (wanted.isEmpty())
        return true;
    QList<RemoteResource> resources;
    ++m_report.requests;
    if (!m_remote.fetch(wanted, resources, error))
        return remoteFailed(error);
    for (const RemoteResource& r : std::as_const(resources)) {
        const QString uid = calendar::EventUid(r.data);
        if (uid.isEmpty())
            continue; // nothing this program could ever hold
        m_fetched.insert(uid, r);
        m_gone.remove(uid);
    }
    return true;
}

void Pass::run(const QString& collectionUrl)
{
    QString error;
    if (!startFresh(collectionUrl) || !ReadStatus(m_db, m_status, error)) {
        if (!error.isEmpty())
            localFailed(error);
        return;
    }
    const QString token = ReadMeta(m_db, QLatin1String(kMetaToken));
    RemoteListing listing;
    if (!gather(token, listing))
        return;
    QList<LocalItem> items;
    if (!m_local.items(items, error)) {
        localFailed(error);
        return;
    }
    for (const LocalItem& item : std::as_const(items))
        m_items.insert(item.uid, item);

    // The server's new items first, so that a local copy of one is linked, not sent.
    for (const LocalItem& item : std::as_const(items))
        if (!m_fetched.isEmpty() && !m_status.contains(item.uid) && !m_fetched.contains(item.uid))
            m_linkable.insert(calendar::LinkKey(item.data), item.uid);
    QStringList fetched = m_fetched.keys();
    std::sort(fetched.begin(), fetched.end());
    QSet<QString> rest(m_status.keyBegin(), m_status.keyEnd());
    for (auto it = m_items.keyBegin(); it != m_items.keyEnd(); ++it)
        rest.insert(*it);
    for (const QString& uid : std::as_const(fetched)) {
        rest.remove(uid);
        if (!handle(uid) && stopped())
            return;
    }
    QStringList others(rest.begin(), rest.end());
    std::sort(others.begin(), others.end());
    for (const QString& uid : std::as_const(others))
        if ((m_status.contains(uid) || m_items.contains(uid)) && !handle(uid) && stopped())
            return;
    if (m_complete && listing.token != token) {
        QString message;
        if (WriteMeta(m_db, QLatin1String(kMetaToken), listing.token, message) < 0)
            localFailed(message);
    }
}

bool Pass::handle(const QString& uid)
{
    const auto s = m_status.constFind(uid);
    return s == m_status.constEnd() ? handleNew(uid) : handleKnown(uid, *s);
}

bool Pass::handleNew(const QString& uid)
{
    if (!m_fetched.contains(uid))
        return uploadNew(uid, m_items.value(uid).data);
    const RemoteResource r = m_fetched.value(uid);
    if (m_items.contains(uid))
        return applyRemote(uid, r);
    // A machine that had reminders before its first sync: the same reminder
    // already on the server is linked to the local one.
    const QString key = calendar::LinkKey(r.data);
    auto it = m_linkable.find(key);
    while (it != m_linkable.end() && it.key() == key) {
        const LocalItem linked = m_items.value(it.value());
        it = m_linkable.erase(it);
        if (linked.uid.isEmpty() || m_status.contains(linked.uid))
            continue;
        m_items.remove(linked.uid);
        return applyRemote(uid, r, linked.id);
    }
    return applyRemote(uid, r);
}

bool Pass::handleKnown(const QString& uid, const StatusRow& s)
{
    const bool fetched = m_fetched.contains(uid);
    const RemoteResource r = m_fetched.value(uid);
    if (s.local.isEmpty()) { // not a reminder: only the server's changes matter
        if (m_gone.contains(uid))
            return dropStatus(uid);
        return !fetched || applyRemote(uid, r);
    }
    const bool rGone = m_gone.contains(uid);
    const bool rChanged = fetched && r.data != s.remote;
    const bool lGone = !m_items.contains(uid);
    const LocalItem l = m_items.value(uid);
    const bool lChanged = !lGone && l.data != s.local;

    if (rGone && lGone)
        return dropStatus(uid);
    if (rGone) {
        if (!SeriesChanged(s.local, l.data))
            return deleteHere(uid);
        // Changed here, deleted there: it goes back with this machine's edits.
        return uploadNew(uid, calendar::PatchEvent(s.remote, s.local, l.data));
    }
    if (lGone) {
        if (rChanged && SeriesChanged(s.remote, r.data))
            return applyRemote(uid, r);
        RemoteError error;
        ++m_report.requests;
        if (!m_remote.remove(s.href, fetched ? r.etag : s.etag, error)) {
            if (error.kind != RemoteError::Precondition)
                return remoteFailed(error);
            m_complete = false; // changed there meanwhile: kept, and fetched next time
            return true;
        }
        ++m_report.deletedThere;
        return dropStatus(uid);
    }
    if (rChanged)
        return merge(uid, s, l, r);
    if (!lChanged) {
        if (!fetched || r.etag == s.etag)
            return true;
        StatusRow row = s;
        row.etag = r.etag;
        return writeStatus(row);
    }
    // Changed here only: the server's last text takes just the edited properties.
    RemoteResource base;
    base.href = s.href;
    base.etag = fetched ? r.etag : s.etag;
    base.data = s.remote;
    return merge(uid, s, l, base);
}

bool Pass::refetch(const QString& href, QList<RemoteResource>& out)
{
    RemoteError error;
    ++m_report.requests;
    return m_remote.fetch({href}, out, error) || remoteFailed(error);
}

bool Pass::merge(const QString& uid, const StatusRow& s, const LocalItem& l, const RemoteResource& r)
{
    QByteArray merged = calendar::PatchEvent(r.data, s.local, l.data);
    const QDateTime remoteAck = calendar::Acknowledged(r.data);
    if (Newer(remoteAck, calendar::Acknowledged(merged)))
        merged = calendar::WithAcknowledged(merged, remoteAck);
    const bool conflict =
        SeriesChanged(s.local, l.data) && SeriesChanged(s.remote, r.data) && SeriesChanged(r.data, merged);
    if (conflict) {
        // Both kept: the server's version stays the reminder, this machine's
        // becomes a new one, written in the same transaction.
        const QString copyUid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        LocalItem copy;
        copy.uid = copyUid;
        copy.data = calendar::Renamed(l.data, copyUid, kConflictSuffix);
        if (!applyRemote(uid, r, QString(), &copy))
            return false;
        ++m_report.conflicts;
        m_items.insert(copy.uid, copy);
        return uploadNew(copy.uid, copy.data);
    }
    QString etag = r.etag;
    if (merged != r.data) {
        RemoteError error;
        ++m_report.requests;
        if (!m_remote.put(r.href, merged, r.etag, etag, error)) {
            if (error.kind != RemoteError::Precondition)
                return remoteFailed(error);
            // Changed there since: compare again with the server's text now.
            QList<RemoteResource> now;
            if (!refetch(r.href, now))
                return false;
            if (now.isEmpty()) {
                m_gone.insert(uid);
                m_fetched.remove(uid);
                return handleKnown(uid, s);
            }
            m_fetched.insert(uid, now.first());
            return merge(uid, s, l, now.first());
        }
        ++m_report.sent;
    }
    if (!SeriesChanged(s.remote, r.data) && !Newer(remoteAck, calendar::Acknowledged(l.data))) {
        // This machine already holds all of it.
        StatusRow row{uid, r.href, etag, merged, l.data};
        return writeStatus(row);
    }
    RemoteResource sent = r;
    sent.etag = etag;
    sent.data = merged;
    return applyRemote(uid, sent);
}

bool Pass::applyRemote(const QString& uid, const RemoteResource& r, const QString& linkId, LocalItem* copy)
{
    const LocalItem before = m_items.value(uid);
    LocalItem stored;
    LocalCalendar::Applied applied = LocalCalendar::Applied::Failed;
    QString error;
    const int done = m_db.RunInTransaction(
        [&](QString& msg) {
            if (!linkId.isEmpty() && SetRecordUid(m_db, linkId, uid, msg) < 0)
                return int(store::kDataError);
            const QByteArray copyText = copy ? copy->data : QByteArray();
            if (copy && m_local.apply(copyText, *copy, msg) != LocalCalendar::Applied::Stored)
                return int(store::kDataError);
            applied = m_local.apply(r.data, stored, msg);
            if (applied == LocalCalendar::Applied::Failed)
                return int(store::kDataError);
            const StatusRow row{uid, r.href, r.etag, r.data,
                                applied == LocalCalendar::Applied::Stored ? stored.data : QByteArray()};
            return WriteStatus(m_db, row, msg);
        },
        error);
    if (done < 0)
        return localFailed(error);
    m_status.insert(uid, StatusRow{uid, r.href, r.etag, r.data, stored.data});
    if (applied != LocalCalendar::Applied::Stored)
        return true;
    ++m_report.received;
    if (!before.data.isEmpty() &&
        Newer(calendar::Acknowledged(stored.data), calendar::Acknowledged(before.data)))
        m_report.acknowledgedUids.append(uid);
    m_items.insert(uid, stored);
    return true;
}

bool Pass::uploadNew(const QString& uid, const QByteArray& data)
{
    const auto known = m_status.constFind(uid);
    const QString href = known != m_status.constEnd() ? known->href : m_remote.hrefFor(uid);
    QString etag;
    RemoteError error;
    ++m_report.requests;
    if (!m_remote.put(href, data, QString(), etag, error)) {
        if (error.kind != RemoteError::Precondition)
            return remoteFailed(error);
        // Already there (sent before a kill, or by another copy): linked to the server's.
        QList<RemoteResource> now;
        if (!refetch(href, now))
            return false;
        if (now.isEmpty() || calendar::EventUid(now.first().data) != uid) {
            m_complete = false;
            return true;
        }
        return applyRemote(uid, now.first());
    }
    ++m_report.sent;
    return writeStatus(StatusRow{uid, href, etag, data, m_items.value(uid).data});
}

bool Pass::deleteHere(const QString& uid)
{
    QString error;
    const int done = m_db.RunInTransaction(
        [&](QString& msg) {
            if (!m_local.remove(uid, msg))
                return int(store::kDataError);
            return DropStatus(m_db, uid, msg);
        },
        error);
    if (done < 0)
        return localFailed(error);
    m_status.remove(uid);
    m_items.remove(uid);
    ++m_report.deletedHere;
    return true;
}

} // namespace

SyncEngine::SyncEngine(CAdoDatabase& db, LocalCalendar& local, RemoteCalendar& remote,
                       const QString& collectionUrl)
    : m_db(db), m_local(local), m_remote(remote), m_collectionUrl(collectionUrl)
{
}

SyncReport SyncEngine::run()
{
    SyncReport report;
    Pass pass(m_db, m_local, m_remote, report);
    pass.run(m_collectionUrl);
    report.ok = report.error.kind == RemoteError::None && report.localError.isEmpty();
    return report;
}

bool MadeHere(CAdoDatabase& db, const QString& uid)
{
    StatusRow row;
    if (!ReadStatusRow(db, uid, row) || row.remote.isEmpty())
        return true;
    return calendar::ProductId(row.remote).startsWith(QLatin1String("-//Tolva//"));
}

bool IsSynced(CAdoDatabase& db, const QString& uid)
{
    StatusRow row;
    return ReadStatusRow(db, uid, row);
}

SyncLock::SyncLock(const QString& dataFolder) : m_file(dataFolder + QStringLiteral("/sync.lock"))
{
    // A running sync holds it however long it takes; only a dead holder's lock is stale.
    m_file.setStaleLockTime(0);
}

bool SyncLock::tryLock()
{
    return m_file.tryLock(0);
}

void SyncLock::unlock()
{
    m_file.unlock();
}

} // namespace sync
