#include "widgets/MenuMetrics.h"

#include <algorithm>

namespace {
bool factorInRange(double f)
{
    return f > 0.0 && f <= 1.0;
}

// Conversion truncates toward zero, as the integer arithmetic of the drawing code does.
int blendChannel(int v, double f)
{
    return static_cast<int>(v + f * (255 - v));
}
int scaleChannel(int v, double f)
{
    return static_cast<int>(v - f * v);
}
} // namespace

MenuRgb BlendTowardWhite(MenuRgb c, double f)
{
    if (!factorInRange(f))
        return c;
    return {blendChannel(c.r, f), blendChannel(c.g, f), blendChannel(c.b, f)};
}

MenuRgb ScaleTowardBlack(MenuRgb c, double f)
{
    if (!factorInRange(f))
        return c;
    return {scaleChannel(c.r, f), scaleChannel(c.g, f), scaleChannel(c.b, f)};
}

FlatMenuSettings& FlatMenuGlobals()
{
    static FlatMenuSettings settings;
    return settings;
}

bool IsThemedXp()
{
    // The themed look belongs to one desktop theme this platform does not have.
    return false;
}

MenuDrawStyle StyleInForce(const FlatMenuSettings& s, bool themedXp)
{
    const int value = themedXp ? s.styleThemed : s.styleOther;
    return value == 0 ? MenuDrawStyle::Classic : MenuDrawStyle::Flat;
}

MenuDrawStyle DrawStyleFor(const FlatMenuSettings& s, bool themedXp, bool paletteDevice)
{
    return paletteDevice ? MenuDrawStyle::Classic : StyleInForce(s, themedXp);
}

int ImageMargin(const FlatMenuSettings& s, MenuDrawStyle style)
{
    return style == MenuDrawStyle::Flat && s.raisedImages ? 7 : 4;
}

int ImageColumnWidth(const FlatMenuSettings& s, MenuDrawStyle style)
{
    return s.imageWidth + ImageMargin(s, style);
}

int MenuBarHeight(int fontLineHeight)
{
    return fontLineHeight + 6;
}

int SeparatorHeight(const FlatMenuSettings& s, MenuDrawStyle style, int menuBarHeight)
{
    if (style == MenuDrawStyle::Flat)
        return 3;
    return std::max((s.imageHeight + ImageMargin(s, style)) / 2, menuBarHeight / 2);
}

QSize TextItemSize(const FlatMenuSettings& s, MenuDrawStyle style, int textWidth, int menuBarHeight)
{
    const int d = ImageMargin(s, style);
    const int width =
        style == MenuDrawStyle::Flat ? textWidth + s.imageWidth + d + 8 : textWidth + 2 * s.imageWidth + 1;
    return {width, std::max(menuBarHeight, s.imageHeight + d)};
}

FlatMenuColours FlatColoursFor(MenuRgb window, MenuRgb buttonFace, MenuRgb highlight, bool themedXp)
{
    FlatMenuColours c;
    c.back = ScaleTowardBlack(window, 0.02);
    c.column = themedXp ? buttonFace : BlendTowardWhite(buttonFace, 0.25);
    c.highlight = highlight;
    c.selection = BlendTowardWhite(highlight, themedXp ? 0.7 : 0.85);
    return c;
}

namespace {
// A rectangle given by its edges, right and bottom exclusive, as the drawing rules state them.
QRect fromEdges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}
int rightEdge(const QRect& r)
{
    return r.x() + r.width();
}
int bottomEdge(const QRect& r)
{
    return r.y() + r.height();
}
} // namespace

QRect FlatTextRect(const FlatMenuSettings& s, const QRect& item)
{
    const int w = ImageColumnWidth(s, MenuDrawStyle::Flat);
    return fromEdges(item.x() + w + 8, item.y() - 1, rightEdge(item), bottomEdge(item) - 1);
}

QRect ClassicTextRect(const FlatMenuSettings& s, const QRect& item)
{
    return fromEdges(item.x() + s.imageWidth + 9, item.y() - 1, rightEdge(item), bottomEdge(item) - 1);
}

QRect AcceleratorRect(const FlatMenuSettings& s, const QRect& textRect)
{
    return fromEdges(textRect.x(), textRect.y(), rightEdge(textRect) - s.imageWidth, bottomEdge(textRect));
}

int SeparatorLineY(const QRect& item)
{
    return item.y() + item.height() / 2;
}

ItemTextParts SplitItemText(const QString& text)
{
    const qsizetype first = text.indexOf(QLatin1Char('\t'));
    if (first < 0)
        return {text, QString(), false};
    const qsizetype last = text.lastIndexOf(QLatin1Char('\t'));
    return {text.left(first), text.mid(last + 1), true};
}

QStringList AlignAcceleratorText(const QStringList& texts, const std::function<int(const QString&)>& width)
{
    const QString space(QLatin1Char(' '));
    int widest = 0;
    for (const QString& t : texts)
        widest = std::max(widest, width(SplitItemText(t).label + space));

    QStringList out;
    out.reserve(texts.size());
    for (const QString& t : texts) {
        const qsizetype tab = t.indexOf(QLatin1Char('\t'));
        if (tab < 0) {
            out << t;
            continue;
        }
        QString label = t.left(tab);
        // Stops, too, where a space adds no width: such a font could never reach the target.
        for (int w = width(label); w < widest;) {
            label += space;
            const int wider = width(label);
            if (wider <= w)
                break;
            w = wider;
        }
        out << label + t.mid(tab);
    }
    return out;
}

bool AlignsAccelerators(const FlatMenuSettings& s, MenuDrawStyle style)
{
    return style != MenuDrawStyle::Flat || (s.alignAccelerators && s.alignAcceleratorsAll);
}
