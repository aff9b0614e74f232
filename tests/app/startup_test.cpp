#include "app/main_form.h"
#include "app/settings_file.h"
#include "app/spin_double.h"
#include "app_test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace sky;
using namespace skytest;

namespace {

StartOptions in(const QTemporaryDir &dir) { return {dir.path(), dir.filePath("no-tool")}; }

} // namespace

TEST(Startup, FirstStartWritesDefaultsAndCheckBoxesKeepFifteenLines) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form(in(dir));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
    EXPECT_TRUE(form.startupCompleted);

    const QByteArray bytes = readFile(dir.filePath("settings.ini"));
    EXPECT_EQ(bytes, SettingsFile::DefaultLines().join("\r\n").toUtf8() + "\r\n");

    EXPECT_EQ(form.params.freqMinHz, "430000000");
    EXPECT_EQ(form.params.freqMaxHz, "470000000");
    EXPECT_EQ(form.params.freqStep, "50k");
    EXPECT_EQ(form.params.gainLevel, "12.5");
    EXPECT_EQ(form.params.dongleNumber, "0");
    EXPECT_EQ(form.params.ppmCorrection, "0");
    EXPECT_TRUE(form.point->isChecked());
    EXPECT_TRUE(form.axs->isChecked());
    EXPECT_TRUE(form.mx->isChecked());
    EXPECT_EQ(form.step->currentText(), "50k");
    EXPECT_EQ(form.gain->currentText(), "12.5");
    EXPECT_EQ(form.flags.chartColor, 255);
    EXPECT_EQ(form.flags.waterfallColorStart, 8388608);
    EXPECT_EQ(form.flags.waterfallColorEnd, 65280);
    EXPECT_TRUE(form.flags.controlsReady);
    EXPECT_TRUE(form.scanThread && form.scanThread->isRunning());
    EXPECT_EQ(form.pluginsDir, dir.path() + "/");
    EXPECT_EQ(QDir::currentPath() + "/", form.pluginsDir);
    EXPECT_EQ(form.waterfall->waterfallBuffer.format(), QImage::Format_RGB16);
    EXPECT_FALSE(form.waterfall->waterfallBuffer.isNull());
}

TEST(Startup, MissingCheckBoxKeysAreAddedAsZero) {
    ErrorCollector errors;
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"),
              "Dongle number=x\r\nFreq min Hz=10000000\r\nFreq max Hz=470000000\r\nFreq step=2.5M\r\n"
              "Gain level=0.0\r\nPPM=250\r\nChart Scale=256\r\nChart Color=$FF00\r\nWaterfall Color Start=oops\r\n");
    TForm1 form(in(dir));
    EXPECT_TRUE(errors.messages.isEmpty());
    EXPECT_FALSE(form.point->isChecked());
    EXPECT_FALSE(form.mx->isChecked());
    EXPECT_FALSE(form.axs->isChecked()); // only the low byte of 256 counts
    const QByteArray bytes = readFile(dir.filePath("settings.ini"));
    EXPECT_TRUE(bytes.endsWith("Chart Scale=0\r\nChart Color=$FF00\r\nWaterfall Color Start=oops\r\n"
                               "Chart Point=0\r\nChart Max=0\r\n"))
        << bytes.toStdString();
    // Texts travel unchanged; editors take their fallbacks or clamp.
    EXPECT_EQ(form.params.dongleNumber, "x");
    EXPECT_EQ(form.dongle->value(), 0);
    EXPECT_EQ(form.params.ppmCorrection, "250");
    EXPECT_EQ(form.ppm->value(), 100);
    EXPECT_EQ(form.params.freqStep, "2.5M");
    EXPECT_EQ(form.flags.chartColor, 0xFF00);
    EXPECT_EQ(form.flags.waterfallColorStart, 8388608);
}

// A broken "Freq min Hz" is reported once; the window starts with the first start's value and
// sweeps anyway.
TEST(Startup, FrequencyThatIsNotANumberShowsTheMessageAndStartsWithTheDefault) {
    ErrorCollector errors;
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"), "Freq min Hz=43O000000\r\nFreq max Hz=470000000\r\n");
    TForm1 form(in(dir));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], "'43O000000' is not a valid floating point value");
    EXPECT_TRUE(form.startupCompleted);
    EXPECT_TRUE(form.scanThread);
    EXPECT_TRUE(form.flags.controlsReady);
    EXPECT_EQ(form.params.freqMinHz, "430000000");
    EXPECT_EQ(form.startSpin->text(), "430");
}

TEST(Startup, MissingFreqMaxIsAConversionErrorOfTheEmptyText) {
    ErrorCollector errors;
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"), "Freq min Hz=430000000\r\n");
    TForm1 form(in(dir));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], "'' is not a valid floating point value");
    EXPECT_EQ(form.params.freqMaxHz, "470000000");
    EXPECT_TRUE(form.scanThread);
}

// Settings that cannot be written or read never leave a dead window: the message is shown once,
// the defaults stand in, the sweep cycle starts.
TEST(Startup, UnwritableOrUnreadableSettingsStillGiveASweepingWindow) {
    {
        ErrorCollector errors;
        QTemporaryDir dir;
        TForm1 form({dir.filePath("not-there"), {}});
        ASSERT_EQ(errors.messages.size(), 1);
        EXPECT_TRUE(errors.messages[0].startsWith("Cannot create file \"")) << errors.messages[0].toStdString();
        EXPECT_TRUE(form.scanThread);
        EXPECT_EQ(form.params.freqMinHz, "430000000");
    }
    if (geteuid() != 0) { // root writes anyway
        ErrorCollector errors;
        QTemporaryDir dir;
        writeFile(dir.filePath("settings.ini"), "Freq min Hz=440000000\r\nFreq max Hz=450000000\r\n");
        QFile::setPermissions(dir.filePath("settings.ini"), QFile::ReadOwner);
        TForm1 form(in(dir));
        ASSERT_EQ(errors.messages.size(), 1); // the start-up saves fail once, reported once
        EXPECT_TRUE(form.scanThread);
        EXPECT_EQ(form.params.freqMinHz, "440000000");
    }
    // settings.ini as a FIFO or a link to an endless device: not read, not written, no hang.
    for (const bool fifo : {true, false}) {
        ErrorCollector errors;
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        if (fifo)
            ASSERT_EQ(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link("/dev/zero", path));
        TForm1 form(in(dir));
        ASSERT_EQ(errors.messages.size(), 1);
        EXPECT_TRUE(errors.messages[0].contains("Not a regular file")) << errors.messages[0].toStdString();
        EXPECT_TRUE(form.scanThread);
        EXPECT_EQ(form.params.freqStep, "50k");
        form.gain->setEditText("8.7"); // saves nothing: the file could not be read
        EXPECT_EQ(QFileInfo(path).isSymLink(), !fifo);
    }
}

TEST(Startup, StatusPanelFollowsTheStatusTextWithin200ms) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form(in(dir));
    // The scan cycle writes its own texts; stop it so only ours is there.
    form.scanThread->RequestStop();
    form.scanThread->wait();
    form.statusText.set("probe text");
    EXPECT_TRUE(waitFor([&] { return form.sb->PanelText(0) == "probe text"; }, 250));
    EXPECT_EQ(form.sb->PanelText(4), "");
}

TEST(Startup, ClientSizeLayoutAndHints) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form(in(dir));
    form.show();
    waitFor([] { return false; }, 50);
    EXPECT_EQ(form.size(), QSize(716, 386));
    EXPECT_EQ(form.windowTitle(), "Vornik_Skyvane over RTL_POWER");
    EXPECT_EQ(form.Panel1->height(), 40);
    EXPECT_EQ(form.sb->height(), 19);
    EXPECT_EQ(form.Panel2->height(), 120);
    EXPECT_EQ(form.ch->height(), 386 - 3 - 120);
    EXPECT_EQ(form.img2->geometry(), QRect(45, 0, 624, 61));
    EXPECT_EQ(form.dongle->geometry(), QRect(45, 11, 30, 19));
    EXPECT_EQ(form.gain->geometry(), QRect(420, 9, 45, 19));
    EXPECT_EQ(form.Image3->geometry(), QRect(691, 11, 16, 16));
    EXPECT_EQ(form.Image5->toolTip(), "Mode Infininy (F5)");
    EXPECT_EQ(form.img2->toolTip(), "Waterfall");
    EXPECT_EQ(form.step->count(), 11);
    EXPECT_EQ(form.gain->count(), 22);

    // Growing the window keeps the strip heights and the buttons' distance to the right edge.
    form.resize(1016, 586);
    waitFor([] { return false; }, 50);
    EXPECT_EQ(form.Panel1->height(), 40);
    EXPECT_EQ(form.Image3->x(), 691 + 300);
    EXPECT_EQ(form.img2->width(), 624 + 300);
    EXPECT_EQ(form.dongle->x(), 45);
    // It cannot be made smaller than its minimum.
    form.resize(300, 200);
    EXPECT_GE(form.width(), 716);
    EXPECT_GE(form.height(), 386);
}
