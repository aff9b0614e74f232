#include "app/main_form.h"
#include "app/settings_file.h"
#include "app/spin_double.h"
#include "app_test_support.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

QString settingValue(const QTemporaryDir &dir, const QString &key) {
    SettingsFile s(dir.filePath("settings.ini"));
    s.Load();
    return s.Value(key);
}

struct Fixture {
    ErrorCollector errors;
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    explicit Fixture(const QByteArray &settings = {}) {
        if (!settings.isEmpty())
            writeFile(dir.filePath("settings.ini"), settings);
        // Logs each launch and leaves a small sweep after a moment, as the real tool would.
        const QString tool = dir.filePath("tool.sh");
        writeFile(tool, "#!/bin/sh\necho \"$@\" >> launches.log\nsleep 0.2\n"
                        "echo '2026-12-07, 21:00:00, 430000000, 431000000, 250000.00, 10, -50, -49, -20, -50' > scan.csv\n");
        QFile::setPermissions(tool, QFile::ExeOwner | QFile::ReadOwner);
        form = std::make_unique<TForm1>(StartOptions{dir.path(), tool});
    }
    int launches() const { return static_cast<int>(readFile(dir.filePath("launches.log")).count('\n')); }
};

} // namespace

// The minimum span waits until editing ends: a stop frequency can be typed digit by digit, and
// Enter confirms it (no beep). Only then, or when the change settles, is stop kept 1 MHz above.
TEST(ParameterControls, StopCanBeTypedTheSpanRuleActsWhenEditingEnds) {
    Fixture f;
    TSpinEditDouble *stop = f.form->stopSpin;
    int beeps = 0;
    stop->setBeepHandler([&] { ++beeps; });
    f.form->startSpin->setValue(144);
    stop->setFocus();
    stop->lineEdit()->selectAll();
    QStringList saved;
    for (char c : QByteArray("146")) {
        QTest::keyClick(stop->lineEdit(), c);
        saved << settingValue(f.dir, "Freq max Hz");
    }
    EXPECT_EQ(saved, QStringList({"1000000", "14000000", "146000000"}));
    QTest::keyClick(stop->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(stop->text(), "146");
    EXPECT_EQ(beeps, 0);

    // With start 440, "440.5" typed over the stop is lifted to 441 when Enter ends the edit.
    f.form->startSpin->setValue(440);
    stop->lineEdit()->selectAll();
    QTest::keyClicks(stop->lineEdit(), "440.5");
    EXPECT_EQ(stop->text(), "440.5");
    EXPECT_EQ(f.form->params.freqMaxHz, "440500000");
    QTest::keyClick(stop->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(stop->text(), "441");
    EXPECT_EQ(settingValue(f.dir, "Freq max Hz"), "441000000");

    // A step, the focus leaving and the settle timer end editing too; start near the top end
    // pushes stop to its maximum.
    f.form->startSpin->setValue(1749);
    EXPECT_EQ(stop->text(), "441"); // not while the start is only set
    f.form->Timer1Timer();
    EXPECT_EQ(stop->text(), "1750");
    f.form->startSpin->setValue(433.92);
    stop->setValue(434.92); // exactly start + 1 stays
    f.form->Timer1Timer();
    EXPECT_EQ(stop->text(), "434.92");
    EXPECT_EQ(f.form->params.freqMinHz, "433920000");
    EXPECT_EQ(f.form->params.freqMaxHz, "434920000");
    EXPECT_TRUE(f.errors.messages.isEmpty());
}

// No sweep starts while stop is at or below start, whatever the editors show half-way.
TEST(ParameterControls, NoLaunchWithStopAtOrBelowStart) {
    Fixture f;
    f.form->params.freqMinHz = "440000000";
    f.form->params.freqMaxHz = "14000000";
    EXPECT_EQ(f.form->LaunchHoldReason(), "Stop must be above Start");
    f.form->params.freqMaxHz = "441000000";
    EXPECT_EQ(f.form->LaunchHoldReason(), "");
}

TEST(ParameterControls, TypingTheStepSavesEveryKeystrokeAndLaunchesOnceAfterASecond) {
    Fixture f;
    ASSERT_TRUE(waitFor([&] { return f.launches() >= 1; }, 1000));
    waitFor([] { return false; }, 150);
    QLineEdit *edit = f.form->step->lineEdit();
    edit->clear();
    EXPECT_EQ(settingValue(f.dir, "Freq step"), "50k"); // an emptied box keeps its last value in the file
    const int before = f.launches();
    QStringList saved;
    for (char c : QByteArray("20k")) {
        QTest::keyClick(edit, c);
        saved << settingValue(f.dir, "Freq step");
        waitFor([] { return false; }, 300);
    }
    EXPECT_EQ(saved, QStringList({"2", "20", "20k"}));
    EXPECT_EQ(f.form->params.freqStep, "20k");
    EXPECT_EQ(f.launches(), before);
    ASSERT_TRUE(waitFor([&] { return f.launches() > before; }, 1500));
    waitFor([] { return false; }, 50);
    EXPECT_EQ(f.launches(), before + 1);
    EXPECT_TRUE(readFile(f.dir.filePath("launches.log")).trimmed().endsWith(":20k -g 12.5 -p 0 -d 0 -1 -i 0.5s -w hamming scan.csv"));
}

TEST(ParameterControls, DongleAndPpmStayWithinRangeAndRefuseTyping) {
    Fixture f;
    f.form->dongle->setValue(150);
    EXPECT_EQ(f.form->dongle->value(), 100);
    f.form->ppm->setValue(-105);
    EXPECT_EQ(f.form->ppm->value(), -100); // many receivers need a negative correction
    EXPECT_EQ(f.form->params.ppmCorrection, "-100");
    EXPECT_EQ(f.form->params.dongleNumber, "100");
    EXPECT_EQ(settingValue(f.dir, "Dongle number"), "100");
    QLineEdit *edit = f.form->ppm->findChild<QLineEdit *>();
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(f.form->ppm->value(), -100);
}

// A stored negative correction is shown, sent and kept through later changes.
TEST(ParameterControls, NegativePpmSurvivesARoundTrip) {
    Fixture f("Dongle number=0\r\nFreq min Hz=430000000\r\nFreq max Hz=470000000\r\nFreq step=50k\r\n"
              "Gain level=12.5\r\nPPM=-15\r\n");
    EXPECT_EQ(f.form->ppm->value(), -15);
    f.form->gain->setEditText("8.7");
    EXPECT_EQ(f.form->params.ppmCorrection, "-15");
    EXPECT_EQ(settingValue(f.dir, "PPM"), "-15");
    ASSERT_TRUE(waitFor([&] { return readFile(f.dir.filePath("launches.log")).contains("-g 8.7 -p -15 -d 0"); }, 3000));
}

// An emptied Step or Gain box would break the command line: launches wait and say why, and the
// file keeps the last value.
TEST(ParameterControls, EmptyStepOrGainHoldsLaunchesAndSaysSo) {
    Fixture f;
    ASSERT_TRUE(waitFor([&] { return f.launches() >= 1; }, 1500));
    f.form->gain->setEditText("");
    f.form->Timer1Timer(); // the change has settled
    waitFor([] { return false; }, 400);
    const int held = f.launches();
    waitFor([] { return false; }, 600);
    EXPECT_EQ(f.launches(), held);
    EXPECT_EQ(f.form->statusText.get(), "Step and Gain must not be empty");
    EXPECT_TRUE(waitFor([&] { return f.form->sb->PanelText(0) == "Step and Gain must not be empty"; }, 500));
    EXPECT_EQ(settingValue(f.dir, "Gain level"), "12.5");
    f.form->gain->setEditText("14.4");
    f.form->Timer1Timer();
    EXPECT_TRUE(waitFor([&] { return f.launches() > held; }, 1500));
}

TEST(ParameterControls, StartUpChangesAreIgnoredAndTextsTravelUnchanged) {
    Fixture f("Dongle number=x\r\nFreq min Hz=10000000\r\nFreq max Hz=1766000000\r\nFreq step=50k\r\n"
              "Gain level=12.5\r\nPPM=0\r\nChart Point=0\r\nChart Scale=1\r\nChart Max=0\r\n");
    // Frequencies outside the editors' ranges are clamped when read, and that is what is swept
    // and kept: the editors and the sweep never disagree.
    EXPECT_EQ(f.form->startSpin->text(), "24");
    EXPECT_EQ(f.form->stopSpin->text(), "1750");
    EXPECT_EQ(f.form->params.freqMinHz, "24000000");
    EXPECT_EQ(f.form->params.freqMaxHz, "1750000000");
    EXPECT_EQ(settingValue(f.dir, "Freq min Hz"), "24000000");
    EXPECT_EQ(settingValue(f.dir, "Freq max Hz"), "1750000000");
    ASSERT_TRUE(waitFor([&] { return f.launches() >= 1; }, 3000));
    EXPECT_TRUE(readFile(f.dir.filePath("launches.log")).startsWith("-f 24000000h:1750000000h:50k "));
    // Other texts travel unchanged until the first change replaces all six with the controls'.
    EXPECT_EQ(settingValue(f.dir, "Dongle number"), "x");
    EXPECT_FALSE(f.form->flags.paramChangePending);
    f.form->gain->setEditText("0.0");
    EXPECT_EQ(f.form->params.dongleNumber, "0");
    EXPECT_TRUE(f.form->flags.paramChangePending);
}

// A start typed below the lowest frequency is clamped when editing ends, as stop is: never
// saved or swept as typed.
TEST(ParameterControls, ATypedStartBelowTheRangeIsClampedWhenEditingEnds) {
    Fixture f;
    TSpinEditDouble *start = f.form->startSpin;
    start->setFocus();
    start->lineEdit()->selectAll();
    QTest::keyClicks(start->lineEdit(), "14");
    EXPECT_EQ(start->text(), "14"); // typing goes on undisturbed
    f.form->Timer1Timer();          // the change settles
    EXPECT_EQ(start->text(), "24");
    EXPECT_EQ(f.form->params.freqMinHz, "24000000");
    EXPECT_EQ(settingValue(f.dir, "Freq min Hz"), "24000000");
    const int before = f.launches();
    ASSERT_TRUE(waitFor([&] { return f.launches() > before; }, 3000));
    EXPECT_TRUE(readFile(f.dir.filePath("launches.log")).trimmed().split('\n').last().startsWith("-f 24000000h:"));
    // Enter ends it too.
    start->lineEdit()->selectAll();
    QTest::keyClicks(start->lineEdit(), "3");
    QTest::keyClick(start->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(start->text(), "24");
    EXPECT_EQ(settingValue(f.dir, "Freq min Hz"), "24000000");
}

// A change that cannot be saved (a full disk, a folder where settings.ini should be) still
// applies: the cycle goes on with it, and the failure is told once.
TEST(ParameterControls, AFailedSaveIsToldOnceAndTheChangeStillApplies) {
    Fixture f;
    ASSERT_TRUE(waitFor([&] { return f.launches() >= 1; }, 3000));
    ASSERT_TRUE(QFile::remove(f.dir.filePath("settings.ini")));
    ASSERT_TRUE(QDir(f.dir.path()).mkdir("settings.ini"));
    QLineEdit *edit = f.form->gain->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, '8'); // through the application object, which shows the error
    ASSERT_EQ(f.errors.messages.size(), 1);
    EXPECT_EQ(f.form->params.gainLevel, "8");
    EXPECT_TRUE(f.form->flags.paramChangePending);
    EXPECT_TRUE(f.form->Timer1->isActive());
    QTest::keyClick(edit, '9');
    EXPECT_EQ(f.errors.messages.size(), 1); // once
    // The change settles and the next runs take it.
    ASSERT_TRUE(waitFor([&] { return readFile(f.dir.filePath("launches.log")).contains("-g 89 "); }, 5000));
    EXPECT_TRUE(QFileInfo(f.dir.filePath("settings.ini")).isDir());
    // Once a save works again, a later failure is told again.
    ASSERT_TRUE(QDir(f.dir.filePath("settings.ini")).removeRecursively());
    QTest::keyClick(edit, '0');
    EXPECT_EQ(f.errors.messages.size(), 1);
    EXPECT_EQ(settingValue(f.dir, "Gain level"), "890");
}
