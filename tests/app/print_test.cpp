// Printing the spectrum on white paper: dark lines and texts, the trace in its own colour, a
// header line, and nothing of the screen's cursor readout.
#include "app/main_form.h"
#include "app_test_support.h"
#include "print/chart_preview.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

TEST(Print, APageIsForWhitePaperWithAHeaderAndNoCursorReadout) {
#if !defined(SKYVANE_PDFTOPPM) || !defined(SKYVANE_PDFTOTEXT)
    GTEST_SKIP() << "pdftoppm/pdftotext (poppler-utils) not found: printed pages cannot be read";
#else
    QuietWindow w;
    TChartPreview::InstalledPrinters = [] { return QStringList(); };
    w.form.AssembleSweep(SweepText(430000000, 25000, 400, 200));
    w.form.chMouseMove(300, 120); // the readout is on the screen
    w.form.ch->repaint();
    ASSERT_FALSE(w.form.cursorXText.isEmpty());
    const QImage screenBefore = w.form.ch->grab().toImage();

    const QString pdf = w.dir.filePath("page.pdf");
    {
        TChartPreview preview(&w.form, w.dir.path());
        preview.SetImage(w.form.ch);
        preview.show();
        ASSERT_TRUE(preview.PrinterIsPdf()); // no printer: the PDF file, ready at once
        preview.AskPdfFileName = [&](const QString &) { return pdf; };
        preview.BPrintClick();
    }
    ASSERT_TRUE(QFileInfo(pdf).isFile());
    // The words on the page.
    QProcess text;
    text.start(SKYVANE_PDFTOTEXT, {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(words.contains(w.form.windowTitle())) << words.toStdString();
    EXPECT_TRUE(words.contains("430 - 440 MHz") || words.contains("MHz")) << words.toStdString();
    EXPECT_TRUE(words.contains("Step ")) << words.toStdString();
    EXPECT_FALSE(words.contains(w.form.cursorXText + " Hz")) << words.toStdString();
    // The picture: a white sheet, no screen yellow or lime, the red trace.
    const QString prefix = w.dir.filePath("page");
    ASSERT_EQ(QProcess::execute(SKYVANE_PDFTOPPM, {"-r", "50", "-png", "-singlefile", pdf, prefix}), 0);
    const QImage page(prefix + ".png");
    ASSERT_FALSE(page.isNull());
    int white = 0, yellow = 0, lime = 0, red = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            white += c.lightness() > 245;
            yellow += c.red() > 200 && c.green() > 200 && c.blue() < 80;
            lime += c.green() > 200 && c.red() < 80 && c.blue() < 80;
            red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    const int all = page.width() * page.height();
    EXPECT_GT(white, all * 7 / 10);
    EXPECT_EQ(yellow, 0);
    EXPECT_EQ(lime, 0);
    EXPECT_GT(red, 20);
    // The screen keeps its own look.
    w.form.ch->repaint();
    EXPECT_EQ(w.form.ch->grab().toImage(), screenBefore);
#endif
}
