#include "platform/platform.h"
#include "scan/sweep_tool.h"

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
