#include "widgets/DialogLayout.h"

#include <QFontMetrics>
#include <QWidget>

QFont DialogFont()
{
    QFont font;
    font.setFamilies(
        {QString::fromUtf8("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(9);
    return font;
}

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int letters =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = qMax(1, (letters / 26 + 1) / 2);
    baseY = qMax(1, fm.height());
}

int DialogUnits::x(int units) const
{
    return (units * baseX + 2) / 4;
}

int DialogUnits::y(int units) const
{
    return (units * baseY + 4) / 8;
}

QRect DialogUnits::rect(const QRect& units) const
{
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

void ApplyDialogUnits(QWidget* dialog)
{
    const DialogUnits du(dialog->font());
    for (QWidget* child : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            child->setGeometry(du.rect(child->geometry()));
    }
    dialog->setFixedSize(du.x(dialog->width()), du.y(dialog->height()));
}
