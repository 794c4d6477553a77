#include "widgets/FlatMenu.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QSet>
#include <QStyleOptionMenuItem>
#include <qdrawutil.h>

namespace {
// Every pop-up created through the class, until its menu is destroyed.
QSet<const CFlatMenu*>& livePopups()
{
    static QSet<const CFlatMenu*> popups;
    return popups;
}

MenuRgb rgbOf(const QColor& c)
{
    return {c.red(), c.green(), c.blue()};
}
QColor colourOf(MenuRgb c)
{
    return QColor(c.r, c.g, c.b);
}

// The flat colours from the system colours of the palette.
FlatMenuColours flatColours(const QPalette& pal, bool themedXp)
{
    return FlatColoursFor(rgbOf(pal.color(QPalette::Base)), rgbOf(pal.color(QPalette::Button)),
                          rgbOf(pal.color(QPalette::Highlight)), themedXp);
}

// A one-pixel border inside r (the classic FrameRect).
void frameRect(QPainter* p, const QRect& r, const QColor& c)
{
    p->fillRect(QRect(r.x(), r.y(), r.width(), 1), c);
    p->fillRect(QRect(r.x(), r.y() + r.height() - 1, r.width(), 1), c);
    p->fillRect(QRect(r.x(), r.y(), 1, r.height()), c);
    p->fillRect(QRect(r.x() + r.width() - 1, r.y(), 1, r.height()), c);
}

// An etched line (the top border of EDGE_ETCHED): shadow, with the highlight below it.
void etchedLine(QPainter* p, int x1, int x2, int y, const QPalette& pal)
{
    if (x2 <= x1)
        return;
    p->fillRect(QRect(x1, y, x2 - x1, 1), pal.color(QPalette::Dark));
    p->fillRect(QRect(x1, y + 1, x2 - x1, 1), pal.color(QPalette::Light));
}

// SM_CXMENUCHECK - 1 at 96 dpi.
constexpr int kCheckMarkAllowance = 12;

constexpr int kTextFlags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;

void drawItemText(QPainter* p, const FlatMenuSettings& s, QRect textRect, const QString& text,
                  const QColor& c)
{
    p->setPen(c);
    const ItemTextParts parts = SplitItemText(text);
    if (parts.hasTab) {
        textRect = AcceleratorRect(s, textRect);
        p->drawText(textRect, Qt::AlignRight | kTextFlags, parts.accelerator);
    }
    p->drawText(textRect, Qt::AlignLeft | kTextFlags, parts.label);
}

// Routes the measuring and drawing of a CFlatMenu's owner-drawn items to the
// menu, and paints the menu's frame and background to match.
class FlatMenuStyle final : public QProxyStyle
{
public:
    static FlatMenuStyle* instance()
    {
        static QPointer<FlatMenuStyle> style;
        if (!style)
            style = new FlatMenuStyle(qApp);
        return style;
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type == CT_MenuItem) {
            const CFlatMenu* menu = nullptr;
            // Every owner-drawn item is widened by a check mark's width less one
            // (the classic menu measure); the flat look counts on that room at the
            // right of the text.
            if (const FlatMenuItem* item = itemOf(opt, widget, &menu))
                return menu->MeasureItem(*item) + QSize(kCheckMarkAllowance, 0);
        }
        return QProxyStyle::sizeFromContents(type, opt, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* opt, QPainter* p,
                     const QWidget* widget) const override
    {
        const CFlatMenu* menu = nullptr;
        const FlatMenuItem* item = itemOf(opt, widget, &menu);
        if (element == CE_MenuItem && item) {
            menu->DrawItem(p, *item, opt->rect, opt->state & State_Selected);
            return;
        }
        if (menu && (element == CE_MenuEmptyArea || element == CE_MenuHMargin || element == CE_MenuVMargin)) {
            paintPanel(p, opt->rect, *menu);
            return;
        }
        QProxyStyle::drawControl(element, opt, p, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* opt, QPainter* p,
                       const QWidget* widget) const override
    {
        const auto* menu = qobject_cast<const CFlatMenu*>(widget);
        if (menu && element == PE_PanelMenu) {
            paintPanel(p, opt->rect, *menu);
            return;
        }
        if (menu && element == PE_FrameMenu) {
            if (flat())
                frameRect(p, opt->rect, opt->palette.color(QPalette::Dark));
            else
                qDrawWinPanel(p, opt->rect, opt->palette, false);
            return;
        }
        QProxyStyle::drawPrimitive(element, opt, p, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* opt, const QWidget* widget) const override
    {
        if (qobject_cast<const CFlatMenu*>(widget)) {
            switch (metric) {
            case PM_MenuPanelWidth:
                return flat() ? 1 : 2;
            case PM_MenuHMargin:
                return 0;
            case PM_MenuVMargin:
                return 1;
            default:
                break;
            }
        }
        return QProxyStyle::pixelMetric(metric, opt, widget);
    }

private:
    explicit FlatMenuStyle(QObject* parent) { setParent(parent); }

    static bool flat() { return StyleInForce(FlatMenuGlobals(), IsThemedXp()) == MenuDrawStyle::Flat; }

    // The item record of the menu item an option stands for; the menu puts the
    // item's action into the option.
    static const FlatMenuItem* itemOf(const QStyleOption* opt, const QWidget* widget, const CFlatMenu** menu)
    {
        *menu = qobject_cast<const CFlatMenu*>(widget);
        const auto* action = opt ? qobject_cast<const QAction*>(opt->styleObject) : nullptr;
        const FlatMenuItem* item = *menu && action ? (*menu)->itemFor(action) : nullptr;
        return item && item->ownerDrawn() ? item : nullptr;
    }

    // The background around the items continues their look: the back colour
    // and, in the flat style, the image column.
    void paintPanel(QPainter* p, const QRect& r, const CFlatMenu& menu) const
    {
        const QPalette& pal = menu.palette();
        const FlatMenuSettings& s = FlatMenuGlobals();
        if (!flat()) {
            p->fillRect(r, IsThemedXp() ? pal.color(QPalette::Button) : pal.color(QPalette::Window));
            return;
        }
        const FlatMenuColours c = flatColours(pal, IsThemedXp());
        p->fillRect(r, colourOf(c.back));
        const int inner =
            pixelMetric(PM_MenuPanelWidth, nullptr, &menu) + pixelMetric(PM_MenuHMargin, nullptr, &menu);
        const QRect column(inner, 0, ImageColumnWidth(s, MenuDrawStyle::Flat), menu.height());
        p->fillRect(column.intersected(r), colourOf(c.column));
    }
};
} // namespace

CFlatMenu::CFlatMenu(QWidget* parent) : QMenu(parent)
{
    // The desktop's menu font, not the font of the window that owns the menu.
    setFont(QApplication::font("QMenu"));
    setStyle(FlatMenuStyle::instance());
}

CFlatMenu::~CFlatMenu()
{
    DestroyMenu();
}

bool CFlatMenu::LoadMenu(int resourceId)
{
    return LoadMenu(LoadMenuResource(resourceId));
}

bool CFlatMenu::LoadMenu(const QList<MenuPopupTemplate>& popups)
{
    if (popups.isEmpty())
        return false;
    DestroyMenu();
    for (const MenuPopupTemplate& popup : popups) {
        auto* sub = new CFlatMenu(this);
        AppendOwnerDrawItem(popup.name, menuflags::kPopup, 0, sub);
        for (const MenuItemTemplate& item : popup.items)
            sub->AppendOwnerDrawItem(item.text, 0, item.id);
        sub->alignAccelerators();
    }
    alignAccelerators();
    // The menu bar itself keeps the platform's plain items.
    for (FlatMenuItem* item : std::as_const(m_items))
        item->flags &= ~menuflags::kOwnerDraw;
    m_loaded = true;
    return true;
}

CFlatMenu* CFlatMenu::SubMenuAt(int position) const
{
    if (position < 0 || position >= m_items.size())
        return nullptr;
    return m_items.at(position)->subMenu;
}

void CFlatMenu::AppendOwnerDrawItem(const QString& text, unsigned flags, int commandId, CFlatMenu* popup)
{
    using namespace menuflags;
    if (commandId == 0 && !popup)
        flags = kSeparator | kOwnerDraw | (flags & kByPosition);
    else
        flags |= kOwnerDraw;
    auto* item = new FlatMenuItem{text, flags, commandId, popup};

    // The action shows the label only: the accelerator is part of the owner-drawn
    // text, so the menu must not reserve a column of its own for it.
    const QString label = SplitItemText(text).label;
    QAction* action = nullptr;
    if (item->separator()) {
        action = addSeparator();
    } else if (popup) {
        popup->setTitle(label);
        action = addMenu(popup);
        m_subMenus.append(popup);
        livePopups().insert(popup);
    } else {
        action = addAction(label);
    }
    action->setData(commandId);
    action->setEnabled(!item->grayed());
    m_items.append(item);
    m_records.insert(action, item);
}

void CFlatMenu::alignAccelerators()
{
    const FlatMenuSettings& s = FlatMenuGlobals();
    if (!AlignsAccelerators(s, StyleInForce(s, IsThemedXp())))
        return;
    QStringList texts;
    for (const FlatMenuItem* item : std::as_const(m_items))
        texts << item->text;
    const QFontMetrics fm = fontMetrics();
    const QStringList aligned =
        AlignAcceleratorText(texts, [&fm](const QString& t) { return fm.horizontalAdvance(t); });
    for (qsizetype i = 0; i < m_items.size(); ++i)
        m_items[i]->text = aligned.at(i);
}

int CFlatMenu::menuBarHeight() const
{
    return MenuBarHeight(fontMetrics().height());
}

QSize CFlatMenu::MeasureItem(const FlatMenuItem& item) const
{
    const FlatMenuSettings& s = FlatMenuGlobals();
    const MenuDrawStyle style = StyleInForce(s, IsThemedXp());
    if (item.separator())
        return {0, SeparatorHeight(s, style, menuBarHeight())};
    return TextItemSize(s, style, fontMetrics().horizontalAdvance(item.text), menuBarHeight());
}

bool CFlatMenu::UsesPalette(const QPaintDevice* device)
{
    return device && device->depth() <= 8;
}

void CFlatMenu::DrawItem(QPainter* painter, const FlatMenuItem& item, const QRect& r, bool selected) const
{
    DrawItemInStyle(painter, item, r, selected,
                    DrawStyleFor(FlatMenuGlobals(), IsThemedXp(), UsesPalette(painter->device())));
}

void CFlatMenu::DrawItemInStyle(QPainter* painter, const FlatMenuItem& item, const QRect& r, bool selected,
                                MenuDrawStyle style) const
{
    painter->save();
    painter->setFont(font());
    painter->setBackgroundMode(Qt::TransparentMode);
    if (style == MenuDrawStyle::Flat)
        drawFlat(painter, item, r, selected);
    else
        drawClassic(painter, item, r, selected);
    painter->restore();
}

void CFlatMenu::drawFlat(QPainter* p, const FlatMenuItem& item, const QRect& r, bool selected) const
{
    const FlatMenuSettings& s = FlatMenuGlobals();
    const QPalette& pal = palette();
    const bool themed = IsThemedXp();
    const FlatMenuColours c = flatColours(pal, themed);
    const int d = ImageMargin(s, MenuDrawStyle::Flat);
    const int w = ImageColumnWidth(s, MenuDrawStyle::Flat);
    const QRect column(r.x(), r.y(), w, r.height());
    if (item.grayed() && !s.highlightDisabledFlat)
        selected = false;

    // Frames in the colour of the fill beneath them change nothing and are left out.
    if (item.separator()) {
        p->fillRect(r, colourOf(c.back));
        p->fillRect(column, colourOf(c.column));
        etchedLine(p, r.x() + w + d, r.x() + r.width(), SeparatorLineY(r), pal);
        return;
    }
    if (selected) {
        p->fillRect(r, colourOf(c.selection));
        frameRect(p, r, colourOf(c.highlight));
    } else {
        p->fillRect(r, colourOf(c.back));
        p->fillRect(column, colourOf(c.column));
    }

    QColor text = pal.color(QPalette::WindowText);
    if (item.grayed()) {
        const QColor gray = pal.color(QPalette::Disabled, QPalette::WindowText);
        text = !themed && !selected ? colourOf(BlendTowardWhite(rgbOf(gray), 0.4)) : gray;
    }
    drawItemText(p, s, FlatTextRect(s, r), item.text, text);
}

void CFlatMenu::drawClassic(QPainter* p, const FlatMenuItem& item, const QRect& r, bool selected) const
{
    const FlatMenuSettings& s = FlatMenuGlobals();
    const QPalette& pal = palette();
    const QColor back = IsThemedXp() ? pal.color(QPalette::Button) : pal.color(QPalette::Window);
    if (item.grayed() && !s.highlightDisabledClassic)
        selected = false;

    if (item.separator()) {
        p->fillRect(r, back);
        etchedLine(p, r.x(), r.x() + r.width(), SeparatorLineY(r), pal);
        return;
    }
    // No item shows an image or a check mark, so a selection fills the whole item.
    p->fillRect(r, selected ? pal.color(QPalette::Highlight) : back);

    const QRect textRect = ClassicTextRect(s, r);
    if (!item.grayed()) {
        drawItemText(p, s, textRect, item.text,
                     selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText));
    } else if (!selected) {
        drawItemText(p, s, textRect.translated(1, 1), item.text, pal.color(QPalette::Light));
        drawItemText(p, s, textRect, item.text, pal.color(QPalette::Disabled, QPalette::WindowText));
    } else {
        drawItemText(p, s, textRect, item.text, back);
    }
}

void CFlatMenu::DestroyMenu()
{
    livePopups().remove(this);
    for (CFlatMenu* sub : std::as_const(m_subMenus)) {
        livePopups().remove(sub);
        delete sub;
    }
    m_subMenus.clear();
    qDeleteAll(m_items);
    m_items.clear();
    m_records.clear();
    clear();
    m_loaded = false;
}

int CFlatMenu::TrackPopupMenu(const QPoint& pos)
{
    QAction* chosen = exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}

int CFlatMenu::LivePopupCount()
{
    return int(livePopups().size());
}

void CFlatMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const
{
    QMenu::initStyleOption(option, action);
    // Lets the style find the item record of the action it measures or draws.
    if (m_records.contains(action))
        option->styleObject = const_cast<QAction*>(action);
}

void CFlatMenu::mouseReleaseEvent(QMouseEvent* event)
{
    // Items are chosen with the left button only.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}
