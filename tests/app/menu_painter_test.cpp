#include "app/menu_painter.h"
#include "app_test_support.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <QStyle>

#include <gtest/gtest.h>

#include <memory>

using sky::TMenuPainter;
using Type = QStyleOptionMenuItem::MenuItemType;

namespace {

const QRgb kSilver = qRgb(192, 192, 192), kWhite = qRgb(255, 255, 255), kLavender = qRgb(175, 175, 215),
           kBlack = qRgb(0, 0, 0), kShadow = qRgb(160, 160, 160), kChecked = qRgb(215, 215, 235);

QFont PixelFont(int px) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    return f;
}

// Bounding box, darkest grey and count of the pixels in `area` darker than `below`.
struct Ink {
    QRect box;
    int darkest = 255, count = 0;
    Ink(const QImage &img, const QRect &area, int below = 160) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const int v = qGray(img.pixel(x, y));
                darkest = std::min(darkest, v);
                if (v < below)
                    box |= QRect(x, y, 1, 1), ++count;
            }
    }
};

QStyleOptionMenuItem Item(const QString &text, Type type = QStyleOptionMenuItem::Normal, bool images = false) {
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

// The menu open on screen, as its pixels.
QImage Shot(QMenu *menu, QAction *active = nullptr) {
    menu->popup(QPoint(40, 40));
    menu->setActiveAction(active);
    QCoreApplication::processEvents();
    return menu->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The window's popup menu as the program builds it, drawn by its own painter.
class MenuPainterMenu : public ::testing::Test {
protected:
    void SetUp() override {
        painter->SetMenuFont(PixelFont(13));
        auto item = [](QMenu *m, const char *caption, const char *key) {
            return m->addAction(QString::fromLatin1(caption) + (*key ? QStringLiteral("\t") + key : QString()));
        };
        About1 = item(pm1, "About", "");
        N1 = pm1->addSeparator();
        Options1 = pm1->addMenu(QStringLiteral("Options"));
        codec = Options1->addMenu(QStringLiteral("Codec"));
        Infinity1 = item(Options1, "Mode Infinity", "F5");
        Infinity1->setCheckable(true);
        Screenshot1 = item(Options1, "Screenshot", "F6");
        recc = item(Options1, "Recording Spectrum", "F7");
        Close1 = item(pm1, "Close", "Esc");
        auto *group = new QActionGroup(codec);
        for (const char *c : {"No C", "cvid", "MJPG"})
            group->addAction(codec->addAction(QString::fromLatin1(c)))->setCheckable(true);
        codec->actions().at(1)->setChecked(true);
        painter->AttachMenu(pm1);
    }
    void TearDown() override {
        for (QMenu *m : {codec, Options1, pm1})
            m->hide();
    }

    QApplication &app = skytest::app();
    std::unique_ptr<TMenuPainter> painter = std::make_unique<TMenuPainter>();
    std::unique_ptr<QMenu> owner = std::make_unique<QMenu>();
    QMenu *pm1 = owner.get(), *Options1 = nullptr, *codec = nullptr;
    QAction *About1 = nullptr, *N1 = nullptr, *Infinity1 = nullptr, *Screenshot1 = nullptr, *recc = nullptr,
            *Close1 = nullptr;
};

} // namespace

TEST(MenuPainter, StartsWithThePlatformMenuFontAndSquareCheckMarks) {
    skytest::app();
    TMenuPainter p;
    EXPECT_EQ(p.menuFont, QApplication::font("QMenu"));
    EXPECT_EQ(sky::MenuQColor(p.checkedColor).rgb(), kChecked); // lavender half-way to white
    for (bool radio : {false, true}) {
        const QImage &mark = sky::MenuCheckBitmap(radio);
        ASSERT_EQ(mark.size(), QSize(6, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(mark.pixel(x, y) & 0xFFFFFF, (x % 5 && y % 5) ? 0xFFFFFFu : 0u) << x << "," << y;
    }
}

TEST(MenuPainter, MeasuresByTheMenuFontAndTheImageSize) {
    skytest::app();
    TMenuPainter p;
    p.SetMenuFont(PixelFont(13));
    const QFontMetrics small(p.menuFont);
    ASSERT_LE(small.height(), 18);
    // Caption and shortcut joined without a blank; "&" only marks the access key.
    EXPECT_EQ(Measure(p, Item("Mode Infinity\tF5")), QSize(small.horizontalAdvance("Mode InfinityF5") + 35, 18));
    EXPECT_EQ(Measure(p, Item("&About")), QSize(small.horizontalAdvance("About") + 35, 18));
    EXPECT_EQ(Measure(p, Item("", QStyleOptionMenuItem::Separator)), QSize(35, 5));
    QFont bold = p.menuFont; // the default item is drawn bold and measured so
    bold.setBold(true);
    EXPECT_EQ(Measure(p, Item("About", QStyleOptionMenuItem::DefaultItem)).width(),
              QFontMetrics(bold).horizontalAdvance("About") + 35);
    // Menus with images.
    const int shotText = small.horizontalAdvance("ScreenshotF6");
    const QStyleOptionMenuItem shot = Item("Screenshot\tF6", QStyleOptionMenuItem::Normal, true);
    const QStyleOptionMenuItem sep = Item("", QStyleOptionMenuItem::Separator, true);
    EXPECT_EQ(Measure(p, shot), QSize(16 + 8 + shotText + 15, std::max(small.height(), 16) + 4));
    EXPECT_EQ(Measure(p, sep, {7, 3}), QSize(7, 5)); // width as proposed
    p.imageSize = {24, 24};
    EXPECT_EQ(Measure(p, sep, {7, 3}), QSize(7, 11));
    EXPECT_EQ(Measure(p, shot), QSize(24 + 8 + shotText + 15, 28));
    p.imageSize = {4, 4};
    EXPECT_EQ(Measure(p, shot).width(), 16 + shotText + 15);

    p.SetMenuFont(PixelFont(24));
    const QFontMetrics big(p.menuFont);
    ASSERT_GT(big.height(), 20);
    p.imageSize = {16, 16};
    EXPECT_EQ(Measure(p, Item("Close\tEsc")), QSize(big.horizontalAdvance("CloseEsc") + 35, big.height()));
    EXPECT_EQ(Measure(p, Item("", QStyleOptionMenuItem::Separator)), QSize(35, 11));
    EXPECT_EQ(Measure(p, sep).height(), 5); // with images the image decides
    p.SetMenuFont(PixelFont(8));
    p.imageSize = {4, 4};
    ASSERT_LT(QFontMetrics(p.menuFont).height(), 14);
    EXPECT_EQ(Measure(p, shot).height(), 18);
}

TEST_F(MenuPainterMenu, OpenMenuHasGutterWhiteItemsAndShadowSeparator) {
    for (int px : {13, 24}) {
        painter->SetMenuFont(PixelFont(px));
        const QImage img = Shot(pm1);
        const QRect about = pm1->actionGeometry(About1), sep = pm1->actionGeometry(N1);
        const int h = std::max(QFontMetrics(painter->menuFont).height(), 18), g = h + 4, sepH = h <= 20 ? 5 : 11;
        ASSERT_EQ(about.height(), h);
        ASSERT_EQ(sep.height(), sepH);
        // As wide as the widest item plus the platform's two average letters.
        int widest = 0;
        for (QAction *a : pm1->actions())
            widest = std::max(widest, Measure(*painter, Item(a->text(), a->isSeparator() ? QStyleOptionMenuItem::Separator
                                                                                      : QStyleOptionMenuItem::Normal))
                                          .width());
        const int letters = QFontMetrics(painter->menuFont).horizontalAdvance("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
        EXPECT_EQ(about.width(), widest + 2 * qRound(letters / 52.0));

        for (int x = about.left(); x <= about.right(); ++x)
            ASSERT_EQ(img.pixel(x, about.top()), x < about.left() + g ? kSilver : kWhite) << x;
        EXPECT_GE(Ink(img, about).box.left(), about.left() + g + 5); // the caption
        // The separator: a one-pixel shadow line across the item area at its middle row.
        const int start = sep.left() + g + 5;
        for (int y = sep.top(); y <= sep.bottom(); ++y) {
            EXPECT_EQ(img.pixel(sep.left() + g - 1, y), kSilver) << y;
            EXPECT_EQ(img.pixel(start - 1, y), kWhite) << y;
            for (int x = start; x <= sep.right(); ++x)
                ASSERT_EQ(img.pixel(x, y), y == sep.top() + sepH / 2 ? kShadow : kWhite) << x << "," << y;
        }
        pm1->hide();
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
    EXPECT_EQ(img.pixel(r.left(), r.bottom() + 1), kSilver); // the item below is not selected
    EXPECT_LT(Ink(img, r.adjusted(1, 1, -1, -1)).darkest, 40); // black caption
}

TEST_F(MenuPainterMenu, CheckedItemsShowASquareCentredInTheGutter) {
    Infinity1->setChecked(true);
    for (auto [menu, checked] : {std::pair{Options1, Infinity1}, std::pair{codec, codec->actions().at(1)}}) {
        const QImage img = Shot(menu);
        const QRect r = menu->actionGeometry(checked);
        const int x0 = r.left() + (22 + 1 - 6) / 2, y0 = r.top() + (18 - 6) / 2;
        for (int y = -1; y <= 6; ++y)
            for (int x = -1; x <= 6; ++x) {
                const bool outside = x < 0 || x > 5 || y < 0 || y > 5;
                const bool border = x == 0 || x == 5 || y == 0 || y == 5;
                EXPECT_EQ(img.pixel(x0 + x, y0 + y), outside ? kSilver : border ? kBlack : kWhite)
                    << menu->title().toStdString() << " " << x << "," << y;
            }
        // The square's middle is the gutter's middle.
        EXPECT_LE(std::abs(2 * (x0 - r.left()) + 6 - 22), 1);
        EXPECT_EQ(2 * (y0 - r.top()) + 6, r.height());
        const QRect other = menu->actionGeometry(menu->actions().at(2)); // unchecked: bare gutter
        EXPECT_EQ(Ink(img, QRect(other.left(), other.top(), 22, other.height())).darkest, qGray(kSilver));
        menu->hide();
    }
}

TEST_F(MenuPainterMenu, DisabledCaptionIsGreyAlsoWhenSelected) {
    Screenshot1->setEnabled(false);
    const QRect r = Options1->actionGeometry(Screenshot1);
    for (QAction *active : {static_cast<QAction *>(nullptr), Screenshot1}) {
        const QImage img = Shot(Options1, active);
        EXPECT_NEAR(Ink(img, r.adjusted(27, 1, -1, -1)).darkest, 128, 4); // caption and "F6" grey, not black
        EXPECT_EQ(img.pixel(r.left() + 3, r.top() + 2), active ? kLavender : kSilver);
        EXPECT_EQ(img.pixel(r.left(), r.top()), active ? kBlack : kSilver);
        EXPECT_LT(Ink(img, Options1->actionGeometry(recc)).darkest, 40); // enabled: black
        Options1->hide();
    }
}

TEST_F(MenuPainterMenu, ShortcutsEndFivePixelsInFromTheRight) {
    for (auto [menu, item, key] : {std::tuple{pm1, Close1, "Esc"}, std::tuple{Options1, Infinity1, "F5"}}) {
        const QImage img = Shot(menu);
        const QRect r = menu->actionGeometry(item);
        // The key as text drawn right-aligned 5 pixels in, on its own.
        QImage ref(img.size(), QImage::Format_RGB32);
        ref.fill(Qt::white);
        QPainter p(&ref);
        p.setFont(painter->menuFont);
        p.drawText(QRect(r.left(), r.top(), r.width() - 5, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(key));
        p.end();
        const QRect want = Ink(ref, r).box;
        ASSERT_TRUE(want.isValid());
        EXPECT_EQ(img.copy(want), ref.copy(want)) << key;
        EXPECT_FALSE(Ink(img, QRect(want.right() + 1, r.top(), r.right() - want.right(), r.height())).box.isValid());
        EXPECT_GE(want.right(), r.right() - 8);
        menu->hide();
    }
}

TEST_F(MenuPainterMenu, DefaultItemIsBoldAndWhole) {
    const int plain = Ink(Shot(pm1), pm1->actionGeometry(About1), 128).count;
    pm1->hide();
    pm1->setDefaultAction(About1);
    const QImage img = Shot(pm1);
    const Ink bold(img, pm1->actionGeometry(About1), 128);
    EXPECT_GT(bold.count, plain * 5 / 4);
    QFont font = painter->menuFont;
    font.setBold(true);
    EXPECT_NEAR(Ink(img, pm1->actionGeometry(About1)).box.width(), QFontMetrics(font).boundingRect("About").width(),
                2); // no dots after it
}

TEST_F(MenuPainterMenu, CaptionTooWideIsCutWithAnEllipsis) {
    QImage img(300, 18, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QRect item(0, 0, 22 + 5 + 60, 18);
    QPainter p(&img);
    painter->DrawMenuItem(Item("Recording Spectrum"), p, item);
    p.end();
    // Nothing beyond the item (the text is not clipped, so only the cut keeps it in) ...
    EXPECT_FALSE(Ink(img, QRect(item.right() + 1, 0, 300 - item.width(), 18), 255).box.isValid());
    // ... and the text runs up to the item's end, where the dots sit low on the baseline.
    const QRect tail(item.right() - 5, 0, 6, 18);
    EXPECT_GE(Ink(img, item.adjusted(27, 0, 0, 0), 128).box.right(), item.right() - 6);
    EXPECT_GE(Ink(img, tail, 200).box.top(), 9);
}

TEST(MenuPainter, ImagesFollowTheImageRowsAndDisabledOnesAreSilhouettes) {
    skytest::app();
    TMenuPainter painter;
    painter.SetMenuFont(PixelFont(13));
    QPixmap pix(16, 16);
    pix.fill(Qt::white);
    QPainter(&pix).fillRect(4, 4, 8, 8, QColor(200, 0, 0));
    QMenu menu;
    QAction *on = menu.addAction(QIcon(pix), QStringLiteral("Screenshot"));
    QAction *off = menu.addAction(QIcon(pix), QStringLiteral("Print Preview"));
    off->setEnabled(false);
    QAction *checked = menu.addAction(QIcon(pix), QStringLiteral("Mode Infinity"));
    checked->setCheckable(true);
    checked->setChecked(true);
    QAction *plain = menu.addAction(QStringLiteral("About"));
    painter.AttachMenu(&menu);
    const QImage img = Shot(&menu);
    const int g = 16 + 9;
    // Image at (4, centred); disabled: its dark part in the shadow colour, its white left out.
    const std::pair<QAction *, std::pair<QRgb, QRgb>> rows[] = {{on, {qRgb(200, 0, 0), kWhite}},
                                                                {off, {kShadow, kSilver}},
                                                                {checked, {qRgb(200, 0, 0), kWhite}},
                                                                {plain, {kSilver, kSilver}}};
    for (auto [a, colours] : rows) {
        const QRect r = menu.actionGeometry(a);
        ASSERT_EQ(r.height(), std::max(QFontMetrics(painter.menuFont).height(), 16) + 4);
        const QPoint at(r.left() + 4, r.top() + (r.height() - 16) / 2);
        EXPECT_EQ(img.pixel(at + QPoint(8, 8)), colours.first) << a->text().toStdString();
        EXPECT_EQ(img.pixel(at + QPoint(4, 4)), colours.first) << a->text().toStdString(); // square's corner
        EXPECT_EQ(img.pixel(at + QPoint(4, 3)), colours.second) << a->text().toStdString();
        EXPECT_EQ(img.pixel(at + QPoint(3, 4)), colours.second) << a->text().toStdString();
        EXPECT_EQ(img.pixel(r.left() + g - 1, r.bottom()), kSilver);
        EXPECT_EQ(img.pixel(r.left() + g, r.bottom()), kWhite);
    }
    // A checked image sits in a checked-colour box from 2 pixels in to 3 before the gutter's end.
    const QRect r = menu.actionGeometry(checked);
    const QRgb across[] = {kSilver, kBlack, kChecked};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(img.pixel(r.left() + 1 + i, r.center().y()), across[i]) << i;
        EXPECT_EQ(img.pixel(r.left() + g - 3 - i, r.center().y()), across[i]) << i;
    }
}

TEST_F(MenuPainterMenu, ReachesEverySubmenuWhateverTheDesktopStyle) {
    for (QMenu *m : {pm1, Options1, codec})
        EXPECT_EQ(m->style(), painter->style());
    QMenu *late = Options1->addMenu(QStringLiteral("Later")); // attached when Options opens
    EXPECT_NE(late->style(), painter->style());
    Shot(Options1);
    EXPECT_EQ(late->style(), painter->style());
    QMenu loose;
    QAction *holder = loose.addMenu(QStringLiteral("Sub"))->menuAction();
    painter->AttachMenu(nullptr, holder);
    EXPECT_EQ(holder->menu()->style(), painter->style());

    // The same pixels over two different desktop styles.
    const QString original = QApplication::style()->name();
    QImage shots[2];
    for (int i = 0; i < 2; ++i) {
        QApplication::setStyle(QString::fromLatin1(i ? "Fusion" : "Windows"));
        TMenuPainter own;
        own.SetMenuFont(painter->menuFont);
        QMenu copy;
        copy.addAction(QStringLiteral("About"));
        copy.addSeparator();
        copy.addAction(QStringLiteral("Close\tEsc"));
        own.AttachMenu(&copy);
        shots[i] = Shot(&copy);
    }
    QApplication::setStyle(original);
    EXPECT_EQ(shots[0], shots[1]);
    EXPECT_EQ(shots[0].pixel(0, 0), kShadow);

    // A menu outliving its painter goes back to the desktop's style.
    painter.reset();
    EXPECT_EQ(pm1->style(), QApplication::style());
    EXPECT_FALSE(Shot(pm1).isNull());
}
