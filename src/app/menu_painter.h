#pragma once
// TMenuPainter: popup menus painted in the program's own look instead of the desktop's: a
// silver gutter down the left side, white items, a lavender selection box with a black frame,
// small square check marks, grey captions for disabled items and a bold caption for the default
// item. Qt draws a menu whole through its style, so the painter reaches a menu as a style set on
// that menu (and on every submenu below it) which takes over the size and the drawing of items.
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QStyleOptionMenuItem>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class QPainter;
class QStyle;

namespace sky {

// Colours are Windows colour values: red in the low byte, then green, then blue. Negative
// values name system colours; the few the menu uses map to fixed values, so menus look the same
// on every desktop.
constexpr std::int32_t kMenuBtnFace = std::int32_t(0x8000000F);
constexpr std::int32_t kMenuBtnShadow = std::int32_t(0x80000010);
constexpr std::int32_t kMenuSelectColor = 14135215; // red 175, green 175, blue 215
QColor MenuQColor(std::int32_t color);

// Text flags for captions (popup items: left-aligned) and for shortcut texts (right-aligned).
// Both are vertically centred, single line, not clipped, with "&" marking the access key; text
// too wide for its box is cut with an ellipsis at the end.
constexpr int kMenuCaptionFlags =
    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip | Qt::TextShowMnemonic;
constexpr int kMenuShortcutFlags =
    Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip | Qt::TextShowMnemonic;
// Corner size of the frame behind a checked item's image: plain items square, radio items round.
constexpr int kMenuPlainCorner = 0;
constexpr int kMenuRadioCorner = 6;

// The two 6 x 6 check marks (plain and radio items): a black 1-pixel square, white inside.
const QImage &MenuCheckBitmap(bool radio);

class MenuStyle;

class TMenuPainter {
public:
    TMenuPainter(); // needs the application object (the menu font is the platform's)
    ~TMenuPainter();
    TMenuPainter(const TMenuPainter &) = delete;
    TMenuPainter &operator=(const TMenuPainter &) = delete;

    QFont menuFont;                          // font of every item
    std::int32_t gutterColor = 12632256;     // silver: left gutter of popup items
    std::int32_t itemColor = 16777215;       // white: item background right of the gutter
    std::int32_t selectColor = kMenuSelectColor;
    std::int32_t checkedColor;               // selectColor half-way to white: behind checked images
    QSize imageSize{16, 16};                 // size of item images (icons), as one image list

    // Attached menus take the new font the next time they open.
    void SetMenuFont(const QFont &font) { menuFont = font; }

    // With a menu: paints it and, recursively, every submenu under it. With an item: paints the
    // submenus the item opens (Qt paints the menu holding an item as a whole). Submenus added to
    // an attached menu later are picked up the next time that menu opens.
    void AttachMenu(QMenu *popupMenu = nullptr, QAction *menuItem = nullptr);

    // The size of one item. `item` is as QMenu describes it (text "caption\tshortcut", type,
    // check, icon); item.maxIconWidth > 0 means its menu has images. width and height come in as
    // the menu proposes and go out as the item's size.
    void MeasureMenuItem(const QStyleOptionMenuItem &item, int &width, int &height) const;
    // Paints `item` into `rect` of `canvas`; the state (selected, enabled) is item.state.
    void DrawMenuItem(const QStyleOptionMenuItem &item, QPainter &canvas, const QRect &rect) const;

    // The style attached menus carry.
    QStyle *style() const;

private:
    std::unique_ptr<MenuStyle> style_;
};

// The one painter the window uses; made on first use, freed with the application object.
TMenuPainter &SharedMenuPainter();

} // namespace sky
