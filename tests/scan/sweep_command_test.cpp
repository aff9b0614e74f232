#include "platform/platform.h"
#include "scan/sweep_tool.h"
#include "scan/sweep_tool_run.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace sky;

namespace {

ScanParams defaults() { return {"0", "430000000", "470000000", "50k", "12.5", "0"}; }

} // namespace

TEST(SweepCommandLine, PiecesInOrderTextsUnchanged) {
    EXPECT_EQ(BuildSweepParameters(defaults()),
              "-f 430000000h:470000000h:50k -g 12.5 -p 0 -d 0 -1 -i 0.5s -w hamming scan.csv");
    ScanParams p = defaults();
    p.freqStep = "2.5M";
    p.gainLevel = "0.0";
    EXPECT_TRUE(BuildSweepParameters(p).contains(":2.5M -g 0.0 -p"));
    p.freqStep = "";
    EXPECT_TRUE(BuildSweepParameters(p).contains("470000000h: -g 0.0"));
    p.dongleNumber = "x";
    EXPECT_TRUE(BuildSweepParameters(p).contains(" -d x -1 "));
}

TEST(SweepCommandLine, BlanksSplitShellSyntaxStaysOneArgument) {
    ScanParams p = defaults();
    p.gainLevel = "12 5";
    p.freqStep = "50k;touch x";
    const QStringList args = SplitCommandLine(BuildSweepParameters(p));
    EXPECT_EQ(args.at(1), "430000000h:470000000h:50k;touch");
    EXPECT_EQ(args.at(2), "x");
    EXPECT_EQ(args.at(4), "12");
    EXPECT_EQ(args.at(5), "5");
    EXPECT_EQ(args.last(), "scan.csv");
    EXPECT_EQ(args.size(), 16);
}

// rtl_power's error output as the real tool writes it: the line that says what failed wins over
// the set-up lines printed after it.
TEST(SweepToolFailure, TheLineThatSaysWhatFailedIsPicked) {
    const auto fixture = [](const char *name) {
        QFile f(QStringLiteral(SKYVANE_SOURCE_DIR "/tests/scan/rtl_power_stderr/") + QLatin1String(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        return f.readAll();
    };
    const QByteArray noDevice = fixture("no_device.stderr");
    ASSERT_TRUE(noDevice.trimmed().endsWith("Reporting every 1 seconds")); // the order this fault is about
    EXPECT_EQ(SweepToolRun::FailureLine(noDevice), "No supported devices found.");
    // Two failure lines: the later one, what failed last.
    const QByteArray badRange = fixture("bad_range.stderr");
    const QString rangeLine = QString::fromLatin1(badRange.split('\n').value(1));
    ASSERT_TRUE(rangeLine.startsWith("Bad frequency range")) << rangeLine.toStdString();
    EXPECT_EQ(SweepToolRun::FailureLine(badRange), rangeLine);
    for (const char *line : {"No matching devices found.", "Failed to open rtlsdr device #0.", "usb_claim_interface error -6",
                             "Error: bandwidth too wide.", "Failed to open scan.csv", "Error: dropped samples.",
                             "[R82XX] PLL not locked!"}) {
        const QByteArray out = QByteArray("Found 1 device(s):\n") + line + "\nNumber of frequency hops: 15\n"
                               "Reporting every 1 seconds\n";
        EXPECT_EQ(SweepToolRun::FailureLine(out), line) << line;
    }
    // No known failure: the last line with text.
    EXPECT_EQ(SweepToolRun::FailureLine("something odd\n\n  \n"), "something odd");
    EXPECT_EQ(SweepToolRun::FailureLine(""), "");
}
