#include "support/MainWindowTesting.h"

using namespace mainwindowtest;

namespace {
// Another local zone while it lives (none: as it is), then UTC again.
struct ZoneForTest
{
    explicit ZoneForTest(const QByteArray& zone) : set(!zone.isEmpty())
    {
        if (set) {
            qputenv("TZ", zone);
            tzset();
        }
    }
    ~ZoneForTest()
    {
        if (set) {
            qputenv("TZ", "UTC");
            tzset();
        }
    }
    bool set;
};
} // namespace

// The main window's panels: the editor, 自动关机, the rest reminder and the countdown.
class TestEditorPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void cleanupTestCase() { CleanupTestCase(); }

    // --- Editor: add ---

    void add()
    {
        Env env;
        QVERIFY(env.open());
        const QString taken = env.insert(u("taken"), u("x"), u("2016-05-03"), u("08:00:00"), u("1"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        click(dlg, ids::kIdcFilterTaken); // whatever filter was chosen before
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), QStringList{taken});

        typeEditor(dlg, u("开会"), u("三楼会议室\n带上笔记本"));
        dlg.datePicker->setDate(QDate(2016, 5, 3));
        timePicker(dlg)->setTime(QTime(8, 30, 0));
        env.fakes.clock.set(kTen.addSecs(7));
        click(dlg, ids::kIdcAddModify);

        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("添加成功！  ")});
        QCOMPARE(env.records().last(), (QStringList{u("开会"), u("三楼会议室\n带上笔记本"), u("2016-05-03"),
                                                    u("08:30:00"), u("0"), u("2016-05-01 10:00:07")}));
        // The list now shows the records not yet taken effect.
        QCOMPARE(dlg.filterIndex, 1);
        QVERIFY(button(dlg, ids::kIdcFilterNotTaken)->isChecked());
        QCOMPARE(listColumn(dlg, 0), QStringList{u("开会")});
        QCOMPARE(listCaption(dlg), u("共有1条提醒记录"));
        // The editor is empty again, its pickers at the present moment.
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QCOMPARE(contentEdit(dlg)->toPlainText(), QString());
        QCOMPARE(dlg.datePicker->date(), kToday);
        QCOMPARE(timePicker(dlg)->time(), QTime(10, 0, 7));
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
        QVERIFY(!dlg.GetDlgItem(ids::kIdcCancelReminder)->isVisible());
    }

    void addEveryDay()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        typeEditor(dlg, u("吃药"), u("饭后"));
        dlg.datePicker->setDate(QDate(2020, 2, 29)); // ignored
        timePicker(dlg)->setTime(QTime(7, 5, 9));
        click(dlg, ids::kIdcEveryDay);
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.records().size(), 1);
        QCOMPARE(env.records().first().mid(2, 3), (QStringList{u("Every Day"), u("07:05:09"), u("0")}));
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());
    }

    void addNeedsSubjectThenContent()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("请输入主题！  ")});
        QCOMPARE(dlg.focusWidget(), subjectEdit(dlg));

        env.fakes.boxes.clear();
        TypeText(subjectEdit(dlg), QStringLiteral(" ")); // a blank is a subject
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("请输入内容！  ")});
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(contentEdit(dlg)));
        QVERIFY(env.records().isEmpty());

        env.fakes.boxes.clear();
        TypeText(contentEdit(dlg), QStringLiteral(" "));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("添加成功！  ")});
        QCOMPARE(env.records().first().mid(0, 2), (QStringList{u(" "), u(" ")}));
    }

    // A number field that cannot be read stops the read, and nothing is stored.
    void unreadableNumberStopsTheAdd()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        typeEditor(dlg, u("主题"), u("内容"));
        item<QLineEdit>(dlg, "countdownMinutesEdit")->clear();
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("请输入一个整数。")});
        QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(ids::kIdcCountdownMinutes));
        QVERIFY(env.records().isEmpty());
        // The fields before it were read, the texts after it were not.
        QCOMPARE(dlg.countdownPanel().countdownHours(), 12);
        QCOMPARE(dlg.editor().subject, QString());
    }

    void subjectAndContentLimits()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        TypeText(subjectEdit(dlg), u("汉").repeated(27));
        QCOMPARE(subjectEdit(dlg)->text(), u("汉").repeated(26));
        TypeText(contentEdit(dlg), QStringLiteral("x").repeated(250) + u("汉").repeated(4));
        QCOMPARE(gbk::byteLength(contentEdit(dlg)->toPlainText()), 256);
        QCOMPARE(contentEdit(dlg)->toPlainText(), QStringLiteral("x").repeated(250) + u("汉").repeated(3));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.records().first().at(0), u("汉").repeated(26));
    }

    // --- Editor: the shutdown-time check ---

    void shutdownTimeCheck_data()
    {
        QTest::addColumn<bool>("everyDay");
        QTest::addColumn<int>("dayOffset");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("momentPassed"); // asked about, and answered Yes
        QTest::newRow("every day, time passed") << true << 0 << QTime(9, 30, 0) << true << false;
        QTest::newRow("every day, time to come") << true << 0 << QTime(10, 30, 0) << false << false;
        QTest::newRow("today, this very second") << false << 0 << QTime(10, 0, 0) << true << false;
        QTest::newRow("today, next second") << false << 0 << QTime(10, 0, 1) << false << false;
        QTest::newRow("yesterday, time to come today") << false << -1 << QTime(11, 0, 0) << false << true;
        QTest::newRow("yesterday, time passed") << false << -1 << QTime(9, 59, 0) << true << false;
        QTest::newRow("tomorrow, time passed") << false << 1 << QTime(8, 0, 0) << false << false;
    }
    void shutdownTimeCheck()
    {
        QFETCH(bool, everyDay);
        QFETCH(int, dayOffset);
        QFETCH(QTime, time);
        QFETCH(bool, refused);
        QFETCH(bool, momentPassed);
        Env env;
        QVERIFY(env.open());
        env.fakes.clock.set(QDateTime(kToday, QTime(9, 0, 0))); // the pickers are set today at 09:00
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        env.fakes.clock.set(kTen);

        // Ticked and answered No: a shutdown without a question.
        click(dlg, ids::kIdcAutoShutdown);
        QVERIFY(button(dlg, ids::kIdcAutoShutdown)->isChecked());
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 关机前是否需要进行提示？  ")});
        QCOMPARE(subjectEdit(dlg)->text(), u("关机"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("直接关机"));
        env.fakes.boxes.clear();
        if (everyDay)
            click(dlg, ids::kIdcEveryDay);
        dlg.datePicker->setDate(kToday.addDays(dayOffset));
        timePicker(dlg)->setTime(time);
        if (momentPassed)
            env.fakes.boxes.answerNext(MbResult::Yes);
        click(dlg, ids::kIdcAddModify);

        if (refused) {
            QCOMPARE(env.fakes.boxes.texts(), QStringList{u("自动关机时间不能早于当前时间袄！  ")});
            QCOMPARE(env.fakes.boxes.shown().first().owner.data(), static_cast<QObject*>(&dlg));
            QVERIFY(env.records().isEmpty());
            // The editor keeps its contents and its mode.
            QCOMPARE(subjectEdit(dlg)->text(), u("关机"));
            QCOMPARE(timePicker(dlg)->time(), time);
            QVERIFY(button(dlg, ids::kIdcAutoShutdown)->isChecked());
        } else {
            QStringList texts{u("添加成功！  ")};
            if (momentPassed)
                texts.prepend(u("提醒时间已经过去，这条提醒不会再弹出，仍然添加吗？  "));
            QCOMPARE(env.fakes.boxes.texts(), texts);
            QCOMPARE(env.records().size(), 1);
            const QString date = everyDay ? u("Every Day") : kToday.addDays(dayOffset).toString(Qt::ISODate);
            QCOMPARE(env.records().first().mid(0, 4),
                     (QStringList{u("关机"), u("直接关机"), date, time.toString(u("HH:mm:ss"))}));
            QVERIFY(!button(dlg, ids::kIdcAutoShutdown)->isChecked());
            QVERIFY(!dlg.editor().autoShutdown);
        }
    }

    // --- Editor: modify ---

    void rowClickLoadsTheRecord()
    {
        Env env;
        QVERIFY(env.open());
        const QString id = env.insert(u("开会"), u("三楼"), u("2016-05-03"), u("12:12:12"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        QCOMPARE(subjectEdit(dlg)->text(), u("开会"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("三楼"));
        QCOMPARE(dlg.datePicker->date(), QDate(2016, 5, 3));
        QCOMPARE(timePicker(dlg)->time(), QTime(12, 12, 12));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcRecordId), id);
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("修  改"));
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("删  除"));
        QVERIFY(dlg.GetDlgItem(ids::kIdcCancelReminder)->isVisible());
        QVERIFY(!dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        QVERIFY(!button(dlg, ids::kIdcCancelReminder)->isChecked());
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());
        QVERIFY(subjectEdit(dlg)->isEnabled());

        // Empty space: back to add mode, editor cleared.
        clickEmptySpace(dlg);
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("刷  新"));
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QCOMPARE(dlg.datePicker->date(), kToday);
        QVERIFY(!dlg.GetDlgItem(ids::kIdcCancelReminder)->isVisible());
        QVERIFY(dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        QCOMPARE(dlg.recordList->model()->rowCount(), 1);
    }

    void rowTimes_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("use");
        QTest::addColumn<QDate>("pickerDate");
        QTest::addColumn<QTime>("pickerTime");
        QTest::addColumn<bool>("everyDay");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("12:12:12") << "2016-07-08"
                                  << "12:12:12"
                                  << "0" << QDate(2016, 7, 8) << QTime(12, 12, 12) << false << false;
        QTest::newRow("01:01:05") << "2016-07-08"
                                  << "01:01:05"
                                  << "1" << QDate(2016, 7, 8) << QTime(1, 1, 5) << false << true;
        QTest::newRow("every day") << "Every Day"
                                   << "08:30:00"
                                   << "0" << kToday << QTime(8, 30, 0) << true << false;
        QTest::newRow("every day, cancelled") << "Every Day"
                                              << "08:30:00"
                                              << "1" << kToday << QTime(8, 30, 0) << true << true;
        // Kept after its popup, a dated record is done, not cancelled: given a
        // new date, it is to pop up again.
        QTest::newRow("shown and kept, its moment gone")
            << "2016-04-30"
            << "10:00:00"
            << "1" << QDate(2016, 4, 30) << QTime(10, 0, 0) << false << false;
    }
    void rowTimes()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, use);
        QFETCH(QDate, pickerDate);
        QFETCH(QTime, pickerTime);
        QFETCH(bool, everyDay);
        QFETCH(bool, cancelled);
        Env env;
        QVERIFY(env.open());
        env.insert(u("s"), u("c"), date, time, use);
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        QCOMPARE(dlg.datePicker->date(), pickerDate);
        QCOMPARE(timePicker(dlg)->time(), pickerTime);
        QCOMPARE(button(dlg, ids::kIdcEveryDay)->isChecked(), everyDay);
        QCOMPARE(button(dlg, ids::kIdcCancelReminder)->isChecked(), cancelled);
    }

    void modify()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("旧的"), u("别动"), u("2016-05-09"), u("09:09:09"));
        const QString id = env.insert(u("开会"), u("三楼"), u("2016-05-03"), u("12:12:12"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0); // newest first
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcRecordId), id);

        contentEdit(dlg)->selectAll();
        TypeText(contentEdit(dlg), u("五楼"));
        timePicker(dlg)->setTime(QTime(13, 0, 0));
        click(dlg, ids::kIdcCancelReminder);
        env.fakes.clock.set(kTen.addSecs(61));
        click(dlg, ids::kIdcAddModify);

        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("修改成功！  ")});
        QCOMPARE(env.records(), (QList<QStringList>{{u("旧的"), u("别动"), u("2016-05-09"), u("09:09:09"),
                                                     u("0"), u("2016-01-01 00:00:00")},
                                                    {u("开会"), u("五楼"), u("2016-05-03"), u("13:00:00"),
                                                     u("1"), u("2016-05-01 10:01:01")}}));
        // Back in add mode, with the list reloaded.
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("刷  新"));
        QVERIFY(dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        QVERIFY(!dlg.GetDlgItem(ids::kIdcCancelReminder)->isVisible());
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QCOMPARE(listColumn(dlg, 1), (QStringList{u("五楼"), u("别动")}));

        // Cancelled, it is listed among the records that have taken effect.
        click(dlg, ids::kIdcFilterTaken);
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), QStringList{id});
    }

    void modifyVanishedRecord()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("开会"), u("三楼"), u("2016-05-03"), u("12:12:12"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        Query(env.folder.databaseFile(), QStringLiteral("delete from recordmsg"));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("晕！该记录貌似被蒸发了！  ")});
        QVERIFY(env.records().isEmpty());
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("刷  新"));
        QVERIFY(dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QCOMPARE(dlg.recordList->model()->rowCount(), 0);
        QCOMPARE(statusLine(dlg), u("没有记录！"));
    }

    // A shutdown record's texts cannot be edited; empty space makes them editable again.
    void shutdownRecordClick()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("关机"), u("需要提示"), u("2016-05-03"), u("22:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        QVERIFY(dlg.editor().autoShutdown);
        QVERIFY(!subjectEdit(dlg)->isEnabled());
        QVERIFY(!contentEdit(dlg)->isEnabled());
        QVERIFY(!dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        clickEmptySpace(dlg);
        QVERIFY(!dlg.editor().autoShutdown);
        QVERIFY(subjectEdit(dlg)->isEnabled());
        QVERIFY(contentEdit(dlg)->isEnabled());
        QVERIFY(dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());
        QVERIFY(!button(dlg, ids::kIdcAutoShutdown)->isChecked());
    }

    // Modifying a shutdown record that lies in the past is refused in modify mode too.
    void modifyPastShutdownRecordIsRefused()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("关机"), u("直接关机"), u("2016-04-01"), u("08:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("自动关机时间不能早于当前时间袄！  ")});
        QCOMPARE(env.records().first().at(2), u("2016-04-01"));
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("修  改"));
    }

    // A dated reminder whose moment has gone by would never pop up: the add and
    // the modify ask first, and No keeps the editor as it is.
    void pastMomentIsAskedAbout_data()
    {
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("everyDay");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("answer");      // 0: not asked
        QTest::addColumn<QByteArray>("zone"); // empty: UTC at kTen
        QTest::addColumn<QString>("now");     // UTC
        QTest::newRow("add, a minute ago, No") << false << kToday << QTime(9, 59, 0) << false << false
                                               << int(MbResult::No) << QByteArray() << QString();
        QTest::newRow("add, yesterday, Yes") << false << kToday.addDays(-1) << QTime(12, 0, 0) << false
                                             << false << int(MbResult::Yes) << QByteArray() << QString();
        QTest::newRow("add, this very second")
            << false << kToday << QTime(10, 0, 0) << false << false << 0 << QByteArray() << QString();
        QTest::newRow("add, every day, time passed")
            << false << kToday << QTime(9, 0, 0) << true << false << 0 << QByteArray() << QString();
        QTest::newRow("add, taken") << false << kToday << QTime(9, 0, 0) << false << true << 0 << QByteArray()
                                    << QString();
        QTest::newRow("modify, an hour ago, No") << true << kToday << QTime(9, 0, 0) << false << false
                                                 << int(MbResult::No) << QByteArray() << QString();
        QTest::newRow("modify, an hour ago, Yes") << true << kToday << QTime(9, 0, 0) << false << false
                                                  << int(MbResult::Yes) << QByteArray() << QString();
        QTest::newRow("modify, tomorrow") << true << kToday.addDays(1) << QTime(9, 0, 0) << false << false
                                          << 0 << QByteArray() << QString();
        // Berlin skips 02:00-03:00 that day: 02:30 falls due at 03:30, still ahead
        // at 01:30 and gone at 03:40.
        const QDate spring(2027, 3, 28);
        QTest::newRow("add, a skipped time still ahead")
            << false << spring << QTime(2, 30, 0) << false << false << 0 << QByteArray("Europe/Berlin")
            << "2027-03-28T00:30:00Z";
        QTest::newRow("add, a skipped time gone by, Yes: stored as picked")
            << false << spring << QTime(2, 30, 0) << false << false << int(MbResult::Yes)
            << QByteArray("Europe/Berlin") << "2027-03-28T01:40:00Z";
        // Berlin shows 02:00-03:00 twice that day; a time falls due at the first.
        QTest::newRow("add, a time shown twice, at its first showing")
            << false << QDate(2027, 10, 31) << QTime(2, 50, 0) << false << false << 0
            << QByteArray("Europe/Berlin") << "2027-10-31T00:40:00Z";
        QTest::newRow("add, a time shown twice, during its second showing, No")
            << false << QDate(2027, 10, 31) << QTime(2, 50, 0) << false << false << int(MbResult::No)
            << QByteArray("Europe/Berlin") << "2027-10-31T01:40:00Z";
        QTest::newRow("add, Lord Howe's skipped half hour, still ahead")
            << false << QDate(2026, 10, 4) << QTime(2, 10, 0) << false << false << 0
            << QByteArray("Australia/Lord_Howe") << "2026-10-03T15:35:00Z";
    }
    void pastMomentIsAskedAbout()
    {
        QFETCH(bool, modify);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        QFETCH(bool, everyDay);
        QFETCH(bool, taken);
        QFETCH(int, answer);
        QFETCH(QByteArray, zone);
        QFETCH(QString, now);
        Env env;
        QVERIFY(env.open());
        const ZoneForTest inZone(zone);
        if (!now.isEmpty())
            env.fakes.clock.set(QDateTime::fromString(now, Qt::ISODate).toLocalTime());
        if (modify)
            env.insert(u("开会"), u("三楼"), u("2016-05-03"), u("12:12:12"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        if (modify)
            clickRow(dlg, 0);
        typeEditor(dlg, u("新的"), u("内容"));
        dlg.datePicker->setDate(date);
        timePicker(dlg)->setTime(time);
        if (everyDay)
            click(dlg, ids::kIdcEveryDay);
        if (answer)
            env.fakes.boxes.answerNext(MbResult(answer));
        if (taken) // marked as taken effect: it is not meant to pop up
            item<QCheckBox>(dlg, "cancelReminderCheck")->setChecked(true);
        click(dlg, ids::kIdcAddModify);

        const QString done = modify ? u("修改成功！  ") : u("添加成功！  ");
        const QString question = u("提醒时间已经过去，这条提醒不会再弹出，仍然添加吗？  ");
        if (answer == 0) {
            QCOMPARE(env.fakes.boxes.texts(), QStringList{done});
            return;
        }
        QCOMPARE(env.fakes.boxes.texts().first(), question);
        const MessageBoxRequest& box = env.fakes.boxes.shown().first();
        QCOMPARE(box.caption, u("Tolva提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(box.owner.data(), static_cast<QObject*>(&dlg));
        if (answer == int(MbResult::Yes)) {
            QCOMPARE(env.fakes.boxes.texts(), (QStringList{question, done}));
            QCOMPARE(env.records().size(), 1);
            QCOMPARE(env.records().first().mid(0, 4),
                     (QStringList{u("新的"), u("内容"), date.toString(Qt::ISODate),
                                  time.toString(u("HH:mm:ss"))}));
            return;
        }
        // No: nothing stored, the editor as it was.
        QCOMPARE(env.fakes.boxes.texts(), QStringList{question});
        QCOMPARE(env.records().size(), modify ? 1 : 0);
        if (modify)
            QCOMPARE(env.records().first().at(0), u("开会"));
        QCOMPARE(subjectEdit(dlg)->text(), u("新的"));
        QCOMPARE(dlg.datePicker->date(), date);
        QCOMPARE(timePicker(dlg)->time(), time);
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), modify ? u("修  改") : u("添  加"));
    }

    // Typed by hand without 自动关机, the texts that mark a shutdown record are
    // asked about on add and on modify: No stores nothing and keeps the editor.
    void shutdownPairIsAskedAbout_data()
    {
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("answer"); // 0: not asked
        QTest::newRow("add, direct shutdown typed, No")
            << false << u("直接关机") << false << int(MbResult::No);
        QTest::newRow("add, prompted shutdown typed, Yes")
            << false << u("需要提示") << false << int(MbResult::Yes);
        QTest::newRow("modify, direct shutdown typed, No")
            << true << u("直接关机") << false << int(MbResult::No);
        QTest::newRow("modify, prompted shutdown typed, Yes")
            << true << u("需要提示") << false << int(MbResult::Yes);
        QTest::newRow("add, another content") << false << u("直接关机吧") << false << 0;
        QTest::newRow("add, 自动关机 ticked") << false << u("需要提示") << true << 0;
    }
    void shutdownPairIsAskedAbout()
    {
        QFETCH(bool, modify);
        QFETCH(QString, content);
        QFETCH(bool, ticked);
        QFETCH(int, answer);
        Env env;
        QVERIFY(env.open());
        if (modify)
            env.insert(u("开会"), u("三楼"), u("2016-05-03"), u("12:12:12"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        if (modify)
            clickRow(dlg, 0);
        dlg.datePicker->setDate(kToday.addDays(1));
        timePicker(dlg)->setTime(QTime(9, 0, 0));
        if (ticked) {
            env.fakes.boxes.answerNext(MbResult::Yes); // 关机前是否需要进行提示？
            click(dlg, ids::kIdcAutoShutdown);
        } else {
            typeEditor(dlg, u("关机"), content);
        }
        if (answer)
            env.fakes.boxes.answerNext(MbResult(answer));
        const int boxesBefore = env.fakes.boxes.texts().size();
        click(dlg, ids::kIdcAddModify);

        const QStringList texts = env.fakes.boxes.texts().mid(boxesBefore);
        const QString done = modify ? u("修改成功！  ") : u("添加成功！  ");
        const QStringList stored = {u("关机"), content, kToday.addDays(1).toString(Qt::ISODate),
                                    u("09:00:00")};
        if (answer == 0) {
            QCOMPARE(texts, QStringList{done});
            QCOMPARE(env.records().last().mid(0, 4), stored);
            return;
        }
        QCOMPARE(texts.size(), answer == int(MbResult::Yes) ? 2 : 1);
        QVERIFY2(texts.first().contains(u("关机")) && texts.first().contains(content),
                 qPrintable(texts.first()));
        const MessageBoxRequest& box = env.fakes.boxes.shown().at(boxesBefore);
        QCOMPARE(box.caption, u("Tolva提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        if (answer == int(MbResult::Yes)) {
            QCOMPARE(texts.last(), done);
            QCOMPARE(env.records().size(), 1);
            QCOMPARE(env.records().first().mid(0, 4), stored);
            return;
        }
        // No: nothing stored, the editor as it was.
        QCOMPARE(env.records().size(), modify ? 1 : 0);
        if (modify)
            QCOMPARE(env.records().first().at(0), u("开会"));
        QCOMPARE(subjectEdit(dlg)->text(), u("关机"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), content);
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), modify ? u("修  改") : u("添  加"));
    }

    void refreshInAddMode()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        typeEditor(dlg, u("主题"), u("内容"));
        click(dlg, ids::kIdcEveryDay);
        click(dlg, ids::kIdcAutoShutdown);
        dlg.datePicker->setDate(QDate(2017, 1, 1));
        timePicker(dlg)->setTime(QTime(1, 2, 3));
        env.fakes.clock.set(QDateTime(QDate(2016, 5, 2), QTime(6, 7, 8)));
        click(dlg, ids::kIdcRefreshDelete);
        QCOMPARE(dlg.datePicker->date(), QDate(2016, 5, 2));
        QCOMPARE(timePicker(dlg)->time(), QTime(6, 7, 8));
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());
        QVERIFY(!button(dlg, ids::kIdcAutoShutdown)->isChecked());
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QVERIFY(subjectEdit(dlg)->isEnabled() && contentEdit(dlg)->isEnabled());
        // Only the shutdown box asked its question.
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 关机前是否需要进行提示？  ")});
    }

    // --- Editor: automatic shutdown ---

    void autoShutdownFillsTheEditor()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        typeEditor(dlg, u("旧"), u("旧的"));
        dlg.datePicker->setDate(QDate(2016, 5, 2));
        timePicker(dlg)->setTime(QTime(22, 30, 0));
        click(dlg, ids::kIdcEveryDay);
        env.fakes.boxes.answerNext(MbResult::Yes);
        click(dlg, ids::kIdcAutoShutdown);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 关机前是否需要进行提示？  ")});
        QCOMPARE(subjectEdit(dlg)->text(), u("关机"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("需要提示"));
        // What the user picked before ticking the box stays.
        QCOMPARE(dlg.datePicker->date(), QDate(2016, 5, 2));
        QCOMPARE(timePicker(dlg)->time(), QTime(22, 30, 0));
        QVERIFY(button(dlg, ids::kIdcEveryDay)->isChecked());
        QVERIFY(!subjectEdit(dlg)->isEnabled() && !contentEdit(dlg)->isEnabled());
        QVERIFY(dlg.editor().autoShutdown);

        click(dlg, ids::kIdcAutoShutdown); // untick: the editor is cleared and usable
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());
        QVERIFY(subjectEdit(dlg)->isEnabled() && contentEdit(dlg)->isEnabled());
        QVERIFY(!dlg.editor().autoShutdown);

        env.fakes.boxes.answerNext(MbResult::No);
        click(dlg, ids::kIdcAutoShutdown);
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("直接关机"));
        // Added as a shutdown record, the editor is usable again.
        QTimeEdit* time = timePicker(dlg);
        time->setTime(QTime(10, 30, 0));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.records().size(), 1);
        QCOMPARE(env.records().first().mid(0, 4),
                 (QStringList{u("关机"), u("直接关机"), u("2016-05-01"), u("10:30:00")}));
        QVERIFY(subjectEdit(dlg)->isEnabled());
        QVERIFY(!button(dlg, ids::kIdcAutoShutdown)->isChecked());
    }

    // --- Rest reminder and countdown in the window ---

    void restReminderRunsInTheWindow()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QLineEdit* minutes = item<QLineEdit>(dlg, "restMinutesEdit");
        minutes->setText(u("1"));
        click(dlg, ids::kIdcRestStartStop);
        QCOMPARE(button(dlg, ids::kIdcRestStartStop)->text(), u("停  止"));
        QVERIFY(!minutes->isEnabled() && !spin(dlg, ids::kIdcRestSpin)->isEnabled());
        QVERIFY(button(dlg, ids::kIdcRestRunning)->isChecked());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerRest));
        QCOMPARE(dlg.timers().Period(ids::kTimerRest), 1000);
        QVERIFY(gbk::decode(ReadAll(env.folder.settingsFile())).contains(u("MytimeA=1")));

        // Editing a reminder rewrites the bound values; the rest group keeps its state.
        typeEditor(dlg, u("主题"), u("内容"));
        click(dlg, ids::kIdcRefreshDelete);
        QCOMPARE(minutes->text(), u("1"));
        QVERIFY(button(dlg, ids::kIdcRestRunning)->isChecked());

        env.fakes.clock.advanceSecs(60);
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnTimer(ids::kTimerRest);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 您该休息一会儿了，放松一下吧！  ")});
        const QList<FakeSound::Call> calls = env.fakes.sound.calls();
        QCOMPARE(calls.size(), 2); // played once, stopped with the answer
        QCOMPARE(calls.at(0).waveId, int(kWaveRest));
        QVERIFY(!calls.at(0).loop);
        QCOMPARE(calls.at(1).kind, FakeSound::Call::Stop);

        click(dlg, ids::kIdcRestStartStop);
        QCOMPARE(button(dlg, ids::kIdcRestStartStop)->text(), u("开  启"));
        QCOMPARE(item<QLabel>(dlg, "restStatusLabel")->text(), u("您还没有开启提醒"));
        QVERIFY(minutes->isEnabled() && spin(dlg, ids::kIdcRestSpin)->isEnabled());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerRest));
    }

    void countdownRunsInTheWindow()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        item<QLineEdit>(dlg, "countdownHoursEdit")->setText(u("0"));
        item<QLineEdit>(dlg, "countdownMinutesEdit")->setText(u("0"));
        item<QLineEdit>(dlg, "countdownSecondsEdit")->setText(u("2"));
        click(dlg, ids::kIdcCountdownStartStop);
        QCOMPARE(button(dlg, ids::kIdcCountdownStartStop)->text(), u("停  止"));
        for (const char* name : {"countdownHoursEdit", "countdownMinutesEdit", "countdownSecondsEdit",
                                 "hourSpin", "minuteSpin", "secondSpin", "countdownShutdownCheck"})
            QVERIFY2(!item<QWidget>(dlg, name)->isEnabled(), name);
        QVERIFY(dlg.timers().IsRunning(ids::kTimerCountdown));
        QVERIFY(dlg.timers().IsPrecise(ids::kTimerCountdown));
        QCOMPARE(dlg.countdown().countdownSeconds(), 2);

        env.fakes.clock.advanceSecs(1);
        dlg.OnTimer(ids::kTimerCountdown);
        QCOMPARE(item<QLabel>(dlg, "countdownStatusLabel")->text(), u("剩余0分钟1秒"));
        env.fakes.clock.advanceSecs(1);
        env.fakes.boxes.answerNext(MbResult::Ok);
        dlg.OnTimer(ids::kTimerCountdown);
        QCOMPARE(env.fakes.boxes.texts(),
                 QStringList{u("\n 您设定的时间到啦！别忘了去做您想做的事情袄！  ")});
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerCountdown));
        QVERIFY(item<QWidget>(dlg, "countdownSecondsEdit")->isEnabled());
        QCOMPARE(button(dlg, ids::kIdcCountdownStartStop)->text(), u("开  启"));

        // Shutting down without a question goes to the power seam.
        env.fakes.boxes.clear();
        env.fakes.boxes.answerNext(MbResult::No);
        click(dlg, ids::kIdcCountdownShutdown);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 关机前是否需要进行提示？  ")});
        item<QLineEdit>(dlg, "countdownSecondsEdit")->setText(u("0"));
        click(dlg, ids::kIdcCountdownStartStop);
        env.fakes.clock.advanceSecs(1);
        dlg.OnTimer(ids::kTimerCountdown);
        QCOMPARE(env.fakes.power.requests(), 1);
    }
};

QTEST_MAIN(TestEditorPanel)
#include "tst_editorpanel.moc"
