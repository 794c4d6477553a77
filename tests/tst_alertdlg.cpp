#include "app/ReminderApp.h"
#include "base/Gbk.h"
#include "platform/QtSound.h"
#include "reminders/AlertDlg.h"
#include "reminders/DueCheck.h"
#include "reminders/DueQueue.h"
#include "store/AdoDatabase.h"
#include "support/PopupAcknowledger.h"
#include "support/PopupRig.h"
#include "support/TestSupport.h"
#include "sync/SyncStatus.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <ctime>
#include <sqlite3.h>

namespace {
const QString kTable = QStringLiteral("recordmsg");
const QString kDeleteFailed = QString::fromUtf8("晕！软件罢工啦！重新启动一下吧！  ");
const QString kPromptNotice = QString::fromUtf8("\n\n您设定的关机时间已经到了，请直接点击按钮执行相关操作！");
const QString kDirectNotice = QString::fromUtf8("\n\n关机时间已经到了，系统即将自动关机！");
const QString kNotConnected = QString::fromUtf8("数据库还没有连接好，无效的数据操作！  ");

template <typename T> T* child(QWidget* dlg, const char* name)
{
    T* w = dlg->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

using Rig = PopupRig;

struct WaveInfo
{
    int format = 0, channels = 0, rate = 0, bits = 0;
    QByteArray data;
};

// The canonical 44-byte header that the sound generator writes.
WaveInfo readWave(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray all = f.readAll();
    const auto u16 = [&](int at) { return int(quint8(all.at(at))) | int(quint8(all.at(at + 1))) << 8; };
    WaveInfo w;
    if (all.size() < 44 || !all.startsWith("RIFF") || all.mid(8, 8) != "WAVEfmt " || all.mid(36, 4) != "data")
        return w;
    w = {u16(20), u16(22), u16(24) | u16(26) << 16, u16(34), all.mid(44)};
    return w;
}
} // namespace

class TestAlertDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    void showsTheRecordWithEveryControl()
    {
        Rig rig;
        const QString id = rig.add(QString::fromUtf8("开会"), QString::fromUtf8("三楼\r\n会议室"));
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());

        QCOMPARE(dlg->windowTitle(), QString::fromUtf8("Tolva小精灵 - 提醒您"));
        QVERIFY(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(dlg->windowFlags() & Qt::WindowCloseButtonHint);
        const QList<QPair<const char*, const char*>> texts = {
            {"timeEdit", "2026-01-01 10:00:00"},
            {"subjectEdit", "开会"},
            {"contentEdit", "三楼\n会议室"},
            {"timeLabel", "提醒时间："},
            {"subjectLabel", "提醒主题："},
            {"contentLabel", "提醒内容："},
            {"deleteCheck", "直接删除"},
            {"shutdownCheck", "直接关机"},
            {"okButton", "我知道了"},
            {"snoozeButton", "稍后提醒"},
            {"deleteRadio", "删除信息"},
            {"keepRadio", "保留信息"},
            {"defaultLabel", "已经提醒过的信息，默认の执行操作："},
            {"settingsGroup", "相关设置"}};
        for (const auto& [name, text] : texts) {
            QObject* w = dlg->findChild<QObject*>(QLatin1String(name));
            QVERIFY2(w, name);
            const char* property = qobject_cast<QPlainTextEdit*>(w) ? "plainText"
                                   : qobject_cast<QGroupBox*>(w)    ? "title"
                                                                    : "text";
            QCOMPARE(w->property(property).toString(), QString::fromUtf8(text));
        }
        for (const char* name : {"timeEdit", "subjectEdit", "contentEdit"})
            QVERIFY2(child<QWidget>(dlg.get(), name)->property("readOnly").toBool(), name);
        QVERIFY(!child<QCheckBox>(dlg.get(), "deleteCheck")->isHidden());
        QVERIFY(child<QCheckBox>(dlg.get(), "shutdownCheck")->isHidden());
        // The two boxes share one place.
        QCOMPARE(child<QCheckBox>(dlg.get(), "deleteCheck")->geometry(),
                 child<QCheckBox>(dlg.get(), "shutdownCheck")->geometry());
        // 稍后提醒 found a place of its own, inside the popup.
        auto* snooze = child<QPushButton>(dlg.get(), "snoozeButton");
        QVERIFY(snooze->isEnabled() && !snooze->isHidden());
        QVERIFY(dlg->rect().contains(snooze->geometry()));
        for (QWidget* other : dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (other != snooze && !other->isWindow())
                QVERIFY2(!other->geometry().intersects(snooze->geometry()), qPrintable(other->objectName()));
        }
        // The decoration is the program's own icon.
        auto* icon = child<QLabel>(dlg.get(), "iconLabel");
        const QImage programIcon = QIcon(QStringLiteral(":/icon128.svg")).pixmap(icon->size()).toImage();
        QVERIFY(!programIcon.isNull());
        QCOMPARE(icon->pixmap().toImage(), programIcon);
        QVERIFY(rig.soundLooping());
        QCOMPARE(rig.plays(), 1);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // What 直接删除 starts from, and what acknowledging it then does. A
    // repeating record is kept like an every-day one while its series goes on,
    // and moves to its next occurrence; after its last occurrence it is a dated
    // record. A kept every-day or repeating record stays not used ("0"):
    // "1" would cancel it.
    void deleteChoiceFromTheSettings_data()
    {
        QTest::addColumn<QString>("setting"); // empty: no settings file
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("rrule");    // empty: no rule
        QTest::addColumn<QString>("dtstart");  // the series' start
        QTest::addColumn<bool>("deletes");     // 直接删除 ticked
        QTest::addColumn<bool>("deleteRadio"); // 删除信息 chosen
        QTest::addColumn<QString>("after");    // the record's "date time" and use afterwards, or "gone"
        QTest::addColumn<QString>("madeBy");   // the synced event's PRODID on the server; empty: not synced
        const QString none;
        const QString start = QStringLiteral("2026-01-01 10:00:00");
        QTest::newRow("missing") << none << "2026-01-01" << none << none << true << true << "gone" << none;
        QTest::newRow("Istrue") << "Istrue"
                                << "2026-01-01" << none << none << true << true << "gone" << none;
        QTest::newRow("Isfalse") << "Isfalse"
                                 << "2026-01-01" << none << none << false << false << "2026-01-01 10:00:00 1"
                                 << none;
        QTest::newRow("other case") << "istrue"
                                    << "2026-01-01" << none << none << false << false
                                    << "2026-01-01 10:00:00 1" << none;
        QTest::newRow("longer") << "IstrueXY"
                                << "2026-01-01" << none << none << false << false << "2026-01-01 10:00:00 1"
                                << none;
        QTest::newRow("every day is kept whatever the setting, and keeps falling due")
            << "Istrue"
            << "Every Day" << none << none << false << true << "Every Day 10:00:00 0" << none;
        QTest::newRow("a weekly reminder is kept whatever the setting and moves to next week")
            << "Istrue"
            << "2026-01-01"
            << "FREQ=WEEKLY" << start << false << true << "2026-01-08 10:00:00 0" << none;
        QTest::newRow("a reminder on workdays of the week skips the weekend")
            << "Isfalse"
            << "2026-01-02"
            << "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR" << start << false << false << "2026-01-05 10:00:00 0"
            << none;
        QTest::newRow("the last occurrence of two is deleted as the setting says")
            << "Istrue"
            << "2026-01-01"
            << "FREQ=DAILY;COUNT=2"
            << "2025-12-31 10:00:00" << true << true << "gone" << none;
        QTest::newRow("the last occurrence of two is kept as the setting says")
            << "Isfalse"
            << "2026-01-01"
            << "FREQ=DAILY;COUNT=2"
            << "2025-12-31 10:00:00" << false << false << "2026-01-01 10:00:00 1" << none;
        QTest::newRow("a series that ends today at its last occurrence is a dated one")
            << "Istrue"
            << "2026-01-01"
            << "FREQ=WEEKLY;UNTIL=20260101T100000"
            << "2025-12-25 10:00:00" << true << true << "gone" << none;
        QTest::newRow("a phone's synced event is marked acknowledged, never deleted, by 删除信息")
            << "Istrue"
            << "2026-01-01" << none << none << true << true << "2026-01-01 10:00:00 1"
            << "-//Apple Inc.//iOS 17.0//EN";
        QTest::newRow("a synced reminder this program made is deleted by 删除信息")
            << "Istrue"
            << "2026-01-01" << none << none << true << true << "gone"
            << "-//Tolva//Tolva小精灵//ZH";
    }
    void deleteChoiceFromTheSettings()
    {
        QFETCH(QString, setting);
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(QString, dtstart);
        QFETCH(bool, deletes);
        QFETCH(bool, deleteRadio);
        QFETCH(QString, after);
        QFETCH(QString, madeBy);
        Rig rig;
        if (!setting.isEmpty())
            rig.setIfDelete(setting);
        if (date != QLatin1String("Every Day"))
            rig.fakes.clock.set(QDateTime(QDate::fromString(date, Qt::ISODate), QTime(10, 0, 0)));
        const QString id = rig.add(QString::fromUtf8("交报告"), QString::fromUtf8("周报"), date);
        rig.setRule(id, dtstart, rrule);
        if (!madeBy.isEmpty()) {
            auto db = rig.inspector();
            const QString uid = repeat::UidOf(*db, id);
            QVERIFY(!uid.isEmpty());
            const QByteArray remote = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:" + madeBy.toUtf8() +
                                      "\r\nBEGIN:VEVENT\r\nUID:" + uid.toUtf8() +
                                      "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
            QString message;
            QCOMPARE(sync::WriteStatus(*db,
                                       {uid, QStringLiteral("/cal/e.ics"), QStringLiteral("\"1\""), remote,
                                        "BEGIN:VCALENDAR"},
                                       message),
                     1);
        }
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QCOMPARE(dlg->everyDayRecord, date == QLatin1String("Every Day"));
        QCOMPARE(child<QLineEdit>(dlg.get(), "timeEdit")->text(), date + QStringLiteral(" 10:00:00"));
        QCOMPARE(child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked(), deletes);
        QCOMPARE(child<QRadioButton>(dlg.get(), "deleteRadio")->isChecked(), deleteRadio);
        QCOMPARE(child<QRadioButton>(dlg.get(), "keepRadio")->isChecked(), !deleteRadio);

        // Acknowledged a little later: the next occurrence is the first after then.
        rig.fakes.clock.advanceSecs(20);
        QTest::mouseClick(child<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QVERIFY(dlg->closed());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        const QString use = rig.useOf(id);
        QCOMPARE(use == QLatin1String("gone") ? use : rig.momentOf(id) + QLatin1Char(' ') + use, after);
        // The rule goes with its record, and only with it.
        QCOMPARE(rig.hasRule(id), !rrule.isEmpty() && after != QLatin1String("gone"));
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QCOMPARE(rig.reloads, 1);
        QCOMPARE(rig.fakes.power.requests(), 0);
        QVERIFY(rig.app.database());
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // Ticked by hand, 直接删除 takes a repeating record with its whole series
    // and its snooze.
    void deletingARepeatingRecordTakesItsSeries()
    {
        Rig rig;
        const QString id = rig.add("a", "b");
        const QString other = rig.add("c", "d");
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), QStringLiteral("FREQ=WEEKLY"));
        rig.setRule(other, QStringLiteral("2026-01-01 10:00:00"), QStringLiteral("FREQ=DAILY"));
        QString message;
        QCOMPARE(repeat::Snooze(*rig.inspector(), id, QDateTime(QDate(2026, 1, 1), QTime(9, 55), Qt::UTC),
                                message),
                 1);
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QVERIFY(!child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());
        QTest::mouseClick(child<QCheckBox>(dlg.get(), "deleteCheck"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QVERIFY(dlg->closed());
        QCOMPARE(rig.useOf(id), QStringLiteral("gone"));
        QVERIFY(!rig.hasRule(id));
        QVERIFY(rig.snoozeOf(id).isEmpty());
        QVERIFY(rig.hasRule(other));
    }

    // A popup that falls due while the user types takes the keyboard: in its
    // first second keys change nothing; a click, and later Enter and Esc, answer it.
    void everyWayOfClosingAcknowledges_data()
    {
        QTest::addColumn<QString>("target");    // the control that gets it; empty: the popup
        QTest::addColumn<int>("key");           // 0: a click; -1: the close box
        QTest::addColumn<bool>("acknowledges"); // the key, after the first second
        QTest::newRow("a click on 我知道了 at once") << "okButton" << 0 << true;
        QTest::newRow("the close box at once") << QString() << -1 << true;
        QTest::newRow("Enter in the content") << "contentEdit" << int(Qt::Key_Return) << true;
        QTest::newRow("Enter of the keypad") << QString() << int(Qt::Key_Enter) << true;
        QTest::newRow("Esc") << QString() << int(Qt::Key_Escape) << true;
        QTest::newRow("Space on 我知道了") << "okButton" << int(Qt::Key_Space) << true;
        QTest::newRow("Space on 直接删除") << "deleteCheck" << int(Qt::Key_Space) << false;
        QTest::newRow("an arrow on the radios") << "deleteRadio" << int(Qt::Key_Right) << false;
    }
    void everyWayOfClosingAcknowledges()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(bool, acknowledges);
        Rig rig;
        const QString id = rig.add("a", "b");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
        QWidget* to = target.isEmpty() ? dlg.get() : child<QWidget>(dlg.get(), qPrintable(target));
        to->setFocus();
        const auto k = Qt::Key(key);
        const auto unanswered = [&] {
            QVERIFY(dlg->isVisible());
            QVERIFY(!dlg->closed());
            QCOMPARE(rig.useOf(id), QStringLiteral("0"));
            QVERIFY(child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());
            QVERIFY(child<QRadioButton>(dlg.get(), "deleteRadio")->isChecked());
            QVERIFY(!QFile::exists(rig.folder.settingsFile()));
            QVERIFY(rig.soundLooping());
        };

        if (key > 0) {
            QTest::keyClick(to, k);
            rig.fakes.clock.advanceMs(999);
            QTest::keyPress(to, k);
            unanswered();
            if (QTest::currentTestFailed())
                return;
            // Held down from the first second into the time after it.
            rig.fakes.clock.advanceMs(1);
            QKeyEvent repeat(QEvent::KeyPress, k, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(to, &repeat);
            QTest::keyRelease(to, k);
            unanswered();
            if (QTest::currentTestFailed())
                return;
            // Help does nothing and closes nothing.
            QTest::keyClick(dlg.get(), Qt::Key_F1);
            unanswered();
            if (QTest::currentTestFailed() || !acknowledges)
                return;
        }

        if (key == 0)
            QTest::mouseClick(to, Qt::LeftButton);
        else if (key < 0)
            dlg->close();
        else
            QTest::keyClick(to, k);
        QVERIFY(!dlg->isVisible());
        QVERIFY(dlg->closed());
        QCOMPARE(rig.useOf(id), QStringLiteral("gone"));
        QCOMPARE(rig.fakes.sound.playing(), 0);
        // The popup's notification goes with it.
        QCOMPARE(rig.fakes.notifications.shown().size(), 1);
        QCOMPARE(rig.fakes.notifications.closedByProgram(),
                 QList<int>{rig.fakes.notifications.shown().first().handle});
    }

    // The popup shows on the desktop's notifications too; their actions answer
    // it as its own controls do, and a dismissal answers nothing.
    void notificationMirrorsThePopup_data()
    {
        QTest::addColumn<QString>("ifDelete");
        QTest::addColumn<bool>("notify");    // the switch in the settings
        QTest::addColumn<QString>("answer"); // an action's key, "dismiss" or empty
        QTest::addColumn<QString>("after");  // the record's use, or "gone"
        QTest::addColumn<bool>("open");      // the popup after the answer
        QTest::addColumn<QString>("snooze");
        QTest::addColumn<bool>("noted"); // the acknowledgement's moment recorded
        QTest::newRow("我知道了 on the notification deletes as the button does")
            << "Istrue" << true << "ok"
            << "gone" << false << QString() << false;
        QTest::newRow("我知道了 on the notification keeps and records when")
            << "Isfalse" << true << "ok"
            << "1" << false << QString() << true;
        QTest::newRow("稍后提醒 on the notification snoozes ten minutes")
            << "Istrue" << true << "snooze"
            << "0" << false << "2026-01-01 10:10:00" << false;
        QTest::newRow("a dismissed notification answers nothing") << "Istrue" << true << "dismiss"
                                                                  << "0" << true << QString() << false;
        QTest::newRow("an unknown action answers nothing") << "Istrue" << true << "default"
                                                           << "0" << true << QString() << false;
        QTest::newRow("switched off: no notification")
            << "Istrue" << false << QString() << "0" << true << QString() << false;
    }
    void notificationMirrorsThePopup()
    {
        QFETCH(QString, ifDelete);
        QFETCH(bool, notify);
        QFETCH(QString, answer);
        QFETCH(QString, after);
        QFETCH(bool, open);
        QFETCH(QString, snooze);
        QFETCH(bool, noted);
        Rig rig;
        WriteAll(rig.folder.settingsFile(),
                 gbk::encode(QString::fromUtf8("[常规设置]\r\nIfDelete=") + ifDelete +
                             (notify ? QString() : QStringLiteral("\r\nNotify=Isfalse")) + "\r\n"));
        const QString id = rig.add(QString::fromUtf8("交报告"), QString::fromUtf8("周报\r\n第二行"));
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        FakeNotifications& desktop = rig.fakes.notifications;
        if (!notify) {
            QVERIFY(desktop.shown().isEmpty());
            return;
        }
        QCOMPARE(desktop.shown().size(), 1);
        const auto& shown = desktop.shown().first();
        QCOMPARE(shown.message.summary, QString::fromUtf8("交报告"));
        QCOMPARE(shown.message.body, QString::fromUtf8("周报\n第二行"));
        QCOMPARE(shown.message.urgency, Notifications::Urgency::Critical);
        QCOMPARE(shown.message.actions,
                 (QStringList{"ok", QString::fromUtf8("我知道了"), "snooze", QString::fromUtf8("稍后提醒")}));
        if (answer == QLatin1String("dismiss"))
            desktop.dismiss(shown.handle);
        else
            desktop.invoke(shown.handle, answer);
        QCOMPARE(dlg->closed(), !open);
        QCOMPARE(rig.useOf(id), after);
        QCOMPARE(rig.snoozeOf(id), snooze);
        auto db = rig.inspector();
        QString message;
        QCOMPARE(db->CountRows(QStringLiteral("recordack"), "where id=" + id, message), noted ? 1 : 0);
        // The popup stays the one place to answer; the program never closes
        // a notification that is already gone.
        QVERIFY(desktop.closedByProgram().isEmpty());
        if (open) {
            dlg->OnOK();
            QVERIFY(dlg->closed());
        }
    }

    void choosingADefaultWritesItAtOnce()
    {
        Rig rig;
        const QString id = rig.add("a", "b");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QVERIFY(child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());

        QTest::mouseClick(child<QRadioButton>(dlg.get(), "keepRadio"), Qt::LeftButton);
        QVERIFY(ReadAll(rig.folder.settingsFile()).contains("IfDelete=Isfalse"));
        QVERIFY(!child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());

        // Ticked again by hand: this popup deletes, the default stays "keep".
        QTest::mouseClick(child<QCheckBox>(dlg.get(), "deleteCheck"), Qt::LeftButton);
        dlg->OnOK();
        QCOMPARE(rig.useOf(id), QStringLiteral("gone"));
        QVERIFY(ReadAll(rig.folder.settingsFile()).contains("IfDelete=Isfalse"));

        // The next popup starts from the new default, and choosing delete again writes it.
        const QString next = rig.add("c", "d");
        auto second = rig.popup(next);
        QVERIFY(second->OnInitDialog());
        QVERIFY(!child<QCheckBox>(second.get(), "deleteCheck")->isChecked());
        QTest::mouseClick(child<QRadioButton>(second.get(), "deleteRadio"), Qt::LeftButton);
        QVERIFY(ReadAll(rig.folder.settingsFile()).contains("IfDelete=Istrue"));
        QVERIFY(child<QCheckBox>(second.get(), "deleteCheck")->isChecked());
    }

    // The setting says keep: a one-time record is deleted anyway, once the
    // system has accepted the shutdown. An every-day or repeating record stays
    // and moves on, and shuts down as a one-time one does.
    void promptShutdownAcknowledged_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<bool>("untick");
        QTest::addColumn<QString>("after"); // the record's "date time use", or "gone"
        QTest::addColumn<int>("shutdowns");
        QTest::addColumn<int>("reloads");
        const QString none;
        QTest::newRow("one-time") << "2026-01-01" << none << false << "gone" << 1 << 0;
        QTest::newRow("one-time, box unticked") << "2026-01-01" << none << true << "gone" << 0 << 1;
        QTest::newRow("every day stays") << "Every Day" << none << false << "Every Day 10:00:00 0" << 1 << 1;
        QTest::newRow("every day, box unticked")
            << "Every Day" << none << true << "Every Day 10:00:00 0" << 0 << 1;
        QTest::newRow("daily moves to tomorrow")
            << "2026-01-01"
            << "FREQ=DAILY" << false << "2026-01-02 10:00:00 0" << 1 << 1;
        QTest::newRow("daily, box unticked, moves to tomorrow")
            << "2026-01-01"
            << "FREQ=DAILY" << true << "2026-01-02 10:00:00 0" << 0 << 1;
    }
    void promptShutdownAcknowledged()
    {
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(bool, untick);
        QFETCH(QString, after);
        QFETCH(int, shutdowns);
        QFETCH(int, reloads);
        Rig rig;
        rig.setIfDelete("Isfalse");
        const QString id = rig.add(QString::fromUtf8("关机"), QString::fromUtf8("需要提示"), date);
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QVERIFY(rig.soundLooping());
        QVERIFY(child<QCheckBox>(dlg.get(), "deleteCheck")->isHidden());
        QVERIFY(!child<QCheckBox>(dlg.get(), "shutdownCheck")->isHidden());
        QVERIFY(child<QCheckBox>(dlg.get(), "shutdownCheck")->isChecked());
        QVERIFY(child<QPushButton>(dlg.get(), "snoozeButton")->isHidden());
        QCOMPARE(child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked(), after == QLatin1String("gone"));
        QCOMPARE(child<QPlainTextEdit>(dlg.get(), "contentEdit")->toPlainText(), kPromptNotice);
        QCOMPARE(rig.fakes.power.requests(), 0);

        if (untick)
            QTest::mouseClick(child<QCheckBox>(dlg.get(), "shutdownCheck"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QVERIFY(dlg->closed());
        const QString use = rig.useOf(id);
        QCOMPARE(use == QLatin1String("gone") ? use : rig.momentOf(id) + QLatin1Char(' ') + use, after);
        QCOMPARE(rig.fakes.power.requests(), shutdowns);
        // An accepted shutdown releases the store: no list to reload without it.
        QCOMPARE(bool(rig.app.database()), shutdowns == 0);
        QCOMPARE(rig.reloads, reloads);
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    void directShutdownNeedsNoOne_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<bool>("deletable");
        QTest::addColumn<QString>("after"); // the record's "date time use", or "gone"
        const QString none;
        QTest::newRow("one-time") << "2026-01-01" << none << true << "gone";
        QTest::newRow("every day stays for tomorrow")
            << "Every Day" << none << true << "Every Day 10:00:00 0";
        QTest::newRow("a daily rule moves to tomorrow") << "2026-01-01"
                                                        << "FREQ=DAILY" << true << "2026-01-02 10:00:00 0";
        QTest::newRow("the last of a series goes") << "2026-01-01"
                                                   << "FREQ=DAILY;COUNT=1" << true << "gone";
        QTest::newRow("not deletable: marked, still shuts down")
            << "2026-01-01" << none << false << "2026-01-01 10:00:00 1";
    }
    void directShutdownNeedsNoOne()
    {
        QFETCH(QString, date);
        QFETCH(QString, rrule);
        QFETCH(bool, deletable);
        QFETCH(QString, after);
        Rig rig;
        const QString id = rig.add(QString::fromUtf8("关机"), QString::fromUtf8("直接关机"), date);
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        if (!deletable)
            rig.block("delete");
        auto dlg = rig.popup(id);
        // DoModal returns without running the modal loop: nobody has to answer.
        QCOMPARE(dlg->DoModal(), int(QDialog::Accepted));
        QVERIFY(dlg->closed());
        QVERIFY(!dlg->isVisible());
        QCOMPARE(child<QPlainTextEdit>(dlg.get(), "contentEdit")->toPlainText(), kDirectNotice);
        const QString use = rig.useOf(id);
        QCOMPARE(use == QLatin1String("gone") ? use : rig.momentOf(id) + QLatin1Char(' ') + use, after);
        QCOMPARE(rig.fakes.power.requests(), 1);
        QCOMPARE(rig.plays(), 0);
        QVERIFY(!rig.app.database());
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // A refused shutdown (polkit said no) says why and leaves a one-time record
    // as it was; a repeating one has moved on all the same.
    void refusedShutdownIsReported_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("rrule");
        QTest::addColumn<QString>("after"); // the record's "date time use"
        const QString none;
        QTest::newRow("asking first, one-time: kept") << "需要提示" << none << "2026-01-01 10:00:00 0";
        QTest::newRow("at once, one-time: kept") << "直接关机" << none << "2026-01-01 10:00:00 0";
        QTest::newRow("at once, daily: moved to tomorrow") << "直接关机"
                                                           << "FREQ=DAILY"
                                                           << "2026-01-02 10:00:00 0";
    }
    void refusedShutdownIsReported()
    {
        QFETCH(QString, content);
        QFETCH(QString, rrule);
        QFETCH(QString, after);
        Rig rig;
        rig.fakes.power.setAccept(false);
        const QString id = rig.add(QString::fromUtf8("关机"), content);
        rig.setRule(id, QStringLiteral("2026-01-01 10:00:00"), rrule);
        auto dlg = rig.popup(id);
        if (dlg->OnInitDialog())
            dlg->OnOK();
        QVERIFY(dlg->closed());
        QCOMPARE(rig.fakes.power.requests(), 1);
        QCOMPARE(rig.fakes.boxes.texts(), QStringList{"ExitWindowsEx\n" + FakePower::refusal()});
        QCOMPARE(rig.fakes.boxes.shown().first().buttons, MbButtons::Ok);
        QVERIFY(rig.fakes.boxes.shown().first().caption.isEmpty());
        QVERIFY(rig.app.database()); // the program works on with its store
        QCOMPARE(rig.momentOf(id) + QLatin1Char(' ') + rig.useOf(id), after);
    }

    // Nothing to show and nothing to acknowledge: the message, and after the
    // failed acknowledgement the popup lets the user go.
    void unreadableRecordClosesAfterItsMessage_data()
    {
        QTest::addColumn<bool>("released"); // false: the record is gone
        QTest::newRow("the record is gone: the where clause") << false;
        QTest::newRow("the store is released: not connected") << true;
    }
    void unreadableRecordClosesAfterItsMessage()
    {
        QFETCH(bool, released);
        Rig rig;
        const QString id = rig.add("a", "b");
        QString message;
        if (released)
            rig.app.ReleaseStore();
        else
            rig.inspector()->DeleteRows(kTable, "where id=" + id, 1, message);
        const QString expected = released ? kNotConnected : "where id=" + id;
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        QCOMPARE(rig.fakes.boxes.texts(), QStringList{expected});
        QVERIFY(child<QLineEdit>(dlg.get(), "subjectEdit")->text().isEmpty());
        QVERIFY(child<QLineEdit>(dlg.get(), "timeEdit")->text().isEmpty());
        QVERIFY(!child<QCheckBox>(dlg.get(), "deleteCheck")->isChecked());
        QVERIFY(!child<QCheckBox>(dlg.get(), "shutdownCheck")->isChecked());
        QVERIFY(!child<QRadioButton>(dlg.get(), "deleteRadio")->isChecked());
        QVERIFY(!child<QRadioButton>(dlg.get(), "keepRadio")->isChecked());
        QCOMPARE(rig.plays(), 0);

        dlg->OnOK();
        QCOMPARE(rig.fakes.boxes.texts(), (QStringList{expected, expected}));
        QVERIFY(dlg->closed());
        QCOMPARE(rig.useOf(id), released ? QStringLiteral("0") : QStringLiteral("gone"));
    }

    // While the record is there the popup stays open, sound and all, after
    // every refused deletion; it lets go only when neither deleting nor marking
    // the record works.
    void failedDeletionStaysOpen_data()
    {
        QTest::addColumn<bool>("markable");
        QTest::newRow("kept instead after three refusals") << true;
        QTest::newRow("marking refused too") << false;
    }
    void failedDeletionStaysOpen()
    {
        QFETCH(bool, markable);
        Rig rig;
        const QString id = rig.add("a", "b");
        rig.block("delete");
        if (!markable)
            rig.block("update");
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        dlg->show();
        QStringList messages;
        for (int attempt = 0; attempt < 3; ++attempt) {
            dlg->OnOK();
            // The store's reason under the program's line.
            messages.append(kDeleteFailed + QString::fromUtf8("\n数据文件拒绝了这项修改（kept）"));
            QCOMPARE(rig.fakes.boxes.texts(), messages);
            QVERIFY(!dlg->closed());
            QVERIFY(dlg->isVisible());
            QVERIFY(rig.soundLooping());
        }
        QCOMPARE(rig.reloads, 0);

        QTest::mouseClick(child<QCheckBox>(dlg.get(), "deleteCheck"), Qt::LeftButton);
        dlg->OnOK();
        QVERIFY(dlg->closed());
        QVERIFY(!dlg->isVisible());
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QCOMPARE(rig.useOf(id), markable ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(rig.fakes.boxes.shown().size(), markable ? 3 : 4);
    }

    // A sync that brings the acknowledgement of another machine closes the popups of those
    // uids only, writing nothing: the sync has already moved the record on.
    void acknowledgedElsewhereClosesItsPopupOnly()
    {
        Rig rig;
        const QString id = rig.add("a", "b");
        const QString other = rig.add("c", "d");
        const QString uid = repeat::UidOf(*rig.inspector(), id);
        const QString otherUid = repeat::UidOf(*rig.inspector(), other);
        QVERIFY(!uid.isEmpty() && uid != otherUid);
        auto dlg = rig.popup(id);
        QVERIFY(dlg->OnInitDialog());
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));

        CAlertDlg::CloseAcknowledgedElsewhere({otherUid});
        QVERIFY(dlg->isVisible() && !dlg->closed());
        QVERIFY(rig.soundLooping());

        CAlertDlg::CloseAcknowledgedElsewhere({otherUid, uid});
        QVERIFY(!dlg->isVisible());
        QVERIFY(dlg->closed());
        QCOMPARE(rig.fakes.sound.playing(), 0);
        QCOMPARE(rig.fakes.notifications.closedByProgram(),
                 QList<int>{rig.fakes.notifications.shown().first().handle});
        QCOMPARE(rig.useOf(id), QStringLiteral("0"));
        QCOMPARE(rig.useOf(other), QStringLiteral("0"));
        QCOMPARE(rig.reloads, 1);
        QVERIFY(rig.fakes.boxes.shown().isEmpty());
    }

    // An id is only ever digits in a statement: a crafted one read from a
    // backup names no record, so the popup neither shows nor deletes another.
    void craftedIdReachesNoStatement()
    {
        Rig rig;
        const QString other = rig.add("other", "x");
        const QString bait = rig.add("bait", "y");
        const QString crafted = "0 or titile='other'";
        auto dlg = rig.popup(crafted);
        QVERIFY(dlg->OnInitDialog());
        QVERIFY(child<QLineEdit>(dlg.get(), "subjectEdit")->text().isEmpty());
        QCOMPARE(rig.plays(), 0);
        dlg->OnOK();
        QVERIFY(dlg->closed());
        QCOMPARE(rig.useOf(other), QStringLiteral("0"));
        QCOMPARE(rig.useOf(bait), QStringLiteral("0"));
    }

    // The occurrence a popup stands for: a dated record's own moment; an
    // every-day record's today, or yesterday while today's is still to come.
    void dueMoment_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QDateTime>("moment");
        const QDate today(2026, 1, 1);
        QTest::newRow("a dated record, whatever the day")
            << "2025-12-30"
            << "23:59:59" << QDateTime(QDate(2025, 12, 30), QTime(23, 59, 59));
        QTest::newRow("every day, earlier today") << "Every Day"
                                                  << "09:30:00" << QDateTime(today, QTime(9, 30));
        QTest::newRow("every day, this very second") << "Every Day"
                                                     << "10:00:00" << QDateTime(today, QTime(10, 0));
        QTest::newRow("every day, still to come today: yesterday's")
            << "Every Day"
            << "10:00:01" << QDateTime(today.addDays(-1), QTime(10, 0, 1));
        QTest::newRow("no real time") << "Every Day"
                                      << "25:00:00" << QDateTime();
    }
    void dueMoment()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QDateTime, moment);
        QCOMPARE(DueMoment(date, time, QDateTime(QDate(2026, 1, 1), QTime(10, 0, 0))), moment);
    }

    void dueRemindersOpenOneAfterTheOther()
    {
        Rig rig;
        const QString older = rig.add("first", "x", "2026-01-01", "10:00:05");
        const QString newer = rig.add("second", "y", "Every Day", "10:00:05");
        rig.fakes.clock.set(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 5)));
        DueCheck check(&AppStore);
        check.context().running.store(true);
        DueQueue queue;
        check.runPass();
        queue.OnRemindersDue(check.context());

        // Acknowledges whatever popup is open, and notes what it found.
        QStringList seen;
        QStringList stillThereWhenShown;
        PopupAcknowledger user([&](CAlertDlg* dlg) {
            seen.append(dlg->recordId);
            stillThereWhenShown.append(rig.useOf(older) + "/" + rig.useOf(newer) + "/" +
                                       QString::number(rig.reloads));
            return true;
        });
        const auto run = [&](const QString& id) { CAlertDlg::ShowReminder(id, [&] { ++rig.reloads; }); };
        while (queue.ShowNextDueReminder(run)) {
        }
        QCOMPARE(seen, (QStringList{newer, older}));
        // The older one opened only after the newer one had been acknowledged
        // (deleted by the setting; the every-day one is kept for tomorrow).
        QCOMPARE(stillThereWhenShown, (QStringList{"0/0/0", "0/0/1"}));
        QCOMPARE(rig.useOf(older) + "/" + rig.useOf(newer), QStringLiteral("gone/0"));
        QCOMPARE(rig.reloads, 2);
    }

    void wavesAreTheProgramsFormats()
    {
        QCOMPARE(QtSound::ResourcePath(kWaveReminder), QStringLiteral(":/wave132.wav"));
        QCOMPARE(QtSound::ResourcePath(kWaveRest), QStringLiteral(":/wave133.wav"));
        QVERIFY(QtSound::ResourcePath(131).isEmpty());

        const WaveInfo chime = readWave(":/wave132.wav");
        QCOMPARE(chime.format, 1);
        QCOMPARE(chime.channels, 1);
        QCOMPARE(chime.rate, 8000);
        QCOMPARE(chime.bits, 8);
        QVERIFY(qAbs(chime.data.size() / 8000.0 - 2.6) < 0.05);
        // Played in a loop: both ends at silence, so the seam does not click.
        QCOMPARE(quint8(chime.data.front()), quint8(128));
        QCOMPARE(quint8(chime.data.back()), quint8(128));
        int loudest = 0;
        for (char c : chime.data)
            loudest = qMax(loudest, qAbs(int(quint8(c)) - 128));
        QVERIFY(loudest > 30);

        const WaveInfo rest = readWave(":/wave133.wav");
        QCOMPARE(rest.format, 1);
        QCOMPARE(rest.channels, 1);
        QCOMPARE(rest.rate, 8000);
        QCOMPARE(rest.bits, 16);
        QVERIFY(qAbs(rest.data.size() / 16000.0 - 11.8) < 0.05);
    }
};

QTEST_MAIN(TestAlertDlg)
#include "tst_alertdlg.moc"
