// Hot keys, the popup menu, the image buttons, the two toggles and the tray notices.
#include "app/main_form.h"
#include "app/spin_double.h"
#include "app/application.h"
#include "app/tray.h"
#include "app_test_support.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

std::string sweepText(int n, int peakAt) { return SweepText(430000000, 25000, n, peakAt); }

struct Window {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form{StartOptions{dir.path(), dir.filePath("no-tool")}};
    Window() {
        form.scanThread->RequestStop();
        form.scanThread->wait();
        form.resize(716, 386);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.AssembleSweep(sweepText(400, 200));
        form.ch->repaint();
        form.ch->setFocus();
    }
    double span(TCustomChartAxis *a) { return a->Maximum() - a->Minimum(); }
};

} // namespace

TEST(HotKeys, ArrowsScrollByOnePercentAndTenMakeTen) {
    Window w;
    TCustomChartAxis *bottom = w.form.ch->BottomAxis();
    const double min0 = bottom->Minimum(), span = w.span(bottom);
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(w.form.ch, Qt::Key_Right);
    EXPECT_NEAR(bottom->Minimum(), min0 + span * 0.10, span * 1e-9);
    EXPECT_NEAR(w.span(bottom), span, span * 1e-9);
    QTest::keyClick(w.form.ch, Qt::Key_Left);
    EXPECT_NEAR(bottom->Minimum(), min0 + span * 0.09, span * 1e-9);
    // Numeric pad 4 and 6 do the same; the top axis moves with the bottom one.
    const double top0 = w.form.ch->TopAxis()->Minimum();
    QTest::keyClick(w.form.ch, Qt::Key_6, Qt::KeypadModifier);
    EXPECT_NEAR(bottom->Minimum(), min0 + span * 0.10, span * 1e-9);
    EXPECT_GT(w.form.ch->TopAxis()->Minimum(), top0);
    // Up and down move the level axes; the settle timer restarts with every key.
    const double left0 = w.form.ch->LeftAxis()->Minimum(), leftSpan = w.span(w.form.ch->LeftAxis());
    QTest::keyClick(w.form.ch, Qt::Key_Up);
    EXPECT_NEAR(w.form.ch->LeftAxis()->Minimum(), left0 + leftSpan * 0.01, 1e-9);
    QTest::keyClick(w.form.ch, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_NEAR(w.form.ch->LeftAxis()->Minimum(), left0, 1e-9);
    EXPECT_TRUE(w.form.Timer1->isActive());
    // With "Scale" checked the next sweep makes the level axes automatic again.
    QTest::keyClick(w.form.ch, Qt::Key_Up);
    EXPECT_FALSE(w.form.ch->LeftAxis()->Automatic());
    w.form.AssembleSweep(sweepText(400, 200));
    EXPECT_TRUE(w.form.ch->LeftAxis()->Automatic());
}

TEST(HotKeys, PlusAndMinusZoomEveryAxis) {
    Window w;
    TCustomChartAxis *bottom = w.form.ch->BottomAxis();
    const double span = w.span(bottom);
    QTest::keyClick(w.form.ch, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_NEAR(w.span(bottom), span * 0.6, span * 1e-6);
    QTest::keyClick(w.form.ch, Qt::Key_Minus);
    EXPECT_NEAR(w.span(bottom), span * 0.6 * 1.4, span * 1e-6);
    QTest::keyClick(w.form.ch, Qt::Key_Equal);
    EXPECT_NEAR(w.span(bottom), span * 0.6 * 1.4 * 0.6, span * 1e-6);
}

TEST(HotKeys, AnArrowInAFrequencyEditorMovesOnlyItsCursor) {
    Window w;
    TCustomChartAxis *bottom = w.form.ch->BottomAxis();
    const double min0 = bottom->Minimum();
    QLineEdit *edit = w.form.startSpin->lineEdit();
    edit->setFocus();
    edit->setCursorPosition(1);
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(bottom->Minimum(), min0);
    EXPECT_EQ(edit->cursorPosition(), 2);
    EXPECT_TRUE(w.form.Timer1->isActive()); // a key still restarts the settle count
}

TEST(Toggles, F5AndTheMenuItemFlipTheModeOnceWithOneNotice) {
    Window w;
    ASSERT_TRUE(w.form.tray);
    const int before = w.form.tray->NoticeCount;
    QTest::keyClick(w.form.ch, Qt::Key_F5);
    EXPECT_TRUE(w.form.Infinity1->isChecked());
    EXPECT_EQ(w.form.tray->NoticeCount, before + 1);
    EXPECT_EQ(w.form.tray->LastText, "Mode Infinity");
    EXPECT_EQ(w.form.tray->LastTitle, "Skyvane");
    EXPECT_EQ(w.form.tray->LastKind, 1);
    w.form.Infinity1->trigger(); // the menu item: the check flips, then the notice
    EXPECT_FALSE(w.form.Infinity1->isChecked());
    EXPECT_EQ(w.form.tray->NoticeCount, before + 2);
    EXPECT_EQ(w.form.tray->LastText, "Mode Normal");
    QTest::mouseClick(w.form.Image5, Qt::LeftButton);
    EXPECT_TRUE(w.form.Infinity1->isChecked());
    EXPECT_EQ(w.form.tray->NoticeCount, before + 3);
}

TEST(Toggles, StopVisualizationKeepsTheLastSweepAndThePressEffectMovesTheButton) {
    Window w;
    const int y = w.form.Image3->y();
    QTest::mousePress(w.form.Image3, Qt::LeftButton);
    EXPECT_EQ(w.form.Image3->y(), y + 1);
    QTest::mouseRelease(w.form.Image3, Qt::LeftButton);
    EXPECT_EQ(w.form.Image3->y(), y);
    EXPECT_TRUE(w.form.flags.visualizationStopped);
    writeFile(w.dir.filePath("scan.csv"), QByteArray::fromStdString(sweepText(400, 100)));
    w.form.IngestSweepFile();
    EXPECT_TRUE(QFile::exists(w.dir.filePath("scan.csv")));
    EXPECT_EQ(w.form.spectrum.Series3.XValue(0), 430000000.0 + 200 * 25000.0); // the old sweep stays
    QTest::mouseClick(w.form.Image3, Qt::LeftButton);
    EXPECT_FALSE(w.form.flags.visualizationStopped);
}

// Paused, the button shows a different picture and panel 0 says so; running again restores both.
TEST(Toggles, StopVisualizationShowsItsStateInTheButtonAndStatus) {
    Window w;
    const QImage running = w.form.Image3->Picture();
    QTest::mouseClick(w.form.Image3, Qt::LeftButton);
    EXPECT_NE(w.form.Image3->Picture(), running);
    EXPECT_EQ(w.form.statusText.get(), "Visualization stopped");
    QTest::mouseClick(w.form.Image3, Qt::LeftButton);
    EXPECT_EQ(w.form.Image3->Picture(), running);
    EXPECT_NE(w.form.statusText.get(), "Visualization stopped");
}

// In a text field digits, signs and arrows are typing and editing keys; the chart stays where it
// is. The hot keys still act from there.
TEST(HotKeys, TextFieldsKeepTheirTypingKeys) {
    Window w;
    TCustomChartAxis *bottom = w.form.ch->BottomAxis();
    const double min0 = bottom->Minimum(), span0 = w.span(bottom);
    for (QWidget *field : {static_cast<QWidget *>(w.form.startSpin->lineEdit()), static_cast<QWidget *>(w.form.step->lineEdit())}) {
        field->setFocus();
        ASSERT_TRUE(w.form.FocusIsTextField());
        QTest::keyClick(field, Qt::Key_4, Qt::KeypadModifier);
        QTest::keyClick(field, Qt::Key_6, Qt::KeypadModifier);
        QTest::keyClick(field, Qt::Key_Plus);
        QTest::keyClick(field, Qt::Key_Minus);
        QTest::keyClick(field, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(field, Qt::Key_Right);
        EXPECT_EQ(bottom->Minimum(), min0);
        EXPECT_EQ(w.span(bottom), span0);
    }
    EXPECT_TRUE(w.form.step->currentText().contains("46")); // the digits went into the text
    const int notices = w.form.tray->NoticeCount;
    QTest::keyClick(w.form.step->lineEdit(), Qt::Key_F5);
    EXPECT_TRUE(w.form.Infinity1->isChecked());
    EXPECT_EQ(w.form.tray->NoticeCount, notices + 1);
    // The read-only dongle box is no text field: its keys still move the chart.
    w.form.ch->setFocus();
    EXPECT_FALSE(w.form.FocusIsTextField());
    QTest::keyClick(w.form.ch, Qt::Key_6, Qt::KeypadModifier);
    EXPECT_GT(bottom->Minimum(), min0);
}

TEST(Menu, OpensFromTheWaterfallButNotFromTheChart) {
    Window w;
    QTest::mousePress(w.form.ch, Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    QTest::mouseRelease(w.form.ch, Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    EXPECT_FALSE(w.form.pm1->isVisible());
    QTest::mousePress(w.form.img2, Qt::RightButton);
    EXPECT_TRUE(w.form.pm1->isVisible());
    w.form.pm1->close();
    QTest::mousePress(w.form.Panel1, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(w.form.pm1->isVisible());
    w.form.pm1->close();
    // Items and their shown keys.
    EXPECT_EQ(w.form.Infinity1->text(), "Mode Infinity\tF5");
    EXPECT_EQ(w.form.recc->text(), "Recording Spectrum\tF7");
    EXPECT_EQ(w.form.Close1->text(), "Close\tEsc");
    EXPECT_EQ(w.form.codec->title(), "Codec");
    // The five items of the Options menu, then the two check items and the submenus added
    // after them.
    const QList<QAction *> options = w.form.Options1->actions();
    QStringList texts;
    for (const QAction *a : options)
        texts << a->text();
    EXPECT_EQ(texts, (QStringList{"Codec", "Mode Infinity\tF5", "Screenshot\tF6", "Recording Spectrum\tF7",
                                  "Print Preview\tF8", "Log Sweeps", "Max Hold", "Trace", "Waterfall", "Markers",
                                  "Save Trace...", "Save Image...", "Frequency Offset...", "Receiver..."}));
    ASSERT_EQ(options.size(), 14);
    EXPECT_TRUE(options[5]->isCheckable() && options[6]->isCheckable());
    EXPECT_EQ(options[7]->menu(), w.form.Trace1);
    EXPECT_EQ(options[8]->menu(), w.form.Waterfall1);
    EXPECT_EQ(options[9]->menu(), w.form.Markers1);
}

TEST(Notices, AboutCutsAndTrayClicks) {
    Window w;
    w.form.About1->trigger();
    const QStringList lines = w.form.tray->LastText.split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QString(QChar(0x2022)) + " Support realtime RTL2832/R820");
    EXPECT_EQ(lines[2], QString(QChar(0x2022)) + " Record video and screnshot");
    EXPECT_EQ(lines[3], QString(53, '-'));
    w.form.tray->ShowBalloon(1, QString(300, 'x'), QString(80, 't'));
    EXPECT_EQ(w.form.tray->LastText.size(), 255);
    EXPECT_EQ(w.form.tray->LastTitle.size(), 63);

    // A single click hides the window, a double click (press, then double click) toggles twice.
    w.form.tray->TrayAvailable = [] { return true; };
    w.form.tray->SetTrayIcon(0, 2, QString());
    w.form.tray->SetTrayIcon(0, 0, TTray::kTip);
    w.form.tray->Activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.form.flags.hiddenToTray);
    EXPECT_FALSE(w.form.isVisible());
    w.form.tray->Activated(QSystemTrayIcon::Trigger); // a double click: down, then double click
    w.form.tray->Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w.form.flags.hiddenToTray); // toggled twice: as it was
    EXPECT_FALSE(w.form.isVisible());
    w.form.tray->Activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.form.flags.hiddenToTray);
    EXPECT_TRUE(w.form.isVisible());
    // Without a tray the window is never hidden beyond reach.
    w.form.tray->TrayAvailable = [] { return false; };
    w.form.tray->Activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.form.flags.hiddenToTray);
    EXPECT_TRUE(w.form.isVisible());
}

TEST(HotKeys, EscapeClosesTheWindow) {
    Window w;
    bool closed = false;
    QObject::connect(&w.form, &TForm1::closed, [&] { closed = true; });
    QTest::keyClick(w.form.ch, Qt::Key_Escape);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(w.form.isVisible());
}

TEST(Notices, IconComesBackWithTheTray) {
    Window w;
    bool available = false;
    w.form.tray->TrayAvailable = [&] { return available; };
    w.form.tray->SetTrayIcon(0, 2, QString());
    w.form.tray->SetTrayIcon(0, 0, TTray::kTip);
    w.form.tray->CheckTrayReturned();
    EXPECT_FALSE(w.form.tray->IconVisible());
    available = true; // the panel with the tray starts
    w.form.tray->CheckTrayReturned();
    EXPECT_TRUE(w.form.tray->IconVisible());
    w.form.tray->SetTrayIcon(0, 2, QString());
    EXPECT_FALSE(w.form.tray->IconVisible());
}

// One key press, one action, whatever the focus: a key whose action opens a modal window (F8's
// print preview, an error box) is not acted on again when that window closes and the key goes
// on to the main window without a focus widget.
TEST(HotKeys, AKeyThatOpensAModalWindowActsOnce) {
    Window w;
    int opened = 0;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++opened;
            modal->close();
        }
    });
    closer.start();
    for (QWidget *focus : {static_cast<QWidget *>(w.form.ch), static_cast<QWidget *>(w.form.step)}) {
        opened = 0;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_F8);
        QTest::qWait(100);
        EXPECT_EQ(opened, 1) << focus->objectName().toStdString();
    }
    // An error box opened by F6 (the screenshot cannot be written): the shot is tried once.
    int boxes = 0;
    const ErrorSink collect = SetErrorSink([&](const QString &) {
        ++boxes;
        QDialog box(&w.form);
        box.setModal(true);
        QTimer::singleShot(20, &box, &QDialog::close);
        box.exec();
    });
    w.form.TimeStampNow = [] { return QStringLiteral("missing/shot"); };
    w.form.ch->setFocus();
    opened = 0;
    QTest::keyClick(w.form.ch, Qt::Key_F6);
    QTest::qWait(100);
    EXPECT_EQ(boxes, 1);
    SetErrorSink(collect);
}

// Without a tray, notices show in a small window of their own beside the main window, never on
// it (screenshots and videos show the window only), in plain text as written.
TEST(Notices, WithoutATrayTheyShowBesideTheWindowInPlainText) {
    Window w;
    w.form.tray->TrayAvailable = [] { return false; };
    w.form.tray->SetTrayIcon(0, 2, QString()); // no icon: notices take the fallback
    w.form.tray->ShowBalloon(1, "Save...  plugins/14-05-07.avi\nTime record... 3 sec");
    QLabel *notice = w.form.tray->FallbackNotice();
    ASSERT_TRUE(notice);
    EXPECT_TRUE(notice->isWindow());
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->textFormat(), Qt::PlainText);
    EXPECT_EQ(notice->text(), TTray::kNoticeTitle + "\nSave...  plugins/14-05-07.avi\nTime record... 3 sec");
    EXPECT_FALSE(notice->frameGeometry().intersects(w.form.frameGeometry()));
    // Where it goes: under the window, else above, else beside it; over it only on a full screen.
    const QRect screen(0, 0, 1000, 800);
    const QSize size(200, 50);
    EXPECT_EQ(TTray::NoticePlace(QRect(100, 100, 400, 300), size, screen), QPoint(300, 406));
    EXPECT_EQ(TTray::NoticePlace(QRect(100, 450, 400, 340), size, screen), QPoint(300, 394));
    EXPECT_EQ(TTray::NoticePlace(QRect(0, 20, 700, 760), size, screen), QPoint(706, 730));
    EXPECT_EQ(TTray::NoticePlace(QRect(0, 0, 1000, 800), size, screen), QPoint(800, 750));
}
