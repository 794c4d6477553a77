// "稍后提醒" on the reminder popup: the menu, the custom length, what a snooze
// writes, and the record falling due again at that second.

#include "reminders/DueCheck.h"
#include "reminders/DueQueue.h"
#include "support/PopupRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QtTest>
#include <ctime>

namespace {
const QDateTime kShown(QDate(2026, 1, 1), QTime(10, 0, 7));

template <typename T> T* child(QWidget* dlg, const char* name)
{
    T* w = dlg->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QMenu* snoozeMenu(QWidget* dlg)
{
    return child<QPushButton>(dlg, "snoozeButton")->menu();
}

// Answers the minutes dialog once it runs: types minutes and presses 确  定, or
// presses 取  消 (minutes 0). Notes what the dialog showed.
struct MinutesAnswer
{
    QString title, label, ok, cancel, suffix;
    int minimum = 0, maximum = 0;
    bool seen = false;

    void answerWith(int minutes)
    {
        QTimer::singleShot(0, [this, minutes] {
            auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dlg || dlg->objectName() != QLatin1String("snoozeLengthDlg"))
                return;
            seen = true;
            title = dlg->windowTitle();
            label = dlg->findChild<QLabel*>()->text();
            auto* spin = child<QSpinBox>(dlg, "minutesSpin");
            minimum = spin->minimum();
            maximum = spin->maximum();
            suffix = spin->suffix();
            ok = child<QPushButton>(dlg, "okButton")->text();
            cancel = child<QPushButton>(dlg, "cancelButton")->text();
            if (minutes == 0) {
                QTest::mouseClick(child<QPushButton>(dlg, "cancelButton"), Qt::LeftButton);
                return;
            }
            auto* field = spin->findChild<QLineEdit*>();
            field->selectAll();
            QTest::keyClicks(field, QString::number(minutes));
            QTest::mouseClick(child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
        });
    }
};
} // namespace

class TestAlertSnooze : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    // Each choice makes the record fall due again that long from now (to the
    // second), stops the sound and closes the popup. A repeating record's
    // series moves on too: the snooze has taken this occurrence over.
    void snoozeChoicesWriteTheirMoment_data()
    {
        QTest::addColumn<int>("choice"); // the menu's entry
        QTest::addColumn<int>("custom"); // minutes typed into 自定义…
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QString>("moment"); // of the record afterwards
        const QString none;
        const QString today = QStringLiteral("2026-01-01 10:00:00");
        QTest::newRow("5 分钟") << 0 << 0 << none << "2026-01-01 10:05:07" << today;
        QTest::newRow("10 分钟") << 1 << 0 << none << "2026-01-01 10:10:07" << today;
        QTest::newRow("30 分钟") << 2 << 0 << none << "2026-01-01 10:30:07" << today;
        QTest::newRow("1 小时") << 3 << 0 << none << "2026-01-01 11:00:07" << today;
        QTest::newRow("自定义… 90 minutes") << 4 << 90 << none << "2026-01-01 11:30:07" << today;
        QTest::newRow("自定义… a whole day, the most") << 4 << 1440 << none << "2026-01-02 10:00:07" << today;
        QTest::newRow("a weekly reminder, 5 分钟: the series moves to next week") << 0 << 0 << "FREQ=WEEKLY"
                                                                                  << "2026-01-01 10:05:07"
                                                                                  << "2026-01-08 10:00:00";
        QTest::newRow("a daily reminder, a whole day: the series moves to tomorrow, before the snooze")
            << 4 << 1440 << "FREQ=DAILY"
            << "2026-01-02 10:00:07"
            << "2026-01-02 10:00:00";
    }
    void snoozeChoicesWriteTheirMoment()
    {
        QFETCH(int, choice);
        QFETCH(int, custom);
        QFETCH(QString, rrule);
        QFETCH(QString, until);
        QFETCH(QString, moment);
        PopupRig rig;
        const QString id = rig.add(QString::fromUtf8("开会"), QString::fromUtf8("三楼"));
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        rig.fakes.clock.set(kShown);
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QMenu* menu = snoozeMenu(dlg.get());
        QVERIFY(menu);
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, QString::fromUtf8("5 分钟|10 分钟|30 分钟|1 小时|自定义…").split('|'));

        MinutesAnswer answer;
        if (custom)
            answer.answerWith(custom);
        menu->actions().at(choice)->trigger();
        QCOMPARE(answer.seen, custom != 0);
        QVERIFY(dlg->closed());
        QCOMPARE(rig.snoozeOf(id), until);
        QCOMPARE(rig.momentOf(id), moment);
        QCOMPARE(rig.useOf(id), QStringLiteral("0"));
        QCOMPARE(rig.hasRule(id), !rrule.isEmpty());
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QCOMPARE(rig.reloads, 1);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // The minutes dialog speaks Chinese and takes 1 to 1440; cancelled, it
    // changes nothing and the popup waits on.
    void customLengthAsksForMinutes()
    {
        PopupRig rig;
        const QString id = rig.add("a", "b");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        MinutesAnswer answer;
        answer.answerWith(0);
        snoozeMenu(dlg.get())->actions().last()->trigger();
        QVERIFY(answer.seen);
        QCOMPARE(answer.title, QString::fromUtf8("稍后提醒"));
        QCOMPARE(answer.label, QString::fromUtf8("多少分钟后再提醒（1～1440）："));
        QCOMPARE(answer.suffix, QString::fromUtf8(" 分钟"));
        QCOMPARE(answer.minimum, 1);
        QCOMPARE(answer.maximum, 1440);
        QCOMPARE(answer.ok, QString::fromUtf8("确  定"));
        QCOMPARE(answer.cancel, QString::fromUtf8("取  消"));
        QVERIFY(!dlg->closed());
        QVERIFY(rig.soundLooping());
        QVERIFY(rig.snoozeOf(id).isEmpty());
        QCOMPARE(rig.reloads, 0);
    }

    // A popup that falls due while the user types takes the keyboard: in its
    // first second the menu's keys do nothing either.
    void keysInTheFirstSecondSnoozeNothing()
    {
        PopupRig rig;
        const QString id = rig.add("a", "b");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QMenu* menu = snoozeMenu(dlg.get());
        menu->popup(dlg->mapToGlobal(QPoint(0, 0)));
        menu->setActiveAction(menu->actions().first());
        rig.fakes.clock.advanceMs(900);
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(!dlg->closed());
        QVERIFY(rig.snoozeOf(id).isEmpty());
        QVERIFY(rig.soundLooping());

        rig.fakes.clock.advanceMs(100);
        menu->setActiveAction(menu->actions().first());
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(dlg->closed());
        QCOMPARE(rig.snoozeOf(id), QStringLiteral("2026-01-01 10:05:01"));
    }

    // A snooze the store refuses says why; nothing has changed (the series has
    // not moved either) and the popup waits on, sound and all.
    void refusedSnoozeSaysWhy_data()
    {
        QTest::addColumn<QString>("rrule");
        QTest::newRow("a dated reminder") << QString();
        QTest::newRow("a weekly reminder") << "FREQ=WEEKLY";
    }
    void refusedSnoozeSaysWhy()
    {
        QFETCH(QString, rrule);
        PopupRig rig;
        const QString id = rig.add("a", "b");
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        rig.block("insert", "snooze");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        snoozeMenu(dlg.get())->actions().first()->trigger();
        QCOMPARE(rig.fakes.boxes.texts(), QStringList{QString::fromUtf8("数据文件拒绝了这项修改（kept）")});
        QVERIFY(!dlg->closed());
        QVERIFY(rig.soundLooping());
        QVERIFY(rig.snoozeOf(id).isEmpty());
        QCOMPARE(rig.momentOf(id), QStringLiteral("2026-01-01 10:00:00"));
        QCOMPARE(rig.reloads, 0);

        // It can still be acknowledged.
        QTest::mouseClick(child<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QVERIFY(dlg->closed());
    }

    // A popup shown for a snooze that fell due shows the snooze's time, and
    // acknowledging it ends the snooze; a snooze still to come outlives the
    // acknowledgement of the record's own occurrence.
    void acknowledgingASnoozeEndsIt_data()
    {
        QTest::addColumn<QString>("date"); // the record's date, at 10:00:00
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("until"); // the snooze's
        QTest::addColumn<QString>("shown"); // in 提醒时间
        QTest::addColumn<QString>("after"); // the record's "date time use"
        QTest::addColumn<QString>("left");  // the snooze afterwards
        const QString none;
        QTest::newRow("a dated reminder kept as the setting says")
            << "2026-01-01" << none << "2026-01-01 10:30:00"
            << "2026-01-01 10:30:00"
            << "2026-01-01 10:00:00 1" << none;
        QTest::newRow("a weekly reminder stays at next week's occurrence") << "2026-01-08"
                                                                           << "FREQ=WEEKLY"
                                                                           << "2026-01-01 10:30:00"
                                                                           << "2026-01-01 10:30:00"
                                                                           << "2026-01-08 10:00:00 0" << none;
        QTest::newRow("an every-day reminder's own occurrence leaves a later snooze")
            << "Every Day" << none << "2026-01-01 12:00:00"
            << "Every Day 10:30:00"
            << "Every Day 10:30:00 0"
            << "2026-01-01 12:00:00";
    }
    void acknowledgingASnoozeEndsIt()
    {
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(QString, until);
        QFETCH(QString, shown);
        QFETCH(QString, after);
        QFETCH(QString, left);
        PopupRig rig;
        rig.setIfDelete("Isfalse");
        const QString time = date == QLatin1String("Every Day") ? "10:30:00" : "10:00:00";
        const QString id = rig.add("a", "b", date, time);
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        QString message;
        QCOMPARE(repeat::Snooze(*rig.inspector(), id, calendar::wallFromText(until), message), 1);
        QCOMPARE(rig.snoozeOf(id), until);
        rig.fakes.clock.set(QDateTime(QDate(2026, 1, 1), QTime(10, 30, 0)));
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QCOMPARE(child<QLineEdit>(dlg.get(), "timeEdit")->text(), shown);
        QVERIFY(!child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());
        QTest::mouseClick(child<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QVERIFY(dlg->closed());
        QCOMPARE(rig.momentOf(id) + QLatin1Char(' ') + rig.useOf(id), after);
        QCOMPARE(rig.snoozeOf(id), left);
    }

    // Snoozed for 5 minutes, the record falls due again at that very second
    // and not before; that popup shows the snooze's time, and acknowledging it
    // ends the snooze (a kept weekly record stays at next week's occurrence).
    void snoozedReminderFallsDueAgainAtItsSecond_data()
    {
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("after"); // the record's "date time use", or "gone"
        QTest::newRow("a dated reminder, deleted as the setting says") << QString() << "gone";
        QTest::newRow("a weekly reminder, kept for next week") << "FREQ=WEEKLY"
                                                               << "2026-01-08 10:00:00 0";
    }
    void snoozedReminderFallsDueAgainAtItsSecond()
    {
        QFETCH(QString, rrule);
        QFETCH(QString, after);
        PopupRig rig;
        const QString id = rig.add(QString::fromUtf8("开会"), QString::fromUtf8("三楼"));
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        auto first = rig.popup(id);
        QVERIFY(first->OnInitDialog());
        snoozeMenu(first.get())->actions().first()->trigger();
        QVERIFY(first->closed());

        DueCheck check(&AppStore);
        check.context().running.store(true);
        rig.fakes.clock.set(QDateTime(QDate(2026, 1, 1), QTime(10, 4, 59)));
        QVERIFY(!check.runPass().contains(id));
        rig.fakes.clock.advanceSecs(1);
        QCOMPARE(check.runPass(), QStringList{id});

        auto again = rig.popup(id);
        QVERIFY(again->OnInitDialog());
        QVERIFY(again->snoozeDue);
        QCOMPARE(child<QLineEdit>(again.get(), "timeEdit")->text(), QStringLiteral("2026-01-01 10:05:00"));
        QVERIFY(rig.soundLooping());
        QTest::mouseClick(child<QPushButton>(again.get(), "okButton"), Qt::LeftButton);
        QVERIFY(again->closed());
        QVERIFY(rig.snoozeOf(id).isEmpty());
        const QString use = rig.useOf(id);
        QCOMPARE(use == QLatin1String("gone") ? use : rig.momentOf(id) + QLatin1Char(' ') + use, after);
    }
};

QTEST_MAIN(TestAlertSnooze)
#include "tst_alertsnooze.moc"
