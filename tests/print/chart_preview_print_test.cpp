// Printing from the preview to the "PDF file" entry: the file, its one page rendered with
// pdftoppm, the chart inside the margins at the chosen detail level, and failures.
#include "print/chart_preview.h"
#include "platform/error.h"
#include "preview_test_support.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include "../small_tmpfs.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace sky;

namespace {

struct Printed {
    QString file;
    QStringList pages; // rendered PNG files
};

class ChartPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef SKYVANE_PDFTOPPM
        GTEST_SKIP() << "pdftoppm (poppler-utils) not found: printed pages cannot be checked";
#endif
        EnsurePreviewApp();
        TChartPreview::InstalledPrinters = [] { return QStringList(); };
        TChartPreview::DefaultPrinter = [] { return QString(); };
        ASSERT_TRUE(dir.isValid());
    }

    // Prints the chart to the PDF entry with the given detail level and renders the pages at
    // 60 dpi.
    Printed Print(TChart &chart, int detail, const QString &name) {
        Printed out;
        TChartPreview preview(nullptr, dir.path());
        preview.SetImage(&chart);
        preview.show();
        preview.Printers->setCurrentIndex(preview.Printers->count() - 1);
        preview.Resolution->setValue(detail);
        QString offered;
        out.file = dir.filePath(name + QStringLiteral(".pdf"));
        preview.AskPdfFileName = [&](const QString &def) {
            offered = def;
            return out.file;
        };
        preview.BPrintClick();
        EXPECT_TRUE(offered.startsWith(QDir(dir.path()).filePath(QString())) && offered.endsWith(".pdf")) << offered.toStdString();
        EXPECT_FALSE(QFileInfo(offered).fileName().contains(':'));
#ifdef SKYVANE_PDFTOPPM
        const QString prefix = dir.filePath(name);
        QProcess::execute(QStringLiteral(SKYVANE_PDFTOPPM), {"-r", "60", "-png", out.file, prefix});
        for (const QString &f : QDir(dir.path()).entryList({name + "-*.png"}, QDir::Files, QDir::Name))
            out.pages << dir.filePath(f);
#endif
        return out;
    }

    QTemporaryDir dir;
};

bool Ink(QRgb c) { return qRed(c) < 200 || qGreen(c) < 200 || qBlue(c) < 200; }

QRect InkBox(const QImage &img) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Ink(img.pixel(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

// The first column from the left of `area` with dark pixels over at least half its height:
// the left edge of the chart's plot frame.
int PlotLeft(const QImage &img, const QRect &area) {
    for (int x = area.left(); x <= area.right(); ++x) {
        int dark = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) dark += qGray(img.pixel(x, y)) < 110;
        if (dark * 2 >= area.height()) return x;
    }
    return -1;
}

} // namespace

TEST_F(ChartPrintTest, PdfEntryPrintsOnePageWithTheChartInsideTheMargins) {
    PreviewChart pc(716, 263, 2000);
    pc.chart.PageMarginsPercent = TRect{20, 25, 10, 15};
    pc.chart.SetPrintProportional(false);
    const Printed normal = Print(pc.chart, 0, QStringLiteral("normal"));
    ASSERT_TRUE(QFile::exists(normal.file));
    ASSERT_EQ(normal.pages.size(), 1);
    // The job title is the chart's name (UTF-16 in the document information).
    QFile pdf(normal.file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.contains(QByteArray("/Title (\xFE\xFF\x00" "c\x00h)", 11))) << "no title \"ch\"";

    const QImage page(normal.pages[0]);
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height()); // landscape
    const QRect margins(qRound(page.width() * 0.20), qRound(page.height() * 0.25),
                        qRound(page.width() * 0.70), qRound(page.height() * 0.60));
    const QRect ink = InkBox(page);
    ASSERT_FALSE(ink.isNull());
    EXPECT_TRUE(margins.adjusted(-1, -1, 1, 1).contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                                                            << ink.height();
    // The chart fills its place: it reaches close to all four margins.
    EXPECT_GT(ink.width(), margins.width() * 9 / 10);
    EXPECT_GT(ink.height(), margins.height() * 8 / 10);
    int red = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            red += qRed(page.pixel(x, y)) > 150 && qGreen(page.pixel(x, y)) < 100;
    EXPECT_GT(red, 100); // the trace

    // More detail draws the chart as on a window twice the size: the axis labels take half the
    // share of the width, so the plot starts nearer the left margin.
    const Printed detailed = Print(pc.chart, -100, QStringLiteral("detailed"));
    ASSERT_EQ(detailed.pages.size(), 1);
    const QImage page2(detailed.pages[0]);
    EXPECT_TRUE(margins.adjusted(-1, -1, 1, 1).contains(InkBox(page2)));
    const int left0 = PlotLeft(page, margins), left100 = PlotLeft(page2, margins);
    ASSERT_GT(left0, margins.left());
    ASSERT_GT(left100, margins.left());
    EXPECT_LE(left100 + 4, left0) << left0 << " " << left100;
}

TEST_F(ChartPrintTest, AFailedPrintRaisesAndLeavesThePreviewOpen) {
    PreviewChart pc(400, 200, 100);
    TChartPreview preview(nullptr, dir.path());
    preview.SetImage(&pc.chart);
    preview.show();
    preview.Printers->setCurrentIndex(0);
    preview.AskPdfFileName = [&](const QString &) { return dir.filePath("missing/folder/out.pdf"); };
    QString message;
    try {
        preview.BPrintClick();
    } catch (const Error &e) {
        message = e.text();
    }
    EXPECT_TRUE(message.startsWith("Cannot print to " + QDir::toNativeSeparators(dir.filePath("missing/folder/out.pdf")) +
                                   ": "))
        << message.toStdString();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A cancelled file choice prints nothing.
    preview.AskPdfFileName = [](const QString &) { return QString(); };
    preview.BPrintClick();
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pdf"}, QDir::Files).isEmpty());

    // A full disk (a 1 MB tmpfs already filled; only root may mount one): the error, nothing
    // half-written left, and the next print of the same preview is whole.
    if (const SmallTmpfs mount(1); mount.mounted) {
        {
            QFile filler(mount.path() + "/filler");
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size()) {
            }
        }
        preview.AskPdfFileName = [&](const QString &) { return mount.path() + "/full.pdf"; };
        message.clear();
        try {
            preview.BPrintClick();
        } catch (const Error &e) {
            message = e.text();
        }
        EXPECT_TRUE(message.startsWith("Cannot print to ")) << message.toStdString();
        EXPECT_EQ(QDir(mount.path()).entryList(QDir::Files), QStringList{"filler"});
    }
    const QString good = dir.filePath("after.pdf");
    preview.AskPdfFileName = [&](const QString &) { return good; };
    preview.BPrintClick();
    QFile pdf(good);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF")) << bytes.size();
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part"}, QDir::Files), QStringList());
}

TEST_F(ChartPrintTest, TheFileDialogOffersTheTimeStampNameInThePluginsFolder) {
    PreviewChart pc(400, 200, 100);
    TChartPreview preview(nullptr, dir.path());
    preview.SetImage(&pc.chart);
    preview.show();
    preview.Printers->setCurrentIndex(0);
    const QString target = dir.filePath("chosen.pdf");
    QString shownFolder;
    WhenModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        shownFolder = dialog->directory().absolutePath();
        // Typed and confirmed as a user would, once the dialog has settled.
        QTimer::singleShot(100, dialog, [dialog, target] {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (edit) edit->setText(target);
            static_cast<QDialog *>(dialog)->accept();
            if (dialog->isVisible()) dialog->reject(); // a refused name must not hang the test
        });
    });
    try {
        preview.BPrintClick();
    } catch (const Error &e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(shownFolder, QDir(dir.path()).absolutePath());
    EXPECT_TRUE(QFile::exists(target));
}
