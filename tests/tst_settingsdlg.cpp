#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "base/ModulePath.h"
#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "calendar/WorkdayCalendar.h"
#include "platform/AutostartEntry.h"
#include "platform/Seams.h"
#include "platform/ShellFolders.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"
#include "system/SettingsDlg.h"
#include "system/SettingsDlgIds.h"
#include "widgets/DialogLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

// Stands in for the main window: found by its title, reloads its list on request.
class FakeMainWindow : public QWidget
{
    Q_OBJECT
public:
    FakeMainWindow() { setWindowTitle(u("Tolva小精灵2016")); }
    Q_INVOKABLE void ApplyFilter()
    {
        ++reloads;
        if (onReload)
            onReload();
    }
    int reloads = 0;
    std::function<void()> onReload;
};

// Every file below a folder with its content: what "nothing changed" compares.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, QFileInfo(path).isFile() ? ReadAll(path) : QByteArray("<folder>"));
    }
    return files;
}

ShellFolders::Locations locationsUnder(const QString& root)
{
    ShellFolders::Locations l;
    l.programs = root + QStringLiteral("/machine/applications");
    l.desktop = root + QStringLiteral("/Desktop");
    l.startMenu = l.programs;
    l.userApplications = root + QStringLiteral("/local-applications");
    l.quickLaunch = l.userApplications;
    return l;
}

// The whole machine of the dialog on temporary folders: program folder and
// store, autostart folder, the four shortcut places.
struct Fixture
{
    Fixture()
        : autostart({places.path() + QStringLiteral("/machine/autostart"),
                     places.path() + QStringLiteral("/user-autostart")}),
          folders(locationsUnder(places.path()))
    {
        app.createStore();
        QString message;
        opened = app.database()->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(),
                                      QString(), message) == store::kConnected;
        executable = program.path() + QStringLiteral("/tolva");
        WriteAll(executable, "#!/bin/sh\n");
        SetModuleFilePathForTesting(executable);
        QDir().mkpath(autostart.folders().machine);
        seams::setAutostart(&autostart);
        seams::setShellFolders(&folders);
    }
    ~Fixture()
    {
        seams::setAutostart(nullptr);
        seams::setShellFolders(nullptr);
        SetModuleFilePathForTesting(QString());
    }
    QStringList texts() const { return fakes.boxes.texts(); }

    FakeSeams fakes;
    TempProgramFolder program;
    QTemporaryDir places;
    CReminderApp app;
    AutostartEntry autostart;
    ShellFolders folders;
    QString executable;
    bool opened = false;
};

bool inside(const QWidget* inner, const QWidget* outer)
{
    return outer->geometry().contains(inner->geometry());
}
} // namespace

class TestSettingsDlg : public QObject
{
    Q_OBJECT

private slots:
    void captionsAndIds()
    {
        Fixture f;
        CSettingsDlg dlg;
        QCOMPARE(dlg.windowTitle(), u("常规设置"));
        const QList<QPair<int, QString>> buttons = {
            {ids::kSettingsAutostartOn, u("开  启")},
            {ids::kSettingsAutostartOff, u("取  消")},
            {ids::kSettingsAutostartRepair, u("修  复")},
            {ids::kSettingsShortcutSend, u("发  送")},
            {ids::kSettingsShortcutDelete, u("删  除")},
            {ids::kSettingsShortcutRepair, u("修  复")},
            {ids::kSettingsClose, u("关闭窗口")},
            {ids::kSettingsBackup, u("备  份")},
            {ids::kSettingsRestore, u("恢  复")},
            {ids::kSettingsCompact, u("压  缩")},
            {ids::kSettingsLoadHolidays, u("载入节假日安排…")},
            {ids::kSettingsImport, u("导入…")},
            {ids::kSettingsExport, u("导出…")},
            {ids::kSettingsNotify, u("弹出提醒时同时发送桌面通知")},
            {ids::kSettingsIdleReset, u("离开或锁屏超过")},
            {ids::kSettingsSync, u("同步…")},
        };
        for (const auto& [id, caption] : buttons) {
            QVERIFY2(dlg.button(id), qPrintable(QString::number(id)));
            QCOMPARE(dlg.button(id)->text(), caption);
        }
        QVERIFY(!dlg.button(1049));

        QStringList labels;
        for (const QLabel* l : dlg.findChildren<QLabel*>())
            labels << l->text();
        QCOMPARE(labels, (QStringList{u("1.执行以上操作之前，请确保软件位置以后不会更改！"),
                                      u("2.完成以上操作后软件位置发生变动，需要执行修复！"),
                                      u("3.操作中，如果安全软件弹出提示，请直接点击允许！"),
                                      u("分钟，休息重新计时"), u("导入的全天事件提醒于")}));
    }

    void groupsFrameTheirButtonsFromTopToBottom()
    {
        Fixture f;
        CSettingsDlg dlg;
        QMap<QString, QGroupBox*> groups;
        for (QGroupBox* g : dlg.findChildren<QGroupBox*>())
            groups.insert(g->title(), g);
        QGroupBox* autostart = groups.value(u("小精灵开机启动设置"));
        QGroupBox* shortcuts = groups.value(u("发送快捷方式到桌面"));
        QGroupBox* notes = groups.value(u("操作说明"));
        QGroupBox* maintenance = groups.value(u("Tolva小精灵数据维护"));
        QGroupBox* holidays = groups.value(u("法定节假日与调休安排"));
        QGroupBox* remind = groups.value(u("提醒与同步"));
        QVERIFY(autostart && shortcuts && notes && maintenance && holidays && remind);
        QCOMPARE(groups.size(), 6);

        for (int id : {1050, 1051, 1052})
            QVERIFY(inside(dlg.button(id), autostart));
        for (int id : {1053, 1054, 1055})
            QVERIFY(inside(dlg.button(id), shortcuts));
        for (int id : {1064, 1065, 1066, 1068, 1069})
            QVERIFY(inside(dlg.button(id), maintenance));
        for (int id : {1072, 1073, 1074, 1075, 1076})
            QVERIFY(inside(dlg.control(id), remind));
        QVERIFY(inside(dlg.button(ids::kSettingsLoadHolidays), holidays));
        // The whole caption shows, whichever font stood in.
        QAbstractButton* load = dlg.button(ids::kSettingsLoadHolidays);
        QVERIFY(load->fontMetrics().horizontalAdvance(load->text()) < load->width());
        for (const QLabel* l : dlg.findChildren<QLabel*>())
            QVERIFY(inside(l, notes) || inside(l, remind));
        QWidget* close = dlg.button(ids::kSettingsClose);
        QVERIFY(autostart->y() < shortcuts->y());
        QVERIFY(shortcuts->geometry().bottom() < close->y());
        QVERIFY(close->geometry().bottom() < notes->y());
        QVERIFY(notes->geometry().bottom() < maintenance->y());
        QVERIFY(maintenance->geometry().bottom() < holidays->y());
        QVERIFY(holidays->geometry().bottom() < remind->y());
        QVERIFY(remind->geometry().bottom() < dlg.height());
    }

    // The switches show the settings file and write a change at once; the
    // minutes only count while their switch is on.
    void switchesAreWrittenAsTheyChange()
    {
        Fixture f;
        {
            CSettingsDlg dlg;
            QVERIFY(dlg.button(ids::kSettingsNotify)->isChecked());
            QVERIFY(dlg.button(ids::kSettingsIdleReset)->isChecked());
            auto* minutes = qobject_cast<QSpinBox*>(dlg.control(ids::kSettingsIdleMinutes));
            auto* allDay = qobject_cast<QTimeEdit*>(dlg.control(ids::kSettingsAllDayTime));
            QVERIFY(minutes && allDay);
            QCOMPARE(minutes->value(), 5);
            QCOMPARE(allDay->time(), QTime(9, 0));
            dlg.button(ids::kSettingsNotify)->click();
            dlg.button(ids::kSettingsIdleReset)->click();
            QVERIFY(!minutes->isEnabled());
            minutes->setValue(12);
            allDay->setTime(QTime(7, 30));
        }
        QVERIFY(!settings::ReadSwitch(settings::kKeyNotify));
        QVERIFY(!settings::ReadSwitch(settings::kKeyIdleReset));
        QCOMPARE(settings::ReadIdleMinutes(), 12);
        QCOMPARE(settings::ReadAllDayTime(), u("07:30:00"));
        CSettingsDlg again;
        QVERIFY(!again.button(ids::kSettingsNotify)->isChecked());
        QVERIFY(!again.control(ids::kSettingsIdleMinutes)->isEnabled());
        QCOMPARE(qobject_cast<QTimeEdit*>(again.control(ids::kSettingsAllDayTime))->time(), QTime(7, 30));
    }

    void fontAndSizeFollowTheDialogUnits()
    {
        Fixture f;
        CSettingsDlg dlg;
        QVERIFY(dlg.font().families().contains(u("宋体")));
        QVERIFY(dlg.font().families().contains(QStringLiteral("WenQuanYi Micro Hei")));
        QCOMPARE(dlg.font().pointSize(), 9);
        const DialogUnits du(dlg.font());
        QCOMPARE(dlg.size(), QSize(du.x(232), du.y(343)));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        // Every note and check box fits on its line, whatever font stood in.
        for (const QLabel* l : dlg.findChildren<QLabel*>())
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
        for (const QAbstractButton* b : dlg.findChildren<QCheckBox*>())
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + du.x(12) <= b->width(),
                     qPrintable(b->text()));
    }

    void withoutAParentTheMainWindowOwnsTheDialog()
    {
        Fixture f;
        {
            CSettingsDlg alone;
            QVERIFY(!alone.parentWidget());
        }
        FakeMainWindow main;
        CSettingsDlg dlg;
        QCOMPARE(dlg.parentWidget(), &main);
        QVERIFY(dlg.isWindow());
        QWidget other;
        CSettingsDlg explicitParent(&other);
        QCOMPARE(explicitParent.parentWidget(), &other);
    }

    void openingAndClosingChangesNothing()
    {
        Fixture f;
        const auto programBefore = snapshot(f.program.path());
        const auto placesBefore = snapshot(f.places.path());
        {
            CSettingsDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            dlg.button(ids::kSettingsClose)->click();
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QVERIFY(f.fakes.boxes.shown().isEmpty());
        QCOMPARE(snapshot(f.program.path()), programBefore);
        QCOMPARE(snapshot(f.places.path()), placesBefore);
        QVERIFY(f.app.database() && f.app.database()->IsConnected());
    }

    void escapeClosesTheDialog()
    {
        Fixture f;
        CSettingsDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void modalRunEndsWithTheCloseButton()
    {
        Fixture f;
        CSettingsDlg dlg;
        QTimer::singleShot(0, &dlg, [&] {
            dlg.button(ids::kSettingsAutostartOn)->click();
            dlg.button(ids::kSettingsClose)->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(f.texts(), QStringList{u("开机启动设置成功！  ")});
    }

    // An ordinary user, who may not write the machine-wide places, sees the
    // same: every press acts and says what came of it.
    void everyButtonActsEachTimeItIsPressed_data()
    {
        QTest::addColumn<bool>("machinePlacesBlocked");
        QTest::newRow("machine-wide places") << false;
        QTest::newRow("the user's own places") << true;
    }
    void everyButtonActsEachTimeItIsPressed()
    {
        QFETCH(bool, machinePlacesBlocked);
        Fixture f;
        const QString machine = f.places.path() + QStringLiteral("/machine");
        if (machinePlacesBlocked) {
            // Nobody can make a folder below a regular file, root included.
            QVERIFY(QDir(machine).removeRecursively());
            QVERIFY(WriteAll(machine, "a file, not a folder"));
        }
        const QString temp = QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/');
        const auto& l = f.folders.locations();
        for (const QString& folder : {f.autostart.folders().machine, f.autostart.folders().user, l.programs,
                                      l.desktop, l.startMenu, l.quickLaunch, l.userApplications})
            QVERIFY2(QDir::cleanPath(folder).startsWith(temp), qPrintable(folder));
        CSettingsDlg dlg;
        dlg.show();
        for (int id : {1050, 1051, 1052, 1053, 1054, 1055, 1064, 1065, 1066}) {
            dlg.button(id)->click();
            dlg.button(id)->click();
            QVERIFY2(dlg.isVisible(), qPrintable(QString::number(id)));
        }
        QStringList texts = f.texts();
        // The restore question (answered No, its default) names the backup's time.
        for (QString& t : texts) {
            if (t.startsWith(u("\n 是否确定恢复到 ")) && t.endsWith(u(" 的备份数据？  ")))
                t = QStringLiteral("<question>");
        }
        const QString on = u("开机启动设置成功！  "), off = u("开机启动已经成功取消！  ");
        const QString offFailed = u("取消失败！请检查开机启动是否已经被取消！  ");
        const QString sent = u("桌面快捷方式发送成功！  "), deleted = u("桌面快捷方式删除成功！  ");
        const QString none = u("桌面快捷方式不存在！  ");
        QCOMPARE(texts, (QStringList{on,
                                     on,
                                     off,
                                     offFailed,
                                     offFailed,
                                     on,
                                     off,
                                     on,
                                     sent,
                                     sent,
                                     deleted,
                                     none,
                                     none,
                                     sent,
                                     deleted,
                                     sent,
                                     u("备份数据成功！ "),
                                     u("备份数据成功！ "),
                                     QStringLiteral("<question>"),
                                     QStringLiteral("<question>"),
                                     u("压缩数据成功！ "),
                                     u("压缩数据成功！ ")}));
        QCOMPARE(f.fakes.boxes.shown().first().owner.data(), &dlg);
        QVERIFY(QFileInfo(machinePlacesBlocked ? f.autostart.userEntryPath() : f.autostart.machineEntryPath())
                    .isFile());
        QVERIFY(QFileInfo(f.places.path() + u("/Desktop/Tolva小精灵.desktop")).isFile());
        QVERIFY(f.app.database()->IsConnected());
    }

    // A holiday arrangement chosen by the user is checked and kept in the data
    // file, where the workday rules find it; the user is told which years it
    // brought, or why it was refused (for a malformed file, the line).
    void loadingAHolidayArrangement_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("kept");
        const QByteArray y2031 = "[2031]\n# 来源：某年的通知\n2031-01-01 休\n2031-01-04 班\n";
        QTest::newRow("a file of the shipped form is kept and its year named")
            << "next.txt" << y2031 << u("载入节假日安排成功！其中有 2031 年的安排。 ") << true;
        QTest::newRow("every year of a file is named")
            << "next.txt" << y2031 + "\r\n[2032]\r\n2032-01-01 休\r\n"
            << u("载入节假日安排成功！其中有 2031、2032 年的安排。 ") << true;
        QTest::newRow("a malformed line is refused with its number")
            << "next.txt" << y2031 + "2031-02-30 休\n"
            << u("载入节假日安排失败！\n节假日安排第 5 行日期无效：2031-02-30 休 ") << false;
        QTest::newRow("a date outside its year is refused with its line")
            << "next.txt" << y2031 + "2033-01-01 班\n"
            << u("载入节假日安排失败！\n节假日安排第 5 行日期不在 2031 年的安排之内：2033-01-01 班 ")
            << false;
        QTest::newRow("a file without any year is refused")
            << "next.txt" << QByteArray("# 只有注释\n")
            << u("载入节假日安排失败！\n节假日安排里没有任何一年 ") << false;
        QTest::newRow("a file in another encoding is refused as such")
            << "gbk.txt" << QByteArray("[2031]\n# \xC0\xB4\xD4\xB4\n2031-01-01 \xD0\xDD\n")
            << u("载入节假日安排失败！\n文件 %1 不是 UTF-8 编码的文本 ") << false;
        QTest::newRow("a file that cannot be read is named")
            << "missing.txt" << QByteArray() << u("载入节假日安排失败！\n无法读取文件 %1 ") << false;
        QTest::newRow("a huge file is no arrangement")
            << "huge.txt" << y2031 + QByteArray(2 * 1024 * 1024, '#')
            << u("载入节假日安排失败！\n文件 %1 太大，不是节假日安排 ") << false;
        QTest::newRow("a cancelled choice does nothing") << "" << QByteArray() << QString() << false;
    }
    void loadingAHolidayArrangement()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QFETCH(bool, kept);
        Fixture f;
        FakeMainWindow main;
        const QString path = file.isEmpty() ? QString() : f.places.path() + QLatin1Char('/') + file;
        if (!content.isEmpty())
            QVERIFY(WriteAll(path, content));
        {
            CSettingsDlg unwired;
            QVERIFY(!unwired.button(ids::kSettingsLoadHolidays)->isEnabled());
        }
        SetHolidayKeeper(&repeat::LoadHolidays);
        CSettingsDlg dlg;
        dlg.show();
        int asked = 0;
        dlg.maintenance().chooseHolidayFile = [&] {
            ++asked;
            return path;
        };
        QVERIFY(dlg.button(ids::kSettingsLoadHolidays)->isEnabled());
        dlg.button(ids::kSettingsLoadHolidays)->click();
        SetHolidayKeeper(nullptr);

        QCOMPARE(asked, 1);
        QCOMPARE(f.texts(), expected.isEmpty() ? QStringList() : QStringList{expected.arg(path)});
        if (!expected.isEmpty()) {
            QCOMPARE(f.fakes.boxes.shown().first().caption, u("Tolva提示"));
            QCOMPARE(f.fakes.boxes.shown().first().owner.data(), &dlg);
        }
        QVERIFY(dlg.isVisible());
        // Kept, the arrangement decides the workdays: 2031-01-01 is a Wednesday, 2031-01-04 a Saturday.
        const auto workdays = repeat::Workdays(*f.app.database());
        QCOMPARE(workdays->isWorkday(QDate(2031, 1, 1)), !kept);
        QCOMPARE(workdays->isWorkday(QDate(2031, 1, 4)), kept);
        QString message;
        QCOMPARE(f.app.database()->CountRows(u("holidays"), QString(), message), kept ? 1 : 0);
        // The list, which says which years are covered, is read again.
        QCOMPARE(main.reloads, kept ? 1 : 0);
    }

    void backupWithoutTheDatabaseClosesTheDialog()
    {
        Fixture f;
        f.app.database()->Close();
        QVERIFY(QFile::remove(DatabaseFilePath()));
        CSettingsDlg dlg;
        dlg.show();
        dlg.button(ids::kSettingsBackup)->click();
        QCOMPARE(f.texts(), QStringList{u("Tolva小精灵零件缺失，请重新下载最新的程序！ ")});
        QVERIFY(!dlg.isVisible());

        dlg.show();
        dlg.button(ids::kSettingsCompact)->click();
        QCOMPARE(f.texts().size(), 2);
        QVERIFY(!dlg.isVisible());
    }

    void restoreReloadsTheMainWindowsListBeforeItsMessage()
    {
        Fixture f;
        FakeMainWindow main;
        qsizetype boxesAtReload = -1;
        main.onReload = [&] { boxesAtReload = f.fakes.boxes.shown().size(); };
        CSettingsDlg dlg;
        dlg.show();
        dlg.button(ids::kSettingsBackup)->click();
        f.fakes.boxes.answerNext(MbResult::Yes);
        dlg.button(ids::kSettingsRestore)->click();
        QCOMPARE(f.texts().size(), 3);
        QCOMPARE(f.texts().last(), u("恢复数据成功！ "));
        QCOMPARE(main.reloads, 1);
        QCOMPARE(boxesAtReload, qsizetype(2)); // the backup message and the question
        QVERIFY(dlg.isVisible());
    }

    void aFailedReopenClosesTheDialogAndReleasesTheStore()
    {
        Fixture f;
        FakeMainWindow main;
        // A data file that breaks while the program runs: compaction cannot reopen it.
        // (A backup that is no database is refused before anything is closed.)
        f.app.database()->Close();
        QVERIFY(WriteAll(DatabaseFilePath(), "not a database"));
        CSettingsDlg dlg;
        QTimer::singleShot(0, &dlg, [&] { dlg.button(ids::kSettingsCompact)->click(); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY(!f.app.database());
        QCOMPARE(main.reloads, 0);
        QCOMPARE(f.fakes.shell.opened().size(), 1);
    }
};

QTEST_MAIN(TestSettingsDlg)
#include "tst_settingsdlg.moc"
