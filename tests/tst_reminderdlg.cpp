#include "app/ReminderApp.h"
#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"
#include "base/Constants.h"
#include "base/DialogTimers.h"
#include "base/Gbk.h"
#include "base/MainWindowIds.h"
#include "base/Paths.h"
#include "platform/Sound.h"
#include "reminders/AlertDlg.h"
#include "reminders/ReminderList.h"
#include "store/AdoDatabase.h"
#include "support/PopupAcknowledger.h"
#include "support/TestSupport.h"
#include "support/TypeText.h"
#include "timers/CountdownPanel.h"
#include "timers/RestReminderPanel.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/UpDownControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimeEdit>
#include <QtTest>
#include <sqlite3.h>

namespace {
const QDate kToday(2016, 5, 1); // a Sunday
const QDateTime kTen(kToday, QTime(10, 0, 0));

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

// Direct SQL on the test's database file, beside the store the window uses.
QList<QStringList> Query(const QString& path, const QString& sql)
{
    QList<QStringList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return {{QStringLiteral("cannot open")}};
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        rows = {{QStringLiteral("bad sql")}};
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            rows << row;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

struct Env
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();

    Env() { fakes.clock.set(kTen); }
    bool open()
    {
        QString message;
        return db->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                        message) == store::kConnected;
    }
    CReminderDlg::StoreProvider provider() const
    {
        auto d = db;
        return [d] { return d; };
    }
    // Adds a record directly to the file; returns its id.
    QString insert(const QString& subject, const QString& content, const QString& date, const QString& time,
                   const QString& use = QStringLiteral("0"))
    {
        auto quote = [](QString s) {
            return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
        };
        Query(folder.databaseFile(),
              QStringLiteral("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                             "(%1, %2, %3, %4, %5, '2016-01-01 00:00:00')")
                  .arg(quote(subject), quote(content), quote(date), quote(time), quote(use)));
        return Query(folder.databaseFile(), QStringLiteral("select max(id) from recordmsg"))
            .value(0)
            .value(0);
    }
    QList<QStringList> records() const
    {
        return Query(folder.databaseFile(),
                     QStringLiteral(
                         "select titile, text, date, time, use, insertdatatime from recordmsg order by id"));
    }
};

template <class T> T* item(const CReminderDlg& dlg, const char* name)
{
    return dlg.findChild<T*>(QLatin1String(name));
}

UpDownControl* spin(const CReminderDlg& d, int id)
{
    return qobject_cast<UpDownControl*>(d.GetDlgItem(id));
}
QLineEdit* subjectEdit(const CReminderDlg& d)
{
    return item<QLineEdit>(d, "subjectEdit");
}
QPlainTextEdit* contentEdit(const CReminderDlg& d)
{
    return item<QPlainTextEdit>(d, "contentEdit");
}
QTimeEdit* timePicker(const CReminderDlg& d)
{
    return item<QTimeEdit>(d, "timePicker");
}
QAbstractButton* button(const CReminderDlg& d, int id)
{
    return qobject_cast<QAbstractButton*>(d.GetDlgItem(id));
}
QString statusLine(const CReminderDlg& d)
{
    return item<QLabel>(d, "statusLabel")->text();
}
QString listCaption(const CReminderDlg& d)
{
    return item<QGroupBox>(d, "listGroup")->title();
}

QStringList listColumn(const CReminderDlg& d, int column)
{
    QStringList out;
    const QAbstractItemModel* m = d.recordList->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

void clickRow(CReminderDlg& d, int row)
{
    const QRect r = d.recordList->visualRect(d.recordList->model()->index(row, 1));
    QTest::mouseClick(d.recordList->viewport(), Qt::LeftButton, {}, r.center());
}

void clickEmptySpace(CReminderDlg& d)
{
    QWidget* vp = d.recordList->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(5, vp->height() - 3));
}

void click(CReminderDlg& d, int id)
{
    QTest::mouseClick(button(d, id), Qt::LeftButton);
}

void typeEditor(CReminderDlg& d, const QString& subject, const QString& content)
{
    subjectEdit(d)->clear();
    contentEdit(d)->clear();
    TypeText(subjectEdit(d), subject);
    TypeText(contentEdit(d), content);
}

bool showAndWait(CReminderDlg& d)
{
    d.show();
    return QTest::qWaitForWindowExposed(&d);
}
} // namespace

class TestReminderDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        // The offscreen platform has no notification area; these tests are about
        // a desktop that has one (the tray tests cover the other case).
        TrayIcon::SetAvailableForTesting(true);
        // Passes of the due check run where the test says, on this thread.
        CReminderDlg::SetDueWorkerEnabledForTesting(false);
    }
    void cleanupTestCase() { TrayIcon::SetAvailableForTesting(std::nullopt); }

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
            {1016, "QLabel", nullptr, false, true},
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
        for (const char* name : {"subjectEdit", "contentEdit", "datePicker", "timePicker", "addModifyButton",
                                 "refreshDeleteButton", "everyDayCheck", "clockLabel"})
            QVERIFY2(editor.contains(item<QWidget>(dlg, name)->geometry()), name);
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
        const QStringList headers{"标题", "内容", "日期", "时间", "生效", "记录时间", "ID"};
        const int widths[] = {60, 140, 72, 60, 40, 138};
        QCOMPARE(dlg.recordList->model()->columnCount(), 7);
        for (int c = 0; c < 7; ++c)
            QCOMPARE(dlg.recordList->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
        for (int c = 0; c < 6; ++c)
            QCOMPARE(header->sectionSize(c), widths[c]);
        QVERIFY(dlg.recordList->isColumnHidden(6));
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
        QCOMPARE(listColumn(dlg, 6), (QStringList{c, b, a}));
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("三"), u("二"), u("一")}));
        QCOMPARE(listColumn(dlg, 2), (QStringList{u("2016-06-01"), u("Every Day"), u("2016-05-02")}));
        QCOMPARE(listColumn(dlg, 4), (QStringList{u("0"), u("1"), u("0")}));
        QCOMPARE(statusLine(dlg), QString());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerStatusClear));

        // Emptied, the list says so, and the caption follows.
        Query(env.folder.databaseFile(), QStringLiteral("delete from recordmsg"));
        dlg.ApplyFilter();
        QCOMPARE(listCaption(dlg), u("共有0条提醒记录"));
        QCOMPARE(statusLine(dlg), u("没有记录！"));
        QCOMPARE(dlg.recordList->model()->rowCount(), 0);
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
        QCOMPARE(listColumn(dlg, 6), (QStringList{every, tomorrow, later, now}));
        QCOMPARE(listCaption(dlg), u("共有4条提醒记录"));

        click(dlg, ids::kIdcFilterTaken);
        QCOMPARE(listColumn(dlg, 4), (QStringList{u("1"), u("1")}));
        QCOMPARE(listColumn(dlg, 0), (QStringList{u("yesterday"), u("later")}));

        click(dlg, ids::kIdcFilterNotTaken);
        QCOMPARE(listColumn(dlg, 4), QStringList(4, u("0")));

        // The clause takes the time at the moment the filter is applied.
        env.fakes.clock.set(QDateTime(QDate(2016, 5, 1), QTime(18, 0, 1)));
        click(dlg, ids::kIdcFilterUpcoming);
        QCOMPARE(listColumn(dlg, 6), (QStringList{every, tomorrow}));

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

    // --- Editor: add ---

    void add()
    {
        Env env;
        QVERIFY(env.open());
        const QString taken = env.insert(u("taken"), u("x"), u("2016-05-03"), u("08:00:00"), u("1"));
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        click(dlg, ids::kIdcFilterTaken); // whatever filter was chosen before
        QCOMPARE(listColumn(dlg, 6), QStringList{taken});

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
        QCOMPARE(listColumn(dlg, 6), QStringList{id});
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
        QTest::addColumn<int>("answer"); // 0: not asked
        QTest::newRow("add, a minute ago, No")
            << false << kToday << QTime(9, 59, 0) << false << false << int(MbResult::No);
        QTest::newRow("add, yesterday, Yes")
            << false << kToday.addDays(-1) << QTime(12, 0, 0) << false << false << int(MbResult::Yes);
        QTest::newRow("add, this very second") << false << kToday << QTime(10, 0, 0) << false << false << 0;
        QTest::newRow("add, every day, time passed")
            << false << kToday << QTime(9, 0, 0) << true << false << 0;
        QTest::newRow("add, taken") << false << kToday << QTime(9, 0, 0) << false << true << 0;
        QTest::newRow("modify, an hour ago, No")
            << true << kToday << QTime(9, 0, 0) << false << false << int(MbResult::No);
        QTest::newRow("modify, an hour ago, Yes")
            << true << kToday << QTime(9, 0, 0) << false << false << int(MbResult::Yes);
        QTest::newRow("modify, tomorrow")
            << true << kToday.addDays(1) << QTime(9, 0, 0) << false << false << 0;
    }
    void pastMomentIsAskedAbout()
    {
        QFETCH(bool, modify);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        QFETCH(bool, everyDay);
        QFETCH(bool, taken);
        QFETCH(int, answer);
        Env env;
        QVERIFY(env.open());
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

    // --- Showing, hiding and the hidden start ---

    void hiddenStart()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("a"), u("b"), u("2016-05-02"), u("08:00:00"));
        CReminderDlg dlg(false, nullptr, env.provider());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerHiddenStart));
        QCOMPARE(dlg.timers().Period(ids::kTimerHiddenStart), 5000);
        QVERIFY(dlg.timers().IsOneShot(ids::kTimerHiddenStart));
        dlg.show(); // the modal run's own show
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.windowHandle() || !dlg.windowHandle()->isVisible());
        dlg.OnShowMainWindow(); // a tray click during the hidden start
        QVERIFY(!dlg.isVisible());

        dlg.OnTimer(ids::kTimerHiddenStart);
        QVERIFY(dlg.showAllowed);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerHiddenStart));
        dlg.OnShowMainWindow();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
    }

    // The hidden start swallows two show requests; a third one shows, and
    // timer 7 then hides the window again.
    void hiddenStartShowBudget()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(false, nullptr, env.provider());
        dlg.show();
        dlg.show();
        QVERIFY(!dlg.isVisible());
        dlg.show();
        QVERIFY(dlg.isVisible());
        dlg.OnTimer(ids::kTimerHiddenStart);
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.showAllowed);
    }

    void hiddenStartUnderTheModalRun()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(false, nullptr, env.provider());
        bool visibleAtFirst = true, visibleAfterHiddenStart = false;
        QTimer::singleShot(0, &dlg, [&] {
            visibleAtFirst = dlg.isVisible();
            dlg.OnTimer(ids::kTimerHiddenStart);
            dlg.OnShowMainWindow();
            visibleAfterHiddenStart = dlg.isVisible();
            env.fakes.boxes.answerNext(MbResult::Yes);
            dlg.OnOK();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(!visibleAtFirst);
        QVERIFY(visibleAfterHiddenStart);
        QVERIFY(!dlg.isVisible());
    }

    // Hiding into the tray does not end the modal run.
    void hidingKeepsTheModalRun()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        bool runningWhileHidden = false;
        bool ended = false;
        QTimer::singleShot(0, &dlg, [&] {
            QVERIFY(dlg.isVisible());
            click(dlg, ids::kIdcToTray);
            QTimer::singleShot(50, &dlg, [&] {
                runningWhileHidden = !ended && !dlg.isVisible();
                dlg.OnShowMainWindow();
                env.fakes.boxes.answerNext(MbResult::Yes);
                dlg.OnOK();
            });
        });
        dlg.exec();
        ended = true;
        QVERIFY(runningWhileHidden);
    }

    void normalStartShowsAtOnce()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        dlg.show();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerHiddenStart));
    }

    void minimisingHides()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        dlg.showMinimized();
        QTRY_VERIFY(!dlg.isVisible());
        // The clock line stops while nobody can see it, and is up to date at once when shown.
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        env.fakes.clock.set(kTen.addSecs(75));
        dlg.OnShowMainWindow();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcClockLine), u("现在时间：2016-05-01 10:01:15 星期日"));
        click(dlg, ids::kIdcToTray);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        // A plain show from the tray brings it back in its normal state.
        dlg.show();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
    }

    // --- Exit confirmations ---

    void okQuestionAnsweredNo()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnOK();
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要退出吗？  ")});
        const MessageBoxRequest& box = env.fakes.boxes.shown().first();
        QCOMPARE(box.caption, QString()); // the program's title
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(box.owner.data(), static_cast<QObject*>(&dlg));
        QCOMPARE(finished.size(), 0);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
    }

    void okQuestionAnsweredYes()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnOK();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        QVERIFY(env.db->IsConnected()); // this path keeps the store
    }

    // Enter in the subject asks to exit; in the content it makes a new line; on
    // a focused button it presses that button.
    void enterKey()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));

        subjectEdit(dlg)->setFocus();
        QTest::keyClick(subjectEdit(dlg), Qt::Key_Return);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要退出吗？  ")});

        env.fakes.boxes.clear();
        contentEdit(dlg)->setFocus();
        TypeText(contentEdit(dlg), u("a"));
        QTest::keyClick(contentEdit(dlg), Qt::Key_Return);
        TypeText(contentEdit(dlg), u("b"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("a\nb"));
        QVERIFY(env.fakes.boxes.shown().isEmpty());

        // The focused refresh button is pressed instead: the editor is reset.
        QAbstractButton* refresh = button(dlg, ids::kIdcRefreshDelete);
        refresh->setFocus();
        QTest::keyClick(refresh, Qt::Key_Return);
        QVERIFY(env.fakes.boxes.shown().isEmpty());
        QCOMPARE(contentEdit(dlg)->toPlainText(), QString());
    }

    void closeQuestionAnsweredNoHidesTheWindow()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        bool closingWhileAsked = false;
        env.fakes.boxes.onShow = [&](const MessageBoxRequest&) { closingWhileAsked = dlg.closing; };
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.close(); // the close box
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        const MessageBoxRequest& box = env.fakes.boxes.shown().first();
        QCOMPARE(box.caption, u("友情提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(box.owner.data(), static_cast<QObject*>(&dlg));
        QVERIFY(closingWhileAsked);
        QVERIFY(!dlg.closing);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(finished.size(), 0);

        // Esc asks the same question.
        env.fakes.boxes.clear();
        dlg.OnShowMainWindow();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
    }

    // Yes releases the application's store and ends the window.
    void closeQuestionAnsweredYesReleasesTheStore()
    {
        FakeSeams fakes;
        fakes.clock.set(kTen);
        TempProgramFolder folder;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative),
                                      QString(), QString(), message),
                 store::kConnected);
        CReminderDlg dlg(true); // the application's store
        QVERIFY(fakes.boxes.shown().isEmpty());
        QCOMPARE(statusLine(dlg), u("没有记录！")); // read from the application's store
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCancel();
        QVERIFY(!app.database());
        QVERIFY(dlg.closing);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!dlg.isVisible());
    }

    // The tray's exit command while the close question is open does nothing.
    void exitCommandWhileClosing()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        env.fakes.boxes.onShow = [&](const MessageBoxRequest&) { dlg.OnCommand(ids::kCmdExit); };
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnCommand(ids::kCmdExit);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        QVERIFY(!dlg.closing);

        // With no question open, the command asks it.
        env.fakes.boxes.onShow = nullptr;
        env.fakes.boxes.clear();
        env.fakes.boxes.answerNext(MbResult::Yes);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.OnExitCommand();
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        QCOMPARE(finished.size(), 1);
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
        const QString later = env.insert(u("丙"), u("三"), u("Every Day"), u("10:00:09"), u("1"));
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
        QCOMPARE(listColumn(dlg, 6), QStringList{keep});
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

QTEST_MAIN(TestReminderDlg)
#include "tst_reminderdlg.moc"
