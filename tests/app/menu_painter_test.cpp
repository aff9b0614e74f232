#include "app/menu_painter.h"
#include "app_test_support.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>

using sky::TMenuPainter;

namespace {

const QRgb kSilver = qRgb(192, 192, 192), kWhite = qRgb(255, 255, 255), kLavender = qRgb(175, 175, 215),
           kBlack = qRgb(0, 0, 0), kShadow = qRgb(160, 160, 160), kChecked = qRgb(215, 215, 235);

QFont PixelFont(int px) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    return f;
}

int Luma(QRgb c) { return qGray(c); }

// Bounding box of the pixels in `area` darker than `below`.
QRect Ink(const QImage &img, const QRect &area, int below = 160) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Luma(img.pixel(x, y)) < below)
                box |= QRect(x, y, 1, 1);
    return box;
}

int Darkest(const QImage &img, const QRect &area) {
    int d = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            d = std::min(d, Luma(img.pixel(x, y)));
    return d;
}

int InkCount(const QImage &img, const QRect &area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += Luma(img.pixel(x, y)) < 128;
    return n;
}

// The window's popup menu as the program builds it, drawn by its own painter.
class MenuPainterMenu : public ::testing::Test {
protected:
    void SetUp() override {
        painter->SetMenuFont(PixelFont(13));
        auto item = [](QMenu *m, const char *caption, const char *key) {
            QString text = QString::fromLatin1(caption);
            if (*key)
                text += QLatin1Char('\t') + QString::fromLatin1(key);
            return m->addAction(text);
        };
        About1 = item(pm1, "About", "");
        N1 = pm1->addSeparator();
        Options1 = pm1->addMenu(QStringLiteral("Options"));
        codec = Options1->addMenu(QStringLiteral("Codec"));
        Infinity1 = item(Options1, "Mode Infinity", "F5");
        Infinity1->setCheckable(true);
        Screenshot1 = item(Options1, "Screenshot", "F6");
        recc = item(Options1, "Recording Spectrum", "F7");
        item(Options1, "Print Preview", "F8");
        Close1 = item(pm1, "Close", "Esc");
        auto *group = new QActionGroup(codec);
        for (const char *c : {"No C", "cvid", "MJPG"}) {
            QAction *a = codec->addAction(QString::fromLatin1(c));
            a->setCheckable(true);
            group->addAction(a);
        }
        codec->actions().at(1)->setChecked(true);
        painter->AttachMenu(pm1);
    }
    void TearDown() override {
        for (QMenu *m : {codec, Options1, pm1})
            m->hide();
    }

    // The menu open on screen, as its pixels.
    QImage Shot(QMenu *menu, QAction *active = nullptr) {
        menu->popup(QPoint(40, 40));
        menu->setActiveAction(active);
        QCoreApplication::processEvents();
        return menu->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    int Measured(QAction *a) {
        QStyleOptionMenuItem opt;
        opt.text = a->text();
        opt.menuItemType = a->isSeparator() ? QStyleOptionMenuItem::Separator
                           : a->menu()      ? QStyleOptionMenuItem::SubMenu
                                            : QStyleOptionMenuItem::Normal;
        opt.maxIconWidth = 0;
        int w = 0, h = 0;
        painter->MeasureMenuItem(opt, w, h);
        return w;
    }

    QApplication &app = skytest::app();
    std::unique_ptr<TMenuPainter> painter = std::make_unique<TMenuPainter>();
    std::unique_ptr<QMenu> owner = std::make_unique<QMenu>();
    QMenu *pm1 = owner.get();
    QMenu *Options1 = nullptr, *codec = nullptr;
    QAction *About1 = nullptr, *N1 = nullptr, *Infinity1 = nullptr, *Screenshot1 = nullptr, *recc = nullptr,
            *Close1 = nullptr;
};

QStyleOptionMenuItem Item(const QString &text, QStyleOptionMenuItem::MenuItemType type = QStyleOptionMenuItem::Normal,
                          bool images = false) {
    QStyleOptionMenuItem opt;
    opt.text = text;
    opt.menuItemType = type;
    opt.maxIconWidth = images ? 16 : 0;
    opt.state = QStyle::State_Enabled;
    return opt;
}

QSize Measure(const TMenuPainter &p, const QStyleOptionMenuItem &item, QSize proposed = {2, 2}) {
    int w = proposed.width(), h = proposed.height();
    p.MeasureMenuItem(item, w, h);
    return {w, h};
}

} // namespace

TEST(MenuPainter, StartsWithThePlatformMenuFontAndLavenderHalfwayToWhite) {
    skytest::app();
    TMenuPainter p;
    EXPECT_EQ(p.menuFont, QApplication::font("QMenu"));
    EXPECT_EQ(sky::MenuQColor(p.selectColor).rgb(), kLavender);
    EXPECT_EQ(sky::MenuQColor(p.checkedColor).rgb(), kChecked);
    EXPECT_EQ(sky::MenuQColor(p.gutterColor).rgb(), kSilver);
    p.SetMenuFont(PixelFont(30));
    EXPECT_EQ(p.menuFont.pixelSize(), 30);
    for (bool radio : {false, true}) {
        const QImage &mark = sky::MenuCheckBitmap(radio);
        ASSERT_EQ(mark.size(), QSize(6, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(mark.pixel(x, y) & 0xFFFFFF, (x % 5 && y % 5) ? 0xFFFFFFu : 0u) << x << "," << y;
    }
}

TEST(MenuPainter, MeasuresByTheMenuFontUnderAndOver20Pixels) {
    skytest::app();
    TMenuPainter p;
    p.SetMenuFont(PixelFont(13));
    const QFontMetrics small(p.menuFont);
    ASSERT_LE(small.height(), 18);
    // Caption and shortcut joined without a blank; "&" only marks the access key.
    EXPECT_EQ(Measure(p, Item("Mode Infinity\tF5")), QSize(small.horizontalAdvance("Mode InfinityF5") + 35, 18));
    EXPECT_EQ(Measure(p, Item("&About")), QSize(small.horizontalAdvance("About") + 35, 18));
    EXPECT_EQ(Measure(p, Item("", QStyleOptionMenuItem::Separator)), QSize(35, 5));
    // The default item is drawn bold and measured so.
    QFont bold = p.menuFont;
    bold.setBold(true);
    EXPECT_EQ(Measure(p, Item("About", QStyleOptionMenuItem::DefaultItem)).width(),
              QFontMetrics(bold).horizontalAdvance("About") + 35);

    p.SetMenuFont(PixelFont(24));
    const QFontMetrics big(p.menuFont);
    ASSERT_GT(big.height(), 20);
    EXPECT_EQ(Measure(p, Item("Close\tEsc")), QSize(big.horizontalAdvance("CloseEsc") + 35, big.height()));
    EXPECT_EQ(Measure(p, Item("", QStyleOptionMenuItem::Separator)), QSize(35, 11));
}

TEST(MenuPainter, MeasuresMenusWithImagesByTheImageSize) {
    skytest::app();
    TMenuPainter p;
    p.SetMenuFont(PixelFont(13));
    const QFontMetrics fm(p.menuFont);
    const int text = fm.horizontalAdvance("ScreenshotF6");
    const QStyleOptionMenuItem shot = Item("Screenshot\tF6", QStyleOptionMenuItem::Normal, true);
    const QStyleOptionMenuItem sep = Item("", QStyleOptionMenuItem::Separator, true);

    EXPECT_EQ(Measure(p, shot), QSize(16 + 8 + text + 15, std::max(fm.height(), 16) + 4));
    EXPECT_EQ(Measure(p, sep, {7, 3}), QSize(7, 5)); // width as proposed
    p.imageSize = {24, 24};
    EXPECT_EQ(Measure(p, sep, {7, 3}), QSize(7, 11));
    EXPECT_EQ(Measure(p, shot), QSize(24 + 8 + text + 15, 28));
    p.imageSize = {4, 4};
    EXPECT_EQ(Measure(p, shot).width(), 16 + text + 15);
    p.SetMenuFont(PixelFont(8));
    ASSERT_LT(QFontMetrics(p.menuFont).height(), 14);
    EXPECT_EQ(Measure(p, shot).height(), 18);
}

TEST_F(MenuPainterMenu, OpenMenuHasGutterWhiteItemsAndShadowSeparator) {
    const QImage img = Shot(pm1);
    const QRect about = pm1->actionGeometry(About1), sep = pm1->actionGeometry(N1);
    // Item sizes as measured; the items are as wide as the widest, plus the platform's margin
    // of twice the average letter width.
    EXPECT_EQ(about.height(), 18);
    EXPECT_EQ(sep.height(), 5);
    int widest = 0;
    for (QAction *a : pm1->actions())
        widest = std::max(widest, Measured(a));
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double average = QFontMetrics(painter->menuFont).horizontalAdvance(letters) / 52.0;
    EXPECT_EQ(about.width(), widest + 2 * qRound(average));

    const int g = 18 + 4;
    for (int x = about.left(); x < about.left() + g; ++x)
        EXPECT_EQ(img.pixel(x, about.top() + 1), kSilver) << x;
    for (int x = about.left() + g; x <= about.right(); ++x)
        EXPECT_EQ(img.pixel(x, about.top()), kWhite) << x;
    EXPECT_NE(Ink(img, about), QRect()); // the caption
    EXPECT_GE(Ink(img, about).left(), about.left() + g + 5);

    // The separator: a one-pixel shadow line across the item area at its middle row.
    const int line = sep.top() + 2, start = sep.left() + g + 5;
    for (int y = sep.top(); y <= sep.bottom(); ++y) {
        EXPECT_EQ(img.pixel(sep.left() + g - 1, y), kSilver) << y;
        EXPECT_EQ(img.pixel(start - 1, y), kWhite) << y;
        for (int x = start; x <= sep.right(); ++x)
            ASSERT_EQ(img.pixel(x, y), y == line ? kShadow : kWhite) << x << "," << y;
    }
}

TEST_F(MenuPainterMenu, SelectedItemIsLavenderInABlackFrame) {
    const QImage img = Shot(pm1, About1);
    const QRect r = pm1->actionGeometry(About1);
    for (int x = r.left(); x <= r.right(); ++x) {
        EXPECT_EQ(img.pixel(x, r.top()), kBlack) << x;
        EXPECT_EQ(img.pixel(x, r.bottom()), kBlack) << x;
        EXPECT_EQ(img.pixel(x, r.top() + 1), x == r.left() || x == r.right() ? kBlack : kLavender) << x;
    }
    EXPECT_EQ(img.pixel(r.left() + 5, r.center().y()), kLavender); // no gutter
    EXPECT_EQ(img.pixel(r.left(), r.bottom() + 1), kSilver);        // the item below is not selected
    EXPECT_LT(Darkest(img, r.adjusted(1, 1, -1, -1)), 40);          // black caption
}

TEST_F(MenuPainterMenu, CheckedItemsShowASquareCentredInTheGutter) {
    for (QMenu *menu : {Options1, codec}) {
        QAction *checked = menu == codec ? codec->actions().at(1) : Infinity1;
        checked->setChecked(true);
        const QImage img = Shot(menu);
        const QRect r = menu->actionGeometry(checked);
        const int x0 = r.left() + (22 + 1 - 6) / 2, y0 = r.top() + (18 - 6) / 2;
        for (int y = -1; y <= 6; ++y)
            for (int x = -1; x <= 6; ++x) {
                const bool border = x == 0 || x == 5 || y == 0 || y == 5;
                const bool outside = x < 0 || x > 5 || y < 0 || y > 5;
                EXPECT_EQ(img.pixel(x0 + x, y0 + y), outside ? kSilver : border ? kBlack : kWhite)
                    << menu->title().toStdString() << " " << x << "," << y;
            }
        // The square's middle is the gutter's middle.
        EXPECT_LE(std::abs(2 * (x0 - r.left()) + 6 - 22), 1);
        EXPECT_EQ(2 * (y0 - r.top()) + 6, r.height());
        // An unchecked item has a bare gutter.
        const QRect other = menu->actionGeometry(menu->actions().at(2));
        EXPECT_EQ(Darkest(img, QRect(other.left(), other.top(), 22, other.height())), Luma(kSilver));
        menu->hide();
    }
}

TEST_F(MenuPainterMenu, DisabledCaptionIsGreyAlsoWhenSelected) {
    Screenshot1->setEnabled(false);
    const QRect r = Options1->actionGeometry(Screenshot1);
    const QRect text(r.left() + 27, r.top() + 1, r.width() - 28, r.height() - 2);
    for (QAction *active : {static_cast<QAction *>(nullptr), Screenshot1}) {
        const QImage img = Shot(Options1, active);
        EXPECT_NEAR(Darkest(img, text), 128, 4); // grey, never black: caption and "F6"
        EXPECT_EQ(img.pixel(r.left() + 3, r.top() + 2), active ? kLavender : kSilver);
        EXPECT_EQ(img.pixel(r.left(), r.top()), active ? kBlack : kSilver);
        Options1->hide();
    }
    const QImage img = Shot(Options1);
    const QRect enabled = Options1->actionGeometry(recc);
    EXPECT_LT(Darkest(img, enabled.adjusted(27, 0, 0, 0)), 40);
}

TEST_F(MenuPainterMenu, ShortcutsEndFivePixelsInFromTheRight) {
    struct Case {
        QMenu *menu;
        QAction *item;
        const char *key;
    };
    for (const Case &c : {Case{pm1, Close1, "Esc"}, Case{Options1, Infinity1, "F5"}}) {
        const QImage img = Shot(c.menu);
        const QRect r = c.menu->actionGeometry(c.item);
        // The key's ink as the text drawn right-aligned 5 pixels in, on its own.
        QImage ref(img.size(), QImage::Format_RGB32);
        ref.fill(Qt::white);
        {
            QPainter p(&ref);
            p.setFont(painter->menuFont);
            p.setPen(Qt::black);
            p.drawText(QRect(r.left(), r.top(), r.width() - 5, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromLatin1(c.key));
        }
        const QRect want = Ink(ref, r);
        ASSERT_NE(want, QRect());
        EXPECT_EQ(img.copy(want), ref.copy(want)) << c.key;
        EXPECT_EQ(Ink(img, QRect(want.right() + 1, r.top(), r.right() - want.right(), r.height())), QRect());
        EXPECT_LE(want.right(), r.right() - 5);
        EXPECT_GE(want.right(), r.right() - 8);
        c.menu->hide();
    }
}

TEST_F(MenuPainterMenu, DefaultItemIsBold) {
    const QRect r = pm1->actionGeometry(About1);
    const int plain = InkCount(Shot(pm1), r);
    pm1->hide();
    pm1->setDefaultAction(About1);
    const QImage img = Shot(pm1);
    EXPECT_GT(InkCount(img, pm1->actionGeometry(About1)), plain * 5 / 4);
    // Measured bold, so the whole caption fits: no ellipsis dots after "About".
    QFont bold = painter->menuFont;
    bold.setBold(true);
    const QRect caption = Ink(img, pm1->actionGeometry(About1));
    EXPECT_NEAR(caption.width(), QFontMetrics(bold).boundingRect("About").width(), 2);
}

TEST_F(MenuPainterMenu, LargeFontMakesTallItemsAndElevenPixelSeparators) {
    painter->SetMenuFont(PixelFont(24));
    const QImage img = Shot(pm1);
    const int h = QFontMetrics(painter->menuFont).height();
    const QRect about = pm1->actionGeometry(About1), sep = pm1->actionGeometry(N1);
    EXPECT_EQ(about.height(), h);
    EXPECT_EQ(sep.height(), 11);
    EXPECT_EQ(img.pixel(about.left() + h + 3, about.top()), kSilver); // gutter: height + 4
    EXPECT_EQ(img.pixel(about.left() + h + 4, about.top()), kWhite);
    EXPECT_EQ(img.pixel(sep.right(), sep.top() + 5), kShadow);
    EXPECT_EQ(img.pixel(sep.right(), sep.top() + 4), kWhite);
}

TEST_F(MenuPainterMenu, CaptionTooWideIsCutWithAnEllipsis) {
    QImage img(300, 18, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QRect item(0, 0, 22 + 5 + 60, 18);
    {
        QPainter p(&img);
        painter->DrawMenuItem(Item("Recording Spectrum"), p, item);
    }
    // Nothing drawn beyond the item, and the text reaches up to its end (the dots).
    EXPECT_EQ(Ink(img, QRect(item.right() + 1, 0, 300 - item.width(), 18), 255), QRect());
    const QRect ink = Ink(img, QRect(27, 1, 60, 16), 128);
    EXPECT_LE(ink.right(), item.right());
    EXPECT_GE(ink.right(), item.right() - 12);
    // The cut caption ends in dots: single specks on the baseline.
    const QImage alone = img.copy(item.right() - 12, 0, 13, 18);
    EXPECT_LT(InkCount(alone, QRect(0, 0, 13, 11)), InkCount(alone, QRect(0, 11, 13, 7)) + 6);
}

TEST(MenuPainter, ImagesFollowTheImageRowsAndDisabledOnesAreSilhouettes) {
    skytest::app();
    TMenuPainter painter;
    painter.SetMenuFont(PixelFont(13));
    QPixmap pix(16, 16);
    pix.fill(Qt::white);
    {
        QPainter p(&pix);
        p.fillRect(4, 4, 8, 8, QColor(200, 0, 0));
    }
    QMenu menu;
    QAction *on = menu.addAction(QIcon(pix), QStringLiteral("Screenshot"));
    QAction *off = menu.addAction(QIcon(pix), QStringLiteral("Print Preview"));
    off->setEnabled(false);
    QAction *checked = menu.addAction(QIcon(pix), QStringLiteral("Mode Infinity"));
    checked->setCheckable(true);
    checked->setChecked(true);
    QAction *plain = menu.addAction(QStringLiteral("About"));
    painter.AttachMenu(&menu);
    menu.popup(QPoint(40, 40));
    QCoreApplication::processEvents();
    const QImage img = menu.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int g = 16 + 9, h = QFontMetrics(painter.menuFont).height();
    for (QAction *a : {on, off, checked, plain}) {
        const QRect r = menu.actionGeometry(a);
        ASSERT_EQ(r.height(), std::max(h, 16) + 4);
        const QPoint at(r.left() + 4, r.top() + (r.height() - 16) / 2);
        if (a == on || a == checked) {
            EXPECT_EQ(img.pixel(at + QPoint(8, 8)), qRgb(200, 0, 0));
            EXPECT_EQ(img.pixel(at + QPoint(1, 1)), kWhite);
        } else if (a == off) { // the image's dark part in the shadow colour, its white left out
            EXPECT_EQ(img.pixel(at + QPoint(8, 8)), kShadow);
            EXPECT_EQ(img.pixel(at + QPoint(1, 1)), kSilver);
        } else {
            EXPECT_EQ(img.pixel(at + QPoint(8, 8)), kSilver);
        }
        EXPECT_EQ(img.pixel(r.left() + g - 1, r.bottom()), kSilver);
        EXPECT_EQ(img.pixel(r.left() + g, r.bottom()), kWhite);
    }
    // A checked image sits in a checked-colour box from 2 pixels in to 3 before the gutter's end.
    const QRect r = menu.actionGeometry(checked);
    EXPECT_EQ(img.pixel(r.left() + 1, r.center().y()), kSilver);
    EXPECT_EQ(img.pixel(r.left() + 2, r.center().y()), kBlack);
    EXPECT_EQ(img.pixel(r.left() + 3, r.center().y()), kChecked);
    EXPECT_EQ(img.pixel(r.left() + g - 4, r.center().y()), kBlack);
    EXPECT_EQ(img.pixel(r.left() + g - 3, r.center().y()), kSilver);
    menu.hide();
}

TEST_F(MenuPainterMenu, ReachesEverySubmenuAlsoOnesAddedLaterWhateverTheDesktopStyle) {
    for (QMenu *m : {pm1, Options1, codec})
        EXPECT_EQ(m->style(), painter->style());
    QMenu *late = Options1->addMenu(QStringLiteral("Later"));
    EXPECT_NE(late->style(), painter->style());
    Shot(Options1);
    EXPECT_EQ(late->style(), painter->style());
    Options1->hide();

    QMenu loose;
    QAction *holder = loose.addMenu(QStringLiteral("Sub"))->menuAction();
    painter->AttachMenu(nullptr, holder);
    EXPECT_EQ(holder->menu()->style(), painter->style());

    // The same pixels over two different desktop styles.
    const QString original = QApplication::style()->name();
    QImage shots[2];
    int i = 0;
    for (const char *name : {"Windows", "Fusion"}) {
        QApplication::setStyle(QString::fromLatin1(name));
        TMenuPainter own;
        own.SetMenuFont(painter->menuFont);
        QMenu copy;
        copy.addAction(QStringLiteral("About"));
        copy.addSeparator();
        copy.addAction(QStringLiteral("Close\tEsc"));
        own.AttachMenu(&copy);
        copy.popup(QPoint(40, 40));
        QCoreApplication::processEvents();
        shots[i++] = copy.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QApplication::setStyle(original);
    EXPECT_EQ(shots[0], shots[1]);
    EXPECT_EQ(shots[0].pixel(0, 0), kShadow);
}

TEST(MenuPainter, MenuOutlivingItsPainterFallsBackToTheDesktopStyle) {
    skytest::app();
    QMenu menu;
    menu.addAction(QStringLiteral("About"));
    {
        TMenuPainter painter;
        painter.AttachMenu(&menu);
        ASSERT_EQ(menu.style(), painter.style());
    }
    EXPECT_EQ(menu.style(), QApplication::style());
    menu.popup(QPoint(40, 40));
    QCoreApplication::processEvents();
    EXPECT_FALSE(menu.grab().isNull());
    menu.hide();
}
