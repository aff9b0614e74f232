// The print preview window: printers, the page's paper and chart, margin typing and dragging,
// BReset, the proportional margins, closing keys and the print command around the window.
#include "print/chart_preview.h"
#include "preview_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace sky;

namespace {

constexpr QRgb kSilver = 0xFFC0C0C0, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

// Every test decides which printers are installed; by default none.
class ChartPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsurePreviewApp();
        TChartPreview::InstalledPrinters = [] { return QStringList(); };
        TChartPreview::DefaultPrinter = [] { return QString(); };
    }
};

// A chart with fixed margins (not proportional) in a shown preview.
struct Shown {
    PreviewChart pc{716, 263, 400};
    TChartPreview preview{nullptr, QStringLiteral("/tmp")};
    explicit Shown(TRect margins = TRect{10, 10, 10, 10}, bool proportional = false) {
        pc.chart.PageMarginsPercent = margins;
        pc.chart.SetPrintProportional(proportional);
        preview.SetImage(&pc.chart);
        preview.show();
    }
    TRect margins() const { return pc.chart.PageMarginsPercent; }
};

double Ratio(int a, int b) { return double(a) / b; }

} // namespace

TEST_F(ChartPreviewTest, PrintersEndWithThePdfEntryAndTheDefaultIsCurrent) {
    {
        Shown s;
        ASSERT_EQ(s.preview.Printers->count(), 1);
        EXPECT_EQ(s.preview.Printers->itemText(0), QStringLiteral("PDF file"));
        // Nothing installed: the PDF file is current, so Print works at once.
        EXPECT_EQ(s.preview.Printers->currentIndex(), 0);
        ASSERT_NE(s.preview.Printer(), nullptr);
        EXPECT_TRUE(s.preview.PrinterIsPdf());
    }
    TChartPreview::InstalledPrinters = [] { return QStringList{"Laser", "Inkjet"}; };
    TChartPreview::DefaultPrinter = [] { return QStringLiteral("Inkjet"); };
    Shown s;
    ASSERT_EQ(s.preview.Printers->count(), 3);
    EXPECT_EQ(s.preview.Printers->itemText(2), QStringLiteral("PDF file"));
    EXPECT_EQ(s.preview.Printers->currentIndex(), 1);
    ASSERT_NE(s.preview.Printer(), nullptr);
    EXPECT_FALSE(s.preview.PrinterIsPdf());
    // The showing sequence turned the paper to landscape.
    EXPECT_TRUE(s.preview.Landscape->isChecked());
    EXPECT_EQ(s.preview.Printer()->pageLayout().orientation(), QPageLayout::Landscape);
    s.preview.Printers->setCurrentIndex(2);
    EXPECT_TRUE(s.preview.PrinterIsPdf());
    EXPECT_EQ(s.preview.Printer()->pageLayout().orientation(), QPageLayout::Landscape); // re-applied
}

TEST_F(ChartPreviewTest, PaperAndChartFollowThePrinterInWideAndTallControls) {
    Shown s(TRect{10, 20, 30, 5});
    TChartPreviewPage &page = *s.preview.Page;
    for (int pass = 0; pass < 2; ++pass) {
        // Without a printer the PDF file is current from the start; the page is its sheet.
        if (pass == 1) s.preview.Printers->setCurrentIndex(s.preview.Printers->count() - 1); // PDF file
        const TPaperMetrics paper = PaperMetricsOf(s.preview.Printer());
        {
            // A4 or Letter, landscape, the whole sheet.
            const double r = Ratio(paper.Width, paper.Height);
            EXPECT_TRUE(std::abs(r - 297.0 / 210) < 0.005 || std::abs(r - 11.0 / 8.5) < 0.005) << r;
        }
        for (QSize size : {QSize(600, 200), QSize(150, 500)}) {
            page.resize(size);
            const TRect p = page.PageRect();
            const int w = size.width(), h = size.height();
            const bool wide = double(w) / h > Ratio(paper.Width, paper.Height);
            if (wide) {
                EXPECT_EQ(p.Top, h / 10);
                EXPECT_EQ(p.Height(), h - h / 5);
                EXPECT_LE(std::abs(p.Left - (w - p.Right)), 1); // centred
            } else {
                EXPECT_EQ(p.Left, w / 10);
                EXPECT_EQ(p.Width(), w - w / 5);
                EXPECT_LE(std::abs(p.Top - (h - p.Bottom)), 1);
            }
            EXPECT_NEAR(Ratio(p.Width(), p.Height()), Ratio(paper.Width, paper.Height), 2.0 / std::min(p.Width(), p.Height()));

            const QImage &f = page.Frame();
            const TRect c = page.ChartRect();
            EXPECT_EQ(c.Left - p.Left, qRound(p.Width() * 0.10));
            EXPECT_EQ(p.Right - c.Right, qRound(p.Width() * 0.30));
            EXPECT_EQ(c.Top - p.Top, qRound(p.Height() * 0.20));
            EXPECT_EQ(p.Bottom - c.Bottom, qRound(p.Height() * 0.05));
            // Outline, shadow from 4 pixels down, dotted silver margin lines (3 on, 3 off).
            EXPECT_EQ(f.pixel(p.Left, p.Top + 1), kBlack);
            EXPECT_EQ(f.pixel(p.Right + 2, p.Bottom + 2), kBlack);
            EXPECT_NE(f.pixel(p.Right + 2, p.Top + 2), kBlack);
            EXPECT_EQ(f.pixel(c.Left - 1, p.Top + 1), kSilver);
            EXPECT_EQ(f.pixel(c.Left - 1, p.Top + 4), kWhite);
            EXPECT_EQ(f.pixel(p.Left + 2, c.Bottom), kSilver);
            EXPECT_EQ(f.pixel(p.Left + 4, c.Top - 1), kWhite);
            // The chart's red trace lies inside the chart rectangle only.
            int inside = 0, outside = 0;
            for (int y = 0; y < f.height(); ++y)
                for (int x = 0; x < f.width(); ++x)
                    if (qRed(f.pixel(x, y)) > 180 && qGreen(f.pixel(x, y)) < 90) ++(c.Contains(x, y) ? inside : outside);
            EXPECT_GT(inside, 20) << size.width() << "x" << size.height();
            EXPECT_EQ(outside, 0);
        }
    }
}

TEST_F(ChartPreviewTest, MarginsThatLeaveNoChartAreRefused) {
    PreviewChart pc(716, 263, 100);
    pc.chart.PageMarginsPercent = TRect{10, 10, 10, 10};
    pc.chart.SetPrintProportional(false);
    TChartPreview preview(nullptr, QStringLiteral("/tmp"));
    preview.SetImage(&pc.chart);
    preview.UDLeftMa->setValue(33); // not shown yet: ignored
    EXPECT_EQ(pc.chart.PageMarginsPercent.Left, 10);
    preview.show();
    EXPECT_EQ(preview.UDLeftMa->value(), 10);

    preview.UDLeftMa->setValue(60);
    EXPECT_EQ(pc.chart.PageMarginsPercent.Left, 60);
    preview.UDRightMa->setValue(40); // 60 + 40 = 100
    EXPECT_EQ(pc.chart.PageMarginsPercent.Right, 10);
    EXPECT_EQ(preview.UDRightMa->value(), 10);
    preview.UDRightMa->setValue(39);
    EXPECT_EQ(pc.chart.PageMarginsPercent.Right, 39);
    preview.UDTopMa->setValue(95);
    EXPECT_EQ(preview.UDTopMa->value(), 10);
    EXPECT_EQ(pc.chart.PageMarginsPercent, (TRect{60, 10, 39, 10}));
}

TEST_F(ChartPreviewTest, ResetIsEnabledExactlyWhileTheMarginsDifferFromTheSavedOnes) {
    Shown s;
    EXPECT_FALSE(s.preview.BReset->isEnabled());
    s.preview.UDBotMa->setValue(12);
    EXPECT_TRUE(s.preview.BReset->isEnabled());
    s.preview.UDBotMa->setValue(10);
    EXPECT_FALSE(s.preview.BReset->isEnabled());
    s.preview.UDLeftMa->setValue(25);
    s.preview.UDTopMa->setValue(3);
    s.preview.BReset->click();
    EXPECT_EQ(s.margins(), (TRect{10, 10, 10, 10}));
    EXPECT_EQ(s.preview.UDLeftMa->value(), 10);
    EXPECT_EQ(s.preview.UDTopMa->value(), 3 + 7);
    EXPECT_FALSE(s.preview.BReset->isEnabled());
}

TEST_F(ChartPreviewTest, ProportionalMarginsBecomeTheSavedMargins) {
    Shown s(TRect{10, 10, 10, 10}, true);
    const TPaperMetrics paper = PaperMetricsOf(s.preview.Printer()); // the PDF file's sheet
    const TRect expected = s.pc.chart.ProportionalMargins(paper.Width, paper.Height, paper.DpiX, paper.DpiY);
    EXPECT_EQ(s.margins(), expected);
    EXPECT_EQ(s.preview.SavedMargins(), expected);
    EXPECT_TRUE(s.preview.CBProp->isChecked());
    EXPECT_EQ(s.preview.UDTopMa->value(), expected.Top);
    EXPECT_FALSE(s.preview.BReset->isEnabled());
    // A typed margin is what prints from now on.
    s.preview.UDLeftMa->setValue(20);
    EXPECT_FALSE(s.preview.CBProp->isChecked());
    EXPECT_FALSE(s.pc.chart.PrintProportional());
    // Checking it again brings the proportional margins back, as the new saved ones.
    s.preview.CBProp->click();
    EXPECT_TRUE(s.pc.chart.PrintProportional());
    EXPECT_EQ(s.margins(), expected);
    EXPECT_EQ(s.preview.UDLeftMa->value(), expected.Left);
    EXPECT_FALSE(s.preview.BReset->isEnabled());
    // On paper of other proportions they follow the paper.
    s.preview.Printers->setCurrentIndex(0);
    s.preview.Portrait->click();
    const TPaperMetrics a4 = PaperMetricsOf(s.preview.Printer());
    EXPECT_GT(a4.Height, a4.Width);
    EXPECT_EQ(s.margins(), s.pc.chart.ProportionalMargins(a4.Width, a4.Height, a4.DpiX, a4.DpiY));
}

TEST_F(ChartPreviewTest, DetailAndViewMarginsControlThePage) {
    Shown s;
    EXPECT_EQ(s.preview.Resolution->minimum(), -100);
    EXPECT_EQ(s.preview.Resolution->maximum(), 0);
    s.preview.Resolution->setValue(-40);
    EXPECT_EQ(s.pc.chart.PrintDetailLevel, -40);
    const TRect c = s.preview.Page->ChartRect();
    const int top = s.preview.Page->PageRect().Top;
    EXPECT_EQ(s.preview.Page->Frame().pixel(c.Left - 1, top + 1), kSilver);
    s.preview.ShowMargins->click();
    EXPECT_FALSE(s.preview.Page->ShowMargins);
    EXPECT_EQ(s.preview.Page->Frame().pixel(c.Left - 1, top + 1), kWhite);
}

TEST_F(ChartPreviewTest, DraggingAnEdgeMovesOnlyTheLinesAndTurnsProportionalOff) {
    Shown s(TRect{10, 10, 10, 10}, true);
    TChartPreviewPage &page = *s.preview.Page;
    QCoreApplication::processEvents(); // the paints of showing the window
    const QImage before = page.Frame();
    const TRect p = page.PageRect(), c = page.ChartRect();
    const int frames = page.FrameCount();
    const int y = (c.Top + c.Bottom) / 2;
    QTest::mouseMove(&page, QPoint(c.Left + 2, y));
    EXPECT_EQ(page.cursor().shape(), Qt::SizeHorCursor);
    QTest::mousePress(&page, Qt::LeftButton, {}, QPoint(c.Left + 2, y));
    EXPECT_EQ(page.DragKind(), pdLeft);
    QTest::mouseMove(&page, QPoint(c.Left + 30, y));
    QCoreApplication::processEvents();
    EXPECT_EQ(page.FrameCount(), frames); // no full repaint during the drag
    EXPECT_EQ(page.ChartRect().Left, c.Left + 30);
    const QImage &during = page.Frame();
    EXPECT_EQ(during.pixel(c.Left - 1, p.Top + 1), before.pixel(c.Left - 2, p.Top + 1)); // old line gone
    EXPECT_EQ(during.pixel(c.Left + 29, p.Top + 1), kSilver);                        // new line drawn
    const TRect m = s.margins();
    EXPECT_EQ(m.Left, qRound(100.0 * (c.Left + 30 - p.Left) / p.Width()));
    EXPECT_EQ(s.preview.UDLeftMa->value(), m.Left);
    EXPECT_FALSE(s.preview.CBProp->isChecked());
    EXPECT_FALSE(s.pc.chart.PrintProportional());
    EXPECT_TRUE(s.preview.BReset->isEnabled());
    QTest::mouseRelease(&page, Qt::LeftButton, {}, QPoint(c.Left + 30, y));
    EXPECT_EQ(page.DragKind(), pdNone);
    page.Frame();
    EXPECT_EQ(page.FrameCount(), frames + 1);
}

TEST_F(ChartPreviewTest, DragsPastTheOppositeEdgeOrOffThePaperDoNothing) {
    Shown s(TRect{20, 20, 20, 20}, true);
    TChartPreviewPage &page = *s.preview.Page;
    page.Frame();
    const TRect p = page.PageRect(), c = page.ChartRect();
    const TRect m = s.margins();
    const int y = (c.Top + c.Bottom) / 2;
    QTest::mousePress(&page, Qt::LeftButton, {}, QPoint(c.Left, y));
    QTest::mouseMove(&page, QPoint(c.Right + 5, y)); // past the right edge
    page.DragTo(p.Left - 3, y);                     // off the paper
    QTest::mouseRelease(&page, Qt::LeftButton, {}, QPoint(c.Right + 5, y));
    EXPECT_EQ(s.margins(), m);
    EXPECT_EQ(page.ChartRect(), c);
    EXPECT_TRUE(s.preview.CBProp->isChecked()); // nothing changed, nothing turned off
    // Moving the whole chart by the same offsets keeps its size.
    const QPoint grab((c.Left + c.Right) / 2, y);
    QTest::mousePress(&page, Qt::LeftButton, {}, grab);
    EXPECT_EQ(page.DragKind(), pdMove);
    QTest::mouseMove(&page, QPoint(p.Left + 1, grab.y() - 10));
    EXPECT_EQ(page.ChartRect().Left, p.Left);
    EXPECT_EQ(page.ChartRect().Width(), c.Width());
    EXPECT_EQ(page.ChartRect().Top, c.Top - 10);
    QTest::mouseRelease(&page, Qt::LeftButton, {}, QPoint(p.Left + 1, grab.y() - 10));
    EXPECT_EQ(s.margins().Left, 0);
    EXPECT_FALSE(s.pc.chart.PrintProportional());
}

TEST_F(ChartPreviewTest, EscapeAndEnterClose) {
    PreviewChart pc(400, 200, 50);
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        TChartPreview preview(nullptr, QStringLiteral("/tmp"));
        preview.SetImage(&pc.chart);
        bool sent = false;
        WhenModal([&](QWidget *w) {
            QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : w;
            QTest::keyClick(target, Qt::Key(key));
            sent = true;
            if (w->isVisible()) static_cast<QDialog *>(w)->done(7); // keeps a failure from hanging
        });
        EXPECT_EQ(preview.exec(), 1) << key;
        EXPECT_TRUE(sent);
    }
}

TEST_F(ChartPreviewTest, TheCommandLeavesTheGradientOffAndFreesTheWindow) {
    PreviewChart pc(400, 200, 50);
    QWidget owner;
    pc.chart.Gradient().SetVisible(true);
    bool imageWasTheChart = false;
    WhenModal([&](QWidget *w) {
        auto *preview = dynamic_cast<TChartPreview *>(w);
        imageWasTheChart = preview && preview->Image() == &pc.chart && preview->parent() == &owner;
        if (preview) preview->BClose->click();
    });
    ShowChartPreview(pc.chart, &owner, QStringLiteral("/tmp"));
    EXPECT_TRUE(imageWasTheChart);
    EXPECT_FALSE(pc.chart.Gradient().Visible());
    EXPECT_TRUE(owner.findChildren<TChartPreview *>().isEmpty());
}

TEST_F(ChartPreviewTest, TheChartIsDrawnAfreshOnlyWhenItOrItsPlaceHasChanged) {
    Shown s;
    TChartPreviewPage &page = *s.preview.Page;
    page.Frame();
    const int draws = page.ChartDrawCount();
    page.Invalidate();
    page.Frame();
    EXPECT_EQ(page.ChartDrawCount(), draws); // nothing changed: the copy is shown
    s.preview.UDTopMa->setValue(12);         // the chart's rectangle changes size
    page.Frame();
    EXPECT_EQ(page.ChartDrawCount(), draws + 1);
    s.pc.trace.AddPoint(401, 20); // a sweep arrives behind the preview
    page.Invalidate();
    page.Frame();
    EXPECT_EQ(page.ChartDrawCount(), draws + 2);
    s.preview.Resolution->setValue(-10);
    page.Frame();
    EXPECT_EQ(page.ChartDrawCount(), draws + 3);
}

TEST_F(ChartPreviewTest, PrinterSetupRunsThePrintDialogThenRereadsPrinterAndOrientation) {
    Shown s;
    s.preview.Printers->setCurrentIndex(0); // the PDF entry
    bool wasPrintDialog = false;
    WhenModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QPrintDialog *>(w);
        wasPrintDialog = dialog && dialog->printer() == s.preview.Printer();
        // What a user may change there: the paper turned to portrait.
        if (dialog) dialog->printer()->setPageOrientation(QPageLayout::Portrait);
        static_cast<QDialog *>(w)->reject();
    });
    s.preview.BSetupPrinter->click();
    EXPECT_TRUE(wasPrintDialog);
    EXPECT_EQ(s.preview.Printers->currentIndex(), 0);
    EXPECT_TRUE(s.preview.PrinterIsPdf());
    EXPECT_TRUE(s.preview.Portrait->isChecked());
    const TRect p = s.preview.Page->PageRect();
    EXPECT_GT(p.Height(), p.Width());
}

// A chart of a million-point sweep is drawn into the page as a picture rather than recorded:
// the same trace inside the chart's rectangle, nothing of it outside, and a sparse chart of the
// same curve lights the same parts of the rectangle.
TEST_F(ChartPreviewTest, ADenseChartIsDrawnInsideItsRectangleLikeASparseOne) {
    auto traceRows = [](int points) {
        PreviewChart pc(716, 263, points);
        TChartPreview preview{nullptr, QStringLiteral("/tmp")};
        pc.chart.PageMarginsPercent = TRect{10, 10, 10, 10};
        preview.SetImage(&pc.chart);
        preview.show();
        const QImage f = preview.Page->Frame();
        const TRect c = preview.Page->ChartRect();
        // Red pixels (the trace) per column third inside the rectangle, and none outside it.
        std::vector<int> inside(3, 0);
        int outside = 0;
        for (int y = 0; y < f.height(); ++y)
            for (int x = 0; x < f.width(); ++x) {
                const QColor p = f.pixelColor(x, y);
                if (p.red() - p.green() < 60 || p.red() - p.blue() < 60) // reddish: the trace
                    continue;
                if (c.Contains(x, y))
                    ++inside[std::min(2, 3 * (x - c.Left) / std::max(1, c.Width()))];
                else
                    ++outside;
            }
        return std::make_pair(inside, outside);
    };
    const auto [dense, denseOutside] = traceRows(1000000);
    const auto [sparse, sparseOutside] = traceRows(400);
    EXPECT_EQ(denseOutside, 0);
    EXPECT_EQ(sparseOutside, 0);
    for (int third = 0; third < 3; ++third) {
        EXPECT_GT(dense[third], 20) << third;
        EXPECT_GT(sparse[third], 20) << third;
    }
}
