#include "reminders/ReminderList.h"
#include "support/MainWindowTesting.h"
#include "support/PopupAcknowledger.h"
#include "support/ReadOnlyPath.h"

#include <QFileInfo>

using namespace mainwindowtest;

// The main window: its controls, the clock line, the list, the due popups and deletion.
class TestReminderDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void cleanupTestCase() { CleanupTestCase(); }

    // --- The window and its controls ---

    void controls_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<bool>("enabled");
        struct Row
        {
            int id;
            const char* kind;
            const char* caption;
            bool hidden;
            bool enabled;
        };
        const Row rows[] = {
            {1004, "QLineEdit", "", false, true},
            {1003, "QPlainTextEdit", "", false, true},
            {1007, "QPushButton", "添  加", false, true},
            {1005, "QDateEdit", nullptr, false, true},
            {1006, "QTimeEdit", nullptr, false, true},
            {1002, "QCheckBox", "取消提醒", true, true},
            {1010, "QRadioButton", "显示所有", false, true},
            {1011, "QRadioButton", "未生效记录", false, true},
            {1012, "QRadioButton", "已生效记录", false, true},
            {1014, "QRadioButton", "未提醒记录", false, true},
            {1013, "QGroupBox", "共有0条提醒记录", false, true},
            {1000, "QTableView", nullptr, false, true},
            {1001, "QGroupBox", "添加提醒信息", false, true},
            {1009, "QLineEdit", "", true, true},
            {1016, "ClockLabel", nullptr, false, true},
            {1020, "QPushButton", "刷  新", false, true},
            {1021, "QLabel", nullptr, false, true},
            {1025, "QGroupBox", "定时休息提醒", false, true},
            {1027, "QLineEdit", "30", false, true},
            {1032, "UpDownControl", nullptr, false, true},
            {1029, "QCheckBox", "运行", false, false},
            {1030, "QPushButton", "开  启", false, true},
            {1031, "QLabel", "您还没有开启提醒", false, true},
            {1028, "QGroupBox", "倒数计时提醒", false, true},
            {1033, "QLineEdit", "12", false, true},
            {1039, "QLineEdit", "30", false, true},
            {1041, "QLineEdit", "30", false, true},
            {1034, "UpDownControl", nullptr, false, true},
            {1040, "UpDownControl", nullptr, false, true},
            {1042, "UpDownControl", nullptr, false, true},
            {1043, "QCheckBox", "运行", true, false},
            {1044, "QPushButton", "开  启", false, true},
            {1035, "QLabel", "倒计时未开启", false, true},
            {1036, "QCheckBox", "自动关机", false, true},
            {1038, "QCheckBox", "关机", false, true},
            {1045, "QPushButton", "常规设置", false, true},
            {1046, "QPushButton", "关于Tolva", false, true},
            {1047, "QPushButton", "退到托盘", false, true},
            {1057, "QPushButton", "时间校对", false, true},
            {1063, "QCheckBox", "每天提醒", false, true},
            {1064, "QComboBox", "不重复", false, true},
        };
        for (const Row& r : rows)
            QTest::newRow(qPrintable(QString::number(r.id)))
                << r.id << QString::fromLatin1(r.kind) << (r.caption ? u(r.caption) : QString()) << r.hidden
                << r.enabled;
    }
    void controls()
    {
        QFETCH(int, id);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(bool, hidden);
        QFETCH(bool, enabled);
        Env env;
        QVERIFY(env.open());
        env.insert(u("a"), u("b"), u("2016-05-02"), u("08:00:00")); // keep the status line quiet
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QWidget* w = dlg.GetDlgItem(id);
        QVERIFY(w);
        QVERIFY2(w->inherits(kind.toLatin1().constData()), w->metaObject()->className());
        if (!caption.isNull() && id != 1013)
            QCOMPARE(dlg.GetDlgItemText(id), caption);
        QCOMPARE(w->isVisible(), !hidden);
        QCOMPARE(w->isEnabled(), enabled);
        QVERIFY(!dlg.GetDlgItem(9999));
    }

    void windowFrame()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(dlg.windowTitle(), u(tolva::kMainWindowTitle));
        QVERIFY(!dlg.windowIcon().isNull());
        QVERIFY(!dlg.windowIcon().pixmap(32, 32).isNull());
        QVERIFY(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
        // A normal window, so that it has a taskbar entry.
        QCOMPARE(dlg.windowFlags() & Qt::WindowType_Mask, Qt::Window);
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QCOMPARE(dlg.font().pointSize(), 9);
        QVERIFY(dlg.font().families().contains(u("宋体")));
        QVERIFY(dlg.font().families().contains(u("WenQuanYi Micro Hei")));

        // The size follows the font, in the proportions of 321 x 409 dialog units.
        const QFontMetrics fm(dlg.font());
        QVERIFY(dlg.width() > 321 && dlg.height() > 409);
        const double dluX = dlg.width() / 321.0, dluY = dlg.height() / 409.0;
        QVERIFY(qAbs(dluX - fm.horizontalAdvance(
                                QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                52.0 / 4) < 0.2);
        QVERIFY(qAbs(dluY - fm.height() / 8.0) < 0.05);
    }

    // Every control lies inside the window, and none covers another except the
    // pairs that share their place.
    void layoutIsTidy()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        const QSet<QPair<QString, QString>> sharing = {{"cancelReminderCheck", "autoShutdownCheck"},
                                                       {"countdownRunningCheck", "countdownShutdownCheck"}};
        QList<QWidget*> controls;
        for (QWidget* w : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            QVERIFY2(dlg.rect().contains(w->geometry()), qPrintable(w->objectName()));
            if (!qobject_cast<QGroupBox*>(w))
                controls << w;
        }
        QVERIFY(controls.size() > 40);
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j) {
                const QString a = controls[i]->objectName(), b = controls[j]->objectName();
                if (sharing.contains({a, b}) || sharing.contains({b, a}))
                    continue;
                QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                         qPrintable(a + " / " + b));
            }
        }
        // Each group box frames its own controls.
        const QRect editor = item<QGroupBox>(dlg, "editorGroup")->geometry();
        for (const char* name :
             {"subjectEdit", "contentEdit", "datePicker", "timePicker", "addModifyButton",
              "refreshDeleteButton", "everyDayCheck", "clockLabel", "repeatLabel", "repeatCombo"}) {
            QVERIFY2(item<QWidget>(dlg, name), name);
            QVERIFY2(editor.contains(item<QWidget>(dlg, name)->geometry()), name);
        }
        const QRect list = item<QGroupBox>(dlg, "listGroup")->geometry();
        for (const char* name : {"recordList", "filterAllRadio", "filterUpcomingRadio", "statusLabel"})
            QVERIFY2(list.contains(item<QWidget>(dlg, name)->geometry()), name);
    }

    void colours()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(dlg.recordList->palette().color(QPalette::Base), QColor(240, 247, 233));
        auto* status = item<QLabel>(dlg, "statusLabel");
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QVERIFY(!status->autoFillBackground());
        QCOMPARE(item<QLabel>(dlg, "restStatusLabel")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QCOMPARE(item<QLabel>(dlg, "countdownStatusLabel")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }

    void listColumns()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QHeaderView* header = dlg.recordList->horizontalHeader();
        const QStringList headers{"标题", "内容", "日期", "时间", "重复", "生效", "记录时间", "ID"};
        const int widths[] = {60, 140, 72, 60, 100, 40, 138};
        QCOMPARE(dlg.recordList->model()->columnCount(), 8);
        for (int c = 0; c < 8; ++c)
            QCOMPARE(dlg.recordList->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
        for (int c = 0; c < 7; ++c)
            QCOMPARE(header->sectionSize(c), widths[c]);
        QVERIFY(dlg.recordList->isColumnHidden(7));
        QVERIFY(dlg.recordList->showGrid());
        QCOMPARE(dlg.recordList->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(dlg.listFields,
                 (QStringList{"titile", "text", "date", "time", "use", "insertdatatime", "id"}));
        QCOMPARE(dlg.editor().insertFields(),
                 (QStringList{"titile", "text", "date", "time", "use", "insertdatatime"}));
    }

    void startValues()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(spin(dlg, ids::kIdcRestSpin)->minimum(), 1);
        QCOMPARE(spin(dlg, ids::kIdcRestSpin)->maximum(), 180);
        QCOMPARE(spin(dlg, ids::kIdcHourSpin)->maximum(), 24);
        QCOMPARE(spin(dlg, ids::kIdcMinuteSpin)->maximum(), 60);
        QCOMPARE(spin(dlg, ids::kIdcSecondSpin)->maximum(), 60);
        QCOMPARE(spin(dlg, ids::kIdcSecondSpin)->minimum(), 0);
        QVERIFY(spin(dlg, ids::kIdcRestSpin)->buddy() == dlg.GetDlgItem(ids::kIdcRestMinutes));
        QVERIFY(spin(dlg, ids::kIdcHourSpin)->buddy() == dlg.GetDlgItem(ids::kIdcCountdownHours));
        QCOMPARE(dlg.filterIndex, 0);
        QVERIFY(button(dlg, ids::kIdcFilterAll)->isChecked());
        QCOMPARE(dlg.datePicker->date(), kToday);
        QCOMPARE(timePicker(dlg)->time(), QTime(10, 0, 0));
        QCOMPARE(dlg.datePicker->displayFormat(), u("yyyy年MM月dd日 dddd"));
        QCOMPARE(dlg.datePicker->text(), u("2016年05月01日 ") + QLocale().dayName(7));
        QVERIFY(!dlg.datePicker->calendarPopup());
        QVERIFY(!dlg.editor().cancelReminder && !dlg.editor().autoShutdown);
        QVERIFY(!dlg.countdown().countdownShutdown() && !dlg.countdown().countdownPrompt());
        QVERIFY(!dlg.countdown().countdownRunning() && !dlg.rest().restRunning());
        QCOMPARE(item<QLabel>(dlg, "restStatusLabel")->text(), u("您还没有开启提醒"));
        QCOMPARE(item<QLabel>(dlg, "countdownStatusLabel")->text(), u("倒计时未开启"));
        QVERIFY(dlg.dueQueue().pendingIds().isEmpty());
        QVERIFY(!dlg.dueQueue().alertShowing());
        QVERIFY(!dlg.closing);
        // No push button is a default button.
        for (QPushButton* b : dlg.findChildren<QPushButton*>())
            QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
    }

    void startValuesFromTheSettingsFile()
    {
        Env env;
        QVERIFY(env.open());
        QVERIFY(
            WriteAll(env.folder.settingsFile(),
                     gbk::encode(u("[默认时间]\r\nMytimeA=45\r\nMytimeB=2\r\nMytimeC=15\r\nMytimeD=5\r\n"))));
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcRestMinutes), u("45"));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcCountdownHours), u("2"));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcCountdownMinutes), u("15"));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcCountdownSeconds), u("5"));
        QCOMPARE(dlg.restPanel().restMinutes(), 45);
    }

    void timersAtStart()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerStartDueCheck));
        QCOMPARE(dlg.timers().Period(ids::kTimerStartDueCheck), 500);
        QVERIFY(dlg.timers().IsOneShot(ids::kTimerStartDueCheck));
        // The clock line's timer waits for the window to show, then aims just
        // past the start of the next second.
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        QVERIFY(showAndWait(dlg));
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
        QVERIFY(dlg.timers().IsPrecise(ids::kTimerClock));
        QCOMPARE(dlg.timers().Period(ids::kTimerClock), 1010);
        env.fakes.clock.set(kTen.addMSecs(750));
        dlg.OnTimer(ids::kTimerClock);
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
        QCOMPARE(dlg.timers().Period(ids::kTimerClock), 260);
        // The queue timer is no poll: idle, it does not run.
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerDueQueue));
        // A normal start never starts timer 7.
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerHiddenStart));
        QCOMPARE(dlg.timers().Period(ids::kTimerHiddenStart), -1);
        dlg.OnTimer(ids::kTimerStartDueCheck);
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerStartDueCheck));
        dlg.OnTimer(99); // unknown ids do nothing
    }

    // --- Clock line ---

    void clockLine_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("line");
        QTest::newRow("sunday") << QDateTime(kToday, QTime(8, 30, 0))
                                << u("现在时间：2016-05-01 08:30:00 星期日");
        QTest::newRow("monday") << QDateTime(QDate(2016, 5, 2), QTime(23, 59, 59))
                                << u("现在时间：2016-05-02 23:59:59 星期一");
        QTest::newRow("saturday") << QDateTime(QDate(2016, 4, 30), QTime(0, 0, 1))
                                  << u("现在时间：2016-04-30 00:00:01 星期六");
    }
    void clockLine()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, line);
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        env.fakes.clock.set(now);
        dlg.OnTimer(ids::kTimerClock);
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcClockLine), line);
    }

    // --- List ---

    // Each second the clock line repaints its own pixels, not the editor's
    // group box beneath it, and only when its text changes; it looks as a label
    // with that text would.
    void clockLineRepaintsOnlyItself()
    {
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        };
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QWidget* clock = dlg.GetDlgItem(ids::kIdcClockLine);
        PaintCounter group, line;
        item<QGroupBox>(dlg, "editorGroup")->installEventFilter(&group);
        clock->installEventFilter(&line);
        QTest::qWait(50);
        group.paints = line.paints = 0;

        env.fakes.clock.set(kTen.addSecs(1));
        dlg.OnTimer(ids::kTimerClock);
        QTRY_VERIFY(line.paints > 0);
        QTest::qWait(50);
        QCOMPARE(group.paints, 0);
        line.paints = 0;
        env.fakes.clock.set(kTen.addMSecs(1500)); // the same second
        dlg.OnTimer(ids::kTimerClock);
        QTest::qWait(50);
        QCOMPARE(line.paints, 0);
        QCOMPARE(group.paints, 0);

        const QRect place = clock->geometry();
        const QImage drawn = dlg.grab(place).toImage();
        QLabel label(dlg.GetDlgItemText(ids::kIdcClockLine), &dlg);
        label.setGeometry(place);
        label.show();
        clock->hide();
        const QImage asLabel = dlg.grab(place).toImage();
        label.hide();
        const QImage neither = dlg.grab(place).toImage();
        clock->show();
        QCOMPARE(drawn, asLabel);
        QVERIFY(drawn != neither); // the text is there at all
    }

    void emptyTable()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(listCaption(dlg), u("共有0条提醒记录"));
        QCOMPARE(statusLine(dlg), u("没有记录！"));
        QVERIFY(dlg.timers().IsRunning(ids::kTimerStatusClear));
        QCOMPARE(dlg.timers().Period(ids::kTimerStatusClear), 1000);
        QVERIFY(dlg.timers().IsOneShot(ids::kTimerStatusClear));
        dlg.OnTimer(ids::kTimerStatusClear);
        QCOMPARE(statusLine(dlg), QString());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerStatusClear));
        QVERIFY(env.fakes.boxes.shown().isEmpty());
        QCOMPARE(dlg.recordList->model()->rowCount(), 0);
    }

    // The real timer clears the notice about a second later.
    void emptyNoticeClearsItself()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(statusLine(dlg), u("没有记录！"));
        QTest::qWait(600);
        QCOMPARE(statusLine(dlg), u("没有记录！"));
        QTRY_COMPARE_WITH_TIMEOUT(statusLine(dlg), QString(), 3000);
    }

    void recordsNewestFirst()
    {
        Env env;
        QVERIFY(env.open());
        const QString a = env.insert(u("一"), u("a"), u("2016-05-02"), u("08:00:00"));
        const QString b = env.insert(u("二"), u("b"), u("Every Day"), u("09:00:00"), u("1"));
        const QString c = env.insert(u("三"), u("c"), u("2016-06-01"), u("10:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QCOMPARE(listCaption(dlg), u("共有3条提醒记录"));
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), (QStringList{c, b, a}));
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("三"), u("二"), u("一")}));
        QCOMPARE(listColumn(dlg, 2), (QStringList{u("2016-06-01"), u("Every Day"), u("2016-05-02")}));
        QCOMPARE(listColumn(dlg, 5), (QStringList{u("0"), u("1"), u("0")}));
        QCOMPARE(statusLine(dlg), QString());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerStatusClear));

        // Emptied, the list says so, and the caption follows.
        Query(env.folder.databaseFile(), QStringLiteral("delete from recordmsg"));
        dlg.ApplyFilter();
        QCOMPARE(listCaption(dlg), u("共有0条提醒记录"));
        QCOMPARE(statusLine(dlg), u("没有记录！"));
        QCOMPARE(dlg.recordList->model()->rowCount(), 0);
    }

    // The data file replaced by a rename while the window runs (an editor or a
    // sync tool): the window lists the new file, and writes go into it.
    void dataFileReplacedWhileRunning()
    {
        Env env;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative),
                                      QString(), QString(), message),
                 store::kConnected);
        env.insert(u("旧"), u("a"), u("2016-05-02"), u("08:00:00"));
        CReminderDlg dlg(true, nullptr);
        QCOMPARE(listCaption(dlg), u("共有1条提醒记录"));

        const QString other = env.folder.path() + QStringLiteral("/other.dat");
        QVERIFY(QFile::copy(QStringLiteral(TOLVA_TEMPLATE_DB), other));
        Query(other,
              QStringLiteral("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                             "('新一', 'b', '2016-05-03', '08:00:00', '0', '2016-01-01 00:00:00'), "
                             "('新二', 'c', '2016-05-04', '08:00:00', '0', '2016-01-01 00:00:00')"));
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(env.folder.databaseFile()).constData()) == 0);
        QTRY_COMPARE(listCaption(dlg), u("共有2条提醒记录"));
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("新二"), u("新一")}));
        QCOMPARE(app.database()->InsertRows(QStringLiteral("recordmsg"), {QStringLiteral("titile")},
                                            RowSet{Row{u("再")}}, 1, message),
                 1);
        QCOMPARE(env.records().size(), 3);
        QVERIFY(env.fakes.boxes.shown().isEmpty());
    }

    // A table of more records than a page: the caption counts them all, the
    // list holds the newest page and reads on as it scrolls, and a row read
    // later loads its own record.
    void recordsBeyondTheFirstPage()
    {
        Env env;
        QVERIFY(env.open());
        const int records = ReminderListModel::kPageRows + 50;
        Query(env.folder.databaseFile(),
              QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from n where i<%1) "
                             "insert into recordmsg (titile, text, date, time, use, insertdatatime) "
                             "select 's'||i, 'c'||i, '2016-05-02', '08:00:00', '0', '2016-01-01 00:00:00' "
                             "from n")
                  .arg(records));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QCOMPARE(listCaption(dlg), u("共有%1条提醒记录").arg(records));
        QAbstractItemModel* model = dlg.recordList->model();
        QCOMPARE(model->rowCount(), int(ReminderListModel::kPageRows));
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn).first(), QString::number(records));

        dlg.recordList->scrollToBottom();
        QTRY_COMPARE(model->rowCount(), records);
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn).last(), QStringLiteral("1"));
        QCOMPARE(listCaption(dlg), u("共有%1条提醒记录").arg(records));
        clickRow(dlg, records - 2);
        QCOMPARE(subjectEdit(dlg)->text(), QStringLiteral("s2"));
        QVERIFY(env.fakes.boxes.shown().isEmpty());
    }

    void filters()
    {
        Env env;
        QVERIFY(env.open());
        const QString now = env.insert(u("now"), u("x"), u("2016-05-01"), u("10:00:00"));
        env.insert(u("before"), u("x"), u("2016-05-01"), u("09:59:59"));
        const QString later = env.insert(u("later"), u("x"), u("2016-05-01"), u("18:00:00"), u("1"));
        const QString tomorrow = env.insert(u("tomorrow"), u("x"), u("2016-05-02"), u("01:00:00"));
        env.insert(u("yesterday"), u("x"), u("2016-04-30"), u("23:00:00"), u("1"));
        const QString every = env.insert(u("every"), u("x"), u("Every Day"), u("08:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QCOMPARE(dlg.recordList->model()->rowCount(), 6);

        click(dlg, ids::kIdcFilterUpcoming);
        QCOMPARE(dlg.filterIndex, 3);
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), (QStringList{every, tomorrow, later, now}));
        QCOMPARE(listCaption(dlg), u("共有4条提醒记录"));

        click(dlg, ids::kIdcFilterTaken);
        QCOMPARE(listColumn(dlg, 5), (QStringList{u("1"), u("1")}));
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("yesterday"), u("later")}));

        click(dlg, ids::kIdcFilterNotTaken);
        QCOMPARE(listColumn(dlg, 5), QStringList(4, u("0")));

        // The clause takes the time at the moment the filter is applied.
        env.fakes.clock.set(QDateTime(QDate(2016, 5, 1), QTime(18, 0, 1)));
        click(dlg, ids::kIdcFilterUpcoming);
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), (QStringList{every, tomorrow}));

        click(dlg, ids::kIdcFilterAll);
        QCOMPARE(dlg.recordList->model()->rowCount(), 6);
        QVERIFY(env.fakes.boxes.shown().isEmpty());
    }

    // With the store gone, the store's own not-connected message is shown.
    void storeNotConnected()
    {
        FakeSeams fakes;
        TempProgramFolder folder;
        CReminderDlg dlg(true, nullptr, [] { return std::shared_ptr<CAdoDatabase>(); });
        CAdoDatabase closed;
        QString expected;
        QVERIFY(closed.CountRows(QStringLiteral("recordmsg"), QString(), expected) < 0);
        QCOMPARE(fakes.boxes.texts(), QStringList{expected});
        QVERIFY(!expected.isEmpty());
        QCOMPARE(dlg.recordList->model()->rowCount(), 0);

        // An add is refused with the store's message; the editor keeps its text.
        fakes.boxes.clear();
        typeEditor(dlg, u("主题"), u("内容"));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(fakes.boxes.texts(), QStringList{expected});
        QCOMPARE(subjectEdit(dlg)->text(), u("主题"));
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
    }

    // --- The due-reminder queue ---

    // --- The due-reminder check, its popups, deletion and automatic shutdown ---

    // Records due in one second open one popup after the other, in the order
    // found; a reminder falling due while a popup is open waits its turn.
    void duePopupsOneAtATime()
    {
        Env env;
        QVERIFY(env.open());
        const QString first = env.insert(u("甲"), u("一"), u("2016-05-01"), u("10:00:05"));
        const QString second = env.insert(u("乙"), u("二"), u("2016-05-01"), u("10:00:05"));
        const QString later = env.insert(u("丙"), u("三"), u("Every Day"), u("10:00:09"));
        CReminderDlg dlg(true, nullptr, env.provider());
        dlg.OnTimer(ids::kTimerStartDueCheck);
        QVERIFY(dlg.dueCheck().context().running.load());
        QVERIFY(dlg.dueCheck().runPass().isEmpty()); // 10:00:00
        env.fakes.clock.set(kTen.addSecs(5));
        QCOMPARE(dlg.dueCheck().runPass(), (QStringList{second, first}));
        dlg.OnRemindersDue(); // what the queued message does, here at once
        QVERIFY(dlg.timers().IsRunning(ids::kTimerDueQueue));
        QVERIFY(dlg.timers().IsOneShot(ids::kTimerDueQueue));
        QCOMPARE(dlg.dueQueue().pendingIds(), (QStringList{second, first}));
        // Found again while queued: still once.
        dlg.dueCheck().context().appendDue({first});
        dlg.OnRemindersDue();
        QCOMPARE(dlg.dueQueue().pendingIds().size(), 2);

        QStringList seen;
        bool laterWaited = false;
        PopupAcknowledger user([&](CAlertDlg* popup) {
            if (seen.isEmpty() && !dlg.dueQueue().pendingIds().contains(later)) {
                // While the first popup is open, the every-day record falls due.
                env.fakes.clock.set(kTen.addSecs(9));
                dlg.dueCheck().runPass();
                return false;
            }
            if (seen.isEmpty())
                laterWaited = !dlg.timers().IsRunning(ids::kTimerDueQueue) && dlg.dueQueue().alertShowing();
            seen.append(popup->recordId);
            return true;
        });
        dlg.OnTimer(ids::kTimerDueQueue);
        QTRY_COMPARE(seen, (QStringList{second, first, later}));
        QVERIFY(laterWaited);
        QTRY_VERIFY(dlg.dueQueue().pendingIds().isEmpty());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerDueQueue));
        // Deleted by default, the every-day record kept; the list follows.
        QCOMPARE(env.records().size(), 1);
        QCOMPARE(listColumn(dlg, 0), QStringList{u("丙")});
        QCOMPARE(env.fakes.sound.playing(), 0);
    }

    // The real worker: a record due now pops up; after a confirmed exit the
    // window ends only on the worker's last message.
    void workerFindsDueRecordsAndEndsTheWindow()
    {
        Env env;
        QVERIFY(env.open());
        const QString id = env.insert(u("开会"), u("三楼"), u("2016-05-01"), u("10:00:00"));
        QStringList seen;
        PopupAcknowledger user([&](CAlertDlg* popup) {
            seen.append(popup->recordId);
            return true;
        });

        CReminderDlg::SetDueWorkerEnabledForTesting(true);
        CReminderDlg dlg(true, nullptr, env.provider());
        dlg.OnTimer(ids::kTimerStartDueCheck);
        CReminderDlg::SetDueWorkerEnabledForTesting(false);
        QVERIFY(dlg.dueCheck().started());
        QVERIFY(showAndWait(dlg));
        QTRY_COMPARE(seen, QStringList{id});
        QTRY_VERIFY(env.records().isEmpty());

        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnOK();
        QVERIFY(!dlg.dueCheck().context().running.load());
        QCOMPARE(finished.size(), 0); // the last message has not come yet
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        dlg.dueCheck().join();
    }

    // An exit confirmed before the worker started ends at once, and the
    // message the stop still posts does not end the window twice.
    void exitBeforeTheWorkerStarted()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnOK();
        QCOMPARE(finished.size(), 1);
        QTest::qWait(50);
        QCOMPARE(finished.size(), 1);
        // Timer 2 coming late starts nothing.
        dlg.OnTimer(ids::kTimerStartDueCheck);
        QVERIFY(!dlg.dueCheck().context().running.load());
    }

    // While a popup waits, the main window's input waits too, but the
    // notification-area icon, a window of its own, still takes a click.
    void trayTakesClicksWhileAPopupWaits()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("开会"), u("三楼"), u("2016-05-01"), u("10:00:05"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QPushButton trayWindow(u("托盘图标"));
        trayWindow.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        trayWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trayWindow));
        QSignalSpy trayClicks(&trayWindow, &QPushButton::clicked);
        auto* filter = button(dlg, ids::kIdcFilterTaken);
        QSignalSpy windowClicks(filter, &QAbstractButton::clicked);
        const auto clickOn = [](QWidget* w) {
            QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, {},
                              w->mapTo(w->window(), w->rect().center()));
        };
        bool tried = false;
        PopupAcknowledger user([&](CAlertDlg*) {
            if (!tried) {
                tried = true;
                clickOn(&trayWindow);
                clickOn(filter);
            }
            return true;
        });

        dlg.OnTimer(ids::kTimerStartDueCheck);
        env.fakes.clock.set(kTen.addSecs(5));
        QCOMPARE(dlg.dueCheck().runPass().size(), 1);
        dlg.OnRemindersDue();
        dlg.OnTimer(ids::kTimerDueQueue); // runs the popup to its end
        QVERIFY(tried);
        QCOMPARE(trayClicks.size(), 1);
        QCOMPARE(windowClicks.size(), 0);
        // Once the popup has gone, the window takes clicks again.
        clickOn(filter);
        QCOMPARE(windowClicks.size(), 1);
    }

    // A store this user may only read: a due popup acknowledged once says why
    // and closes for good, even when its second recurs (the clock set back);
    // a deletion from the list says why as well.
    void readOnlyStore_data()
    {
        QTest::addColumn<bool>("folder"); // false: the data file
        QTest::newRow("a read-only data file") << false;
        QTest::newRow("a read-only data folder") << true;
    }
    void readOnlyStore()
    {
        QFETCH(bool, folder);
        Env env;
        const QString id = env.insert(u("开会"), u("三楼"), u("2016-05-01"), u("10:00:05"));
        env.insert(u("过期"), u("x"), u("2016-04-30"), u("10:00:00"));
        const QString file = env.folder.databaseFile();
        const QString readOnlyPath = folder ? QFileInfo(file).absolutePath() : file;
        ReadOnlyPath readOnly(readOnlyPath);
        if (!readOnly.isSet())
            QSKIP("the store cannot be made read-only here (root needs the immutable attribute)");
        QVERIFY(env.open());
        const QString why = (folder ? u("没有写入数据文件的权限（数据文件夹 %1 是只读的）")
                                    : u("没有写入数据文件的权限（数据文件 %1 是只读的）"))
                                .arg(readOnlyPath);
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        dlg.OnTimer(ids::kTimerStartDueCheck);
        QVERIFY(dlg.dueCheck().runPass().isEmpty()); // 10:00:00

        // Looks at an open popup; one that is still open after the first click
        // is ended by force, so that the run goes on to fail.
        int popups = 0;
        PopupAcknowledger user([&](CAlertDlg* popup) {
            if (++popups > 3) {
                popup->QDialog::done(QDialog::Rejected);
                return false;
            }
            return true;
        });
        for (int round = 0; round < 2; ++round) {
            // The second round: the clock set back, the same second lived again.
            env.fakes.clock.set(kTen.addSecs(4));
            dlg.dueCheck().runPass();
            env.fakes.clock.set(kTen.addSecs(5));
            QCOMPARE(dlg.dueCheck().runPass(), QStringList{id});
            dlg.OnRemindersDue();
            dlg.OnTimer(ids::kTimerDueQueue); // runs the popup, if any, to its end
            QVERIFY(!dlg.dueQueue().alertShowing());
            QVERIFY(dlg.dueQueue().pendingIds().isEmpty());
            QCOMPARE(popups, 1);
            QCOMPARE(env.fakes.boxes.texts(), QStringList{u("晕！软件罢工啦！重新启动一下吧！  \n") + why});
            QCOMPARE(env.fakes.sound.playing(), 0);
        }
        QCOMPARE(env.records().size(), 2);

        // Deleting from the list: asked, then refused with the reason, once.
        env.fakes.boxes.clear();
        clickRow(dlg, 0);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCommand(ids::kCmdDeleteRecord);
        QCOMPARE(env.fakes.boxes.texts(), (QStringList{u("真的要删除标题为“过期”的记录吗？  "), why}));
        env.fakes.boxes.clear();
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCommand(ids::kCmdDeleteExpired);
        QCOMPARE(env.fakes.boxes.texts(), (QStringList{u("是否批量删除10条最早的过期数据？  "), why}));
        QCOMPARE(env.records().size(), 2);

        // A modify is refused with the reason too, not taken for a vanished
        // record: the editor keeps the record and what was typed.
        env.fakes.boxes.clear();
        clickRow(dlg, 1); // 开会
        typeEditor(dlg, u("改过"), u("四楼"));
        timePicker(dlg)->setTime(QTime(11, 0, 0));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{why});
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("修  改"));
        QCOMPARE(subjectEdit(dlg)->text(), u("改过"));
        QCOMPARE(env.records().first().first(), u("开会"));
    }

    void deleteSelectedRecord()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("甲"), u("一"), u("2016-05-03"), u("08:00:00"));
        const QString keep = env.insert(u("乙"), u("二"), u("2016-05-04"), u("08:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 1); // newest first: 甲
        QCOMPARE(subjectEdit(dlg)->text(), u("甲"));

        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnCommand(ids::kCmdDeleteRecord);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要删除标题为“甲”的记录吗？  ")});
        QCOMPARE(env.records().size(), 2);
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("删  除"));

        env.fakes.boxes.clear();
        env.fakes.boxes.answerNext(MbResult::Yes);
        click(dlg, ids::kIdcRefreshDelete);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要删除标题为“甲”的记录吗？  ")});
        QCOMPARE(env.records().size(), 1);
        QCOMPARE(env.records().first().first(), u("乙"));
        QCOMPARE(listColumn(dlg, ReminderListModel::kIdColumn), QStringList{keep});
        QCOMPARE(button(dlg, ids::kIdcAddModify)->text(), u("添  加"));
        QCOMPARE(button(dlg, ids::kIdcRefreshDelete)->text(), u("刷  新"));
        QCOMPARE(subjectEdit(dlg)->text(), QString());
        QVERIFY(dlg.GetDlgItem(ids::kIdcAutoShutdown)->isVisible());

        // Nothing selected: no question.
        env.fakes.boxes.clear();
        dlg.recordList->clearSelection();
        dlg.OnCommand(ids::kCmdDeleteRecord);
        QVERIFY(env.fakes.boxes.shown().isEmpty());
    }

    void deleteExpiredRecordsInBatches()
    {
        Env env;
        QVERIFY(env.open());
        for (int i = 0; i < 15; ++i)
            env.insert(u("过期%1").arg(i), u("x"), u("2016-04-30"), u("10:00:00"));
        env.insert(u("每天"), u("x"), u("Every Day"), u("08:00:00"));
        env.insert(u("现在"), u("x"), u("2016-05-01"), u("10:00:00"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QCOMPARE(dlg.recordList->model()->rowCount(), 17);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCommand(ids::kCmdDeleteExpired);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("是否批量删除10条最早的过期数据？  ")});
        QCOMPARE(dlg.recordList->model()->rowCount(), 7);
        QCOMPARE(env.records().first().first(), u("过期10")); // the ten lowest ids went first
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCommand(ids::kCmdDeleteExpired);
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("现在"), u("每天")}));
    }
};

QTEST_MAIN(TestReminderDlg)
#include "tst_reminderdlg.moc"
