#include "widgets/MenuResource.h"

#include <QFile>
#include <QMenu>

QList<MenuPopupTemplate> LoadMenuResource(int id)
{
    QList<MenuPopupTemplate> popups;
    QFile f(QStringLiteral(":/menu%1.txt").arg(id));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return popups;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        if (raw.trimmed().isEmpty() || raw.startsWith(QLatin1Char('#')))
            continue;
        if (!raw.startsWith(QLatin1Char(' '))) {
            popups.append({raw.trimmed(), {}});
            continue;
        }
        if (popups.isEmpty())
            continue;
        const QString line = raw.trimmed();
        MenuItemTemplate item;
        if (line != QLatin1String("-")) {
            const int space = line.indexOf(QLatin1Char(' '));
            item.id = line.left(space).toInt();
            item.text = space < 0 ? QString() : line.mid(space + 1);
        }
        popups.last().items.append(item);
    }
    return popups;
}

QMenu* BuildPlainMenu(const MenuPopupTemplate& popup, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    for (const auto& item : popup.items) {
        if (item.separator()) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(item.text);
        a->setData(item.id);
    }
    return menu;
}
