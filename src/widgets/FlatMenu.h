#pragma once

#include "widgets/MenuMetrics.h"
#include "widgets/MenuResource.h"

#include <QHash>
#include <QList>
#include <QMenu>

class QPainter;
class QPaintDevice;
class CFlatMenu;

// One owner-drawn item, owned by the menu that appended it.
struct FlatMenuItem
{
    QString text;       // the whole text, a tab and the accelerator included
    unsigned flags = 0; // menuflags
    int commandId = 0;  // 0 for separators and pop-ups
    CFlatMenu* subMenu = nullptr;
    bool separator() const { return flags & menuflags::kSeparator; }
    bool ownerDrawn() const { return flags & menuflags::kOwnerDraw; }
    bool grayed() const { return flags & (menuflags::kGrayed | menuflags::kDisabled); }
};

// The program's menu: loads a menu template and draws every item of its
// pop-ups itself, in the flat look (a tinted image column, a pale selection
// with a border, etched separators) or the classic one. The object loaded
// stands for the menu bar; its pop-ups are CFlatMenu objects it owns.
class CFlatMenu : public QMenu
{
    Q_OBJECT
public:
    explicit CFlatMenu(QWidget* parent = nullptr);
    ~CFlatMenu() override;

    // Builds the menu from menu resource id; false when there is no such resource.
    bool LoadMenu(int resourceId);
    // The same from the pop-ups of a template.
    bool LoadMenu(const QList<MenuPopupTemplate>& popups);
    bool IsLoaded() const { return m_loaded; }

    // The pop-up at that position, or null.
    CFlatMenu* SubMenuAt(int position) const;

    // Appends an item; a separator has command id 0, a pop-up passes its menu.
    void AppendOwnerDrawItem(const QString& text, unsigned flags, int commandId, CFlatMenu* popup = nullptr);

    // Size of one item by the measuring rules, in the style in force.
    QSize MeasureItem(const FlatMenuItem& item) const;
    // Draws one item into r in the style in force; a palette device gets the classic style.
    void DrawItem(QPainter* painter, const FlatMenuItem& item, const QRect& r, bool selected) const;
    void DrawItemInStyle(QPainter* painter, const FlatMenuItem& item, const QRect& r, bool selected,
                         MenuDrawStyle style) const;

    // Frees the pop-ups, the items and the actions; safe to call twice.
    void DestroyMenu();

    // Shows the menu with its top-left corner at pos (screen coordinates) and
    // waits; only the left button chooses. Returns the chosen command id, or 0.
    int TrackPopupMenu(const QPoint& pos);

    const QList<FlatMenuItem*>& items() const { return m_items; }
    const QList<CFlatMenu*>& subMenus() const { return m_subMenus; }
    // The record of one of this menu's actions, or null.
    const FlatMenuItem* itemFor(const QAction* action) const { return m_records.value(action); }

    // The pop-ups created through this class that still exist.
    static int LivePopupCount();
    static bool UsesPalette(const QPaintDevice* device);

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void alignAccelerators();
    int menuBarHeight() const;
    void drawFlat(QPainter* p, const FlatMenuItem& item, const QRect& r, bool selected) const;
    void drawClassic(QPainter* p, const FlatMenuItem& item, const QRect& r, bool selected) const;

    QList<FlatMenuItem*> m_items;
    QList<CFlatMenu*> m_subMenus;
    QHash<const QAction*, FlatMenuItem*> m_records;
    bool m_loaded = false;
};
