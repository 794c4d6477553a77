#pragma once

#include <QFont>
#include <QRect>

class QWidget;

// The dialogs' font: "宋体" 9 pt, falling back to WenQuanYi Micro Hei where it is missing.
QFont DialogFont();

// Dialog base units of a font: 4 units per average Latin letter width, 8 per
// character height, rounded half away from zero, so that forms measured in
// dialog units keep their proportions with any font.
struct DialogUnits
{
    explicit DialogUnits(const QFont& font);
    int x(int units) const;
    int y(int units) const;
    QRect rect(const QRect& units) const;
    int baseX = 1;
    int baseY = 1;
};

// The form keeps its geometry in dialog units, as the dialog resources do:
// converts the size of dialog and the geometry of its direct children to
// pixels of the dialog's font, and fixes the size.
void ApplyDialogUnits(QWidget* dialog);
