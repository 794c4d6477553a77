#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

// Measuring and colour rules of the owner-drawn menus, kept apart from the
// widgets so that they can be checked as plain numbers.

// A colour as three 0..255 channels.
struct MenuRgb
{
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const MenuRgb& a, const MenuRgb& b)
    {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    }
    friend bool operator!=(const MenuRgb& a, const MenuRgb& b) { return !(a == b); }
};

// Each channel v becomes v + f * (255 - v), truncated; f outside (0, 1] leaves the colour as it is.
MenuRgb BlendTowardWhite(MenuRgb colour, double f);
// Each channel v becomes v - f * v, truncated; f outside (0, 1] leaves the colour as it is.
MenuRgb ScaleTowardBlack(MenuRgb colour, double f);

// Menu item flags, with the customary MF_* values that the menu templates use.
namespace menuflags {
inline constexpr unsigned kGrayed = 0x0001;
inline constexpr unsigned kDisabled = 0x0002;
inline constexpr unsigned kChecked = 0x0008;
inline constexpr unsigned kPopup = 0x0010;
inline constexpr unsigned kEnd = 0x0080;
inline constexpr unsigned kOwnerDraw = 0x0100;
inline constexpr unsigned kByPosition = 0x0400;
inline constexpr unsigned kSeparator = 0x0800;
} // namespace menuflags

enum class MenuDrawStyle { Classic = 0, Flat = 1 };

// Settings shared by every owner-drawn menu of the process.
struct FlatMenuSettings
{
    int styleThemed = 1; // style used under the themed look: 0 classic, 1 flat
    int styleOther = 0;  // style used otherwise
    bool raisedImages = true;
    bool highlightDisabledFlat = false;
    bool highlightDisabledClassic = true;
    bool alignAccelerators = true;
    bool alignAcceleratorsAll = true;
    int imageWidth = 16;
    int imageHeight = 15;
};

// The one set of the process (user-interface thread only).
FlatMenuSettings& FlatMenuGlobals();

// The themed desktop look of the menu templates; never present on this platform.
bool IsThemedXp();

// The style the settings put in force.
MenuDrawStyle StyleInForce(const FlatMenuSettings& s, bool themedXp);
// Drawing falls back to the classic style on palette devices.
MenuDrawStyle DrawStyleFor(const FlatMenuSettings& s, bool themedXp, bool paletteDevice);

// Margin d beside the image column: 7 for raised images in the flat style, else 4.
int ImageMargin(const FlatMenuSettings& s, MenuDrawStyle style);
// Width of the image column in the flat style: image width + d.
int ImageColumnWidth(const FlatMenuSettings& s, MenuDrawStyle style);

// Height of a menu-bar line for a menu font of the given line height: three
// pixels above and below the text.
int MenuBarHeight(int fontLineHeight);

int SeparatorHeight(const FlatMenuSettings& s, MenuDrawStyle style, int menuBarHeight);
QSize TextItemSize(const FlatMenuSettings& s, MenuDrawStyle style, int textWidth, int menuBarHeight);

// Colours of the flat style from the three system colours they derive from.
struct FlatMenuColours
{
    MenuRgb back;
    MenuRgb column;
    MenuRgb highlight;
    MenuRgb selection;
};
FlatMenuColours FlatColoursFor(MenuRgb window, MenuRgb buttonFace, MenuRgb highlight, bool themedXp);

// Where an item's text goes inside the item rectangle.
QRect FlatTextRect(const FlatMenuSettings& s, const QRect& item);
QRect ClassicTextRect(const FlatMenuSettings& s, const QRect& item);
// The rectangle the accelerator is right-aligned in.
QRect AcceleratorRect(const FlatMenuSettings& s, const QRect& textRect);
// Row of the etched separator line.
int SeparatorLineY(const QRect& item);

// An item text split at its tabs: the label before the first one and the
// accelerator after the last one.
struct ItemTextParts
{
    QString label;
    QString accelerator;
    bool hasTab = false;
};
ItemTextParts SplitItemText(const QString& text);

// Pads the label of every item text that has a tab with spaces until it is at
// least as wide as the widest label plus one space, so that the accelerators
// line up. width measures a text in the menu font.
QStringList AlignAcceleratorText(const QStringList& texts, const std::function<int(const QString&)>& width);
// Whether loading runs the alignment for the style in force.
bool AlignsAccelerators(const FlatMenuSettings& s, MenuDrawStyle style);
