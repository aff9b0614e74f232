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
        const QString tool = dir.filePath("tool.sh");
        writeFile(tool, "#!/bin/sh\necho \"$@\" >> launches.log\n");
        QFile::setPermissions(tool, QFile::ExeOwner | QFile::ReadOwner);
        form = std::make_unique<TForm1>(StartOptions{dir.path(), tool});
    }
    int launches() const { return static_cast<int>(readFile(dir.filePath("launches.log")).count('\n')); }
};

} // namespace

TEST(ParameterControls, StopKeepsAtLeastOneMegahertzAboveStart) {
    Fixture f;
    f.form->startSpin->setValue(100);
    f.form->stopSpin->setValue(100.5);
    EXPECT_EQ(f.form->stopSpin->text(), "101");
    EXPECT_EQ(f.form->params.freqMinHz, "100000000");
    EXPECT_EQ(f.form->params.freqMaxHz, "101000000");
    EXPECT_EQ(settingValue(f.dir, "Freq max Hz"), "101000000");

    f.form->startSpin->setValue(1749);
    EXPECT_EQ(f.form->stopSpin->text(), "1750");
    EXPECT_EQ(settingValue(f.dir, "Freq max Hz"), "1750000000");

    f.form->startSpin->setValue(433.92);
    f.form->stopSpin->setValue(434.92); // exactly start + 1 stays
    EXPECT_EQ(f.form->stopSpin->text(), "434.92");
    EXPECT_EQ(f.form->params.freqMinHz, "433920000");
    EXPECT_EQ(f.form->params.freqMaxHz, "434920000");
    EXPECT_TRUE(f.errors.messages.isEmpty());
}

TEST(ParameterControls, TypingTheStepSavesEveryKeystrokeAndLaunchesOnceAfterASecond) {
    Fixture f;
    ASSERT_TRUE(waitFor([&] { return f.launches() >= 1; }, 1000));
    waitFor([] { return false; }, 150);
    QLineEdit *edit = f.form->step->lineEdit();
    edit->clear();
    EXPECT_EQ(settingValue(f.dir, "Freq step"), ""); // an empty step removes the line
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
    f.form->ppm->setValue(-5);
    EXPECT_EQ(f.form->ppm->value(), 0);
    EXPECT_EQ(f.form->params.dongleNumber, "100");
    EXPECT_EQ(settingValue(f.dir, "Dongle number"), "100");
    QLineEdit *edit = f.form->ppm->findChild<QLineEdit *>();
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(f.form->ppm->value(), 0);
}

TEST(ParameterControls, StartUpChangesAreIgnoredAndTextsTravelUnchanged) {
    Fixture f("Dongle number=x\r\nFreq min Hz=10000000\r\nFreq max Hz=470000000\r\nFreq step=50k\r\n"
              "Gain level=12.5\r\nPPM=0\r\nChart Point=0\r\nChart Scale=1\r\nChart Max=0\r\n");
    EXPECT_EQ(f.form->startSpin->text(), "24");     // clamped into the editor's range
    EXPECT_EQ(f.form->params.freqMinHz, "10000000"); // the scan still starts at 10 MHz
    EXPECT_EQ(settingValue(f.dir, "Freq min Hz"), "10000000");
    EXPECT_EQ(settingValue(f.dir, "Dongle number"), "x");
    EXPECT_FALSE(f.form->flags.paramChangePending);
    // The first change replaces all six texts with the editors' values.
    f.form->gain->setEditText("0.0");
    EXPECT_EQ(f.form->params.freqMinHz, "24000000");
    EXPECT_EQ(f.form->params.dongleNumber, "0");
    EXPECT_TRUE(f.form->flags.paramChangePending);
}

TEST(ParameterControls, FailedSaveReportsAndHoldsLaunchesBack) {
    Fixture f;
    ASSERT_TRUE(QDir(f.dir.path()).removeRecursively());
    QLineEdit *edit = f.form->gain->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, '8'); // through the application object, which shows the error
    ASSERT_EQ(f.errors.messages.size(), 1);
    EXPECT_TRUE(f.errors.messages[0].startsWith("Cannot create file \"" + f.dir.filePath("settings.ini") + "\". "));
    EXPECT_EQ(f.form->params.gainLevel, "8");
    EXPECT_TRUE(f.form->flags.paramChangePending);
    EXPECT_FALSE(f.form->Timer1->isActive());
}
