#include "base/Paths.h"
#include "platform/Seams.h"
#include "reminders/RecordDeletion.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/ReminderList.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>
#include <sqlite3.h>

using namespace reminders;

namespace {
const QDateTime kTen(QDate(2016, 5, 1), QTime(10, 0, 0));

// Ids of the rows the clause selects from a real table holding the given
// (date, time, use) records; ids are 1, 2, 3... in the given order. `more`
// runs after the inserts (rules and snoozes beside them).
QStringList SelectIds(const QList<QStringList>& records, const QString& clause,
                      const QString& more = QString())
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/t.dat");
    if (!QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), path))
        return {QStringLiteral("copy failed")};
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    sqlite3* db = nullptr;
    QStringList ids;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return {QStringLiteral("open failed")};
    for (const QStringList& r : records) {
        const QString sql =
            QStringLiteral("insert into recordmsg (titile, text, date, time, use, insertdatatime) "
                           "values ('s', 'c', '%1', '%2', '%3', '2016-01-01 00:00:00')")
                .arg(r.at(0), r.at(1), r.at(2));
        sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    }
    if (!more.isEmpty() &&
        sqlite3_exec(db, more.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        ids << QStringLiteral("statements failed");
    sqlite3_stmt* st = nullptr;
    const QByteArray q =
        (QStringLiteral("select id from recordmsg ") + clause + QStringLiteral(" order by id")).toUtf8();
    if (sqlite3_prepare_v2(db, q.constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW)
            ids << QString::number(sqlite3_column_int(st, 0));
    } else {
        ids << QStringLiteral("bad clause");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ids;
}

RowSet SampleRows(int n)
{
    RowSet rows;
    for (int i = 0; i < n; ++i)
        rows.append({QStringLiteral("s%1").arg(i), QStringLiteral("c%1").arg(i), QStringLiteral("2016-05-01"),
                     QStringLiteral("10:00:00"), QStringLiteral("0"), QStringLiteral("2016-01-01 00:00:00"),
                     QString::number(100 - i)});
    return rows;
}
// Enough records for more than two pages of the list: record i (its id) falls
// yesterday, tomorrow or today before or after ten o'clock, every seventh one
// every day, two in five taken.
constexpr int kManyRecords = 3 * ReminderListModel::kPageRows + 37;
QStringList ManyRecord(int i)
{
    QString date = QStringLiteral("2016-05-01");
    if (i % 7 == 0)
        date = QString::fromUtf8(kEveryDay);
    else if (i % 3 == 0)
        date = QStringLiteral("2016-04-30");
    else if (i % 3 == 1)
        date = QStringLiteral("2016-05-02");
    return {QStringLiteral("s%1").arg(i),
            QStringLiteral("c%1").arg(i),
            date,
            i % 2 ? QStringLiteral("09:00:00") : QStringLiteral("11:00:00"),
            i % 5 < 2 ? QStringLiteral("1") : QStringLiteral("0"),
            QStringLiteral("2016-01-01 00:00:00")};
}

// The store of a temporary program folder.
std::shared_ptr<CAdoDatabase> OpenedStore()
{
    auto db = std::make_shared<CAdoDatabase>();
    QString message;
    if (db->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                 message) != store::kConnected)
        return nullptr;
    return db;
}

// The store of a temporary program folder, filled with the many records.
std::shared_ptr<CAdoDatabase> ManyRecordsStore()
{
    const auto db = OpenedStore();
    if (!db)
        return nullptr;
    QString message;
    RowSet rows;
    for (int i = 1; i <= kManyRecords; ++i)
        rows.append(ManyRecord(i));
    if (db->InsertRows(QStringLiteral("recordmsg"), InsertFields(), rows, kManyRecords, message) !=
        kManyRecords)
        return nullptr;
    return db;
}

ReminderListModel::PageReader PagesOf(const std::shared_ptr<CAdoDatabase>& db)
{
    return [db](const QString& where, RowSet& rows, int maxRows, QString& message) {
        return db->SelectRows(QStringLiteral("recordmsg"), where, ListFields(), rows, maxRows, message);
    };
}

QStringList ModelIds(const ReminderListModel& model)
{
    QStringList ids;
    for (int r = 0; r < model.rowCount(); ++r)
        ids << model.text(r, ReminderListModel::kIdColumn);
    return ids;
}
} // namespace

class TestReminderList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void fieldLists()
    {
        QCOMPARE(ListFields(),
                 (QStringList{"titile", "text", "date", "time", "use", "insertdatatime", "id"}));
        QCOMPARE(InsertFields(), (QStringList{"titile", "text", "date", "time", "use", "insertdatatime"}));
    }

    void whereClauses_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("clause");
        QTest::newRow("all") << 0 << QString();
        QTest::newRow("not taken") << 1 << QStringLiteral("where use='0'");
        QTest::newRow("taken") << 2 << QStringLiteral("where use='1'");
        QTest::newRow("upcoming")
            << 3
            << QStringLiteral(
                   "where date>=ifnull(min('2016-05-01',(select min(date) from recordmsg where id in "
                   "(select id from snooze where until>='2016-05-01'))),'2016-05-01') and "
                   "((date,time)>=('2016-05-01','10:00:00') or id in (select id from snooze where "
                   "until>='2016-05-01'))");
        QTest::newRow("below range") << -1 << QString();
        QTest::newRow("above range") << 4 << QString();
    }
    void whereClauses()
    {
        QFETCH(int, filter);
        QFETCH(QString, clause);
        QCOMPARE(FilterWhereClause(filter, kTen), clause);
        // The window passes on at most 255 characters of a clause.
        QVERIFY(clause.size() <= 255);
    }

    void pageClauses_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<qint64>("below");
        QTest::addColumn<bool>("byFilter");
        QTest::addColumn<QString>("page");
        const QString upcoming = "where date='2016-05-01' and time>='10:00:00' or date >'2016-05-01'";
        QTest::newRow("the first page of all records is all records") << QString() << -1LL << false << "";
        QTest::newRow("all records are never read by filter") << QString() << -1LL << true << "";
        QTest::newRow("all records: only the key bounds a later page")
            << QString() << 120LL << false << "where id<120";
        QTest::newRow("the first page by key is the filter itself")
            << "where use='0'" << -1LL << false << "where use='0'";
        QTest::newRow("a filter of one condition keeps it")
            << "where use='0'" << 120LL << false << "where (use='0') and id<120";
        QTest::newRow("the upcoming filter's or stays inside its parentheses")
            << upcoming << 120LL << false
            << "where (date='2016-05-01' and time>='10:00:00' or date >'2016-05-01') and id<120";
        QTest::newRow("read by filter, the first page takes the filter's ids")
            << upcoming << -1LL << true << "where id in (select id from recordmsg " + upcoming + ")";
        QTest::newRow("read by filter, a later page takes those below the key")
            << "where use='1'" << 120LL << true
            << "where id in (select id from recordmsg where use='1') and id<120";
    }
    void pageClauses()
    {
        QFETCH(QString, filter);
        QFETCH(qint64, below);
        QFETCH(bool, byFilter);
        QFETCH(QString, page);
        QCOMPARE(PageWhereClause(filter, below, byFilter), page);
    }

    void pagesByFilter()
    {
        QVERIFY(PagesByFilter("where use='1'", 0));
        QVERIFY(PagesByFilter("where use='1'", kPagesByFilterUpTo));
        QVERIFY(!PagesByFilter("where use='1'", kPagesByFilterUpTo + 1));
        QVERIFY(!PagesByFilter(QString(), 10));
    }

    // The list reads a page at a time as it scrolls, and ends with exactly the
    // filter's records, newest first, each once; a record added or deleted
    // between two pages neither repeats a row nor hides another.
    void pagedListShowsTheFilter_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("byFilter");
        for (const bool byFilter : {false, true}) {
            const char* how = byFilter ? ", read by filter" : ", read by key";
            QTest::addRow("all records%s", how) << int(kFilterAll) << byFilter;
            QTest::addRow("records not taken%s", how) << int(kFilterNotTaken) << byFilter;
            QTest::addRow("records taken%s", how) << int(kFilterTaken) << byFilter;
            QTest::addRow("records still to come%s", how) << int(kFilterUpcoming) << byFilter;
        }
    }
    void pagedListShowsTheFilter()
    {
        QFETCH(int, filter);
        QFETCH(bool, byFilter);
        TempProgramFolder folder;
        const auto db = ManyRecordsStore();
        QVERIFY(db);
        // What the filter means, worked out here on the records themselves.
        QStringList expected;
        for (int i = kManyRecords; i >= 1; --i) {
            const QStringList r = ManyRecord(i);
            const bool match[] = {true, r.at(4) == "0", r.at(4) == "1",
                                  (r.at(2) == "2016-05-01" && r.at(3) >= "10:00:00") ||
                                      r.at(2) > "2016-05-01"};
            if (match[filter])
                expected << QString::number(i);
        }
        QVERIFY(expected.size() > ReminderListModel::kPageRows);

        const QString clause = FilterWhereClause(filter, kTen);
        QString message = clause;
        QCOMPARE(db->CountRows(QStringLiteral("recordmsg"), clause, message), expected.size());
        ReminderListModel model;
        QCOMPARE(model.load(PagesOf(db), clause, byFilter, message), int(ReminderListModel::kPageRows));
        QCOMPARE(model.rowCount(), int(ReminderListModel::kPageRows));
        QVERIFY(model.canFetchMore(QModelIndex()));

        // Between the first page and the next: a new record, and the next page's first record deleted.
        QCOMPARE(db->InsertRows(QStringLiteral("recordmsg"), InsertFields(),
                                RowSet{ManyRecord(kManyRecords + 1)}, 1, message),
                 1);
        const QString gone = expected.takeAt(ReminderListModel::kPageRows);
        QCOMPARE(db->DeleteRows(QStringLiteral("recordmsg"), "where id=" + gone, 1, message), 1);

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        int pages = 1;
        while (model.canFetchMore(QModelIndex()) && pages < 10) {
            model.fetchMore(QModelIndex());
            ++pages;
        }
        QCOMPARE(pages, int(expected.size() / ReminderListModel::kPageRows) + 1);
        QCOMPARE(inserted.size(), pages - 1);
        QCOMPARE(ModelIds(model), expected);
        QCOMPARE(model.rowValues(model.rowCount() - 1), ManyRecord(expected.last().toInt())
                                                            << expected.last());
    }

    // Rows far down the list, read as the view scrolled there, are the records
    // that selection and deletion act on.
    void deletionAfterScrollingTakesTheFirstSelectedRecord()
    {
        FakeSeams fakes;
        fakes.boxes.answerNext(MbResult::Yes);
        TempProgramFolder folder;
        const auto db = ManyRecordsStore();
        QVERIFY(db);
        ReminderListModel model;
        QString message;
        QCOMPARE(model.load(PagesOf(db), QString(), false, message), int(ReminderListModel::kPageRows));
        ReminderListView view;
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int page = 2; page <= 4; ++page) {
            view.scrollToBottom();
            QTRY_COMPARE(model.rowCount(), qMin(kManyRecords, page * ReminderListModel::kPageRows));
        }
        QVERIFY(!model.canFetchMore(QModelIndex()));

        auto* sel = view.selectionModel();
        sel->select(QItemSelection(model.index(610, 0), model.index(620, 0)),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(model.index(500, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(view.SelectedRowCount(), 12);
        QCOMPARE(view.FirstSelectedRow(), 500);
        const QStringList values = model.rowValues(500);
        const int id = kManyRecords - 500;
        QCOMPARE(values, ManyRecord(id) << QString::number(id));

        int backToAddMode = 0;
        deletion::Editor editor;
        editor.backToAddMode = [&] { ++backToAddMode; };
        deletion::DeleteSelectedRecord(&view, values.at(6), values.at(0), editor, [db] { return db; });
        QCOMPARE(fakes.boxes.texts(),
                 QStringList{QString::fromUtf8("真的要删除标题为“s%1”的记录吗？  ").arg(id)});
        QCOMPARE(backToAddMode, 1);
        QCOMPARE(db->CountRows(QStringLiteral("recordmsg"), QStringLiteral("where id=%1").arg(id), message),
                 0);
        QCOMPARE(db->CountRows(QStringLiteral("recordmsg"), QString(), message), kManyRecords - 1);
    }

    // The clause run on a real table: today from now on, later dates, and every
    // "Every Day" record; nothing earlier.
    void upcomingFilterSelectsTheRightRecords()
    {
        const QList<QStringList> records = {
            {"2016-05-01", "10:00:00", "0"}, // 1: now
            {"2016-05-01", "09:59:59", "0"}, // 2: a second ago
            {"2016-05-01", "23:00:00", "1"}, // 3: later today, taken
            {"2016-05-02", "00:00:00", "0"}, // 4: tomorrow
            {"2016-04-30", "23:59:59", "0"}, // 5: yesterday
            {"Every Day", "08:00:00", "0"},  // 6: every day, time passed
            {"2017-01-01", "01:00:00", "0"}, // 7: next year
            {"2015-12-31", "12:00:00", "1"}, // 8: last year
        };
        QCOMPARE(SelectIds(records, FilterWhereClause(kFilterUpcoming, kTen)),
                 (QStringList{"1", "3", "4", "6", "7"}));
        QCOMPARE(SelectIds(records, FilterWhereClause(kFilterTaken, kTen)), (QStringList{"3", "8"}));
        QCOMPARE(SelectIds(records, FilterWhereClause(kFilterNotTaken, kTen)),
                 (QStringList{"1", "2", "4", "5", "6", "7"}));
    }

    // A repeating record holds its next occurrence, and one whose series has
    // ended keeps its last; a snoozed record comes again at its snooze, however
    // long ago its own date, and the records dated between stay out.
    void upcomingFilterKeepsSnoozedRecords()
    {
        const QList<QStringList> records = {
            {"2016-05-02", "08:00:00", "0"}, // 1: weekly, at its next occurrence
            {"2016-04-29", "08:00:00", "0"}, // 2: daily, its ten occurrences done
            {"2016-04-30", "20:00:00", "0"}, // 3: dated yesterday, snoozed till later
            {"2015-01-01", "08:00:00", "0"}, // 4: dated last year, snoozed
            {"2015-06-01", "08:00:00", "0"}, // 5: dated between, passed
            {"2016-05-01", "09:00:00", "0"}, // 6: today, an hour ago
            {"Every Day", "09:00:00", "0"},  // 7: every day, snoozed
            {"2016-05-03", "08:00:00", "1"}, // 8: dated, to come, cancelled
        };
        const QString more = QStringLiteral(
            "insert into repeatrule (id, dtstart, rrule) values (1, '2016-04-04 08:00:00', 'FREQ=WEEKLY'),"
            " (2, '2016-04-20 08:00:00', 'FREQ=DAILY;COUNT=10');"
            "insert into snooze (id, until) values (3, '2016-05-01 10:05:00'), (4, '2016-05-01 09:59:00'),"
            " (7, '2016-05-01 10:30:00'), (5, '2015-06-01 08:10:00');");
        // A snooze that ended on an earlier day was missed for good: its record stays out.
        QCOMPARE(SelectIds(records, FilterWhereClause(kFilterUpcoming, kTen), more),
                 (QStringList{"1", "3", "4", "7", "8"}));
        // Without snoozes the range starts today.
        QCOMPARE(SelectIds(records, FilterWhereClause(kFilterUpcoming, kTen), more + "delete from snooze;"),
                 (QStringList{"1", "7", "8"}));
    }

    void formats()
    {
        const QDateTime t(QDate(2016, 1, 2), QTime(3, 4, 5, 678));
        QCOMPARE(FormatDate(t), QStringLiteral("2016-01-02"));
        QCOMPARE(FormatTime(t), QStringLiteral("03:04:05"));
        QCOMPARE(FormatDateTime(t), QStringLiteral("2016-01-02 03:04:05"));
        QCOMPARE(WholeSeconds(t).time(), QTime(3, 4, 5));
    }

    void composedValues_data()
    {
        QTest::addColumn<bool>("everyDay");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("use");
        QTest::newRow("dated") << false << false << "2016-05-03"
                               << "0";
        QTest::newRow("every day") << true << false << "Every Day"
                                   << "0";
        QTest::newRow("cancelled") << false << true << "2016-05-03"
                                   << "1";
    }
    void composedValues()
    {
        QFETCH(bool, everyDay);
        QFETCH(bool, cancel);
        QFETCH(QString, date);
        QFETCH(QString, use);
        // Each picker gives only its own half: the date of the one, the time of the other.
        const QDateTime datePicker(QDate(2016, 5, 3), QTime(23, 59, 59));
        const QDateTime timePicker(QDate(2010, 1, 1), QTime(7, 8, 9));
        const QStringList v = ComposeRecordValues(QStringLiteral("主题"), QStringLiteral("内容"), datePicker,
                                                  timePicker, everyDay, cancel, kTen);
        QCOMPARE(v, (QStringList{"主题", "内容", date, "07:08:09", use, "2016-05-01 10:00:00"}));
    }

    void shutdownTimeCheck_data()
    {
        QTest::addColumn<bool>("autoShutdown");
        QTest::addColumn<QDateTime>("datePicker");
        QTest::addColumn<QDateTime>("timePicker");
        QTest::addColumn<bool>("refused");
        const QDate today = kTen.date();
        const QDateTime earlier(today, QTime(9, 0, 0));
        QTest::newRow("not a shutdown") << false << earlier << earlier << false;
        QTest::newRow("today, passed") << true << earlier << earlier << true;
        QTest::newRow("exactly now") << true << kTen << kTen << true;
        QTest::newRow("one second ahead") << true << earlier << kTen.addSecs(1) << false;
        // The time picker holds today's date: yesterday with a time still to come is accepted.
        QTest::newRow("yesterday, time to come") << true << QDateTime(today.addDays(-1), QTime(9, 0, 0))
                                                 << QDateTime(today, QTime(11, 0, 0)) << false;
        QTest::newRow("tomorrow, time passed")
            << true << QDateTime(today.addDays(1), QTime(9, 0, 0)) << earlier << false;
        QTest::newRow("milliseconds do not count")
            << true << earlier << QDateTime(today, QTime(10, 0, 0, 900)) << true;
    }
    void shutdownTimeCheck()
    {
        QFETCH(bool, autoShutdown);
        QFETCH(QDateTime, datePicker);
        QFETCH(QDateTime, timePicker);
        QFETCH(bool, refused);
        QCOMPARE(ShutdownTimeRefused(autoShutdown, datePicker, timePicker, kTen.addMSecs(300)), refused);
    }

    void recordDateTime_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("plain") << "2016-05-01"
                               << "12:12:12" << QDateTime(QDate(2016, 5, 1), QTime(12, 12, 12));
        QTest::newRow("leading zeros") << "2016-01-09"
                                       << "01:01:05" << QDateTime(QDate(2016, 1, 9), QTime(1, 1, 5));
        QTest::newRow("missing seconds") << "2016-05-01"
                                         << "08:30" << QDateTime(QDate(2016, 5, 1), QTime(8, 30));
        QTest::newRow("missing day is zero") << "2016-05"
                                             << "08:30:00" << QDateTime();
        QTest::newRow("words") << "Every Day"
                               << "08:30:00" << QDateTime();
        QTest::newRow("hour out of range") << "2016-05-01"
                                           << "25:00:00" << QDateTime();
    }
    void recordDateTime()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QDateTime, expected);
        QCOMPARE(RecordDateTime(date, time), expected);
    }

    void recordIds()
    {
        QVERIFY(IsRecordId(QStringLiteral("1")));
        QVERIFY(IsRecordId(QStringLiteral("123456")));
        QVERIFY(!IsRecordId(QString()));
        QVERIFY(!IsRecordId(QStringLiteral("1 or 1=1")));
        QVERIFY(!IsRecordId(QStringLiteral("-1")));
        QVERIFY(!IsRecordId(QStringLiteral("١"))); // a digit, but not an ASCII one
    }

    void modelRowsAndColumns()
    {
        ReminderListModel model;
        QCOMPARE(model.columnCount(), 8);
        QCOMPARE(model.rowCount(), 0);
        RowSet rows = SampleRows(3);
        rows[1] = QStringList{"short", "row"}; // a row with missing values
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setRows(rows);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("s0"));
        QCOMPARE(model.data(model.index(2, 7)).toString(), QStringLiteral("98"));
        QCOMPARE(model.data(model.index(0, 5)).toString(), QStringLiteral("0"));
        QCOMPARE(model.data(model.index(0, 6)).toString(), QStringLiteral("2016-01-01 00:00:00"));
        QCOMPARE(model.data(model.index(0, 4)).toString(), QString());
        QCOMPARE(model.rowValues(1), (QStringList{"short", "row", "", "", "", "", ""}));
        QCOMPARE(model.rowValues(5), QStringList());
        QCOMPARE(model.data(model.index(0, 3), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        // The values the editor and the deletion read stay in field order, the id sixth.
        QCOMPARE(model.rowValues(2), rows.at(2));
        const QStringList headers{"标题", "内容", "日期", "时间", "重复", "生效", "记录时间", "ID"};
        for (int c = 0; c < 8; ++c)
            QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headers.at(c));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // The 重复 column: the rule in words, read with the page; a snooze instead
    // of the rule while there is one; 每天 for an every-day record; nothing for
    // a dated one. The other columns and the values the editor reads are the record's.
    void repeatColumnSaysTheRule_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("dtstart");
        QTest::addColumn<bool>("workdays");
        QTest::addColumn<QString>("snoozedUntil");
        QTest::addColumn<QString>("words");
        const QString day = "2026-12-14";
        const QString start = "2026-12-08 08:30:00"; // a Tuesday, lunar 十月三十
        const auto rule = [&](const char* name, const char* rrule, const char* words) {
            QTest::newRow(name) << day << rrule << start << false << QString() << QString::fromUtf8(words);
        };
        QTest::newRow("a dated record has no rule") << day << ""
                                                    << "" << false << ""
                                                    << "";
        QTest::newRow("an every-day record repeats every day") << "Every Day"
                                                               << ""
                                                               << "" << false << ""
                                                               << "每天";
        rule("a daily rule is every day", "FREQ=DAILY", "每天");
        rule("every second day", "FREQ=DAILY;INTERVAL=2", "每两天");
        rule("daily on weekdays is weekly on them", "FREQ=DAILY;BYDAY=SA,SU", "每周六、日");
        rule("weekly on three days, in weekday order", "FREQ=WEEKLY;BYDAY=FR,MO,WE", "每周一、三、五");
        rule("weekly without days takes the start's weekday", "FREQ=WEEKLY", "每周二");
        rule("every two weeks on Tuesday", "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU", "每两周的周二");
        rule("every three weeks on two days", "FREQ=WEEKLY;INTERVAL=3;BYDAY=MO,TH;WKST=SU",
             "每三周的周一、四");
        rule("monthly on the 15th", "FREQ=MONTHLY;BYMONTHDAY=15", "每月15日");
        rule("monthly without a day takes the start's day", "FREQ=MONTHLY", "每月8日");
        rule("monthly on two days", "FREQ=MONTHLY;BYMONTHDAY=1,15", "每月1日、15日");
        rule("the last day of each month", "FREQ=MONTHLY;BYMONTHDAY=-1", "每月最后一天");
        rule("the second day from a month's end", "FREQ=MONTHLY;BYMONTHDAY=-2", "每月倒数第二天");
        rule("the last Friday by its set position", "FREQ=MONTHLY;BYDAY=FR;BYSETPOS=-1",
             "每月最后一个星期五");
        rule("the last Friday by its ordinal", "FREQ=MONTHLY;BYDAY=-1FR", "每月最后一个星期五");
        rule("the second Monday", "FREQ=MONTHLY;BYDAY=+2MO", "每月第二个星期一");
        rule("every two months on the 15th", "FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=15", "每两个月的15日");
        rule("yearly on a month and day", "FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=8", "每年3月8日");
        rule("yearly without parts takes the start's day", "FREQ=YEARLY", "每年12月8日");
        rule("yearly on a month takes the start's day", "FREQ=YEARLY;BYMONTH=5", "每年5月8日");
        rule("yearly on the second Sunday of May", "FREQ=YEARLY;BYMONTH=5;BYDAY=2SU", "每年5月第二个星期日");
        rule("every two years", "FREQ=YEARLY;INTERVAL=2;BYMONTH=2;BYMONTHDAY=-1", "每两年的2月最后一天");
        rule("a count says how many times", "FREQ=WEEKLY;BYDAY=MO;COUNT=10", "每周一，共10次");
        rule("an end says its day", "FREQ=MONTHLY;BYMONTHDAY=15;UNTIL=20271231T235959",
             "每月15日，至2027-12-31");
        rule("a lunar day by its Chinese name", "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15",
             "农历每年八月十五");
        rule("a leap lunar month", "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=6L;BYMONTHDAY=1;SKIP=FORWARD",
             "农历每年闰六月初一");
        rule("a lunar rule without parts takes the start's lunar day", "RSCALE=CHINESE;FREQ=YEARLY",
             "农历每年十月三十");
        rule("a lunar rule every two years", "RSCALE=CHINESE;FREQ=YEARLY;INTERVAL=2;BYMONTH=12;BYMONTHDAY=8",
             "农历每两年的腊月初八");
        rule("a rule the words cannot say shows its text", "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1",
             "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1");
        rule("every Friday of some months shows its text", "FREQ=MONTHLY;BYMONTH=1,7;BYDAY=FR",
             "FREQ=MONTHLY;BYMONTH=1,7;BYDAY=FR");
        QTest::newRow("workdays in a year with an arrangement") << day << "" << start << true << ""
                                                                << "每个工作日（含调休）";
        QTest::newRow("workdays in a year without one fall back and say so")
            << "2027-01-04"
            << "" << start << true << ""
            << "每个工作日（2027年无官方安排，按周一至周五）";
        QTest::newRow("a snoozed dated record shows its snooze") << day << ""
                                                                 << "" << false << "2026-12-14 09:05:00"
                                                                 << "已暂停至 12-14 09:05";
        QTest::newRow("a snoozed repeating record shows its snooze, not its rule")
            << day << "FREQ=DAILY" << start << false << "2026-12-15 00:10:00"
            << "已暂停至 12-15 00:10";
    }
    void repeatColumnSaysTheRule()
    {
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(QString, dtstart);
        QFETCH(bool, workdays);
        QFETCH(QString, snoozedUntil);
        QFETCH(QString, words);
        TempProgramFolder folder;
        const auto db = OpenedStore();
        QVERIFY(db);
        QString message;
        // The arrangement of one year, so that the test does not hang on the shipped file's years.
        QCOMPARE(repeat::LoadHolidays(*db, "[2026]\n2026-10-01 休\n2026-10-10 班\n", message), 1);
        const Row values{"主题", "内容", date, "08:30:00", "0", "2026-12-01 09:00:00"};
        const RowSet records{{"旧", "内容", "2026-01-01", "08:00:00", "0", "2026-01-01 00:00:00"},
                             values,
                             {"新", "内容", "2027-01-01", "08:00:00", "0", "2026-01-01 00:00:00"}};
        QCOMPARE(db->InsertRows(QStringLiteral("recordmsg"), InsertFields(), records, 3, message), 3);
        const QString id = "2";
        if (!rrule.isEmpty() || workdays) {
            const repeat::Rule r{id, dtstart, rrule, workdays ? QString(repeat::kWorkdaysCN) : QString(), {}};
            QCOMPARE(repeat::WriteRule(*db, r, message), 1);
        }
        if (!snoozedUntil.isEmpty())
            QCOMPARE(repeat::Snooze(*db, id, QDateTime::fromString(snoozedUntil, kDateTimeFormat), message),
                     1);

        ReminderListModel model;
        model.setStore([db] { return db; });
        QCOMPARE(model.load(PagesOf(db), QString(), false, message), 3);
        QCOMPARE(model.text(1, ReminderListModel::kRepeatColumn), words);
        QCOMPARE(model.data(model.index(1, ReminderListModel::kRepeatColumn), Qt::ToolTipRole).toString(),
                 words);
        QCOMPARE(model.text(0, ReminderListModel::kRepeatColumn), QString());
        QCOMPARE(model.text(2, ReminderListModel::kRepeatColumn), QString());
        QCOMPARE(model.text(1, 3), QStringLiteral("08:30:00"));
        QCOMPARE(model.text(1, 5), QStringLiteral("0"));
        QCOMPARE(model.text(1, ReminderListModel::kIdColumn), id);
        QCOMPARE(model.rowValues(1), Row(values) << id);
    }

    void viewSetUp()
    {
        ReminderListModel model;
        ReminderListView view;
        view.setModel(&model);
        QVERIFY(view.showGrid());
        QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(view.selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(!view.isSortingEnabled());
        QCOMPARE(view.palette().color(QPalette::Base), QColor(240, 247, 233));
        const int widths[] = {60, 140, 72, 60, 100, 40, 138};
        for (int c = 0; c < 7; ++c)
            QCOMPARE(view.horizontalHeader()->sectionSize(c), widths[c]);
        QVERIFY(view.isColumnHidden(7));
        QVERIFY(!view.isColumnHidden(6));
    }

    // Several rows may be selected; the first in list order is the one acted on.
    void firstSelectedRowAndCount()
    {
        ReminderListModel model;
        model.setRows(SampleRows(6));
        ReminderListView view;
        view.setModel(&model);
        QCOMPARE(view.FirstSelectedRow(), -1);
        QCOMPARE(view.SelectedRowCount(), 0);
        auto* sel = view.selectionModel();
        sel->select(model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(view.FirstSelectedRow(), 2);
        QCOMPARE(view.SelectedRowCount(), 2);
        sel->select(QItemSelection(model.index(1, 0), model.index(3, 2)),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(view.FirstSelectedRow(), 1);
        QCOMPARE(view.SelectedRowCount(), 4);
    }

    // A click on a row selects it first; a click on empty space clears the
    // selection; both are reported.
    void clicksAreReportedAfterSelection()
    {
        ReminderListModel model;
        model.setRows(SampleRows(2));
        ReminderListView view;
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        int selectedAtClick = -2;
        connect(&view, &ReminderListView::listClicked, this,
                [&] { selectedAtClick = view.FirstSelectedRow(); });
        QSignalSpy right(&view, &ReminderListView::listRightClicked);

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(model.index(1, 1)).center());
        QCOMPARE(selectedAtClick, 1);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, view.viewport()->height() - 5));
        QCOMPARE(selectedAtClick, -1);
        QCOMPARE(right.size(), 0);
        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, view.visualRect(model.index(0, 1)).center());
        QCOMPARE(right.size(), 1);
        QCOMPARE(view.FirstSelectedRow(), 0);
    }
};

QTEST_MAIN(TestReminderList)
#include "tst_reminderlist.moc"
