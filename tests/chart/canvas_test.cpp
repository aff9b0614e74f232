// Canvas: pens, text, clipping, gradients, back buffering and the surfaces frames go to.
#include "chart_test_support.h"

#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

// fontconfig keeps a few blocks it never frees once fonts are initialised; not ours to fix.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

// A canvas drawing straight onto a white image.
struct Direct {
    QImage img;
    TChartCanvas3D c;
    explicit Direct(int w = 60, int h = 40, QRgb fill = 0xFFFFFFFF) : img(w, h, QImage::Format_RGB32)
    {
        EnsureApp();
        img.fill(fill);
        c.SetUseBackBuffer(false);
        c.BeginFrame(&img, TRect{0, 0, w, h});
    }
    QImage &Done()
    {
        c.EndFrame();
        return img;
    }
};

int CountNot(const QImage &img, QRgb colour, QRect area = QRect())
{
    if (area.isNull()) area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) != colour) ++n;
    return n;
}

QRect InkBox(const QImage &img, QRgb background)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(chartCanvas, ColourValuesKeepRedInTheLowByte)
{
    EnsureApp();
    EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(0x00102030), QColor(0x30, 0x20, 0x10));
    EXPECT_EQ(RGBToColor(qRgb(0x30, 0x20, 0x10)), 0x00102030);
    EXPECT_EQ(ColorToRGB(clBtnFace), QGuiApplication::palette().color(QPalette::Button).rgb());
}

TEST(chartCanvas, PensFollowGdiPixelRules)
{
    Direct d;
    TChartPen hidden(clRed, psSolid, 3, false);
    d.c.SetPen(hidden);
    d.c.DrawSegment(0, 5, 50, 5);
    d.c.Rectangle(2, 2, 30, 30);
    d.c.Brush().Style = bsClear;
    d.c.Rectangle(5, 5, 20, 20);

    TChartPen black(clBlack);
    d.c.SetPen(black);
    d.c.DrawSegment(0, 35, 10, 35); // end pixel not drawn
    QImage &img = d.Done();
    EXPECT_EQ(CountNot(img, kWhite, QRect(0, 0, 60, 34)), 0) << "hidden pen drew";
    // (the hidden-pen rectangle with a white solid brush leaves the white image white)
    EXPECT_NE(img.pixel(0, 35), kWhite);
    EXPECT_NE(img.pixel(9, 35), kWhite);
    EXPECT_EQ(img.pixel(10, 35), kWhite);

    Direct r;
    r.c.SetPen(black);
    r.c.Brush().Color = clRed;
    r.c.Rectangle(10, 10, 20, 15); // covers 10..19 x 10..14
    QImage &ri = r.Done();
    EXPECT_EQ(ri.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(ri.pixel(19, 14), qRgb(0, 0, 0));
    EXPECT_EQ(ri.pixel(20, 14), kWhite);
    EXPECT_EQ(ri.pixel(19, 15), kWhite);
    EXPECT_EQ(ri.pixel(15, 12), qRgb(255, 0, 0));
}

TEST(chartCanvas, SmallDotsOnlyForOnePixelPens)
{
    Direct d(40, 10);
    TChartPen dots(clBlack);
    dots.SetSmallDots(true);
    d.c.SetPen(dots);
    d.c.HorizLine(0, 30, 2);
    TChartPen wide(clBlack, psSolid, 2);
    wide.SetSmallDots(true);
    d.c.SetPen(wide);
    d.c.HorizLine(0, 30, 7);
    QImage &img = d.Done();
    for (int x = 0; x < 30; ++x) EXPECT_EQ(img.pixel(x, 2) == kWhite, x % 2 == 1) << x;
    for (int x = 1; x < 29; ++x) EXPECT_NE(img.pixel(x, 7), kWhite) << x; // solid, the pen's own style
}

TEST(chartCanvas, TransparentTextLeavesItsSurroundingsAlone)
{
    const QRgb fill = qRgb(0, 0, 255);
    Direct d(80, 30, fill);
    d.c.Font().Color = clBlack;
    d.c.SetBackMode(bmTransparent);
    d.c.SetBackColor(clRed);
    d.c.TextOut(5, 5, "WMW");
    const int w = d.c.MeasureText("WMW"), h = d.c.TextHeightW();
    QImage &img = d.Done();
    ASSERT_GT(w, 0);
    int ink = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 80; ++x) {
            const QRgb p = img.pixel(x, y);
            ASSERT_TRUE(p == fill || p == qRgb(0, 0, 0)) << x << "," << y; // nothing else touched
            if (p != fill) {
                ++ink;
                EXPECT_TRUE(x >= 5 && x < 5 + w && y >= 5 && y < 5 + h);
            }
        }
    EXPECT_GT(ink, 20);

    Direct o(80, 30, fill);
    o.c.SetBackMode(bmOpaque);
    o.c.SetBackColor(clRed);
    o.c.TextOut(5, 5, "WMW");
    QImage &oi = o.Done();
    EXPECT_EQ(oi.pixel(5 + w / 2, 5 + h - 1), qRgb(255, 0, 0)); // below the glyphs: background
    EXPECT_EQ(oi.pixel(5 + w + 1, 5), fill);
}

TEST(chartCanvas, TextAlignment)
{
    Direct d(120, 60);
    const int w = d.c.MeasureText("Hi"), h = d.c.TextHeightW();
    d.c.SetTextAlign(TextAlign::Right | TextAlign::Bottom);
    d.c.TextOut(100, 50, "Hi");
    EXPECT_EQ(d.c.TextAlign(), TextAlign::Right | TextAlign::Bottom);
    QImage &img = d.Done();
    const QRect box = InkBox(img, kWhite);
    EXPECT_LE(box.right(), 99);
    EXPECT_GE(box.left(), 100 - w);
    EXPECT_LE(box.bottom(), 49);
    EXPECT_GE(box.top(), 50 - h);
}

TEST(chartCanvas, RotatedTextAt450DegreesIsDrawnAt90)
{
    auto draw = [](int angle) {
        Direct d(80, 120);
        d.c.RotatedTextOut(40, 100, angle, "WWWWWW");
        EXPECT_EQ(d.c.Brush().Style, bsClear);
        return d.Done().copy();
    };
    const QImage a90 = draw(90), a450 = draw(450), a0 = draw(0);
    EXPECT_EQ(a90, a450);
    EXPECT_NE(a90, a0);
    const QRect box = InkBox(a90, kWhite);
    EXPECT_GT(box.height(), 2 * box.width()); // runs upwards from the anchor
    EXPECT_LE(box.bottom(), 100);
}

TEST(chartCanvas, ClippingAndUnclip)
{
    Direct d(50, 50);
    d.c.Pen().Style = psClear;
    d.c.Brush().Color = clBlack;
    d.c.ClipPlot(TRect{10, 10, 30, 30}); // 11..29 x 11..28
    d.c.FillRect(TRect{0, 0, 50, 50});
    d.c.Unclip();
    d.c.ClipToRect(TRect{40, 40, 45, 45});
    d.c.ClipToRect(TRect{42, 0, 50, 50}); // intersects
    d.c.FillRect(TRect{0, 0, 50, 50});
    QImage &img = d.Done();
    EXPECT_EQ(InkBox(img, kWhite), QRect(QPoint(11, 11), QPoint(44, 44)));
    EXPECT_EQ(CountNot(img, kWhite, QRect(QPoint(11, 11), QPoint(29, 28))), 19 * 18);
    EXPECT_EQ(img.pixel(10, 20), kWhite);
    EXPECT_EQ(img.pixel(20, 29), kWhite);
    EXPECT_EQ(CountNot(img, kWhite, QRect(QPoint(40, 40), QPoint(49, 49))), 3 * 5);
}

TEST(chartCanvas, GradientBands)
{
    Direct d(10, 300);
    d.c.FillGradient(TRect{0, 0, 10, 300}, clBlack, clWhite, gdTopBottom);
    QImage &img = d.Done();
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(9, 299), qRgb(255, 255, 255));
    for (int y = 1; y < 300; ++y) EXPECT_GE(qRed(img.pixel(5, y)), qRed(img.pixel(5, y - 1)));

    Direct b(50, 10);
    b.c.FillGradient(TRect{0, 0, 50, 10}, clRed, clBlue, gdRightLeft); // starts at the right
    b.c.FillGradient(TRect{0, 9, 50, 10}, clLime, clBlue, gdTopBottom); // a single band
    QImage &bi = b.Done();
    EXPECT_EQ(bi.pixel(49, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bi.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(bi.pixel(20, 9), qRgb(0, 255, 0));
}

TEST(chartCanvas, BackBufferIsReusedUntilTheSizeChanges)
{
    EnsureApp();
    QImage screen(100, 60, QImage::Format_RGB32);
    TChartCanvas3D c;
    c.SetHomeSurface(&screen);
    EXPECT_FALSE(c.ShowCached()); // nothing drawn yet

    auto frame = [&](int w, int h, TColor colour) {
        screen.fill(Qt::white);
        const TRect r = c.BeginFrame(&screen, TRect{0, 0, w, h});
        EXPECT_EQ(r, (TRect{0, 0, w, h}));
        c.Pen().Style = psClear;
        c.Brush().Color = colour;
        c.FillRect(r);
        c.EndFrame();
    };
    frame(100, 60, clRed);
    EXPECT_EQ(c.BufferCreations(), 1);
    EXPECT_FALSE(c.BufferStale());
    EXPECT_EQ(screen.pixel(50, 30), qRgb(255, 0, 0));

    screen.fill(Qt::white);
    EXPECT_TRUE(c.ShowCached()); // an unchanged repaint is one copy of the old bitmap
    EXPECT_EQ(screen.pixel(50, 30), qRgb(255, 0, 0));
    frame(100, 60, clBlue);
    EXPECT_EQ(c.BufferCreations(), 1);

    frame(101, 60, clBlue); // one pixel wider: a new bitmap
    EXPECT_EQ(c.BufferCreations(), 2);
    EXPECT_EQ(c.BackBuffer()->width(), 101);
    frame(101, 61, clBlue); // one pixel higher
    EXPECT_EQ(c.BufferCreations(), 3);

    // a frame for a caller's painter goes through the same bitmap
    screen.fill(Qt::white);
    {
        QPainter p(&screen);
        c.BeginFrame(&p, TRect{10, 0, 60, 30});
        c.Brush().Color = clLime;
        c.FillRect(TRect{0, 0, 50, 30});
        c.EndFrame();
    }
    EXPECT_EQ(c.BufferCreations(), 4);
    EXPECT_EQ(screen.pixel(9, 5), kWhite);
    EXPECT_EQ(screen.pixel(10, 5), qRgb(0, 255, 0));

    c.MarkDirty();
    EXPECT_FALSE(c.ShowCached());
    c.SetUseBackBuffer(false);
    EXPECT_EQ(c.BackBuffer(), nullptr);
    EXPECT_TRUE(c.BufferStale());
    c.SetUseBackBuffer(true);
    frame(101, 60, clBlue);
    c.SetMonochrome(true);
    EXPECT_EQ(c.BackBuffer(), nullptr);
    EXPECT_TRUE(c.BufferStale());
}

TEST(chartCanvas, FrameOriginAndMonochrome)
{
    EnsureApp();
    QImage screen(60, 40, QImage::Format_RGB32);
    screen.fill(Qt::white);
    TChartCanvas3D c;
    c.SetMonochrome(true);
    const TRect r = c.BeginFrame(&screen, TRect{20, 10, 40, 30});
    EXPECT_EQ(r, (TRect{0, 0, 20, 20}));
    c.Pen().Style = psClear;
    c.Brush().Color = 0x303030; // dark grey becomes black
    c.FillRect(r);
    c.Brush().Color = 0xE0E0E0; // light grey becomes white
    c.FillRect(TRect{0, 0, 5, 5});
    c.EndFrame();
    EXPECT_EQ(screen.pixel(19, 9), kWhite);
    EXPECT_EQ(screen.pixel(30, 20), qRgb(0, 0, 0));
    EXPECT_EQ(screen.pixel(21, 11), kWhite);
    EXPECT_EQ(screen.pixel(40, 30), kWhite);
}

TEST(chartCanvas, UnbufferedFramesOnOtherSurfaces)
{
    EnsureApp();
    TChartCanvas3D c;
    c.SetUseBackBuffer(false);
    auto draw = [&](QPaintDevice *dev) {
        c.BeginFrame(dev, TRect{0, 0, 40, 30});
        c.Pen().Style = psClear;
        c.Brush().Color = clRed;
        c.FillRect(TRect{5, 5, 15, 15});
        c.EndFrame();
    };

    QPicture pic;
    draw(&pic);
    QImage replay(40, 30, QImage::Format_RGB32);
    replay.fill(Qt::white);
    {
        QPainter p(&replay);
        p.drawPicture(0, 0, pic);
    }
    EXPECT_EQ(replay.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(replay.pixel(20, 20), kWhite);

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("chart.pdf"));
    draw(&printer);
    EXPECT_GT(QFileInfo(dir.filePath("chart.pdf")).size(), 0);

    // a window paints through its paint event
    struct Window : QWidget {
        TChartCanvas3D *canvas = nullptr;
        void paintEvent(QPaintEvent *) override
        {
            canvas->BeginFrame(this, TRect{0, 0, width(), height()});
            canvas->Pen().Style = psClear;
            canvas->Brush().Color = clBlue;
            canvas->FillRect(TRect{0, 0, width(), height()});
            canvas->EndFrame();
        }
    } w;
    TChartCanvas3D wc; // buffered, as a chart window is
    w.canvas = &wc;
    w.resize(30, 20);
    const QImage shot = w.grab().toImage();
    EXPECT_EQ(shot.pixel(15, 10), qRgb(0, 0, 255));
    EXPECT_EQ(wc.BufferCreations(), 1);

    // outside a frame nothing is drawn and nothing breaks
    c.LineTo(10, 10);
    c.TextOut(1, 1, "x");
    EXPECT_EQ(c.Painter(), nullptr);
}
