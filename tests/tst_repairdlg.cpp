#include "base/FileOps.h"
#include "base/Paths.h"
#include "store/AdoDatabase.h"
#include "store/RepairDlg.h"
#include "support/FileSizeLimit.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"
#include "widgets/DialogLayout.h"

#include <QFrame>
#include <QLabel>
#include <QtTest>
#include <sys/stat.h>

namespace {

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

constexpr int kRecords = 300;

// Records long enough to span many pages, with texts that tell them apart.
bool fillDatabase(const QString& path, int records)
{
    const QByteArray sql =
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        QByteArray::number(records) +
        ") insert into recordmsg (titile, text, date, time, use, insertdatatime) "
        "select '提醒 ' || i, 'content ' || i || ' ' || replace(hex(zeroblob(100)), '00', '内容'),"
        " '2030-01-01', '10:00:00', i % 2, '2026-01-01 00:00:00' from n";
    return SqliteFile(path).exec(sql.constData());
}

// A rule and a uid for each of the records to come, a snooze for every third
// and one loaded holiday arrangement. Written before the records, so that
// their pages lie before the records' pages and a file cut short keeps them.
bool fillBesides(const QString& path, int records)
{
    const QByteArray n = "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                         QByteArray::number(records) + ") ";
    SqliteFile file(path);
    return file.exec(n + "insert into repeatrule (id, dtstart, rrule) "
                         "select i, '2030-01-01 10:00:00', 'FREQ=DAILY;COUNT=' || i from n") &&
           file.exec(n + "insert into snooze (id, until) select i, '2030-01-02 10:0' || (i % 10) || ':00' "
                         "from n where i % 3 = 0") &&
           file.exec(n + "insert into recorduid (id, uid) select i, 'uid-' || i from n") &&
           file.exec("insert into holidays (loaded, text) values ('2026-01-01 00:00:00', '[2027]')");
}

// Each record with its rule, snooze and uid ("-" for none), by id.
QStringList besidesOf(const QString& path)
{
    return SqliteFile(path, SQLITE_OPEN_READONLY)
        .column("select m.id||'|'||ifnull(r.dtstart,'-')||'|'||ifnull(r.rrule,'-')||'|'||ifnull(s.until,'-')"
                "||'|'||ifnull(u.uid,'-') from recordmsg m left join repeatrule r on r.id = m.id"
                " left join snooze s on s.id = m.id left join recorduid u on u.id = m.id order by m.id");
}

// Every record with every field, as text, one per line, by id.
QStringList recordsIn(const QString& path)
{
    return SqliteFile(path, SQLITE_OPEN_READONLY)
        .column("select id||'|'||titile||'|'||text||'|'||date||'|'||ifnull(time,'')||'|'||use||'|'||"
                "insertdatatime from recordmsg order by id");
}

// The schema as SQLite keeps it.
QStringList schemaOf(const QString& path)
{
    return SqliteFile(path, SQLITE_OPEN_READONLY)
        .column(
            "select type||' '||name||' '||tbl_name||' '||ifnull(sql,'') from sqlite_master order by name");
}

// The leaf pages of the reminder table with the number of records on each.
QList<QPair<int, int>> leafPages(const QString& path)
{
    QList<QPair<int, int>> pages;
    SqliteFile(path, SQLITE_OPEN_READONLY)
        .forEachRow(
            "select pageno, ncell from dbstat where name='recordmsg' and pagetype='leaf' order by pageno",
            [&](sqlite3_stmt* st) {
                pages << qMakePair(sqlite3_column_int(st, 0), sqlite3_column_int(st, 1));
            });
    return pages;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

void runRepair()
{
    CRepairDlg dlg;
    dlg.setCloseInterval(10);
    dlg.exec();
}

} // namespace

class TestRepairDlg : public QObject
{
    Q_OBJECT

private slots:
    void noticeSitsWhereTheFormPutsIt()
    {
        CRepairDlg dlg;
        QVERIFY(!dlg.parentWidget());
        const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first()->text(), QString::fromUtf8("运行环境异常，Tolva智能修复正在启动，请稍候 ……"));
        QCOMPARE(dlg.font().pointSize(), 9);
        QVERIFY(dlg.font().families().contains(QString::fromUtf8("宋体")));
        const DialogUnits du(dlg.font());
        QCOMPARE(dlg.size(), QSize(du.x(221), du.y(95)));
        QCOMPARE(labels.first()->geometry(), du.rect(QRect(16, 43, 189, 8)));
        // The notice reads whole in whichever font stood in for SimSun.
        QVERIFY(labels.first()->fontMetrics().horizontalAdvance(labels.first()->text()) <= dlg.width());
    }

    void noCaptionButASunkenEdge()
    {
        CRepairDlg dlg;
        QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
        const QList<QFrame*> frames = dlg.findChildren<QFrame*>(QString(), Qt::FindDirectChildrenOnly);
        const auto edge = std::find_if(frames.begin(), frames.end(), [](QFrame* f) {
            return f->frameShadow() == QFrame::Sunken && f->frameShape() != QFrame::NoFrame;
        });
        QVERIFY(edge != frames.end());
        QCOMPARE((*edge)->geometry(), dlg.rect());
    }

    void fiveSecondsCountFromTheShow()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CRepairDlg dlg;
        QCOMPARE(dlg.closeInterval(), 5000);
        QVERIFY(!dlg.closeTimerActive()); // nothing runs before the dialog initialises
        dlg.show();
        QVERIFY(dlg.closeTimerActive());
        QCOMPARE(dlg.closeInterval(), 5000);
    }

    void timerOneClosesTheDialogAsCancelled()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CRepairDlg dlg;
        dlg.show();
        dlg.OnTimer(2); // not the dialog's timer
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.closeTimerActive());
        dlg.OnTimer(1);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.closeTimerActive());
    }

    void theModalRunEndsByItself()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CRepairDlg dlg;
        dlg.setCloseInterval(20);
        bool shownWhileRunning = false;
        QTimer::singleShot(0, &dlg, [&] { shownWhileRunning = dlg.isVisible() && dlg.closeTimerActive(); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(shownWhileRunning);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.closeTimerActive());
        QVERIFY(fakes.boxes.shown().isEmpty()); // the repair reports nothing itself
    }

    void initialisesOnlyOnce()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CRepairDlg dlg;
        dlg.setCloseInterval(60000);
        dlg.show();
        dlg.OnTimer(1);
        QVERIFY(!dlg.closeTimerActive());
        // A later show is no new start-up: its timer does not start again.
        dlg.show();
        QVERIFY(!dlg.closeTimerActive());
    }

    // A damaged data file is kept aside, never deleted; every record that can
    // still be read goes into a fresh data file; where none can, a valid backup
    // takes its place. A file that is only locked is not damaged.
    void repairsADamagedDataFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("withBackup");
        QTest::newRow("cut short at half") << "truncated" << true;
        QTest::newRow("a page of records overwritten") << "overwritten" << true;
        QTest::newRow("zero length, backup") << "zero" << true;
        QTest::newRow("zero length, no backup") << "zero" << false;
        QTest::newRow("overwritten with text, backup") << "text" << true;
        QTest::newRow("overwritten with text, backup damaged too") << "text-bad-backup" << true;
        QTest::newRow("locked by another connection") << "locked" << true;
        QTest::newRow("cut short, new file cannot be written") << "truncated-unwritable" << true;
        QTest::newRow("whole, but the time field dropped") << "no time field" << true;
        QTest::newRow("whole, but id a text key") << "id as text" << true;
        QTest::newRow("whole, but the snooze table lost") << "no snooze table" << true;
        QTest::newRow("cut short, of the generation before rules: kept every-day records fire again")
            << "truncated-generation-1" << true;
    }
    void repairsADamagedDataFile()
    {
        QFETCH(QString, damage);
        QFETCH(bool, withBackup);
        FakeSeams fakes;
        fakes.clock.set(QDateTime(QDate(2026, 3, 4), QTime(9, 8, 7)));
        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        const bool olderGeneration = damage.endsWith(QLatin1String("generation-1"));
        QVERIFY(fillBesides(file, kRecords));
        QVERIFY(fillDatabase(file, kRecords));
        QStringList besides = besidesOf(file);
        if (olderGeneration) {
            // An older popup marked a kept every-day record used; it still fell due then.
            QVERIFY(SqliteFile(file).exec(
                "update recordmsg set date = 'Every Day' where id % 5 = 0;"
                "drop trigger recordmsg_uid; drop trigger recordmsg_gone; drop table repeatrule;"
                "drop table snooze; drop table holidays; drop table recorduid; drop index recordmsg_due;"
                "pragma user_version=1"));
        }
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0640) == 0);
        QStringList original = recordsIn(file);
        QCOMPARE(original.size(), kRecords);
        const QList<QPair<int, int>> leaves = leafPages(file);
        QVERIFY(leaves.size() > 10);
        QStringList backupRecords;
        if (withBackup) {
            QVERIFY(fileops::CopyFileAtomically(QStringLiteral(TOLVA_TEMPLATE_DB), BackupFilePath()));
            QVERIFY(fillDatabase(BackupFilePath(), 7));
            if (damage == QLatin1String("text-bad-backup"))
                QVERIFY(WriteAll(BackupFilePath(), ReadAll(BackupFilePath()).left(2048)));
            backupRecords = recordsIn(BackupFilePath());
        }

        // The records the damage takes away; the rest must all come back.
        QByteArray bytes = ReadAll(file);
        int lost = 0;
        SqliteFile locker(file);
        if (damage.startsWith(QLatin1String("truncated"))) {
            const int keptPages = int(bytes.size() / 4096 / 2);
            bytes.truncate(qsizetype(keptPages) * 4096);
            for (const auto& leaf : leaves)
                lost += leaf.first > keptPages ? leaf.second : 0;
        } else if (damage == QLatin1String("overwritten")) {
            const auto leaf = leaves.at(leaves.size() / 2);
            bytes.replace(qsizetype(leaf.first - 1) * 4096, 4096, QByteArray(4096, '\x5A'));
            lost = leaf.second;
        } else if (damage == QLatin1String("zero")) {
            bytes.clear();
            lost = kRecords;
        } else if (damage.startsWith(QLatin1String("text"))) {
            bytes = "[常规设置]\r\nIfDelete=Istrue\r\n";
            lost = kRecords;
        } else if (damage == QLatin1String("no time field")) {
            // Every record is read all the same; only the lost field is empty.
            QVERIFY(SqliteFile(file).exec(
                "drop index recordmsg_time_date; drop index recordmsg_date_time; drop index recordmsg_due; "
                "alter table recordmsg drop column time"));
            bytes = ReadAll(file);
            for (QString& record : original) {
                QStringList fields = record.split(QLatin1Char('|'));
                fields[4].clear();
                record = fields.join(QLatin1Char('|'));
            }
        } else if (damage == QLatin1String("no snooze table")) {
            QVERIFY(SqliteFile(file).exec("drop table snooze"));
            bytes = ReadAll(file);
            for (QString& line : besides)
                line = line.section(QLatin1Char('|'), 0, 2) + QStringLiteral("|-|") +
                       line.section(QLatin1Char('|'), 4);
        } else if (damage == QLatin1String("id as text")) {
            QVERIFY(SqliteFile(file).exec(
                "create table t (titile text, text text, date text, time text, use text, insertdatatime "
                "text, "
                "id text primary key); insert into t select titile, text, date, time, use, insertdatatime, "
                "id "
                "from recordmsg order by id; drop table recordmsg; alter table t rename to recordmsg"));
            bytes = ReadAll(file);
        } else {
            QVERIFY(locker.exec("begin exclusive"));
        }
        QVERIFY(WriteAll(file, bytes));
        QVERIFY(lost < kRecords || damage != QLatin1String("truncated"));

        if (damage == QLatin1String("truncated-unwritable")) {
            // The new data file breaks off while it is written: all stays as it was.
            {
                FileSizeLimit limit(8 * 1024);
                QVERIFY(limit.active());
                runRepair();
            }
            QCOMPARE(ReadAll(file), bytes);
            QCOMPARE(entriesOf(folder.dataFolder()), (QStringList{"tolva.dat", "tolvaBak.dat"}));
            QCOMPARE(fakes.boxes.shown().size(), 1);
            QVERIFY2(fakes.boxes.texts().first().contains(u("未能修复")),
                     qPrintable(fakes.boxes.texts().first()));
            QVERIFY(fakes.boxes.texts().first().contains(u("数据文件保持原样")));
            return;
        }
        runRepair();
        QVERIFY(locker.exec("rollback") || damage != QLatin1String("locked"));

        const QString aside = file + QStringLiteral(".damaged-20260304-090807");
        QStringList expectedEntries{"tolva.dat"};
        if (withBackup)
            expectedEntries << "tolvaBak.dat";
        if (damage == QLatin1String("locked")) {
            // Left exactly as it was, nothing moved, nothing said.
            QVERIFY(fakes.boxes.shown().isEmpty());
            QCOMPARE(ReadAll(file), bytes);
            QCOMPARE(recordsIn(file), original);
            QCOMPARE(entriesOf(folder.dataFolder()), expectedEntries);
            return;
        }
        expectedEntries.insert(1, QFileInfo(aside).fileName());
        QCOMPARE(entriesOf(folder.dataFolder()), expectedEntries);
        // The damaged file is kept byte for byte.
        QCOMPARE(ReadAll(aside), bytes);

        // The data file opens, with what could be saved, in the delivered schema and mode.
        CAdoDatabase db;
        QString message;
        QCOMPARE(db.Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                         message),
                 store::kConnected);
        QCOMPARE(schemaOf(file), schemaOf(QStringLiteral(TOLVA_TEMPLATE_DB)));
        QCOMPARE(int(fileops::ModeOr(file, 0)), 0640);
        const QStringList after = recordsIn(file);
        QString expectedText;
        if (lost < kRecords) {
            // Nothing lost that could be read: every record off the damaged pages, unchanged,
            // but for an every-day record of an older file, which is no longer used.
            QCOMPARE(after.size() + lost, kRecords);
            int everyDay = 0;
            for (QString record : after) {
                if (olderGeneration && record.contains(QLatin1String("|Every Day|"))) {
                    QVERIFY2(record.contains(QLatin1String("|Every Day|10:00:00|0|")), qPrintable(record));
                    record.replace(QLatin1String("|Every Day|10:00:00|0|"),
                                   QLatin1String("|Every Day|10:00:00|") +
                                       QString::number(record.section(QLatin1Char('|'), 0, 0).toInt() % 2) +
                                       QLatin1Char('|'));
                    ++everyDay;
                }
                QVERIFY2(original.contains(record), qPrintable(record));
            }
            QVERIFY(!olderGeneration || everyDay > 10);
            // Each saved record keeps its rule, snooze and uid; none is kept for a lost record.
            SqliteFile repaired(file, SQLITE_OPEN_READONLY);
            const QString orphans = repaired.scalar(
                "select (select count(*) from repeatrule where id not in (select id from recordmsg)) +"
                " (select count(*) from snooze where id not in (select id from recordmsg)) +"
                " (select count(*) from recorduid where id not in (select id from recordmsg))");
            QCOMPARE(orphans, QStringLiteral("0"));
            if (olderGeneration) {
                QCOMPARE(repaired.scalar("select count(distinct uid) from recorduid"),
                         QString::number(after.size()));
                QCOMPARE(repaired.scalar("select count(*) from repeatrule"), QStringLiteral("0"));
            } else {
                QStringList saved;
                for (const QString& record : after)
                    saved << besides.at(record.section(QLatin1Char('|'), 0, 0).toInt() - 1);
                QCOMPARE(besidesOf(file), saved);
                QCOMPARE(repaired.column("select loaded||' '||text from holidays"),
                         QStringList{"2026-01-01 00:00:00 [2027]"});
            }
            expectedText = u("Tolva从中救出了 %1 条提醒记录").arg(kRecords - lost);
        } else if (damage == QLatin1String("text-bad-backup") || !withBackup) {
            QVERIFY(after.isEmpty());
            expectedText = u("也没有可用的备份");
        } else {
            QCOMPARE(after, backupRecords);
            expectedText = u("Tolva换用了备份数据（7 条提醒记录）");
        }
        // One message: what was done, and where the damaged file is.
        QCOMPARE(fakes.boxes.shown().size(), 1);
        const MessageBoxRequest& box = fakes.boxes.shown().first();
        QVERIFY2(box.text.contains(expectedText), qPrintable(box.text));
        QVERIFY2(box.text.contains(aside), qPrintable(box.text));
        QCOMPARE(box.caption, u("Tolva提示"));

        // Ids are never given twice, not even those of the records that were lost.
        if (lost < kRecords) {
            QCOMPARE(db.InsertRows(QStringLiteral("recordmsg"), {"titile"}, RowSet{Row{"new"}}, 1, message),
                     1);
            QCOMPARE(SqliteFile(file, SQLITE_OPEN_READONLY).scalar("select max(id) from recordmsg"),
                     QString::number(kRecords + 1));
        }
    }
};

QTEST_MAIN(TestRepairDlg)
#include "tst_repairdlg.moc"
