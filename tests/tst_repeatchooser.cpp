#include "calendar/RepeatChoice.h"
#include "reminders/RepeatDialog.h"
#include "support/MainWindowTesting.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QSpinBox>

using namespace mainwindowtest;
using calendar::RepeatChoice;

namespace {

QComboBox* repeatCombo(const CReminderDlg& d)
{
    return qobject_cast<QComboBox*>(d.GetDlgItem(ids::kIdcRepeat));
}

// Picks an item of the chooser as a user does (the chooser's activated signal).
void choose(CReminderDlg& d, int index)
{
    QComboBox* combo = repeatCombo(d);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Works the details dialog: "name" clicks a button, "name=N" sets a spin box's
// value or a combo box's index, "name:text" types into a line edit; then OK.
bool fillDetails(CReminderDlg& d, const QStringList& steps)
{
    auto* details = d.findChild<RepeatDialog*>(QStringLiteral("repeatDialog"));
    if (!details || !details->isVisible())
        return false;
    for (const QString& step : steps) {
        const int eq = step.indexOf(QLatin1Char('=')), colon = step.indexOf(QLatin1Char(':'));
        const int cut = colon > 0 && (eq < 0 || colon < eq) ? colon : eq;
        QWidget* w = details->findChild<QWidget*>(cut > 0 ? step.left(cut) : step);
        if (!w)
            return false;
        if (auto* spinBox = qobject_cast<QSpinBox*>(w))
            spinBox->setValue(step.mid(eq + 1).toInt());
        else if (auto* combo = qobject_cast<QComboBox*>(w))
            combo->setCurrentIndex(step.mid(eq + 1).toInt());
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setText(step.mid(colon + 1));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            QTest::mouseClick(b, Qt::LeftButton);
    }
    auto* ok = details->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    if (!ok->isEnabled())
        return false;
    QTest::mouseClick(ok, Qt::LeftButton);
    return !details->isVisible();
}

// The rule row of a record: dtstart, rrule, workdays; empty when it has none.
QStringList ruleOf(const Env& env, const QString& id)
{
    return Query(env.folder.databaseFile(),
                 QStringLiteral("select dtstart, rrule, workdays from repeatrule where id=%1").arg(id))
        .value(0);
}

QString lastId(const Env& env)
{
    return Query(env.folder.databaseFile(), QStringLiteral("select max(id) from recordmsg"))
        .value(0)
        .value(0);
}

// A record with a rule, as the store holds it: its next occurrence in date and time.
// zone: an imported series' zone, with an alarm 10 minutes before each start.
QString insertRepeating(Env& env, const QString& date, const QString& time, const QString& dtstart,
                        const QString& rrule, const QString& zone = QString())
{
    const QString id = env.insert(u("周会"), u("三楼"), date, time);
    Query(env.folder.databaseFile(),
          QStringLiteral("insert into repeatrule (id, dtstart, rrule, workdays, tzid, "
                         "alarm) values (%1, '%2', '%3', '', '%4', %5)")
              .arg(id, dtstart, rrule, zone, zone.isEmpty() ? u("0") : u("600")));
    return id;
}

} // namespace

// The editor's repeat chooser: its choices as rules and back, and the records
// and rules it stores.
class TestRepeatChooser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void cleanupTestCase() { CleanupTestCase(); }

    void ruleRoundTrip_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<bool>("workdays");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("words");
        const auto k = [](RepeatChoice::Kind kind) { return int(kind); };
        QTest::newRow("no rule is no repeat") << "" << false << k(RepeatChoice::Kind::None) << u("不重复");
        QTest::newRow("workdays follow the official calendar")
            << "" << true << k(RepeatChoice::Kind::Workdays) << u("每个工作日（含调休）");
        QTest::newRow("weekly on Monday, Wednesday and Friday")
            << "FREQ=WEEKLY;BYDAY=MO,WE,FR" << false << k(RepeatChoice::Kind::Weekly) << u("每周一、三、五");
        QTest::newRow("monthly on the 15th")
            << "FREQ=MONTHLY;BYMONTHDAY=15" << false << k(RepeatChoice::Kind::Monthly) << u("每月15日");
        QTest::newRow("monthly on the second Monday")
            << "FREQ=MONTHLY;BYDAY=2MO" << false << k(RepeatChoice::Kind::Monthly) << u("每月第二个星期一");
        QTest::newRow("monthly on the last Friday")
            << "FREQ=MONTHLY;BYDAY=-1FR" << false << k(RepeatChoice::Kind::Monthly)
            << u("每月最后一个星期五");
        QTest::newRow("yearly on the start's day")
            << "FREQ=YEARLY" << false << k(RepeatChoice::Kind::Yearly) << u("每年5月2日");
        QTest::newRow("lunar mid-autumn") << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15" << false
                                          << k(RepeatChoice::Kind::Lunar) << u("农历每年八月十五");
        QTest::newRow("lunar leap month, the plain month in other years")
            << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=6L;BYMONTHDAY=1;SKIP=BACKWARD" << false
            << k(RepeatChoice::Kind::Lunar) << u("农历每年闰六月初一");
        QTest::newRow("every two weeks, five times")
            << "FREQ=WEEKLY;INTERVAL=2;COUNT=5" << false << k(RepeatChoice::Kind::Custom)
            << u("每两周的周一，共5次");
        QTest::newRow("every three days until a day")
            << "FREQ=DAILY;INTERVAL=3;UNTIL=20161231T235959" << false << k(RepeatChoice::Kind::Custom)
            << u("每三天，至2016-12-31");
        QTest::newRow("every month") << "FREQ=MONTHLY" << false << k(RepeatChoice::Kind::Custom)
                                     << u("每月2日");
        QTest::newRow("a rule without a preset stays as written")
            << "FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=-1" << false << k(RepeatChoice::Kind::Custom)
            << u("自定义：FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=-1");
        QTest::newRow("a preset written in another order stays as written")
            << "BYDAY=MO,WE,FR;FREQ=WEEKLY" << false << k(RepeatChoice::Kind::Custom) << u("每周一、三、五");
        QTest::newRow("a weekly rule with more parts stays as written")
            << "FREQ=WEEKLY;BYDAY=MO;COUNT=3" << false << k(RepeatChoice::Kind::Custom) << u("每周一，共3次");
        QTest::newRow("an until that is not the end of a day stays as written")
            << "FREQ=DAILY;UNTIL=20161231T120000" << false << k(RepeatChoice::Kind::Custom)
            << u("每天，至2016-12-31");
    }
    void ruleRoundTrip()
    {
        QFETCH(QString, rule);
        QFETCH(bool, workdays);
        QFETCH(int, kind);
        QFETCH(QString, words);
        const RepeatChoice choice = RepeatChoice::fromRule(rule, workdays);
        QCOMPARE(int(choice.kind), kind);
        QCOMPARE(choice.rule(), rule);
        QCOMPARE(choice.words(QDate(2016, 5, 2)), words); // a Monday
        // A preset made from its fields alone writes the same rule.
        RepeatChoice fields = choice;
        fields.text.clear();
        if (choice.kind != RepeatChoice::Kind::Custom || choice.fieldsRule() == rule)
            QCOMPARE(fields.rule(), rule);
    }

    // The presets' defaults come from the day picked.
    void defaultsFromTheDay()
    {
        const QDate lastFriday(2016, 5, 27), midAutumn(2016, 9, 15);
        QCOMPARE(RepeatChoice::forDay(RepeatChoice::Kind::Weekly, lastFriday).rule(),
                 QStringLiteral("FREQ=WEEKLY;BYDAY=FR"));
        RepeatChoice monthly = RepeatChoice::forDay(RepeatChoice::Kind::Monthly, lastFriday);
        QCOMPARE(monthly.rule(), QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=27"));
        monthly.byWeekday = true;
        QCOMPARE(monthly.rule(), QStringLiteral("FREQ=MONTHLY;BYDAY=-1FR"));
        monthly = RepeatChoice::forDay(RepeatChoice::Kind::Monthly, QDate(2016, 5, 10));
        monthly.byWeekday = true;
        QCOMPARE(monthly.rule(), QStringLiteral("FREQ=MONTHLY;BYDAY=2TU"));
        QCOMPARE(RepeatChoice::forDay(RepeatChoice::Kind::Lunar, midAutumn).rule(),
                 QStringLiteral("RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"));
        // 2017-07-23 is the first day of the leap sixth month.
        QCOMPARE(
            RepeatChoice::forDay(RepeatChoice::Kind::Lunar, QDate(2017, 7, 23)).words(QDate(2017, 7, 23)),
            u("农历每年闰六月初一"));
    }

    // A repeat chosen in the editor: the record holds the first occurrence,
    // its rule starts at the date and time picked.
    void repeatIsStored_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<bool>("shutdown");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("workdays");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("shown");
        // Picked: today (Sunday 2016-05-01) at 08:30, already gone at 10:00.
        QTest::newRow("weekly on Monday, Wednesday and Friday")
            << 3 << QStringList{"weekday7", "weekday1", "weekday3", "weekday5"} << false
            << "FREQ=WEEKLY;BYDAY=MO,WE,FR"
            << ""
            << "2016-05-02" << u("每周一、三、五");
        QTest::newRow("every workday (2016 has no arrangement: Monday to Friday)")
            << 2 << QStringList() << false << ""
            << "CN"
            << "2016-05-02" << u("每个工作日（含调休）");
        QTest::newRow("lunar mid-autumn") << 6 << QStringList{"lunarMonthCombo=7", "lunarDayCombo=14"}
                                          << false << "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"
                                          << ""
                                          << "2016-09-15" << u("农历每年八月十五");
        QTest::newRow("monthly on the last Friday")
            << 4 << QStringList{"monthWeekdayRadio", "ordinalCombo=4", "weekdayCombo=4"} << false
            << "FREQ=MONTHLY;BYDAY=-1FR"
            << ""
            << "2016-05-27" << u("每月最后一个星期五");
        QTest::newRow("yearly, this year's day gone") << 5 << QStringList() << false << "FREQ=YEARLY"
                                                      << ""
                                                      << "2017-05-01" << u("每年");
        QTest::newRow("every other day, three times")
            << 7 << QStringList{"intervalSpin=2", "endCountRadio", "countSpin=3"} << false
            << "FREQ=DAILY;INTERVAL=2;COUNT=3"
            << ""
            << "2016-05-03" << u("每两天，共3次");
        QTest::newRow("a rule typed by hand")
            << 7 << QStringList{"ruleEdit:FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=-1"} << false
            << "FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=-1"
            << ""
            << "2016-05-31" << u("自定义：FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=-1");
        QTest::newRow("a weekly shutdown") << 3 << QStringList() << true << "FREQ=WEEKLY;BYDAY=SU"
                                           << ""
                                           << "2016-05-08" << u("每周日");
    }
    void repeatIsStored()
    {
        QFETCH(int, item);
        QFETCH(QStringList, details);
        QFETCH(bool, shutdown);
        QFETCH(QString, rule);
        QFETCH(QString, workdays);
        QFETCH(QString, date);
        QFETCH(QString, shown);
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        if (shutdown) {
            env.fakes.boxes.answerNext(MbResult::Yes);
            click(dlg, ids::kIdcAutoShutdown);
            env.fakes.boxes.clear();
        } else {
            typeEditor(dlg, u("周会"), u("三楼"));
        }
        timePicker(dlg)->setTime(QTime(8, 30, 0));
        choose(dlg, item);
        if (item == 3 || item == 4 || item >= 6)
            QVERIFY(fillDetails(dlg, details));
        QCOMPARE(repeatCombo(dlg)->currentIndex(), item);
        QCOMPARE(repeatCombo(dlg)->currentText(), shown);
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());
        click(dlg, ids::kIdcAddModify);

        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("添加成功！  ")});
        QCOMPARE(env.records().size(), 1);
        QCOMPARE(env.records().first().mid(2, 3), (QStringList{date, u("08:30:00"), u("0")}));
        QCOMPARE(ruleOf(env, lastId(env)), (QStringList{u("2016-05-01 08:30:00"), rule, workdays}));
        // Stored, the editor is empty again with no repeat.
        QCOMPARE(repeatCombo(dlg)->currentIndex(), 0);
        QCOMPARE(repeatCombo(dlg)->currentText(), u("不重复"));
    }

    // A rule that cannot be read, or a series already over: its reason in a
    // box, and nothing stored.
    void refusedRule_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QDate>("picked");
        QTest::addColumn<QString>("message");
        QTest::newRow("a frequency that does not exist")
            << "FREQ=SOMETIMES" << kToday << u("FREQ 只能是 DAILY、WEEKLY、MONTHLY 或 YEARLY");
        QTest::newRow("several times a day")
            << "FREQ=DAILY;BYHOUR=8,9" << kToday << u("提醒每天最多一次，时刻取自开始时间，不支持 BYHOUR");
        QTest::newRow("ended before now")
            << "FREQ=DAILY;COUNT=3" << QDate(2016, 4, 1) << u("这个重复规则以后再没有提醒的时间了。  ");
    }
    void refusedRule()
    {
        QFETCH(QString, rule);
        QFETCH(QDate, picked);
        QFETCH(QString, message);
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        typeEditor(dlg, u("周会"), u("三楼"));
        dlg.datePicker->setDate(picked);
        choose(dlg, 7);
        QVERIFY(fillDetails(dlg, {u("ruleEdit:") + rule}));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{message});
        QVERIFY(env.records().isEmpty());
        QVERIFY(Query(env.folder.databaseFile(), QStringLiteral("select * from repeatrule")).isEmpty());
        // The editor keeps what was typed and chosen.
        QCOMPARE(subjectEdit(dlg)->text(), u("周会"));
        QCOMPARE(repeatCombo(dlg)->currentIndex(), 7);
    }

    // 每天提醒 and the chooser's 每天 are one choice.
    void everyDayInStep()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        click(dlg, ids::kIdcEveryDay);
        QCOMPARE(repeatCombo(dlg)->currentText(), u("每天"));
        click(dlg, ids::kIdcEveryDay);
        QCOMPARE(repeatCombo(dlg)->currentText(), u("不重复"));
        choose(dlg, 1);
        QVERIFY(button(dlg, ids::kIdcEveryDay)->isChecked());
        typeEditor(dlg, u("吃药"), u("饭后"));
        timePicker(dlg)->setTime(QTime(7, 5, 9));
        click(dlg, ids::kIdcAddModify);
        QCOMPARE(env.records().first().mid(2, 3), (QStringList{u("Every Day"), u("07:05:09"), u("0")}));
        QVERIFY(Query(env.folder.databaseFile(), QStringLiteral("select * from repeatrule")).isEmpty());

        // Details given up: the chooser is back at what held.
        choose(dlg, 3);
        auto* details = dlg.findChild<RepeatDialog*>(QStringLiteral("repeatDialog"));
        QVERIFY(details && details->isVisible());
        details->reject();
        QCOMPARE(repeatCombo(dlg)->currentText(), u("不重复"));
        QVERIFY(!button(dlg, ids::kIdcEveryDay)->isChecked());

        // A wheel turned over the chooser picks nothing.
        QWheelEvent wheel(QPointF(5, 5), repeatCombo(dlg)->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(repeatCombo(dlg), &wheel);
        QCOMPARE(repeatCombo(dlg)->currentIndex(), 0);
        QVERIFY(!dlg.findChild<RepeatDialog*>(QStringLiteral("repeatDialog")) ||
                !dlg.findChild<RepeatDialog*>(QStringLiteral("repeatDialog"))->isVisible());

        // Loaded, an every-day record shows as 每天.
        clickRow(dlg, 0);
        QCOMPARE(repeatCombo(dlg)->currentText(), u("每天"));
    }

    // A repeating record loaded and changed: the chooser shows its rule, and
    // the series keeps its start unless its date, time or rule changed.
    void modifyRepeating_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QTime>("newTime");      // invalid: unchanged
        QTest::addColumn<int>("newItem");        // -1: unchanged
        QTest::addColumn<QStringList>("stored"); // dtstart, rrule, workdays; empty: no rule
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("zone"); // an imported series' zone, kept as long as the series is
        const QString weekly = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE,FR");
        QTest::newRow("the subject changed keeps the start")
            << weekly << u("每周一、三、五") << QTime() << -1
            << QStringList{"2016-04-25 08:30:00", weekly, ""} << "08:30:00" << QString();
        QTest::newRow("the time changed starts the series anew")
            << weekly << u("每周一、三、五") << QTime(9, 0, 0) << -1
            << QStringList{"2016-05-02 09:00:00", weekly, ""} << "09:00:00" << QString();
        QTest::newRow("a rule without a preset is kept as written")
            << "FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=1" << u("自定义：FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=1")
            << QTime() << -1 << QStringList{"2016-04-25 08:30:00", "FREQ=MONTHLY;BYDAY=MO,TU;BYSETPOS=1", ""}
            << "08:30:00" << QString();
        QTest::newRow("no repeat takes the rule away")
            << weekly << u("每周一、三、五") << QTime() << 0 << QStringList() << "08:30:00" << QString();
        QTest::newRow("workdays instead")
            << weekly << u("每周一、三、五") << QTime() << 2 << QStringList{"2016-05-02 08:30:00", "", "CN"}
            << "08:30:00" << QString();
        QTest::newRow("an imported series keeps its zone and alarm when only the subject changed")
            << weekly << u("每周一、三、五") << QTime() << -1
            << QStringList{"2016-04-25 08:30:00", weekly, ""} << "08:30:00"
            << "America/New_York";
    }

    void modifyRepeating()
    {
        QFETCH(QString, rule);
        QFETCH(QString, shown);
        QFETCH(QTime, newTime);
        QFETCH(int, newItem);
        QFETCH(QStringList, stored);
        QFETCH(QString, time);
        QFETCH(QString, zone);
        Env env;
        QVERIFY(env.open());
        const QString id =
            insertRepeating(env, u("2016-05-02"), u("08:30:00"), u("2016-04-25 08:30:00"), rule, zone);
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        clickRow(dlg, 0);
        QCOMPARE(repeatCombo(dlg)->currentText(), shown);
        QCOMPARE(dlg.datePicker->date(), QDate(2016, 5, 2));
        QVERIFY(!button(dlg, ids::kIdcCancelReminder)->isChecked());

        subjectEdit(dlg)->selectAll();
        TypeText(subjectEdit(dlg), u("例会"));
        if (newTime.isValid())
            timePicker(dlg)->setTime(newTime);
        if (newItem >= 0)
            choose(dlg, newItem);
        click(dlg, ids::kIdcAddModify);

        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("修改成功！  ")});
        QCOMPARE(env.records().first().mid(0, 5),
                 (QStringList{u("例会"), u("三楼"), u("2016-05-02"), time, u("0")}));
        QCOMPARE(ruleOf(env, id), stored);
        if (!zone.isEmpty())
            QCOMPARE(Query(env.folder.databaseFile(),
                           QStringLiteral("select tzid, alarm from repeatrule where id=%1").arg(id))
                         .value(0),
                     (QStringList{zone, u("600")}));
    }

    // The chooser beside the clock line, named by its label, reached after 每天提醒.
    void chooserPlace()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QComboBox* combo = repeatCombo(dlg);
        QVERIFY(combo);
        QCOMPARE(combo->count(), 8);
        QCOMPARE(combo->itemText(2), u("每个工作日（含调休）"));
        QCOMPARE(item<QLabel>(dlg, "repeatLabel")->buddy(), static_cast<QWidget*>(combo));
        QCOMPARE(item<QWidget>(dlg, "everyDayCheck")->nextInFocusChain(), static_cast<QWidget*>(combo));
        // The clock line's text still fits in the part of the row it keeps.
        QWidget* clock = dlg.GetDlgItem(ids::kIdcClockLine);
        const QString longest = u("现在时间：2016-05-01 10:00:00 星期三");
        QVERIFY(clock->fontMetrics().horizontalAdvance(longest) <= clock->width());
        QVERIFY(clock->geometry().right() < item<QLabel>(dlg, "repeatLabel")->geometry().left());
    }
};

QTEST_MAIN(TestRepeatChooser)
#include "tst_repeatchooser.moc"
