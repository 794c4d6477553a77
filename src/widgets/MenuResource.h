#pragma once

#include <QList>
#include <QString>

class QMenu;
class QWidget;

// Menu templates kept as text resources (res/menu<id>.txt).
struct MenuItemTemplate
{
    int id = 0; // command id; 0 for a separator
    QString text;
    bool separator() const { return id == 0; }
};

struct MenuPopupTemplate
{
    QString name;
    QList<MenuItemTemplate> items;
};

// The pop-ups of menu resource id, in order; empty when there is no such resource.
QList<MenuPopupTemplate> LoadMenuResource(int id);

// A plain platform menu of one pop-up; each action carries its command id in data().
QMenu* BuildPlainMenu(const MenuPopupTemplate& popup, QWidget* parent);

inline constexpr int kMenuMain = 129;
