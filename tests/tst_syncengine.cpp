// The two-way sync's logic against fakes of the server and of this machine's
// reminders (a real data file): changes each way, conflicts kept on both
// sides, deletions, a server that stops mid-sync, the first sync's linking,
// acknowledgements, events that are not reminders, texts the program cut, and
// the lock that keeps one sync per data folder.
#include "calendar/EventPatch.h"
#include "store/AdoDatabase.h"
#include "store/StoreWrites.h"
#include "support/FakeCalendars.h"
#include "support/TestSupport.h"
#include "sync/SyncEngine.h"
#include "sync/SyncStatus.h"

#include <QProcess>
#include <QtTest>

using fakes::Event;
using fakes::Property;

namespace {

const QString kUrl = QStringLiteral("https://example.invalid/cal/");

struct Rig
{
    FakeSeams seams;
    TempProgramFolder folder;
    CAdoDatabase db;
    fakes::FakeServer server;
    fakes::FakeLocal local{db};

    Rig()
    {
        QString message;
        if (db.Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                    message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    sync::SyncReport sync(const QString& url = kUrl)
    {
        sync::SyncEngine engine(db, local, server, url);
        const sync::SyncReport report = engine.run();
        if (!report.ok)
            qWarning("sync failed: %s%s", qPrintable(report.error.text), qPrintable(report.localError));
        return report;
    }
    QStringList serverSubjects() const
    {
        QStringList out;
        for (const fakes::FakeServer::Resource& r : server.resources)
            out.append(Property(r.data, QStringLiteral("SUMMARY")));
        out.sort();
        return out;
    }
    // Another client's new event on the server.
    void serverAdd(const QString& uid, const QString& summary,
                   const QString& start = QStringLiteral("20270101T090000"))
    {
        Event e;
        e.uid = uid;
        e.summary = summary;
        e.start = start;
        server.write(server.hrefFor(uid), fakes::Text(e));
    }
    // Another client's change of a property on the server's text.
    void serverSet(const QString& uid, const QString& name, const QString& value)
    {
        QString text = QString::fromUtf8(server.dataOf(uid));
        text.replace(QRegularExpression(QStringLiteral("(^|\\n)") + name + QStringLiteral(":[^\\r\\n]*")),
                     QStringLiteral("\\1") + name + QLatin1Char(':') + value);
        server.write(server.hrefFor(uid), text.toUtf8());
    }
};

// Counts the store's committed writes while it lives.
struct WriteCounter
{
    int writes = 0;
    int token = store::AddWriteListener([this] { ++writes; });
    ~WriteCounter() { store::RemoveWriteListener(token); }
};

// A little of everything changed on both sides since the last sync.
void MixedChanges(Rig& rig, QString& kept)
{
    const QString a = rig.local.add(QStringLiteral("甲"), QString(), QStringLiteral("20270101T080000"));
    const QString b = rig.local.add(QStringLiteral("乙"), QString(), QStringLiteral("20270102T080000"));
    const QString c = rig.local.add(QStringLiteral("丙"), QString(), QStringLiteral("20270103T080000"));
    const QString d = rig.local.add(QStringLiteral("丁"), QString(), QStringLiteral("20270104T080000"));
    rig.serverAdd(QStringLiteral("srv-1"), QStringLiteral("戊"));
    if (!rig.sync().ok)
        qFatal("first sync failed");
    rig.local.edit(a, QStringLiteral("titile"), QStringLiteral("甲改"));
    rig.serverSet(b, QStringLiteral("SUMMARY"), QStringLiteral("乙远"));
    rig.local.edit(c, QStringLiteral("titile"), QStringLiteral("丙近"));
    rig.serverSet(c, QStringLiteral("SUMMARY"), QStringLiteral("丙远"));
    QString error;
    rig.local.remove(d, error);
    rig.server.erase(rig.server.hrefFor(QStringLiteral("srv-1")));
    rig.local.add(QStringLiteral("己"), QString(), QStringLiteral("20270105T080000"));
    rig.serverAdd(QStringLiteral("srv-2"), QStringLiteral("庚"));
    kept = a;
}

} // namespace

class TestSyncEngine : public QObject
{
    Q_OBJECT

private slots:
    void changesTravel_data();
    void changesTravel();
    void interruptedSyncLosesNothing_data();
    void interruptedSyncLosesNothing();
    void staleEtagKeepsBoth();
    void firstSyncLinks();
    void acknowledgementsNeverConflict_data();
    void acknowledgementsNeverConflict();
    void eventsThatDoNotRemindAreLeftAlone();
    void oneBadEventDoesNotStopTheRest();
    void cutTextsNeverGoBackCut();
    void patchCarriesOnlyEdits_data();
    void patchCarriesOnlyEdits();
    void anotherCollectionStartsAfresh();
    void madeHereAndSynced();
    void oneSyncPerDataFolder();
};

void TestSyncEngine::changesTravel_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected"); // subjects on both sides afterwards
    QTest::addColumn<int>("conflicts");
    const QString copy = QStringLiteral("（冲突副本）");
    const struct
    {
        const char* name;
        const char* action;
        QStringList expected;
        int conflicts;
    } rows[] = {
        {"a reminder added here reaches the server", "add here", {"甲", "乙"}, 0},
        {"an event added on the server comes here", "add there", {"甲", "丙"}, 0},
        {"a subject changed here changes on the server", "change here", {"甲近"}, 0},
        {"a subject changed on the server changes here", "change there", {"甲远"}, 0},
        {"a reminder deleted here goes from the server", "delete here", {}, 0},
        {"an event deleted on the server goes from here", "delete there", {}, 0},
        {"changed on both sides both versions stay on both", "change both", {"甲远", "甲近" + copy}, 1},
        {"deleted here but changed on the server the server's version stays",
         "delete here change there",
         {"甲远"},
         0},
        {"deleted on the server but changed here it goes back", "delete there change here", {"甲近"}, 0},
        {"deleted on both sides nothing comes back", "delete both", {}, 0},
    };
    for (bool tokens : {true, false})
        for (const auto& row : rows)
            QTest::addRow("%s%s", row.name, tokens ? "" : " (a server without sync tokens)")
                << tokens << QString::fromLatin1(row.action) << row.expected << row.conflicts;
}

void TestSyncEngine::changesTravel()
{
    QFETCH(bool, tokens);
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    QFETCH(int, conflicts);
    expected.sort();
    Rig rig;
    rig.server.tokens = tokens;
    const QString uid =
        rig.local.add(QStringLiteral("甲"), QStringLiteral("内容"), QStringLiteral("20270101T080000"));
    QVERIFY(rig.sync().ok);
    QCOMPARE(rig.serverSubjects(), QStringList{QStringLiteral("甲")});

    QString error;
    if (action == QLatin1String("add here"))
        rig.local.add(QStringLiteral("乙"), QString(), QStringLiteral("20270102T080000"));
    if (action == QLatin1String("add there"))
        rig.serverAdd(QStringLiteral("other-1"), QStringLiteral("丙"));
    if (action.startsWith(QLatin1String("change here")) || action == QLatin1String("change both") ||
        action.endsWith(QLatin1String("change here")))
        rig.local.edit(uid, QStringLiteral("titile"), QStringLiteral("甲近"));
    if (action == QLatin1String("change there") || action == QLatin1String("change both") ||
        action.endsWith(QLatin1String("change there")))
        rig.serverSet(uid, QStringLiteral("SUMMARY"), QStringLiteral("甲远"));
    if (action.startsWith(QLatin1String("delete here")) || action == QLatin1String("delete both"))
        rig.local.remove(uid, error);
    if (action.startsWith(QLatin1String("delete there")) || action == QLatin1String("delete both"))
        rig.server.erase(rig.server.hrefFor(uid));

    const sync::SyncReport report = rig.sync();
    QVERIFY2(report.ok, qPrintable(report.error.text + report.localError));
    QCOMPARE(report.conflicts, conflicts);
    QCOMPARE(rig.local.subjects(), expected);
    QCOMPARE(rig.serverSubjects(), expected);

    // The next sync finds nothing to do: one request and no writes.
    rig.sync();
    rig.server.requests = 0;
    WriteCounter counter;
    const sync::SyncReport quiet = rig.sync();
    QVERIFY(quiet.ok);
    QCOMPARE(quiet.requests, 1);
    QCOMPARE(rig.server.requests, 1);
    QCOMPARE(counter.writes, 0);
    QCOMPARE(rig.local.subjects(), expected);
    QCOMPARE(rig.serverSubjects(), expected);
}

void TestSyncEngine::interruptedSyncLosesNothing_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("afterDoing");
    QTest::addColumn<QStringList>("expected");
    for (bool tokens : {true, false}) {
        // The same changes synced without a failure: the end state and how many requests it took.
        Rig rig;
        rig.server.tokens = tokens;
        QString kept;
        MixedChanges(rig, kept);
        const sync::SyncReport clean = rig.sync();
        if (!clean.ok || clean.requests < 5)
            qFatal("the uninterrupted sync did not do its work");
        const QStringList expected = rig.local.subjects();
        const char* mode = tokens ? "" : " (a server without sync tokens)";
        for (int i = 1; i <= clean.requests; ++i) {
            QTest::addRow("request %d fails before the server acts%s", i, mode)
                << tokens << i << false << expected;
            QTest::addRow("request %d is done but its answer is lost%s", i, mode)
                << tokens << i << true << expected;
        }
    }
}

void TestSyncEngine::interruptedSyncLosesNothing()
{
    QFETCH(bool, tokens);
    QFETCH(int, failAt);
    QFETCH(bool, afterDoing);
    QFETCH(QStringList, expected);
    Rig rig;
    rig.server.tokens = tokens;
    QString kept;
    MixedChanges(rig, kept);
    rig.server.requests = 0;
    rig.server.failAt = failAt;
    rig.server.failAfterDoing = afterDoing;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^sync failed")));
    const sync::SyncReport broken = rig.sync();
    QVERIFY(!broken.ok);
    QCOMPARE(broken.error.kind, sync::RemoteError::Network);
    rig.server.failAt = 0;
    const sync::SyncReport done = rig.sync();
    QVERIFY2(done.ok, qPrintable(done.error.text + done.localError));
    QCOMPARE(rig.local.subjects(), expected);
    QCOMPARE(rig.serverSubjects(), expected);
    QVERIFY(!rig.local.idOf(kept).isEmpty());
}

namespace {
// A server whose resource is changed by another client just before the first
// upload arrives, so that the upload's If-Match is stale.
struct RacingServer : sync::RemoteCalendar
{
    fakes::FakeServer& inner;
    QString href;
    QByteArray change;
    explicit RacingServer(fakes::FakeServer& s) : inner(s) {}
    bool list(const QString& t, sync::RemoteListing& o, sync::RemoteError& e) override
    {
        return inner.list(t, o, e);
    }
    bool fetch(const QStringList& h, QList<sync::RemoteResource>& o, sync::RemoteError& e) override
    {
        return inner.fetch(h, o, e);
    }
    bool put(const QString& h, const QByteArray& d, const QString& m, QString& n,
             sync::RemoteError& e) override
    {
        if (!href.isEmpty())
            inner.write(std::exchange(href, QString()), change);
        return inner.put(h, d, m, n, e);
    }
    bool remove(const QString& h, const QString& m, sync::RemoteError& e) override
    {
        return inner.remove(h, m, e);
    }
    QString hrefFor(const QString& uid) const override { return inner.hrefFor(uid); }
};
} // namespace

void TestSyncEngine::staleEtagKeepsBoth()
{
    Rig rig;
    const QString uid = rig.local.add(QStringLiteral("甲"), QString(), QStringLiteral("20270101T080000"));
    QVERIFY(rig.sync().ok);
    rig.local.edit(uid, QStringLiteral("titile"), QStringLiteral("甲近"));
    RacingServer racing(rig.server);
    racing.href = rig.server.hrefFor(uid);
    racing.change = QString::fromUtf8(rig.server.dataOf(uid))
                        .replace(QStringLiteral("SUMMARY:甲"), QStringLiteral("SUMMARY:甲远"))
                        .toUtf8();
    sync::SyncEngine engine(rig.db, rig.local, racing, kUrl);
    const sync::SyncReport report = engine.run();
    QVERIFY2(report.ok, qPrintable(report.error.text + report.localError));
    QCOMPARE(report.conflicts, 1);
    QStringList both{QStringLiteral("甲近（冲突副本）"), QStringLiteral("甲远")};
    both.sort();
    QCOMPARE(rig.local.subjects(), both);
    QCOMPARE(rig.serverSubjects(), both);
}

void TestSyncEngine::firstSyncLinks()
{
    Rig rig;
    // The server already has two of this machine's reminders: one under the
    // same UID, one with the same texts and start under another.
    const QString same = rig.local.add(QStringLiteral("同号"), QString(), QStringLiteral("20270101T080000"));
    const QString alike =
        rig.local.add(QStringLiteral("同文"), QStringLiteral("内容"), QStringLiteral("20270102T080000"));
    rig.local.add(QStringLiteral("独有"), QString(), QStringLiteral("20270103T080000"));
    QString error;
    sync::LocalItem item;
    QVERIFY(rig.local.item(same, item, error));
    rig.server.write(rig.server.hrefFor(same), item.data);
    QVERIFY(rig.local.item(alike, item, error));
    Event e;
    e.uid = QStringLiteral("phone-1");
    e.summary = QStringLiteral("同文");
    e.description = QStringLiteral("内容");
    e.start = QStringLiteral("20270102T080000");
    rig.server.write(QStringLiteral("/cal/phone-1.ics"), fakes::Text(e));

    const sync::SyncReport report = rig.sync();
    QVERIFY2(report.ok, qPrintable(report.error.text + report.localError));
    QStringList all{QStringLiteral("同文"), QStringLiteral("同号"), QStringLiteral("独有")};
    all.sort();
    QCOMPARE(rig.local.subjects(), all);
    QCOMPARE(rig.serverSubjects(), all);
    QCOMPARE(rig.local.idOf(QStringLiteral("phone-1")), item.id); // the local record took the server's UID
    QCOMPARE(report.sent, 1);
}

void TestSyncEngine::acknowledgementsNeverConflict_data()
{
    QTest::addColumn<QString>("here");   // acknowledged here at, or empty
    QTest::addColumn<QString>("there");  // acknowledged on the server at, or empty
    QTest::addColumn<bool>("editThere"); // the server also changed the subject
    QTest::addColumn<QString>("latest");
    QTest::addColumn<bool>("closesHere");
    QTest::newRow("acknowledged elsewhere closes here")
        << QString() << "20270101T080100Z" << false << "20270101T080100Z" << true;
    QTest::newRow("acknowledged here reaches the server")
        << "20270101T080200Z" << QString() << false << "20270101T080200Z" << false;
    QTest::newRow("acknowledged on both the later wins there")
        << "20270101T080100Z"
        << "20270101T080300Z" << false << "20270101T080300Z" << true;
    QTest::newRow("acknowledged on both the later wins here")
        << "20270101T080300Z"
        << "20270101T080100Z" << false << "20270101T080300Z" << false;
    QTest::newRow("acknowledged here while the server changed the series")
        << "20270101T080200Z" << QString() << true << "20270101T080200Z" << false;
}

void TestSyncEngine::acknowledgementsNeverConflict()
{
    QFETCH(QString, here);
    QFETCH(QString, there);
    QFETCH(bool, editThere);
    QFETCH(QString, latest);
    QFETCH(bool, closesHere);
    Rig rig;
    const QString uid = rig.local.add(QStringLiteral("甲"), QString(), QStringLiteral("20270101T080000"));
    QVERIFY(rig.sync().ok);
    if (!here.isEmpty())
        rig.local.acknowledge(uid, here);
    if (!there.isEmpty()) {
        QString text = QString::fromUtf8(rig.server.dataOf(uid));
        text.replace(QStringLiteral("TRIGGER:PT0S"), QStringLiteral("TRIGGER:PT0S\r\nACKNOWLEDGED:") + there);
        rig.server.write(rig.server.hrefFor(uid), text.toUtf8());
    }
    if (editThere)
        rig.serverSet(uid, QStringLiteral("SUMMARY"), QStringLiteral("甲远"));
    const sync::SyncReport report = rig.sync();
    QVERIFY2(report.ok, qPrintable(report.error.text + report.localError));
    QCOMPARE(report.conflicts, 0);
    QCOMPARE(rig.local.acknowledgedAt(uid), latest);
    QCOMPARE(Property(rig.server.dataOf(uid), QStringLiteral("ACKNOWLEDGED")), latest);
    QCOMPARE(report.acknowledgedUids.contains(uid), closesHere);
    const QString subject = editThere ? QStringLiteral("甲远") : QStringLiteral("甲");
    QCOMPARE(rig.local.subjects(), QStringList{subject});
    QCOMPARE(rig.serverSubjects(), QStringList{subject});
}

void TestSyncEngine::eventsThatDoNotRemindAreLeftAlone()
{
    Rig rig;
    Event e;
    e.uid = QStringLiteral("meeting");
    e.summary = QStringLiteral("会议");
    e.start = QStringLiteral("20270101T100000");
    e.reminds = false;
    e.prodid = QStringLiteral("-//Other//Calendar//EN");
    rig.server.write(QStringLiteral("/cal/meeting.ics"), fakes::Text(e));
    const QByteArray before = rig.server.dataOf(QStringLiteral("meeting"));
    QVERIFY(rig.sync().ok);
    QVERIFY(rig.local.subjects().isEmpty());
    QCOMPARE(rig.server.dataOf(QStringLiteral("meeting")), before);
    QVERIFY(rig.sync().ok);
    // Remembered: not fetched or offered again while its ETag stays.
    rig.local.applied = 0;
    rig.server.requests = 0;
    QVERIFY(rig.sync().ok);
    QCOMPARE(rig.server.requests, 1);
    QCOMPARE(rig.local.applied, 0);
    QCOMPARE(rig.server.dataOf(QStringLiteral("meeting")), before);
    // Given an alarm there, it becomes a reminder here.
    e.reminds = true;
    rig.server.write(QStringLiteral("/cal/meeting.ics"), fakes::Text(e));
    QVERIFY(rig.sync().ok);
    QCOMPARE(rig.local.subjects(), QStringList{QStringLiteral("会议")});
}

void TestSyncEngine::oneBadEventDoesNotStopTheRest()
{
    Rig rig;
    rig.local.refusedSummary = QStringLiteral("坏");
    rig.serverAdd(QStringLiteral("a-bad"), QStringLiteral("坏"));
    rig.serverAdd(QStringLiteral("b-good"), QStringLiteral("好"));
    const QString here = rig.local.add(QStringLiteral("本机"), QString(), QStringLiteral("20270101T080000"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^sync failed")));
    const sync::SyncReport report = rig.sync();
    QVERIFY(!report.ok);
    QCOMPARE(report.localError, QStringLiteral("无法保存"));
    QCOMPARE(rig.local.subjects(), (QStringList{QStringLiteral("好"), QStringLiteral("本机")}));
    QVERIFY(!rig.server.dataOf(here).isEmpty());
    // Once it can be stored, the next sync brings it.
    rig.local.refusedSummary.clear();
    QVERIFY(rig.sync().ok);
    QCOMPARE(rig.local.subjects().size(), 3);
}

void TestSyncEngine::cutTextsNeverGoBackCut()
{
    Rig rig;
    rig.local.summaryLimit = 6;
    const QString longSummary = QStringLiteral("一个很长很长的标题文字");
    Event e;
    e.uid = QStringLiteral("phone-2");
    e.summary = longSummary;
    e.start = QStringLiteral("20270101T100000");
    e.prodid = QStringLiteral("-//Other//Calendar//EN");
    e.extra = {QStringLiteral("CATEGORIES:工作"), QStringLiteral("ATTACH:https://example.invalid/a.pdf")};
    rig.server.write(QStringLiteral("/cal/phone-2.ics"), fakes::Text(e));
    QVERIFY(rig.sync().ok);
    QCOMPARE(rig.local.subjects(), QStringList{QStringLiteral("一个很长很…")});
    QVERIFY(rig.sync().ok);
    QCOMPARE(Property(rig.server.dataOf(e.uid), QStringLiteral("SUMMARY")), longSummary);
    // Edited here: only the edited property goes; the rest stays as the server had it.
    rig.local.edit(e.uid, QStringLiteral("text"), QStringLiteral("新内容"));
    const sync::SyncReport report = rig.sync();
    QVERIFY(report.ok);
    QCOMPARE(report.sent, 1);
    const QByteArray now = rig.server.dataOf(e.uid);
    QCOMPARE(Property(now, QStringLiteral("DESCRIPTION")), QStringLiteral("新内容"));
    QCOMPARE(Property(now, QStringLiteral("SUMMARY")), longSummary);
    QCOMPARE(Property(now, QStringLiteral("CATEGORIES")), QStringLiteral("工作"));
    QCOMPARE(Property(now, QStringLiteral("ATTACH")), QStringLiteral("https://example.invalid/a.pdf"));
    QCOMPARE(Property(now, QStringLiteral("PRODID")), e.prodid);
}

void TestSyncEngine::patchCarriesOnlyEdits_data()
{
    QTest::addColumn<QString>("edit");     // a line of the event as this machine now writes it
    QTest::addColumn<QString>("property"); // what the server's text then says
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("changed");
    QTest::newRow("a new subject replaces the server's") << "SUMMARY:新"
                                                         << "SUMMARY"
                                                         << "新" << QStringList{"SUMMARY"};
    QTest::newRow("a new start in a zone brings the zone along")
        << "DTSTART;TZID=Asia/Shanghai:20270101T090000"
        << "TZID"
        << "Asia/Shanghai" << QStringList{"DTSTART"};
    QTest::newRow("a new rule replaces the server's") << "RRULE:FREQ=DAILY"
                                                      << "RRULE"
                                                      << "FREQ=DAILY" << QStringList{"RRULE"};
    QTest::newRow("cancelled travels as a status") << "STATUS:CANCELLED"
                                                   << "STATUS"
                                                   << "CANCELLED" << QStringList{"STATUS"};
    QTest::newRow("an acknowledgement goes onto the server's alarm")
        << "ACKNOWLEDGED:20270101T090100Z"
        << "ACKNOWLEDGED"
        << "20270101T090100Z" << QStringList{calendar::kAcknowledgedGroup};
}

void TestSyncEngine::patchCarriesOnlyEdits()
{
    QFETCH(QString, edit);
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(QStringList, changed);
    Event mine;
    mine.uid = QStringLiteral("u1");
    mine.summary = QStringLiteral("旧");
    mine.start = QStringLiteral("20270101T080000");
    const QByteArray before = fakes::Text(mine);
    QByteArray after = before;
    const QString name = edit.section(QRegularExpression(QStringLiteral("[;:]")), 0, 0);
    QString text = QString::fromUtf8(before);
    if (text.contains(QStringLiteral("\r\n") + name + QLatin1Char(':')))
        text.replace(QRegularExpression(QStringLiteral("\r\n") + name + QStringLiteral(":[^\r]*")),
                     QStringLiteral("\r\n") + edit);
    else if (name == QLatin1String("ACKNOWLEDGED"))
        text.replace(QStringLiteral("TRIGGER:PT0S"), QStringLiteral("TRIGGER:PT0S\r\n") + edit);
    else
        text.replace(QStringLiteral("\r\nSUMMARY:"),
                     QStringLiteral("\r\n") + edit + QStringLiteral("\r\nSUMMARY:"));
    if (name == QLatin1String("DTSTART"))
        text.replace(QStringLiteral("BEGIN:VEVENT"),
                     QStringLiteral(
                         "BEGIN:VTIMEZONE\r\nTZID:Asia/Shanghai\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000"
                         "\r\nTZOFFSETFROM:+0800\r\nTZOFFSETTO:+0800\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                         "BEGIN:VEVENT"));
    after = text.toUtf8();
    QCOMPARE(calendar::ChangedProperties(before, after), changed);

    // The server's text has more than this machine keeps: a longer subject
    // and content, a category, a second alarm.
    Event theirs = mine;
    theirs.summary = QStringLiteral("旧");
    theirs.description = QStringLiteral("很长的内容，这台机器只存了一半");
    theirs.prodid = QStringLiteral("-//Other//Calendar//EN");
    theirs.extra = {QStringLiteral("CATEGORIES:家"),
                    QStringLiteral("BEGIN:VALARM"),
                    QStringLiteral("ACTION:EMAIL"),
                    QStringLiteral("TRIGGER:-PT1H"),
                    QStringLiteral("SUMMARY:邮件"),
                    QStringLiteral("DESCRIPTION:邮件"),
                    QStringLiteral("ATTENDEE:mailto:a@example.invalid"),
                    QStringLiteral("END:VALARM")};
    const QByteArray server = fakes::Text(theirs);
    const QByteArray patched = calendar::PatchEvent(server, before, after);
    QCOMPARE(calendar::ChangedProperties(server, patched), changed);
    QCOMPARE(Property(patched, property), value);
    QCOMPARE(Property(patched, QStringLiteral("CATEGORIES")), QStringLiteral("家"));
    QCOMPARE(Property(patched, QStringLiteral("PRODID")), theirs.prodid);
    QVERIFY(patched.contains("ACTION:EMAIL"));
    QVERIFY(patched.contains("很长的内容"));
    // Nothing edited: the server's bytes, untouched.
    QCOMPARE(calendar::PatchEvent(server, before, before), server);
}

void TestSyncEngine::anotherCollectionStartsAfresh()
{
    Rig rig;
    rig.local.add(QStringLiteral("甲"), QString(), QStringLiteral("20270101T080000"));
    QVERIFY(rig.sync().ok);
    // Another, empty collection: this machine's reminders are sent there, not deleted here.
    rig.server.resources.clear();
    const sync::SyncReport report = rig.sync(QStringLiteral("https://example.invalid/other/"));
    QVERIFY(report.ok);
    QCOMPARE(report.deletedHere, 0);
    QCOMPARE(rig.local.subjects(), QStringList{QStringLiteral("甲")});
    QCOMPARE(rig.serverSubjects(), QStringList{QStringLiteral("甲")});
}

void TestSyncEngine::madeHereAndSynced()
{
    Rig rig;
    const QString ours = rig.local.add(QStringLiteral("甲"), QString(), QStringLiteral("20270101T080000"));
    QVERIFY(!sync::IsSynced(rig.db, ours));
    QVERIFY(sync::MadeHere(rig.db, ours));
    Event e;
    e.uid = QStringLiteral("phone-3");
    e.summary = QStringLiteral("电话");
    e.start = QStringLiteral("20270101T100000");
    e.prodid = QStringLiteral("-//Apple Inc.//iOS 17//EN");
    rig.server.write(QStringLiteral("/cal/phone-3.ics"), fakes::Text(e));
    QVERIFY(rig.sync().ok);
    QVERIFY(sync::IsSynced(rig.db, ours));
    QVERIFY(sync::MadeHere(rig.db, ours));
    QVERIFY(sync::IsSynced(rig.db, e.uid));
    QVERIFY(!sync::MadeHere(rig.db, e.uid));
}

void TestSyncEngine::oneSyncPerDataFolder()
{
    QTemporaryDir dir;
    sync::SyncLock first(dir.path());
    sync::SyncLock second(dir.path());
    QVERIFY(first.tryLock());
    QVERIFY(!second.tryLock());
    first.unlock();
    QVERIFY(second.tryLock());
    second.unlock();
    // A lock left by a process that has ended is taken over.
    QProcess child;
    child.start(QStringLiteral("/bin/true"));
    QVERIFY(child.waitForStarted());
    const qint64 deadPid = child.processId();
    QVERIFY(child.waitForFinished());
    QFile file(dir.path() + QStringLiteral("/sync.lock"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(deadPid) + "\ntolva\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    file.close();
    sync::SyncLock third(dir.path());
    QVERIFY(third.tryLock());
}

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "tst_syncengine.moc"
