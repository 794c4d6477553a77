#include "app/Localization.h"
#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"
#include "reminders/AlertDlg.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"
#include "system/SettingsDlg.h"
#include "timesync/TimeSyncDlg.h"
#include "widgets/AboutDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

// Roles a screen reader reads out as something to operate, focusable or not
// (the arrows of an up-down control take no focus, yet can be pressed).
bool isControlRole(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonMenu:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::ComboBox:
    case QAccessible::Slider:
    case QAccessible::Table:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Link:
        return true;
    default:
        return false;
    }
}

// What a screen reader would say without a name: role and object name of every
// visible control in the tree of iface whose name is empty.
void collectUnnamed(QAccessibleInterface* iface, QStringList& unnamed)
{
    if (!iface || iface->state().invisible)
        return;
    const QAccessible::Role role = iface->role();
    const bool control = isControlRole(role) || iface->state().focusable;
    if (control && role != QAccessible::ScrollBar && iface->text(QAccessible::Name).trimmed().isEmpty()) {
        const QObject* o = iface->object();
        unnamed
            << QStringLiteral("%1 (role %2)").arg(o ? o->objectName() : QStringLiteral("?")).arg(int(role));
    }
    // A view's children are its cells and headers, named by their contents.
    if (role == QAccessible::Table || role == QAccessible::List || role == QAccessible::Tree)
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), unnamed);
}

QString nameOf(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The main window on a temporary program folder with its store open.
struct MainWindowRig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();
    std::unique_ptr<CReminderDlg> dlg;

    MainWindowRig()
    {
        fakes.clock.set(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)));
        QString message;
        if (db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(),
                     message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
        auto d = db;
        dlg = std::make_unique<CReminderDlg>(true, nullptr, [d] { return d; });
    }
};

enum class Dialog { Main, Alert, Settings, TimeSync, About };

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        TrayIcon::SetAvailableForTesting(true);
        CReminderDlg::SetDueWorkerEnabledForTesting(false);
        // The suite runs under LC_ALL=C.UTF-8: a user whose locale is not Chinese.
        QVERIFY(UseChineseInterface(*QCoreApplication::instance()));
    }
    void cleanupTestCase() { TrayIcon::SetAvailableForTesting(std::nullopt); }

    void everyControlHasAName_data()
    {
        QTest::addColumn<Dialog>("dialog");
        QTest::newRow("the main window") << Dialog::Main;
        QTest::newRow("the reminder popup") << Dialog::Alert;
        QTest::newRow("the settings dialog") << Dialog::Settings;
        QTest::newRow("the time calibration dialog") << Dialog::TimeSync;
        QTest::newRow("the about box") << Dialog::About;
    }

    // Through the accessibility interface, as a screen reader walks the window.
    void everyControlHasAName()
    {
        QFETCH(Dialog, dialog);
        std::unique_ptr<MainWindowRig> main;
        std::unique_ptr<FakeSeams> fakes;
        std::unique_ptr<TempProgramFolder> folder;
        std::unique_ptr<QDialog> owned;
        QDialog* dlg = nullptr;
        if (dialog == Dialog::Main) {
            main = std::make_unique<MainWindowRig>();
            dlg = main->dlg.get();
        } else {
            fakes = std::make_unique<FakeSeams>();
            folder = std::make_unique<TempProgramFolder>();
            switch (dialog) {
            case Dialog::Alert:
                owned = std::make_unique<CAlertDlg>(QStringLiteral("1"));
                break;
            case Dialog::Settings:
                owned = std::make_unique<CSettingsDlg>();
                break;
            case Dialog::TimeSync:
                owned = std::make_unique<CTimeSyncDlg>();
                break;
            default:
                owned = std::make_unique<CAboutDlg>();
                break;
            }
            dlg = owned.get();
        }
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(dlg);
        QVERIFY(root);
        QVERIFY(root->childCount() > 0);
        QStringList unnamed;
        collectUnnamed(root, unnamed);
        QVERIFY2(unnamed.isEmpty(),
                 qPrintable(QStringLiteral("without a name: ") + unnamed.join(QStringLiteral(", "))));
        dlg->hide();
    }

    // The arrows of each up-down control say which field they step.
    void arrowsNameTheirField()
    {
        MainWindowRig rig;
        const struct
        {
            const char* spin;
            const char* field;
        } rows[] = {{"restSpin", "休息间隔（分钟）"},
                    {"hourSpin", "小时"},
                    {"minuteSpin", "分钟"},
                    {"secondSpin", "秒"}};
        for (const auto& row : rows) {
            QWidget* spin = rig.dlg->findChild<QWidget*>(QLatin1String(row.spin));
            QVERIFY2(spin, row.spin);
            QStringList names;
            for (QObject* arrow : spin->children())
                if (arrow->isWidgetType())
                    names << nameOf(arrow);
            QCOMPARE(names, QStringList({u("增加") + u(row.field), u("减少") + u(row.field)}));
        }
    }

    // Tab goes through the window group by group, in reading order.
    void tabOrderIsTheReadingOrder()
    {
        MainWindowRig rig;
        rig.dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        QWidget* first = rig.dlg->findChild<QWidget*>(QStringLiteral("subjectEdit"));
        QVERIFY(first);
        QStringList order;
        QWidget* w = first;
        do {
            if (w->isVisibleTo(rig.dlg.get()) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
                w->focusProxy() == nullptr && w->parentWidget() == rig.dlg.get())
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w && w != first);
        QCOMPARE(order, QStringList({QStringLiteral("subjectEdit"),
                                     QStringLiteral("contentEdit"),
                                     QStringLiteral("datePicker"),
                                     QStringLiteral("timePicker"),
                                     QStringLiteral("everyDayCheck"),
                                     QStringLiteral("repeatCombo"),
                                     QStringLiteral("autoShutdownCheck"),
                                     QStringLiteral("addModifyButton"),
                                     QStringLiteral("refreshDeleteButton"),
                                     QStringLiteral("restMinutesEdit"),
                                     QStringLiteral("restStartStopButton"),
                                     QStringLiteral("countdownHoursEdit"),
                                     QStringLiteral("countdownMinutesEdit"),
                                     QStringLiteral("countdownSecondsEdit"),
                                     QStringLiteral("countdownShutdownCheck"),
                                     QStringLiteral("countdownStartStopButton"),
                                     QStringLiteral("settingsButton"),
                                     QStringLiteral("aboutButton"),
                                     QStringLiteral("toTrayButton"),
                                     QStringLiteral("timeSyncButton"),
                                     QStringLiteral("recordList"),
                                     QStringLiteral("filterAllRadio"),
                                     QStringLiteral("filterNotTakenRadio"),
                                     QStringLiteral("filterTakenRadio"),
                                     QStringLiteral("filterUpcomingRadio")}));
    }

    // Chinese whatever the locale: the picker's weekday and Qt's standard buttons.
    void chineseWhateverTheLocale()
    {
        MainWindowRig rig;
        auto* picker = rig.dlg->findChild<QDateEdit*>(QStringLiteral("datePicker"));
        QVERIFY(picker);
        rig.dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        QCOMPARE(picker->text(), u("2026年12月09日 星期三"));
        // Wide enough for its text beside its arrows.
        QVERIFY2(picker->width() >= picker->sizeHint().width(),
                 qPrintable(QStringLiteral("%1 < %2").arg(picker->width()).arg(picker->sizeHint().width())));

        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
        QVERIFY(box.button(QMessageBox::Yes)->text().startsWith(u("是")));
        QVERIFY(box.button(QMessageBox::No)->text().startsWith(u("否")));
        QVERIFY(box.button(QMessageBox::Ok)->text().startsWith(u("确定")));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
