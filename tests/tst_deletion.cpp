#include "base/MainWindowIds.h"
#include "reminders/RecordDeletion.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"
#include "sync/SyncStatus.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <QtTest>
#include <ctime>

namespace {
const QString kTable = QStringLiteral("recordmsg");
const QString kExpiredQuestion = QString::fromUtf8("是否批量删除10条最早的过期数据？  ");

// Fake seams, a temporary program folder and its store, and the main
// window's side of a deletion, counted.
struct Rig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();
    int addModes = 0;
    int declines = 0;
    deletion::Editor editor{[this] { ++addModes; }, [this] { ++declines; }};

    Rig()
    {
        fakes.clock.set(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 0)));
        QString message;
        if (db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                     message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }
    StoreProvider store()
    {
        return [this] { return db; };
    }
    QString add(const QString& date, const QString& time, const QString& subject = QStringLiteral("主题"))
    {
        QString message;
        const Row row{subject, QStringLiteral("内容"), date,
                      time,    QStringLiteral("0"),    QStringLiteral("2025-12-01 09:00:00")};
        db->InsertRows(kTable, {"titile", "text", "date", "time", "use", "insertdatatime"}, {row}, 1,
                       message);
        RowSet rows;
        db->SelectRows(kTable, QString(), {QStringLiteral("id")}, rows, 1, message);
        return rows.value(0).value(0);
    }
    // Ids left, lowest first.
    QStringList ids()
    {
        QString message;
        const int n = db->CountRows(kTable, QString(), message);
        RowSet rows;
        db->SelectRows(kTable, QString(), {QStringLiteral("id")}, rows, n, message);
        QStringList out;
        for (const Row& r : rows)
            out.prepend(r.value(0));
        return out;
    }
};
} // namespace

class TestDeletion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    void menuOnlyForExactlyOneSelectedRow_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("choose"); // the command picked in the menu; 0: dismissed
        QTest::newRow("none selected") << 0 << int(ids::kCmdDeleteRecord);
        QTest::newRow("two selected") << 2 << int(ids::kCmdDeleteRecord);
        QTest::newRow("this record") << 1 << int(ids::kCmdDeleteRecord);
        QTest::newRow("expired") << 1 << int(ids::kCmdDeleteExpired);
        QTest::newRow("dismissed") << 1 << 0;
    }
    void menuOnlyForExactlyOneSelectedRow()
    {
        QFETCH(int, selected);
        QFETCH(int, choose);
        FakeSeams fakes;
        QWidget owner;
        QStringList items;
        QPoint shownAt;
        const int command = deletion::OnListRightClick(
            &owner, selected, QPoint(120, 80), [&](QMenu* menu, const QPoint& at) -> QAction* {
                shownAt = at;
                QAction* chosen = nullptr;
                for (QAction* a : menu->actions()) {
                    items.append(a->isSeparator() ? QStringLiteral("-")
                                                  : QString::number(a->data().toInt()) + " " + a->text());
                    if (!a->isSeparator() && a->data().toInt() == choose)
                        chosen = a;
                }
                return chosen;
            });
        if (selected != 1) {
            QCOMPARE(command, 0);
            QVERIFY(items.isEmpty());
            return;
        }
        QCOMPARE(items, (QStringList{QString::fromUtf8("32772 删除此条记录"), "-",
                                     QString::fromUtf8("32780 删除过期记录")}));
        QCOMPARE(shownAt, QPoint(120, 80));
        QCOMPARE(command, choose);
    }

    void menuWithoutCursorOpensBesideTheWindowCorner()
    {
        QWidget owner;
        owner.move(200, 150);
        owner.resize(100, 100);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QCOMPARE(deletion::ContextMenuPoint(QPoint(-1, -1), &owner), owner.mapToGlobal(QPoint(5, 5)));
        QCOMPARE(deletion::ContextMenuPoint(QPoint(-1, 0), &owner), QPoint(-1, 0));
        QCOMPARE(deletion::ContextMenuPoint(QPoint(7, 9), &owner), QPoint(7, 9));
    }

    void realMenuReturnsTheTriggeredCommand()
    {
        FakeSeams fakes;
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions()) {
                if (a->data().toInt() == ids::kCmdDeleteExpired)
                    menu->setActiveAction(a);
            }
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QCOMPARE(deletion::OnListRightClick(&owner, 1, owner.mapToGlobal(QPoint(10, 10))),
                 ids::kCmdDeleteExpired);
    }

    void deleteSelectedAsksByItsSubject_data()
    {
        QTest::addColumn<bool>("synced"); // the server has the reminder
        QTest::addColumn<QString>("question");
        QTest::newRow("a reminder only here is asked about by its subject")
            << false << QString::fromUtf8("真的要删除标题为“关机”的记录吗？  ");
        QTest::newRow("a synced reminder's question says it leaves the server too")
            << true
            << QString::fromUtf8("真的要删除标题为“关机”的记录吗？同步服务器上的这条提醒也会一起删除。  ");
    }
    void deleteSelectedAsksByItsSubject()
    {
        QFETCH(bool, synced);
        QFETCH(QString, question);
        Rig rig;
        const QString keep = rig.add("2026-02-01", "08:00:00");
        const QString target = rig.add("2026-02-01", "09:00:00", QString::fromUtf8("关机"));
        QString message;
        // The other record is synced in both rows: only the target's own state counts.
        for (const QString& id : synced ? QStringList{keep, target} : QStringList{keep})
            QCOMPARE(sync::WriteStatus(*rig.db,
                                       {repeat::UidOf(*rig.db, id), QStringLiteral("/cal/") + id,
                                        QStringLiteral("\"1\""), "BEGIN:VCALENDAR", "BEGIN:VCALENDAR"},
                                       message),
                     1);
        rig.fakes.boxes.answerNext(MbResult::Yes);
        deletion::DeleteSelectedRecord(nullptr, target, QString::fromUtf8("关机"), rig.editor, rig.store());

        QCOMPARE(rig.fakes.boxes.texts(), QStringList{question});
        QCOMPARE(rig.fakes.boxes.shown().first().buttons, MbButtons::YesNo);
        QVERIFY(rig.fakes.boxes.shown().first().caption.isEmpty());
        QCOMPARE(rig.ids(), QStringList{keep});
        QCOMPARE(rig.addModes, 1);
        QCOMPARE(rig.declines, 0);
    }

    // Nobody answers: the box's default button speaks, and it must never delete.
    void questionsDefaultToNoAndStayOnTop_data()
    {
        QTest::addColumn<bool>("expired"); // false: the selected record
        QTest::newRow("the selected record") << false;
        QTest::newRow("the expired records") << true;
    }
    void questionsDefaultToNoAndStayOnTop()
    {
        QFETCH(bool, expired);
        Rig rig;
        QWidget mainWindow;
        const QString id = rig.add("2025-02-01", "08:00:00");
        if (expired)
            deletion::DeleteExpiredRecords(&mainWindow, rig.editor, rig.store());
        else
            deletion::DeleteSelectedRecord(&mainWindow, id, "x", rig.editor, rig.store());
        QCOMPARE(rig.fakes.boxes.shown().size(), 1);
        const MessageBoxRequest& question = rig.fakes.boxes.shown().first();
        QCOMPARE(question.buttons, MbButtons::YesNo);
        QCOMPARE(question.defaultButton, MbResult::No);
        QVERIFY(question.topmost);
        QCOMPARE(question.owner.data(), &mainWindow);
        QCOMPARE(rig.ids(), QStringList{id});
        QCOMPARE(rig.declines, 1);
        QCOMPARE(rig.addModes, 0);
    }

    void deleteSelectedWithoutARowAsksNothing()
    {
        Rig rig;
        rig.add("2026-02-01", "08:00:00");
        deletion::DeleteSelectedRecord(nullptr, QString(), QString(), rig.editor, rig.store());
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
        QCOMPARE(rig.ids().size(), 1);
        QCOMPARE(rig.addModes + rig.declines, 0);
    }

    void deleteSelectedNeverSendsAnIdThatIsNotANumber()
    {
        Rig rig;
        rig.add("2026-02-01", "08:00:00");
        rig.add("2026-02-01", "09:00:00");
        rig.fakes.boxes.answerNext(MbResult::Yes);
        deletion::DeleteSelectedRecord(nullptr, "1 or 1=1", "x", rig.editor, rig.store());
        QCOMPARE(rig.ids().size(), 2);
        QCOMPARE(rig.addModes, 1);
    }

    // A deletion the store refuses says why, once; one that finds nothing to
    // delete says nothing (the reloaded list shows it).
    void refusedDeletionSaysWhy_data()
    {
        QTest::addColumn<bool>("expired"); // false: the selected record
        QTest::addColumn<QString>("refusal");
        QTest::newRow("the selected record, refused by the store")
            << false << QString::fromUtf8("数据文件拒绝了这项修改（kept）");
        QTest::newRow("the expired records, refused by the store")
            << true << QString::fromUtf8("数据文件拒绝了这项修改（kept）");
        QTest::newRow("the selected record, store released")
            << false << QString::fromUtf8("数据库还没有连接好，无效的数据操作！  ");
        QTest::newRow("the selected record, already gone") << false << QString();
    }
    void refusedDeletionSaysWhy()
    {
        QFETCH(bool, expired);
        QFETCH(QString, refusal);
        Rig rig;
        const QString id = rig.add("2025-02-01", "08:00:00");
        const bool released = refusal.startsWith(QString::fromUtf8("数据库"));
        const bool gone = refusal.isEmpty();
        if (!released && !gone)
            QVERIFY(SqliteFile(rig.folder.databaseFile())
                        .exec("create trigger refuse before delete on recordmsg "
                              "begin select raise(abort, 'kept'); end"));
        rig.fakes.boxes.answerNext(MbResult::Yes);
        // No application store: the stand-in answers "not connected".
        const StoreProvider store = released ? StoreProvider() : rig.store();
        if (expired)
            deletion::DeleteExpiredRecords(nullptr, rig.editor, store);
        else
            deletion::DeleteSelectedRecord(nullptr, gone ? id + "0" : id, "x", rig.editor, store);
        QCOMPARE(rig.fakes.boxes.shown().size(), gone ? 1 : 2);
        if (!gone)
            QCOMPARE(rig.fakes.boxes.texts().last(), refusal);
        QCOMPARE(rig.ids(), QStringList{id});
        QCOMPARE(rig.addModes, 1);
    }

    void expiredMeansEarlierTodayOrAnEarlierDay()
    {
        Rig rig;
        rig.add("2026-01-01", "09:59:59");
        const QString now = rig.add("2026-01-01", "10:00:00");
        const QString later = rig.add("2026-01-01", "10:00:01");
        rig.add("2025-12-31", "23:59:59");
        rig.add("2025-06-15", "12:00:00");
        const QString everyDay = rig.add("Every Day", "00:00:00");
        const QString everyDayLate = rig.add("Every Day", "23:59:59");
        const QString tomorrow = rig.add("2026-01-02", "00:00:00");

        rig.fakes.boxes.answerNext(MbResult::Yes);
        deletion::DeleteExpiredRecords(nullptr, rig.editor, rig.store());
        QCOMPARE(rig.fakes.boxes.texts(), QStringList{kExpiredQuestion});
        QCOMPARE(rig.fakes.boxes.shown().first().buttons, MbButtons::YesNo);
        QCOMPARE(rig.ids(), (QStringList{now, later, everyDay, everyDayLate, tomorrow}));
        QCOMPARE(rig.addModes, 1);
    }

    void fifteenExpiredTakeTwoBatchesLowestIdsFirst()
    {
        Rig rig;
        QStringList expired;
        QStringList kept;
        for (int i = 0; i < 15; ++i) {
            // Newer ids on older days too: the batch goes by id, not by date.
            expired.append(rig.add(QDate(2025, 12, 31).addDays(-(i % 4)).toString("yyyy-MM-dd"),
                                   QTime(8, 0, 0).addSecs(-60 * i).toString("HH:mm:ss")));
            if (i % 5 == 0)
                kept.append(rig.add("2026-01-01", "11:00:00"));
        }
        rig.fakes.boxes.setDefaultAnswer(MbResult::Yes);

        deletion::DeleteExpiredRecords(nullptr, rig.editor, rig.store());
        QStringList expected = kept + expired.mid(10);
        std::sort(expected.begin(), expected.end(),
                  [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        QCOMPARE(rig.ids(), expected);

        deletion::DeleteExpiredRecords(nullptr, rig.editor, rig.store());
        QCOMPARE(rig.ids(), kept);
        deletion::DeleteExpiredRecords(nullptr, rig.editor, rig.store());
        QCOMPARE(rig.ids(), kept);
        QCOMPARE(rig.addModes, 3);
    }

    // A record dated before now is kept while it comes again: a repeating one
    // not yet moved on whose series goes on, and any snoozed one. A series that
    // has ended is expired like a dated record.
    void expiredSparesWhatComesAgain_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("dtstart");
        QTest::addColumn<bool>("workdays");
        QTest::addColumn<QString>("snoozedUntil");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a weekly record with occurrences left survives")
            << "2025-12-29"
            << "FREQ=WEEKLY;BYDAY=MO"
            << "2025-12-01 08:00:00" << false << "" << true;
        QTest::newRow("a weekly record whose end has passed is deleted")
            << "2025-12-29"
            << "FREQ=WEEKLY;BYDAY=MO;UNTIL=20251231T235959"
            << "2025-12-01 08:00:00" << false << "" << false;
        QTest::newRow("a weekly record ending later survives")
            << "2025-12-29"
            << "FREQ=WEEKLY;BYDAY=MO;UNTIL=20260105T080000"
            << "2025-12-01 08:00:00" << false << "" << true;
        QTest::newRow("a series whose count is used up is deleted")
            << "2025-12-03"
            << "FREQ=DAILY;COUNT=3"
            << "2025-12-01 08:00:00" << false << "" << false;
        QTest::newRow("a workday record with occurrences left survives")
            << "2025-12-31"
            << ""
            << "2025-12-01 08:00:00" << true << "" << true;
        QTest::newRow("a lunar record with occurrences left survives")
            << "2025-10-06"
            << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"
            << "2024-09-17 08:00:00" << false << "" << true;
        QTest::newRow("a snoozed dated record survives") << "2025-12-31"
                                                         << ""
                                                         << "" << false << "2026-01-01 10:05:00" << true;
        QTest::newRow("a record whose snooze was missed on an earlier day is deleted")
            << "2025-12-20"
            << ""
            << "" << false << "2025-12-20 08:10:00" << false;
        QTest::newRow("a dated record is deleted") << "2025-12-31"
                                                   << ""
                                                   << "" << false << "" << false;
    }
    void expiredSparesWhatComesAgain()
    {
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(QString, dtstart);
        QFETCH(bool, workdays);
        QFETCH(QString, snoozedUntil);
        QFETCH(bool, kept);
        Rig rig;
        rig.add("2025-11-30", "08:00:00");
        const QString id = rig.add(date, "08:00:00");
        rig.add("2025-11-30", "09:00:00");
        const QString future = rig.add("2026-01-02", "08:00:00");
        QString message;
        if (!rrule.isEmpty() || workdays) {
            const repeat::Rule r{id, dtstart, rrule, workdays ? QString(repeat::kWorkdaysCN) : QString(), {}};
            QCOMPARE(repeat::WriteRule(*rig.db, r, message), 1);
        }
        if (!snoozedUntil.isEmpty())
            QCOMPARE(repeat::Snooze(*rig.db, id, QDateTime::fromString(snoozedUntil, "yyyy-MM-dd HH:mm:ss"),
                                    message),
                     1);
        rig.fakes.boxes.answerNext(MbResult::Yes);
        deletion::DeleteExpiredRecords(nullptr, rig.editor, rig.store());
        // The records dated before now around it go either way.
        QCOMPARE(rig.ids(), kept ? (QStringList{id, future}) : QStringList{future});
    }

    void expiredConditionIsTheTextComparison()
    {
        QCOMPARE(deletion::ExpiredCondition(QDateTime(QDate(2016, 5, 1), QTime(8, 30, 0))),
                 QStringLiteral("date='2016-05-01' and time<'08:30:00' or date <'2016-05-01'"));
    }
};

QTEST_MAIN(TestDeletion)
#include "tst_deletion.moc"
