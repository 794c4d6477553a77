#include "app/TrayIcon.h"
#include "widgets/FlatMenu.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>
#include <QtTest>

namespace {
// Acts on the tray menu once the menu loop has opened it.
void whenMenuOpens(std::function<void(CFlatMenu*)> f)
{
    QTimer::singleShot(0, [f] {
        auto* popup = qobject_cast<CFlatMenu*>(QApplication::activePopupWidget());
        QVERIFY(popup);
        f(popup);
    });
}

void clickCommand(CFlatMenu* popup, int id)
{
    for (QAction* a : popup->actions()) {
        if (!a->isSeparator() && a->data().toInt() == id) {
            QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(a).center());
            return;
        }
    }
    QFAIL("no such command in the tray menu");
}
} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT
private slots:
    void init() { FlatMenuGlobals() = FlatMenuSettings(); }
    void cleanup() { TrayIcon::SetAvailableForTesting(std::nullopt); }

    void leftClickAsksToToggle()
    {
        QWidget owner;
        TrayIcon tray(&owner);
        QSignalSpy toggles(&tray, &TrayIcon::toggleMainWindowRequested);
        QCOMPARE(tray.OnTrayNotify(TrayIcon::kIconId, TrayIcon::kLButtonDown), 0);
        QCOMPARE(toggles.count(), 1);
        emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(toggles.count(), 2);
    }

    void otherClicksAndIconsAreIgnored()
    {
        QWidget owner;
        TrayIcon tray(&owner);
        QSignalSpy toggles(&tray, &TrayIcon::toggleMainWindowRequested);
        QSignalSpy commands(&tray, &TrayIcon::menuCommand);
        const int before = CFlatMenu::LivePopupCount();
        // Another icon's messages, even a left click, do nothing.
        QCOMPARE(tray.OnTrayNotify(129, TrayIcon::kLButtonDown), 1);
        QCOMPARE(tray.OnTrayNotify(0, TrayIcon::kRButtonUp), 1);
        for (int message : {0x0200, 0x0202, TrayIcon::kLButtonDblClk, 0x0204, TrayIcon::kMButtonUp})
            QCOMPARE(tray.OnTrayNotify(TrayIcon::kIconId, message), 0);
        emit tray.systemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
        emit tray.systemTrayIcon()->activated(QSystemTrayIcon::MiddleClick);
        emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Unknown);
        QCoreApplication::processEvents();
        QCOMPARE(toggles.count(), 0);
        QCOMPARE(commands.count(), 0);
        QCOMPARE(CFlatMenu::LivePopupCount(), before);
    }

    void rightClickOpensTheTrayMenuAtThePointer()
    {
        QWidget owner;
        TrayIcon tray(&owner);
        QSignalSpy commands(&tray, &TrayIcon::menuCommand);
        QCursor::setPos(200, 150);
        QPoint openedAt;
        QStringList texts;
        bool ownerDrawn = true;
        QWidget* parent = nullptr;
        whenMenuOpens([&](CFlatMenu* popup) {
            openedAt = popup->pos();
            parent = popup->parentWidget() ? popup->parentWidget()->parentWidget() : nullptr;
            for (const FlatMenuItem* item : popup->items()) {
                texts << item->text;
                ownerDrawn = ownerDrawn && item->ownerDrawn();
            }
            // Clicking outside closes it without a command.
            QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(-20, -20));
        });
        emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Context);
        QCOMPARE(openedAt, QPoint(200, 150));
        QCOMPARE(texts,
                 QStringList({QString::fromUtf8("显示主窗口"), QString::fromUtf8("关于小Tolva"), QString(),
                              QString::fromUtf8("常规的设置"), QString::fromUtf8("时间的校对"), QString(),
                              QString::fromUtf8("退出主程序")}));
        QVERIFY(ownerDrawn);
        QCOMPARE(parent, &owner);
        // Both style settings are flat from now on.
        QCOMPARE(FlatMenuGlobals().styleThemed, 1);
        QCOMPARE(FlatMenuGlobals().styleOther, 1);
        QCoreApplication::processEvents();
        QCOMPARE(commands.count(), 0);
    }

    void menuCommandsReachTheOwnerAfterTheMenu_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("show") << 32776;
        QTest::newRow("about") << 32774;
        QTest::newRow("settings") << 32779;
        QTest::newRow("time") << 32778;
        QTest::newRow("exit") << 32777;
    }

    void menuCommandsReachTheOwnerAfterTheMenu()
    {
        QFETCH(int, command);
        QWidget owner;
        TrayIcon tray(&owner);
        QSignalSpy commands(&tray, &TrayIcon::menuCommand);
        const int before = CFlatMenu::LivePopupCount();
        int livePopupsAtCommand = -1;
        connect(&tray, &TrayIcon::menuCommand, this,
                [&] { livePopupsAtCommand = CFlatMenu::LivePopupCount(); });
        whenMenuOpens([command](CFlatMenu* popup) { clickCommand(popup, command); });
        QCOMPARE(tray.OnTrayNotify(TrayIcon::kIconId, TrayIcon::kRButtonUp), 0);
        // Sent, not called: it arrives from the event loop, once the menu is gone.
        QCOMPARE(commands.count(), 0);
        QTRY_COMPARE(commands.count(), 1);
        QCOMPARE(commands.at(0).at(0).toInt(), command);
        QCOMPARE(livePopupsAtCommand, before);
    }

    void iconRecord()
    {
        QWidget owner;
        auto* tray = new TrayIcon(&owner);
        QVERIFY(!tray->IsAdded());
        tray->AddTrayIcon();
        QVERIFY(tray->IsAdded());
        QCOMPARE(tray->toolTip(), QString::fromUtf8("Tolva小精灵"));
        QVERIFY(!tray->systemTrayIcon()->icon().isNull());
        // A second add of an icon that is present changes nothing.
        tray->AddTrayIcon();
        QVERIFY(tray->IsAdded());
        tray->RemoveTrayIcon();
        QVERIFY(!tray->IsAdded());
        tray->AddTrayIcon();
        QVERIFY(tray->systemTrayIcon()->isVisible());
        delete tray;
    }

    void availability()
    {
        // Neither the offscreen platform nor a bare X server has a notification area.
        QCOMPARE(TrayIcon::IsAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
        TrayIcon::SetAvailableForTesting(true);
        QVERIFY(TrayIcon::IsAvailable());
        TrayIcon::SetAvailableForTesting(false);
        QVERIFY(!TrayIcon::IsAvailable());
    }

    void toggleRule()
    {
        QWidget window;
        TrayIcon::ToggleWindow(&window);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        // Hidden by the program itself, not left to the window manager to minimise.
        TrayIcon::ToggleWindow(&window);
        QVERIFY(!window.isVisible());
        QVERIFY(!window.isMinimized());
        TrayIcon::ToggleWindow(&window);
        QVERIFY(window.isVisible());
        // A shown window goes by the window's own way into the tray, when it has one.
        int hides = 0;
        TrayIcon::ToggleWindow(&window, [&] { ++hides; });
        QCOMPARE(hides, 1);
        QVERIFY(window.isVisible());
        // A minimised window still shown (no tray at the time, or a compositor
        // that does not say so) comes back in its normal state.
        window.showMinimized();
        TrayIcon::ToggleWindow(&window, [&] { ++hides; });
        QCOMPARE(hides, 1);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        TrayIcon::ToggleWindow(nullptr);
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
