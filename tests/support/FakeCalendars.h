#pragma once

#include "store/AdoDatabase.h"
#include "sync/LocalCalendar.h"
#include "sync/RemoteCalendar.h"

#include <QMap>
#include <QRegularExpression>

#include <climits>

// In-memory fakes of the sync's two sides for the engine's tests.
namespace fakes {

// Texts as iCalendar writes them: escaped, and lines folded by writers.
inline QString Escaped(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char(';'), QStringLiteral("\\;"))
        .replace(QLatin1Char(','), QStringLiteral("\\,"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

inline QString Unescaped(const QString& text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar c = text.at(++i);
            out += (c == QLatin1Char('n') || c == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : c;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

// The value of the first line of a property (parameters skipped), unfolded.
inline QString Property(const QByteArray& data, const QString& name)
{
    QString text = QString::fromUtf8(data);
    text.replace(QStringLiteral("\r\n "), QString()).replace(QStringLiteral("\n "), QString());
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(name) +
                                      QStringLiteral("[;:][^\\r\\n]*"),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(text);
    if (!m.hasMatch())
        return QString();
    const QString whole = m.captured(0);
    // The value follows the first colon outside a quoted parameter.
    bool quoted = false;
    for (int i = name.size(); i < whole.size(); ++i) {
        if (whole.at(i) == QLatin1Char('"'))
            quoted = !quoted;
        else if (whole.at(i) == QLatin1Char(':') && !quoted)
            return Unescaped(whole.mid(i + 1));
    }
    return QString();
}

struct Event
{
    QString uid, summary, description, start; // start: yyyyMMddTHHmmss
    QString acknowledged;                     // yyyyMMddTHHmmssZ or empty
    bool reminds = true;
    QString prodid = QStringLiteral("-//Tolva//Tolva小精灵//ZH");
    QStringList extra; // further lines inside the VEVENT, kept as written
};

inline QByteArray Text(const Event& e)
{
    QStringList lines{QStringLiteral("BEGIN:VCALENDAR"),    QStringLiteral("VERSION:2.0"),
                      QStringLiteral("PRODID:") + e.prodid, QStringLiteral("BEGIN:VEVENT"),
                      QStringLiteral("UID:") + e.uid,       QStringLiteral("DTSTAMP:20260101T000000Z"),
                      QStringLiteral("DTSTART:") + e.start, QStringLiteral("SUMMARY:") + Escaped(e.summary)};
    if (!e.description.isEmpty())
        lines << QStringLiteral("DESCRIPTION:") + Escaped(e.description);
    lines << e.extra;
    if (e.reminds) {
        lines << QStringLiteral("BEGIN:VALARM") << QStringLiteral("ACTION:DISPLAY")
              << QStringLiteral("DESCRIPTION:") + Escaped(e.summary) << QStringLiteral("TRIGGER:PT0S");
        if (!e.acknowledged.isEmpty())
            lines << QStringLiteral("ACKNOWLEDGED:") + e.acknowledged;
        lines << QStringLiteral("END:VALARM");
    }
    lines << QStringLiteral("END:VEVENT") << QStringLiteral("END:VCALENDAR");
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

inline bool Reminds(const QByteArray& data)
{
    const QString action = Property(data, QStringLiteral("ACTION"));
    return action == QLatin1String("DISPLAY") || action == QLatin1String("AUDIO");
}

// A CalDAV collection: ETags, sync tokens (or none), 412 on a stale
// precondition, and a request that fails like a server stopped mid-sync.
class FakeServer : public sync::RemoteCalendar
{
public:
    struct Resource
    {
        QString etag;
        QByteArray data;
    };
    QMap<QString, Resource> resources;
    bool tokens = true;
    int requests = 0;
    int failAt = 0;              // this request (1-based, counted from the start) fails
    bool failAfterDoing = false; // ...after the server did it: the answer is lost

    // Another client's writes.
    void write(const QString& href, const QByteArray& data)
    {
        resources.insert(href, {QStringLiteral("\"e%1\"").arg(++m_etags), data});
        m_log.append(href);
    }
    void erase(const QString& href)
    {
        resources.remove(href);
        m_log.append(href);
    }
    QByteArray dataOf(const QString& uid) const { return resources.value(hrefFor(uid)).data; }
    QList<QByteArray> withSummary(const QString& summary) const
    {
        QList<QByteArray> out;
        for (const Resource& r : resources)
            if (Property(r.data, QStringLiteral("SUMMARY")) == summary)
                out.append(r.data);
        return out;
    }

    bool list(const QString& token, sync::RemoteListing& out, sync::RemoteError& error) override
    {
        if (failing(error))
            return false;
        out = sync::RemoteListing();
        bool known = false;
        const int since = token.mid(1).toInt(&known);
        if (!tokens || !token.startsWith(QLatin1Char('t')) || !known || since > m_log.size()) {
            out.full = true;
            for (auto it = resources.cbegin(); it != resources.cend(); ++it)
                out.changed.append({it.key(), it->etag});
        } else {
            QStringList seen;
            for (int i = m_log.size() - 1; i >= since; --i) {
                const QString href = m_log.at(i);
                if (seen.contains(href))
                    continue;
                seen.append(href);
                if (resources.contains(href))
                    out.changed.append({href, resources.value(href).etag});
                else
                    out.removed.append(href);
            }
        }
        out.token = tokens ? QStringLiteral("t%1").arg(m_log.size()) : QString();
        return done(error);
    }
    bool fetch(const QStringList& hrefs, QList<sync::RemoteResource>& out, sync::RemoteError& error) override
    {
        if (failing(error))
            return false;
        out.clear();
        for (const QString& href : hrefs)
            if (resources.contains(href))
                out.append({href, resources.value(href).etag, resources.value(href).data});
        return done(error);
    }
    bool put(const QString& href, const QByteArray& data, const QString& ifMatch, QString& newEtag,
             sync::RemoteError& error) override
    {
        if (failing(error))
            return false;
        const bool exists = resources.contains(href);
        if (ifMatch.isEmpty() ? exists : (!exists || resources.value(href).etag != ifMatch)) {
            error.kind = sync::RemoteError::Precondition;
            error.status = 412;
            return false;
        }
        write(href, data);
        newEtag = resources.value(href).etag;
        return done(error);
    }
    bool remove(const QString& href, const QString& ifMatch, sync::RemoteError& error) override
    {
        if (failing(error))
            return false;
        if (resources.contains(href) && resources.value(href).etag != ifMatch) {
            error.kind = sync::RemoteError::Precondition;
            error.status = 412;
            return false;
        }
        if (resources.contains(href))
            erase(href);
        return done(error);
    }
    QString hrefFor(const QString& uid) const override
    {
        return QStringLiteral("/cal/") + uid + QStringLiteral(".ics");
    }

private:
    bool failing(sync::RemoteError& error)
    {
        ++requests;
        if (requests != failAt || failAfterDoing)
            return false;
        error.kind = sync::RemoteError::Network;
        error.text = QStringLiteral("无法连接服务器");
        return true;
    }
    bool done(sync::RemoteError& error)
    {
        if (requests != failAt)
            return true;
        error.kind = sync::RemoteError::Network;
        error.text = QStringLiteral("无法连接服务器");
        return false;
    }
    QStringList m_log;
    int m_etags = 0;
};

// This machine's reminders in the records of a real data file: a subject, a
// content, a start and the last acknowledgement; subjects longer than
// summaryLimit are cut with "…" as the program cuts what does not fit.
class FakeLocal : public sync::LocalCalendar
{
public:
    explicit FakeLocal(CAdoDatabase& db) : m_db(db) {}
    int summaryLimit = 40;
    QString refusedSummary; // an event with this subject cannot be stored here

    QString add(const QString& summary, const QString& description, const QString& start)
    {
        QString message;
        QString id;
        m_db.RunInTransaction(
            [&](QString& msg) {
                const int n = m_db.InsertRows(QStringLiteral("recordmsg"), Fields(),
                                              {{summary, description, start, QString(), QStringLiteral("0"),
                                                QStringLiteral("2026-01-01 00:00:00")}},
                                              1, msg);
                id = QString::number(m_db.LastInsertId());
                return n;
            },
            message);
        return uidOf(id);
    }
    bool edit(const QString& uid, const QString& field, const QString& value)
    {
        QString message;
        return m_db.UpdateRows(QStringLiteral("recordmsg"), QStringLiteral("where id = ") + idOf(uid),
                               {field}, {value}, 1, message) == 1;
    }
    bool acknowledge(const QString& uid, const QString& at)
    {
        QString message;
        const QString id = idOf(uid);
        m_db.DeleteRows(QStringLiteral("recordack"), QStringLiteral("where id = ") + id, INT_MAX, message);
        return m_db.InsertRows(QStringLiteral("recordack"), {QStringLiteral("id"), QStringLiteral("at")},
                               {{id, at}}, 1, message) == 1;
    }
    QString acknowledgedAt(const QString& uid)
    {
        RowSet rows;
        QString message = QStringLiteral("where id = ") + idOf(uid);
        m_db.SelectRows(QStringLiteral("recordack"), message, {QStringLiteral("at")}, rows, 1, message);
        return rows.isEmpty() ? QString() : rows.first().value(0);
    }
    QStringList subjects()
    {
        QList<sync::LocalItem> all;
        QString error;
        items(all, error);
        QStringList out;
        for (const sync::LocalItem& item : all)
            out.append(Property(item.data, QStringLiteral("SUMMARY")));
        out.sort();
        return out;
    }

    bool items(QList<sync::LocalItem>& out, QString& error) override
    {
        RowSet rows;
        if (m_db.SelectRows(QStringLiteral("recorduid"), QString(), {QStringLiteral("uid")}, rows, INT_MAX,
                            error) < 0)
            return false;
        out.clear();
        for (const Row& row : rows) {
            sync::LocalItem item;
            if (!this->item(row.value(0), item, error))
                return false;
            out.append(item);
        }
        return true;
    }
    bool item(const QString& uid, sync::LocalItem& out, QString& error) override
    {
        const QString id = idOf(uid);
        RowSet rows;
        QString message = QStringLiteral("where id = ") + id;
        if (id.isEmpty() ||
            m_db.SelectRows(QStringLiteral("recordmsg"), message, Fields(), rows, 1, message) != 1) {
            error = message;
            return false;
        }
        Event e;
        e.uid = uid;
        e.summary = rows.first().value(0);
        e.description = rows.first().value(1);
        e.start = rows.first().value(2);
        const QString at = acknowledgedAt(uid);
        e.acknowledged = at;
        out = {uid, id, Text(e)};
        return true;
    }
    Applied apply(const QByteArray& data, sync::LocalItem& stored, QString& error) override
    {
        ++applied;
        if (!Reminds(data))
            return Applied::NotAReminder;
        const QString uid = Property(data, QStringLiteral("UID"));
        QString summary = Property(data, QStringLiteral("SUMMARY"));
        if (!refusedSummary.isEmpty() && summary == refusedSummary) {
            error = QStringLiteral("无法保存");
            return Applied::Failed;
        }
        if (summary.size() > summaryLimit)
            summary = summary.left(summaryLimit - 1) + QStringLiteral("…");
        const QStringList values{summary, Property(data, QStringLiteral("DESCRIPTION")),
                                 Property(data, QStringLiteral("DTSTART"))};
        QString id = idOf(uid);
        QString message;
        const int done = m_db.RunInTransaction(
            [&](QString& msg) {
                if (id.isEmpty()) {
                    if (m_db.InsertRows(QStringLiteral("recordmsg"), Fields(),
                                        {values + QStringList{QString(), QStringLiteral("0"),
                                                              QStringLiteral("2026-01-01 00:00:00")}},
                                        1, msg) != 1)
                        return -10;
                    id = QString::number(m_db.LastInsertId());
                    if (m_db.UpdateRows(QStringLiteral("recorduid"), QStringLiteral("where id = ") + id,
                                        {QStringLiteral("uid")}, {uid}, 1, msg) != 1)
                        return -10;
                } else if (m_db.UpdateRows(QStringLiteral("recordmsg"), QStringLiteral("where id = ") + id,
                                           Fields().mid(0, 3), values, 1, msg) != 1) {
                    return -10;
                }
                const QString at = Property(data, QStringLiteral("ACKNOWLEDGED"));
                if (!at.isEmpty() && at > acknowledgedAt(uid) && !acknowledge(uid, at))
                    return -10;
                return 1;
            },
            message);
        if (done < 0) {
            error = message;
            return Applied::Failed;
        }
        return item(uid, stored, error) ? Applied::Stored : Applied::Failed;
    }
    bool remove(const QString& uid, QString& error) override
    {
        const QString id = idOf(uid);
        return id.isEmpty() || m_db.DeleteRows(QStringLiteral("recordmsg"),
                                               QStringLiteral("where id = ") + id, 1, error) >= 0;
    }
    int applied = 0;

    QString idOf(const QString& uid)
    {
        RowSet rows;
        QString message = QStringLiteral("where uid = '") +
                          QString(uid).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
        m_db.SelectRows(QStringLiteral("recorduid"), message, {QStringLiteral("id")}, rows, 1, message);
        return rows.isEmpty() ? QString() : rows.first().value(0);
    }
    QString uidOf(const QString& id)
    {
        RowSet rows;
        QString message = QStringLiteral("where id = ") + id;
        m_db.SelectRows(QStringLiteral("recorduid"), message, {QStringLiteral("uid")}, rows, 1, message);
        return rows.isEmpty() ? QString() : rows.first().value(0);
    }

private:
    static QStringList Fields()
    {
        return {QStringLiteral("titile"), QStringLiteral("text"), QStringLiteral("date"),
                QStringLiteral("time"),   QStringLiteral("use"),  QStringLiteral("insertdatatime")};
    }
    CAdoDatabase& m_db;
};

} // namespace fakes
