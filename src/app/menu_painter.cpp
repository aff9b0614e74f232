#include "app/menu_painter.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>

#include <algorithm>

namespace sky {

namespace {

// Selection box, check marks and captions are black; disabled captions grey.
constexpr std::int32_t kBlack = 0;
constexpr std::int32_t kGrayText = 8421504;

// One channel moved half-way towards 255, rounded to nearest with ties to even.
int HalfToWhite(int c) {
    const int twice = 2 * c + (255 - c); // 2 * (c + (255 - c) * 0.5)
    int v = twice / 2;
    if (twice % 2 && v % 2)
        ++v;
    return v;
}

std::int32_t BlendHalfToWhite(std::int32_t color) {
    const int r = HalfToWhite(color & 0xFF), g = HalfToWhite((color >> 8) & 0xFF),
              b = HalfToWhite((color >> 16) & 0xFF);
    return r | g << 8 | b << 16;
}

QImage MakeCheckBitmap() {
    QImage img(6, 6, QImage::Format_RGB32);
    img.fill(Qt::black);
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x)
            img.setPixel(x, y, qRgb(255, 255, 255));
    return img;
}

// Scratch bitmap for disabled images: one bit a pixel, 0 where the image is dark.
QImage &WorkBitmap() {
    static QImage work;
    return work;
}

bool IsChecked(const QStyleOptionMenuItem &item) {
    return item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked;
}

bool IsSeparator(const QStyleOptionMenuItem &item) {
    return item.menuItemType == QStyleOptionMenuItem::Separator;
}

QString Caption(const QStyleOptionMenuItem &item) {
    const qsizetype tab = item.text.indexOf(u'\t');
    return tab < 0 ? item.text : item.text.left(tab);
}

QString ShortcutText(const QStyleOptionMenuItem &item) {
    const qsizetype tab = item.text.indexOf(u'\t');
    return tab < 0 ? QString() : item.text.mid(tab + 1);
}

// Text as displayed: "&x" shows x (the access key), "&&" shows "&".
QString StripMnemonic(const QString &text, qsizetype *accel = nullptr) {
    QString out;
    out.reserve(text.size());
    if (accel)
        *accel = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && accel && *accel < 0)
                *accel = out.size();
        }
        out += text[i];
    }
    return out;
}

// `text` (with access-key marks) made to fit `width`: unchanged when it fits, else cut at the end
// with an ellipsis, keeping the access key's underline when its letter survives.
QString FitText(const QFontMetrics &fm, const QString &text, int width) {
    qsizetype accel;
    const QString plain = StripMnemonic(text, &accel);
    if (fm.horizontalAdvance(plain) <= width)
        return text;
    const QString cut = fm.elidedText(plain, Qt::ElideRight, std::max(width, 0));
    QString out;
    for (qsizetype i = 0; i < cut.size(); ++i) {
        if (i == accel && i + 1 < cut.size())
            out += u'&';
        if (cut[i] == u'&')
            out += u'&';
        out += cut[i];
    }
    return out;
}

// Windows rectangle semantics: a 1-pixel frame on the outermost pixels of r, r filled inside.
void FramedBox(QPainter &p, const QRect &r, const QColor &frame, const QColor &fill, int corner) {
    p.setPen(QPen(frame, 0));
    p.setBrush(fill);
    const QRect outline = r.adjusted(0, 0, -1, -1);
    if (corner > 0)
        p.drawRoundedRect(outline, corner / 2.0, corner / 2.0);
    else
        p.drawRect(outline);
}

// The image's dark pixels (visible and not white) in `color`, the rest left as it is.
void DrawSilhouette(QPainter &p, const QPoint &at, const QImage &image, const QColor &color) {
    QImage &work = WorkBitmap();
    if (work.size() != image.size())
        work = QImage(image.size(), QImage::Format_Mono);
    work.setColorTable({color.rgba(), qRgba(0, 0, 0, 0)});
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const bool dark = qAlpha(line[x]) >= 128 && (line[x] & 0xFFFFFF) != 0xFFFFFF;
            work.setPixel(x, y, dark ? 0 : 1);
        }
    }
    p.drawImage(at, work);
}

// QMenu widens its item column by its widest shortcut text. The measured width already holds
// the shortcut, so that amount is given back to keep the menu as wide as measured.
int ShortcutColumn(const QMenu *menu) {
    const QFontMetrics fm = menu->fontMetrics();
    int column = 0;
    for (const QAction *a : menu->actions()) {
        if (!a->isVisible() || a->isSeparator())
            continue;
        const QString text = a->text();
        const qsizetype tab = text.indexOf(u'\t');
        if (tab >= 0)
            column = std::max(column, fm.horizontalAdvance(text.mid(tab + 1)));
        else if (!a->shortcut().isEmpty())
            column = std::max(column, fm.horizontalAdvance(a->shortcut().toString(QKeySequence::NativeText)));
    }
    return column;
}

// The platform widens every owner-drawn popup item by twice the menu font's average letter
// width; that room keeps a caption clear of its shortcut and holds a submenu's arrow.
int PlatformItemMargin(const QFont &font) {
    static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int average = (QFontMetrics(font).horizontalAdvance(letters) / 26 + 1) / 2;
    return 2 * average;
}

bool HasImages(const QMenu *menu) {
    for (const QAction *a : menu->actions())
        if (a->isVisible() && !a->isSeparator() && !a->icon().isNull() && a->isIconVisibleInMenu())
            return true;
    return false;
}

} // namespace

QColor MenuQColor(std::int32_t color) {
    if (color < 0) {
        switch (color & 0xFF) {
        case 4:  // menu
        case 15: // button face
            return QColor(240, 240, 240);
        case 16: // button shadow
            return QColor(160, 160, 160);
        case 17: // grey text
            return QColor(109, 109, 109);
        case 5: // window
            return QColor(255, 255, 255);
        default: // menu text, window text and the rest
            return QColor(0, 0, 0);
        }
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

const QImage &MenuCheckBitmap(bool radio) {
    static const QImage plain = MakeCheckBitmap();
    static const QImage round = MakeCheckBitmap();
    return radio ? round : plain;
}

// The style attached menus carry: item size and drawing come from the painter, the panel is
// the button face inside a 1-pixel shadow line; the rest is the desktop's style.
class MenuStyle : public QProxyStyle {
public:
    explicit MenuStyle(TMenuPainter &painter) : painter_(painter) {}

    static constexpr int kFrame = 3; // 1-pixel line and 2 pixels of face around the items

    int pixelMetric(PixelMetric m, const QStyleOption *opt, const QWidget *w) const override {
        switch (m) {
        case PM_MenuPanelWidth:
            return kFrame;
        case PM_MenuHMargin:
        case PM_MenuVMargin:
            return 0;
        case PM_SmallIconSize:
            return painter_.imageSize.height();
        default:
            return QProxyStyle::pixelMetric(m, opt, w);
        }
    }

    QSize sizeFromContents(ContentsType t, const QStyleOption *opt, const QSize &size,
                           const QWidget *w) const override {
        if (t == CT_Menu)
            return size;
        const auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(opt);
        if (t != CT_MenuItem || !mi)
            return QProxyStyle::sizeFromContents(t, opt, size, w);
        const QMenu *menu = qobject_cast<const QMenu *>(w);
        const QStyleOptionMenuItem item = ForMenu(*mi, menu);
        int width = size.width(), height = size.height();
        painter_.MeasureMenuItem(item, width, height);
        width += PlatformItemMargin(painter_.menuFont);
        if (menu)
            width = std::max(1, width - ShortcutColumn(menu)); // an empty size would hide the item
        return {width, height};
    }

    void drawControl(ControlElement e, const QStyleOption *opt, QPainter *p,
                     const QWidget *w) const override {
        if (e == CE_MenuItem) {
            if (const auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(opt)) {
                painter_.DrawMenuItem(ForMenu(*mi, qobject_cast<const QMenu *>(w)), *p, mi->rect);
                return;
            }
        }
        if (e == CE_MenuEmptyArea) {
            p->fillRect(opt->rect, MenuQColor(kMenuBtnFace));
            return;
        }
        QProxyStyle::drawControl(e, opt, p, w);
    }

    void drawPrimitive(PrimitiveElement e, const QStyleOption *opt, QPainter *p,
                       const QWidget *w) const override {
        if (e == PE_PanelMenu) {
            p->fillRect(opt->rect, MenuQColor(kMenuBtnFace));
            return;
        }
        if (e == PE_FrameMenu) {
            p->save();
            p->setPen(QPen(MenuQColor(kMenuBtnShadow), 0));
            p->setBrush(Qt::NoBrush);
            p->drawRect(opt->rect.adjusted(0, 0, -1, -1));
            p->restore();
            return;
        }
        QProxyStyle::drawPrimitive(e, opt, p, w);
    }

    int styleHint(StyleHint h, const QStyleOption *opt, const QWidget *w,
                  QStyleHintReturn *ret) const override {
        switch (h) {
        case SH_Menu_AllowActiveAndDisabled: // a disabled item is highlighted like the others
            return 1;
        case SH_Menu_Mask: // square corners, whatever the desktop's style does
            return 0;
        default:
            return QProxyStyle::styleHint(h, opt, w, ret);
        }
    }

    // Menus get none of the desktop style's own polish (translucency, rounded corners).
    void polish(QWidget *w) override {
        if (qobject_cast<QMenu *>(w))
            w->setAttribute(Qt::WA_TranslucentBackground, false);
        else
            QProxyStyle::polish(w);
    }
    void unpolish(QWidget *w) override {
        if (!qobject_cast<QMenu *>(w))
            QProxyStyle::unpolish(w);
    }
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;

    // Each time a menu opens: submenus added since are attached, and the items are measured
    // afresh (the painter's font may have changed).
    void MenuAboutToShow() {
        auto *menu = qobject_cast<QMenu *>(sender());
        if (!menu)
            return;
        for (QAction *a : menu->actions())
            if (a->menu())
                painter_.AttachMenu(a->menu());
        QEvent changed(QEvent::StyleChange);
        QCoreApplication::sendEvent(menu, &changed);
    }

private:
    // The item with the painter's view of its menu: maxIconWidth > 0 when the menu has images.
    QStyleOptionMenuItem ForMenu(const QStyleOptionMenuItem &mi, const QMenu *menu) const {
        QStyleOptionMenuItem item = mi;
        if (menu)
            item.maxIconWidth = HasImages(menu) ? painter_.imageSize.width() : 0;
        return item;
    }

    TMenuPainter &painter_;
};

TMenuPainter::TMenuPainter()
    : menuFont(QApplication::font("QMenu")), checkedColor(BlendHalfToWhite(selectColor)),
      style_(std::make_unique<MenuStyle>(*this)) {}

TMenuPainter::~TMenuPainter() = default;

QStyle *TMenuPainter::style() const { return style_.get(); }

void TMenuPainter::AttachMenu(QMenu *popupMenu, QAction *menuItem) {
    if (popupMenu) {
        for (QAction *a : popupMenu->actions())
            AttachMenu(nullptr, a);
        if (popupMenu->style() != style_.get())
            popupMenu->setStyle(style_.get());
        QObject::connect(popupMenu, &QMenu::aboutToShow, style_.get(), &MenuStyle::MenuAboutToShow,
                         Qt::UniqueConnection);
    }
    if (menuItem && menuItem->menu())
        AttachMenu(menuItem->menu());
}

void TMenuPainter::MeasureMenuItem(const QStyleOptionMenuItem &item, int &width, int &height) const {
    const QFontMetrics fm(menuFont);
    const int textHeight = fm.height(); // of "W": the font's full line height
    const bool images = item.maxIconWidth > 0;
    const bool separator = IsSeparator(item);
    // The default item is drawn bold, so it is measured bold: its caption is never cut.
    QFont font = menuFont;
    font.setBold(item.menuItemType == QStyleOptionMenuItem::DefaultItem);
    const int textWidth =
        QFontMetrics(font).horizontalAdvance(StripMnemonic(Caption(item)) + ShortcutText(item));
    if (!images) {
        const int h = std::max(textHeight, 18);
        height = separator ? (h <= 20 ? 5 : 11) : h;
        width = textWidth + 35;
    } else if (separator) {
        height = imageSize.height() <= 20 ? 5 : 11;
    } else {
        const int h = std::max(textHeight, imageSize.height());
        height = h < 14 ? 18 : h + 4;
        width = (imageSize.width() < 8 ? 16 : imageSize.width() + 8) + textWidth + 15;
    }
}

void TMenuPainter::DrawMenuItem(const QStyleOptionMenuItem &item, QPainter &canvas, const QRect &rect) const {
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setFont(menuFont);
    const QFontMetrics fm(menuFont);

    // Work in the item's own coordinates: left 0, right and bottom exclusive.
    canvas.translate(rect.left(), 0);
    int left = 0, right = rect.width();
    const int top = rect.top(), bottom = rect.top() + rect.height();
    const bool images = item.maxIconWidth > 0;
    const bool separator = IsSeparator(item);
    const bool hasImage = images && !item.icon.isNull();
    const bool enabled = item.state & QStyle::State_Enabled;

    int gutter;
    if (images)
        gutter = imageSize.width() + 9;
    else if (separator)
        gutter = std::max(fm.height(), 18) + 4;
    else
        gutter = bottom - top + 4;

    if (item.state & QStyle::State_Selected) {
        FramedBox(canvas, QRect(left, top, right - left, bottom - top), MenuQColor(kBlack),
                  MenuQColor(selectColor), 0);
    } else {
        canvas.fillRect(QRect(left, top, gutter - left, bottom - top), MenuQColor(gutterColor));
        canvas.fillRect(QRect(gutter, top, right - gutter, bottom - top), MenuQColor(itemColor));
    }

    if (IsChecked(item)) {
        const bool radio = item.checkType == QStyleOptionMenuItem::Exclusive;
        if (hasImage) {
            FramedBox(canvas, QRect(QPoint(left + 2, top), QPoint(gutter - 3 - 1, bottom - 1)),
                      MenuQColor(kBlack), MenuQColor(checkedColor), radio ? kMenuRadioCorner : kMenuPlainCorner);
        } else {
            const QImage &mark = MenuCheckBitmap(radio);
            canvas.drawImage(QPoint((left + gutter + 1 - mark.width()) / 2, (top + bottom - mark.height()) / 2),
                             mark);
        }
    }

    if (hasImage) {
        const QPoint at(left + 4, (top + bottom - imageSize.height()) / 2);
        const QPixmap pm = item.icon.pixmap(imageSize, canvas.device() ? canvas.device()->devicePixelRatioF() : 1.0,
                                            QIcon::Normal, item.checked ? QIcon::On : QIcon::Off);
        if (enabled) {
            canvas.drawPixmap(QRect(at, imageSize), pm);
        } else {
            const QImage img = pm.toImage().scaled(imageSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            DrawSilhouette(canvas, at, img, MenuQColor(kMenuBtnShadow));
        }
    }

    QFont font = menuFont;
    font.setBold(item.menuItemType == QStyleOptionMenuItem::DefaultItem);
    canvas.setFont(font);
    const QColor textColor = MenuQColor(enabled ? kBlack : kGrayText);
    canvas.setPen(textColor);
    canvas.setBrush(Qt::NoBrush);

    left += gutter + 5;

    if (separator) {
        const int y = top + (bottom - top) / 2;
        canvas.setPen(QPen(MenuQColor(kMenuBtnShadow), 0));
        if (right > left)
            canvas.drawLine(left, y, right - 1, y);
    } else {
        const QFontMetrics tfm(font);
        QRect box(left, top, right - left, bottom - top);
        canvas.drawText(box, kMenuCaptionFlags, FitText(tfm, Caption(item), box.width()));
        const QString shortcut = ShortcutText(item);
        if (!shortcut.isEmpty()) {
            box.setRight(box.right() - 5);
            canvas.drawText(box, kMenuShortcutFlags, FitText(tfm, shortcut, box.width()));
        }
        // A submenu's arrow at the right end, as the platform adds to every owner-drawn menu.
        if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
            const int x = right - 10, y = top + (bottom - top) / 2;
            for (int i = 0; i < 4; ++i)
                canvas.fillRect(QRect(x + i, y - 3 + i, 1, 7 - 2 * i), textColor);
        }
    }
    canvas.restore();
}

TMenuPainter &SharedMenuPainter() {
    static TMenuPainter *shared = nullptr;
    if (!shared) {
        shared = new TMenuPainter;
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    return *shared;
}

} // namespace sky
