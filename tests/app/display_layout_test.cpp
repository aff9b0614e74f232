// What a new user sees of the window's layout: status panels that show their whole texts, the
// frequency editors' size and text, the splitter's limits and the check boxes' indicators.
#include "app/main_form.h"
#include "app/spin_double.h"
#include "app_test_support.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <QAbstractItemView>
#include <QComboBox>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

struct Window : QuietWindow {};

} // namespace

// Every status panel shows its whole text up to 10,000,000 bins, -120.00 dB and a 2.8 MHz step.
TEST(Layout, StatusPanelsShowTheirWholeTexts) {
    Window w;
    const std::pair<int, const char *> longest[] = {{0, "Config RTL-SDR"},
                                                    {0, "Load Data..."},
                                                    {0, "Visualization stopped"},
                                                    {0, "Saving video... 99 frames left"},
                                                    {0, "Replay 9999/9999"},
                                                    {1, "Step: 2800000.00 Hz"},
                                                    {2, "Average Noise Level: -120.00 dB"},
                                                    {3, "FFT Point Size: 10000000"}};
    for (auto [panel, text] : longest) {
        w.form.sb->SetPanelText(panel, text);
        EXPECT_TRUE(w.form.sb->Fits(panel, text)) << text;
        EXPECT_EQ(w.form.sb->Panel(panel)->text(), text);
    }
    // Panels stay side by side, inside the window.
    for (int i = 1; i < w.form.sb->PanelCount(); ++i)
        EXPECT_GE(w.form.sb->Panel(i)->x(), w.form.sb->Panel(i - 1)->geometry().right());
    EXPECT_LE(w.form.sb->Panel(4)->geometry().right(), w.form.width());
    // A tool's long error line ends in an ellipsis and is whole in the hint.
    const QString error = "usb_claim_interface error -6: the device is held by another program on this machine";
    w.form.sb->SetPanelText(0, error);
    EXPECT_EQ(w.form.sb->PanelText(0), error);
    EXPECT_TRUE(w.form.sb->Panel(0)->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(w.form.sb->Panel(0)->toolTip(), error);
}

// The editors are 70 x 19 and show a value's leading digit.
TEST(Layout, FrequencyEditorsShowTheWholeValue) {
    Window w;
    EXPECT_EQ(w.form.startSpin->geometry(), QRect(110, 11, 70, 19));
    EXPECT_EQ(w.form.stopSpin->geometry(), QRect(185, 11, 70, 19));
    QLineEdit *edit = w.form.startSpin->lineEdit();
    w.form.startSpin->setText("127.940002");
    edit->setCursorPosition(0);
    w.form.ch->setFocus();
    // The first text pixel stands near the left edge: nothing scrolled out of view.
    const QImage img = edit->grab().toImage();
    int first = -1, last = -1;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if (qGray(img.pixel(x, y)) > 60) {
                first = first < 0 ? x : first;
                last = x;
            }
    ASSERT_GE(first, 0);
    EXPECT_LE(first, 4);
    EXPECT_LT(last, img.width() - 1);
    EXPECT_LE(QFontMetrics(edit->font()).horizontalAdvance("127.940002") + 4, edit->width());
}

// The readout follows the axes when they move under a still mouse.
TEST(Layout, CursorReadoutFollowsAKeyScroll) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.ch->repaint();
    w.form.chMouseMove(300, 100);
    w.form.ch->repaint();
    const QString before = w.form.cursorXText;
    w.form.ch->setFocus();
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(w.form.ch, Qt::Key_Right);
    w.form.ch->repaint();
    EXPECT_NE(w.form.cursorXText, before);
    double now = 0, y = 0;
    w.form.spectrum.Series1.CursorValuesAt(QPoint(300, 100), now, y);
    EXPECT_EQ(w.form.cursorXText, w.form.ch->Bottom().FormatLabel(now));
}

// The chart keeps a least height; an enlarged window gives both chart and waterfall more room,
// in the proportion the user set with the splitter.
TEST(Layout, SplitterKeepsTheChartAndSharesExtraHeight) {
    Window w;
    w.form.Splitter1->setSizes({0, 1000});
    EXPECT_GE(w.form.ch->height(), TForm1::kChartMinHeight);
    w.form.Splitter1->setSizes({263, 120});
    w.form.chartShare = 263.0 / 383.0;
    w.form.resize(1280, 1000);
    QTest::qWait(20);
    EXPECT_NEAR(w.form.Panel2->height(), (1000 - 3) * 120 / 383, 3);
    EXPECT_GT(w.form.img2->height(), 200);
    EXPECT_NEAR(w.form.ch->height(), (1000 - 3) * 263 / 383, 3);
}

// Unchecked boxes show a visible indicator on the black strip.
TEST(Layout, CheckBoxIndicatorsAreVisibleInBothStates) {
    Window w;
    for (QCheckBox *box : {w.form.point, w.form.axs, w.form.mx}) {
        for (bool on : {false, true}) {
            box->setChecked(on);
            const QImage img = box->grab().toImage();
            // In the indicator (left of the text) some pixels are not black.
            int lit = 0;
            for (int x = 0; x < 14 && x < img.width(); ++x)
                for (int y = 0; y < img.height(); ++y)
                    lit += qGray(img.pixel(x, y)) > 30;
            EXPECT_GT(lit, 20) << box->objectName().toStdString() << " checked=" << on;
        }
    }
}

// "Saving video..." stays in panel 0 until the files are complete, whatever the scan cycle
// says meanwhile.
TEST(Layout, SavingVideoStaysUntilTheFileIsComplete) {
    Window w;
    w.form.ShowSavingStatus("Saving video... 4 frames left");
    w.form.statusText.set("Load Data...");
    waitFor([] { return false; }, 450); // the status timer runs a couple of times
    EXPECT_EQ(w.form.sb->PanelText(0), "Saving video... 4 frames left");
    w.form.ShowSavingStatus(QString());
    EXPECT_EQ(w.form.sb->PanelText(0), "Load Data...");
}

// The Step and Gain drop-down lists are opaque: nothing under them shows between the items.
TEST(Layout, DropDownListsAreOpaque) {
    Window w;
    for (QComboBox *box : {w.form.step, w.form.gain}) {
        box->showPopup();
        QAbstractItemView *list = box->view();
        QWidget *popup = list->window();
        ASSERT_TRUE(popup->isVisible());
        for (QWidget *part : {static_cast<QWidget *>(list), list->viewport(), popup}) {
            EXPECT_TRUE(part->autoFillBackground());
            EXPECT_FALSE(part->testAttribute(Qt::WA_TranslucentBackground));
            EXPECT_EQ(part->palette().color(QPalette::Window).alpha(), 255);
        }
        // Rendered, the list has no see-through pixel.
        const QImage picture = popup->grab().toImage();
        int seeThrough = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                seeThrough += qAlpha(picture.pixel(x, y)) < 255;
        EXPECT_EQ(seeThrough, 0);
        box->hidePopup();
    }
}
