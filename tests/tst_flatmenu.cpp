#include "widgets/FlatMenu.h"
#include "widgets/MenuMetrics.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QtTest>

namespace {
// System colours chosen so that every derived colour is distinct.
QPalette testPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Base, QColor(255, 255, 255));
    pal.setColor(QPalette::Button, QColor(212, 208, 200));
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    pal.setColor(QPalette::Highlight, QColor(49, 106, 197));
    pal.setColor(QPalette::HighlightedText, QColor(255, 255, 0));
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    pal.setColor(QPalette::Dark, QColor(128, 128, 128));
    pal.setColor(QPalette::Light, QColor(250, 250, 250));
    return pal;
}

// Glyphs without anti-aliasing, so that text pixels carry the pen colour exactly.
QFont crispFont()
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

QColor at(const QImage& img, int x, int y)
{
    return img.pixelColor(x, y);
}

// One item drawn alone into an image of the given size, on magenta.
QImage drawn(const CFlatMenu& menu, int index, QSize size, bool selected, MenuDrawStyle style)
{
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    menu.DrawItemInStyle(&p, *menu.items().at(index), img.rect(), selected, style);
    p.end();
    return img;
}

// Columns holding a pixel of colour c.
QList<int> columnsWith(const QImage& img, const QColor& c)
{
    QList<int> xs;
    for (int x = 0; x < img.width(); ++x) {
        for (int y = 0; y < img.height(); ++y) {
            if (img.pixelColor(x, y) == c) {
                xs << x;
                break;
            }
        }
    }
    return xs;
}

QList<MenuPopupTemplate> templateWithAccelerators()
{
    MenuPopupTemplate file{QStringLiteral("File"), {}};
    file.items << MenuItemTemplate{101, QStringLiteral("Open\tCtrl+O")};
    file.items << MenuItemTemplate{0, QString()};
    file.items << MenuItemTemplate{102, QStringLiteral("Save everything\tCtrl+Shift+S")};
    file.items << MenuItemTemplate{103, QStringLiteral("Quit")};
    return {file};
}

// Runs f once the menu loop has opened a pop-up.
void whenPopupOpens(std::function<void(QMenu*)> f)
{
    QTimer::singleShot(0, [f] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(popup);
        f(popup);
    });
}

QAction* actionWithId(QMenu* menu, int id)
{
    for (QAction* a : menu->actions())
        if (a->data().toInt() == id && !a->isSeparator())
            return a;
    return nullptr;
}
} // namespace

class TestFlatMenu : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FlatMenuGlobals() = FlatMenuSettings();
        QApplication::setFont(crispFont(), "QMenu");
    }

    void colourHelpers()
    {
        QCOMPARE(BlendTowardWhite({49, 106, 197}, 0.85), (MenuRgb{224, 232, 246}));
        QCOMPARE(BlendTowardWhite({49, 106, 197}, 0.7), (MenuRgb{193, 210, 237}));
        QCOMPARE(BlendTowardWhite({212, 208, 200}, 0.25), (MenuRgb{222, 219, 213}));
        QCOMPARE(BlendTowardWhite({10, 20, 30}, 1.0), (MenuRgb{255, 255, 255}));
        QCOMPARE(ScaleTowardBlack({255, 255, 255}, 0.02), (MenuRgb{249, 249, 249}));
        QCOMPARE(ScaleTowardBlack({100, 51, 3}, 0.5), (MenuRgb{50, 25, 1}));
        QCOMPARE(ScaleTowardBlack({10, 20, 30}, 1.0), (MenuRgb{0, 0, 0}));
        // Factors outside (0, 1] leave the colour alone.
        for (double f : {0.0, -0.5, 1.5}) {
            QCOMPARE(BlendTowardWhite({10, 20, 30}, f), (MenuRgb{10, 20, 30}));
            QCOMPARE(ScaleTowardBlack({10, 20, 30}, f), (MenuRgb{10, 20, 30}));
        }
    }

    void flatColoursFollowTheThemeAnswer()
    {
        const FlatMenuColours plain = FlatColoursFor({255, 255, 255}, {212, 208, 200}, {49, 106, 197}, false);
        QCOMPARE(plain.back, (MenuRgb{249, 249, 249}));
        QCOMPARE(plain.column, (MenuRgb{222, 219, 213}));
        QCOMPARE(plain.highlight, (MenuRgb{49, 106, 197}));
        QCOMPARE(plain.selection, (MenuRgb{224, 232, 246}));
        const FlatMenuColours themed = FlatColoursFor({255, 255, 255}, {212, 208, 200}, {49, 106, 197}, true);
        QCOMPARE(themed.column, (MenuRgb{212, 208, 200}));
        QCOMPARE(themed.selection, (MenuRgb{193, 210, 237}));
    }

    void styleInForce()
    {
        FlatMenuSettings s;
        QVERIFY(!IsThemedXp());
        QCOMPARE(StyleInForce(s, false), MenuDrawStyle::Classic);
        QCOMPARE(StyleInForce(s, true), MenuDrawStyle::Flat);
        s.styleOther = 1;
        s.styleThemed = 0;
        QCOMPARE(StyleInForce(s, false), MenuDrawStyle::Flat);
        QCOMPARE(StyleInForce(s, true), MenuDrawStyle::Classic);
        QCOMPARE(DrawStyleFor(s, false, false), MenuDrawStyle::Flat);
        QCOMPARE(DrawStyleFor(s, false, true), MenuDrawStyle::Classic);

        QImage truecolour(4, 4, QImage::Format_ARGB32);
        QBitmap mono(4, 4);
        QVERIFY(!CFlatMenu::UsesPalette(&truecolour));
        QVERIFY(CFlatMenu::UsesPalette(&mono));
    }

    void measureRules()
    {
        FlatMenuSettings s;
        // Flat: image column 16 + 7, text 8 further; never lower than 22.
        QCOMPARE(TextItemSize(s, MenuDrawStyle::Flat, 100, 19), QSize(131, 22));
        QCOMPARE(TextItemSize(s, MenuDrawStyle::Flat, 100, 25), QSize(131, 25));
        QCOMPARE(SeparatorHeight(s, MenuDrawStyle::Flat, 25), 3);
        // Classic: two image widths and one pixel; height at least 15 + 4.
        QCOMPARE(TextItemSize(s, MenuDrawStyle::Classic, 100, 17), QSize(133, 19));
        QCOMPARE(TextItemSize(s, MenuDrawStyle::Classic, 100, 24), QSize(133, 24));
        QCOMPARE(SeparatorHeight(s, MenuDrawStyle::Classic, 19), 9);
        QCOMPARE(SeparatorHeight(s, MenuDrawStyle::Classic, 31), 15);
        // Without raised images the flat margin is 4.
        s.raisedImages = false;
        QCOMPARE(ImageMargin(s, MenuDrawStyle::Flat), 4);
        QCOMPARE(TextItemSize(s, MenuDrawStyle::Flat, 100, 10), QSize(128, 19));
        QCOMPARE(MenuBarHeight(13), 19);
    }

    void alignAcceleratorPadsLabels()
    {
        const ItemTextParts parts = SplitItemText(QStringLiteral("Open\tmiddle\tCtrl+O"));
        QVERIFY(parts.hasTab);
        QCOMPARE(parts.label, QStringLiteral("Open"));
        QCOMPARE(parts.accelerator, QStringLiteral("Ctrl+O"));
        QVERIFY(!SplitItemText(QStringLiteral("Quit")).hasTab);

        const auto tenEach = [](const QString& t) { return int(t.size()) * 10; };
        // The widest label plus a space is 8 characters.
        QCOMPARE(
            AlignAcceleratorText(
                {QStringLiteral("Open\tCtrl+O"), QStringLiteral("Save as\tCtrl+S"), QString()}, tenEach),
            QStringList({QStringLiteral("Open    \tCtrl+O"), QStringLiteral("Save as \tCtrl+S"), QString()}));
        // Items without a tab count for the width but stay as they are.
        QCOMPARE(AlignAcceleratorText({QStringLiteral("Go\tF5"), QStringLiteral("Properties")}, tenEach),
                 QStringList({QStringLiteral("Go         \tF5"), QStringLiteral("Properties")}));
        // A menu without tabs is unchanged.
        const QStringList plain{QStringLiteral("a"), QStringLiteral("bbb")};
        QCOMPARE(AlignAcceleratorText(plain, tenEach), plain);
        // A font whose space has no width ends the padding instead of looping.
        const auto noSpace = [](const QString& t) {
            return int(QString(t).remove(QLatin1Char(' ')).size()) * 10;
        };
        QCOMPARE(AlignAcceleratorText({QStringLiteral("a\tx"), QStringLiteral("abc")}, noSpace),
                 QStringList({QStringLiteral("a \tx"), QStringLiteral("abc")}));

        FlatMenuSettings s;
        QVERIFY(AlignsAccelerators(s, MenuDrawStyle::Flat));
        s.alignAcceleratorsAll = false;
        QVERIFY(!AlignsAccelerators(s, MenuDrawStyle::Flat));
        QVERIFY(AlignsAccelerators(s, MenuDrawStyle::Classic));
    }

    void loadsTheTrayMenu()
    {
        CFlatMenu menu;
        QVERIFY(!menu.IsLoaded());
        QVERIFY(menu.LoadMenu(kMenuMain));
        QVERIFY(menu.IsLoaded());
        QCOMPARE(menu.items().size(), 2);
        // The menu bar keeps plain items.
        for (const FlatMenuItem* item : menu.items()) {
            QVERIFY(!item->ownerDrawn());
            QVERIFY(item->flags & menuflags::kPopup);
        }
        QCOMPARE(menu.items().at(1)->text, QStringLiteral("pop1"));

        CFlatMenu* tray = menu.SubMenuAt(1);
        QVERIFY(tray);
        QCOMPARE(menu.SubMenuAt(0), menu.subMenus().at(0));
        QVERIFY(!menu.SubMenuAt(2));
        QVERIFY(!menu.SubMenuAt(-1));

        const QList<int> ids{32776, 32774, 0, 32779, 32778, 0, 32777};
        const QStringList texts{QString::fromUtf8("显示主窗口"), QString::fromUtf8("关于小Tolva"), QString(),
                                QString::fromUtf8("常规的设置"), QString::fromUtf8("时间的校对"),  QString(),
                                QString::fromUtf8("退出主程序")};
        QCOMPARE(tray->items().size(), ids.size());
        for (int i = 0; i < ids.size(); ++i) {
            const FlatMenuItem* item = tray->items().at(i);
            QCOMPARE(item->commandId, ids.at(i));
            QCOMPARE(item->text, texts.at(i));
            QVERIFY(item->ownerDrawn());
            QCOMPARE(item->separator(), ids.at(i) == 0);
            if (item->separator())
                QCOMPARE(item->flags, 0x0900u);
            else
                QCOMPARE(item->flags, 0x0100u);
            QCOMPARE(tray->itemFor(tray->actions().at(i)), item);
        }
        QCOMPARE(menu.SubMenuAt(0)->items().size(), 3);
        QCOMPARE(menu.SubMenuAt(0)->items().at(0)->commandId, 32772);
    }

    void missingResourceLeavesMenuAlone()
    {
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(kMenuMain));
        QVERIFY(!menu.LoadMenu(4242));
        // A failed load does not destroy what was loaded.
        QCOMPARE(menu.items().size(), 2);
        CFlatMenu empty;
        QVERIFY(!empty.LoadMenu(QList<MenuPopupTemplate>()));
        QVERIFY(!empty.IsLoaded());
    }

    void appendFlags()
    {
        CFlatMenu menu;
        menu.AppendOwnerDrawItem(QString(), menuflags::kByPosition | menuflags::kGrayed, 0);
        menu.AppendOwnerDrawItem(QStringLiteral("A"), 0, 7);
        menu.AppendOwnerDrawItem(QStringLiteral("B"), menuflags::kGrayed, 8);
        QCOMPARE(menu.items().at(0)->flags, 0x0D00u);
        QCOMPARE(menu.items().at(1)->flags, 0x0100u);
        QCOMPARE(menu.items().at(2)->flags, 0x0101u);
        QVERIFY(menu.actions().at(1)->isEnabled());
        QVERIFY(!menu.actions().at(2)->isEnabled());
        QCOMPARE(menu.actions().at(2)->data().toInt(), 8);
    }

    void loadingAlignsAccelerators()
    {
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(templateWithAccelerators()));
        const CFlatMenu* file = menu.SubMenuAt(0);
        const QFontMetrics fm(file->font());
        const QString open = file->items().at(0)->text;
        const QString save = file->items().at(2)->text;
        QVERIFY(open.startsWith(QStringLiteral("Open ")));
        QVERIFY(open.endsWith(QStringLiteral("\tCtrl+O")));
        QCOMPARE(file->items().at(3)->text, QStringLiteral("Quit"));
        const int target = fm.horizontalAdvance(QStringLiteral("Save everything "));
        const QString openLabel = SplitItemText(open).label;
        QVERIFY(fm.horizontalAdvance(openLabel) >= target);
        QVERIFY(fm.horizontalAdvance(openLabel.chopped(1)) < target);
        QVERIFY(fm.horizontalAdvance(SplitItemText(save).label) >= target);
        // The action shows the label only, so the menu keeps no accelerator column of its own.
        QVERIFY(!file->actions().at(0)->text().contains(QLatin1Char('\t')));
    }

    void destroyFreesPopups()
    {
        const int before = CFlatMenu::LivePopupCount();
        QPointer<CFlatMenu> pop;
        QPointer<CFlatMenu> pop1;
        {
            CFlatMenu menu;
            QVERIFY(menu.LoadMenu(kMenuMain));
            pop = menu.SubMenuAt(0);
            pop1 = menu.SubMenuAt(1);
            QCOMPARE(CFlatMenu::LivePopupCount(), before + 2);
            menu.DestroyMenu();
            QVERIFY(pop.isNull());
            QVERIFY(pop1.isNull());
            QCOMPARE(CFlatMenu::LivePopupCount(), before);
            QVERIFY(menu.items().isEmpty());
            QVERIFY(menu.actions().isEmpty());
            QVERIFY(!menu.IsLoaded());
            menu.DestroyMenu();
            QVERIFY(menu.items().isEmpty());

            QVERIFY(menu.LoadMenu(kMenuMain));
            pop = menu.SubMenuAt(0);
        }
        // The destructor destroys too.
        QVERIFY(pop.isNull());
        QCOMPARE(CFlatMenu::LivePopupCount(), before);
    }

    void measuresWithTheMenuFont()
    {
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(kMenuMain));
        CFlatMenu* tray = menu.SubMenuAt(1);
        QCOMPARE(tray->font().pixelSize(), 14);
        const QFontMetrics fm(tray->font());
        const int bar = MenuBarHeight(fm.height());
        const FlatMenuItem* show = tray->items().at(0);
        const FlatMenuItem* separator = tray->items().at(2);

        // Classic until the settings say otherwise.
        QCOMPARE(tray->MeasureItem(*show), QSize(fm.horizontalAdvance(show->text) + 33, std::max(bar, 19)));
        QCOMPARE(tray->MeasureItem(*separator).height(), std::max(9, bar / 2));
        FlatMenuGlobals().styleOther = 1;
        QCOMPARE(tray->MeasureItem(*show), QSize(fm.horizontalAdvance(show->text) + 31, std::max(bar, 22)));
        QCOMPARE(tray->MeasureItem(*separator), QSize(0, 3));
    }

    void menuLaysItemsOutAsMeasured()
    {
        FlatMenuGlobals().styleOther = 1;
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(kMenuMain));
        CFlatMenu* tray = menu.SubMenuAt(1);
        int widest = 0;
        for (const FlatMenuItem* item : tray->items())
            widest = std::max(widest, tray->MeasureItem(*item).width());
        tray->popup(QPoint(50, 40));
        QVERIFY(QTest::qWaitForWindowExposed(tray));
        for (int i = 0; i < tray->items().size(); ++i) {
            const QRect g = tray->actionGeometry(tray->actions().at(i));
            QCOMPARE(g.height(), tray->MeasureItem(*tray->items().at(i)).height());
            // Every item is as wide as the widest, with a check mark's room added (the classic menu measure).
            QCOMPARE(g.width(), widest + 12);
        }
        tray->hide();
    }

    void flatItemColours()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QStringLiteral("Item"), 0, 5);
        const QColor back(249, 249, 249);
        const QColor column(222, 219, 213);
        const QColor highlight(49, 106, 197);
        const QColor selection(224, 232, 246);

        QImage img = drawn(menu, 0, QSize(200, 22), false, MenuDrawStyle::Flat);
        QCOMPARE(at(img, 0, 0), column);
        QCOMPARE(at(img, 22, 11), column);
        QCOMPARE(at(img, 23, 11), back);
        QCOMPARE(at(img, 199, 21), back);
        // The label starts 8 pixels after the 23-pixel column.
        const QList<int> ink = columnsWith(img, QColor(0, 0, 0));
        QVERIFY(!ink.isEmpty());
        QVERIFY(ink.first() >= 31 && ink.first() <= 34);

        img = drawn(menu, 0, img.size(), true, MenuDrawStyle::Flat);
        // One pixel of highlight around a pale fill that covers the column too.
        QCOMPARE(at(img, 0, 0), highlight);
        QCOMPARE(at(img, 199, 21), highlight);
        QCOMPARE(at(img, 100, 0), highlight);
        QCOMPARE(at(img, 0, 11), highlight);
        QCOMPARE(at(img, 1, 1), selection);
        QCOMPARE(at(img, 10, 11), selection);
        QCOMPARE(at(img, 198, 20), selection);
    }

    void flatSeparator()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QString(), 0, 0);
        QImage img = drawn(menu, 0, QSize(100, 3), false, MenuDrawStyle::Flat);
        // Etched line from column (23) + margin (7) on, in the middle row.
        QCOMPARE(at(img, 5, 1), QColor(222, 219, 213));
        QCOMPARE(at(img, 29, 1), QColor(249, 249, 249));
        QCOMPARE(at(img, 30, 1), QColor(128, 128, 128));
        QCOMPARE(at(img, 99, 1), QColor(128, 128, 128));
        QCOMPARE(at(img, 30, 2), QColor(250, 250, 250));
        QCOMPARE(at(img, 30, 0), QColor(249, 249, 249));
    }

    void disabledItems()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QStringLiteral("WWWW"), menuflags::kGrayed, 5);
        // Flat: never drawn selected, gray text lightened by 0.4.
        QImage img = drawn(menu, 0, QSize(160, 22), true, MenuDrawStyle::Flat);
        QCOMPARE(at(img, 1, 1), QColor(222, 219, 213));
        QVERIFY(!columnsWith(img, QColor(174, 174, 174)).isEmpty());
        QVERIFY(columnsWith(img, QColor(120, 120, 120)).isEmpty());

        // Classic, not selected: embossed, the light copy one pixel right of the gray.
        img = drawn(menu, 0, img.size(), false, MenuDrawStyle::Classic);
        const QList<int> gray = columnsWith(img, QColor(120, 120, 120));
        const QList<int> light = columnsWith(img, QColor(250, 250, 250));
        QVERIFY(!gray.isEmpty());
        QVERIFY(!light.isEmpty());
        QCOMPARE(light.last(), gray.last() + 1);
        QVERIFY(gray.first() >= 25);

        // Classic, selected: the text takes the menu colour on the highlight.
        img = drawn(menu, 0, img.size(), true, MenuDrawStyle::Classic);
        QCOMPARE(at(img, 1, 1), QColor(49, 106, 197));
        QVERIFY(!columnsWith(img, QColor(192, 192, 192)).isEmpty());
    }

    void classicItems()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QStringLiteral("Item"), 0, 5);
        menu.AppendOwnerDrawItem(QString(), 0, 0);
        QImage img = drawn(menu, 0, QSize(120, 22), false, MenuDrawStyle::Classic);
        QCOMPARE(at(img, 1, 1), QColor(192, 192, 192));
        QCOMPARE(at(img, 119, 21), QColor(192, 192, 192));
        const QList<int> ink = columnsWith(img, QColor(0, 0, 0));
        QVERIFY(!ink.isEmpty());
        QVERIFY(ink.first() >= 25 && ink.first() <= 28);

        img = drawn(menu, 0, img.size(), true, MenuDrawStyle::Classic);
        QCOMPARE(at(img, 1, 1), QColor(49, 106, 197));
        QVERIFY(!columnsWith(img, QColor(255, 255, 0)).isEmpty());
        QVERIFY(columnsWith(img, QColor(0, 0, 0)).isEmpty());

        QImage sep = drawn(menu, 1, QSize(120, 11), false, MenuDrawStyle::Classic);
        // Across the whole item, in the middle.
        QCOMPARE(at(sep, 0, 5), QColor(128, 128, 128));
        QCOMPARE(at(sep, 119, 6), QColor(250, 250, 250));
        QCOMPARE(at(sep, 0, 4), QColor(192, 192, 192));
    }

    void acceleratorRightAligned()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QStringLiteral("Open\tIIII"), 0, 5);
        QImage img = drawn(menu, 0, QSize(220, 22), false, MenuDrawStyle::Flat);
        const QList<int> ink = columnsWith(img, QColor(0, 0, 0));
        QVERIFY(!ink.isEmpty());
        // Ends the image width (16) short of the right edge.
        QVERIFY2(ink.last() <= 220 - 16 - 1 && ink.last() >= 220 - 16 - 4,
                 qPrintable(QString::number(ink.last())));
        QVERIFY(ink.first() >= 31 && ink.first() <= 34);
    }

    void drawsInTheStyleInForce()
    {
        CFlatMenu menu;
        menu.setPalette(testPalette());
        menu.AppendOwnerDrawItem(QStringLiteral("Item"), 0, 5);
        QImage img(120, 22, QImage::Format_ARGB32);
        {
            QPainter p(&img);
            menu.DrawItem(&p, *menu.items().at(0), img.rect(), false);
        }
        QCOMPARE(at(img, 1, 1), QColor(192, 192, 192));
        FlatMenuGlobals().styleOther = 1;
        {
            QPainter p(&img);
            menu.DrawItem(&p, *menu.items().at(0), img.rect(), false);
        }
        QCOMPARE(at(img, 1, 1), QColor(222, 219, 213));
    }

    void shownMenuIsOwnerDrawn()
    {
        FlatMenuGlobals().styleOther = 1;
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(kMenuMain));
        CFlatMenu* tray = menu.SubMenuAt(1);
        tray->setPalette(testPalette());
        tray->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(tray));
        QAction* about = actionWithId(tray, 32774);
        tray->setActiveAction(about);
        const QImage img = tray->grab().toImage();
        const QRect selected = tray->actionGeometry(about);
        const QRect other = tray->actionGeometry(actionWithId(tray, 32777));
        QCOMPARE(at(img, selected.x() + 5, selected.center().y()), QColor(224, 232, 246));
        QCOMPARE(at(img, selected.x(), selected.y()), QColor(49, 106, 197));
        QCOMPARE(at(img, other.x() + 5, other.center().y()), QColor(222, 219, 213));
        QCOMPARE(at(img, other.right() - 2, other.center().y()), QColor(249, 249, 249));
        tray->hide();
    }

    void trackReturnsTheLeftClickedCommand()
    {
        CFlatMenu menu;
        QVERIFY(menu.LoadMenu(kMenuMain));
        CFlatMenu* tray = menu.SubMenuAt(1);
        QPoint openedAt;
        bool rightClickKeptOpen = false;
        whenPopupOpens([&](QMenu* popup) {
            openedAt = popup->pos();
            const QPoint settings = popup->actionGeometry(actionWithId(popup, 32779)).center();
            QTest::mouseClick(popup, Qt::RightButton, {}, settings);
            rightClickKeptOpen = popup->isVisible();
            QTest::mouseClick(popup, Qt::LeftButton, {}, settings);
        });
        QCOMPARE(tray->TrackPopupMenu(QPoint(120, 80)), 32779);
        QCOMPARE(openedAt, QPoint(120, 80));
        QVERIFY(rightClickKeptOpen);

        whenPopupOpens([](QMenu* popup) { QTest::keyClick(popup, Qt::Key_Escape); });
        QCOMPARE(tray->TrackPopupMenu(QPoint(10, 10)), 0);
    }
};

QTEST_MAIN(TestFlatMenu)
#include "tst_flatmenu.moc"
